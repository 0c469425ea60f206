// The integration's grid, shared by both evaluations: the incidence angles
// and their per-angle terms, and the current steps.
#pragma once

#include <cstdint>

namespace egm::model {

// What the angle half needs of the angle alone.
struct StrokeAngle {
    double theta;
    double tanTheta;
    double absSinTheta;
    double cosAbove; // cos(pi/2 + theta), direction of the tangent point T+
    double sinAbove;
    double cosBelow; // cos(theta - pi/2), direction of the tangent point T-
    double sinBelow;
    double sinTheta;
    double cosTheta;
};

// The angle's own terms of theta (rad).
StrokeAngle strokeAngle(double theta);

// Step counts of the integration for minCurrent: the loop count
// trunc((1 - minCurrent) + (minCurrent + 200)) and the storage count
// ceil((minCurrent + 200) - minCurrent) + 1, both 201 for ordinary values.
// False when minCurrent is not finite, or the two disagree (a current so
// large that a step of 1 kA is lost to rounding), or they leave 1 ..
// kMaxCurrentSteps.
inline constexpr std::int32_t kMaxCurrentSteps = 46340; // its square fits in 32 bits
bool integrationStepCounts(double minCurrent, std::int32_t& loopSteps, std::int32_t& storageSteps);

// The i-th incidence angle of the integration, (l + 1) / 180 * pi, l = 0..179.
double integrationAngle(int l);

// The grid's 180 angles' own terms, strokeAngle(integrationAngle(l)) at l,
// formed once.
const StrokeAngle* gridAngles();

// The grid's 180 angle weights 0.75 cos^3(pi/2 - theta), formed once.
const double* angleWeights();

} // namespace egm::model
