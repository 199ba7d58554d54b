#pragma once
// The fits of a session read from a file (a file keeps the results, not the
// fits the picture is drawn from), derived again from its stored curves on a
// worker thread. Only the fits and the electron current are filled in, and
// only into scans still unfitted and unchanged: the session's results, its
// modified state and its file stay as they were. The session window owns one.
#include <QFutureWatcher>
#include <QObject>
#include <QVector>

#include "ScanRecord.h"

class DataAnalyzer;

class FitRestorer : public QObject
{
    Q_OBJECT
public:
    explicit FitRestorer(DataAnalyzer* data, QObject* parent = nullptr);
    ~FitRestorer() override;

    // Analyses copies of the scans that have a curve but no fit.
    void start();
    bool isRunning() const { return m_watcher.isRunning(); }

    struct Job {
        int group = 0, index = 0;
        QVector<double> storedI; // the scan's curve when copied: it must not have changed since
        ScanRecord scan;
    };

signals:
    // Fits were filled in: redraw.
    void restored();

private:
    void finished();

    DataAnalyzer* m_data;
    QFutureWatcher<QVector<Job>> m_watcher;
};
