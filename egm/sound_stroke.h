// The sound per-stroke evaluation: every wire keeps the arc of its striking
// circle that faces outwards, whichever side of the line it is on, and the
// silhouette of each arc is found by one general rule for every incidence
// angle. The wires on the +x side take their arcs from the model's own
// preparation of the line; those on the -x side from the same preparation of
// the mirrored line, reflected back. For a line and its mirror image the
// widths are mirror images too.
#pragma once

#include "EGM_DQ.h"
#include "egm_types.h"

namespace egm::model {

// One wire's circle in the turned frame and its exposed arc, which runs
// counter-clockwise from a to b, modulo 2pi (a full circle when b - a is
// 2pi or more).
struct SoundWire {
    double x;
    double y;
    double r;
    double a;
    double b;
    Point start;  // at angle a
    Point end;    // at angle b
    bool exposed; // false: no exposed arc, no width, no part in any cut
};

struct SoundCurrentStep {
    SoundWire wire[4];
    double groundStrikeHeight;
};

// The line given as geometry, mirrored about x = 0: ground wire 1 becomes the
// mirror of ground wire 2 and so on, heights carried along.
LineGeometry mirroredGeometry(const LineGeometry& geometry);

// Prepares one current: the line's own preparation gives ground wire 1 and
// conductor 1, the mirrored line's (slope negated, conductor distances
// exchanged) gives ground wire 2 and conductor 2 as its ground wire 1 and
// conductor 1, each arc (a, b) reflected to (pi - b, pi - a). A wire has no
// exposed arc when its circle had none before the trim at the ground's
// striking line, or when the arc lay wholly on or below that line.
void prepareSoundCurrentStep(const StrikingDistances& distances, double slopeAngle,
                             const LineGeometry& geometry, SoundCurrentStep& step);

// Widths of one stroke. Each exposed arc's shadow on the ground line runs
// between the smallest and the largest shadow of its two ends and of those
// tangent points (at theta + pi/2 and theta - pi/2) that lie on the arc.
// Below pi/2 conductor 1 is cut by ground wire 1 and conductor 2 by the span
// of ground wire 1, ground wire 2 and conductor 1 (before its own cut); above
// pi/2 the mirror of that; at pi/2 each conductor by its own side's ground
// wire. Wires without an exposed arc have width 0 and cut nothing.
void evaluateSoundStroke(const SoundCurrentStep& step, const StrokeAngle& angle, StrokeExposure& exposure,
                         StrokeShadows* shadows = nullptr);

} // namespace egm::model
