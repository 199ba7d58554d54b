#include "TraceChooser.h"

#include "DataAnalyzer.h"
#include "PlotData.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kGroupRole = Qt::UserRole;
constexpr int kIndexRole = Qt::UserRole + 1;
} // namespace

TraceChooser::TraceChooser(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Overlay Traces"));
    m_list = new QListWidget;
    m_clear = new QPushButton(QStringLiteral("Clear"));
    auto* close = new QPushButton(QStringLiteral("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_clear);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(new QLabel(QStringLiteral("Traces drawn over the IV graph (at most %1):")
                                  .arg(TraceOverlay::kMaxTraces)));
    lay->addWidget(m_list, 1);
    lay->addLayout(buttons);
    resize(260, 360);
    connect(m_list, &QListWidget::itemChanged, this, &TraceChooser::itemChanged);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_filling = true;
        for (int i = 0; i < m_list->count(); ++i)
            m_list->item(i)->setCheckState(Qt::Unchecked);
        m_filling = false;
        m_chosen.clear();
        emit chosenChanged(m_chosen);
    });
}

void TraceChooser::fill(const DataAnalyzer& data, const QVector<TraceOverlay::Key>& chosen)
{
    m_filling = true;
    m_list->clear();
    m_chosen.clear();
    for (int g = 0; g < data.groupCount(); ++g)
        for (int i = 0; i < data.scansOfGroup(g).size(); ++i) {
            auto* item = new QListWidgetItem(PlotData::traceName(data, g, i), m_list);
            item->setData(kGroupRole, g);
            item->setData(kIndexRole, i);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
            item->setCheckState(chosen.contains(TraceOverlay::Key{g, i}) ? Qt::Checked : Qt::Unchecked);
        }
    for (const TraceOverlay::Key& k : chosen)
        if (k.group < data.groupCount() && k.index < data.scansOfGroup(k.group).size())
            m_chosen.append(k);
    m_filling = false;
}

void TraceChooser::itemChanged(QListWidgetItem* item)
{
    if (m_filling)
        return;
    const TraceOverlay::Key k{item->data(kGroupRole).toInt(), item->data(kIndexRole).toInt()};
    if (item->checkState() == Qt::Checked) {
        if (m_chosen.size() >= TraceOverlay::kMaxTraces) {
            m_filling = true;
            item->setCheckState(Qt::Unchecked); // the palette has no more colours
            m_filling = false;
            return;
        }
        if (!m_chosen.contains(k))
            m_chosen.append(k);
    } else {
        m_chosen.removeAll(k);
    }
    emit chosenChanged(m_chosen);
}
