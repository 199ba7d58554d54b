#include "LangmuirSettings.h"

#include <QSettings>
#include <cmath>

namespace {

enum Kind { eDouble, eBool, eInt };
enum Rule { eAny, ePositive, eNonNegative, eNonZero, eCrop, eWindow, eChoice01 };

struct Field {
    const char* name;     // session-file name
    const char* storeKey; // nullptr: not kept in the settings store
    double storeDefault;
    Kind kind;
    Rule rule;
    double LangmuirSettings::*d;
    bool LangmuirSettings::*b;
    int LangmuirSettings::*i;
    bool onlyWhenOn = false; // session-file map: written only when not 0 (later additions)
};

#define FD(n, k, def, rule, m) {n, k, def, eDouble, rule, &LangmuirSettings::m, nullptr, nullptr}
#define FB(n, k, def, m) {n, k, def, eBool, eAny, nullptr, &LangmuirSettings::m, nullptr}
#define FI(n, k, def, rule, m) {n, k, def, eInt, rule, nullptr, nullptr, &LangmuirSettings::m}
#define FBO(n, k, m) {n, k, 0, eBool, eAny, nullptr, &LangmuirSettings::m, nullptr, true}
#define FIO(n, k, rule, m) {n, k, 0, eInt, rule, nullptr, nullptr, &LangmuirSettings::m, true}

// In record order. Zero ion mass, gas temperature, k factor or probe radius would make the
// physics constants (ion mass in kg, neutral density, Mach number, probe areas) infinite.
const Field kFields[] = {
    FD("ionmass", "ion_mass", 40, ePositive, ionMass),
    FD("probe_radius", "probe_radius", 0.000195, ePositive, probeRadius),
    FD("probe_holder", "holder_radius", 0.002, eNonNegative, probeHolderRadius),
    FD("probe_length", "probe_length", 0.01, eNonNegative, probeLength),
    FD("probe_resistance", "probe_resistance", 0, eAny, probeResistance),
    FD("gas_temperature", "temperature", 300, ePositive, gasTemperature),
    FD("pressure", "pressure", 0.0024, eNonNegative, pressure),
    FD("sigmaN", "neutral_collision", 8.8e-19, eNonNegative, sigmaN),
    FD("sigmaEn", "electron_neutral_collision", 4.14e-20, eNonNegative, sigmaEn),
    FB("correctDC", "use_DC_compensation", 0, correctDC),
    FD("offsetCurrent", "offset_current", 0, eAny, offsetCurrent),
    FD("setVp", nullptr, 0, eAny, setVp),
    FB("bUseUserVp", nullptr, 0, bUseUserVp),
    FB("bUse2ndDerivativeZeroVp", "use_2nd_deriv_method", 0, bUse2ndDerivativeZeroVp),
    FI("nDerivativePoints", nullptr, 3, eWindow, nDerivativePoints),
    FD("VsatFactor", nullptr, 0.8, eAny, VsatFactor),
    FD("electronReflectVoltage", nullptr, -60, eAny, electronReflectVoltage),
    FD("kfactor", "kfactor", 1.34, eNonZero, kfactor),
    FI("startCrop", "start_crop", 0, eCrop, startCrop),
    FI("endCrop", "end_crop", 0, eCrop, endCrop),
    FB("noiseRobust", "noiseRobust", 0, noiseRobust),
    // Opt-in analyses: absent from files written with them off, so those stay as they were.
    FIO("ionDensityMethod", "ionDensityMethod", eChoice01, ionDensityMethod),
    FBO("twoTemperature", "twoTemperature", twoTemperature),
    FBO("statisticalErrors", "statisticalErrors", statisticalErrors),
};

#undef FD
#undef FB
#undef FI
#undef FBO
#undef FIO

const Field* findField(const QString& name)
{
    for (const Field& f : kFields)
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

bool acceptable(const Field& f, double v, QString* why)
{
    auto refuse = [why](const char* text) {
        if (why)
            *why = QString::fromLatin1(text);
        return false;
    };
    if (!std::isfinite(v))
        return refuse("not a finite number");
    switch (f.rule) {
    case ePositive:
        return v > 0 ? true : refuse("must be greater than 0");
    case eNonNegative:
        return v >= 0 ? true : refuse("must not be negative");
    case eNonZero:
        return v != 0 ? true : refuse("must not be 0");
    case eChoice01:
        return v == 0 || v == 1 ? true : refuse("must be 0 or 1");
    default:
        return true;
    }
}

// Stores v into the field, applying the whole-number rules of counts.
bool store(LangmuirSettings& s, const Field& f, double v, QString* why)
{
    if (!acceptable(f, v, why))
        return false;
    switch (f.kind) {
    case eDouble:
        s.*(f.d) = v;
        break;
    case eBool:
        s.*(f.b) = v != 0;
        break;
    case eInt: {
        if (std::fabs(v) > 2e9) {
            if (why)
                *why = QStringLiteral("out of range");
            return false;
        }
        int n = static_cast<int>(std::trunc(v));
        if (f.rule == eCrop && (n < 0 || n > 500))
            n = 0; // negative counts and counts above 500 mean no crop
        if (f.rule == eWindow && n < 1)
            n = 1; // a derivative needs at least one sample per half-window
        s.*(f.i) = n;
        break;
    }
    }
    return true;
}

double fieldValue(const LangmuirSettings& s, const Field& f)
{
    switch (f.kind) {
    case eDouble:
        return s.*(f.d);
    case eBool:
        return s.*(f.b) ? 1 : 0;
    case eInt:
        return s.*(f.i);
    }
    return 0;
}

QString fieldText(const LangmuirSettings& s, const Field& f)
{
    switch (f.kind) {
    case eDouble:
        return QString::number(s.*(f.d), 'g', 6);
    case eBool:
        return s.*(f.b) ? QStringLiteral("1") : QStringLiteral("0");
    case eInt:
        return QString::number(s.*(f.i));
    }
    return QString();
}

bool parse(const Field& f, const QString& text, double& v)
{
    const QString t = text.trimmed();
    bool ok = false;
    if (f.kind == eBool) {
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
            v = 1;
            return true;
        }
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
            v = 0;
            return true;
        }
        v = t.toInt(&ok);
        return ok;
    }
    v = t.toDouble(&ok); // C locale: files and command lines use the dot
    return ok;
}

} // namespace

void LangmuirSettings::resetDefaults()
{
    const int sc = startCrop, ec = endCrop;
    *this = LangmuirSettings();
    startCrop = sc;
    endCrop = ec;
}

void LangmuirSettings::readSettings(QSettings& st, const QString& group)
{
    st.beginGroup(group);
    for (const Field& f : kFields) {
        if (!f.storeKey)
            continue;
        const QVariant var = st.value(QLatin1String(f.storeKey), f.storeDefault);
        bool ok = false;
        double v = 0;
        if (f.kind == eBool && var.type() == QVariant::Bool)
            v = var.toBool() ? 1 : 0, ok = true;
        else if (f.kind == eBool && var.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            v = 1, ok = true;
        else if (f.kind == eBool && var.toString().compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            v = 0, ok = true;
        else
            v = var.toDouble(&ok);
        if (ok)
            store(*this, f, v, nullptr); // a refused value keeps the previous one
    }
    st.endGroup();
}

void LangmuirSettings::writeSettings(QSettings& st, const QString& group)
{
    if (startCrop > 500)
        startCrop = 0;
    if (endCrop > 500)
        endCrop = 0;
    st.beginGroup(group);
    for (const Field& f : kFields) {
        if (!f.storeKey)
            continue;
        switch (f.kind) {
        case eDouble:
            st.setValue(QLatin1String(f.storeKey), this->*(f.d));
            break;
        case eBool:
            st.setValue(QLatin1String(f.storeKey), this->*(f.b));
            break;
        case eInt:
            st.setValue(QLatin1String(f.storeKey), this->*(f.i));
            break;
        }
    }
    st.endGroup();
}

QMap<QString, QString> LangmuirSettings::toMap() const
{
    QMap<QString, QString> m;
    for (const Field& f : kFields)
        if (!f.onlyWhenOn || fieldValue(*this, f) != 0)
            m.insert(QLatin1String(f.name), fieldText(*this, f));
    return m;
}

QMap<QString, QVariant> LangmuirSettings::typedMap() const
{
    QMap<QString, QVariant> m;
    for (const Field& f : kFields) {
        if (f.onlyWhenOn && fieldValue(*this, f) == 0)
            continue; // the same keys as the session file's map
        const QString key = QLatin1String(f.name);
        switch (f.kind) {
        case eDouble:
            m.insert(key, this->*(f.d));
            break;
        case eBool:
            m.insert(key, this->*(f.b));
            break;
        case eInt:
            m.insert(key, this->*(f.i));
            break;
        }
    }
    return m;
}

QStringList LangmuirSettings::fromMap(const QMap<QString, QString>& map)
{
    QStringList refused;
    for (const Field& f : kFields) {
        const auto it = map.constFind(QLatin1String(f.name));
        if (it == map.constEnd())
            continue;
        double v = 0;
        if (!parse(f, it.value(), v) || !store(*this, f, v, nullptr))
            refused << QLatin1String(f.name);
    }
    return refused;
}

bool LangmuirSettings::setField(const QString& name, const QString& text, QString* why)
{
    const Field* f = findField(name);
    if (!f) {
        if (why)
            *why = QStringLiteral("unknown setting");
        return false;
    }
    double v = 0;
    if (!parse(*f, text, v)) {
        if (why)
            *why = f->kind == eBool ? QStringLiteral("not 0, 1, true or false")
                                    : QStringLiteral("not a number");
        return false;
    }
    return store(*this, *f, v, why);
}

bool LangmuirSettings::accepts(const QString& name, double value, QString* why)
{
    const Field* f = findField(name);
    if (!f) {
        if (why)
            *why = QStringLiteral("unknown setting");
        return false;
    }
    return acceptable(*f, value, why);
}

QStringList LangmuirSettings::fieldNames()
{
    QStringList out;
    for (const Field& f : kFields)
        out << QLatin1String(f.name);
    return out;
}

bool LangmuirSettings::operator==(const LangmuirSettings& o) const
{
    for (const Field& f : kFields)
        if (fieldValue(*this, f) != fieldValue(o, f))
            return false;
    return true;
}
