#pragma once
// The journal of a session that measurement runs fill: a session file written
// as the run goes (header, settings and EEPF table first, each finished scan
// appended and flushed), so that a crash, a kill or a power cut loses at most
// the scan in progress. It lives in a recovery folder until the session is
// saved or deliberately discarded; the session reader reads it as a file cut
// off after its last complete scan. A lock file beside it marks a journal in
// use, so that another instance never offers it. Owned by the application's
// journal keeper (one per live session); called from one thread.
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>
#include <memory>

class DataAnalyzer;
struct ScanRecord;

class SessionJournal
{
public:
    // A new journal in `folder` (made when missing) holding the whole session
    // as it is now; nullptr with `error` set when it cannot be written.
    static std::unique_ptr<SessionJournal> create(const QString& folder, const DataAnalyzer& session,
                                                  QString* error = nullptr);
    // Takes over a journal left by an ended program (its session was recovered):
    // it is locked and removed with the session's save, not written to.
    static std::unique_ptr<SessionJournal> adopt(const QString& path, QString* error = nullptr);
    // Closes the file and keeps it (the data stays recoverable).
    ~SessionJournal();
    SessionJournal(const SessionJournal&) = delete;
    SessionJournal& operator=(const SessionJournal&) = delete;

    // Rewrites the journal with the whole session (its settings changed).
    bool restart(const DataAnalyzer& session);
    // Appends one finished scan: a copy goes to the journal's own thread,
    // which writes, flushes and syncs it to the disk within milliseconds.
    // False when an earlier write failed.
    bool append(const ScanRecord& scan);
    // Waits until every appended scan is on the disk; false after a failure.
    bool waitWritten();
    // True when the header, settings and table are still those written.
    bool headMatches(const DataAnalyzer& session) const;
    // Deletes the journal (the session was saved or discarded).
    void remove();

    QString path() const { return m_path; }
    int scans() const { return m_scans; }
    QString errorString() const { return m_error; }

    // Journals in `folder` that no running program holds, oldest first; files
    // that are not readable session files are left alone.
    struct Found {
        QString path;
        QDateTime written;
        int scans = 0;
    };
    static QList<Found> find(const QString& folder);

private:
    struct Impl;
    explicit SessionJournal(std::unique_ptr<Impl> impl, const QString& path);
    bool writeWhole(const DataAnalyzer& session);
    void noteHead(const DataAnalyzer& session);

    std::unique_ptr<Impl> m_impl;
    QString m_path;
    int m_scans = 0;
    QString m_error;
    QMap<QString, QString> m_config, m_settings;
    QVector<double> m_energies, m_resolutions;
    QString m_deviceID, m_comment;
};
