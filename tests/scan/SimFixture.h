// Shared set-up of the tests against the simulated unit: a fresh simulated
// world, driver waits taken out, and the driver log captured.
#pragma once

#include <DriverLog.h>
#include <RIRavaVCntrl.h>
#include <SimControl.h>

#include <QMutex>
#include <QStringList>
#include <QtTest>

namespace simtest {

inline QMutex &logMutex()
{
    static QMutex m;
    return m;
}
inline QStringList &logLines()
{
    static QStringList lines;
    return lines;
}
// Called for every driver log line (on the logging thread).
inline std::function<void(const QString &)> &logHook()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

inline void captureHandler(QtMsgType, const QMessageLogContext &, const QString &text)
{
    {
        QMutexLocker lock(&logMutex());
        logLines().append(text);
    }
    if (logHook())
        logHook()(text);
}

inline void clearLog()
{
    QMutexLocker lock(&logMutex());
    logLines().clear();
}

// Lines that contain `text`.
inline int logged(const QString &text)
{
    QMutexLocker lock(&logMutex());
    int n = 0;
    for (const QString &l : logLines())
        n += l.contains(text) ? 1 : 0;
    return n;
}

inline QString lastWarnings()
{
    QMutexLocker lock(&logMutex());
    QStringList w;
    for (const QString &l : logLines())
        if (l.startsWith("[WARN") || l.startsWith("[CRIT"))
            w << l;
    return w.join('\n');
}

// A fresh world; speed 0 unless given (simulated waits take no real time).
inline void freshWorld(qsim::Config config = qsim::Config(), double speed = 0.0)
{
    config.speedFactor = speed;
    qsim::reset(config);
    setDriverDelayScale(0);
    qInstallMessageHandler(captureHandler);
    logHook() = nullptr;
    clearLog();
}

} // namespace simtest
