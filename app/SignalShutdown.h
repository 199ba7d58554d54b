#pragma once
// What SIGINT and SIGTERM do to lpmeasure. The run, cleaning, calibration or
// job under way is aborted as its Abort button does, and the abort is held
// until nothing runs any more (a connect or a calibration cannot clear it).
// Boxes met on the way are printed and answered without a person. In the
// window modes the unit is then disconnected (the run's end has stopped its
// scan and restored the idle voltage) and the program leaves with 128 + the
// signal's number; a --job run leaves through its own runner. The journals
// stay: the measured scans are offered at the next start.
#include <QObject>
#include <memory>

class MainWin;
class Prompter;
class QTimer;

class SignalShutdown : public QObject
{
    Q_OBJECT
public:
    enum Mode {
        eLeaveProgram, // window, --scan-on-start, --server: disconnect and exit
        eAbortOnly     // --job: abort; the job's runner ends the program
    };
    SignalShutdown(MainWin& w, Mode mode);
    ~SignalShutdown() override;

    bool requested() const { return m_signal != 0; }
    int exitCode() const { return m_signal ? 128 + m_signal : 0; }
    // From now on every box is printed and answered with its safe default.
    void answerBoxes();
    // The prompter that does so (for other ends without a person).
    static Prompter& boxAnswerer();

    // Called by the signal notifier; public for tests.
    void onSignal(int signalNumber);

private:
    bool busy() const;
    void poll();

    MainWin& m_w;
    Mode m_mode;
    int m_signal = 0;
    QTimer* m_poll;
    std::unique_ptr<Prompter> m_prompter;
};
