// Striking distances by every law: for the four-wire line of the compat
// evaluation, and for any tower.
#pragma once

#include "egm/types.h"
#include "egm_types.h"

namespace egm::model {

// The four-wire line's striking distances at one current (kA) by any law.
// The built-in law: both ground wires' 1.63 (5.015 I^0.578)^1.125,
// conductor 1's and conductor 2's with the voltage term added and
// subtracted inside the bracket, G the ground factor times the ground wires'
// distance. Every other law: all four wires get its distance r(I), G as the
// law gives it.
// The CIGRE distribution of first negative strokes' peak currents (CIGRE
// TB 63, after Anderson and Eriksson 1980): below 20 kA the log-normal of
// median 61.1 kA and sigma(ln I) 1.33, from 20 kA that of median 33.3 kA and
// sigma 0.605, each part's density as the log-normal it is; per kA.
double cigreDensity(double current);

LineDistances lineDistances(const StrikingLaw& law, double current, const LineGeometry& geometry,
                            double voltageTerm);
// The built-in law's, as egm-shielding computes them.
LineDistances builtInLineDistances(double current, const LineGeometry& geometry, double voltageTerm);

// k_g of the four-wire line: 0.17 ln(43 - h) + 0.36 below a mean
// ground-wire height h of 40 m, else 0.55 (h = 40 exactly gives 0.55).
double groundFactor(const LineGeometry& geometry);

// k_g of a tower: 0.17 ln(43 - h) + 0.36 below a mean height h of 40 m,
// else 0.55, h of the ground wires (of the conductors when there are none).
double groundFactor(const Tower& tower);

// The mean height of the ground wires (of the conductors when there are
// none), m, summed in the tower's order.
double meanShieldHeight(const Tower& tower);

LineGeometry geometryOf(const Line& line);

} // namespace egm::model
