#pragma once

#include "egm_types.h"
#include "grid.h"

namespace egm::model {

// Shielding failure rates of the line, strokes per 100 km per year: the
// conductors' share of the exposure of all four wires, integrated over the
// currents minCurrent, minCurrent + 1, ... (201 steps of 1 kA) weighted by the
// current density (scale in kA, exponent) and over the 180 incidence angles
// (l + 1) / 180 * pi weighted by 0.75 cos^3(pi/2 - theta), then scaled by the
// flash density, the collection width 28 h1^0.6 + span and the terrain factor
// (1/6 below a 20 degree slope, else 1/3). Nothing is validated: NaN and
// infinities flow into the rates. A minCurrent whose step counts are unusable
// (see integrationStepCounts) gives NaN rates and evaluates nothing.
void EGMs2x(double groundFlashDensity, double slopeAngle, double minCurrent, const LineGeometry& geometry,
            double voltageTerm, double currentScale, double currentExponent, double& rateC1, double& rateC2,
            double& rateTotal);

} // namespace egm::model
