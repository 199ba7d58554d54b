#include "EEDF_Dialog.h"

#include "Prompter.h"
#include "TableModel.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

EEDF_Dialog::EEDF_Dialog(QWidget* parent)
    : QDialog(parent), m_model(new TableModel(this))
{
    setWindowTitle(QStringLiteral("Edit EEPF Table"));
    m_view = new QTableView;
    m_view->setModel(m_model);
    m_view->setToolTip(QStringLiteral("Double click to edit."));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked);

    m_load = new QPushButton(QStringLiteral("&Load"));
    m_load->setToolTip(QStringLiteral("Load EEDF table from file"));
    m_save = new QPushButton(QStringLiteral("&Save"));
    m_save->setToolTip(QStringLiteral("Save EEDF Table to file"));
    m_add = new QPushButton(QStringLiteral("&Add"));
    m_add->setToolTip(QStringLiteral("Add a new row to table."));
    m_remove = new QPushButton(QStringLiteral("&Remove"));
    m_remove->setToolTip(QStringLiteral("Revome selected rows from table."));
    m_remove->setEnabled(false);
    for (QPushButton* b : {m_load, m_save, m_add, m_remove})
        b->setAutoDefault(false);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* row = new QHBoxLayout;
    row->addWidget(m_load);
    row->addWidget(m_save);
    row->addWidget(m_add);
    row->addWidget(m_remove);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(m_view);
    lay->addLayout(row);
    lay->addWidget(m_buttons);

    connect(m_model, &TableModel::entryError, this, &EEDF_Dialog::tableEntryError);
    connect(m_load, &QPushButton::clicked, this, &EEDF_Dialog::loadFile);
    connect(m_save, &QPushButton::clicked, this, &EEDF_Dialog::saveFile);
    connect(m_add, &QPushButton::clicked, this, &EEDF_Dialog::addEntry);
    connect(m_remove, &QPushButton::clicked, this, &EEDF_Dialog::removeRows);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &EEDF_Dialog::selectionUpdate);
    connect(m_model, &QAbstractItemModel::modelReset, this, &EEDF_Dialog::selectionUpdate);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(320, 420);
}

void EEDF_Dialog::setTable(const EepfTable& table)
{
    m_model->setTable(table);
    selectionUpdate();
}

EepfTable EEDF_Dialog::table() const
{
    return m_model->table();
}

void EEDF_Dialog::setEditable(bool editable)
{
    m_editable = editable;
    m_model->setReadOnly(!editable);
    m_load->setEnabled(editable);
    m_add->setEnabled(editable);
    m_view->setEditTriggers(editable ? QAbstractItemView::DoubleClicked : QAbstractItemView::NoEditTriggers);
    m_buttons->setStandardButtons(editable ? (QDialogButtonBox::Ok | QDialogButtonBox::Cancel)
                                           : QDialogButtonBox::Close);
    selectionUpdate();
}

void EEDF_Dialog::tableEntryError(const QString& message)
{
    Prompter::information(this, QStringLiteral("EEPF Table Error"), message);
}

void EEDF_Dialog::addEntry()
{
    if (!m_editable)
        return;
    m_model->insertRows(m_model->rowCount(), 1);
}

void EEDF_Dialog::clearTable()
{
    if (m_editable)
        m_model->clear();
}

void EEDF_Dialog::selectionUpdate()
{
    const bool any = m_view->selectionModel() && m_view->selectionModel()->hasSelection();
    m_remove->setEnabled(m_editable && any);
}

void EEDF_Dialog::removeRows()
{
    if (!m_editable)
        return;
    // Exactly the selected rows, also when the selection has gaps; removed
    // from the bottom up so that the remaining row numbers stay valid.
    QList<int> rows;
    for (const QModelIndex& i : m_view->selectionModel()->selectedIndexes())
        if (!rows.contains(i.row()))
            rows.append(i.row());
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    for (int r : rows)
        m_model->removeRows(r, 1);
    m_view->clearSelection();
    selectionUpdate();
}

void EEDF_Dialog::copy()
{
    QString text;
    for (const EepfRow& r : m_model->table().rows)
        text += QStringLiteral("%1\t%2\n").arg(r.energy).arg(r.resolution);
    QApplication::clipboard()->setText(text);
}

void EEDF_Dialog::loadFile()
{
    if (!m_editable)
        return;
    const QString name = Prompter::instance().openFileName(
        this, QStringLiteral("Open EEPF Table File"), QString(),
        QStringLiteral("Langmuir EEPF Table Files (*.eepfTable);;All Files (*.*)"));
    if (name.isEmpty())
        return;
    EepfTable t;
    if (!t.readFile(name).isEmpty()) {
        Prompter::critical(this, QStringLiteral("EEPF File Load Error"), QStringLiteral("Unable to load EEPF from file."));
        return;
    }
    setTable(t);
}

void EEDF_Dialog::saveFile()
{
    const QString name = Prompter::instance().saveFileName(this, QStringLiteral("Save EEPF Table File"), QString(),
                                                           QStringLiteral("VESK EEPF Table Files (*.eepfTable)"));
    if (name.isEmpty())
        return;
    if (!Prompter::mayReplace(this, name))
        return;
    const QString err = m_model->table().writeFile(name);
    if (!err.isEmpty())
        Prompter::critical(this, QStringLiteral("EEPF File Save Error"), err);
}

bool EEDF_Dialog::editDefaultTable(QWidget* parent, const QString& path)
{
    EepfTable t;
    if (!t.readFile(path).isEmpty())
        t = EepfTable::defaultTable();
    EEDF_Dialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Edit Default EEPF Table"));
    dlg.setTable(t);
    dlg.setEditable(true);
    if (Prompter::instance().execDialog(&dlg) != QDialog::Accepted)
        return false;
    // The table writer replaces the file only once the new content is complete.
    const QString err = dlg.table().writeFile(path);
    if (!err.isEmpty()) {
        Prompter::critical(parent, QStringLiteral("EEPF File Save Error"), err);
        return false;
    }
    return true;
}
