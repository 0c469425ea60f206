#pragma once

#include "egm_types.h"

namespace egm::model {

// Crossing points of striking circles A and B, both computed on A: the first
// lies clockwise of the direction from A's centre to B's, the second
// counter-clockwise. Touching from outside (rA + rB == d exactly) gives the
// touching point twice. No crossing (rA + rB < d, or a NaN sum or distance)
// gives -1000 in all four entries. Nested or concentric circles give NaN
// points (acos of a quotient outside [-1, 1]).
void circleCrosspoint(const Circle& a, const Circle& b, Crossing& result);

} // namespace egm::model
