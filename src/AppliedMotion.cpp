#include "AppliedMotion.h"
#include "DriverLog.h"
#include "HwRegisters.h"
#include "MDrivePlus.h"

#include <cmath>

namespace {
// Codes of the table AppliedMotion shares with MDrivePlus.
enum Code {
    eConfigure = 100, eFlush = 101, eWrite = 102, eRead = 103, eReply = 104, eNumber = 105, eErrorCode = 106,
    eMove = 107
};
constexpr int kPollMs = 200;
constexpr int kStallPolls = 0;   // a stall: two polls in a row read the same step
}

AppliedMotion::AppliedMotion(HwRegisters *registers)
    : SerialDrive(registers, "AppliedMotion", {eConfigure, eFlush, eWrite, eRead, eReply, eReply, 0, eReply},
                  kBufferSize)
{
    name = QStringLiteral("AppliedMotion");
    description = QStringLiteral("Applied Motion Linear Drive");
}

QString AppliedMotion::errorText(int code) const
{
    return MDrivePlus::tableText(code);
}

bool AppliedMotion::frameComplete(const QByteArray &raw) const
{
    return raw.endsWith('\r');
}

SerialDrive::Reply AppliedMotion::readCommandReply()
{
    QByteArray raw;
    if (readFrame(raw, 200, 1000) != Reply::Ok)
        return Reply::Failed;
    cmndReply = raw.trimmed();
    if (!cmndReply.startsWith('?'))
        return Reply::Ok;
    bool ok = false;
    const int code = cmndReply.mid(1).toInt(&ok);
    error = ok && code > 0 ? code : eErrorCode;
    LOG_WARN("Error %d: %s , reply: %s", static_cast<int>(error), qPrintable(getError()), printable(cmndReply).constData());
    return Reply::Refused;
}

double AppliedMotion::stepsPerRevolution() const
{
    const int configured = stepsPerRev;
    return configured > 0 ? configured : kDefaultStepsPerRev;
}

bool AppliedMotion::identify()
{
    position = std::nan("");
    if (!regs || !regs->configureRS232(0, 1, false, false)) {
        error = eConfigure;
        LOG_WARN("[%s] identify: %s", family, qPrintable(getError()));
        return false;
    }
    name = QStringLiteral("AppliedMotion");
    description = QStringLiteral("Applied Motion Linear Drive");
    if (!command(1, 100, "SS999\r"))
        return false;
    if (cmndReply != "SSOK") {
        error = eReply;
        LOG_WARN("[%s] identify: unexpected reply %s.", family, printable(cmndReply).constData());
        return false;
    }
    description = QStringLiteral("Applied Motion Integrated Controller\nNAME: ") + name;
    if (!command(2, 100, "MV\r"))
        return false;
    description += QStringLiteral("\nPART CONFIG CODE: ") + QString::fromLatin1(cmndReply);
    if (!command(2, 100, "IFD\r") || !command(2, 100, "DL2\r") || !command(2, 100, "DE7\r")
        || !command(2, 100, "AC%s\r", fixed(kAcceleration, 3).constData()))
        return false;
    error = 0;
    return true;
}

bool AppliedMotion::readPosition(long &steps)
{
    if (!command(5, 50, "IP\r"))
        return false;
    QByteArray text = cmndReply;
    if (text.startsWith("IP="))
        text.remove(0, 3);
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < -2147483648LL || v > 2147483647LL) {
        error = eNumber;
        LOG_WARN("[%s] atol failed to convert {%s}, p=%ld.", family, printable(cmndReply).constData(), 0L);
        return false;
    }
    steps = static_cast<long>(v);
    return true;
}

bool AppliedMotion::queryMoving(bool &moving)
{
    if (!command(5, 50, "RS\r"))
        return false;
    if (!cmndReply.startsWith("RS=")) {
        error = eReply;
        LOG_WARN("[%s] Received reply: %s.", family, printable(cmndReply).constData());
        return false;
    }
    moving = cmndReply.indexOf('M', 3) >= 0 || cmndReply.indexOf('H', 3) >= 0;
    return true;
}

SerialDrive::Motion AppliedMotion::seek(double revPerSecond, const char *what)
{
    long last = 0;
    const Motion m = followMotion([this](bool &moving, long &steps) {
        return queryMoving(moving) && readPosition(steps);
    }, kPollMs, revPerSecond * stepsPerRevolution(), 0, false, kStallPolls, last);
    if (m != Motion::Stopped)
        LOG_WARN("[%s] %s: motor did not come to rest (step %ld).", family, what, last);
    return m;
}

bool AppliedMotion::moveToHome()
{
    Operation op(*this);
    if (op.refused())
        return false;
    if (aborted())
        return false;
    const double percent = clampFinite(LinearDriveSettings::global().homingSpeed, 1, 100, 10);
    const double rev = percent / 100.0 * kMaxRevPerSecond;
    auto fail = [this](Motion m) {
        if (m == Motion::Stalled || m == Motion::OutOfTime)
            error = eMove;
        LOG_WARN("[%s] moveToHome error, reply: %s.", family, printable(cmndReply).constData());
        return failMotion();
    };
    if (!command(2, 100, "VE%s\r", fixed(rev, 3).constData()) || !command(2, 100, "DI-20000\r") || !command(2, 100, "SS999\r\n")
        || !command(2, 100, "DE1000\r") || !command(1, 100, "SH2H\r"))
        return fail(Motion::Failed);
    // The seek has to end at the switch before the position is set to 0.
    Motion m = seek(rev, "seek home");
    if (m != Motion::Stopped)
        return fail(m);
    if (!command(2, 100, "ST\r") || !command(2, 100, "SP0\r") || !command(1, 100, "FP50\r\n"))
        return fail(Motion::Failed);
    driverSleepMs(1000);
    if ((m = seek(rev, "back off")) != Motion::Stopped)
        return fail(m);
    if (!command(1, 100, "SH2H\r"))
        return fail(Motion::Failed);
    if ((m = seek(rev, "seek home")) != Motion::Stopped)
        return fail(m);
    if (!command(2, 100, "ST\r") || !command(2, 100, "SP0\r") || !command(2, 100, "DE7\r")
        || !command(2, 100, "VE9.0\r"))
        return fail(Motion::Failed);
    position = toPosition(0);
    error = 0;
    return true;
}

bool AppliedMotion::moveTo(double x)
{
    Operation op(*this);
    if (op.refused())
        return false;
    if (aborted())
        return false;
    long target = 0;
    if (!stepsFor(x, slope, intercept, target)) {
        error = eMove;
        LOG_WARN("[%s]. moveTo(%g) error, no valid step target (intercept %g, slope %g).", family, x, intercept.load(), slope.load());
        return false;
    }
    const double rev = clampFinite(velPercent, 1, 100, 50) / 100.0 * kMaxRevPerSecond;
    if (!command(2, 100, "VE%s\r", fixed(rev, 3).constData()) || !command(1, 100, "FP%ld\r", target)) {
        LOG_WARN("[%s]. moveTo(%g) error, reply: %s.", family, x, printable(cmndReply).constData());
        return failMotion();
    }
    long last = 0;
    int polls = 0;
    const Motion m = followMotion([&](bool &moving, long &steps) {
        ++polls;
        return queryMoving(moving) && readPosition(steps);
    }, kPollMs, rev * stepsPerRevolution(), target, true, kStallPolls, last);
    return endMove(m, x, target, last, polls, eMove);
}

bool AppliedMotion::stop()
{
    if (calledFromOutside())
        abort = true;
    static const char stopCommand[] = "ST\r";
    const bool sent = sendStop(stopCommand, 3);
    LOG_DEB("AppliedMotion::stop() -> STOPPING MOVE AT POSITION %g", position.load());
    if (!sent) {
        error = eWrite;
        return false;
    }
    return true;
}
