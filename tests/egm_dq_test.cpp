// Exposure of one stroke: the reference case of the symmetric line at
// 23.5 kA, the dropped arcs of the trim, the ground factor's jump at 40 m, a
// sloped ground, and the split evaluation against the whole one.
#include <cmath>

#include "Dqtrans.h"
#include "EGM_DQ.h"
#include "EGMs2x.h"
#include "bits.h"

namespace {

using namespace egm::model;

constexpr double kHalfPi = 1.5707963267948966;
// The reference case is quoted with angles to six and widths to four decimals.
constexpr double kQuotedAngle = 5e-7;
constexpr double kQuotedWidth = 5e-5;

const LineGeometry kBuiltIn = {9.89, -9.89, 11.2, -11.2, 57, 57, 42, 42};

StrokeExposure exposureAt(double current, double theta, double slope, const LineGeometry& g, double u)
{
    StrokeExposure e{};
    EGM_DQ(current, theta, slope, g, u, e);
    return e;
}

TEST(EGM_DQ, BuiltInLineArcsAreClampedThenTrimmedAtTheStrikingLine)
{
    CurrentStep s{};
    prepareCurrentStep(23.5, 0.0, kBuiltIn, 0.0, s);
    EXPECT_NEAR(77.898534, s.shieldRadius, 5e-7);
    EXPECT_SAME_BITS(s.shieldRadius, s.conductor1Radius);
    EXPECT_SAME_BITS(s.shieldRadius, s.conductor2Radius);
    EXPECT_NEAR(42.844194, s.groundStrikeHeight, 5e-7);

    const double slotStart[4] = {-0.009684, 1.443493, -1.715073, 2.957684};
    const double slotEnd[4] = {1.6981, 3.151277, 0.183909, 4.856666};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(slotStart[i], s.arcTable[i], kQuotedAngle) << i;
        EXPECT_NEAR(slotEnd[i], s.arcTable[32 + i], i == 0 ? 5e-5 : kQuotedAngle) << i;
        EXPECT_SAME_BITS(kBuiltIn[i], s.x[i]); // no slope: centres untouched
        EXPECT_SAME_BITS(kBuiltIn[i + 4], s.y[i]);
    }
    // The clamp sets a3 = -pi/2 and b4 = 3pi/2; the trim then moves both to
    // the striking line and changes nothing else.
    EXPECT_NEAR(0.010837, s.a[2], kQuotedAngle);
    EXPECT_NEAR(3.130755, s.b[3], kQuotedAngle);
    EXPECT_SAME_BITS(s.arcTable[0], s.a[0]);
    EXPECT_SAME_BITS(s.arcTable[1], s.a[1]);
    EXPECT_SAME_BITS(s.arcTable[3], s.a[3]);
    EXPECT_SAME_BITS(s.arcTable[32], s.b[0]);
    EXPECT_SAME_BITS(s.arcTable[33], s.b[1]);
    EXPECT_SAME_BITS(s.arcTable[34], s.b[2]);
}

TEST(EGM_DQ, BuiltInLineExposuresAndShadowsAtThreeAngles)
{
    struct Case {
        int l; // theta = (l + 1) / 180 * pi, as the integration forms it
        double exposure[4];
        double shadow[4][2];
    };
    const Case cases[] = {
        {29,
         {111.4620, 39.6044, 12.2605, 0},
         {{-232.5593, -9.6354}, {-264.4140, -185.2051}, {-9.6354, 14.8856}, {14.8856, 14.8856}}},
        {89,
         {87.7885, 87.7885, 1.3054, 1.3100},
         {{0, 87.7885}, {-87.7885, 0}, {87.7885, 89.0940}, {-89.0985, -87.7885}}},
        {149,
         {39.6044, 111.4620, 0, 12.2605},
         {{185.2051, 264.4140}, {9.6354, 232.5593}, {264.4140, 264.4140}, {-14.8856, 9.6354}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.l);
        const double theta = integrationAngle(c.l);
        const StrokeExposure e = exposureAt(23.5, theta, 0.0, kBuiltIn, 0.0);
        CurrentStep s{};
        prepareCurrentStep(23.5, 0.0, kBuiltIn, 0.0, s);
        StrokeExposure split{};
        StrokeShadows shadows{};
        evaluateStroke(s, strokeAngle(theta), split, &shadows);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(c.exposure[i], e[i], kQuotedWidth) << "wire " << i + 1;
            EXPECT_SAME_BITS(e[i], split[i]);
            EXPECT_NEAR(c.shadow[i][0], shadows.shadow[i].left, kQuotedWidth) << "wire " << i + 1;
            EXPECT_NEAR(c.shadow[i][1], shadows.shadow[i].right, kQuotedWidth) << "wire " << i + 1;
        }
    }
    // The near conductor's shadow begins exactly where its ground wire's ends.
    CurrentStep s{};
    prepareCurrentStep(23.5, 0.0, kBuiltIn, 0.0, s);
    StrokeExposure e{};
    StrokeShadows shadows{};
    evaluateStroke(s, strokeAngle(integrationAngle(29)), e, &shadows);
    EXPECT_NEAR(shadows.shadow[0].right, shadows.shadow[2].left, 1e-9);
}

TEST(EGM_DQ, VerticalStrokeTakesThePlusSideRules)
{
    // Vertical strokes project straight down and are scaled by exactly 1.
    CurrentStep s{};
    prepareCurrentStep(23.5, 0.0, kBuiltIn, 0.0, s);
    StrokeExposure e{};
    StrokeShadows shadows{};
    evaluateStroke(s, strokeAngle(kHalfPi), e, &shadows);
    for (int i = 0; i < 4; ++i) {
        EXPECT_SAME_BITS(shadows.shadow[i].right - shadows.shadow[i].left, e[i]);
    }
    EXPECT_SAME_BITS(shadows.v[0].x, shadows.shadow[0].right); // shadow of a point is its x
}

TEST(EGM_DQ, ConductorArcBelowTheStrikingLineIsDropped)
{
    // Conductors sunk 40 m below the ground: the tops of their circles, and
    // so their arcs, stay below the striking line.
    const LineGeometry low = {9.89, -9.89, 11.2, -11.2, 57, 57, -40, -40};
    for (double current : {5.0, 23.5}) {
        CurrentStep s{};
        prepareCurrentStep(current, 0.0, low, 0.8, s);
        ASSERT_LE(s.y[2] + s.r[2], s.groundStrikeHeight);
        EXPECT_SAME_BITS(0.0, s.a[2]);
        EXPECT_SAME_BITS(0.0, s.b[2]);
        EXPECT_SAME_BITS(0.0, s.a[3]);
        EXPECT_SAME_BITS(0.0, s.b[3]);
        for (int l = 0; l < 180; l += 7) {
            const StrokeExposure e = exposureAt(current, integrationAngle(l), 0.0, low, 0.8);
            EXPECT_SAME_BITS(0.0, e[2]) << current << " " << l;
            EXPECT_SAME_BITS(0.0, e[3]) << current << " " << l;
        }
    }
}

TEST(EGM_DQ, GroundWireCircleBelowTheStrikingLineDropsItsConductor)
{
    // Ground wire 1 buried 200 m deep: the top of its circle stays below G,
    // so it and conductor 1 lose their arcs; side 2 is untouched.
    const LineGeometry buried = {9.89, -9.89, 11.2, -11.2, -200, 57, 42, 42};
    CurrentStep s{};
    prepareCurrentStep(23.5, 0.0, buried, 0.8, s);
    ASSERT_LE(s.y[0] + s.r[0], s.groundStrikeHeight);
    for (int i : {0, 2}) {
        EXPECT_SAME_BITS(0.0, s.a[i]);
        EXPECT_SAME_BITS(0.0, s.b[i]);
    }
    for (int l = 0; l < 180; l += 11) {
        const StrokeExposure e = exposureAt(23.5, integrationAngle(l), 0.0, buried, 0.8);
        EXPECT_SAME_BITS(0.0, e[2]) << l;
    }
}

TEST(EGM_DQ, GroundFactorJumpsAtForty)
{
    struct Case {
        double h;
        double kg;
    };
    // Worked out by hand: 0.17 ln 3 + 0.36 and 0.17 ln 13 + 0.36.
    const Case cases[] = {
        {40.0, 0.55},
        {std::nextafter(40.0, 0.0), 0.5467640890735787},
        {30.0, 0.7960413907684613},
        {57.0, 0.55},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.h);
        // The mean of the two ground wires' heights decides, not each alone.
        const LineGeometry g = {9.89, -9.89, 11.2, -11.2, c.h - 1.0, c.h + 1.0, 30, 30};
        CurrentStep s{};
        prepareCurrentStep(23.5, 0.0, g, 0.8, s);
        EXPECT_NEAR(c.kg, s.groundStrikeHeight / s.shieldRadius, 1e-12);
    }
}

TEST(EGM_DQ, StrikingDistancesOfTheVoltageTerm)
{
    CurrentStep s{};
    prepareCurrentStep(10.0, 0.0, kBuiltIn, 0.0, s);
    EXPECT_NEAR(44.693, s.shieldRadius, 5e-4);
    EXPECT_SAME_BITS(s.shieldRadius, s.conductor2Radius);
    prepareCurrentStep(10.0, 0.0, kBuiltIn, 0.8, s);
    EXPECT_GT(s.conductor1Radius, s.shieldRadius);
    EXPECT_LT(s.conductor2Radius, s.shieldRadius);
    // A bracket p - U below zero gives conductor 2 no striking distance.
    prepareCurrentStep(10.0, 0.0, kBuiltIn, 50.0, s);
    EXPECT_TRUE(std::isnan(s.conductor2Radius));
}

TEST(EGM_DQ, SlopedGroundTurnsTheCentresNotTheRadiiOrG)
{
    for (double slope : {-15.0, 10.0, 30.0}) {
        SCOPED_TRACE(slope);
        CurrentStep flat{};
        CurrentStep sloped{};
        prepareCurrentStep(40.0, 0.0, kBuiltIn, 0.8, flat);
        prepareCurrentStep(40.0, slope, kBuiltIn, 0.8, sloped);
        CircleSet c = {};
        for (int i = 0; i < 8; ++i) {
            c[i] = kBuiltIn[i];
        }
        CircleSet turned{};
        Dqtrans(c, slope, turned);
        for (int i = 0; i < 4; ++i) {
            EXPECT_SAME_BITS(turned[i], sloped.x[i]);
            EXPECT_SAME_BITS(turned[i + 4], sloped.y[i]);
            EXPECT_SAME_BITS(flat.r[i], sloped.r[i]);
        }
        EXPECT_SAME_BITS(flat.groundStrikeHeight, sloped.groundStrikeHeight);
        // The turn is counter-clockwise for a positive slope: side 1, at
        // larger x, comes out higher above the ground line than side 2.
        EXPECT_EQ(slope > 0, sloped.y[0] > sloped.y[1]);
    }
}

// One preparation serves all 180 angles of a current: evaluating them in a
// row gives what a fresh preparation per stroke gives (nothing stale is
// carried from one stroke to the next).
TEST(EGM_DQ, OnePreparationServesEveryAngle)
{
    const LineGeometry lines[] = {kBuiltIn, {12, -8, 15, -10, 50, 45, 38, 33}};
    for (const LineGeometry& g : lines) {
        for (double slope : {-15.0, 0.0, 30.0}) {
            for (double current : {3.0, 23.5, 77.25, 223.5}) {
                CurrentStep s{};
                prepareCurrentStep(current, slope, g, 0.8, s);
                for (int l = 0; l < 180; ++l) {
                    const double theta = integrationAngle(l);
                    StrokeExposure split{};
                    evaluateStroke(s, strokeAngle(theta), split);
                    const StrokeExposure whole = exposureAt(current, theta, slope, g, 0.8);
                    for (int i = 0; i < 4; ++i) {
                        ASSERT_EQ(bitsOf(whole[i]), bitsOf(split[i]))
                            << current << " kA, l " << l << ", wire " << i + 1;
                    }
                }
            }
        }
    }
}

} // namespace
