#pragma once
// The fits of a session read from a file (a file keeps the results, not the
// fits the picture is drawn from), derived again from its stored curves in
// the background: a few scans at a time while the event loop is idle, so the
// window never freezes and nothing is shared with another thread. Each scan is
// analysed as a copy; only its fit and electron current are taken over, and
// only into scans still unfitted and unchanged: the session's results, its
// modified state and its file stay as they were. The session window owns one.
#include <QObject>
#include <QVector>

class DataAnalyzer;
class QTimer;

class FitRestorer : public QObject
{
    Q_OBJECT
public:
    // Scans are analysed for at most this long before the window's events come again.
    static constexpr int kSliceMs = 10;
    explicit FitRestorer(DataAnalyzer* data, QObject* parent = nullptr);

    // Queues the scans that have a curve but no fit.
    void start();
    bool isRunning() const;

signals:
    // Fits were filled in: redraw.
    void restored();

private:
    void step();

    struct Pending {
        int group = 0, index = 0;
        QVector<double> storedI; // the scan's curve when queued: it must not have changed since
    };
    DataAnalyzer* m_data;
    QTimer* m_timer;
    QVector<Pending> m_pending;
};
