#pragma once
// The measurement run behind Scan: positions or time cycles, and at each the
// phases ion current, initial scan (simple or smart), DC correction and data
// scans, filing what they measure into the session's scan records. Runs on the
// caller's thread; sweeps are read through the job thread while the host stays
// live. The main window, batch jobs and tests call the same procedures.
#include "DataAnalyzer.h"
#include "SweepReader.h"

#include <QPointer>
#include <QVector>
#include <functional>

class LinearDriveOps;

// What the session window hears of a run.
class RunObserver
{
public:
    virtual ~RunObserver() = default;
    virtual void runBegins() {}
    virtual void runEnded() {}
    // A new scan record was filed.
    virtual void scanFiled(int group, int index) {}
    // A kept sweep was accumulated into a record.
    virtual void scanChanged(int group, int index) {}
    // The records of a position are complete: the run writes no more into them.
    virtual void positionEnded() {}
    // Records filed earlier are about to be removed again: the position
    // ended before any data reached them.
    virtual void removingScans(const QVector<DataAnalyzer::Location>& locations) {}
};

class ScanSequence
{
public:
    ScanSequence(SweepReader& io, LinearDriveOps* drive = nullptr);

    // The session the run fills and who hears of it; the session's
    // configuration becomes the run's working copy.
    void setSession(DataAnalyzer* data, RunObserver* observer);
    void setDrive(LinearDriveOps* drive) { m_drive = drive; }
    // The session of the run (its working copy is the run's configuration).
    DataAnalyzer* session() const { return m_data; }
    // Automatic probe-tip cleaning before ion-current and data scans; false
    // when cleaning was due and failed. No cleaning until it is set.
    std::function<bool()> cleanIfDue;

    // One run with a copy of `active`; true when no alert was raised.
    bool runScan(const ConfigParam& active);

    // The phases (state of the run as runScan sets it up).
    bool readIonCurrent();
    bool simpleInitScan();
    bool smartInitScan();
    bool dcCorrectionScan();
    bool dataScan();

    // What the progress display reads during a run.
    bool isTimedRun() const { return m_timed; }
    double timedTotalSeconds() const { return m_total; }
    qint64 runClockMs() const;
    int dataScansDone() const { return m_scansDone; }
    // The sweeps the data scan reads, thrown and kept: what the counter above
    // runs up to, so that the progress reaches 100 % at the end, not before.
    int dataScanCycles() const;
    double elapsedRunTime() const { return m_elapsed; }
    // Restarts the scan clock (at the start of a user's run).
    void restartScanClock();

    // Where the records of the current position were filed (tests).
    const QVector<DataAnalyzer::Location>& positionRecords() const { return m_records; }

private:
    ConfigParam& cfg() { return *m_cfg; }
    ScanRecord* record(int k);
    int scanType() const;
    double recordPosition() const;
    // Files one new record per sync point of `out` past those the position has.
    void fileRecords(const ScanReadout& out, unsigned range, bool withIonReading, const QVector<double>& ionCurrents,
                     double ionVoltage);
    unsigned recordRange();
    // The records' data range made to hold `largest` (A) with the margin
    // (with automatic ranges, after the initial scan); gives the range.
    unsigned fitDataRange(unsigned range, double largest);
    double recordGainSwitch();
    bool clean(const char* prefix);
    void armTrigger();
    void disarmTrigger();
    bool ensureSession();
    void alert(const char* prefix, const QString& text);
    void estimatePotentials(ScanRecord& rec);
    // Removes the current position's records that hold no data.
    void withdrawEmptyRecords();
    void smartEnd(bool success, bool floatingFound, double V, int floatIdx, int maxIdx);

    SweepReader& m_io;
    LinearDriveOps* m_drive;
    QPointer<DataAnalyzer> m_data;
    ConfigParam* m_cfg = nullptr; // the session's working copy during a run
    RunObserver* m_observer = nullptr;
    RunObserver m_noObserver;

    bool m_timed = false, m_spatial = false, m_sync = false, m_icMonitor = false;
    double m_total = 0, m_interval = 0, m_elapsed = 0;
    qint64 m_scanClock = 0;
    int m_scansDone = 0;
    bool m_triggerArmed = false;
    double m_position = 666.0;
    QVector<DataAnalyzer::Location> m_records;
};
