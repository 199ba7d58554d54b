#include "PM600.h"
#include "DriverLog.h"
#include "HwRegisters.h"

#include <QHash>

#include <cmath>
#include <cstdlib>

namespace {
enum Code {
    eRead = 1, eParity = 2, eTimeout = 3, eNonPrintable = 4, eWrite = 6, eFlush = 7, eReply = 8,
    eCommand = 9, eNonDigit = 10, eNumber = 11, eConfigure = 12, eLowerLimit = 13, eIdle = 14,
    eStall = 15, eDeviation = 16
};
constexpr int kPollMs = 500;
constexpr int kStallPolls = 3;
constexpr long kMaxDeviation = 1000;
constexpr double kHomingSpeed = 800;    // SV800, steps/s
constexpr double kMovingSpeed = 1000;   // SV1000 after homing
// Status reply of OS: 8 digits or more; counted from the end, the 8th is
// "idle", the 7th the upper and the 6th the lower limit switch.
constexpr int kIdleFromEnd = 8;
constexpr int kLowerLimitFromEnd = 6;

const QHash<int, QString> &table()
{
    static const QHash<int, QString> t = {
        {0, "No error."},
        {1, "Failed to read serial port."},
        {2, "Parity error."},
        {3, "Read time out error."},
        {4, "Non-printable character error."},
        {6, "Failed to write to serial port."},
        {7, "Failed to flush serial port."},
        {8, "Failed to read command reply."},
        {9, "Failed to write command."},
        {10, "Non-digit character error."},
        {11, "Number conversion error."},
        {12, "Failed to configure serial port."},
        {13, "Failed to reach lower hard limit switch."},
        {14, "Failed to bring controller into idle state."},
        {15, "Position stall error."},
        {16, "Position deviation error."},
    };
    return t;
}
}

QString PM600::tableText(int code)
{
    return table().value(code);
}

PM600::PM600(HwRegisters *registers)
    : SerialDrive(registers, "PM600", {eConfigure, eFlush, eWrite, eRead, eTimeout, eNonPrintable, eParity, eReply},
                  kBufferSize)
{
    name = QStringLiteral("PM600");
    description = QStringLiteral("VG Scienta Drive");
}

void PM600::warnNonPrintable(int pos, const QByteArray &raw)
{
    LOG_WARN("<readCommandReply: %s> At position %d in cmndReply: %s.", commandText().constData(), pos,
             printable(raw).constData());
}

bool PM600::frameComplete(const QByteArray &raw) const
{
    return raw.endsWith("\r\n");
}

SerialDrive::Reply PM600::readCommandReply()
{
    QByteArray raw;
    if (readFrame(raw, 1000, 5000) != Reply::Ok)
        return Reply::Failed;
    // The last line before the final end of line is the reply.
    raw.chop(2);
    const int start = raw.lastIndexOf('\n') + 1;
    cmndReply = raw.mid(start);
    while (cmndReply.endsWith('\r'))
        cmndReply.chop(1);
    if (cmndReply.startsWith('!')) {
        error = eCommand;
        LOG_WARN("<readCommandReply: %s> reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return Reply::Refused;
    }
    return Reply::Ok;
}

bool PM600::identify()
{
    position = std::nan("");
    if (!regs || !regs->configureRS232(0, 1, true, true)) {
        error = eConfigure;
        LOG_WARN("<identify: %s> reply: %s.", "configureRS232", "");
        return false;
    }
    name = QStringLiteral("PM600");
    description = QStringLiteral("VG Scienta Drive");
    if (!command(1, 100, "%cID\r", address.load())) {
        LOG_WARN("<identify: %s> reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return false;
    }
    if (!command(2, 100, "%cQA\r", address.load()) || cmndReply.contains("Self-test failure")) {
        if (cmndReply.contains("Self-test failure"))
            error = eIdle;
        LOG_WARN("<identify: %s> reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return false;
    }
    if (!command(2, 100, "%cCO\r", address.load())) {
        LOG_WARN("<identify: %s> reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return false;
    }
    error = 0;
    return true;
}

bool PM600::readStatus(bool &moving, bool &lowerLimit)
{
    if (!command(50, 100, "%cOS\r", address.load()))
        return false;
    const int n = cmndReply.size();
    moving = !(n >= kIdleFromEnd && cmndReply.at(n - kIdleFromEnd) == '1');
    lowerLimit = n >= kIdleFromEnd && cmndReply.at(n - kLowerLimitFromEnd) == '1';
    dbgstr = cmndReply;
    return true;
}

bool PM600::readPosition(long &steps)
{
    if (!command(50, 100, "%cOC\r", address.load()))
        return false;
    const QByteArray text = cmndReply.trimmed();
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (!(c >= '0' && c <= '9') && !(i == 0 && (c == '-' || c == '+'))) {
            error = eNonDigit;
            LOG_WARN("<readPosition: %s> reply: %s.", commandText().constData(), printable(cmndReply).constData());
            return false;
        }
    }
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < -2147483648LL || v > 2147483647LL) {
        error = eNumber;
        LOG_WARN("<readPosition: %s> reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return false;
    }
    steps = static_cast<long>(v);
    return true;
}

SerialDrive::Motion PM600::waitForStop(double stepsPerSecond, long target, long &last)
{
    return followMotion([this](bool &moving, long &steps) {
        bool lower = false;
        return readStatus(moving, lower) && readPosition(steps);
    }, kPollMs, stepsPerSecond, target, false, kStallPolls, last);
}

bool PM600::moveToHome()
{
    Operation op(*this);
    if (op.refused())
        return false;
    if (aborted())
        return false;
    if (!command(2, 100, "%cCO\r", address.load()) || !command(2, 100, "%cSV800\r", address.load())) {
        LOG_WARN("<moveToHome: %s> Reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return false;
    }
    if (!command(1, 100, "%cMR-100000\r", address.load())) {
        LOG_WARN("<moveToHome: %s> Reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return failMotion();
    }
    long last = 0;
    Motion m = waitForStop(kHomingSpeed, 0, last);
    bool moving = false;
    bool lower = false;
    if (m == Motion::Stopped && !readStatus(moving, lower))
        m = Motion::Failed;
    if (m != Motion::Stopped || !lower) {
        // Never set position 0 where the lower limit was not reached.
        if (m != Motion::Failed)
            error = eLowerLimit;
        LOG_WARN("<moveToHome: %s> Reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return failMotion();
    }
    if (!command(1, 100, "%cMR20\r", address.load())) {
        LOG_WARN("<moveToHome: %s> Reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return failMotion();
    }
    m = waitForStop(kHomingSpeed, 0, last);
    if (m != Motion::Stopped) {
        if (m != Motion::Failed)
            error = eIdle;
        LOG_WARN("<moveToHome: %s>.", commandText().constData());
        return failMotion();
    }
    if (!command(2, 100, "%cCP0\r", address.load()) || !command(2, 100, "%cSV1000\r", address.load())) {
        LOG_WARN("<moveToHome: %s> Reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return false;
    }
    position = toPosition(0);
    error = 0;
    return true;
}

bool PM600::moveTo(double x)
{
    Operation op(*this);
    if (op.refused())
        return false;
    if (aborted())
        return endAborted();
    LinearDriveSettings::global().homeInverted = true;
    if (slope == 0)
        slope = kZeroSlopeSubstitute;
    long target = 0;
    if (!stepsFor(x, slope, intercept, target)) {
        error = eCommand;
        LOG_WARN("<moveTo(%g): %s> reply: %s.", x, "no valid step target", "");
        return false;
    }
    if (!command(1, 100, "%cMA%ld\r", address.load(), target)) {
        LOG_WARN("<moveTo(%g): %s> reply: %s.", x, commandText().constData(), printable(cmndReply).constData());
        return failMotion();
    }
    long p = 0;
    long previous = 0;
    int unchanged = 0;
    long maxPolls = 0;
    for (int cnt = 0;; ++cnt) {
        if (aborted())
            return endAborted();
        bool moving = false;
        bool lower = false;
        if (!readStatus(moving, lower)) {
            if (aborted())
                continue;
            LOG_WARN("<moveTo(%g): %s> reply: %s.", x, commandText().constData(), printable(cmndReply).constData());
            return failMotion();
        }
        if (!readPosition(p)) {
            if (aborted())
                continue;
            return failMotion();
        }
        position = toPosition(p);
        LOG_DEB("<moveTo> target %g, position %g, p %ld, moving %d, abort %d, reply %s", x, position.load(), p,
                moving ? 1 : 0, abort.load() ? 1 : 0, printable(dbgstr).constData());
        if (!moving) {
            if (std::labs(target - p) <= kMaxDeviation) {
                error = 0;
                return true;
            }
            error = eDeviation;
            LOG_WARN("<moveTo(%g): %s> CP:%ld, TP:%ld, cnt:%d.", x, "deviation", p, target, cnt);
            return false;
        }
        if (cnt == 0) {
            maxPolls = budgetPolls(static_cast<double>(target - p), kMovingSpeed, kPollMs);
        } else if (p == previous && p != target) {
            if (++unchanged > kStallPolls) {
                stop();
                error = eStall;
                LOG_WARN("<moveTo(%g): %s> CP:%ld, TP:%ld, cnt:%d.", x, "stall", p, target, cnt);
                return false;
            }
        } else {
            unchanged = 0;
        }
        previous = p;
        if (cnt >= maxPolls) {
            stop();
            error = eStall;
            LOG_WARN("<moveTo(%g): %s> CP:%ld, TP:%ld, cnt:%d.", x, "time budget spent", p, target, cnt);
            return false;
        }
        driverSleepMs(kPollMs);
    }
}

bool PM600::stop()
{
    if (!busy)
        return true;
    if (calledFromOutside())
        abort = true;
    const char esc = 0x1B;
    const bool sent = sendStop(&esc, 1);
    LOG_DEB("PM600::stop() -> STOPPING MOVE AT POSITION %g", position.load());
    if (!sent) {
        error = eWrite;
        return false;
    }
    return true;
}
