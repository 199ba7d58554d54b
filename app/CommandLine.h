#pragma once
// lpmeasure's command line, read before the application object exists: help,
// version and every option error answer without a display, and a run that
// needs no window (a job, a server) chooses the window-less platform itself
// when there is no display to show one on.
#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace CommandLine {

extern const char* const kUsage;

struct Options {
    bool help = false;
    bool version = false;
    bool verbose = false;
    int quitAfterSeconds = 0;
    bool scanOnStart = false;
    int serverPort = -1;
    QHostAddress serverAddress{QHostAddress::LocalHost};
    bool serverReadOnly = false;
    QString jobFile; // absolute
    int jobProbeMode = -1;
    QStringList fileArgs; // arguments[0] and the session file candidates
};

// Reads `args` (the program's own arguments, the program first). Returns
// false with the message for stderr in *error (the exit status is 2).
bool parse(const QStringList& args, Options* o, QString* error);

// True when the run can do without a window: a job or a data server, also
// with --scan-on-start or --quit-after.
bool runsWithoutWindow(const Options& o);

// No display named in the environment and no platform chosen.
bool noDisplay(const QStringList& args);

} // namespace CommandLine
