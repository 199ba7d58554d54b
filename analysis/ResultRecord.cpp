#include "ResultRecord.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct PairKeys {
    const char* value;
    const char* error;
};
const PairKeys kKeys[ResultRecord::ePairCount] = {
    {"Vpmax", "Vpmax_error"},
    {"Vp", "Vp_error"},
    {"Vf", "Vf_error"},
    {"kTe", "kTe_error"},
    {"Je", "Je_error"},
    {"Ne", "Ne_error"},
    {"Jp", "Jp_error"},
    {"Ni", "Ni_error"},
    {"Vsat", "Vsat_error"},
    {"Ldebye", "Ldebye_error"},
    {"eedf_Ne", "eedf_Ne_error"},
    {"eedf_AvgEnergy", "eedf_AvgEnergy_error"},
    {"eedf_kTe", "eedf_kTe_error"},
    {"isat", "isat_err"},
    {"machnumber", "machnumber_err"},
    {"vdrift", "vdrift_err"},
};

const char* const kExtraKeys[ResultRecord::eExtraCount] = {
    "Ni_fit", "Ni_fit_error", "ionExponent", "ionExponent_error", "ionRegime",
    "Te_cold", "Te_cold_error", "Te_hot", "Te_hot_error", "hot_fraction", "hot_fraction_error",
    "twoT_flag",
};

bool validExtra(int k) { return k >= 0 && k < ResultRecord::eExtraCount; }

struct Quantity {
    const char* name;
    const char* label;
    int pair;
    double factor;
};
const Quantity kQuantities[ResultQuantity::eCount] = {
    {"Vp", "Vp (V)", 1, 1},
    {"Vf", "Vf (V)", 2, 1},
    {"kTe", "kTe (eV)", 3, 1},
    {"Je", "Je (A/m^2)", 4, 1},
    {"Ne", "Ne (m^-3)", 5, 1},
    {"Jp", "Jp (A/m^2)", 6, 1},
    {"Ni", "Ni (m^-3)", 7, 1},
    {"Debye Length", "<font>Debye Length (&micro;m)</font>", 9, 1e6},
    {"EEDF Ne", "EEPF Ne (m^-3)", 10, 1},
    {"Energy", "Energy (eV)", 11, 1},
    {"EEDF kTe", "EEPF kTe (eV)", 12, 1},
    {"Isat", "Ion current saturation (mA)", 13, 1000},
    {"M", "Mach Number ()", 14, 1},
    {"Vd", "Vd (ms^-1", 15, 1},
};

bool validPair(int p) { return p >= 0 && p < ResultRecord::ePairCount; }
bool validQuantity(int q) { return q >= 0 && q < ResultQuantity::eCount; }
} // namespace

ResultRecord::ResultRecord()
{
    d_.fill(kNaN);
    x_.fill(kNaN);
}

void ResultRecord::reset()
{
    const double isat = d_[2 * eIsat], isatErr = d_[2 * eIsat + 1];
    d_.fill(kNaN);
    d_[2 * eIsat] = isat;
    d_[2 * eIsat + 1] = isatErr;
    x_.fill(kNaN);
    present_[0] = present_[1] = false;
}

QString ResultRecord::extraKey(int k)
{
    return validExtra(k) ? QString::fromLatin1(kExtraKeys[k]) : QString();
}

ResultRecord::ExtraGroup ResultRecord::groupOf(int k)
{
    return k < eTeCold ? eIonFitGroup : eTwoTemperatureGroup;
}

double ResultRecord::extra(int k) const
{
    return validExtra(k) && present_[groupOf(k)] ? x_[k] : kNaN;
}

void ResultRecord::setExtra(int k, double v)
{
    if (!validExtra(k))
        return;
    x_[k] = v;
    present_[groupOf(k)] = true;
}

QStringList ResultRecord::extraKeys() const
{
    QStringList out;
    for (int k = 0; k < eExtraCount; ++k)
        if (present_[groupOf(k)])
            out << extraKey(k);
    return out;
}

double ResultRecord::value(int pair) const { return validPair(pair) ? d_[2 * pair] : kNaN; }
double ResultRecord::error(int pair) const { return validPair(pair) ? d_[2 * pair + 1] : kNaN; }

void ResultRecord::setValue(int pair, double v)
{
    if (validPair(pair))
        d_[2 * pair] = v;
}

void ResultRecord::setError(int pair, double e)
{
    if (validPair(pair))
        d_[2 * pair + 1] = e;
}

QString ResultRecord::valueKey(int pair)
{
    return validPair(pair) ? QString::fromLatin1(kKeys[pair].value) : QString();
}

QString ResultRecord::errorKey(int pair)
{
    return validPair(pair) ? QString::fromLatin1(kKeys[pair].error) : QString();
}

QStringList ResultRecord::keys()
{
    QStringList out;
    for (int p = 0; p < ePairCount; ++p)
        out << valueKey(p) << errorKey(p);
    return out;
}

bool ResultRecord::setByKey(const QString& key, double v)
{
    for (int p = 0; p < ePairCount; ++p) {
        if (key == QLatin1String(kKeys[p].value)) {
            d_[2 * p] = v;
            return true;
        }
        if (key == QLatin1String(kKeys[p].error)) {
            d_[2 * p + 1] = v;
            return true;
        }
    }
    for (int k = 0; k < eExtraCount; ++k)
        if (key == QLatin1String(kExtraKeys[k])) {
            setExtra(k, v);
            return true;
        }
    return false;
}

bool ResultRecord::byKey(const QString& key, double& v) const
{
    for (int p = 0; p < ePairCount; ++p) {
        if (key == QLatin1String(kKeys[p].value)) {
            v = d_[2 * p];
            return true;
        }
        if (key == QLatin1String(kKeys[p].error)) {
            v = d_[2 * p + 1];
            return true;
        }
    }
    for (int k = 0; k < eExtraCount; ++k)
        if (key == QLatin1String(kExtraKeys[k]) && present_[groupOf(k)]) {
            v = x_[k];
            return true;
        }
    return false;
}

bool ResultRecord::operator==(const ResultRecord& o) const
{
    // Bitwise, so that not-a-number equals itself.
    if (std::memcmp(d_.data(), o.d_.data(), sizeof(double) * d_.size()) != 0)
        return false;
    for (int k = 0; k < eExtraCount; ++k) {
        const double a = extra(k), b = o.extra(k);
        if (std::memcmp(&a, &b, sizeof a) != 0)
            return false;
    }
    return present_[0] == o.present_[0] && present_[1] == o.present_[1];
}

namespace ResultQuantity {

QString name(int q)
{
    return validQuantity(q) ? QString::fromUtf8(kQuantities[q].name) : QStringLiteral("Unknown");
}

QString label(int q)
{
    return validQuantity(q) ? QString::fromUtf8(kQuantities[q].label) : QStringLiteral("Unknown");
}

int pair(int q) { return validQuantity(q) ? kQuantities[q].pair : -1; }

double displayFactor(int q) { return validQuantity(q) ? kQuantities[q].factor : 1.0; }

double value(const ResultRecord& r, int q) { return validQuantity(q) ? r.value(pair(q)) : 0.0; }

double displayValue(const ResultRecord& r, int q)
{
    return validQuantity(q) ? r.value(pair(q)) * kQuantities[q].factor : 0.0;
}

double error(const ResultRecord& r, int q) { return validQuantity(q) ? r.error(pair(q)) : 0.0; }

} // namespace ResultQuantity
