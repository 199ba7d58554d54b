#pragma once
// Dialog that edits (or only shows) an EEPF table through its item model.
#include "EepfTable.h"

#include <QDialog>

class QDialogButtonBox;
class QPushButton;
class QTableView;
class TableModel;

class EEDF_Dialog : public QDialog
{
    Q_OBJECT
public:
    explicit EEDF_Dialog(QWidget* parent = nullptr);

    void setTable(const EepfTable& table);
    EepfTable table() const;
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }

    QTableView* view() const { return m_view; }
    TableModel* model() const { return m_model; }
    QPushButton* loadButton() const { return m_load; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* removeButton() const { return m_remove; }
    QDialogButtonBox* buttonBox() const { return m_buttons; }

    // Reads the default table file (the built-in table when that fails), lets
    // the user edit it and writes it back when accepted. False when cancelled
    // or when writing failed (the user is told).
    static bool editDefaultTable(QWidget* parent, const QString& path);

public slots:
    void tableEntryError(const QString& message);
    void addEntry();
    void clearTable();
    void selectionUpdate();
    void removeRows();
    void copy();
    void loadFile();
    void saveFile();

private:
    TableModel* m_model;
    QTableView* m_view;
    QPushButton* m_load;
    QPushButton* m_save;
    QPushButton* m_add;
    QPushButton* m_remove;
    QDialogButtonBox* m_buttons;
    bool m_editable = true;
};
