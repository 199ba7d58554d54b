#include "OptInAnalyses.h"

#include "IonBranchFit.h"
#include "TwoTemperatureFit.h"

#include <limits>

namespace optin {

bool any(const LangmuirSettings& s) { return s.ionDensityMethod == 1 || s.twoTemperature; }

Values run(const AnalysisContext& ctx, const IvTrace& curve, const AnalysisResult& res,
           QStringList* lines)
{
    Values v;
    v.fill(std::numeric_limits<double>::quiet_NaN());
    double ionExponent = 0.5;
    if (ctx.settings.ionDensityMethod == 1) {
        const ionfit::Result f = ionfit::fit(ctx, curve, res);
        v[ResultRecord::eNiFit] = f.ni;
        v[ResultRecord::eIonExponent] = f.beta;
        if (f.regime != ionfit::eFailed)
            v[ResultRecord::eIonRegime] = f.regime;
        // The temperature fit takes the branch's own exponent where it is not orbital motion.
        if (f.regime == ionfit::eLaframboise || f.regime == ionfit::eBohm)
            ionExponent = f.beta;
        if (lines)
            *lines << f.message;
    }
    if (ctx.settings.twoTemperature) {
        const twotemp::Result t = twotemp::fit(ctx, curve, res, ionExponent);
        v[ResultRecord::eTeCold] = t.tCold;
        v[ResultRecord::eTeHot] = t.tHot;
        v[ResultRecord::eHotFraction] = t.fraction;
        v[ResultRecord::eTwoTFlag] = t.flag;
        if (lines)
            *lines << t.message;
    }
    return v;
}

} // namespace optin
