#pragma once

#include "egm_types.h"

namespace egm::model {

// Turns the four wire positions of source counter-clockwise about the origin
// by slopeAngle (degrees), so that the sloped ground becomes y = 0. source is
// turned in place and copied whole into destination; radii are untouched.
void Dqtrans(CircleSet& source, double slopeAngle, CircleSet& destination);

} // namespace egm::model
