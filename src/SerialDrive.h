// Common part of the four controller families: the serial exchange over the
// register mirror's RS232 pass-through (command buffer, tries, waits, bounded
// reply reading), the error code with its table, abort and busy handling and
// the bounded polling of a running motion. Owned by the driver like any drive.
#pragma once

#include "linearDrive.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

class HwRegisters;

class SerialDrive : public LinearDrive {
public:
    // Error code of an aborted operation: outside the 32-bit codes that a
    // controller can report, so no reply is ever taken for an abort.
    static constexpr long long kAborted = -(1LL << 40);

    ~SerialDrive() override;
    QString getError() override;
    long long errorCode() const { return error; }

protected:
    // Error codes of the family for failures of the exchange itself.
    struct Codes {
        int configure, flush, write, read, timeout, nonPrintable, parity, badReply;
    };
    enum class Reply { Ok, Failed, Refused };
    enum class Motion { Stopped, Aborted, Failed, Stalled, OutOfTime };

    SerialDrive(HwRegisters *registers, const char *familyName, const Codes &codes, int bufferSize);

    // Text of a code in the family's table; a null string when not in it.
    virtual QString errorText(int code) const = 0;
    // True when `raw` holds a whole reply frame.
    virtual bool frameComplete(const QByteArray &raw) const = 0;
    // Reads and interprets the reply to the command in the buffer.
    virtual Reply readCommandReply() = 0;
    // Log line for a non-printable character at `pos` of a reply.
    virtual void warnNonPrintable(int pos, const QByteArray &raw);
    // Reads the controller's step counter.
    virtual bool readPosition(long &steps) = 0;

    // Ends an aborted operation: stop, read where the motor stopped, report
    // "Operation aborted."; always false.
    bool endAborted();
    // After a failed motion command (the controller may have started it):
    // an abort ends as above, anything else stops the motor; always false.
    bool failMotion();

    // Formats a command into the buffer; a command that does not fit fails
    // with the family's write error.
    bool format(const char *fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    // Sends the buffer: per try a carriage return, 200 ms, flush, 100 ms, the
    // command's formatted bytes, `waitMs`, then the reply. Stops on abort and
    // on a refusal by the controller.
    bool writeCommand(int tries, int waitMs);
    // format() and writeCommand() in one.
    bool command(int tries, int waitMs, const char *fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;
    // Sends raw bytes without framing.
    bool sendRaw(const char *data, int length);
    // Sends a family's stop sequence. From another thread it first waits for
    // the exchange on the line (which the abort flag, set before, ends at
    // its next check), so that the stop never lands between a command and
    // its reply; a line that stays taken longer than kStopWaitMs (a transfer
    // that hangs) does not hold the stop back.
    bool sendStop(const char *data, int length);
    static constexpr int kStopWaitMs = 2000;
    // Reads one frame within `idleMs` without new bytes and `totalMs` in all
    // (driver time, counted in polls); checks printable characters and length.
    Reply readFrame(QByteArray &raw, int idleMs, int totalMs);
    bool flushLine();

    // Polls a running motion every `pollMs` until the motor stops, the abort
    // flag is set, an exchange fails, the step counter stays unchanged away
    // from `target` for more than `stallPolls` polls, or the budget (from the
    // distance and the speed, with a margin) runs out. `poll` reads the moving
    // flag and the counter; `last` receives the last counter read.
    // Without a target (homing) the budget allows for the longest rail: a
    // little over 100 mm at MDrivePlus's 9.933e-6 mm per step.
    Motion followMotion(const std::function<bool(bool &moving, long &steps)> &poll, int pollMs,
                        double stepsPerSecond, long target, bool hasTarget, int stallPolls, long &last);
    static constexpr double kMaxTravelSteps = 12000000;
    // The end of a followed move to `target` (mm `x`) for the families that
    // report every failure to move with one code, `moveError`: an abort or a
    // failed exchange ends as failMotion(), a stall or time-out stops the motor,
    // and a stop away from the target is a deviation.
    bool endMove(Motion m, double x, long target, long last, int polls, long long moveError);
    static long budgetPolls(double distanceSteps, double stepsPerSecond, int pollMs);

    // Abort flag: true (and the error set to kAborted) when set.
    bool aborted();
    // Marks the drive busy for one operation; at its end busy and abort clear.
    // A second operation while one runs is refused: their commands would mix
    // on the line.
    class Operation {
    public:
        explicit Operation(SerialDrive &drive);
        ~Operation();
        bool refused() const { return !owner; }
    private:
        SerialDrive &d;
        bool owner;
    };
    // True when called while an operation runs in another thread (a stop
    // from outside then also ends that operation).
    bool calledFromOutside() const;

    // The command as text for log lines (control characters escaped).
    QByteArray commandText() const;
    static QByteArray printable(const QByteArray &bytes);
    static double clampFinite(double v, double lo, double hi, double fallback);
    // printf's "%.Nf" as in the C locale (an exact half rounds to even: 12.5 gives
    // "12"), with a decimal point whatever the process locale.
    static QByteArray fixed(double v, int decimals);

    HwRegisters *regs;
    const char *family;
    Codes codes;
    // The family's table codes, a controller's own codes, or kAborted; atomic
    // because a stop from another thread reports its own write failure.
    std::atomic<long long> error{0};
    QByteArray cmndBuffer;   // capacity = buffer size
    int cmndLength = 0;
    QByteArray cmndReply;

private:
    std::atomic<void *> operationThread{nullptr};
    // Held for one whole exchange (wake-up, flush, command, reply) and by a
    // stop; recursive because a reply may need a follow-up query.
    std::recursive_mutex line;
};
