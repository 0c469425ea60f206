// The first contact over a ground profile: independent figures, and the
// properties that tie a profile to the plane.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bits.h"
#include "egm/shielding.h"
#include "ground_shapes.h"

namespace {

egm::Options cheap()
{
    egm::Options o;
    o.classicalMaxCurrents = false;
    return o;
}

egm::Inputs over(std::vector<egm::GroundPoint> points, egm::Inputs in = {})
{
    in.ground = egm::GroundProfile(std::move(points));
    return in;
}

struct Reference {
    const char* name;
    std::vector<egm::GroundPoint> profile;
    double conductor1;
    double conductor2;
    double total;
};

// The built-in line (2.8, 23.5 kA, built-in law and distribution, share
// method), from a brute-force implementation of its own: breakpoints at
// every disk tangent, corner and crossing, each interval decided at its
// middle.
TEST(GroundProfile, AgainstAnIndependentBruteForce)
{
    const double fall25 = -279.78459489299917;
    const double rise30 = 346.41016151377545;
    const std::vector<Reference> cases = {
        {"ridge, 25 degrees both ways",
         {{-600.0, fall25}, {0.0, 0.0}, {600.0, fall25}},
         1.21295304396325,
         0.35249678037467713,
         1.5654498243379273},
        {"hillside, 30 degrees falling towards +x",
         {{-600.0, rise30}, {600.0, -rise30}},
         1.2930605724710151,
         0.0,
         1.2930605724710151},
        {"level",
         {{-600.0, 0.0}, {600.0, 0.0}},
         0.24193729261218427,
         0.24300561714751143 - 0.24193729261218427,
         0.24300561714751143},
    };
    for (const Reference& c : cases) {
        SCOPED_TRACE(c.name);
        const egm::Result r = egm::computeRates(over(c.profile), cheap());
        EXPECT_NEAR(r.conductors[0].rate, c.conductor1, 1e-9 * c.total);
        EXPECT_NEAR(r.conductors[1].rate, c.conductor2, 1e-9 * c.total);
        EXPECT_NEAR(r.totalRate, c.total, 1e-9 * c.total);
    }
}

egm::Inputs mirrored(egm::Inputs in)
{
    for (egm::TowerWire& w : in.tower.wires) {
        w.x = -w.x;
    }
    std::vector<egm::GroundPoint> points = in.ground.points();
    std::reverse(points.begin(), points.end());
    for (egm::GroundPoint& p : points) {
        p.x = -p.x;
    }
    in.ground = egm::GroundProfile(points);
    return in;
}

// Mirror image (x -> -x, voltage terms kept with their wires), a moved
// datum and a wood far beyond every striking distance change no figure of
// any wire; both rate methods.
TEST(GroundProfile, MirrorDatumAndFarForestChangeNothing)
{
    for (const Shape& shape : shapes()) {
        for (const egm::RateMethod method : {egm::RateMethod::share, egm::RateMethod::exposure}) {
            SCOPED_TRACE(std::string(shape.name) +
                         (method == egm::RateMethod::share ? ", share" : ", exposure"));
            egm::Inputs in = over(shape.profile);
            in.rateMethod = method;
            const egm::Result r = egm::computeRates(in, cheap());
            const double scale = std::max(r.totalRate, 1e-3);

            std::vector<egm::GroundPoint> raised = shape.profile;
            for (egm::GroundPoint& p : raised) {
                p.elevation += 1234.5;
            }
            egm::Inputs datum = in;
            datum.ground = egm::GroundProfile(raised);

            std::vector<egm::GroundPoint> wooded = shape.profile;
            const egm::GroundPoint last = wooded.back();
            wooded.push_back({60000.0, last.elevation, 0.0});
            wooded.push_back({60001.0, last.elevation, 25.0});
            wooded.push_back({61000.0, last.elevation, 25.0});
            egm::Inputs far = in;
            far.ground = egm::GroundProfile(wooded);

            for (const egm::Inputs& other : {mirrored(in), datum, far}) {
                const egm::Result o = egm::computeRates(other, cheap());
                ASSERT_EQ(o.conductors.size(), r.conductors.size());
                for (std::size_t k = 0; k < r.conductors.size(); ++k) {
                    EXPECT_EQ(o.conductors[k].name, r.conductors[k].name);
                    EXPECT_NEAR(o.conductors[k].rate, r.conductors[k].rate, 1e-12 * scale);
                }
                EXPECT_NEAR(o.totalRate, r.totalRate, 1e-12 * scale);
            }
        }
    }
}

// A level profile is the plane, whatever its datum; a uniform cover of c is
// the plane with the ground's striking line c higher, which a profile with
// the cover ending far away must agree with.
TEST(GroundProfile, LevelProfilesAreThePlane)
{
    const egm::Result flat = egm::computeRates(egm::Inputs{}, cheap());
    for (const double datum : {0.0, -250.0, 1800.0}) {
        const egm::Result r =
            egm::computeRates(over({{-10.0, datum}, {0.0, datum}, {5000.0, datum}}), cheap());
        EXPECT_NEAR(r.totalRate, flat.totalRate, 1e-12 * flat.totalRate);
        EXPECT_NEAR(r.conductors[0].rate, flat.conductors[0].rate, 1e-12 * flat.totalRate);
    }
}

// Strokes at the true angle theta over ground falling by alpha towards +x
// are the strokes at theta + alpha in the frame of a plane sloped by alpha:
// turning the picture by alpha lays the ground level and the wires where
// the sloped frame puts them. A segment 2 x 10^5 m long stands for the
// plane.
TEST(GroundProfile, AStraightSlopeIsTheTurnedFrame)
{
    for (const double alpha : {10.0, -20.0, 30.0}) {
        const double a = alpha / 180.0 * 3.141592653589793;
        const double fall = 1.0e5 * std::tan(a);
        const egm::Inputs profile = over({{-1.0e5, fall}, {1.0e5, -fall}});
        egm::Inputs sloped;
        sloped.slope = alpha;
        for (const double current : {5.0, 23.5, 60.0, 150.0}) {
            for (const double degrees : {35.0, 60.0, 90.0, 112.0, 140.0}) {
                const double theta = degrees / 180.0 * 3.141592653589793;
                if (!(theta + a > 0.0 && theta + a < 3.141592653589793)) {
                    continue;
                }
                SCOPED_TRACE("alpha " + std::to_string(alpha) + ", " + std::to_string(current) + " kA, " +
                             std::to_string(degrees) + " degrees");
                const egm::StrokeGeometry p = egm::strokeGeometry(profile, current, theta);
                const egm::StrokeGeometry t = egm::strokeGeometry(sloped, current, theta + a);
                ASSERT_EQ(p.width.size(), t.width.size());
                for (std::size_t i = 0; i < p.width.size(); ++i) {
                    EXPECT_NEAR(p.width[i], t.width[i], 1e-7 * (1.0 + t.width[i]));
                }
            }
        }
    }
}

// A brute force of the test's own: paths 1 cm apart, each followed to its
// first contact with a striking disk or with the points within G of the
// surface (each piece of the surface a strip and a disk at each point, the
// level ground beyond the ends a strip), all met in closed form.
double entry(double px, double py, double dx, double dy, double cx, double cy, double r)
{
    // The path p + t d (|d| = 1) entering the disk about c.
    const double fx = px - cx;
    const double fy = py - cy;
    const double b = fx * dx + fy * dy;
    const double c = fx * fx + fy * fy - r * r;
    const double disc = b * b - c;
    if (disc < 0.0) {
        return std::numeric_limits<double>::infinity();
    }
    const double t = -b - std::sqrt(disc);
    return t >= 0.0 ? t : (c <= 0.0 ? 0.0 : std::numeric_limits<double>::infinity());
}

double stripEntry(double px, double py, double dx, double dy, double ax, double ay, double bx, double by,
                  double g)
{
    // Clip the path against the slab of the segment and the band of
    // half-width g about its line.
    const double length = std::hypot(bx - ax, by - ay);
    const double ux = (bx - ax) / length;
    const double uy = (by - ay) / length;
    double lo = 0.0;
    double hi = std::numeric_limits<double>::infinity();
    const auto clip = [&](double origin, double rate, double from, double to) {
        if (rate == 0.0) {
            if (origin < from || origin > to) {
                hi = -1.0;
            }
            return;
        }
        double t0 = (from - origin) / rate;
        double t1 = (to - origin) / rate;
        if (t0 > t1) {
            std::swap(t0, t1);
        }
        lo = std::max(lo, t0);
        hi = std::min(hi, t1);
    };
    clip((px - ax) * ux + (py - ay) * uy, dx * ux + dy * uy, 0.0, length);
    clip(-(px - ax) * uy + (py - ay) * ux, -dx * uy + dy * ux, -g, g);
    return lo <= hi ? lo : std::numeric_limits<double>::infinity();
}

// Each wire's width for the stroke against the brute force, and the
// picture's boundary of the striking region G from the surface.
void checkAgainstPaths(const egm::Inputs& in, double current, double degrees)
{
    const double base = in.ground.base();
    const double theta = degrees / 180.0 * 3.141592653589793;
    const egm::StrokeGeometry geometry = egm::strokeGeometry(in, current, theta);
    // Paths come from (cos, sin) theta, travelling the other way.
    const double dx = -std::cos(theta);
    const double dy = -std::sin(theta);
    const double nx = std::sin(theta);
    const double ny = -std::cos(theta);
    std::vector<double> caught(geometry.circle.size(), 0.0);
    const double step = 0.01;
    // Only paths across the circles can meet a wire.
    double from = std::numeric_limits<double>::infinity();
    double to = -from;
    for (const auto& c : geometry.circle) {
        from = std::min(from, c.x * nx + c.y * ny - c.r);
        to = std::max(to, c.x * nx + c.y * ny + c.r);
    }
    for (double s = std::floor(from) - 1.0; s < to + 1.0; s += step) {
        const double px = s * nx - 5000.0 * dx;
        const double py = s * ny - 5000.0 * dy;
        double best = std::numeric_limits<double>::infinity();
        std::optional<std::size_t> by;
        for (std::size_t i = 0; i < geometry.circle.size(); ++i) {
            const auto& c = geometry.circle[i];
            const double t = entry(px, py, dx, dy, c.x, c.y, c.r);
            if (t < best) {
                best = t;
                by = i;
            }
        }
        const double g = geometry.groundStrikeHeight;
        const std::vector<egm::GroundPoint>& points = in.ground.points();
        const double far = 1.0e7;
        std::vector<std::pair<double, double>> surface = {
            {-far, points.front().elevation + points.front().cover - base}};
        for (const egm::GroundPoint& p : points) {
            surface.emplace_back(p.x, p.elevation + p.cover - base);
        }
        surface.emplace_back(far, points.back().elevation + points.back().cover - base);
        for (std::size_t k = 0; k + 1 < surface.size(); ++k) {
            const double t = stripEntry(px, py, dx, dy, surface[k].first, surface[k].second,
                                        surface[k + 1].first, surface[k + 1].second, g);
            if (t <= best) {
                best = t;
                by.reset();
            }
            const double v = entry(px, py, dx, dy, surface[k].first, surface[k].second, g);
            if (v <= best) {
                best = v;
                by.reset();
            }
        }
        if (by) {
            caught[*by] += step;
        }
    }
    for (std::size_t i = 0; i < caught.size(); ++i) {
        EXPECT_NEAR(geometry.width[i], caught[i], 0.05 + 1e-3 * caught[i]);
    }
    // The picture's boundary of the striking region lies G from
    // the surface.
    ASSERT_FALSE(geometry.groundBoundary.empty());
    const std::vector<egm::GroundPoint>& points = in.ground.points();
    for (const auto& q : geometry.groundBoundary) {
        double nearest = std::numeric_limits<double>::infinity();
        for (std::size_t k = 0; k + 1 < points.size(); ++k) {
            const double ax = points[k].x, ay = points[k].elevation + points[k].cover - base;
            const double bx = points[k + 1].x, by = points[k + 1].elevation + points[k + 1].cover - base;
            const double t = std::clamp(((q.x - ax) * (bx - ax) + (q.y - ay) * (by - ay)) /
                                            ((bx - ax) * (bx - ax) + (by - ay) * (by - ay)),
                                        0.0, 1.0);
            nearest = std::min(nearest, std::hypot(q.x - ax - t * (bx - ax), q.y - ay - t * (by - ay)));
        }
        if (q.x > points.front().x && q.x < points.back().x) {
            EXPECT_NEAR(geometry.groundStrikeHeight, nearest, 1e-6) << "at x " << q.x;
        }
    }
}

TEST(GroundProfile, WidthsAgreeWithABruteForceOfPaths)
{
    for (const Shape& shape : shapes()) {
        const egm::Inputs in = over(shape.profile);
        for (const double current : {8.0, 40.0}) {
            for (const double degrees : {8.0, 30.0, 75.0, 90.0, 130.0, 168.0}) {
                SCOPED_TRACE(std::string(shape.name) + ", " + std::to_string(current) + " kA, " +
                             std::to_string(degrees) + " degrees");
                checkAgainstPaths(in, current, degrees);
            }
        }
    }
}

// Random profiles: 10 to 40 points at random spacing, slopes up to about
// 60 degrees, cover on some stretches, under a random tower of the four
// wires and another line's wire.
TEST(GroundProfile, RandomProfilesAgreeWithABruteForceOfPaths)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 6; ++trial) {
        std::vector<egm::GroundPoint> points;
        double x = -250.0 - 150.0 * unit(random);
        double z = 0.0;
        const int n = 10 + static_cast<int>(30.0 * unit(random));
        const double spacing = 700.0 / n;
        for (int k = 0; k < n || x < 250.0; ++k) {
            const double cover = unit(random) < 0.25 ? 25.0 * unit(random) : 0.0;
            points.push_back({x, z, cover});
            const double dx = spacing * (0.3 + 1.4 * unit(random));
            x += dx;
            z += dx * 1.7 * (unit(random) - 0.5);
        }
        egm::Inputs in = over(points);
        const double ground = in.ground.surfaceAt(0.0) - in.ground.base();
        const double lift = std::max(0.0, std::max(in.ground.surfaceAt(-12.0), in.ground.surfaceAt(12.0)) -
                                              in.ground.base() - ground);
        in.tower = egm::towerOf(egm::Line{{9.0 * unit(random) + 2.0, 60.0 + lift + ground},
                                          {-9.0 * unit(random) - 2.0, 58.0 + lift + ground},
                                          {11.0, 44.0 + lift + ground},
                                          {-11.0, 42.0 + lift + ground}},
                                0.0);
        const double ox = 40.0 + 20.0 * unit(random);
        in.tower.wires.push_back(egm::TowerWire{egm::WireKind::otherWire, ox,
                                                in.ground.surfaceAt(ox) - in.ground.base() + 30.0, 0.0,
                                                "neighbour"});
        for (const double current : {10.0, 60.0, 150.0}) {
            for (const double degrees : {4.0, 20.0, 90.0, 150.0, 176.0}) {
                SCOPED_TRACE("trial " + std::to_string(trial) + ", " + std::to_string(current) + " kA, " +
                             std::to_string(degrees) + " degrees");
                checkAgainstPaths(in, current, degrees);
            }
        }
    }
}

// Another line's wire catches strokes but is not rated and not in the
// share's denominator: standing beside the line it only ever takes strokes
// from the line's wires (no width grows), so the exposure rates never rise.
TEST(GroundProfile, AnotherLinesWireCatchesButIsNotRated)
{
    using egm::TowerWire;
    using egm::WireKind;
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.name);
        egm::Inputs in = over(shape.profile);
        in.rateMethod = egm::RateMethod::exposure;
        const egm::Result r = egm::computeRates(in, cheap());
        const auto above = [&](double x, double h) { return in.ground.surfaceAt(x) - in.ground.base() + h; };
        egm::Inputs near = in;
        near.tower.wires.push_back(TowerWire{WireKind::otherWire, 30.0, above(30.0, 35.0), 0.0, "catenary"});
        const egm::Result n = egm::computeRates(near, cheap());
        ASSERT_EQ(n.conductors.size(), r.conductors.size());
        for (std::size_t k = 0; k < r.conductors.size(); ++k) {
            EXPECT_LE(n.conductors[k].rate, r.conductors[k].rate * (1.0 + 1e-12) + 1e-15);
        }
        for (const double current : {10.0, 30.0, 80.0}) {
            const std::vector<std::vector<double>> with = egm::strokesAtCurrent(near, current);
            const std::vector<std::vector<double>> without = egm::strokesAtCurrent(in, current);
            ASSERT_EQ(with.size(), without.size());
            double taken = 0.0;
            for (std::size_t l = 0; l < with.size(); ++l) {
                ASSERT_EQ(with[l].size(), in.tower.size() + 1);
                for (std::size_t i = 0; i < in.tower.size(); ++i) {
                    EXPECT_LE(with[l][i], without[l][i] + 1e-9);
                }
                taken += with[l].back();
            }
            if (current == 30.0) {
                EXPECT_GT(taken, 0.0);
            }
        }
    }
}

// Fed back: each conductor still has a width 0.01 kA below its maximum
// current over a profile, and none 0.02 kA above it (each evaluated
// afresh), whichever order the searches met the currents in; the classical
// maximum current likewise for vertical strokes.
TEST(GroundProfile, MaximumCurrentsFedBackMeetTheirDefinition)
{
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.name);
        const egm::Inputs in = over(shape.profile);
        const egm::Result r = egm::computeRates(in);
        const std::vector<std::size_t> conductors = in.tower.conductors();
        for (std::size_t k = 0; k < conductors.size(); ++k) {
            const egm::MaxCurrent& m = r.conductors[k].maxCurrent;
            if (!m.current || m.exposedAtTop) {
                continue;
            }
            // The figure is rounded to 0.01 kA.
            EXPECT_TRUE(egm::conductorExposed(in, *m.current - 0.01, conductors[k])) << *m.current;
            EXPECT_FALSE(egm::conductorExposed(in, *m.current + 0.02, conductors[k])) << *m.current;
        }
        // The classical one, for vertical strokes, searched from the top down.
        for (std::size_t k = 0; k < conductors.size(); ++k) {
            const egm::MaxCurrent& m = r.conductors[k].classicalMaxCurrent;
            if (!m.current || m.exposedAtTop) {
                continue;
            }
            const double vertical = 3.141592653589793 / 2.0;
            EXPECT_GT(egm::strokeGeometry(in, *m.current - 0.01, vertical).width[conductors[k]], 0.0)
                << *m.current;
            EXPECT_EQ(egm::strokeGeometry(in, *m.current + 0.02, vertical).width[conductors[k]], 0.0)
                << *m.current;
        }
    }
}

// A tower that is its own mirror image over a profile that is not: no
// stroke may be read off its mirror stroke. Moved 1 um out of symmetry
// (so that every stroke is evaluated) it keeps its figures.
TEST(GroundProfile, ASymmetricTowerOverAnUnevenProfile)
{
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.name);
        egm::Inputs in = over(shape.profile);
        in.tower = egm::towerOf(egm::Line{}, 0.0);
        egm::Inputs moved = in;
        moved.tower.wires[0].x += 1e-6;
        const egm::Result a = egm::computeRates(in, cheap());
        const egm::Result b = egm::computeRates(moved, cheap());
        for (std::size_t k = 0; k < a.conductors.size(); ++k) {
            EXPECT_NEAR(a.conductors[k].rate, b.conductors[k].rate, 1e-5 * std::max(a.totalRate, 1e-3));
        }
    }
}

// The share's denominator is the line's own wires: per current, each
// conductor's angle sum is the weighted sum over the strokes of its width
// over the width the line's own wires catch, another line's wire beside
// them or not.
TEST(GroundProfile, TheSharesDenominatorIsTheLinesOwnWires)
{
    using egm::TowerWire;
    using egm::WireKind;
    egm::Inputs in = over(shapes()[0].profile);
    in.tower.wires.push_back(TowerWire{WireKind::otherWire, 28.0, 45.0, 0.0, "neighbour"});
    egm::Options o = cheap();
    o.strokeTable = true;
    o.angleSums = true;
    const egm::Result r = egm::computeRates(in, o);
    ASSERT_TRUE(r.strokes && r.angleSums);
    const std::vector<std::size_t> conductors = in.tower.conductors();
    double taken = 0.0;
    for (std::size_t j = 0; j < r.strokes->currentCount(); j += 20) {
        std::vector<double> sums(conductors.size(), 0.0);
        for (int l = 0; l < egm::kAngleSteps; ++l) {
            const std::vector<double> w = r.strokes->widths(j, l);
            const double own = w[0] + w[1] + w[2] + w[3];
            taken += w[4];
            if (own == 0.0) {
                continue;
            }
            const double theta = egm::incidenceAngle(l);
            const double weight = 0.75 * std::pow(std::sin(theta), 3.0) * 3.141592653589793 / 180.0;
            for (std::size_t k = 0; k < conductors.size(); ++k) {
                sums[k] += weight * w[conductors[k]] / own;
            }
        }
        for (std::size_t k = 0; k < conductors.size(); ++k) {
            EXPECT_NEAR(sums[k], r.angleSums->conductor[k][j], 1e-9 * (1e-6 + sums[k])) << "step " << j;
        }
    }
    EXPECT_GT(taken, 0.0);
}

// Bad profiles and profiles with inputs they cannot go with: one line
// naming the point and the reason.
TEST(GroundProfile, Refusals)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Bad {
        const char* name;
        std::vector<egm::GroundPoint> points;
        const char* message;
    };
    const std::vector<Bad> cases = {
        {"one point", {{0.0, 0.0}}, "ground profile: a ground profile needs at least two points"},
        {"repeated x",
         {{-5.0, 0.0}, {-5.0, 1.0}, {5.0, 0.0}},
         "ground profile: point 2: x -5 m: x must increase strictly"},
        {"unsorted",
         {{-5.0, 0.0}, {5.0, 1.0}, {2.0, 0.0}},
         "ground profile: point 3: x 2 m: x must increase strictly"},
        {"tower outside",
         {{1.0, 0.0}, {5.0, 1.0}},
         "ground profile: the profile runs from x 1 to 5 m: it must reach the tower at x = 0"},
        {"not a number",
         {{-5.0, nan}, {5.0, 0.0}},
         "ground profile: point 1: elevation nan m: must be a finite number"},
        {"negative cover",
         {{-5.0, 0.0, -1.0}, {5.0, 0.0}},
         "ground profile: point 1: cover -1 m: must be a finite number, 0 or more"},
        {"a wire in a hill",
         {{-20.0, 0.0}, {0.0, 0.0}, {11.2, 45.0}, {30.0, 0.0}},
         "wire 3 (conductor1): height 42 m above the tower's base"},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            egm::computeRates(over(c.points), cheap());
            ADD_FAILURE() << "not refused";
        } catch (const egm::InputError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
        }
    }
    std::vector<egm::GroundPoint> many(egm::kMaxProfilePoints + 1);
    for (std::size_t k = 0; k < many.size(); ++k) {
        many[k].x = static_cast<double>(k) - 5000.0;
    }
    EXPECT_THROW(egm::computeRates(over(many), cheap()), egm::InputError);
    egm::Inputs sloped = over({{-5.0, 0.0}, {5.0, 1.0}});
    sloped.slope = 10.0;
    EXPECT_THROW(egm::computeRates(sloped, cheap()), egm::InputError);
    egm::Inputs compat = over({{-5.0, 0.0}, {5.0, 1.0}});
    compat.evaluation = egm::Evaluation::compat;
    EXPECT_THROW(egm::computeRates(compat, cheap()), egm::InputError);
}

} // namespace
