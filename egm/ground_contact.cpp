// The general rule of the first-contact evaluation: the wires' boundary arcs
// cut by the ground's striking region over a profile, and each stroke's
// widths with the pieces of that region, and other lines' wires, standing in
// front of the wires' pieces.
#include <algorithm>
#include <cmath>
#include <limits>

#include "contact_pieces.h"
#include "egm_constants.h"

namespace egm::model {

// The arcs of circle d from index first of boundary on, less their parts in
// the ground's striking region: each arc is cut where the circle meets the
// region's boundary, and a part is kept when its middle lies outside.
void clipToGround(const GroundRegion& region, const ContactDisk& d, std::size_t first,
                  std::vector<BoundaryArc>& boundary)
{
    static thread_local std::vector<double> crossing;
    static thread_local std::vector<double> cut;
    static thread_local std::vector<BoundaryArc> arcs;
    region.crossings(Point{d.x, d.y}, d.r, crossing);
    arcs.assign(boundary.begin() + static_cast<std::ptrdiff_t>(first), boundary.end());
    boundary.resize(first);
    const auto pointAt = [&](double phi) {
        return Point{d.x + d.r * std::cos(phi), d.y + d.r * std::sin(phi)};
    };
    for (const BoundaryArc& arc : arcs) {
        cut.clear();
        cut.push_back(arc.from);
        for (const double a : crossing) {
            for (int turn = 0; turn < 3; ++turn) {
                const double t = a + static_cast<double>(turn) * kTwoPi;
                if (t > arc.from && t < arc.to) {
                    cut.push_back(t);
                }
            }
        }
        std::sort(cut.begin() + 1, cut.end());
        cut.push_back(arc.to);
        // Neighbouring parts outside the region make one arc.
        bool open = false;
        double from = 0.0;
        for (std::size_t k = 0; k + 1 < cut.size(); ++k) {
            const bool outside =
                cut[k + 1] > cut[k] && !region.contains(pointAt((cut[k] + cut[k + 1]) / 2.0));
            if (outside && !open) {
                open = true;
                from = cut[k];
            }
            if (!outside && open) {
                open = false;
                boundary.push_back(BoundaryArc{arc.wire, from, cut[k], pointAt(from), pointAt(cut[k])});
            }
        }
        if (open) {
            boundary.push_back(
                BoundaryArc{arc.wire, from, arc.to, from == arc.from ? arc.start : pointAt(from), arc.end});
        }
    }
}

// Each wire's box of its boundary arcs (step's arcLow, arcLeft, arcRight),
// and the lowest point of them all: no part of the ground below a point
// can stand in front of it on the way down.
double boxArcs(ContactCurrentStep& step)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::size_t wires = step.disk.size();
    step.arcLow.assign(wires, inf);
    step.arcLeft.assign(wires, inf);
    step.arcRight.assign(wires, -inf);
    double low = inf;
    for (const BoundaryArc& arc : step.boundary) {
        const ContactDisk& d = step.disk[arc.wire];
        double bottom = std::min(arc.start.y, arc.end.y);
        double left = std::min(arc.start.x, arc.end.x);
        double right = std::max(arc.start.x, arc.end.x);
        // The circle's lowest, leftmost and rightmost points where the arc
        // runs through them.
        for (int turn = -1; turn < 3; ++turn) {
            const double t = static_cast<double>(turn) * kTwoPi;
            if (t + 3.0 * kHalfPi > arc.from && t + 3.0 * kHalfPi < arc.to) {
                bottom = d.y - d.r;
            }
            if (t + kPi > arc.from && t + kPi < arc.to) {
                left = d.x - d.r;
            }
            if (t > arc.from && t < arc.to) {
                right = d.x + d.r;
            }
        }
        step.arcLow[arc.wire] = std::min(step.arcLow[arc.wire], bottom);
        step.arcLeft[arc.wire] = std::min(step.arcLeft[arc.wire], left);
        step.arcRight[arc.wire] = std::max(step.arcRight[arc.wire], right);
        low = std::min(low, bottom);
    }
    return low;
}

namespace {

// Offsets from lo to hi.
struct Stretch {
    double lo;
    double hi;
};

// A piece of the ground's striking region facing the stroke and where it
// projects: offsets from lo to hi (either may be infinite for the level
// ground beyond the profile's ends). A circle's depth is met as a wire's
// (r > 0); an edge's is depth at offset, rising by tilt per metre of offset.
struct GroundFront {
    double lo;
    double hi;
    double offset;
    double depth;
    double r;
    double tilt;
};

double depthAt(const GroundFront& g, double s)
{
    if (g.r > 0.0) {
        const double u = s - g.offset;
        return g.depth + std::sqrt(std::max(0.0, g.r * g.r - u * u));
    }
    return g.depth + (s - g.offset) * g.tilt;
}

// Where the ground's piece faces the stroke and projects; false when it
// does not face it.
bool frontOf(const GroundPiece& g, const StrokeAngle& angle, GroundFront& f)
{
    const double sinTheta = angle.sinTheta;
    const double cosTheta = angle.cosTheta;
    const double inf = std::numeric_limits<double>::infinity();
    const auto offsetOf = [&](Point p) { return p.x * sinTheta - p.y * cosTheta; };
    const auto depthOf = [&](Point p) { return p.x * cosTheta + p.y * sinTheta; };
    switch (g.kind) {
    case GroundPiece::Kind::circle: {
        const double offset = offsetOf(g.a);
        f = GroundFront{offset - g.r, offset + g.r, offset, depthOf(g.a), g.r, 0.0};
        return true;
    }
    case GroundPiece::Kind::edge: {
        // Only the side its outward normal faces meets paths first.
        if (!(g.normal.x * cosTheta + g.normal.y * sinTheta > 0.0)) {
            return false;
        }
        const double sa = offsetOf(g.a);
        const double sb = offsetOf(g.b);
        if (!(sa != sb)) {
            return false;
        }
        const double da = depthOf(g.a);
        const double db = depthOf(g.b);
        f = GroundFront{std::min(sa, sb), std::max(sa, sb), sa, da, 0.0, (db - da) / (sb - sa)};
        return true;
    }
    case GroundPiece::Kind::leftLevel: {
        const double s = offsetOf(g.b);
        f = GroundFront{-inf, s, s, depthOf(g.b), 0.0, cosTheta / sinTheta};
        return true;
    }
    case GroundPiece::Kind::rightLevel: {
        const double s = offsetOf(g.a);
        f = GroundFront{s, inf, s, depthOf(g.a), 0.0, cosTheta / sinTheta};
        return true;
    }
    }
    return false;
}

// Where q, a piece of another wire or of the ground, overlaps wire piece p
// and stands in front of it: the overlap is blocked. The two never cross, so
// the one in front at the middle of the overlap is in front all over it.
template <class Front> void blockBehind(const Piece& p, const Front& q, std::vector<Stretch>& blocked)
{
    if (!(q.hi > p.lo) || !(q.lo < p.hi)) {
        return;
    }
    const double lo = std::max(p.lo, q.lo);
    const double hi = std::min(p.hi, q.hi);
    const double middle = (lo + hi) / 2.0;
    if (depthAt(q, middle) > depthAt(p, middle)) {
        blocked.push_back(Stretch{lo, hi});
    }
}

// The stretches of wire piece p behind a piece of the ground. Only the
// ground above the wire's lowest boundary point and on the side the stroke
// comes from, within the rise of the highest piece over that point along
// the stroke's way back, can stand in front of it.
void blockedByGround(const ContactCurrentStep& step, const StrokeAngle& angle, const Piece& p,
                     std::vector<Stretch>& blocked)
{
    const double low = step.arcLow[p.wire];
    const double rise = step.groundTop - low;
    if (!(rise > 0.0)) {
        return;
    }
    const double reach = rise * angle.cosTheta / angle.sinTheta;
    const double left = step.arcLeft[p.wire] + std::min(reach, 0.0);
    const double right = step.arcRight[p.wire] + std::max(reach, 0.0);
    const std::vector<GroundPiece>& ground = step.ground;
    // The pieces by their left ends: none further right than right, and
    // those that end before left start at least their width before it.
    const auto first = std::lower_bound(ground.begin(), ground.end(), left - step.groundSpan,
                                        [](const GroundPiece& g, double x) { return g.left < x; });
    // A piece beside the wire's box, x away from it across, blocks only
    // above the rise of the way back over that distance.
    const double boxLeft = step.arcLeft[p.wire];
    const double boxRight = step.arcRight[p.wire];
    const double climb = std::fabs(angle.sinTheta / angle.cosTheta);
    for (auto it = first; it != ground.end() && it->left <= right; ++it) {
        const GroundPiece& g = *it;
        const double away = g.right < boxLeft   ? boxLeft - g.right
                            : g.left > boxRight ? g.left - boxRight
                                                : 0.0;
        GroundFront f;
        if (g.top > low && g.right >= left && (away == 0.0 || g.top > low + away * climb) &&
            frontOf(g, angle, f)) {
            blockBehind(p, f, blocked);
        }
    }
    // The level ground beyond the ends has no finite left end or width.
    if (!ground.empty() && ground.front().kind == GroundPiece::Kind::leftLevel && first != ground.begin()) {
        GroundFront f;
        const GroundPiece& g = ground.front();
        if (g.top > low && g.right >= left && frontOf(g, angle, f)) {
            blockBehind(p, f, blocked);
        }
    }
}

// The parts of the band from lo to hi outside the blocked stretches.
template <class Sink> void unblockedParts(double lo, double hi, std::vector<Stretch>& blocked, Sink&& sink)
{
    std::sort(blocked.begin(), blocked.end(), [](const Stretch& a, const Stretch& b) { return a.lo < b.lo; });
    double from = lo;
    for (const Stretch& b : blocked) {
        if (b.lo > from) {
            sink(from, b.lo);
        }
        from = std::max(from, b.hi);
    }
    if (from < hi) {
        sink(from, hi);
    }
}
} // namespace

// The general rule: each wire's piece less what stands in front of it,
// another wire's piece or a piece of the ground's striking region; the
// total is what the line's own wires catch.
double evaluateGeneralStroke(const ContactCurrentStep& step, const StrokeAngle& angle, const Piece* pieces,
                             std::size_t n, double* widths, ContactWidths which,
                             std::vector<ContactBand>* bands)
{
    static thread_local std::vector<Stretch> blocked;
    static thread_local std::vector<ContactBand> caught;
    caught.clear();
    double total = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const Piece& p = pieces[k];
        blocked.clear();
        for (std::size_t j = 0; j < n; ++j) {
            if (pieces[j].wire != p.wire) {
                blockBehind(p, pieces[j], blocked);
            }
        }
        if (step.overProfile) {
            blockedByGround(step, angle, p, blocked);
        }
        const ContactDisk& d = step.disk[p.wire];
        const bool own = !d.other;
        const bool counted = which == ContactWidths::all || d.conductor;
        unblockedParts(p.lo, p.hi, blocked, [&](double lo, double hi) {
            if (own) {
                total += hi - lo;
            }
            if (counted) {
                widths[p.wire] += hi - lo;
            }
            if (bands != nullptr) {
                caught.push_back(ContactBand{lo, hi, p.wire});
            }
        });
    }
    if (bands != nullptr) {
        mergeBands(caught, *bands);
    }
    return total;
}

} // namespace egm::model
