#pragma once

#include "egm_types.h"

// Euclidean distance sqrt(dy*dy + dx*dx), unscaled; NaN in gives NaN.
double distance(const Point& p, const Point& q);
