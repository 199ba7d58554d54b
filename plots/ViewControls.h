#pragma once
// "Plot Graphs Controls" of the session window: one view at a time (the view
// boxes), the quantities of the IV views and the drawing switches. It only
// tells the window what changed; the window draws.
#include <QGroupBox>

class QCheckBox;
class QPushButton;

class ViewControls : public QGroupBox
{
    Q_OBJECT
public:
    static constexpr int kViews = 6; // the window's View enum, in order
    explicit ViewControls(QWidget* parent = nullptr);

    QCheckBox* viewBox(int v) const { return m_view[v]; }
    QCheckBox* quantityBox(int i) const { return m_quantity[i]; }
    QCheckBox* overlap() const { return m_overlap; }
    QCheckBox* logScale() const { return m_log; }
    QCheckBox* errorBars() const { return m_errorBars; }
    QCheckBox* dataPoints() const { return m_dataPoints; }
    QCheckBox* showAnalysis() const { return m_showAnalysis; }
    QPushButton* overlayButton() const { return m_overlayButton; }

signals:
    // What is drawn changed: redraw.
    void changed();
    // How curves are drawn changed (points, bars): restyle, then redraw.
    void styleChanged();
    void overlayRequested();

private:
    QCheckBox* m_view[kViews];
    QCheckBox* m_quantity[3];
    QCheckBox* m_overlap;
    QCheckBox* m_log;
    QCheckBox* m_errorBars;
    QCheckBox* m_dataPoints;
    QCheckBox* m_showAnalysis;
    QPushButton* m_overlayButton;
    bool m_exclusive = false;
};
