// What the surface alone shows of the ground's striking region, before
// its boundary is laid: the lowest surface under a stretch, the arcs that
// lie within G straight above the surface, and the stretches under an
// arc's parts that run within the band the boundary keeps to.
#include <algorithm>
#include <cmath>

#include "egm_constants.h"
#include "ground_region.h"

namespace egm::model {

double GroundRegion::lowestBetween(double from, double to) const
{
    // Straight between points, level beyond the ends: the lowest over
    // [from, to] is at one of its ends or at a point within.
    const std::size_t n = surface_.size();
    const auto byX = [](const Point& p, double x) { return p.x < x; };
    const auto first = static_cast<std::size_t>(
        std::lower_bound(surface_.begin(), surface_.end(), from, byX) - surface_.begin());
    const auto end =
        static_cast<std::size_t>(std::upper_bound(surface_.begin(), surface_.end(), to,
                                                  [](double x, const Point& p) { return x < p.x; }) -
                                 surface_.begin());
    const auto heightAt = [&](double x, std::size_t next) {
        if (next == 0) {
            return surface_.front().y;
        }
        if (next == n) {
            return surface_.back().y;
        }
        const Point& a = surface_[next - 1];
        const Point& b = surface_[next];
        return a.y + (x - a.x) / (b.x - a.x) * (b.y - a.y);
    };
    double lowest = std::min(heightAt(from, first), heightAt(to, end));
    if (first < end) {
        std::size_t level = 0;
        std::size_t run = 1;
        while (2 * run <= end - first) {
            run *= 2;
            ++level;
        }
        lowest = std::min(lowest, std::min(lowest_[level * n + first], lowest_[level * n + end - run]));
    }
    return lowest;
}

namespace {

// Whether the arc from a to b (radians) runs through angle t or a copy of
// it a turn away, its ends left out.
bool runsThrough(double a, double b, double t)
{
    for (int turn = -1; turn < 3; ++turn) {
        const double u = t + static_cast<double>(turn) * kTwoPi;
        if (u > a && u < b) {
            return true;
        }
    }
    return false;
}

// The parts of the arc from a to b where sin(phi) > k (above, -1 < k < 1),
// or < k (below): from asin(k) to pi - asin(k) and its copies a turn apart,
// or from pi - asin(k) to 2pi + asin(k). Each as (from, to, whether from is
// a cut at height k, whether to is).
template <class Sink> void partsBeside(double a, double b, double k, bool above, Sink&& sink)
{
    const double s = std::asin(k);
    const double lo = above ? s : kPi - s;
    const double hi = above ? kPi - s : kTwoPi + s;
    for (int turn = -2; turn < 3; ++turn) {
        const double from = lo + static_cast<double>(turn) * kTwoPi;
        const double to = hi + static_cast<double>(turn) * kTwoPi;
        if (to > a && from < b) {
            sink(std::max(a, from), std::min(b, to), from > a, to < b);
        }
    }
}

} // namespace

bool GroundRegion::surelyHolds(Point c, double r, double from, double to, Point start, Point end,
                               double g) const
{
    // No higher than the region reaches, or not shown.
    const double highest = top_ + g;
    if (c.y - r > highest) {
        return false;
    }
    // The arc's parts in turn: one lower than G above the lowest surface
    // under it is held; of one that is not, what rises above that height
    // is tried again over the narrower stretch under it.
    struct Stretch {
        double from;
        double to;
        Point start;
        Point end;
        int depth;
    };
    constexpr int kDeepest = 8;
    Stretch stack[2 * kDeepest + 2];
    std::size_t n = 0;
    stack[n++] = Stretch{from, to, start, end, 0};
    while (n > 0) {
        const Stretch part = stack[--n];
        const double left =
            runsThrough(part.from, part.to, kPi) ? c.x - r : std::min(part.start.x, part.end.x);
        const double right =
            runsThrough(part.from, part.to, 0.0) ? c.x + r : std::max(part.start.x, part.end.x);
        const double top =
            runsThrough(part.from, part.to, kHalfPi) ? c.y + r : std::max(part.start.y, part.end.y);
        if (top > highest) {
            return false;
        }
        const double floor = lowestBetween(left, right) + g;
        // Held with room to spare for the rounding of the cuts below.
        const double held = floor - 1e-9 * (1.0 + std::fabs(floor) + r);
        if (top <= held) {
            continue;
        }
        const double k = (held - c.y) / r;
        if (part.depth == kDeepest || !(k > -1.0)) {
            return false;
        }
        // The parts above the height held; the circle meets that height at
        // x = c.x +- r sqrt(1 - k^2).
        const double across = r * std::sqrt(std::max(0.0, 1.0 - k * k));
        partsBeside(part.from, part.to, k, true, [&](double a, double b, bool cutA, bool cutB) {
            stack[n++] = Stretch{a, b, cutA ? Point{c.x + across, held} : part.start,
                                 cutB ? Point{c.x - across, held} : part.end, part.depth + 1};
        });
    }
    return true;
}

void GroundRegion::spansNear(Point c, double r, double from, double to, double g,
                             std::vector<Span>& spans) const
{
    // The band the boundary keeps within, a little wider for rounding.
    const double margin = 1e-9 * (1.0 + std::fabs(c.y) + r + std::fabs(top_) + g);
    const double lo = bottom_ + g - margin;
    const double hi = top_ + g + margin;
    if (c.y - r > hi || c.y + r < lo) {
        return;
    }
    // Cut the arc where the circle meets the band's edges; each part lies
    // wholly within the band or wholly out of it.
    double cut[12];
    std::size_t n = 0;
    cut[n++] = from;
    for (const double y : {lo, hi}) {
        const double k = (y - c.y) / r;
        if (k > -1.0 && k < 1.0) {
            const double s = std::asin(k);
            for (int turn = -1; turn < 3; ++turn) {
                for (const double t : {s, kPi - s}) {
                    const double u = t + static_cast<double>(turn) * kTwoPi;
                    if (u > from && u < to && n < 11) {
                        cut[n++] = u;
                    }
                }
            }
        }
    }
    // A handful: sorted in place.
    for (std::size_t k = 2; k < n; ++k) {
        for (std::size_t j = k; j > 1 && cut[j] < cut[j - 1]; --j) {
            std::swap(cut[j], cut[j - 1]);
        }
    }
    cut[n++] = to;
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const double a = cut[k];
        const double b = cut[k + 1];
        const double y = c.y + r * std::sin((a + b) / 2.0);
        if (!(b > a) || y < lo || y > hi) {
            continue;
        }
        const double xa = c.x + r * std::cos(a);
        const double xb = c.x + r * std::cos(b);
        const double left = runsThrough(a, b, kPi) ? c.x - r : std::min(xa, xb);
        const double right = runsThrough(a, b, 0.0) ? c.x + r : std::max(xa, xb);
        spans.push_back(Span{left - margin, right + margin});
    }
}

} // namespace egm::model
