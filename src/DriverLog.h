// The driver log: one printf-style line per event, appended to the log file
// (one open and close per line) and passed to Qt's message handler at the
// same level. Every module of the library writes through these macros.
#pragma once

#include <QString>

enum class LogLevel { Deb, Warn, Crit };

// Formats "[<LEVEL>  %15s,%4d] " + message into a local buffer (grown past
// 1024 bytes when needed) and appends it under a mutex.
void driverLog(LogLevel level, const char *sourceFile, int line, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

void setDriverLogFileName(const QString &name);
QString driverLogFileName();

// Module name printed in the log: the source file's base name without extension.
const char *logModuleName(const char *sourceFile);

// Waits of the driver, in milliseconds; scaled by the delay scale (1 by
// default, 0 in tests that run against the simulated unit).
void driverSleepMs(unsigned ms);
void setDriverDelayScale(double scale);

#define LOG_DEB(...) driverLog(LogLevel::Deb, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_WARN(...) driverLog(LogLevel::Warn, __FILE__, __LINE__, __VA_ARGS__)
#define LOG_CRIT(...) driverLog(LogLevel::Crit, __FILE__, __LINE__, __VA_ARGS__)
