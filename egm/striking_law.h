// Striking distances by the laws other than the model's own.
#pragma once

#include "egm/shielding.h"
#include "egm_types.h"

namespace egm::model {

// Both ground wires and both conductors get the law's distance r(I); G as
// the law gives it (k_g from the mean ground-wire height where it uses one).
// Not for the built-in law, which builtInStrikingDistances evaluates.
StrikingDistances lawStrikingDistances(const StrikingLaw& law, double current, const LineGeometry& geometry);

LineGeometry geometryOf(const Line& line);
Line lineOf(const LineGeometry& geometry);

} // namespace egm::model
