#pragma once
// The opt-in analyses of a single-probe analysis (settings ionDensityMethod and
// twoTemperature): both run after the analysis of the base curve and of each perturbed copy,
// on that analysis' unsmoothed curve and results, and give the values of the result record's
// extra keys.

#include "IvAnalysis.h"
#include "ResultRecord.h"

#include <QStringList>
#include <array>

namespace optin {

// Values at the indices of ResultRecord::Extra; the error places stay not-a-number.
using Values = std::array<double, ResultRecord::eExtraCount>;

// Whether the settings switch on either analysis.
bool any(const LangmuirSettings& s);

// Runs the analyses that the context's settings switch on; lines (optional) receives one
// line per analysis that ran, for the log.
Values run(const AnalysisContext& ctx, const IvTrace& curve, const AnalysisResult& res,
           QStringList* lines = nullptr);

// The value places that carry an error, each with the place of its error.
struct ErrorPlace {
    int value, error;
};
constexpr ErrorPlace kErrorPlaces[] = {
    {ResultRecord::eNiFit, ResultRecord::eNiFitError},
    {ResultRecord::eIonExponent, ResultRecord::eIonExponentError},
    {ResultRecord::eTeCold, ResultRecord::eTeColdError},
    {ResultRecord::eTeHot, ResultRecord::eTeHotError},
    {ResultRecord::eHotFraction, ResultRecord::eHotFractionError},
};

// Stores the base values of the analyses the settings switch on (their groups become present);
// errorOf(place) gives the error of a value place.
template <typename ErrorOf>
void store(ResultRecord& rec, const LangmuirSettings& s, const Values& base, ErrorOf errorOf)
{
    for (int k = 0; k < ResultRecord::eExtraCount; ++k) {
        const ResultRecord::ExtraGroup g = ResultRecord::groupOf(k);
        if ((g == ResultRecord::eIonFitGroup && s.ionDensityMethod == 1)
            || (g == ResultRecord::eTwoTemperatureGroup && s.twoTemperature))
            rec.setExtra(k, base[k]);
    }
    for (const ErrorPlace& p : kErrorPlaces)
        if (rec.hasGroup(ResultRecord::groupOf(p.value)))
            rec.setExtra(p.error, errorOf(p.value));
}

} // namespace optin
