#pragma once

#include "egm_types.h"

// x where the stroke path of direction theta (rad from +x) through point
// meets the ground line y = 0: x - y / tan(theta), or x itself when theta is
// exactly the double nearest pi/2.
double shadow_on_x(const Point& point, double theta);

// The same shadow with tan(theta) already at hand, for the integration, which
// forms it once per incidence angle.
double shadow_on_x(const Point& point, double theta, double tanTheta);
