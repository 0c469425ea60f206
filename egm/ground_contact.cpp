// The general rule of the first-contact evaluation: the wires' boundary arcs
// cut by the ground's striking region over a profile, and each stroke's
// widths with the pieces of that region, and other lines' wires, standing in
// front of the wires' pieces.
#include <algorithm>
#include <cmath>

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

namespace {

// Offsets from lo to hi.
struct Stretch {
    double lo;
    double hi;
};

// Where q, a piece of another wire, overlaps wire piece p and stands in
// front of it: the overlap is blocked. The two never cross, so the one in
// front at the middle of the overlap is in front all over it.
void blockBehind(const Piece& p, const Piece& q, std::vector<Stretch>& blocked)
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

// The stretch of wire piece p out of the ground's shadow. Below the path
// through a grazing point (offsets beyond its offset, on the side away from
// where the stroke comes from) and downwind of it, a point's way back up
// passes under that point, into the region. Piece p lies outside the region
// and so never crosses the region's part straight under the grazing point:
// the part of p below the path lies all downwind of it or all upwind, as
// its middle does. Every such part runs to p's far end, so what is left is
// one stretch from its near end. The grazing points come from upwind on,
// each below the path through the one before; a part downwind of one is
// downwind of every one before it, so those that shade p come first, and
// the last of them shades the most.
Stretch outOfShadow(const StrokeAngle& angle, const Piece& p, const GrazingPoints& grazing)
{
    const double sinTheta = angle.sinTheta;
    const double cosTheta = angle.cosTheta;
    const auto xAt = [&](double s) { return s * sinTheta + depthAt(p, s) * cosTheta; };
    // The first of grazing[from, to) for which holds is false.
    const auto firstNot = [&](std::size_t from, std::size_t to, auto&& holds) {
        while (from < to) {
            const std::size_t middle = from + (to - from) / 2;
            if (holds(grazing[middle])) {
                from = middle + 1;
            } else {
                to = middle;
            }
        }
        return from;
    };
    const std::size_t n = grazing.size();
    if (cosTheta > 0.0) {
        // From +x: below is the larger offset, downwind the smaller x.
        const std::size_t reach = firstNot(0, n, [&](const GrazingPoint& g) { return !(g.offset < p.hi); });
        const std::size_t past = firstNot(reach, n, [&](const GrazingPoint& g) {
            return xAt((std::max(p.lo, g.offset) + p.hi) / 2.0) <= g.x;
        });
        return Stretch{p.lo, past == reach ? p.hi : std::max(p.lo, grazing[past - 1].offset)};
    }
    const std::size_t reach = firstNot(0, n, [&](const GrazingPoint& g) { return !(g.offset > p.lo); });
    const std::size_t past = firstNot(
        reach, n, [&](const GrazingPoint& g) { return xAt((p.lo + std::min(p.hi, g.offset)) / 2.0) >= g.x; });
    return Stretch{past == reach ? p.lo : std::min(p.hi, grazing[past - 1].offset), p.hi};
}

// The parts of the band from lo to hi outside the blocked stretches, which
// come in the order of their starts.
template <class Sink>
void unblockedParts(double lo, double hi, const std::vector<Stretch>& blocked, Sink&& sink)
{
    double from = lo;
    for (const Stretch& b : blocked) {
        if (!(b.lo < hi)) {
            break;
        }
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
    const GrazingPoints grazing =
        step.overProfile && n > 0 ? step.region.grazingPoints(angle) : GrazingPoints{};
    double total = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const Piece& p = pieces[k];
        // The pieces come in the order of their starts, and so do the
        // stretches they block.
        blocked.clear();
        for (std::size_t j = 0; j < n && pieces[j].lo < p.hi; ++j) {
            if (pieces[j].wire != p.wire) {
                blockBehind(p, pieces[j], blocked);
            }
        }
        const Stretch open = grazing.empty() ? Stretch{p.lo, p.hi} : outOfShadow(angle, p, grazing);
        const ContactDisk& d = step.disk[p.wire];
        const bool own = !d.other;
        const bool counted = which == ContactWidths::all || d.conductor;
        unblockedParts(open.lo, open.hi, blocked, [&](double lo, double hi) {
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
