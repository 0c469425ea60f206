// The first-contact evaluation's boundary, arc copies, prepared steps and
// maximum currents, by properties: every piece of the boundary lies outside
// every other disk and every point outside them all lies on a piece; mirror
// images have mirror widths; a step prepared again is a fresh one; a
// maximum current fed back is exposed just below and not just above; one
// current's exposure agrees with its strokes.
#include <algorithm>
#include <cmath>
#include <vector>

#include "bits.h"
#include "contact_evaluation.h"
#include "egm/shielding.h"
#include "first_contact.h"
#include "integration.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2.0 * kPi;

using egm::Tower;
using egm::TowerWire;
using egm::WireKind;
using egm::model::ContactDisk;

TowerWire ground(double x, double h)
{
    return TowerWire{WireKind::groundWire, x, h, 0.0, {}};
}

TowerWire conductor(double x, double h)
{
    return TowerWire{WireKind::conductor, x, h, 0.0, {}};
}

// The disk at distance and direction (rad) from (x, y).
ContactDisk diskFrom(double x, double y, double distance, double direction, double r)
{
    return ContactDisk{x + distance * std::cos(direction), y + distance * std::sin(direction), r, true};
}

// How far outside a disk's circle a point must lie, and how far inside, to
// count as off it: the boundary's angles carry a few roundings of metre-sized
// figures.
constexpr double kOffCircle = 1e-9; // m

struct DiskSet {
    const char* name;
    std::vector<ContactDisk> disks;
    double groundStrikeHeight;
};

// A stretch that starts just below 2pi and reaches past it covers the start
// of the walk round the circle; so do two stretches that reach past 2pi,
// and a ground stretch beside one.
std::vector<DiskSet> diskSets()
{
    return {
        {"a stretch reaching past 2pi beyond the first one's end",
         {ContactDisk{0.0, 0.0, 10.0, true}, ContactDisk{10.0, 0.0, 5.0, false},
          diskFrom(0.0, 0.0, 10.5, 0.3, 1.0)},
         -1000.0},
        {"two stretches reaching past 2pi",
         {ContactDisk{0.0, 0.0, 10.0, true}, diskFrom(0.0, 0.0, 11.0, -0.2, 4.0),
          diskFrom(0.0, 0.0, 12.0, -0.05, 3.0), diskFrom(0.0, 0.0, 10.2, 0.4, 0.8)},
         -1000.0},
        {"the ground's stretch and one past 2pi",
         {ContactDisk{0.0, 30.0, 12.0, true}, diskFrom(0.0, 30.0, 12.0, -0.3, 5.0),
          diskFrom(0.0, 30.0, 12.3, 0.25, 1.0)},
         20.0},
        {"a double circuit at 10 kA",
         {ContactDisk{0.0, 55.0, 26.0, false}, ContactDisk{6.0, 45.0, 26.0, true},
          ContactDisk{8.0, 37.0, 26.0, true}, ContactDisk{-6.0, 45.0, 26.0, true},
          ContactDisk{-8.0, 37.0, 26.0, true}},
         14.0},
    };
}

// The point of disk d's circle at angle phi.
egm::model::Point onCircle(const ContactDisk& d, double phi)
{
    return {d.x + d.r * std::cos(phi), d.y + d.r * std::sin(phi)};
}

double distance(const egm::model::Point& p, const ContactDisk& d)
{
    return std::hypot(p.x - d.x, p.y - d.y);
}

TEST(ContactBoundary, EachPieceLiesOutsideEveryOtherDiskAndAboveTheGroundLine)
{
    for (const DiskSet& set : diskSets()) {
        SCOPED_TRACE(set.name);
        egm::model::ContactCurrentStep step;
        egm::model::prepareContactCurrentStep(set.disks, set.groundStrikeHeight, step);
        ASSERT_FALSE(step.boundary.empty());
        for (const egm::model::BoundaryArc& arc : step.boundary) {
            const ContactDisk& d = set.disks[arc.wire];
            ASSERT_LT(arc.from, arc.to);
            for (int k = 0; k <= 64; ++k) {
                const double phi = arc.from + (arc.to - arc.from) * k / 64.0;
                const egm::model::Point p = onCircle(d, phi);
                EXPECT_GE(p.y, set.groundStrikeHeight - kOffCircle) << "wire " << arc.wire << " at " << phi;
                for (std::size_t j = 0; j < set.disks.size(); ++j) {
                    if (j != arc.wire) {
                        EXPECT_GE(distance(p, set.disks[j]), set.disks[j].r - kOffCircle)
                            << "wire " << arc.wire << " at " << phi << " inside disk " << j;
                    }
                }
            }
        }
    }
}

// Whether angle phi lies on one of wire's arcs, turned by whole turns.
bool onAnArc(const egm::model::ContactCurrentStep& step, std::size_t wire, double phi)
{
    return std::any_of(step.boundary.begin(), step.boundary.end(), [&](const egm::model::BoundaryArc& a) {
        if (a.wire != wire) {
            return false;
        }
        const double turned = a.from + std::fmod(std::fmod(phi - a.from, kTwoPi) + kTwoPi, kTwoPi);
        return turned <= a.to;
    });
}

TEST(ContactBoundary, EveryPointOutsideTheOtherDisksAndAboveTheGroundLineIsOnAPiece)
{
    for (const DiskSet& set : diskSets()) {
        SCOPED_TRACE(set.name);
        egm::model::ContactCurrentStep step;
        egm::model::prepareContactCurrentStep(set.disks, set.groundStrikeHeight, step);
        for (std::size_t i = 0; i < set.disks.size(); ++i) {
            for (int k = 0; k < 720; ++k) {
                const double phi = kTwoPi * k / 720.0;
                const egm::model::Point p = onCircle(set.disks[i], phi);
                bool free = p.y > set.groundStrikeHeight + kOffCircle;
                for (std::size_t j = 0; j < set.disks.size() && free; ++j) {
                    free = j == i || distance(p, set.disks[j]) > set.disks[j].r + kOffCircle;
                }
                if (free) {
                    EXPECT_TRUE(onAnArc(step, i, phi)) << "wire " << i << " at " << phi;
                }
            }
        }
    }
}

// The disks mirrored in x = 0.
std::vector<ContactDisk> mirrored(std::vector<ContactDisk> disks)
{
    for (ContactDisk& d : disks) {
        d.x = -d.x;
    }
    return disks;
}

// A stroke at theta meets the mirror image as the image stroke at pi - theta
// meets the tower: each wire's width the same, up to rounding.
TEST(ContactArcCopies, MirrorImagesHaveTheMirrorStrokesWidths)
{
    // A wire high above the ground line whose arc runs from the lower right
    // once round past the bottom: strokes from low on the +x side meet the
    // stretch just before the small disk only through the arc's copy two
    // turns down.
    const ContactDisk big{0.0, 30.0, 10.0, true};
    const std::vector<DiskSet> sets = {
        {"an arc from the lower right round past the bottom",
         {big, diskFrom(big.x, big.y, 10.0, -50.0 / 180.0 * kPi, 1.0)},
         0.0},
        {"the same on the lower left",
         mirrored({big, diskFrom(big.x, big.y, 10.0, -50.0 / 180.0 * kPi, 1.0)}), 0.0},
    };
    for (const DiskSet& set : sets) {
        SCOPED_TRACE(set.name);
        egm::model::ContactCurrentStep step;
        egm::model::ContactCurrentStep image;
        egm::model::prepareContactCurrentStep(set.disks, set.groundStrikeHeight, step);
        egm::model::prepareContactCurrentStep(mirrored(set.disks), set.groundStrikeHeight, image);
        std::vector<double> w(set.disks.size());
        std::vector<double> v(set.disks.size());
        for (int degrees = 1; degrees < 180; ++degrees) {
            const double theta = degrees / 180.0 * kPi;
            const double a =
                egm::model::evaluateContactStroke(step, egm::model::strokeAngle(theta), w.data());
            const double b =
                egm::model::evaluateContactStroke(image, egm::model::strokeAngle(kPi - theta), v.data());
            EXPECT_NEAR(a, b, kOffCircle) << degrees << " degrees";
            for (std::size_t i = 0; i < w.size(); ++i) {
                EXPECT_NEAR(w[i], v[i], kOffCircle) << "wire " << i << ", " << degrees << " degrees";
            }
        }
    }
}

// The centres' distances and directions are kept from one preparation to
// the next only while the centres stay where they are: a tower whose wires
// only move up or down gets its own.
TEST(ContactPreparedStep, ATowerMovedOnlyUpOrDownIsPreparedAfresh)
{
    const struct {
        const char* name;
        Tower first;
        Tower second;
    } cases[] = {
        {"a conductor moved down", Tower{{ground(0.0, 40.0), conductor(5.0, 36.0)}},
         Tower{{ground(0.0, 40.0), conductor(5.0, 24.0)}}},
        {"the ground wire moved up", Tower{{ground(-2.0, 30.0), conductor(4.0, 28.0), conductor(-4.0, 28.0)}},
         Tower{{ground(-2.0, 45.0), conductor(4.0, 28.0), conductor(-4.0, 28.0)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        egm::Inputs first;
        first.tower = c.first;
        egm::Inputs second;
        second.tower = c.second;
        egm::model::ContactCurrentStep reused;
        egm::model::prepareTowerCurrent(first, 20.0, reused);
        egm::model::prepareTowerCurrent(second, 20.0, reused);
        egm::model::ContactCurrentStep fresh;
        egm::model::prepareTowerCurrent(second, 20.0, fresh);
        ASSERT_EQ(reused.boundary.size(), fresh.boundary.size());
        for (std::size_t i = 0; i < fresh.boundary.size(); ++i) {
            EXPECT_EQ(reused.boundary[i].wire, fresh.boundary[i].wire);
            EXPECT_SAME_BITS(fresh.boundary[i].from, reused.boundary[i].from);
            EXPECT_SAME_BITS(fresh.boundary[i].to, reused.boundary[i].to);
        }
        ASSERT_EQ(reused.pair.size(), fresh.pair.size());
        for (std::size_t i = 0; i < fresh.pair.size(); ++i) {
            EXPECT_SAME_BITS(fresh.pair[i].distance, reused.pair[i].distance) << "pair " << i;
            EXPECT_SAME_BITS(fresh.pair[i].direction, reused.pair[i].direction) << "pair " << i;
        }
    }
}

struct TowerCase {
    const char* name;
    Tower tower;
    double lowestCurrent;
};

// Towers whose conductors are reached in corners: one under three ground
// wires with its striking circle showing only at the bottom, between the
// flanking disks, where no stroke from above gets to it; and outer phases
// beside inner ones at the same height, which strokes from the own side
// cannot reach at low currents, only strokes from the far side over the
// top.
std::vector<TowerCase> cornerTowers()
{
    return {
        {"a conductor showing only at the bottom between two ground wires",
         Tower{{ground(0.0, 40.0), ground(-6.0, 30.0), ground(6.0, 30.0), conductor(0.0, 30.0)}}, 1.0},
        {"inner phases beside outer ones at the same height",
         Tower{{ground(7.0, 46.0), ground(-7.0, 46.0), conductor(13.0, 31.0), conductor(-13.0, 31.0),
                conductor(15.0, 31.0), conductor(-15.0, 31.0)}},
         1.0},
        {"the built-in line without the voltage term", egm::towerOf(egm::Line{}, 0.0), 3.0},
    };
}

// Fed back, a maximum current (not at the top of the range) is exposed
// within the 0.01 kA it is rounded to, at some current of a grid of 0.001
// kA, and shielded 0.01 kA above it; a conductor never exposed has none.
// (Exposure need not fall off monotonically: the angles are a grid.)
TEST(ContactMaxCurrent, FedBackIsExposedJustBelowAndShieldedAbove)
{
    for (const TowerCase& c : cornerTowers()) {
        SCOPED_TRACE(c.name);
        egm::Inputs in;
        in.tower = c.tower;
        in.lowestCurrent = c.lowestCurrent;
        egm::Options options;
        options.classicalMaxCurrents = false;
        const egm::Result r = egm::computeRates(in, options);
        for (const egm::ConductorResult& k : r.conductors) {
            SCOPED_TRACE(k.name);
            bool everExposed = false;
            for (double current = in.lowestCurrent; current <= r.currentTo; current += 0.5) {
                everExposed = everExposed || egm::conductorExposed(in, current, k.wire);
            }
            ASSERT_EQ(k.maxCurrent.current.has_value(), everExposed);
            if (!k.maxCurrent.current || k.maxCurrent.exposedAtTop) {
                continue;
            }
            const double m = *k.maxCurrent.current;
            bool exposedBelow = false;
            for (int step = 0; step <= 10 && !exposedBelow; ++step) {
                exposedBelow = egm::conductorExposed(in, m - 0.001 * step, k.wire);
            }
            EXPECT_TRUE(exposedBelow) << m;
            EXPECT_FALSE(egm::conductorExposed(in, m + 0.01, k.wire)) << m;
        }
    }
}

// Whether a wire is exposed at a current says what that current's strokes
// say, for each wire and for its mirror image alike.
TEST(ContactMaxCurrent, ExposureAtACurrentIsWhatItsStrokesShow)
{
    for (const TowerCase& c : cornerTowers()) {
        SCOPED_TRACE(c.name);
        egm::Inputs in;
        in.tower = c.tower;
        in.lowestCurrent = c.lowestCurrent;
        for (double current = 1.0; current <= 12.0; current += 0.5) {
            const std::vector<std::vector<double>> strokes = egm::strokesAtCurrent(in, current);
            for (const std::size_t wire : in.tower.conductors()) {
                const bool shown =
                    std::any_of(strokes.begin(), strokes.end(), [&](const std::vector<double>& s) {
                        return s[wire] != 0.0 && !std::isnan(s[wire]);
                    });
                EXPECT_EQ(egm::conductorExposed(in, current, wire), shown)
                    << "wire " << wire << " at " << current << " kA";
            }
        }
    }
}

} // namespace
