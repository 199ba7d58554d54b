#include "MDrivePlus.h"
#include "DriverLog.h"
#include "HwRegisters.h"

#include <QHash>

#include <cmath>
#include <cstdlib>

namespace {
enum Code {
    eConfigure = 100, eFlush = 101, eWrite = 102, eRead = 103, eReply = 104, eNumber = 105,
    eErrorCode = 106, eMove = 107
};
constexpr int kPollMs = 500;
constexpr int kStallPolls = 0;               // a stall: two polls in a row read the same step
constexpr long kHomeVi = 1000;               // initial velocity after homing, steps/s
constexpr long kHomeAccel = 1000000;         // acceleration and deceleration after homing

const QHash<int, QString> &table()
{
    static const QHash<int, QString> t = {
        {0, "No Error."},
        {1, "1 Fault."}, {2, "2 Fault."}, {3, "3 Fault."}, {4, "4 Fault."}, {5, "5 Fault."},
        {6, "An I/O is already set to this type."},
        {7, "Tried to set an Input or Defind I/O."},
        {8, "Tried to set an I/O to an incorrect I/O type."},
        {9, "Tried to write to I/O set as Input or is 'TYPED'."},
        {10, "Illegal I/O number."},
        {11, "Incorrect CLOCK type."},
        {12, "Illegal Trip / Capture."},
        {20, "Tried to set unknown variable or flag."},
        {21, "Tried to set an incorrect value."},
        {22, "VI is set greater than or equal to VM."},
        {23, "VM is set less than or equal to VI."},
        {24, "Illegal data entered."},
        {25, "Variable or flag is read only."},
        {26, "Variable or flag is not allowed to be incremented or decremented."},
        {27, "Trip not defined."},
        {28, "WARNING! Trying to redefine a program label or variable."},
        {29, "Trying to redefine a built in command, variable or flag."},
        {30, "Unknown label or user variable."},
        {31, "Program label or user variable table is full."},
        {32, "Trying to set a label (LB)."},
        {33, "Trying to SET an Instruction."},
        {34, "Trying to Execute a Variable or Flag."},
        {35, "Trying to Print Illegal Variable or Flag."},
        {36, "Illegal Motor Count to Encoder Count Ratio."},
        {37, "Command, Variable or Flag Not Available in Drive."},
        {38, "Missing parameter seperator."},
        {39, "Trip on Position and Trip on Relative Distance not allowed together."},
        {40, "Program not running."},
        {41, "Not Used."},
        {42, "Illegal program address."},
        {43, "Tried to overflow program stack."},
        {44, "Program locked."},
        {45, "Trying to Overflow Program Space."},
        {46, "Not in Program Mode."},
        {47, "Tried to Write to Illegal Flash Address."},
        {48, "Program Execution stopped by I/O set as Stop."},
        {60, "Not used."},
        {61, "Trying to set illegal BAUD rate."},
        {62, "IV already pending or IF Flag already TRUE."},
        {70, "FLASH Check Sum Fault."},
        {71, "Internal Temperature Warning, 10C to Shutdown."},
        {72, "Internal Over TEMP Fault, Disabling Drive."},
        {73, "Tried to SAVE while moving."},
        {80, "HOME switch not defined."},
        {81, "HOME type not defined."},
        {82, "Went to both LIMITS and did not find home."},
        {83, "Reached plus LIMIT switch."},
        {84, "Reached minus LIMIT switch."},
        {85, "MA or MR not allowed while in motion."},
        {86, "Stall detected."},
        {87, "In Clock Mode, JOG not allowed."},
        {88, "Following Error."},
        {89, "Reserved"},
        {90, "Motion Variables are too low switching to EE=1."},
        {91, "Motion stopped by I/O set as Stop."},
        {100, "Failed to configure RS232."},
        {101, "Failed to flush Serial Port."},
        {102, "Failed to write to Serial Port."},
        {103, "Failed to read Serial Port."},
        {104, "Failed to read Command Reply."},
        {105, "Failed to read number."},
        {106, "Failed to read error code."},
        {107, "Failed to move driver."},
    };
    return t;
}

bool toLong(const QByteArray &text, long &value)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok);
    if (!ok || v < -2147483648LL || v > 2147483647LL)
        return false;
    value = static_cast<long>(v);
    return true;
}
}

QString MDrivePlus::tableText(int code)
{
    return table().value(code);
}

MDrivePlus::MDrivePlus(HwRegisters *registers)
    : SerialDrive(registers, "MDrivePlus", {eConfigure, eFlush, eWrite, eRead, eReply, eReply, 0, eReply}, kBufferSize)
{
    name = QStringLiteral("MDrivePlus");
    description = QStringLiteral("Intelligent Motion System Drive");
}

bool MDrivePlus::frameComplete(const QByteArray &raw) const
{
    return raw.endsWith("\n>") || raw.endsWith("\n?");
}

SerialDrive::Reply MDrivePlus::readCommandReply()
{
    QByteArray raw;
    if (readFrame(raw, 200, 200) != Reply::Ok)
        return Reply::Failed;
    const bool refused = raw.endsWith('?');
    QByteArray text = raw.left(raw.size() - 1);
    // The controller echoes what it received; the echo is not part of the reply.
    QByteArray sent = cmndBuffer.left(cmndLength);
    while (sent.endsWith('\r'))
        sent.chop(1);
    if (!sent.isEmpty() && text.startsWith(sent))
        text.remove(0, sent.size());
    cmndReply = text.trimmed();
    if (!refused)
        return Reply::Ok;
    error = eErrorCode;
    queryErrorCode();
    return Reply::Refused;
}

void MDrivePlus::queryErrorCode()
{
    const char cr = '\r';
    static const char query[] = "PR ER\r";
    if (!sendRaw(&cr, 1))
        return;
    driverSleepMs(200);
    if (!flushLine())
        return;
    driverSleepMs(100);
    if (!sendRaw(query, sizeof query - 1))
        return;
    driverSleepMs(200);
    QByteArray raw;
    const QByteArray failed = cmndReply;
    if (readFrame(raw, 200, 200) != Reply::Ok) {
        error = eErrorCode;
        return;
    }
    QByteArray text = raw.left(raw.size() - 1);
    if (text.startsWith("PR ER"))
        text.remove(0, 5);
    long code = 0;
    if (toLong(text, code) && code != 0)
        error = static_cast<int>(code);
    else
        error = eErrorCode;
    LOG_WARN("Error %d: %s , reply: %s", static_cast<int>(error), qPrintable(getError()), printable(failed).constData());
}

bool MDrivePlus::identify()
{
    position = std::nan("");
    if (!regs || !regs->configureRS232(0, 1, false, false)) {
        error = eConfigure;
        LOG_WARN("[%s] identify: %s", family, qPrintable(getError()));
        return false;
    }
    name = QStringLiteral("MDrivePlus");
    description = QStringLiteral("Intelligent Motion System Drive");

    if (!command(2, 1000, "\x03"))
        return false;
    description = QString::fromLatin1(cmndReply);
    LOG_DEB("MDrivePlus::identify() -> description: {%s}", cmndReply.constData());

    if (!command(10, 100, "PR DN\r"))
        return false;
    if (!cmndReply.isEmpty())
        name = QString::fromLatin1(cmndReply);
    description += QStringLiteral("\nNAME: ") + QString::fromLatin1(cmndReply);
    LOG_DEB("MDrivePlus::identify() -> name: {%s}", cmndReply.constData());

    if (!command(10, 100, "PR PN\r"))
        return false;
    description += QStringLiteral("\nPART NUMBER: ") + QString::fromLatin1(cmndReply);
    LOG_DEB("MDrivePlus::identify() -> partNumber: {%s}", cmndReply.constData());

    if (!command(10, 100, "PR SN\r"))
        return false;
    description += QStringLiteral("\nSERIAL NUMBER: ") + QString::fromLatin1(cmndReply);
    LOG_DEB("MDrivePlus::identify() -> serialNumber: {%s}", cmndReply.constData());

    if (!command(10, 100, "PR VR\r"))
        return false;
    description += QStringLiteral("\nFIRMWARE VERSION: ") + QString::fromLatin1(cmndReply);
    LOG_DEB("MDrivePlus::identify() -> firmwareVersion: {%s}", cmndReply.constData());
    error = 0;
    return true;
}

bool MDrivePlus::readPosition(long &steps)
{
    for (int attempt = 1; attempt <= 5; ++attempt) {
        if (!command(50, 50, "PR P\r"))
            return false;
        if (toLong(cmndReply, steps))
            return true;
        LOG_WARN("[%s] atol failed to convert {%s}, p=%ld.", family, printable(cmndReply).constData(),
                 std::strtol(cmndReply.constData(), nullptr, 10));
        if (aborted())
            return false;
    }
    error = eNumber;
    LOG_WARN("[%s] Number conversion failed after %d attempt.", family, 5);
    return false;
}

bool MDrivePlus::queryMoving(bool &moving, int tries)
{
    if (!command(tries, 100, "PR MV\r"))
        return false;
    long flag = 0;
    if (!toLong(cmndReply, flag)) {
        error = eNumber;
        LOG_WARN("[%s] atol failed to convert {%s}, p=%ld.", family, printable(cmndReply).constData(), 0L);
        return false;
    }
    moving = flag != 0;
    return true;
}

bool MDrivePlus::failHome(const char *what)
{
    LOG_WARN("[%s] moveToHome error, reply: %s.", what, printable(cmndReply).constData());
    return false;
}

bool MDrivePlus::moveToHome()
{
    Operation op(*this);
    if (op.refused())
        return false;
    if (aborted())
        return false;
    slope = kSlope;
    const LinearDriveSettings &s = LinearDriveSettings::global();
    const char home = s.homeInverted ? '2' : '1';
    const char limit = s.homeInverted ? '1' : '2';
    const double percent = clampFinite(velPercent, 0, 100, 0);
    const long vm = static_cast<long>(std::trunc(percent * 10000));
    LOG_DEB("Speed Val scale :: %f , velpercent %f \n", percent * 10000, percent);

    if (!command(3, 100, "S%c=3,1,0\r", home) || !command(3, 100, "S%c=1,1,0\r", limit)
        || !command(3, 100, "LM=2\r") || !command(3, 100, "D=100000000\r") || !command(3, 100, "VI=1000\r")
        || !command(3, 100, "VM=%ld\r", vm))
        return failHome(commandText().constData());
    if (!command(3, 100, "HM %c\r", s.homeInverted ? '1' : '3')) {
        failHome(commandText().constData());
        return failMotion();
    }
    LOG_DEB("MDrivePlus::moveToHome() -> cmndReply: {%s}", cmndReply.constData());

    long last = 0;
    const Motion m = followMotion([this](bool &moving, long &steps) {
        return queryMoving(moving, 20) && readPosition(steps);
    }, kPollMs, static_cast<double>(vm > 0 ? vm : 1), 0, false, kStallPolls, last);
    if (m != Motion::Stopped) {
        if (m != Motion::Failed)
            error = eMove;
        LOG_WARN("[%s] moveToHome error, motor still moving or stalled at step %ld.", family, last);
        return failMotion();
    }
    if (!command(3, 100, "S%c=2,1,0\r", limit) || !command(3, 100, "LM=6\r")
        || !command(3, 100, "A=%ld\r", kHomeAccel) || !command(3, 100, "D=%ld\r", kHomeAccel)
        || !command(3, 100, "VI=%ld\r", kHomeVi) || !command(3, 100, "P=0\r"))
        return failHome(commandText().constData());
    LOG_DEB("MDrivePlus::moveToHome() -> cmndReply: {%s}", cmndReply.constData());
    position = toPosition(0);
    error = 0;
    return true;
}

bool MDrivePlus::moveTo(double x)
{
    Operation op(*this);
    if (op.refused())
        return false;
    if (aborted())
        return false;
    slope = kSlope;
    long target = 0;
    if (!stepsFor(x, slope, intercept, target)) {
        error = eMove;
        LOG_WARN("[%s]. moveTo(%g) error, no valid step target (intercept %g, slope %g).", family, x, intercept.load(), slope.load());
        return false;
    }
    LOG_DEB("pos %f, inter %ld, slope %f\n", x, target, slope.load());
    if (!command(3, 100, "MA %ld\r", target)) {
        LOG_WARN("[%s]. moveTo(%g) error, reply: %s.", family, x, printable(cmndReply).constData());
        return failMotion();
    }
    long last = 0;
    int polls = 0;
    const double speed = std::max(1000.0, std::trunc(clampFinite(velPercent, 0, 100, 0) * 10000));
    const Motion m = followMotion([&](bool &moving, long &steps) {
        ++polls;
        return queryMoving(moving, 50) && readPosition(steps);
    }, kPollMs, speed, target, true, kStallPolls, last);
    return endMove(m, x, target, last, polls, eMove);
}

bool MDrivePlus::stop()
{
    if (!busy)
        return true;
    if (calledFromOutside())
        abort = true;   // the running operation ends at its next check
    static const char stopCommand[] = "SL 0\r";
    const bool sent = sendStop(stopCommand, 5);
    LOG_DEB("MDrivePlus::stop() -> STOPPING MOVE AT POSITION %g", position.load());
    if (!sent) {
        error = eWrite;
        return false;
    }
    return true;
}
