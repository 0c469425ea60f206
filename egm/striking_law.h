// Striking distances by every law: for the four-wire line of the compat
// evaluation, and for any tower.
#pragma once

#include "EGM_DQ.h"
#include "egm/shielding.h"
#include "egm_types.h"

namespace egm::model {

// Both ground wires and both conductors get the law's distance r(I); G as
// the law gives it (k_g from the mean ground-wire height where it uses one).
// Not for the built-in law, which builtInLineDistances evaluates.
LineDistances lawLineDistances(const StrikingLaw& law, double current, const LineGeometry& geometry);

// k_g of a tower: 0.17 ln(43 - h) + 0.36 below a mean height h of 40 m,
// else 0.55, h of the ground wires (of the conductors when there are none).
double groundFactor(const Tower& tower);

// The mean height of the ground wires (of the conductors when there are
// none), m, summed in the tower's order.
double meanShieldHeight(const Tower& tower);

LineGeometry geometryOf(const Line& line);
Line lineOf(const LineGeometry& geometry);

} // namespace egm::model
