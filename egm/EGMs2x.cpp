#include "EGMs2x.h"

#include <cmath>

#include "egm_constants.h"
#include "integration.h"

namespace egm::model {

double integrationAngle(int l)
{
    return static_cast<double>(l + 1) / 180.0 * kPi;
}

bool integrationStepCounts(double minCurrent, std::int32_t& loopSteps, std::int32_t& storageSteps)
{
    loopSteps = 0;
    storageSteps = 0;
    if (!std::isfinite(minCurrent)) {
        return false;
    }
    const double loop = std::trunc((1.0 - minCurrent) + (minCurrent + 200.0));
    const double storage = std::ceil((minCurrent + 200.0) - minCurrent) + 1.0;
    if (!(loop >= 1.0 && loop <= kMaxCurrentSteps) || loop != storage) {
        return false;
    }
    loopSteps = static_cast<std::int32_t>(loop);
    storageSteps = static_cast<std::int32_t>(storage);
    return true;
}

void EGMs2x(double groundFlashDensity, double slopeAngle, double minCurrent, const LineGeometry& geometry,
            double voltageTerm, double currentScale, double currentExponent, double& rateC1, double& rateC2,
            double& rateTotal)
{
    IntegrationCase in;
    in.flashDensity = groundFlashDensity;
    in.slopeAngle = slopeAngle;
    in.minCurrent = minCurrent;
    in.geometry = geometry;
    in.voltageTerm = voltageTerm;
    in.distribution.scale = currentScale;
    in.distribution.exponent = currentExponent;
    IntegrationTotals totals;
    integrate(in, StrokeRule::compat, totals);
    rateC1 = totals.rateC1;
    rateC2 = totals.rateC2;
    rateTotal = totals.rateTotal;
}

} // namespace egm::model
