// The IEEE law as the line-design guides apply it (IEEE Working Group 1993,
// IEEE Std 1243-1997): each conductor is evaluated with the ground's
// striking line at its own beta r, beta from that conductor's height.
#pragma once

#include <functional>

#include "egm/shielding.h"

namespace egm::model {

// beta = 0.36 + 0.168 ln(43 - y) below y = 40 m, 0.55 from 40 m, y the
// conductor's height (m, as computed with).
double guidesGroundFactor(double conductorHeight);

// The result of the inputs (law ieee-1992) with each conductor's figures
// from an evaluation whose ground striking line lies at its own beta r:
// once computes the inputs with a law of the same r and a given beta; one
// evaluation per distinct beta. With more than one, the total rate is the
// conductors' rates added in the tower's order, and in the stroke table and
// the angle sums each conductor's column comes from its own evaluation (the
// ground wires' from the first conductor's).
Result withConductorGround(const Inputs& inputs, const std::function<Result(const Inputs&)>& once);

} // namespace egm::model
