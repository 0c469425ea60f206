#pragma once

#include "egm_types.h"

namespace egm::model {

// The part of interval that shield leaves uncovered, as one interval. Rules,
// first that holds: wholly right of the shield -> unchanged; starts inside and
// ends beyond -> [sR, iR]; starts left and ends inside -> [iL, sL]; wholly
// left or touching its left end -> unchanged; otherwise (inside the shield,
// beyond both ends, or a NaN end) -> the empty [sR, sR].
void cut_x_section(const Interval& shield, const Interval& interval, Interval& result);

} // namespace egm::model
