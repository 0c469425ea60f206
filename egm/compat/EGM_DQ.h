#pragma once

#include "egm_types.h"
#include "grid.h"

namespace egm::model {

// Exposure of one stroke of current (kA) and incidence angle theta (rad from
// +x; below pi/2 the stroke comes from the +x side, pi/2 and above handled as
// written in the silhouette rules), over ground sloped by slopeAngle (deg),
// for the line geometry and the conductors' voltage term. Writes the width of
// each wire's shadow across the stroke direction (m) into exposure, the
// conductors' after the shielding cut. Nothing is validated: NaN flows on.
void EGM_DQ(double current, double theta, double slopeAngle, const LineGeometry& geometry, double voltageTerm,
            StrokeExposure& exposure);

// The evaluation in two halves. Everything up to the trimmed arcs and their
// end points depends on the current alone (with the slope, geometry and
// voltage term); the silhouette, shadows and cuts depend on the angle.

// What the angle half needs of the current: the turned centres, radii, trimmed
// arc angles (a, b) and the arcs' start and end points, wire order.
struct CurrentStep {
    double x[4];
    double y[4];
    double r[4];
    double a[4]; // arc angles after wrap, clamp and trim
    double b[4];
    double untrimmedA[4]; // after wrap and clamp, before the trim
    double untrimmedB[4];
    Point start[4];
    Point end[4];
    double shieldRadius;       // rg, m
    double conductor1Radius;   // rc1, m
    double conductor2Radius;   // rc2, m
    double groundStrikeHeight; // G, m: the ground's striking line y = G
    ArcTable arcTable;         // as EGMcircle gave it, before wrap and trim
};

// The silhouette and shadows of one stroke, for pictures and checks.
struct StrokeShadows {
    Point u[4];         // first silhouette point of each wire
    Point v[4];         // second silhouette point
    Interval shadow[4]; // shadow intervals on the ground line after the cuts
};

// Steps of the current: striking distances, ground striking line, turned
// circles, exposed arcs, slot 1 of each wire, wrap, clamp, trim, end points.
void prepareCurrentStep(double current, double slopeAngle, const LineGeometry& geometry, double voltageTerm,
                        CurrentStep& step);
// The same from striking distances already at hand (any law).
void prepareCurrentStep(const LineDistances& distances, double slopeAngle, const LineGeometry& geometry,
                        CurrentStep& step);

// Steps of the angle: tangent points, silhouette choice, shadows, cuts and
// widths. shadows, when not null, receives the intermediate points.
void evaluateStroke(const CurrentStep& step, const StrokeAngle& angle, StrokeExposure& exposure,
                    StrokeShadows* shadows = nullptr);

} // namespace egm::model
