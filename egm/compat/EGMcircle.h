#pragma once

#include "egm_types.h"

namespace egm::model {

// Exposed arcs of the four striking circles of circles (already turned by the
// slope): the arcs of each circle that lie inside none of the others, joined
// across the direction of -pi where they meet there, with arcs lying wholly on
// the -x half of their circle dropped. Writes all 64 entries of arcs (layout
// in egm_types.h): starts in (-3pi, pi], ends in (-pi, 2pi], end > start.
// A NaN anywhere in circles leaves the whole table 0.
void EGMcircle(const CircleSet& circles, ArcTable& arcs);

} // namespace egm::model
