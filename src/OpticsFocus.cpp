#include "OpticsFocus.h"
#include "DriverLog.h"
#include "HwRegisters.h"
#include "PM600.h"

#include <cmath>

namespace {
// Codes of the table OpticsFocus shares with PM600.
enum Code {
    eRead = 1, eTimeout = 3, eNonPrintable = 4, eWrite = 6, eFlush = 7, eReply = 8, eCommand = 9,
    eNonDigit = 10, eNumber = 11, eConfigure = 12, eLowerLimit = 13, eStall = 15
};
constexpr int kPollMs = 500;
constexpr int kStallPolls = 3;
}

OpticsFocus::OpticsFocus(HwRegisters *registers)
    : SerialDrive(registers, "OpticsFocus", {eConfigure, eFlush, eWrite, eRead, eTimeout, eNonPrintable, 0, eReply},
                  kBufferSize)
{
    name = QStringLiteral("OpticsFocus");
    description = QStringLiteral("OpticsFocus Drive");
}

QString OpticsFocus::errorText(int code) const
{
    return PM600::tableText(code);
}

void OpticsFocus::warnNonPrintable(int pos, const QByteArray &raw)
{
    LOG_WARN("<readCommandReply: %s> At position %d in cmndReply: %s.", commandText().constData(), pos,
             printable(raw).constData());
}

bool OpticsFocus::frameComplete(const QByteArray &raw) const
{
    return raw.endsWith('\n');
}

SerialDrive::Reply OpticsFocus::readCommandReply()
{
    QByteArray raw;
    if (readFrame(raw, 500, 2000) != Reply::Ok)
        return Reply::Failed;
    cmndReply = raw.trimmed();
    return Reply::Ok;
}

bool OpticsFocus::expectOk(const char *what)
{
    if (cmndReply == "OK")
        return true;
    error = eReply;
    LOG_WARN("<%s: %s> processed reply: %s.", what, commandText().constData(), printable(cmndReply).constData());
    return false;
}

bool OpticsFocus::identify()
{
    position = std::nan("");
    if (!regs || !regs->configureRS232(0, 1, true, false)) {
        error = eConfigure;
        LOG_WARN("<identify: %s> reply: %s.", "configureRS232", "");
        return false;
    }
    name = QStringLiteral("OpticsFocus");
    description = QStringLiteral("OpticsFocus Drive");
    driverSleepMs(500);
    if (!command(1, 100, "?R\r")) {
        if (error != kAborted)
            error = eCommand;
        LOG_WARN("<identify: %s> reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return false;
    }
    if (!expectOk("identify"))
        return false;
    error = 0;
    return true;
}

bool OpticsFocus::readPosition(long &steps)
{
    if (!command(5, 100, "?X\r"))
        return false;
    const QByteArray text = cmndReply;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (!(c >= '0' && c <= '9') && !(i == 0 && (c == '-' || c == '+'))) {
            error = eNonDigit;
            LOG_WARN("<readPosition: %s> processed reply: %s.", commandText().constData(), printable(text).constData());
            return false;
        }
    }
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < -2147483648LL || v > 2147483647LL) {
        error = eNumber;
        LOG_WARN("<readPosition: %s> processed reply: %s.", commandText().constData(), printable(text).constData());
        return false;
    }
    steps = static_cast<long>(v);
    dbgstr = text;
    return true;
}

bool OpticsFocus::moveToHome()
{
    Operation op(*this);
    if (op.refused())
        return false;
    if (aborted())
        return false;
    const double v = clampFinite(LinearDriveSettings::global().homingSpeed, 1, 255, 10);
    if (!command(2, 100, "V%s\r", fixed(v, 0).constData()) || !expectOk("moveToHome"))
        return false;
    if (!command(1, 500, "HX0\r") || !expectOk("moveToHome"))
        return failMotion();
    // The controller zeroes its counter at the home switch; homing has ended
    // when the counter reads 0 twice in a row.
    long last = 0;
    long previous = 1;
    const Motion m = followMotion([&](bool &moving, long &steps) {
        if (!readPosition(steps))
            return false;
        moving = !(steps == 0 && previous == 0);
        previous = steps;
        return true;
    }, kPollMs, v * kStepsPerSecondPerUnit, 0, false, kStallPolls, last);
    if (m != Motion::Stopped) {
        if (m != Motion::Failed && m != Motion::Aborted)
            error = eLowerLimit;
        LOG_WARN("<moveToHome: %s> processed reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return failMotion();
    }
    position = toPosition(0);
    error = 0;
    return true;
}

bool OpticsFocus::moveTo(double x)
{
    Operation op(*this);
    if (op.refused())
        return false;
    if (aborted())
        return false;
    long target = 0;
    long start = 0;
    if (!stepsFor(x, slope, intercept, target)) {
        error = eCommand;
        LOG_WARN("<moveTo: %s> reply: %s.", "no valid step target", "");
        return false;
    }
    const double v = clampFinite(velPercent, 1, 100, 50);
    if (!command(2, 100, "V%s\r", fixed(v, 0).constData()) || !expectOk("moveTo"))
        return false;
    if (!readPosition(start)) {
        LOG_WARN("<moveTo: %s> reply: %s.", commandText().constData(), printable(cmndReply).constData());
        return false;
    }
    position = toPosition(start);
    const double difference = static_cast<double>(target) - static_cast<double>(start);
    if (std::fabs(difference) > 2147483647.0) {
        error = eCommand;
        LOG_WARN("<moveTo: %s> reply: %s.", "step difference out of range", "");
        return false;
    }
    if (!command(1, 500, "X%+ld\r", target - start) || !expectOk("moveTo"))
        return failMotion();
    long last = start;
    const Motion m = followMotion([&](bool &moving, long &steps) {
        if (!readPosition(steps))
            return false;
        moving = steps != target;
        return true;
    }, kPollMs, v * kStepsPerSecondPerUnit, target, true, kStallPolls, last);
    if (m == Motion::Stopped) {
        error = 0;
        return true;
    }
    if (m != Motion::Failed && m != Motion::Aborted)
        error = eStall;
    LOG_WARN("<moveTo: %s> processed reply: %s.", commandText().constData(), printable(dbgstr).constData());
    return failMotion();
}

bool OpticsFocus::stop()
{
    if (!busy)
        return true;
    if (calledFromOutside())
        abort = true;
    const char stopBytes[] = {'S', 0x0D, 0x00};
    const bool sent = sendStop(stopBytes, 3);
    LOG_DEB("OpticsFocus::stop()");
    if (!sent) {
        error = eWrite;
        return false;
    }
    return true;
}
