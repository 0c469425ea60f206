#pragma once

#include "egm_types.h"

namespace egm::model {

// Euclidean distance sqrt(dy*dy + dx*dx), unscaled; NaN in gives NaN.
double distance(const Point& p, const Point& q);

} // namespace egm::model
