#pragma once
// What a measurement run files into a session window, redrawn at most every
// kRedrawMs (a fast run accumulates far more sweeps than anyone can watch):
// the records filed or changed since the last redraw are analysed when it
// comes, and the run's newest record is remembered for the window to follow
// until the user moves to another one.
#include <QObject>
#include <QPair>
#include <QVector>

class DataAnalyzer;
class QTimer;

class RunRedraw : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRedrawMs = 40;
    explicit RunRedraw(DataAnalyzer* data, QObject* parent = nullptr);

    void begin();
    // Analyses what is pending; no redraw is signalled (the window redraws).
    void end();
    bool isActive() const { return m_active; }
    void filed(int group, int index);
    void changed(int group, int index);
    // The user moved a slider: the run no longer moves it.
    void userMoved();
    // The record to follow; false when none, or the user looks elsewhere.
    bool follow(int* group, int* index) const;
    // The last analysis took this long (us); negative before any.
    double analysisUs() const { return m_analysisUs; }

signals:
    void redraw();

private:
    void analysePending();

    DataAnalyzer* m_data;
    QTimer* m_timer;
    QVector<QPair<int, int>> m_pending;
    bool m_active = false;
    bool m_userMoved = false;
    int m_group = -1;
    int m_newest = -1;
    double m_analysisUs = -1.0;
};
