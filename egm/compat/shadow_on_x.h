#pragma once

#include "egm_types.h"

namespace egm::model {

// x where the stroke path of direction theta (rad from +x) through point
// meets the ground line y = 0: x - y / tan(theta), or x itself when theta is
// exactly the double nearest pi/2.
double shadow_on_x(const Point& point, double theta);

// The shadows of n points given by their coordinates, with tan(theta)
// already at hand (the integration forms it once per incidence angle):
// shadow[i] is shadow_on_x of (x[i], y[i]), bit for bit. One loop, so that
// the divisions can go several to an instruction.
void shadows_on_x(const double* x, const double* y, int n, double theta, double tanTheta, double* shadow);

} // namespace egm::model
