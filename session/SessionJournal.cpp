#include "SessionJournal.h"

#include "DataAnalyzer.h"
#include "ScanRecord.h"
#include "SessionFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
// A failure in the system's words ("read-only file system"), to follow a colon.
QString systemCause(int err)
{
    QString s = QString::fromLocal8Bit(std::strerror(err));
    if (!s.isEmpty())
        s[0] = s[0].toLower();
    return s;
}

QString causeOf(const QFile& f)
{
    QString s = f.errorString();
    if (!s.isEmpty())
        s[0] = s[0].toLower();
    return s;
}

// Why nothing can be written in `folder`: a small probe file in it, or in
// the nearest folder above it that exists.
QString folderCause(const QString& folder)
{
    QString p = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    while (!QFileInfo::exists(p)) {
        const QString up = QFileInfo(p).path();
        if (up == p)
            break;
        p = up;
    }
    if (!QFileInfo(p).isDir())
        return systemCause(ENOTDIR);
    const QByteArray probe = QFile::encodeName(p + QStringLiteral("/.lpmeasure-probe-%1").arg(::getpid()));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return systemCause(errno);
    ::close(fd);
    ::unlink(probe.constData());
    return QStringLiteral("in use by another program");
}
} // namespace

namespace {

void syncFolder(const QString& folder)
{
    // The new name must reach the disk as well as the data.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString lockName(const QString& path)
{
    return path + QStringLiteral(".lock");
}

QString newJournalName(const QString& folder)
{
    static std::atomic<int> counter{0};
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return QDir(folder).filePath(QStringLiteral("journal-%1-%2-%3.ldf")
                                     .arg(stamp)
                                     .arg(QCoreApplication::applicationPid())
                                     .arg(counter.fetch_add(1)));
}

} // namespace

// The file, its XML writer and, for a journal being written, the thread that
// formats, writes and syncs each appended scan: the run only hands over a
// copy (its lists are shared, not copied). The GUI thread touches the file
// only while that thread is idle (it waits for it under the mutex).
struct SessionJournal::Impl {
    explicit Impl(const QString& path) : lock(lockName(path)) { lock.setStaleLockTime(0); }
    ~Impl() { stopWriter(); }

    void startWriter() { writer = std::thread([this] { loop(); }); }
    void stopWriter()
    {
        if (!writer.joinable())
            return;
        {
            std::lock_guard<std::mutex> l(mutex);
            quit = true;
        }
        wake.notify_one();
        writer.join(); // what was handed over is written first
    }
    // Waits until every scan handed over is on the disk; false after a failure.
    bool waitWritten()
    {
        std::unique_lock<std::mutex> l(mutex);
        idle.wait(l, [this] { return queue.empty() && !busy; });
        return error.isEmpty();
    }
    void loop()
    {
        std::unique_lock<std::mutex> l(mutex);
        for (;;) {
            wake.wait(l, [this] { return !queue.empty() || quit; });
            if (queue.empty())
                return;
            const ScanRecord scan = std::move(queue.front());
            queue.pop_front();
            busy = true;
            l.unlock();
            SessionFile::writeScan(*xml, scan);
            QString cause;
            if (xml->hasError() || !file.flush())
                cause = causeOf(file);
            else if (::fdatasync(file.handle()) != 0)
                cause = systemCause(errno);
            l.lock();
            busy = false;
            if (!cause.isEmpty() && error.isEmpty())
                error = QStringLiteral("Cannot append to %1: %2").arg(file.fileName(), cause);
            idle.notify_all();
        }
    }

    QLockFile lock;
    QFile file;
    std::unique_ptr<QXmlStreamWriter> xml;
    std::mutex mutex;
    std::condition_variable wake, idle;
    std::deque<ScanRecord> queue;
    bool busy = false;
    bool quit = false;
    QString error;
    std::thread writer;
};

SessionJournal::SessionJournal(std::unique_ptr<Impl> impl, const QString& path) : m_impl(std::move(impl)), m_path(path)
{
}

SessionJournal::~SessionJournal()
{
    m_impl->stopWriter(); // what was handed over is written first
    m_impl->xml.reset();
    m_impl->file.close();
}

std::unique_ptr<SessionJournal> SessionJournal::create(const QString& folder, const DataAnalyzer& session,
                                                       QString* error)
{
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Cannot make the folder %1: %2").arg(folder, folderCause(folder));
        return nullptr;
    }
    const QString path = newJournalName(folder);
    auto impl = std::make_unique<Impl>(path);
    if (!impl->lock.tryLock(0)) {
        if (error)
            *error = QStringLiteral("Cannot lock %1: %2").arg(path, folderCause(folder));
        return nullptr;
    }
    std::unique_ptr<SessionJournal> j(new SessionJournal(std::move(impl), path));
    if (!j->writeWhole(session)) {
        if (error)
            *error = j->m_error;
        j->remove();
        return nullptr;
    }
    j->m_impl->startWriter();
    return j;
}

std::unique_ptr<SessionJournal> SessionJournal::adopt(const QString& path, QString* error)
{
    auto impl = std::make_unique<Impl>(path);
    if (!QFileInfo::exists(path) || !impl->lock.tryLock(0)) {
        if (error)
            *error = QStringLiteral("The journal %1 is gone or in use.").arg(path);
        return nullptr;
    }
    return std::unique_ptr<SessionJournal>(new SessionJournal(std::move(impl), path));
}

bool SessionJournal::writeWhole(const DataAnalyzer& session)
{
    // Written beside and renamed over: the journal is whole at every moment.
    const QString part = m_path + QStringLiteral(".part");
    m_impl->waitWritten(); // the writer thread is idle from here
    m_impl->xml.reset();
    m_impl->file.close();
    m_impl->file.setFileName(part);
    if (!m_impl->file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("Cannot write %1: %2").arg(part, causeOf(m_impl->file));
        return false;
    }
    m_impl->xml = std::make_unique<QXmlStreamWriter>(&m_impl->file);
    QXmlStreamWriter& xml = *m_impl->xml;
    xml.setCodec("UTF-8");
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    SessionFile::writeHead(xml, session);
    int n = 0;
    for (int g = 0; g < session.groupCount(); ++g)
        for (const ScanRecord& s : session.scansOfGroup(g)) {
            SessionFile::writeScan(xml, s);
            ++n;
        }
    QString cause;
    if (xml.hasError() || !m_impl->file.flush())
        cause = causeOf(m_impl->file);
    else if (::fdatasync(m_impl->file.handle()) != 0
             || std::rename(QFile::encodeName(part).constData(), QFile::encodeName(m_path).constData()) != 0)
        cause = systemCause(errno);
    if (!cause.isEmpty()) {
        m_error = QStringLiteral("Cannot write %1: %2").arg(part, cause);
        m_impl->xml.reset();
        m_impl->file.close();
        QFile::remove(part);
        return false;
    }
    syncFolder(QFileInfo(m_path).absolutePath());
    m_scans = n;
    noteHead(session);
    return true;
}

void SessionJournal::noteHead(const DataAnalyzer& session)
{
    m_config = session.configuration().toMap();
    m_settings = session.analysisSettings().toMap();
    session.eepfTable().toLists(m_energies, m_resolutions);
    m_deviceID = session.deviceID();
    m_comment = session.comment();
}

bool SessionJournal::headMatches(const DataAnalyzer& session) const
{
    QVector<double> energies, resolutions;
    session.eepfTable().toLists(energies, resolutions);
    return m_impl->xml && m_config == session.configuration().toMap()
        && m_settings == session.analysisSettings().toMap() && m_energies == energies
        && m_resolutions == resolutions && m_deviceID == session.deviceID() && m_comment == session.comment();
}

bool SessionJournal::restart(const DataAnalyzer& session)
{
    if (!m_impl->writer.joinable())
        return false; // an adopted journal is not written
    return writeWhole(session);
}

bool SessionJournal::append(const ScanRecord& scan)
{
    if (!m_impl->writer.joinable())
        return false;
    {
        std::lock_guard<std::mutex> l(m_impl->mutex);
        if (!m_impl->error.isEmpty()) {
            m_error = m_impl->error;
            return false;
        }
        m_impl->queue.push_back(scan);
    }
    m_impl->wake.notify_one();
    ++m_scans;
    return true;
}

bool SessionJournal::waitWritten()
{
    if (!m_impl->writer.joinable())
        return true;
    if (m_impl->waitWritten())
        return true;
    std::lock_guard<std::mutex> l(m_impl->mutex);
    m_error = m_impl->error;
    return false;
}

void SessionJournal::remove()
{
    m_impl->stopWriter();
    m_impl->xml.reset();
    m_impl->file.close();
    QFile::remove(m_path);
    m_impl->lock.unlock();
    m_scans = 0;
}

QList<SessionJournal::Found> SessionJournal::find(const QString& folder)
{
    QList<Found> found;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.ldf")}, QDir::Files, QDir::Name);
    for (const QFileInfo& f : files) {
        QLockFile lock(lockName(f.absoluteFilePath()));
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0))
            continue; // a running program writes it
        DataAnalyzer session;
        SessionFile::ReadReport report;
        if (!SessionFile::load(session, f.absoluteFilePath(), nullptr, &report))
            continue;
        found.append({f.absoluteFilePath(), report.written, report.scans});
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.written < b.written; });
    return found;
}
