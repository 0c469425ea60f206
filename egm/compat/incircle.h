#pragma once

#include "egm_types.h"

namespace egm::model {

// 1.0 when the point of circle A at angle theta (rad, counter-clockwise from
// +x) lies inside circle B by more than 1e-12 m, else 0.0. A point on B, or
// within the tolerance of it, gives 0.0; any NaN on the way gives 1.0.
double incircle(double theta, const Circle& a, const Circle& b);

} // namespace egm::model
