#include "SerialDrive.h"
#include "DriverLog.h"
#include "HwRegisters.h"

#include <QThread>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {
constexpr int kReadPollMs = 10;
constexpr int kMaxReplyBytes = 256;
constexpr unsigned char kCopyright = 169;   // printed by some controllers in their banner
constexpr double kBudgetMarginMs = 10000;   // fixed part of a motion budget
constexpr double kBudgetFactor = 3;         // times the nominal travel time
}

SerialDrive::SerialDrive(HwRegisters *registers, const char *familyName, const Codes &c, int bufferSize)
    : regs(registers), family(familyName), codes(c), cmndBuffer(bufferSize, '\0')
{
}

SerialDrive::~SerialDrive() = default;

QString SerialDrive::getError()
{
    if (error == kAborted)
        return QStringLiteral("Operation aborted.");
    const QString text = errorText(static_cast<int>(error));
    return text.isNull() ? QStringLiteral("Unknown Error (%1)").arg(error.load()) : text;
}

double SerialDrive::clampFinite(double v, double lo, double hi, double fallback)
{
    if (!std::isfinite(v))
        return fallback;
    return std::clamp(v, lo, hi);
}

QByteArray SerialDrive::fixed(double v, int decimals)
{
    char text[400];   // room for the largest double in fixed notation
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
    return r.ec == std::errc() ? QByteArray(text, static_cast<int>(r.ptr - text)) : QByteArray("0");
}

QByteArray SerialDrive::printable(const QByteArray &bytes)
{
    QByteArray out;
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 32 || c > 126)
            out += QByteArray("\\x") + QByteArray::number(c, 16).rightJustified(2, '0');
        else
            out += ch;
    }
    return out;
}

QByteArray SerialDrive::commandText() const
{
    return printable(cmndBuffer.left(cmndLength));
}

bool SerialDrive::format(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(cmndBuffer.data(), static_cast<size_t>(cmndBuffer.size()), fmt, args);
    va_end(args);
    if (n < 0 || n >= cmndBuffer.size()) {
        cmndLength = 0;
        error = codes.write;
        LOG_WARN("[%s] Command does not fit the %d-byte buffer: %s", family, static_cast<int>(cmndBuffer.size()), fmt);
        return false;
    }
    // The formatted length, not the C-string length: an address of 0 is a NUL byte on the line.
    cmndLength = n;
    return true;
}

bool SerialDrive::command(int tries, int waitMs, const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(cmndBuffer.data(), static_cast<size_t>(cmndBuffer.size()), fmt, args);
    va_end(args);
    if (n < 0 || n >= cmndBuffer.size()) {
        cmndLength = 0;
        error = codes.write;
        LOG_WARN("[%s] Command does not fit the %d-byte buffer: %s", family, static_cast<int>(cmndBuffer.size()), fmt);
        return false;
    }
    cmndLength = n;
    return writeCommand(tries, waitMs);
}

bool SerialDrive::sendRaw(const char *data, int length)
{
    return regs && regs->writeRS232(0, data, static_cast<unsigned short>(length));
}

bool SerialDrive::sendStop(const char *data, int length)
{
    // Polled in real time (driver waits may be scaled), with plain try-locks.
    constexpr int kPollMs = 1;
    std::unique_lock<std::recursive_mutex> hold(line, std::try_to_lock);
    for (int waited = 0; !hold.owns_lock() && waited < kStopWaitMs; waited += kPollMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        hold.try_lock();
    }
    if (!hold.owns_lock())
        LOG_WARN("[%s] Stop sent while the serial line is still taken.", family);
    return sendRaw(data, length);
}

bool SerialDrive::flushLine()
{
    return regs && regs->flushRS232(0);
}

bool SerialDrive::aborted()
{
    if (!abort.load())
        return false;
    error = kAborted;
    return true;
}

bool SerialDrive::writeCommand(int tries, int waitMs)
{
    LOG_DEB("%s::writeCommand() {%.*s}", family, static_cast<int>(commandText().size()), commandText().constData());
    for (int attempt = 0; attempt < tries; ++attempt) {
        // One exchange at a time on the line: a stop from another thread goes
        // out before or after it, never between the command and its reply.
        std::lock_guard<std::recursive_mutex> hold(line);
        if (aborted())
            return false;
        const char cr = '\r';
        if (!sendRaw(&cr, 1)) {
            error = codes.write;
            LOG_WARN("[%s] Failed to write to serial port.", family);
            return false;
        }
        driverSleepMs(200);
        if (aborted())
            return false;
        if (!flushLine()) {
            error = codes.flush;
            LOG_WARN("[%s] Failed to flush serial port.", family);
            return false;
        }
        driverSleepMs(100);
        if (aborted())
            return false;
        if (!sendRaw(cmndBuffer.constData(), cmndLength)) {
            error = codes.write;
            LOG_WARN("[%s] Failed to write command %s.", family, commandText().constData());
            return false;
        }
        if (aborted())
            return false;
        driverSleepMs(static_cast<unsigned>(std::max(waitMs, 0)));
        switch (readCommandReply()) {
        case Reply::Ok: return true;
        case Reply::Refused: return false;   // the controller said no: repeating would not help
        case Reply::Failed: break;
        }
    }
    return false;
}

SerialDrive::Reply SerialDrive::readFrame(QByteArray &raw, int idleMs, int totalMs)
{
    raw.clear();
    int idle = 0;
    int total = 0;
    for (;;) {
        char buffer[64];
        unsigned short length = sizeof buffer;
        if (!regs || !regs->readRS232(0, buffer, &length)) {
            error = codes.read;
            LOG_WARN("[%s] Received reply: %s.", commandText().constData(), printable(raw).constData());
            return Reply::Failed;
        }
        for (unsigned short i = 0; i < length; ++i) {
            const unsigned char c = static_cast<unsigned char>(buffer[i]);
            raw += buffer[i];
            if (c & 0x80 && c != kCopyright && codes.parity) {
                error = codes.parity;
                LOG_WARN("[%s] Parity error at position %d in cmndReply: %s.", commandText().constData(),
                         raw.size() - 1, printable(raw).constData());
                return Reply::Failed;
            }
            if (c != '\r' && c != '\n' && c != kCopyright && (c < 32 || c > 126)) {
                error = codes.nonPrintable;
                warnNonPrintable(raw.size() - 1, raw);
                return Reply::Failed;
            }
        }
        if (raw.size() > kMaxReplyBytes) {
            error = codes.badReply;
            LOG_WARN("[%s] Reply longer than %d bytes: %s.", commandText().constData(), kMaxReplyBytes,
                     printable(raw.left(64)).constData());
            return Reply::Failed;
        }
        if (length > 0) {
            if (frameComplete(raw))
                return Reply::Ok;
            idle = 0;
            continue;
        }
        if (aborted())
            return Reply::Failed;   // a stop waits for the line: give it up at once
        if (idle >= idleMs || total >= totalMs) {
            error = codes.timeout;
            LOG_WARN("[%s] Timer elapsed. Received reply: %s.", commandText().constData(), printable(raw).constData());
            return Reply::Failed;
        }
        driverSleepMs(kReadPollMs);
        idle += kReadPollMs;
        total += kReadPollMs;
    }
}

long SerialDrive::budgetPolls(double distanceSteps, double stepsPerSecond, int pollMs)
{
    const double speed = stepsPerSecond > 1 ? stepsPerSecond : 1;
    const double ms = kBudgetMarginMs + kBudgetFactor * 1000.0 * std::fabs(distanceSteps) / speed;
    return static_cast<long>(std::min(ms / std::max(pollMs, 1), 1e7)) + 1;
}

SerialDrive::Motion SerialDrive::followMotion(const std::function<bool(bool &, long &)> &poll, int pollMs,
                                              double stepsPerSecond, long target, bool hasTarget, int stallPolls,
                                              long &last)
{
    long maxPolls = 0;
    long previous = 0;
    int unchanged = 0;
    for (long n = 0;; ++n) {
        if (aborted())
            return Motion::Aborted;
        bool moving = false;
        long steps = 0;
        if (!poll(moving, steps))
            return aborted() ? Motion::Aborted : Motion::Failed;
        last = steps;
        position = toPosition(steps);
        if (!moving)
            return Motion::Stopped;
        if (n == 0) {
            const double distance = hasTarget ? static_cast<double>(target) - static_cast<double>(steps) : kMaxTravelSteps;
            maxPolls = budgetPolls(distance, stepsPerSecond, pollMs);
        } else if (steps == previous && !(hasTarget && steps == target)) {
            if (++unchanged > stallPolls)
                return Motion::Stalled;
        } else {
            unchanged = 0;
        }
        previous = steps;
        if (n >= maxPolls)
            return Motion::OutOfTime;
        driverSleepMs(static_cast<unsigned>(pollMs));
    }
}

bool SerialDrive::endMove(Motion m, double x, long target, long last, int polls, long long moveError)
{
    switch (m) {
    case Motion::Stopped:
        break;
    case Motion::Aborted:
    case Motion::Failed:
        return failMotion();
    case Motion::Stalled:
    case Motion::OutOfTime:
        LOG_WARN("[%s]. moveTo(%g) error, position doesn't change, P=%ld, TARGET=%ld, cnt=%d.", family, x, last,
                 target, polls);
        error = moveError;
        return failMotion();
    }
    if (last != target) {
        error = moveError;
        LOG_WARN("[%s]. moveTo(%g) position deviation error, target: %ld, actual: %ld, dbgstr: %s.", family, x, target,
                 last, printable(cmndReply).constData());
        return false;
    }
    error = 0;
    return true;
}

void SerialDrive::warnNonPrintable(int pos, const QByteArray &raw)
{
    LOG_WARN("[%s] Non-printable character at position %d in cmndReply: %s.", commandText().constData(), pos,
             printable(raw).constData());
}

bool SerialDrive::endAborted()
{
    stop();
    abort = false;   // lets the last position read through
    long steps = 0;
    if (readPosition(steps))
        position = toPosition(steps);
    error = kAborted;
    return false;
}

bool SerialDrive::failMotion()
{
    if (error == kAborted || abort.load())
        return endAborted();
    const long long cause = error;
    stop();
    error = cause;
    return false;
}

SerialDrive::Operation::Operation(SerialDrive &drive) : d(drive), owner(!drive.busy.exchange(true))
{
    if (!owner) {
        LOG_WARN("[%s] Another operation of the drive is running.", d.family);
        return;
    }
    d.operationThread = QThread::currentThreadId();
}

SerialDrive::Operation::~Operation()
{
    if (!owner)
        return;
    d.operationThread = nullptr;
    d.busy = false;
    d.abort = false;
}

bool SerialDrive::calledFromOutside() const
{
    void *running = operationThread.load();
    return running && running != static_cast<void *>(QThread::currentThreadId());
}
