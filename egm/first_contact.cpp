#include "first_contact.h"

#include <algorithm>
#include <cmath>

#include "contact_pieces.h"
#include "egm_constants.h"

namespace egm::model {

namespace {

// At most this many covered stretches of one circle: the ground's and one a
// disk of the tower.
constexpr std::size_t kMaxCovered = kMaxTowerWires + 1;

// A stretch of a circle covered by the ground's half-plane or another disk:
// angles from start (in [0, 2pi)) counter-clockwise over length.
struct Covered {
    double start;
    double length;
};

double normalized(double angle)
{
    angle = std::fmod(angle, kTwoPi);
    if (angle < 0.0) {
        angle += kTwoPi;
    }
    // fmod of a value just below 0 can round up to exactly 2pi.
    return angle >= kTwoPi ? 0.0 : angle;
}

// Whether disk j wins a tie with disk i at the same place.
bool winsTie(const std::vector<ContactDisk>& disks, std::size_t j, std::size_t i)
{
    if (disks[j].conductor != disks[i].conductor) {
        return disks[j].conductor;
    }
    return j < i;
}

// The stretch of circle i inside disk j; none when the circles do not cross.
// whole: circle i lies inside disk j (touching it at most), or coincides
// with it and j wins the tie. pair: the centres' distance and the direction
// from i's to j's.
bool coveredBy(const std::vector<ContactDisk>& disks, std::size_t i, std::size_t j, const CentrePair& pair,
               Covered& stretch, bool& whole)
{
    const ContactDisk& d = disks[i];
    const ContactDisk& e = disks[j];
    // A disk without a usable radius (a conductor's bracket below 0 at a
    // current under the integrated range) covers nothing.
    if (!(e.r > 0.0)) {
        return false;
    }
    const double distance = pair.distance;
    if (distance == 0.0 && e.r == d.r) {
        whole = winsTie(disks, j, i);
        return false;
    }
    if (distance >= d.r + e.r) {
        return false;
    }
    if (distance + d.r <= e.r) {
        whole = true;
        return false;
    }
    if (distance + e.r <= d.r) {
        return false;
    }
    // Half the angle the crossing points subtend at i's centre.
    const double c = (d.r * d.r + distance * distance - e.r * e.r) / (2.0 * d.r * distance);
    const double half = std::acos(std::clamp(c, -1.0, 1.0));
    stretch = Covered{normalized(pair.direction - half), 2.0 * half};
    return true;
}

// The arcs of circle `wire` outside every covered stretch.
void appendUncovered(const ContactDisk& d, std::size_t wire, Covered* covered, std::size_t n,
                     std::vector<BoundaryArc>& boundary)
{
    const auto add = [&](double from, double to) {
        boundary.push_back(BoundaryArc{wire, from, to,
                                       Point{d.x + d.r * std::cos(from), d.y + d.r * std::sin(from)},
                                       Point{d.x + d.r * std::cos(to), d.y + d.r * std::sin(to)}});
    };
    if (n == 0) {
        add(0.0, kTwoPi);
        return;
    }
    std::sort(covered, covered + n, [](const Covered& a, const Covered& b) { return a.start < b.start; });
    // Walk once round from the first start; what the stretches reach past
    // 2pi covers the beginning of the walk again.
    double furthest = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        furthest = std::max(furthest, covered[k].start + covered[k].length);
    }
    const double end = covered[0].start + kTwoPi;
    double reach = std::max(covered[0].start + covered[0].length, furthest - kTwoPi);
    for (std::size_t k = 1; k < n && reach < end; ++k) {
        if (covered[k].start > reach) {
            add(reach, covered[k].start);
        }
        reach = std::max(reach, covered[k].start + covered[k].length);
    }
    if (reach < end) {
        add(reach, end);
    }
}

// The front-facing pieces of the boundary at the stroke's angle: the part
// of each arc copy within [theta - pi/2, theta + pi/2], where the outward
// normal faces the stroke's origin. There the offset falls monotonically
// from the piece's first end to its last; an end that is not the arc's own
// is a tangent point, at offset centre +- r. The pieces come sorted by lo.
std::size_t frontPieces(const ContactCurrentStep& step, const StrokeAngle& angle, Piece* pieces)
{
    const double theta = angle.theta;
    const double sinTheta = angle.sinTheta;
    const double cosTheta = angle.cosTheta;
    std::size_t n = 0;
    for (const FrontArc& arc : step.front) {
        if (!(theta > arc.facesAbove && theta < arc.facesBelow)) {
            continue;
        }
        const ContactDisk& d = step.disk[arc.wire];
        const double offset = d.x * sinTheta - d.y * cosTheta;
        const double high =
            theta <= arc.ownStartTo ? arc.start.x * sinTheta - arc.start.y * cosTheta : offset + d.r;
        const double low =
            theta >= arc.ownEndFrom ? arc.end.x * sinTheta - arc.end.y * cosTheta : offset - d.r;
        if (!(low < high)) {
            continue;
        }
        // Insertion by lo: the pieces are few, and mostly in the order of
        // the previous angle's.
        std::size_t k = n++;
        for (; k > 0 && pieces[k - 1].lo > low; --k) {
            pieces[k] = pieces[k - 1];
        }
        pieces[k] = Piece{low, high, offset, d.x * cosTheta + d.y * sinTheta, d.r, arc.wire};
    }
    return n;
}

// Hands sink(from, to) each part of piece k that no other wire's piece
// stands in front of, of pieces sorted by lo, from the smallest offset up.
// Two pieces of the boundary never cross, so the one in front at the middle
// of their overlap is in front all over it. The overlaps come in the order
// of their starts.
template <class Sink> void visibleParts(const Piece* pieces, std::size_t n, std::size_t k, Sink&& sink)
{
    const Piece& p = pieces[k];
    double from = p.lo;
    for (std::size_t j = 0; j < n && pieces[j].lo < p.hi; ++j) {
        const Piece& q = pieces[j];
        if (q.wire == p.wire || !(q.hi > p.lo)) {
            continue;
        }
        const double lo = std::max(p.lo, q.lo);
        const double hi = std::min(p.hi, q.hi);
        const double middle = (lo + hi) / 2.0;
        if (depthAt(q, middle) > depthAt(p, middle)) {
            if (lo > from) {
                sink(from, lo);
            }
            from = std::max(from, hi);
        }
    }
    if (from < p.hi) {
        sink(from, p.hi);
    }
}

// Pieces of a stroke kept on the stack; a boundary of more arc copies (a
// tower of many wires far apart) takes the heap.
constexpr std::size_t kStackPieces = 64;

// Relative distance under which the ends of two bands are the same offset.
constexpr double kSameEnd = 1e-9;

// The copies of each arc that a stroke's front half can meet: that half
// lies within (-pi/2, 3pi/2].
void layFront(ContactCurrentStep& step)
{
    step.front.clear();
    for (const BoundaryArc& arc : step.boundary) {
        const double length = arc.to - arc.from;
        const double first = normalized(arc.from);
        for (int turn = 0; turn < 3; ++turn) {
            const double a = first - static_cast<double>(turn) * kTwoPi;
            const double b = a + length;
            if (a < kPi + kHalfPi && b > -kHalfPi) {
                step.front.push_back(FrontArc{arc.wire, a - kHalfPi, b + kHalfPi, a + kHalfPi, b - kHalfPi,
                                              arc.start, arc.end});
            }
        }
    }
}

// Each wire's arcs (in the boundary wire by wire) less their parts in the
// ground's striking region at the step's G.
void clipBoundary(ContactCurrentStep& step)
{
    // The region's boundary is needed only under the arcs' parts that run
    // within the band it keeps to.
    static thread_local std::vector<GroundRegion::Span> spans;
    spans.clear();
    const double g = step.groundStrikeHeight;
    for (const BoundaryArc& arc : step.boundary) {
        const ContactDisk& d = step.disk[arc.wire];
        step.region.spansNear(Point{d.x, d.y}, d.r, arc.from, arc.to, g, spans);
    }
    step.region.setStrikeHeight(g, spans);
    static thread_local std::vector<BoundaryArc> arcs;
    arcs.swap(step.boundary);
    step.boundary.clear();
    for (std::size_t k = 0; k < arcs.size();) {
        const std::size_t wire = arcs[k].wire;
        const std::size_t first = step.boundary.size();
        for (; k < arcs.size() && arcs[k].wire == wire; ++k) {
            step.boundary.push_back(arcs[k]);
        }
        clipToGround(step.region, step.disk[wire], first, step.boundary);
    }
}

} // namespace

void prepareContactCurrentStep(const std::vector<ContactDisk>& disks, double groundStrikeHeight,
                               ContactCurrentStep& step, const GroundProfile* profile, bool deferShielded)
{
    const bool overProfile = profile != nullptr && !profile->empty() && !profile->level();
    step.overProfile = overProfile;
    step.groundPending = false;
    if (overProfile) {
        step.region.setProfile(*profile);
    }
    step.general =
        overProfile || std::any_of(disks.begin(), disks.end(), [](const ContactDisk& d) { return d.other; });
    // The centres stay where they are from one current to the next: their
    // distances and directions are worked out again only when they move.
    const bool moved =
        step.disk.size() != disks.size() ||
        !std::equal(disks.begin(), disks.end(), step.disk.begin(),
                    [](const ContactDisk& a, const ContactDisk& b) { return a.x == b.x && a.y == b.y; });
    if (moved) {
        step.pair.resize(disks.size() * disks.size());
        for (std::size_t i = 0; i < disks.size(); ++i) {
            for (std::size_t j = 0; j < disks.size(); ++j) {
                const double dx = disks[j].x - disks[i].x;
                const double dy = disks[j].y - disks[i].y;
                step.pair[i * disks.size() + j] = CentrePair{std::hypot(dx, dy), std::atan2(dy, dx)};
            }
        }
    }
    step.disk = disks;
    step.groundStrikeHeight = groundStrikeHeight;
    step.boundary.clear();
    const double g = groundStrikeHeight;
    for (std::size_t i = 0; i < disks.size(); ++i) {
        const ContactDisk& d = disks[i];
        // Wholly on or below the ground's striking line (or not a number):
        // no path meets it before the line.
        if (!(d.y + d.r > g) && !overProfile) {
            continue;
        }
        Covered covered[kMaxCovered];
        std::size_t n = 0;
        const double k = (g - d.y) / d.r;
        if (k > -1.0 && !overProfile) {
            // Below the line: the stretch round -pi/2 where sin(phi) <= k.
            const double half = kHalfPi + std::asin(k);
            covered[n++] = Covered{normalized(-kHalfPi - half), 2.0 * half};
        }
        bool whole = false;
        for (std::size_t j = 0; j < disks.size() && !whole; ++j) {
            if (j != i && coveredBy(disks, i, j, step.pair[i * disks.size() + j], covered[n], whole)) {
                ++n;
            }
        }
        if (whole || !(d.r > 0.0)) {
            continue;
        }
        appendUncovered(d, i, covered, n, step.boundary);
    }
    if (overProfile) {
        // An arc within G straight above the surface lies in the ground's
        // striking region: no path reaches it. Found without the region's
        // boundary, so when that leaves no conductor an arc, the boundary
        // and the clipping of the rest wait until a stroke is asked for.
        const GroundRegion& region = step.region;
        const auto held = [&](const BoundaryArc& arc) {
            const ContactDisk& d = disks[arc.wire];
            return region.surelyHolds(Point{d.x, d.y}, d.r, arc.from, arc.to, arc.start, arc.end, g);
        };
        step.boundary.erase(std::remove_if(step.boundary.begin(), step.boundary.end(), held),
                            step.boundary.end());
        const bool conductorReached =
            std::any_of(step.boundary.begin(), step.boundary.end(),
                        [&](const BoundaryArc& arc) { return disks[arc.wire].conductor; });
        if (deferShielded && !conductorReached) {
            step.groundPending = true;
            step.front.clear();
            return;
        }
        clipBoundary(step);
    }
    layFront(step);
}

void settleContactCurrentStep(ContactCurrentStep& step)
{
    if (!step.groundPending) {
        return;
    }
    step.groundPending = false;
    clipBoundary(step);
    layFront(step);
}

bool hasBoundaryArc(const ContactCurrentStep& step, std::size_t wire)
{
    return std::any_of(step.boundary.begin(), step.boundary.end(),
                       [&](const BoundaryArc& arc) { return arc.wire == wire; });
}

// The wires' bands from the smallest offset to the largest, with the
// ground's between them.
void mergeBands(std::vector<ContactBand>& caught, std::vector<ContactBand>& bands)
{
    std::sort(caught.begin(), caught.end(),
              [](const ContactBand& x, const ContactBand& y) { return x.from < y.from; });
    bands.clear();
    for (ContactBand band : caught) {
        if (!bands.empty()) {
            ContactBand& last = bands.back();
            // Two pieces that meet at a crossing of their circles project
            // its point each on its own: ends within rounding are one.
            if (band.from - last.to <= kSameEnd * (1.0 + std::fabs(last.to))) {
                band.from = last.to;
            }
            if (last.wire == band.wire && band.from <= last.to) {
                last.to = std::max(last.to, band.to);
                continue;
            }
            if (last.to < band.from) {
                bands.push_back(ContactBand{last.to, band.from, std::nullopt});
            }
        }
        bands.push_back(band);
    }
}

double evaluateContactStroke(const ContactCurrentStep& step, const StrokeAngle& angle, double* widths,
                             ContactWidths which, std::vector<ContactBand>* bands)
{
    for (std::size_t i = 0; i < step.disk.size(); ++i) {
        widths[i] = 0.0;
    }
    // Each arc copy gives at most one piece.
    Piece onStack[kStackPieces];
    std::vector<Piece> onHeap;
    Piece* pieces = onStack;
    if (step.front.size() > kStackPieces) {
        onHeap.resize(step.front.size());
        pieces = onHeap.data();
    }
    const std::size_t n = frontPieces(step, angle, pieces);
    if (step.general) {
        if (n == 0 && bands != nullptr) {
            bands->clear();
        }
        return evaluateGeneralStroke(step, angle, pieces, n, widths, which, bands);
    }

    // The paths caught at all: the union of the pieces' projections.
    double caughtWidth = 0.0;
    for (std::size_t k = 0; k < n;) {
        double to = pieces[k].hi;
        const double from = pieces[k].lo;
        for (++k; k < n && pieces[k].lo <= to; ++k) {
            to = std::max(to, pieces[k].hi);
        }
        caughtWidth += to - from;
    }

    if (bands == nullptr) {
        for (std::size_t k = 0; k < n; ++k) {
            if (which == ContactWidths::all || step.disk[pieces[k].wire].conductor) {
                double& width = widths[pieces[k].wire];
                visibleParts(pieces, n, k, [&](double from, double to) { width += to - from; });
            }
        }
        return caughtWidth;
    }
    std::vector<ContactBand> caught;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t wire = pieces[k].wire;
        visibleParts(pieces, n, k, [&](double from, double to) {
            widths[wire] += to - from;
            caught.push_back(ContactBand{from, to, wire});
        });
    }
    mergeBands(caught, *bands);
    return caughtWidth;
}

} // namespace egm::model
