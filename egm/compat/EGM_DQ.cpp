#include "EGM_DQ.h"

#include <cmath>

#include "Dqtrans.h"
#include "EGMcircle.h"
#include "cut_x_section.h"
#include "egm_constants.h"
#include "rt_safe_math.h"
#include "shadow_on_x.h"
#include "sort1.h"
#include "striking_law.h"

namespace egm::model {

using namespace egm::numeric;

namespace {

// Ground wires 1 and 2, conductors 1 and 2, as 0-based wire indices.
constexpr int kShield1 = 0;
constexpr int kShield2 = 1;
constexpr int kConductor1 = 2;
constexpr int kConductor2 = 3;

double wrapOnce(double angle)
{
    if (angle > kTwoPi) {
        return angle - kTwoPi;
    }
    if (angle < -kTwoPi) {
        return angle + kTwoPi;
    }
    return angle;
}

// Height of the point of wire i's circle at angle t: Y + r sin t.
double heightAt(const CurrentStep& s, int i, double t)
{
    return s.y[i] + s.r[i] * std::sin(t);
}

// Angle on the -x half of wire i's circle where it meets y = G, kept in the
// range of the arc's start angle.
double farSideCrossing(const CurrentStep& s, int i, double g)
{
    const double t = std::asin((g - s.y[i]) / s.r[i]);
    return s.a[i] > 0.0 ? kPi - t : -kPi - t;
}

// Moves arc ends that lie on or below the ground's striking line to where the
// circle meets it, and drops what lies wholly below. The tests run in this
// order; each sees the angles the earlier ones left.
void trimAtStrikingLine(CurrentStep& s)
{
    const double g = s.groundStrikeHeight;
    double* a = s.a;
    double* b = s.b;

    if (a[kConductor1] != 0.0 && b[kConductor1] != 0.0 && heightAt(s, kConductor1, b[kConductor1]) > g) {
        if (g >= heightAt(s, kConductor1, a[kConductor1])) {
            a[kConductor1] = std::asin((g - s.y[kConductor1]) / s.r[kConductor1]);
        }
    }
    if (g >= heightAt(s, kConductor1, b[kConductor1])) {
        a[kConductor1] = 0.0;
        b[kConductor1] = 0.0;
    }
    if (s.y[kShield1] + s.r[kShield1] > g) {
        if (g >= heightAt(s, kShield1, a[kShield1])) {
            a[kShield1] = std::asin((g - s.y[kShield1]) / s.r[kShield1]);
        }
    }
    if (g >= s.y[kShield1] + s.r[kShield1]) {
        a[kShield1] = b[kShield1] = 0.0;
        a[kConductor1] = b[kConductor1] = 0.0;
    }
    if (b[kConductor2] != 0.0 && a[kConductor2] != 0.0 && heightAt(s, kConductor2, a[kConductor2]) > g) {
        if (g >= heightAt(s, kConductor2, b[kConductor2])) {
            b[kConductor2] = farSideCrossing(s, kConductor2, g);
        }
    }
    if (g >= heightAt(s, kConductor2, a[kConductor2])) {
        a[kConductor2] = 0.0;
        b[kConductor2] = 0.0;
    }
    if (s.y[kShield2] + s.r[kShield2] > g) {
        if (g >= heightAt(s, kShield2, b[kShield2])) {
            b[kShield2] = farSideCrossing(s, kShield2, g);
        }
    }
    if (g >= s.y[kShield2] + s.r[kShield2]) {
        a[kShield2] = b[kShield2] = 0.0;
        a[kConductor2] = b[kConductor2] = 0.0;
    }
}

Point pointAt(const CurrentStep& s, int i, double c, double sn)
{
    return Point{s.x[i] + s.r[i] * c, s.y[i] + s.r[i] * sn};
}

// Silhouette points U and V of each wire for a stroke from the +x side
// (theta <= pi/2). The sums with 2 theta are kept as (theta + theta) + pi -
// angle: the comparisons must see exactly these doubles.
void silhouetteFromPlusSide(const CurrentStep& step, const StrokeAngle& angle, Point (&u)[4], Point (&v)[4])
{
    const double theta = angle.theta;
    const double* a = step.a;
    const double* b = step.b;
    const Point* s = step.start;
    const Point* e = step.end;
    // Tangent points T+ and T- of wire i, formed only where a silhouette
    // rule picks them.
    const auto tAbove = [&](int i) { return pointAt(step, i, angle.cosAbove, angle.sinAbove); };
    const auto tBelow = [&](int i) { return pointAt(step, i, angle.cosBelow, angle.sinBelow); };

    u[kShield1] = theta >= b[kShield1] - kHalfPi ? e[kShield1] : tAbove(kShield1);
    v[kShield1] = kHalfPi + a[kShield1] >= theta ? s[kShield1] : tBelow(kShield1);

    if (b[kConductor1] - kHalfPi >= theta) {
        u[kConductor1] = tAbove(kConductor1);
    } else {
        u[kConductor1] = kHalfPi + a[kConductor1] >= theta ? e[kConductor1] : s[kConductor1];
    }
    v[kConductor1] = kHalfPi + a[kConductor1] >= theta ? s[kConductor1] : tBelow(kConductor1);

    u[kShield2] = tAbove(kShield2);
    v[kShield2] = (theta + theta) + kPi - a[kShield2] > b[kShield2] ? s[kShield2] : e[kShield2];

    if (a[kConductor2] - kHalfPi > theta) {
        u[kConductor2] = s[kConductor2];
        v[kConductor2] = e[kConductor2];
    } else {
        u[kConductor2] = tAbove(kConductor2);
        v[kConductor2] =
            (theta + theta) + kPi - a[kConductor2] > b[kConductor2] ? s[kConductor2] : e[kConductor2];
    }

    // A collapsed conductor arc shrinks to a point of its side's ground
    // wire; the cut below then leaves it no width.
    if (a[kConductor1] == b[kConductor1]) {
        u[kConductor1] = v[kConductor1] = v[kShield1];
    }
    if (a[kConductor2] == b[kConductor2]) {
        u[kConductor2] = v[kConductor2] = v[kShield2];
    }
}

// The same for a stroke from the -x side (theta > pi/2).
void silhouetteFromMinusSide(const CurrentStep& step, const StrokeAngle& angle, Point (&u)[4], Point (&v)[4])
{
    const double theta = angle.theta;
    const double* a = step.a;
    const double* b = step.b;
    const Point* s = step.start;
    const Point* e = step.end;
    // Tangent points T+ and T- of wire i, formed only where a silhouette
    // rule picks them.
    const auto tAbove = [&](int i) { return pointAt(step, i, angle.cosAbove, angle.sinAbove); };
    const auto tBelow = [&](int i) { return pointAt(step, i, angle.cosBelow, angle.sinBelow); };

    u[kShield2] = kHalfPi + a[kShield2] > theta ? s[kShield2] : tBelow(kShield2);
    v[kShield2] = theta >= b[kShield2] - kHalfPi ? e[kShield2] : tAbove(kShield2);

    if (theta >= kHalfPi + a[kConductor2]) {
        u[kConductor2] = tBelow(kConductor2);
    } else if (theta > b[kConductor2] - kHalfPi) {
        u[kConductor2] = s[kConductor2];
    } else {
        u[kConductor2] =
            (theta + theta) + kPi - a[kConductor2] > b[kConductor2] ? s[kConductor2] : e[kConductor2];
    }
    v[kConductor2] = b[kConductor2] - kHalfPi >= theta ? tAbove(kConductor2) : e[kConductor2];

    u[kShield1] = tBelow(kShield1);
    v[kShield1] = a[kShield1] > (theta + theta) + kPi - b[kShield1] ? e[kShield1] : s[kShield1];

    u[kConductor1] = kHalfPi + b[kConductor1] > theta ? tBelow(kConductor1) : e[kConductor1];
    if (theta > kHalfPi + b[kConductor1]) {
        v[kConductor1] = s[kConductor1];
    } else {
        v[kConductor1] =
            a[kConductor1] > (theta + theta) + kPi - b[kConductor1] ? e[kConductor1] : s[kConductor1];
    }

    if (a[kConductor2] == b[kConductor2]) {
        u[kConductor2] = v[kConductor2] = v[kShield2];
    }
    if (a[kConductor1] == b[kConductor1]) {
        u[kConductor1] = v[kConductor1] = v[kShield1];
    }
}

} // namespace

void prepareCurrentStep(double current, double slopeAngle, const LineGeometry& geometry, double voltageTerm,
                        CurrentStep& step)
{
    prepareCurrentStep(builtInLineDistances(current, geometry, voltageTerm), slopeAngle, geometry, step);
}

void prepareCurrentStep(const LineDistances& distances, double slopeAngle, const LineGeometry& geometry,
                        CurrentStep& step)
{
    step.shieldRadius = distances.groundWire;
    step.conductor1Radius = distances.conductor1;
    step.conductor2Radius = distances.conductor2;
    step.groundStrikeHeight = distances.groundStrikeHeight;

    CircleSet circles{};
    for (int i = 0; i < 8; ++i) {
        circles[i] = geometry[i];
    }
    circles[8] = step.shieldRadius;
    circles[9] = step.shieldRadius;
    circles[10] = step.conductor1Radius;
    circles[11] = step.conductor2Radius;
    CircleSet turned{};
    Dqtrans(circles, slopeAngle, turned);

    EGMcircle(turned, step.arcTable);
    for (int i = 0; i < 4; ++i) {
        step.x[i] = turned[i];
        step.y[i] = turned[i + 4];
        step.r[i] = turned[i + 8];
        step.a[i] = wrapOnce(step.arcTable[i]);
        step.b[i] = wrapOnce(step.arcTable[32 + i]);
    }

    if (step.a[kConductor1] < -kHalfPi) {
        step.a[kConductor1] = -kHalfPi;
    }
    if (step.b[kConductor2] > kThreeHalfPi) {
        step.b[kConductor2] = kThreeHalfPi;
    }
    for (int i = 0; i < 4; ++i) {
        step.untrimmedA[i] = step.a[i];
        step.untrimmedB[i] = step.b[i];
    }
    trimAtStrikingLine(step);

    for (int i = 0; i < 4; ++i) {
        step.start[i] = pointAt(step, i, std::cos(step.a[i]), std::sin(step.a[i]));
        step.end[i] = pointAt(step, i, std::cos(step.b[i]), std::sin(step.b[i]));
    }
}

void evaluateStroke(const CurrentStep& step, const StrokeAngle& angle, StrokeExposure& exposure,
                    StrokeShadows* shadows)
{
    const double theta = angle.theta;
    Point u[4];
    Point v[4];
    const bool fromPlusSide = theta <= kHalfPi;
    if (fromPlusSide) {
        silhouetteFromPlusSide(step, angle, u, v);
    } else {
        silhouetteFromMinusSide(step, angle, u, v);
    }

    // Shadows of the eight silhouette points: U of wire i at 2i, V at 2i + 1.
    double px[8];
    double py[8];
    for (int i = 0; i < 4; ++i) {
        px[2 * i] = u[i].x;
        py[2 * i] = u[i].y;
        px[2 * i + 1] = v[i].x;
        py[2 * i + 1] = v[i].y;
    }
    double onGround[8];
    shadows_on_x(px, py, 8, theta, angle.tanTheta, onGround);
    // From the +x side U's shadow is the left end, from the -x side the
    // right end.
    const int leftEnd = fromPlusSide ? 0 : 1;
    const int rightEnd = 1 - leftEnd;
    Interval shield1{onGround[leftEnd], onGround[rightEnd]};
    Interval shield2{onGround[2 + leftEnd], onGround[2 + rightEnd]};
    Interval conductor1{onGround[4 + leftEnd], onGround[4 + rightEnd]};
    Interval conductor2{onGround[6 + leftEnd], onGround[6 + rightEnd]};

    // The near conductor is shielded by its own side's ground wire; the far
    // one by the span of both ground wires and the near conductor, taken
    // before the near conductor's own cut.
    if (fromPlusSide) {
        double ends[6] = {shield1.left,  shield1.right,   shield2.left,
                          shield2.right, conductor1.left, conductor1.right};
        b_sort(ends);
        cut_x_section(shield1, conductor1, conductor1);
        cut_x_section(Interval{ends[0], ends[5]}, conductor2, conductor2);
    } else {
        double ends[6] = {shield2.left,     shield2.right, conductor2.left,
                          conductor2.right, shield1.left,  shield1.right};
        b_sort(ends);
        cut_x_section(shield2, conductor2, conductor2);
        cut_x_section(Interval{ends[0], ends[5]}, conductor1, conductor1);
    }

    const Interval shadow[4] = {shield1, shield2, conductor1, conductor2};
    for (int i = 0; i < 4; ++i) {
        exposure[i] = (shadow[i].right - shadow[i].left) * angle.absSinTheta;
    }
    if (shadows != nullptr) {
        for (int i = 0; i < 4; ++i) {
            shadows->u[i] = u[i];
            shadows->v[i] = v[i];
            shadows->shadow[i] = shadow[i];
        }
    }
}

void EGM_DQ(double current, double theta, double slopeAngle, const LineGeometry& geometry, double voltageTerm,
            StrokeExposure& exposure)
{
    CurrentStep step;
    prepareCurrentStep(current, slopeAngle, geometry, voltageTerm, step);
    evaluateStroke(step, strokeAngle(theta), exposure);
}

} // namespace egm::model
