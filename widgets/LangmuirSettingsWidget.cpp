#include "LangmuirSettingsWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <cmath>

namespace {
struct Range {
    bool checked;
    double min, max;
};
const Range kRanges[LangmuirSettingsWidget::eFieldCount] = {
    {true, 0.001, 10},   // radius [mm]
    {false, 0, 0},       // holder
    {true, 0, 100},      // length [mm]
    {true, 0, 500},      // resistance
    {true, 1, 10000},    // ion mass
    {true, 0, 100000},   // gas temperature
    {true, 0, 1e9},      // pressure
    {true, 0, 1e9},      // ion-neutral cross-section
    {false, 0, 0},       // electron-neutral
    {false, 0, 0},       // k factor
};
// Session-file names of the fields, for the record's own acceptance check.
const char* const kNames[LangmuirSettingsWidget::eFieldCount] = {
    "probe_radius", "probe_holder", "probe_length", "probe_resistance", "ionmass",
    "gas_temperature", "pressure", "sigmaN", "sigmaEn", "kfactor"};

QString num(double v)
{
    return QLocale().toString(v, 'g', 6);
}
} // namespace

double LangmuirSettingsWidget::readNumber(const QString& text, bool* ok)
{
    bool good = false;
    const QString t = text.trimmed();
    double v = QLocale().toDouble(t, &good);
    if (!good)
        v = QLocale::c().toDouble(t, &good);
    if (ok)
        *ok = good && std::isfinite(v);
    return good ? v : 0.0;
}

LangmuirSettingsWidget::LangmuirSettingsWidget(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Process Settings"));
    auto* g = new QGridLayout(this);
    auto addRow = [&](int row, Field f, const QString& label, const QString& unit, const QString& labelTip = QString(),
                      const QString& unitTip = QString()) {
        auto* l = new QLabel(label);
        l->setToolTip(labelTip);
        m_edit[f] = new QLineEdit;
        m_edit[f]->setMaxLength(12);
        m_edit[f]->setToolTip(labelTip);
        auto* u = new QLabel(unit);
        u->setToolTip(unitTip);
        g->addWidget(l, row, 0);
        g->addWidget(m_edit[f], row, 1);
        g->addWidget(u, row, 2);
    };
    addRow(0, eRadius, "Probe radius", "[mm]", QString(), "millimeters");
    addRow(1, eHolder, "Holder radius", "[mm]", QString(), "Probe holder radius");
    addRow(2, eLength, "Probe length", "[mm]");
    addRow(3, eResistance, "Probe Resistance", "[Ohm]");
    addRow(4, eIonMass, "Ion Mass", "[amu]", QString(), "Atomic Mass Unit");
    addRow(5, eTemperature, "Gas Temperature", "Kelvin");
    g->addWidget(new QLabel(QStringLiteral("Gas Pressure")), 6, 0);
    m_edit[ePressure] = new QLineEdit;
    m_edit[ePressure]->setMaxLength(12);
    g->addWidget(m_edit[ePressure], 6, 1);
    m_units = new QComboBox;
    m_units->addItems({"[Torr]", "[Bar]", "[Pascal]"});
    g->addWidget(m_units, 6, 2);
    auto* vpLabel = new QLabel(QStringLiteral("Vp Method"));
    vpLabel->setToolTip(QStringLiteral("Select method to used to find Vp"));
    m_vpMethod = new QComboBox;
    m_vpMethod->addItems({"Use Intersecting Slopes", "Use Zero Crossing of 2nd Derivative"});
    m_vpMethod->setToolTip(QStringLiteral("Select method to used to find Vp"));
    g->addWidget(vpLabel, 7, 0);
    g->addWidget(m_vpMethod, 7, 1, 1, 2);
    g->addWidget(new QLabel(QStringLiteral("DC Compensation")), 8, 0);
    m_dc = new QCheckBox(QStringLiteral("Compensate for plasma resistance"));
    g->addWidget(m_dc, 8, 1, 1, 2);
    m_robust = new QCheckBox(QStringLiteral("Noise-robust analysis"));
    m_robust->setToolTip(QStringLiteral(
        "Single probes: estimate the current noise, smooth noisy curves and refine Vf.\n"
        "Clean curves are analysed exactly as without it."));
    m_ionFit = new QCheckBox(QStringLiteral("Ion density from the ion branch"));
    m_ionFit->setToolTip(QStringLiteral(
        "Cylindrical single probes: also Ni_fit, from a fit of the whole ion branch.\n"
        "The existing results stay as they are."));
    m_twoTemperature = new QCheckBox(QStringLiteral("Two electron temperatures"));
    m_twoTemperature->setToolTip(QStringLiteral(
        "Single probes: also a cold and a hot temperature and the hot fraction,\n"
        "or one temperature when one fits. The existing results stay as they are."));
    m_statistical = new QCheckBox(QStringLiteral("Statistical errors"));
    m_statistical->setToolTip(QStringLiteral(
        "Errors as the spread of results over repeated measurements, from copies of the mean\n"
        "curve re-analysed with noise of its own size (the noise-robust analysis always does so).\n"
        "Off: the change of each result when every point moves by one sweep's deviation."));
    auto* options = new QVBoxLayout;
    options->setSpacing(1);
    for (QCheckBox* box : {m_robust, m_ionFit, m_twoTemperature, m_statistical})
        options->addWidget(box);
    g->addLayout(options, 9, 1, 1, 2);
    g->addWidget(new QLabel(QStringLiteral("<b>Collision cross-section</b>")), 10, 0, 1, 3);
    addRow(11, eSigmaN, "Ion-Neutral", "[m<sup>2</sup>]", "Ion - Neutral momentum transfer collision cross-section",
           "square meters");
    addRow(12, eSigmaEn, "Electron-Neutral", "[m<sup>2</sup>]",
           "Electron - Neutral momentum transfer collision cross-section", "square meters");
    addRow(13, eKFactor, "k factor", QString());
    m_apply = new QPushButton(QStringLiteral("Apply"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_defaults = new QPushButton(QStringLiteral("Defaults"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_defaults);
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_apply);
    g->addLayout(buttons, 14, 0, 1, 3);

    for (Field f : {eRadius, eLength, eIonMass, eTemperature, ePressure, eSigmaN})
        connect(m_edit[f], &QLineEdit::editingFinished, this, &LangmuirSettingsWidget::validateLangmuirSettings);
    connect(m_edit[eResistance], &QLineEdit::editingFinished, this, &LangmuirSettingsWidget::setProbeRes);
    connect(m_vpMethod, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &LangmuirSettingsWidget::validateLangmuirSettings);
    connect(m_units, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &LangmuirSettingsWidget::setPressureUnits);
    connect(m_dc, &QCheckBox::stateChanged, this, &LangmuirSettingsWidget::dcCorrectionChanged);
    connect(m_apply, &QPushButton::clicked, this, &LangmuirSettingsWidget::acceptClose);
    connect(m_cancel, &QPushButton::clicked, this, &LangmuirSettingsWidget::cancelClose);
    connect(m_defaults, &QPushButton::clicked, this, &LangmuirSettingsWidget::resetDefaults);
    resetDefaults();
}

void LangmuirSettingsWidget::load(const LangmuirSettings& settings)
{
    m_settings = settings;
    showSettings();
}

QString LangmuirSettingsWidget::shown(Field f) const
{
    const LangmuirSettings& s = m_settings;
    switch (f) {
    case eRadius: return num(s.probeRadius * 1000.0);
    case eHolder: return num(s.probeHolderRadius * 1000.0);
    case eLength: return num(s.probeLength * 1000.0);
    case eResistance: return num(s.probeResistance);
    case eIonMass: return num(s.ionMass);
    case eTemperature: return num(s.gasTemperature);
    case ePressure: {
        double p = s.pressure;
        switch (m_units->currentIndex()) {
        case 1: p *= 0.0013332; break;
        case 2:
            p *= 133.322;
            if (p - std::floor(p) > 0.9999)
                p += 0.0001;
            break;
        default: break;
        }
        return num(p);
    }
    case eSigmaN: return num(s.sigmaN);
    case eSigmaEn: return num(s.sigmaEn);
    case eKFactor: return num(s.kfactor);
    default: return QString();
    }
}

void LangmuirSettingsWidget::showSettings()
{
    for (int f = 0; f < eFieldCount; ++f)
        m_edit[f]->setText(shown(Field(f)));
    const QSignalBlocker b1(m_dc), b2(m_vpMethod);
    m_dc->setChecked(m_settings.correctDC);
    m_robust->setChecked(m_settings.noiseRobust);
    m_ionFit->setChecked(m_settings.ionDensityMethod == 1);
    m_twoTemperature->setChecked(m_settings.twoTemperature);
    m_statistical->setChecked(m_settings.statisticalErrors);
    m_vpMethod->setCurrentIndex(m_settings.bUse2ndDerivativeZeroVp ? 1 : 0);
}

bool LangmuirSettingsWidget::acceptable(Field f, const QString& text) const
{
    const Range& r = kRanges[f];
    if (!r.checked)
        return true;
    bool ok = false;
    const double v = readNumber(text, &ok);
    if (!ok || v < r.min || v > r.max)
        return false;
    // Values the analysis cannot work with (a gas temperature of 0, ...) are
    // refused here too, not only when a file brings them.
    if (!LangmuirSettings::accepts(QString::fromLatin1(kNames[f]), storedValue(f, v)))
        return false;
    // At most 10 decimals in the mantissa.
    static const QRegularExpression decimals(QStringLiteral("[.,](\\d+)"));
    const QRegularExpressionMatch m = decimals.match(text);
    return !m.hasMatch() || m.captured(1).size() <= 10;
}

void LangmuirSettingsWidget::validateField(Field f)
{
    QLineEdit* e = m_edit[f];
    while (!acceptable(f, e->text()) && e->isUndoAvailable())
        e->undo();
    if (!acceptable(f, e->text()))
        e->setText(shown(f));
}

void LangmuirSettingsWidget::validateLangmuirSettings()
{
    for (Field f : {eRadius, eLength, eIonMass, eTemperature, ePressure, eSigmaN})
        validateField(f);
}

void LangmuirSettingsWidget::setProbeRes()
{
    validateField(eResistance);
}

void LangmuirSettingsWidget::setPressureUnits()
{
    m_edit[ePressure]->setText(shown(ePressure));
}

double LangmuirSettingsWidget::storedValue(Field f, double shownValue) const
{
    switch (f) {
    case eRadius:
    case eHolder:
    case eLength: return shownValue / 1000.0;
    case ePressure:
        switch (m_units->currentIndex()) {
        case 1: return shownValue * 750.06;
        case 2: return shownValue * 0.0075006;
        default: return shownValue;
        }
    default: return shownValue;
    }
}

double LangmuirSettingsWidget::pressureShown() const
{
    bool ok = false;
    const double p = readNumber(m_edit[ePressure]->text(), &ok);
    const double torr = storedValue(ePressure, p);
    if (!ok || !LangmuirSettings::accepts(QStringLiteral("pressure"), torr))
        return m_settings.pressure;
    return torr;
}

void LangmuirSettingsWidget::dcCorrectionChanged(int state)
{
    m_settings.correctDC = (state == Qt::Checked);
    emit compensationChanged(m_settings.correctDC);
}

void LangmuirSettingsWidget::acceptClose()
{
    validateLangmuirSettings();
    validateField(eResistance);
    auto read = [&](Field f, double fallback) {
        bool ok = false;
        const double v = readNumber(m_edit[f]->text(), &ok);
        if (!ok || !LangmuirSettings::accepts(QString::fromLatin1(kNames[f]), storedValue(f, v)))
            return fallback;
        return v;
    };
    LangmuirSettings& s = m_settings;
    s.ionMass = read(eIonMass, s.ionMass);
    s.probeRadius = read(eRadius, s.probeRadius * 1000.0) / 1000.0;
    s.probeHolderRadius = read(eHolder, s.probeHolderRadius * 1000.0) / 1000.0;
    s.probeLength = read(eLength, s.probeLength * 1000.0) / 1000.0;
    s.gasTemperature = read(eTemperature, s.gasTemperature);
    s.pressure = pressureShown();
    s.sigmaN = read(eSigmaN, s.sigmaN);
    s.sigmaEn = read(eSigmaEn, s.sigmaEn);
    s.kfactor = read(eKFactor, s.kfactor);
    s.bUse2ndDerivativeZeroVp = m_vpMethod->currentIndex() == 1;
    s.noiseRobust = m_robust->isChecked();
    s.ionDensityMethod = m_ionFit->isChecked() ? 1 : 0;
    s.twoTemperature = m_twoTemperature->isChecked();
    s.statisticalErrors = m_statistical->isChecked();
    const double res = read(eResistance, s.probeResistance);
    if (res != s.probeResistance) {
        s.probeResistance = res;
        bool whole = false;
        const int n = m_edit[eResistance]->text().trimmed().toInt(&whole);
        emit probeResChanged(whole ? n : 0);
    }
    emit applied();
    close();
}

void LangmuirSettingsWidget::cancelClose()
{
    showSettings();
    close();
}

void LangmuirSettingsWidget::resetDefaults()
{
    m_settings.resetDefaults();
    const QSignalBlocker b(m_units);
    m_units->setCurrentIndex(0);
    showSettings();
}
