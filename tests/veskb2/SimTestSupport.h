// Shared by the library's tests: a fresh simulated world per test, driver
// waits off, and the driver log captured from Qt's message handler.
#pragma once

#include <DriverLog.h>
#include <SimControl.h>

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

inline QStringList &capturedLog()
{
    static QStringList lines;
    return lines;
}

inline void captureHandler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    static const char *const levels[] = {"debug", "warning", "critical", "fatal", "info"};
    capturedLog().append(QString::fromLatin1(levels[type]) + QLatin1Char('|') + text);
}

// Lines containing `needle` (with their level prefix "debug|", "warning|", "critical|").
inline QStringList logLinesWith(const QString &needle)
{
    QStringList out;
    for (const QString &l : capturedLog())
        if (l.contains(needle))
            out << l;
    return out;
}

inline qsim::Config simConfig(int modules = 1)
{
    qsim::Config c;
    c.speedFactor = 0;
    c.modules.resize(modules);
    for (int i = 0; i < modules; ++i)
        c.modules[i].name = "QUSB-" + std::to_string(i);
    return c;
}

// Call from initTestCase: no real waits, settings away from the user's, log captured.
inline void setUpLibraryTests(QTemporaryDir &dir)
{
    setDriverDelayScale(0);
    QCoreApplication::setOrganizationName(QStringLiteral("QuendrixTest"));
    QCoreApplication::setApplicationName(QStringLiteral("veskb2 tests"));
    setDriverLogFileName(dir.filePath(QStringLiteral("driver.log")));
    qInstallMessageHandler(captureHandler);
}

// Call from init: a fresh unit, nothing captured yet.
inline void freshUnit()
{
    qsim::reset(simConfig());
    capturedLog().clear();
}
