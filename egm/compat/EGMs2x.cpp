#include "EGMs2x.h"

#include "integration.h"

namespace egm::model {

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
