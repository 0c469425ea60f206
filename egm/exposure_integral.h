// The exposure method's rates as the guides define them: for each conductor
// 0.1 N_g times the integral of f(I) D(I) dI over the integration's range of
// currents, D(I) the conductor's first-contact width for vertical strokes.
#pragma once

#include <vector>

#include "egm/types.h"

namespace egm::model {

// Simpson's rule on kExposureStepsPerKa steps a kA: the width of vertical
// strokes falls to 0 at the conductor's maximum shielding failure current
// as a square root does, and on this grid the rule stays within some 1e-5
// of the integral (1e-4 is asked for; the 1 kA grid of the share method
// would be half a step off at the lowest current).
inline constexpr int kExposureStepsPerKa = 10;

// Per conductor (tower order) strokes per 100 km per year, and their sum in
// that order. A lowest current whose range cannot be stepped through gives
// NaN rates. The inputs are not validated.
void integrateExposure(const Inputs& in, std::vector<double>& rates, double& total);

} // namespace egm::model
