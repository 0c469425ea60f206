#include "egm/ground_profile.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "egm/input_table.h"

namespace egm {

GroundProfile::GroundProfile(std::vector<GroundPoint> points)
    : points_(std::make_shared<const std::vector<GroundPoint>>(std::move(points)))
{
    const std::vector<GroundPoint>& p = *points_;
    level_ = std::all_of(p.begin(), p.end(), [&](const GroundPoint& q) {
        return q.elevation + q.cover == p.front().elevation + p.front().cover;
    });
}

const std::vector<GroundPoint>& GroundProfile::points() const
{
    static const std::vector<GroundPoint> none;
    return points_ ? *points_ : none;
}

bool GroundProfile::operator==(const GroundProfile& other) const
{
    return points_ == other.points_ || points() == other.points();
}

std::optional<GroundProfile::Fault> GroundProfile::fault(const std::vector<GroundPoint>& points)
{
    if (points.size() < 2) {
        return Fault{0, "a ground profile needs at least two points"};
    }
    if (points.size() > kMaxProfilePoints) {
        return Fault{0, std::to_string(points.size()) + " points: a ground profile takes at most " +
                            std::to_string(kMaxProfilePoints)};
    }
    for (std::size_t k = 0; k < points.size(); ++k) {
        const GroundPoint& p = points[k];
        const auto at = [&](std::string reason) { return Fault{k + 1, std::move(reason)}; };
        const auto bad = [](double v) { return !std::isfinite(v) || std::fabs(v) > kMaxProfileValue; };
        if (bad(p.x)) {
            return at("x " + shortestText(p.x) + " m: must be a finite number of at most 1e6 m either way");
        }
        if (bad(p.elevation)) {
            return at("elevation " + shortestText(p.elevation) +
                      " m: must be a finite number of at most 1e6 m either way");
        }
        if (bad(p.cover) || p.cover < 0.0) {
            return at("cover " + shortestText(p.cover) + " m: must be a finite number, 0 or more");
        }
        if (k > 0 && p.x <= points[k - 1].x) {
            return at("x " + shortestText(p.x) + " m: x must increase strictly from one point to the next");
        }
    }
    if (points.front().x > 0.0 || points.back().x < 0.0) {
        return Fault{0, "the profile runs from x " + shortestText(points.front().x) + " to " +
                            shortestText(points.back().x) + " m: it must reach the tower at x = 0"};
    }
    return std::nullopt;
}

namespace {

// The point of the surface at x, given what each point stands at.
template <class Height> double along(const std::vector<GroundPoint>& points, double x, Height height)
{
    if (x <= points.front().x) {
        return height(points.front());
    }
    if (x >= points.back().x) {
        return height(points.back());
    }
    const auto it = std::upper_bound(points.begin(), points.end(), x,
                                     [](double v, const GroundPoint& p) { return v < p.x; });
    const GroundPoint& b = *it;
    const GroundPoint& a = *(it - 1);
    const double t = (x - a.x) / (b.x - a.x);
    return height(a) + t * (height(b) - height(a));
}

} // namespace

double GroundProfile::elevationAt(double x) const
{
    return along(points(), x, [](const GroundPoint& p) { return p.elevation; });
}

double GroundProfile::surfaceAt(double x) const
{
    return along(points(), x, [](const GroundPoint& p) { return p.elevation + p.cover; });
}

double GroundProfile::meanSteepness(double from, double to) const
{
    // The surface rises or falls by |dz| over each straight piece within
    // [from, to]; beyond the ends it is level.
    double rise = 0.0;
    double x = from;
    double z = surfaceAt(from);
    for (const GroundPoint& p : points()) {
        if (p.x <= from) {
            continue;
        }
        const double next = std::min(p.x, to);
        const double zNext = surfaceAt(next);
        rise += std::fabs(zNext - z);
        x = next;
        z = zNext;
        if (x >= to) {
            break;
        }
    }
    if (x < to) {
        rise += std::fabs(surfaceAt(to) - z);
    }
    return rise / (to - from);
}

} // namespace egm
