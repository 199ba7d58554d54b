#pragma once
// "Overlay Traces": the session's traces in a list to tick; the ticked ones
// are drawn over the IV graph (TraceOverlay), in the order they were ticked.
#include "TraceOverlay.h"

#include <QWidget>

class DataAnalyzer;
class QListWidget;
class QListWidgetItem;
class QPushButton;

class TraceChooser : public QWidget
{
    Q_OBJECT
public:
    explicit TraceChooser(QWidget* parent = nullptr);
    // Lists the session's traces, ticking the chosen ones.
    void fill(const DataAnalyzer& data, const QVector<TraceOverlay::Key>& chosen);
    QListWidget* list() const { return m_list; }
    QPushButton* clearButton() const { return m_clear; }
    const QVector<TraceOverlay::Key>& chosen() const { return m_chosen; }

signals:
    void chosenChanged(const QVector<TraceOverlay::Key>& chosen);

private:
    void itemChanged(QListWidgetItem* item);

    QListWidget* m_list;
    QPushButton* m_clear;
    QVector<TraceOverlay::Key> m_chosen;
    bool m_filling = false;
};
