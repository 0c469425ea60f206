// Exposed arcs of four striking circles: the reference case of the built-in
// line, lone, nested and touching circles, the join across the wrap, the
// clipping of arcs on the -x half, and non-numbers.
#include <cmath>
#include <vector>

#include "EGMcircle.h"
#include "bits.h"

namespace {

using namespace egm::model;

constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
// Worked-example angles are quoted to two decimals.
constexpr double kQuotedAngle = 0.005;

struct Arc {
    double start;
    double end;
};

std::vector<Arc> arcsOf(const ArcTable& t, int wire)
{
    std::vector<Arc> arcs;
    bool ended = false;
    for (int k = 0; k < 8; ++k) {
        const double s = t[4 * k + wire - 1];
        const double e = t[32 + 4 * k + wire - 1];
        if (bitsOf(s) == 0 && bitsOf(e) == 0) {
            ended = true;
            continue;
        }
        EXPECT_FALSE(ended) << "hole before slot " << k + 1 << " of wire " << wire;
        EXPECT_GT(e, s);
        arcs.push_back({s, e});
    }
    return arcs;
}

// Two far-away lone circles to fill wires 3 and 4 (or 1 and 2).
CircleSet withTwo(Circle a, Circle b)
{
    return {a.x, b.x, 5000, -5000, a.y, b.y, 0, 0, a.r, b.r, 1, 1};
}

TEST(EGMcircle, ReferenceCaseOfTheBuiltInLine)
{
    const CircleSet c = {9.89, -9.89, 11.2, -11.2, 57, 57, 42, 42, 77.9, 77.9, 80.2, 75.6};
    ArcTable t{};
    EGMcircle(c, t);
    const Arc expected[3] = {{0.15, 1.70}, {1.44, 3.30}, {-1.92, 0.33}};
    for (int w = 1; w <= 3; ++w) {
        SCOPED_TRACE(w);
        const std::vector<Arc> arcs = arcsOf(t, w);
        ASSERT_EQ(arcs.size(), 1u);
        EXPECT_NEAR(expected[w - 1].start, arcs[0].start, kQuotedAngle);
        EXPECT_NEAR(expected[w - 1].end, arcs[0].end, kQuotedAngle);
    }
    // Conductor 2's only free arc lies between pi/2 and 3pi/2 and is clipped.
    EXPECT_TRUE(arcsOf(t, 4).empty());

    ArcTable again{};
    EGMcircle(c, again);
    for (int i = 0; i < 64; ++i) {
        EXPECT_SAME_BITS(t[i], again[i]) << i;
    }
}

TEST(EGMcircle, LoneNestedAndTouchingCircles)
{
    struct Case {
        const char* name;
        Circle a;
        Circle b;
        int arcsA;
        int arcsB;
    };
    const Case cases[] = {
        {"apart", {0, 0, 10}, {100, 0, 10}, 1, 1},
        {"B inside A", {0, 0, 50}, {5, 0, 10}, 1, 0},
        {"concentric", {0, 0, 50}, {0, 0, 10}, 1, 0},
        {"touching from outside", {0, 0, 20}, {40, 0, 20}, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArcTable t{};
        EGMcircle(withTwo(c.a, c.b), t);
        const std::vector<Arc> a = arcsOf(t, 1);
        const std::vector<Arc> b = arcsOf(t, 2);
        ASSERT_EQ(a.size(), static_cast<size_t>(c.arcsA));
        ASSERT_EQ(b.size(), static_cast<size_t>(c.arcsB));
        // A lone or touching circle keeps its whole circumference, unsplit.
        EXPECT_SAME_BITS(0.0, a[0].start);
        EXPECT_SAME_BITS(kTwoPi, a[0].end);
        if (c.arcsB == 1) {
            EXPECT_SAME_BITS(0.0, b[0].start);
            EXPECT_SAME_BITS(kTwoPi, b[0].end);
        }
        for (int w = 3; w <= 4; ++w) {
            ASSERT_EQ(arcsOf(t, w).size(), 1u);
        }
        for (int i = 0; i < 64; ++i) {
            EXPECT_NE(bitsOf(t[i]), bitsOf(-0.0)) << "empty slots hold +0";
        }
    }
}

TEST(EGMcircle, ArcsMeetingAcrossMinusPiAreJoined)
{
    // B sits above A: both crossings lie at positive angles, so the free arc
    // of A from the upper crossing round to 2pi and the one from 0 up to the
    // lower crossing are one arc passing the direction of -pi.
    ArcTable t{};
    EGMcircle(withTwo({0, 0, 10}, {0, 15, 10}), t);
    const std::vector<Arc> a = arcsOf(t, 1);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_LT(a[0].start, -M_PI);
    EXPECT_GT(a[0].end, 0.0);
    EXPECT_LT(a[0].end, kHalfPi);
    EXPECT_NEAR(kHalfPi - std::acos(0.75), a[0].end, 1e-12);
    EXPECT_NEAR(kHalfPi - a[0].end, a[0].start + 3 * kHalfPi, 1e-12); // symmetric about -pi/2
}

TEST(EGMcircle, ArcsMeetAcrossMinusPiOnlyWhenTheirEndsAreEqual)
{
    // Circle 2 touches circle 1 from outside, exactly. Circle 1's smallest
    // breakpoint b1 is negative and (2pi + b1) - 2pi is not b1 in doubles:
    // the arc that ends at 2pi + b1 and the one that starts at b1 are not
    // joined, and the first stays a separate arc starting at b1.
    const CircleSet circles = {0x1.2c1914257847cp+1, -0x1.0e282bcf58ef8p+0, 0x1.20ffb51e0a472p+4,
                               0x1.388d13f2e9fd5p+4, -0x1.c48889c2088fp-1,  -0x1.de9cbe44bf845p+3,
                               0x1.cc84d734e32d2p+3, 0x1.49db76c1ace44p+3,  0x1.8c6cb903a4d26p+3,
                               0x1.0b7033ad0a5bp+1,  0x1.b7dd9127505e8p+4,  0x1.935af53d0a498p+4};
    const double dx = circles[1] - circles[0];
    const double dy = circles[5] - circles[4];
    ASSERT_EQ(circles[8] + circles[9], std::sqrt(dy * dy + dx * dx)); // touching
    ArcTable t{};
    EGMcircle(circles, t);
    const std::vector<Arc> a = arcsOf(t, 1);
    ASSERT_EQ(1u, a.size()); // the other half lies on the far half and is clipped
    const double b1 = a[0].start;
    EXPECT_NE(b1, (kTwoPi + b1) - kTwoPi);
    EXPECT_GT(b1, -M_PI); // not joined across -pi
    EXPECT_LT(b1, 0.0);
}

TEST(EGMcircle, ArcsOnTheFarHalfAreClippedStrictly)
{
    // B covers the +x side of A; A's free arc runs from phi to 2pi - phi,
    // phi the half-angle of the crossings. Just past pi/2 the arc lies inside
    // (pi/2, 3pi/2) and is removed; just short of it, it stays.
    const double r = 10.0;
    const double d = 10.0;
    for (double excess : {1e-6, -1e-6}) {
        SCOPED_TRACE(excess);
        const double rb = std::sqrt(d * d + r * r) + excess;
        ArcTable t{};
        EGMcircle(withTwo({0, 0, r}, {d, 0, rb}), t);
        const std::vector<Arc> a = arcsOf(t, 1);
        if (excess > 0) {
            EXPECT_TRUE(a.empty());
        } else {
            ASSERT_EQ(a.size(), 1u);
            EXPECT_LT(a[0].start, kHalfPi);
            EXPECT_GT(a[0].end, 3 * kHalfPi);
        }
    }
}

TEST(EGMcircle, NotANumberAnywhereCoversEverything)
{
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        CircleSet c = {9.89, -9.89, 11.2, -11.2, 57, 57, 42, 42, 77.9, 77.9, 80.2, 75.6};
        c[i] = kNaN;
        ArcTable t;
        t.fill(7.0);
        EGMcircle(c, t);
        for (int k = 0; k < 64; ++k) {
            ASSERT_EQ(bitsOf(t[k]), 0u) << k;
        }
    }
}

TEST(EGMcircle, ArcTableInvariantsHoldOverManyCurrents)
{
    for (double rg = 20.0; rg < 400.0; rg += 7.3) {
        const CircleSet c = {9.89, -9.89, 11.2, -11.2, 57, 57, 42, 42, rg, rg, rg * 1.02, rg * 0.97};
        ArcTable t{};
        EGMcircle(c, t);
        for (int w = 1; w <= 4; ++w) {
            const std::vector<Arc> arcs = arcsOf(t, w);
            EXPECT_LE(arcs.size(), 4u);
            for (size_t k = 0; k < arcs.size(); ++k) {
                EXPECT_GT(arcs[k].start, -3 * M_PI);
                EXPECT_LE(arcs[k].start, M_PI);
                EXPECT_GT(arcs[k].end, -M_PI);
                EXPECT_LE(arcs[k].end, kTwoPi);
                if (k > 0) {
                    EXPECT_GT(arcs[k].start, arcs[k - 1].start);
                }
            }
        }
    }
}

} // namespace
