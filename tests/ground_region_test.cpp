// The ground's striking region over a profile, against the surface itself:
// an arc shown held without the region's boundary lies in the region; the
// points where paths graze it cast exactly the shadows a path's way back up
// meets; the boundary laid only where it is wanted agrees with the whole;
// and a current whose ground is left pending gives a fresh one's strokes.
#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "bits.h"
#include "contact_evaluation.h"
#include "egm/shielding.h"
#include "first_contact.h"
#include "grid.h"
#include "ground_region.h"
#include "ground_shapes.h"

namespace {

using egm::model::GrazingPoint;
using egm::model::GroundRegion;
using egm::model::Point;

constexpr double kPi = 3.141592653589793;

// The surface (elevation and cover) above the profile's base, as straight
// pieces, with the level ground beyond its ends as pieces far longer than
// any distance here.
std::vector<Point> surfaceOf(const egm::GroundProfile& profile)
{
    const std::vector<egm::GroundPoint>& points = profile.points();
    const double base = profile.base();
    std::vector<Point> s;
    s.push_back({points.front().x - 1e7, points.front().elevation + points.front().cover - base});
    for (const egm::GroundPoint& p : points) {
        s.push_back({p.x, p.elevation + p.cover - base});
    }
    s.push_back({points.back().x + 1e7, s.back().y});
    return s;
}

double height(const std::vector<Point>& s, double x)
{
    for (std::size_t k = 0; k + 1 < s.size(); ++k) {
        if (x <= s[k + 1].x) {
            return s[k].y + (x - s[k].x) / (s[k + 1].x - s[k].x) * (s[k + 1].y - s[k].y);
        }
    }
    return s.back().y;
}

double toSegment(Point p, Point a, Point b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// How far p lies from the surface; 0 under it.
double depthOutside(const std::vector<Point>& s, Point p)
{
    if (p.y <= height(s, p.x)) {
        return 0.0;
    }
    double d = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k + 1 < s.size(); ++k) {
        d = std::min(d, toSegment(p, s[k], s[k + 1]));
    }
    return d;
}

// How close the half-line from p along unit u comes to the surface: 0 when
// it crosses it.
double rayDistance(const std::vector<Point>& s, Point p, Point u)
{
    double d = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k + 1 < s.size(); ++k) {
        const Point a = s[k];
        const Point b = s[k + 1];
        const double ex = b.x - a.x;
        const double ey = b.y - a.y;
        const double cross = u.x * ey - u.y * ex;
        if (cross != 0.0) {
            const double t = ((a.x - p.x) * ey - (a.y - p.y) * ex) / cross;
            const double v = ((a.x - p.x) * u.y - (a.y - p.y) * u.x) / cross;
            if (t >= 0.0 && v >= 0.0 && v <= 1.0) {
                return 0.0;
            }
        }
        d = std::min(d, toSegment(p, a, b));
        for (const Point q : {a, b}) {
            const double t = std::max(0.0, (q.x - p.x) * u.x + (q.y - p.y) * u.y);
            d = std::min(d, std::hypot(q.x - p.x - t * u.x, q.y - p.y - t * u.y));
        }
    }
    return d;
}

// Each shared shape at G of 25 and 70 m: its profile, its surface, a region
// over it at that G, and numbers in [0, 1) drawn from the test's own seed.
template <class Body> void overEachGround(unsigned seed, Body&& body)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto draw = [&] { return unit(random); };
    for (const Shape& shape : shapes()) {
        const egm::GroundProfile profile(shape.profile);
        const std::vector<Point> s = surfaceOf(profile);
        GroundRegion region;
        region.setProfile(profile);
        for (const double g : {25.0, 70.0}) {
            SCOPED_TRACE(std::string(shape.name) + ", G " + std::to_string(g));
            region.setStrikeHeight(g);
            body(profile, s, region, g, draw);
        }
    }
}

// Whatever arc is shown held lies in the region, point by point; arcs deep
// under the surface are shown held, and arcs that rise above the region
// are not.
TEST(GroundRegion, AnArcShownHeldLiesInTheRegion)
{
    overEachGround(5, [](const egm::GroundProfile&, const std::vector<Point>& s, const GroundRegion& region,
                         double g, auto&& unit) {
        int held = 0;
        for (int trial = 0; trial < 300; ++trial) {
            const double cx = -150.0 + 300.0 * unit();
            const double r = 5.0 + 120.0 * unit();
            const double cy = height(s, cx) + g * (2.0 * unit() - 1.0) - r * unit();
            const double from = 2.0 * kPi * unit();
            const double to = from + 2.0 * kPi * unit();
            const auto at = [&](double phi) { return Point{cx + r * std::cos(phi), cy + r * std::sin(phi)}; };
            if (!region.surelyHolds({cx, cy}, r, from, to, at(from), at(to), g)) {
                continue;
            }
            ++held;
            for (int k = 0; k <= 2000; ++k) {
                const Point p = at(from + (to - from) * k / 2000.0);
                ASSERT_LE(depthOutside(s, p), g * (1.0 + 1e-12)) << "trial " << trial << " at " << p.x;
            }
        }
        EXPECT_GT(held, 20);
        // A circle wholly under the surface, and one whose top stands
        // above the highest the region reaches.
        const double top =
            std::max_element(s.begin(), s.end(), [](Point a, Point b) { return a.y < b.y; })->y;
        const double deep = height(s, 10.0) - 30.0;
        EXPECT_TRUE(region.surelyHolds({10.0, deep - 20.0}, 15.0, 0.0, 2.0 * kPi, {25.0, deep - 20.0},
                                       {25.0, deep - 20.0}, g));
        EXPECT_FALSE(region.surelyHolds({0.0, top + g}, 5.0, 0.0, kPi, {5.0, top + g}, {-5.0, top + g}, g));
    });
}

// A point outside the region is in its shadow, for a stroke of angle
// theta, when its way back up (along (cos theta, sin theta)) comes within
// G of the surface; the grazing points say so when the point lies below
// the path through one of them and downwind of it. Angles of the grid and
// copies of them (looked up afresh) give the same points.
TEST(GroundRegion, GrazingPointsCastTheRegionsShadows)
{
    const egm::model::StrokeAngle* grid = egm::model::gridAngles();
    overEachGround(8, [&](const egm::GroundProfile&, const std::vector<Point>& s, const GroundRegion& region,
                          double g, auto&& unit) {
        for (const int l : {0, 3, 11, 30, 60, 89, 100, 140, 168, 176, 179}) {
            SCOPED_TRACE(std::to_string(l + 1) + " degrees");
            const egm::model::StrokeAngle& angle = grid[l];
            const auto all = [&](const egm::model::StrokeAngle& a) {
                const egm::model::GrazingPoints view = region.grazingPoints(a);
                std::vector<GrazingPoint> points;
                for (std::size_t k = 0; k < view.size(); ++k) {
                    points.push_back(view[k]);
                }
                return points;
            };
            const std::vector<GrazingPoint> points = all(angle);
            const egm::model::StrokeAngle copy = angle;
            const std::vector<GrazingPoint> again = all(copy);
            ASSERT_EQ(points.size(), again.size());
            for (std::size_t k = 0; k < points.size(); ++k) {
                EXPECT_SAME_BITS(points[k].x, again[k].x);
                EXPECT_SAME_BITS(points[k].offset, again[k].offset);
            }
            const Point up{angle.cosTheta, angle.sinTheta};
            int shaded = 0;
            int tried = 0;
            for (int trial = 0; trial < 400; ++trial) {
                const double x = -200.0 + 400.0 * unit();
                const Point p{x, height(s, x) + (g + 80.0) * unit()};
                const double outside = depthOutside(s, p);
                const double way = rayDistance(s, p, up);
                if (outside <= g + 1e-6 || std::fabs(way - g) < 1e-6) {
                    continue;
                }
                const double offset = p.x * angle.sinTheta - p.y * angle.cosTheta;
                const bool inShadow = std::any_of(points.begin(), points.end(), [&](const GrazingPoint& q) {
                    return angle.cosTheta > 0.0 ? offset >= q.offset && p.x <= q.x
                                                : offset <= q.offset && p.x >= q.x;
                });
                ++tried;
                shaded += way < g;
                EXPECT_EQ(inShadow, way < g) << "at (" << p.x << ", " << p.y << ")";
            }
            EXPECT_GT(tried, 100);
            if (l == 89) {
                EXPECT_EQ(shaded, 0) << "no shadow under a vertical stroke";
            }
        }
    });
}

// The region holds just the points within G of the surface or under it:
// random points, and points about G above the surface's lowest and highest
// points, where the region's quick answers are given.
TEST(GroundRegion, HoldsWhatLiesWithinGOfTheSurface)
{
    overEachGround(13, [](const egm::GroundProfile& profile, const std::vector<Point>& s,
                          const GroundRegion& region, double g, auto&& unit) {
        const std::vector<egm::GroundPoint>& points = profile.points();
        const auto lowest = std::min_element(points.begin(), points.end(), [](const auto& a, const auto& b) {
            return a.elevation + a.cover < b.elevation + b.cover;
        });
        const auto highest = std::max_element(points.begin(), points.end(), [](const auto& a, const auto& b) {
            return a.elevation + a.cover < b.elevation + b.cover;
        });
        std::vector<Point> tried;
        for (const auto& at : {*lowest, *highest}) {
            const double x = std::clamp(at.x, -400.0, 400.0);
            for (int k = 0; k < 300; ++k) {
                const double px = x + 60.0 * (unit() - 0.5);
                tried.push_back({px, height(s, x) + g + 4.0 * (unit() - 0.5)});
            }
        }
        for (int k = 0; k < 600; ++k) {
            const double px = -300.0 + 600.0 * unit();
            tried.push_back({px, height(s, px) + (g + 30.0) * (2.0 * unit() - 0.5)});
        }
        for (const Point& p : tried) {
            const double d = depthOutside(s, p);
            if (std::fabs(d - g) > 1e-9 * (1.0 + g)) {
                EXPECT_EQ(region.contains(p), d < g) << "at (" << p.x << ", " << p.y << ")";
            }
        }
    });
}

// Laid only under some arcs' parts near the ground, the boundary says of
// every point of those arcs what the boundary laid everywhere says, and a
// circle meets it at the same angles there.
TEST(GroundRegion, TheBoundaryLaidWhereWantedAgreesWithTheWhole)
{
    overEachGround(3, [](const egm::GroundProfile& profile, const std::vector<Point>& s,
                         const GroundRegion& whole, double g, auto&& unit) {
        for (int trial = 0; trial < 40; ++trial) {
            const double cx = -120.0 + 240.0 * unit();
            const double r = 10.0 + 100.0 * unit();
            const double cy = height(s, cx) + g + 40.0 * (unit() - 0.5);
            const double from = 2.0 * kPi * unit();
            const double to = from + 2.0 * kPi * (0.2 + 0.8 * unit());
            std::vector<GroundRegion::Span> spans;
            whole.spansNear({cx, cy}, r, from, to, g, spans);
            GroundRegion part;
            part.setProfile(profile);
            part.setStrikeHeight(g, spans);
            for (int k = 0; k <= 500; ++k) {
                const double phi = from + (to - from) * k / 500.0;
                const Point p{cx + r * std::cos(phi), cy + r * std::sin(phi)};
                ASSERT_EQ(part.contains(p), whole.contains(p)) << "trial " << trial << " at " << p.x;
            }
            std::vector<double> all;
            std::vector<double> some;
            whole.crossings({cx, cy}, r, all);
            part.crossings({cx, cy}, r, some);
            const auto onArc = [&](double a) {
                for (int turn = -1; turn < 3; ++turn) {
                    const double t = a + 2.0 * kPi * turn;
                    if (t > from + 1e-6 && t < to - 1e-6) {
                        return true;
                    }
                }
                return false;
            };
            // Where two pieces meet, both may give the crossing.
            const auto distinct = [&](std::vector<double>& angles) {
                std::erase_if(angles, [&](double a) { return !onArc(a); });
                angles.erase(std::unique(angles.begin(), angles.end(),
                                         [](double a, double b) { return b - a < 1e-12; }),
                             angles.end());
            };
            distinct(all);
            distinct(some);
            ASSERT_EQ(all.size(), some.size()) << "trial " << trial;
            for (std::size_t k = 0; k < all.size(); ++k) {
                EXPECT_NEAR(all[k], some[k], 1e-12);
            }
        }
    });
}

// A current that reaches no conductor leaves its ground pending; asked for
// strokes or wires all the same, it answers as a step prepared in full
// does, to the bit.
TEST(GroundRegion, APendingCurrentGivesAFreshOnesStrokes)
{
    const egm::model::StrokeAngle* grid = egm::model::gridAngles();
    int pendingAll = 0;
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.name);
        egm::Inputs in;
        in.ground = egm::GroundProfile(shape.profile);
        egm::model::ContactEvaluator ev(in);
        int pending = 0;
        for (int j = 0; j <= 200; j += 4) {
            const double current = 23.5 + j;
            ev.prepare(current);
            egm::model::ContactCurrentStep fresh;
            egm::model::prepareTowerCurrent(in, current, fresh);
            pending += !ev.anyReached();
            for (std::size_t i = 0; i < in.tower.size(); ++i) {
                EXPECT_EQ(ev.reached(i), egm::model::hasBoundaryArc(fresh, i))
                    << current << " kA, wire " << i;
            }
            for (const int l : {0, 20, 89, 150, 179}) {
                std::vector<double> w(in.tower.size());
                std::vector<double> expected(in.tower.size());
                const double total = ev.widths(grid[l], w.data(), true);
                const double freshTotal = egm::model::evaluateContactStroke(fresh, grid[l], expected.data());
                EXPECT_SAME_BITS(freshTotal, total) << current << " kA";
                for (std::size_t i = 0; i < w.size(); ++i) {
                    EXPECT_SAME_BITS(expected[i], w[i]) << current << " kA, wire " << i;
                }
            }
        }
        pendingAll += pending;
    }
    EXPECT_GT(pendingAll, 10);
}

// A step prepared for one tower and then for another one well away from it
// over the same profile at the same current (so the same G) cuts the second tower's arcs by the
// region where they run, as a fresh step does.
TEST(GroundRegion, AStepPreparedAgainForAnotherTowerIsFresh)
{
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.name);
        egm::Inputs first;
        first.ground = egm::GroundProfile(shape.profile);
        egm::Inputs second = first;
        // Well away to one side, and higher, clear of every shape's ground.
        for (egm::TowerWire& w : second.tower.wires) {
            w.x += 120.0;
            w.height += 80.0;
        }
        for (const double current : {15.0, 45.0}) {
            egm::model::ContactCurrentStep reused;
            egm::model::prepareTowerCurrent(first, current, reused);
            egm::model::prepareTowerCurrent(second, current, reused);
            egm::model::ContactCurrentStep fresh;
            egm::model::prepareTowerCurrent(second, current, fresh);
            ASSERT_EQ(reused.boundary.size(), fresh.boundary.size()) << current << " kA";
            for (std::size_t i = 0; i < fresh.boundary.size(); ++i) {
                EXPECT_EQ(reused.boundary[i].wire, fresh.boundary[i].wire);
                EXPECT_SAME_BITS(fresh.boundary[i].from, reused.boundary[i].from);
                EXPECT_SAME_BITS(fresh.boundary[i].to, reused.boundary[i].to);
            }
        }
    }
}

} // namespace
