#include "LinearDriveControl.h"

#include "RIRavaVCntrl.h"

#include <QSettings>

#include <cmath>
#include <limits>

namespace DriveText {
const char* const NotConnected = "Linear Drive is not connected";
const char* const Initiating = "Initiating Linear Drive";
const char* const Idle = "Idle";
const char* const Moving = "Moving";
const char* const FailedInit = "Failed to initiate Linear Drive";
const char* const FailedMove = "Failed to move Linear Drive";
const char* const HomeQuestion = "Would you like to return linear drive to home position ?";
const char* const HomeTitle = "Closing down warning";
namespace Prefix {
const char* const ReadSettings = "[ERROR] Read Settings: ";
const char* const WriteSettings = "[ERROR] Write Settings: ";
const char* const Initialise = "[ERROR] Initialise Linear Drive: ";
const char* const MoveTo = "[ERROR] Move To Position: ";
const char* const ReadCommandReply = "[ERROR] Read Command Reply: ";
} // namespace Prefix
} // namespace DriveText

// ---------------------------------------------------------------- slider map

SliderMap SliderMap::from(double boxMin, double boxMax, int sliderMin, int sliderMax)
{
    SliderMap m;
    const double span = boxMax - boxMin;
    m.scale = (span != 0 && std::isfinite(span)) ? (sliderMax - sliderMin) / span : 0.0;
    m.offset = sliderMin - boxMin * m.scale;
    return m;
}

int SliderMap::toSlider(double box) const
{
    const double v = std::round(box * scale + offset);
    if (!std::isfinite(v))
        return 0;
    return static_cast<int>(std::max<double>(std::numeric_limits<int>::min(),
                                             std::min<double>(std::numeric_limits<int>::max(), v)));
}

double SliderMap::toBox(int slider, double boxMin) const
{
    return scale != 0 ? (slider - offset) / scale : boxMin;
}

// ---------------------------------------------------------------- settings

namespace {
const char* const kGroup = "ldSettings";
const char* const kRowNames[DriveDialogSettings::kRows] = {
    "Position Minimum", "Position Maximum", "Position Decimals", "Position Step",
    "Slider Minimum",   "Slider Maximum",   "Slider Single Step", "Slider Page Step",
    "Address",          "Slope",            "Intercept",        "Type"};

bool parseDouble(const QString& text, double& v)
{
    bool ok = false;
    v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(v);
}

bool parseInt(const QString& text, int& v)
{
    bool ok = false;
    v = text.trimmed().toInt(&ok);
    return ok;
}
} // namespace

void DriveDialogSettings::read()
{
    QSettings s;
    s.beginGroup(QLatin1String(kGroup));
    cpGeometry = QByteArray::fromHex(s.value("cpgeometry").toByteArray());
    boxMinimum = s.value("setPosBoxMinimum", 0.0).toDouble();
    boxMaximum = s.value("setPosBoxMaximum", 100.0).toDouble();
    boxDecimals = s.value("setPosBoxDecimals", 1).toInt();
    boxSingleStep = s.value("setPosBoxSingleStep", 1).toDouble();
    sliderMinimum = s.value("setPosSliderMinimum", 0).toInt();
    sliderMaximum = s.value("setPosSliderMaximum", 100).toInt();
    sliderSingleStep = s.value("setPosSliderSingleStep", 100).toInt();
    sliderPageStep = s.value("setPosSliderPageStep", 100).toInt();
    address = s.value("address", 0).toInt();
    slope = s.value("slope", 0.0).toDouble();
    if (!std::isfinite(slope))
        slope = 0;
    intercept = s.value("intercept", 0.0).toDouble();
    // Written as 0/1 so that the library (which reads an int) agrees; older
    // stores may hold "true"/"false".
    const QVariant inv = s.value("homeInverted", 0);
    homeInverted = inv.toString() == QLatin1String("true") || inv.toInt() != 0;
    identifiedType = s.value("identifiedType", 0).toInt();
    velocityPercent = s.value("velocityPercent", 50.0).toDouble();
    homingSpeed = std::min(s.value("targetHomingSpeed", 10.0).toDouble(), kMaxHomingSpeed);
    driveSearch = s.value("driveSearch", true).toBool();
    if (!(boxMaximum > boxMinimum)) {
        boxMinimum = 0;
        boxMaximum = 100;
    }
    if (sliderMaximum <= sliderMinimum) {
        sliderMinimum = 0;
        sliderMaximum = 100;
    }
}

bool DriveDialogSettings::write() const
{
    QSettings s;
    s.beginGroup(QLatin1String(kGroup));
    s.setValue("cpgeometry", cpGeometry.toHex());
    s.setValue("setPosBoxMinimum", boxMinimum);
    s.setValue("setPosBoxMaximum", boxMaximum);
    s.setValue("setPosBoxDecimals", boxDecimals);
    s.setValue("setPosBoxSingleStep", boxSingleStep);
    s.setValue("setPosSliderMinimum", sliderMinimum);
    s.setValue("setPosSliderMaximum", sliderMaximum);
    s.setValue("setPosSliderSingleStep", sliderSingleStep);
    s.setValue("setPosSliderPageStep", sliderPageStep);
    s.setValue("address", address);
    // The library reads this key: 0 would be taken as a slope, so a slope of
    // 0 ("the library's default") leaves the key out.
    if (slope != 0 && std::isfinite(slope))
        s.setValue("slope", slope);
    else
        s.remove("slope");
    s.setValue("intercept", intercept);
    s.setValue("homeInverted", homeInverted ? 1 : 0);
    s.setValue("identifiedType", identifiedType);
    s.setValue("velocityPercent", velocityPercent);
    s.setValue("targetHomingSpeed", homingSpeed);
    s.setValue("homingSpeed", homingSpeed); // the library's own key
    s.setValue("driveSearch", driveSearch);
    s.endGroup();
    s.sync();
    return s.status() == QSettings::NoError;
}

QString DriveDialogSettings::rowName(int row)
{
    return row >= 0 && row < kRows ? QString::fromLatin1(kRowNames[row]) : QString();
}

QString DriveDialogSettings::rowText(int row) const
{
    switch (row) {
    case 0: return QString::number(boxMinimum);
    case 1: return QString::number(boxMaximum);
    case 2: return QString::number(boxDecimals);
    case 3: return QString::number(boxSingleStep);
    case 4: return QString::number(sliderMinimum);
    case 5: return QString::number(sliderMaximum);
    case 6: return QString::number(sliderSingleStep);
    case 7: return QString::number(sliderPageStep);
    case 8: return QString::number(address);
    case 9: return QString::number(slope, 'g', 6);
    case 10: return QString::number(intercept, 'g', 6);
    case 11: return QString::number(identifiedType);
    default: return QString();
    }
}

bool DriveDialogSettings::applyRow(int row, const QString& text, QString* error)
{
    auto refuse = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const bool isDouble = row == 0 || row == 1 || row == 3 || row == 9 || row == 10;
    double d = 0;
    int i = 0;
    if (isDouble ? !parseDouble(text, d) : !parseInt(text, i))
        return refuse(QStringLiteral("%1: '%2' is not %3.").arg(rowName(row), text,
                                                                isDouble ? "a number" : "an integer"));
    switch (row) {
    case 0:
        if (d >= boxMaximum)
            return refuse(QStringLiteral("Position Minimum must be below Position Maximum."));
        boxMinimum = d;
        return true;
    case 1:
        if (d <= boxMinimum)
            return refuse(QStringLiteral("Position Maximum must be above Position Minimum."));
        boxMaximum = d;
        return true;
    case 2:
        if (i < 0 || i > 6)
            return refuse(QStringLiteral("Position Decimals must lie between 0 and 6."));
        boxDecimals = i;
        return true;
    case 3:
        if (d <= 0)
            return refuse(QStringLiteral("Position Step must be positive."));
        boxSingleStep = d;
        return true;
    case 4:
        if (i >= sliderMaximum)
            return refuse(QStringLiteral("Slider Minimum must be below Slider Maximum."));
        sliderMinimum = i;
        return true;
    case 5:
        if (i <= sliderMinimum)
            return refuse(QStringLiteral("Slider Maximum must be above Slider Minimum."));
        sliderMaximum = i;
        return true;
    case 6:
    case 7:
        if (i <= 0)
            return refuse(QStringLiteral("%1 must be positive.").arg(rowName(row)));
        (row == 6 ? sliderSingleStep : sliderPageStep) = i;
        return true;
    case 8:
        if (i < 0 || i > 255)
            return refuse(QStringLiteral("Address must lie between 0 and 255."));
        address = i;
        return true;
    case 9:
        if (d == 0)
            return refuse(QStringLiteral("Slope must not be 0."));
        slope = d;
        return true;
    case 10:
        intercept = d;
        return true;
    case 11:
        if (i < 0 || i > 4)
            return refuse(QStringLiteral("Type must lie between 0 and 4."));
        identifiedType = i;
        return true;
    default:
        return refuse(QStringLiteral("No such parameter."));
    }
}

// ---------------------------------------------------------------- control

LinearDriveControl::LinearDriveControl(RIRavaVCntrl* controller, QStringList* alerts, QObject* parent)
    : QObject(parent), m_ctrl(controller), m_alerts(alerts), m_status(QString::fromLatin1(DriveText::NotConnected))
{
    m_settings.read();
}

bool LinearDriveControl::writeSettings()
{
    if (m_settings.write())
        return true;
    addAlert(DriveText::Prefix::WriteSettings, QStringLiteral("Failed to write the linear drive settings."));
    return false;
}

void LinearDriveControl::setStatus(const char* text)
{
    m_status = QString::fromLatin1(text);
    emit statusChanged(m_status);
}

void LinearDriveControl::addAlert(const char* prefix, const QString& message)
{
    if (m_alerts)
        m_alerts->append(QString::fromLatin1(prefix) + message);
}

double LinearDriveControl::actualPosition() const
{
    return m_initialised ? m_ctrl->getLinearDrivePosition() : -1.0;
}

bool LinearDriveControl::runOnWorker(const std::function<bool()>& op, bool showPosition)
{
    emit busyChanged(true);
    RIRavaVCntrl* ctrl = m_ctrl;
    const bool ok = m_worker.run(
        op,
        [this, ctrl, showPosition] {
            // The position is an atomic field of the library: no bus traffic.
            if (showPosition)
                emit positionChanged(ctrl->getLinearDrivePosition());
        },
        [this] { return m_aborted; }, [ctrl] { ctrl->stopLinearDrive(); });
    emit busyChanged(false);
    return ok;
}

bool LinearDriveControl::initialise(bool quiet)
{
    release();
    if (!m_ctrl->isConnected()) {
        addAlert(DriveText::Prefix::Initialise, QStringLiteral("VESK Device is not connected"));
        if (m_host.showAlerts)
            m_host.showAlerts();
        return false;
    }
    m_aborted = false;
    setStatus(DriveText::Initiating);
    RIRavaVCntrl* ctrl = m_ctrl;
    const bool ok = runOnWorker([ctrl] { return ctrl->moveLinearDriveToHome(); }, false);
    if (ok) {
        m_initialised = true;
        setStatus(DriveText::Idle);
        m_settings.identifiedType = m_ctrl->getLinearDriveIdentifiedType();
        emit initialisedChanged(true);
        emit positionChanged(m_ctrl->getLinearDrivePosition());
        if (!quiet && m_host.information)
            m_host.information(QStringLiteral("Quendrix Langmuir"),
                               QStringLiteral("Identified Linear Drive:\n") + m_ctrl->getLinearDriveDescription());
    } else {
        if (!m_aborted)
            addAlert(DriveText::Prefix::Initialise, m_ctrl->getLinearDriveError());
        m_initialised = false;
        m_aborted = false;
        setStatus(DriveText::NotConnected);
        emit initialisedChanged(false);
    }
    pushToController();
    return ok;
}

bool LinearDriveControl::moveTo(double position)
{
    m_aborted = false;
    if (!m_initialised || !m_ctrl->isConnected()) {
        addAlert(DriveText::Prefix::MoveTo, QStringLiteral("Linear drive is not initialised."));
        return false;
    }
    if (!std::isfinite(position)) {
        addAlert(DriveText::Prefix::MoveTo, QStringLiteral("Position is not a number."));
        return false;
    }
    setStatus(DriveText::Moving);
    RIRavaVCntrl* ctrl = m_ctrl;
    const bool ok = runOnWorker([ctrl, position] { return ctrl->moveLinearDriveTo(position); }, true);
    emit positionChanged(m_ctrl->getLinearDrivePosition());
    if (!ok && !m_aborted)
        addAlert(DriveText::Prefix::MoveTo, m_ctrl->getLinearDriveError());
    setStatus(DriveText::Idle);
    return ok;
}

bool LinearDriveControl::home()
{
    m_aborted = false;
    setStatus(DriveText::Moving);
    RIRavaVCntrl* ctrl = m_ctrl;
    const bool ok = runOnWorker([ctrl] { return ctrl->moveLinearDriveToHome(); }, true);
    emit positionChanged(m_ctrl->getLinearDrivePosition());
    setStatus(DriveText::Idle);
    return ok;
}

void LinearDriveControl::abort()
{
    m_aborted = true;
    m_ctrl->abortLinearDrive();
}

bool LinearDriveControl::wouldAskHome() const
{
    if (!m_initialised || !m_ctrl->isConnected())
        return false;
    const double p = m_ctrl->getLinearDrivePosition();
    return std::isfinite(p) && p != 0;
}

void LinearDriveControl::release()
{
    if (wouldAskHome() && m_host.question
        && m_host.question(QString::fromLatin1(DriveText::HomeTitle), QString::fromLatin1(DriveText::HomeQuestion)))
        home();
    const bool was = m_initialised;
    m_initialised = false;
    m_aborted = false;
    setStatus(DriveText::NotConnected);
    if (was)
        emit initialisedChanged(false);
    emit positionChanged(std::nan(""));
}

void LinearDriveControl::readFromController()
{
    m_settings.address = static_cast<unsigned char>(m_ctrl->getLinearDriveAddress());
    const double slope = m_ctrl->getLinearDriveSlope();
    if (std::isfinite(slope) && slope != 0)
        m_settings.slope = slope;
    m_settings.homeInverted = m_ctrl->getHomeInverted();
    const int type = m_ctrl->getLinearDriveIdentifiedType();
    if (type >= 1 && type <= 4 && type != m_settings.identifiedType) {
        m_settings.identifiedType = type;
        writeSettings();
    }
}

void LinearDriveControl::setDriveSearch(bool search)
{
    m_settings.driveSearch = search;
    writeSettings();
}

void LinearDriveControl::pushToController()
{
    m_ctrl->setLinearDriveVelpercent(m_settings.velocityPercent);
    if (std::isfinite(m_settings.slope) && m_settings.slope != 0)
        m_ctrl->setLinearDriveSlope(m_settings.slope);
    m_ctrl->setHomeInverted(m_settings.homeInverted);
    m_ctrl->setHomingSpeed(m_settings.homingSpeed);
}

bool LinearDriveControl::applyParameter(int row, const QString& text, QString* error)
{
    if (!m_settings.applyRow(row, text, error))
        return false;
    const bool connected = m_ctrl->isConnected();
    switch (row) {
    case 8:
        if (connected)
            m_ctrl->setLinearDriveAddress(static_cast<char>(m_settings.address));
        break;
    case 9:
        if (connected)
            m_ctrl->setLinearDriveSlope(m_settings.slope);
        break;
    case 10:
        if (connected)
            m_ctrl->setLinearDriveIntercept(m_settings.intercept);
        break;
    case 11:
        m_ctrl->setLinearDriveIdentifiedType(m_settings.identifiedType);
        break;
    default:
        break;
    }
    writeSettings();
    return true;
}

void LinearDriveControl::applyConfiguration(double slope, bool homeInverted, double velocityPercent,
                                            double railLength, double homingSpeed)
{
    if (std::isfinite(slope))
        m_settings.slope = slope;
    m_settings.homeInverted = homeInverted;
    if (std::isfinite(velocityPercent) && velocityPercent > 0)
        m_settings.velocityPercent = velocityPercent;
    if (std::isfinite(railLength) && railLength >= 1) {
        m_settings.sliderMaximum = static_cast<int>(std::lround(railLength));
        m_settings.boxMaximum = m_settings.sliderMaximum;
        if (m_settings.sliderMinimum >= m_settings.sliderMaximum)
            m_settings.sliderMinimum = 0;
        if (m_settings.boxMinimum >= m_settings.boxMaximum)
            m_settings.boxMinimum = 0;
    }
    m_ctrl->setHomingSpeed(homingSpeed);
    m_settings.homingSpeed = std::min(homingSpeed, DriveDialogSettings::kMaxHomingSpeed);
    pushToController();
    writeSettings();
}
