#include "DriverLog.h"

#include <QFile>
#include <QMessageLogger>
#include <QMutex>
#include <QThread>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
QMutex &logMutex()
{
    static QMutex m;
    return m;
}
QString &logFileName()
{
    static QString name = QStringLiteral("driver.log");
    return name;
}
std::atomic<double> delayScale{1.0};

const char *levelFormat(LogLevel level)
{
    switch (level) {
    case LogLevel::Deb: return "[DEB  %15s,%4d] ";
    case LogLevel::Warn: return "[WARN  %15s,%4d] ";
    case LogLevel::Crit: return "[CRIT  %15s,%4d] ";
    }
    return "[DEB  %15s,%4d] ";
}
}

const char *logModuleName(const char *sourceFile)
{
    // The base name without its extension, in a per-thread buffer.
    thread_local char name[64];
    const char *base = std::strrchr(sourceFile, '/');
    base = base ? base + 1 : sourceFile;
    const char *back = std::strrchr(base, '\\');
    if (back)
        base = back + 1;
    size_t n = std::strcspn(base, ".");
    if (n >= sizeof name)
        n = sizeof name - 1;
    std::memcpy(name, base, n);
    name[n] = '\0';
    return name;
}

void driverLog(LogLevel level, const char *sourceFile, int line, const char *format, ...)
{
    char local[1024];
    std::vector<char> big;
    char *text = local;
    int head = std::snprintf(local, sizeof local, levelFormat(level), logModuleName(sourceFile), line);
    if (head < 0)
        return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int body = std::vsnprintf(local + head, sizeof local - static_cast<size_t>(head), format, args);
    va_end(args);
    if (body >= 0 && static_cast<size_t>(head + body) >= sizeof local) {
        // Outside text (replies, names) made the line long: format it whole.
        big.resize(static_cast<size_t>(head + body) + 1);
        std::memcpy(big.data(), local, static_cast<size_t>(head));
        std::vsnprintf(big.data() + head, big.size() - static_cast<size_t>(head), format, copy);
        text = big.data();
    }
    va_end(copy);

    {
        QMutexLocker lock(&logMutex());
        QFile file(logFileName());
        if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            file.write(text);
            file.write("\n");
            file.close();
        }
    }
    QMessageLogger logger(sourceFile, line, nullptr);
    switch (level) {
    case LogLevel::Deb: logger.debug("%s", text); break;
    case LogLevel::Warn: logger.warning("%s", text); break;
    case LogLevel::Crit: logger.critical("%s", text); break;
    }
}

void setDriverLogFileName(const QString &name)
{
    QMutexLocker lock(&logMutex());
    logFileName() = name;
}

QString driverLogFileName()
{
    QMutexLocker lock(&logMutex());
    return logFileName();
}

void driverSleepMs(unsigned ms)
{
    const double scaled = ms * delayScale.load();
    if (scaled >= 1.0)
        QThread::msleep(static_cast<unsigned long>(scaled));
}

void setDriverDelayScale(double scale)
{
    delayScale.store(scale < 0 ? 0 : scale);
}
