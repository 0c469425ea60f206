// Circle primitives and the slope and shadow geometry.
#include <cmath>

#include "Dqtrans.h"
#include "bits.h"
#include "circleCrosspoint.h"
#include "cut_x_section.h"
#include "distance.h"
#include "incircle.h"
#include "shadow_on_x.h"

namespace {

using namespace egm::model;

constexpr double kHalfPi = 1.5707963267948966;
// Crossing points are formed through cos, sin and acos; a few ulps of the
// coordinates' size cover their rounding.
constexpr double kPointTolerance = 1e-12;

struct CrossCase {
    const char* name;
    Circle a;
    Circle b;
    double x1, y1, x2, y2; // NaN: all four must be NaN
};

TEST(CircleCrosspoint, CrossingTouchingApartNestedConcentric)
{
    const CrossCase cases[] = {
        {"crossing", {0, 0, 5}, {8, 0, 5}, 4, -3, 4, 3},
        {"reversed pair, opposite order", {8, 0, 5}, {0, 0, 5}, 4, 3, 4, -3},
        {"touching along x", {0, 0, 20}, {40, 0, 20}, 20, 0, 20, 0},
        {"touching along y", {0, 0, 20}, {0, 50, 30}, 0, 20, 0, 20},
        {"apart", {0, 0, 10}, {30, 0, 10}, -1000, -1000, -1000, -1000},
        {"NaN radius", {0, 0, kNaN}, {30, 0, 10}, -1000, -1000, -1000, -1000},
        {"nested", {0, 0, 50}, {5, 0, 10}, kNaN, kNaN, kNaN, kNaN},
        {"concentric", {0, 0, 10}, {0, 0, 20}, kNaN, kNaN, kNaN, kNaN},
        {"concentric equal", {1, 1, 10}, {1, 1, 10}, kNaN, kNaN, kNaN, kNaN},
    };
    for (const CrossCase& c : cases) {
        SCOPED_TRACE(c.name);
        Crossing r{};
        circleCrosspoint(c.a, c.b, r);
        const double expected[4] = {c.x1, c.y1, c.x2, c.y2};
        const double actual[4] = {r.x1, r.y1, r.x2, r.y2};
        for (int i = 0; i < 4; ++i) {
            if (std::isnan(expected[i]) || expected[i] == -1000.0) {
                EXPECT_SAME_DOUBLE(expected[i], actual[i]);
            } else {
                EXPECT_NEAR(expected[i], actual[i], kPointTolerance);
            }
        }
    }
}

TEST(CircleCrosspoint, TouchingPointIsExactlyTheSameTwice)
{
    Crossing r{};
    circleCrosspoint({0, 0, 20}, {0, 50, 30}, r);
    EXPECT_SAME_BITS(r.x1, r.x2);
    EXPECT_SAME_BITS(20.0, r.y1);
}

TEST(Incircle, StrictlyInsideByMoreThanTheTolerance)
{
    struct Case {
        const char* name;
        double theta;
        Circle a;
        Circle b;
        double expected;
    };
    const Case cases[] = {
        {"inside", 0.0, {0, 0, 5}, {8, 0, 5}, 1.0},
        {"on the boundary", 0.0, {0, 0, 5}, {10, 0, 5}, 0.0},
        {"outside", kHalfPi * 2, {0, 0, 5}, {8, 0, 5}, 0.0},
        {"within the tolerance", 0.0, {0, 0, 5}, {10 - 5e-13, 0, 5}, 0.0},
        {"beyond the tolerance", 0.0, {0, 0, 5}, {10 - 1e-11, 0, 5}, 1.0},
        {"own circle", 1.234, {3, 4, 77.9}, {3, 4, 77.9}, 0.0},
        {"NaN radius of B", 0.0, {0, 0, 5}, {8, 0, kNaN}, 1.0},
        {"NaN angle", kNaN, {0, 0, 5}, {100, 0, 1}, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_SAME_BITS(c.expected, incircle(c.theta, c.a, c.b));
    }
}

TEST(Distance, IsTheUnscaledEuclideanNorm)
{
    EXPECT_SAME_BITS(5.0, distance({0, 0}, {3, 4}));
    EXPECT_SAME_BITS(5.0, distance({-3, -4}, {0, 0}));
    EXPECT_SAME_DOUBLE(kNaN, distance({kNaN, 0}, {0, 0}));
    EXPECT_SAME_DOUBLE(kInf, distance({1e200, 0}, {-1e200, 0})); // no scaling against overflow
}

TEST(Dqtrans, TurnsPositionsInPlaceAndCopies)
{
    CircleSet flat = {9.89, -9.89, 11.2, -11.2, 57, 57, 42, 42, 70, 71, 72, 73};
    CircleSet source = flat;
    CircleSet destination{};
    Dqtrans(source, 0.0, destination);
    for (int i = 0; i < 12; ++i) {
        EXPECT_SAME_BITS(flat[i], source[i]);
        EXPECT_SAME_BITS(flat[i], destination[i]);
    }

    CircleSet unit = {1, 0, 0, 0, 0, 1, 0, 0, 1, 2, 3, 4};
    Dqtrans(unit, 90.0, destination);
    EXPECT_NEAR(0.0, unit[0], 1e-15);
    EXPECT_SAME_BITS(1.0, unit[4]);
    EXPECT_SAME_BITS(-1.0, unit[1]);
    EXPECT_NEAR(0.0, unit[5], 1e-15);
    for (int i = 8; i < 12; ++i) {
        EXPECT_SAME_BITS(i - 7.0, unit[i]);
    }

    // Distances between wires do not change with the slope.
    source = flat;
    Dqtrans(source, -17.5, destination);
    const double before = distance({flat[0], flat[4]}, {flat[3], flat[7]});
    const double after = distance({destination[0], destination[4]}, {destination[3], destination[7]});
    EXPECT_NEAR(before, after, 1e-12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_SAME_BITS(source[i], destination[i]);
    }
}

TEST(ShadowOnX, VerticalIsExactOtherAnglesFollowTheTangent)
{
    EXPECT_SAME_BITS(5.0, shadow_on_x({5, 10}, kHalfPi));
    EXPECT_SAME_BITS(5.0 - 10.0 / std::tan(M_PI / 4), shadow_on_x({5, 10}, M_PI / 4));
    EXPECT_NEAR(-5.0, shadow_on_x({5, 10}, M_PI / 4), 1e-12);
    for (double theta : {0.1, 1.0, kHalfPi, 2.5, M_PI}) {
        EXPECT_SAME_BITS(7.0, shadow_on_x({7, 0}, theta)) << theta;
    }
    // At theta = pi the tangent is about -1.2e-16, not 0: the shadow is far
    // but finite.
    EXPECT_TRUE(std::isfinite(shadow_on_x({0, 40}, M_PI)));
    EXPECT_GT(shadow_on_x({0, 40}, M_PI), 1e17);
}

TEST(CutXSection, EachRuleWithItsBoundaries)
{
    struct Case {
        const char* name;
        Interval shield;
        Interval interval;
        Interval expected;
    };
    const Case cases[] = {
        {"1: right of the shield", {0, 10}, {12, 20}, {12, 20}},
        {"2: touches the right end", {0, 10}, {10, 20}, {10, 20}},
        {"2: starts inside, ends beyond", {0, 10}, {5, 20}, {10, 20}},
        {"2: starts at the left end", {0, 10}, {0, 20}, {10, 20}},
        {"3: starts left, ends inside", {0, 10}, {-5, 5}, {-5, 0}},
        {"3: ends exactly at the right end", {0, 10}, {-5, 10}, {-5, 0}},
        {"4: touches the left end", {0, 10}, {-5, 0}, {-5, 0}},
        {"4: wholly left", {0, 10}, {-9, -3}, {-9, -3}},
        {"5: inside", {0, 10}, {2, 8}, {10, 10}},
        {"5: beyond both ends", {0, 10}, {-5, 15}, {10, 10}},
        {"5: zero width at the right end", {0, 10}, {10, 10}, {10, 10}},
        {"5: zero-width shield inside", {5, 5}, {0, 10}, {5, 5}},
        {"5: NaN interval", {0, 10}, {kNaN, 4}, {10, 10}},
        {"5: NaN shield end", {0, kNaN}, {1, 4}, {kNaN, kNaN}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Interval r{};
        cut_x_section(c.shield, c.interval, r);
        EXPECT_SAME_DOUBLE(c.expected.left, r.left);
        EXPECT_SAME_DOUBLE(c.expected.right, r.right);
    }
    Interval same{-5, 5};
    cut_x_section({0, 10}, same, same); // result may be the interval itself
    EXPECT_SAME_BITS(0.0, same.right);
}

} // namespace
