#pragma once
// The program's version, written into exported files and shown by the application.

#include <QString>

namespace ProgramInfo {
inline QString version()
{
    return QStringLiteral("2.7.0");
}
} // namespace ProgramInfo
