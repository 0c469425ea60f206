#include "sound_stroke.h"

#include <cmath>

#include "cut_x_section.h"
#include "egm_constants.h"

namespace egm::model {

namespace {

constexpr int kShield1 = 0;
constexpr int kShield2 = 1;
constexpr int kConductor1 = 2;
constexpr int kConductor2 = 3;

Point pointOn(const SoundWire& w, double angle)
{
    return Point{w.x + w.r * std::cos(angle), w.y + w.r * std::sin(angle)};
}

// Whether the direction phi lies on the arc that runs counter-clockwise from
// a to b, both ends included.
bool onArc(double phi, double a, double b)
{
    double extent = b - a;
    if (extent >= kTwoPi) {
        return true;
    }
    if (extent < 0.0) {
        extent += kTwoPi;
    }
    double d = phi - a;
    if (!std::isfinite(d) || !std::isfinite(extent)) {
        return false;
    }
    while (d < 0.0) {
        d += kTwoPi;
    }
    while (d >= kTwoPi) {
        d -= kTwoPi;
    }
    return d <= extent;
}

// The arc (a, b) of the circle centred at height y with radius r reaches
// above the ground's striking line g somewhere.
bool reachesAbove(double y, double r, double a, double b, double g)
{
    if (onArc(kHalfPi, a, b)) {
        return y + r > g;
    }
    return y + r * std::sin(a) > g || y + r * std::sin(b) > g;
}

// Wire i of a prepared line, its arc as the preparation left it.
SoundWire wireOf(const CurrentStep& s, int i)
{
    // The arc before the trim decides whether there is an exposed arc at
    // all: the trim turns an arc that lies wholly below the striking line
    // round, and moves the start of a missing arc, (0, 0), whose point at
    // angle 0 (at the centre's height) lies below the line.
    SoundWire w{s.x[i], s.y[i], s.r[i], s.a[i], s.b[i], s.start[i], s.end[i], false};
    w.exposed = w.a != w.b && reachesAbove(w.y, w.r, s.untrimmedA[i], s.untrimmedB[i], s.groundStrikeHeight);
    return w;
}

// Wire i of the mirrored line, reflected back onto the line.
SoundWire reflected(const CurrentStep& mirror, int i)
{
    SoundWire m = wireOf(mirror, i);
    SoundWire w = m;
    w.x = -m.x;
    w.a = kPi - m.b;
    w.b = kPi - m.a;
    w.start = pointOn(w, w.a);
    w.end = pointOn(w, w.b);
    return w;
}

struct Silhouette {
    Interval shadow;
    Point left;  // the point whose shadow is the left end
    Point right; // and the right end
};

// Where the stroke path through (x, y) meets the ground line, as
// shadow_on_x finds it, with tan(theta) already at hand.
inline double shadowOf(double x, double y, const StrokeAngle& angle)
{
    return angle.theta == kHalfPi ? x : x - y / angle.tanTheta;
}

// The shadow of an exposed arc: the smallest and largest shadow of its ends
// and of the tangent points (leftmost and rightmost projections of the whole
// circle) that lie on it. The points themselves only when asked for.
template <bool kPoints> struct Extremes {
    Silhouette& s;
    // Widens the shadow to take in the point's, in the order the
    // candidates come: ends first, then the tangent points.
    void take(const Point& p, double at)
    {
        if (at < s.shadow.left) {
            s.shadow.left = at;
            if (kPoints) {
                s.left = p;
            }
        }
        if (at > s.shadow.right) {
            s.shadow.right = at;
            if (kPoints) {
                s.right = p;
            }
        }
    }
};

template <bool kPoints> Silhouette silhouetteOf(const SoundWire& w, const StrokeAngle& angle)
{
    const double first = shadowOf(w.start.x, w.start.y, angle);
    Silhouette s{{first, first}, w.start, w.start};
    Extremes<kPoints> extremes{s};
    extremes.take(w.end, shadowOf(w.end.x, w.end.y, angle));
    if (onArc(kHalfPi + angle.theta, w.a, w.b)) {
        const Point t{w.x + w.r * angle.cosAbove, w.y + w.r * angle.sinAbove};
        extremes.take(t, shadowOf(t.x, t.y, angle));
    }
    if (onArc(angle.theta - kHalfPi, w.a, w.b)) {
        const Point t{w.x + w.r * angle.cosBelow, w.y + w.r * angle.sinBelow};
        extremes.take(t, shadowOf(t.x, t.y, angle));
    }
    return s;
}

// The conductor's interval less what the shield covers; no shield, no cut.
void cutBy(const Interval* shield, Interval& conductor)
{
    if (shield != nullptr) {
        cut_x_section(*shield, conductor, conductor);
    }
}

// The span of the exposed ones among three wires' intervals, or none.
bool spanOf(const Interval (&shadow)[4], const bool (&exposed)[4], const int (&wires)[3], Interval& span)
{
    bool any = false;
    for (int i : wires) {
        if (!exposed[i]) {
            continue;
        }
        if (!any) {
            span = shadow[i];
            any = true;
        } else {
            span.left = shadow[i].left < span.left ? shadow[i].left : span.left;
            span.right = shadow[i].right > span.right ? shadow[i].right : span.right;
        }
    }
    return any;
}

} // namespace

LineGeometry mirroredGeometry(const LineGeometry& g)
{
    return LineGeometry{-g[1], -g[0], -g[3], -g[2], g[5], g[4], g[7], g[6]};
}

void prepareSoundCurrentStep(const StrikingDistances& distances, double slopeAngle,
                             const LineGeometry& geometry, SoundCurrentStep& step)
{
    CurrentStep line;
    prepareCurrentStep(distances, slopeAngle, geometry, line);
    // The mirror's conductor 1 is the line's conductor 2: its striking
    // distance comes along (as the negated voltage term gives it).
    StrikingDistances mirrored = distances;
    mirrored.conductor1 = distances.conductor2;
    mirrored.conductor2 = distances.conductor1;
    CurrentStep mirror;
    prepareCurrentStep(mirrored, -slopeAngle, mirroredGeometry(geometry), mirror);

    step.groundStrikeHeight = line.groundStrikeHeight;
    step.wire[kShield1] = wireOf(line, kShield1);
    step.wire[kConductor1] = wireOf(line, kConductor1);
    step.wire[kShield2] = reflected(mirror, kShield1);
    step.wire[kConductor2] = reflected(mirror, kConductor1);
}

namespace {

template <bool kPoints>
void evaluate(const SoundCurrentStep& step, const StrokeAngle& angle, StrokeExposure& exposure,
              StrokeShadows* shadows)
{
    bool exposed[4];
    Interval shadow[4];
    Silhouette silhouette[4];
    for (int i = 0; i < 4; ++i) {
        exposed[i] = step.wire[i].exposed;
        if (exposed[i]) {
            silhouette[i] = silhouetteOf<kPoints>(step.wire[i], angle);
            shadow[i] = silhouette[i].shadow;
        } else {
            silhouette[i] = Silhouette{{0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}};
            shadow[i] = Interval{0.0, 0.0};
        }
    }

    const Interval* shield1 = exposed[kShield1] ? &shadow[kShield1] : nullptr;
    const Interval* shield2 = exposed[kShield2] ? &shadow[kShield2] : nullptr;
    Interval conductor1 = shadow[kConductor1];
    Interval conductor2 = shadow[kConductor2];
    Interval span{};
    if (angle.theta < kHalfPi) {
        const bool any = spanOf(shadow, exposed, {kShield1, kShield2, kConductor1}, span);
        cutBy(shield1, conductor1);
        cutBy(any ? &span : nullptr, conductor2);
    } else if (angle.theta > kHalfPi) {
        const bool any = spanOf(shadow, exposed, {kShield2, kConductor2, kShield1}, span);
        cutBy(shield2, conductor2);
        cutBy(any ? &span : nullptr, conductor1);
    } else {
        cutBy(shield1, conductor1);
        cutBy(shield2, conductor2);
    }
    shadow[kConductor1] = conductor1;
    shadow[kConductor2] = conductor2;

    for (int i = 0; i < 4; ++i) {
        exposure[i] = exposed[i] ? (shadow[i].right - shadow[i].left) * angle.absSinTheta : 0.0;
    }
    if (kPoints) {
        for (int i = 0; i < 4; ++i) {
            shadows->u[i] = silhouette[i].left;
            shadows->v[i] = silhouette[i].right;
            shadows->shadow[i] = shadow[i];
        }
    }
}

} // namespace

void evaluateSoundStroke(const SoundCurrentStep& step, const StrokeAngle& angle, StrokeExposure& exposure,
                         StrokeShadows* shadows)
{
    if (shadows != nullptr) {
        evaluate<true>(step, angle, exposure, shadows);
    } else {
        evaluate<false>(step, angle, exposure, nullptr);
    }
}

} // namespace egm::model
