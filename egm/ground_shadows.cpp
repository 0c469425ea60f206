// The ground's shadows: the points where paths parallel to a stroke graze
// the striking region, on the arcs about the surface's crests, and of them
// those no other shades.
#include <algorithm>
#include <cmath>
#include <functional>

#include "egm/types.h"
#include "egm_constants.h"
#include "ground_region.h"

namespace egm::model {

namespace {

// The direction of the normal of the boundary's arcs square to a path of
// the stroke, on the side the stroke comes from: theta + pi/2 for a stroke
// coming from +x (cos theta > 0), theta - pi/2 from -x; none (false) for a
// vertical one.
bool grazingDirection(const StrokeAngle& angle, double& direction)
{
    if (angle.cosTheta > 0.0) {
        direction = angle.theta + kHalfPi;
        return true;
    }
    if (angle.cosTheta < 0.0) {
        direction = angle.theta - kHalfPi;
        return true;
    }
    return false;
}

// Directions this close count as the same: the arcs' ends are shared with
// their neighbours, so a path grazing there is kept on both.
constexpr double kSameDirection = 1e-12;

} // namespace

void GroundRegion::findCrests()
{
    crest_.clear();
    const std::size_t n = surface_.size();
    const auto direction = [](Point normal) { return std::atan2(normal.y, normal.x); };
    for (std::size_t i = 0; i < n; ++i) {
        // Only where the surface turns down has the boundary an arc.
        if (!turnsDown_[i]) {
            continue;
        }
        // Beyond an end the ground is level: its normal points straight up.
        const double before = i == 0 ? kHalfPi : direction(normal_[i - 1]);
        const double after = i + 1 == n ? kHalfPi : direction(normal_[i]);
        crest_.push_back(Crest{static_cast<std::uint32_t>(i), std::min(before, after) - kSameDirection,
                               std::max(before, after) + kSameDirection});
    }
    const StrokeAngle* grid = gridAngles();
    gridStart_.assign(1, 0);
    gridCrest_.clear();
    for (int l = 0; l < kAngleSteps; ++l) {
        unshadedCrests(grid[l], gridCrest_);
        gridStart_.push_back(static_cast<std::uint32_t>(gridCrest_.size()));
    }
}

void GroundRegion::unshadedCrests(const StrokeAngle& angle, std::vector<Grazed>& grazed) const
{
    double psi = 0.0;
    if (!grazingDirection(angle, psi)) {
        return;
    }
    const std::size_t first = grazed.size();
    for (const Crest& c : crest_) {
        if (c.lo <= psi && psi <= c.hi) {
            const Point& v = surface_[c.point];
            grazed.push_back(Grazed{c.point, v.x * angle.sinTheta - v.y * angle.cosTheta});
        }
    }
    // A point below the path through another and downwind of it lies in
    // that one's shadow, and so does all it shades: walking from where the
    // stroke comes from, only a point below every one before it is kept.
    // From +x, below is the larger offset. G moves every grazing point
    // alike, so which are kept does not depend on it.
    const bool fromRight = angle.cosTheta > 0.0;
    const auto begin = grazed.begin() + static_cast<std::ptrdiff_t>(first);
    if (fromRight) {
        std::reverse(begin, grazed.end());
    }
    std::size_t kept = first;
    for (std::size_t k = first; k < grazed.size(); ++k) {
        if (kept == first || (fromRight ? grazed[k].offset < grazed[kept - 1].offset
                                        : grazed[k].offset > grazed[kept - 1].offset)) {
            grazed[kept++] = grazed[k];
        }
    }
    grazed.resize(kept);
}

GrazingPoints GroundRegion::grazingPoints(const StrokeAngle& angle) const
{
    GrazingPoints points;
    // The grid's own angles have their crests listed; any other is looked
    // up.
    static thread_local std::vector<Grazed> lookedUp;
    const StrokeAngle* grid = gridAngles();
    const std::less<const StrokeAngle*> before;
    if (!before(&angle, grid) && before(&angle, grid + kAngleSteps)) {
        const auto l = static_cast<std::size_t>(&angle - grid);
        points.first_ = gridCrest_.data() + gridStart_[l];
        points.count_ = gridStart_[l + 1] - gridStart_[l];
    } else {
        lookedUp.clear();
        unshadedCrests(angle, lookedUp);
        points.first_ = lookedUp.data();
        points.count_ = lookedUp.size();
    }
    // The arc about crest point v grazed at v + G u, u the unit normal at
    // psi: u = (-sin theta, cos theta) from +x, (sin theta, -cos theta)
    // from -x, which moves the offset by -G or +G.
    const double side = angle.cosTheta > 0.0 ? -1.0 : 1.0;
    points.surface_ = surface_.data();
    points.shiftX_ = side * g_ * angle.sinTheta;
    points.shiftOffset_ = side * g_;
    return points;
}

} // namespace egm::model
