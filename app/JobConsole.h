#pragma once
// `lpmeasure --job FILE`: connects to the controller, checks the job, runs it
// unattended and tells the exit code. Nothing waits for a button: message
// boxes (job messages, end-of-run alerts) are printed and logged instead.
#include <QString>

class MainWin;
class QTextStream;

namespace JobConsole {

enum ExitCode { eAllRan = 0, eLineFailed = 1, eRefused = 2 };

// Software probe mode from an option value: a name (single, reference,
// double, spherical, mach) or its number (0, 1, 3, 4, 5); -1 when neither.
int probeModeFromText(const QString& text);

// The whole unattended run; `swProbeMode` < 0 takes the stored choice.
int run(MainWin& w, const QString& jobFile, int swProbeMode, QTextStream& out, QTextStream& err);

} // namespace JobConsole
