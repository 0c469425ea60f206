// The rate integration of the model's own rules: the 48 independent
// reference lines bit for bit, the stored edge cases where NaN flows, the
// per-current preparation against EGM_DQ called whole, and the
// integration's own rules.
#include <cmath>

#include "EGM_DQ.h"
#include "EGMs2x.h"
#include "bits.h"
#include "circleCrosspoint_initialize.h"
#include "egm/shielding.h"
#include "integration.h"
#include "reference_lines.h"
#include "striking_law.h"

namespace {

using namespace egm::model;

IntegrationTotals ratesOf(const IntegrationCase& in, StrokeRule rule = StrokeRule::compat,
                          const IntegrationRecord& record = {})
{
    IntegrationTotals r;
    integrate(in, rule, r, record);
    return r;
}

void egms2x(const IntegrationCase& in, double (&rates)[3])
{
    EGMs2x(in.flashDensity, in.slopeAngle, in.minCurrent, in.geometry, in.voltageTerm, in.distribution.scale,
           in.distribution.exponent, rates[0], rates[1], rates[2]);
}

TEST(EGMs2x, BuiltInLineGivesTheReferenceFigures)
{
    egm::numeric::circleCrosspoint_initialize();
    double rates[3] = {-1.0, -1.0, -1.0};
    egms2x(IntegrationCase{}, rates);
    // 0.22975163102229 to all fourteen digits; the double the model yields
    // is one unit in the last place above the one nearest that decimal.
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, rates[0]);
    EXPECT_SAME_BITS(0.0, rates[1]);
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, rates[2]);
    char text[32];
    std::snprintf(text, sizeof text, "%.14g", rates[2]);
    EXPECT_STREQ("0.22975163102229", text);
}

// The 48 lines computed independently of this code base, bit for bit; the
// stored edge cases with any NaN matching any NaN.
TEST(EGMs2x, ReferenceLinesBitForBit)
{
    const std::vector<ReferenceLine> independent = loadIndependentRates();
    ASSERT_EQ(48u, independent.size());
    const std::vector<ReferenceLine> stored = loadStoredRates();
    ASSERT_GE(stored.size(), 10u);
    for (const auto& [lines, anyNaN] : {std::pair{&independent, false}, std::pair{&stored, true}}) {
        for (const ReferenceLine& line : *lines) {
            SCOPED_TRACE(line.name);
            double rates[3];
            egms2x(line.inputs, rates);
            const double expected[3] = {line.rateC1, line.rateC2, line.rateTotal};
            for (int k = 0; k < 3; ++k) {
                if (anyNaN) {
                    EXPECT_SAME_DOUBLE(expected[k], rates[k]);
                } else {
                    EXPECT_SAME_BITS(expected[k], rates[k]);
                }
            }
        }
    }
}

// The fast integration prepares each current once and evaluates only the
// angle's steps per stroke; EGM_DQ called whole for every stroke must give
// the same stroke table: nothing stale is carried from one stroke to the
// next. (It is the same code underneath, so this is no reference.)
TEST(EGMs2x, PerCurrentPreparationCarriesNothingStale)
{
    const std::vector<ReferenceLine> lines = loadStoredRates();
    for (const ReferenceLine& line : lines) {
        SCOPED_TRACE(line.name);
        std::vector<double> fast;
        std::vector<double> literal;
        const IntegrationTotals a = ratesOf(line.inputs, StrokeRule::compat, {&fast, nullptr, nullptr});
        const IntegrationTotals b = ratesOf(line.inputs, StrokeRule::literal, {&literal, nullptr, nullptr});
        EXPECT_SAME_BITS(b.rateTotal, a.rateTotal);
        ASSERT_EQ(literal.size(), fast.size());
        for (std::size_t k = 0; k < fast.size(); ++k) {
            ASSERT_EQ(bitsOf(literal[k]), bitsOf(fast[k])) << "stroke table entry " << k;
        }
    }
}

TEST(EGMs2x, TerrainFactorStepsAtTwentyDegrees)
{
    struct Case {
        double slope;
        double compat;       // 1/6 below 20 degrees, NaN included in 1/3
        double firstContact; // 1/3 from 20 degrees either way
    };
    const Case cases[] = {{19.999, 1.0 / 6.0, 1.0 / 6.0}, {20.0, 1.0 / 3.0, 1.0 / 3.0},
                          {0.0, 1.0 / 6.0, 1.0 / 6.0},    {-19.999, 1.0 / 6.0, 1.0 / 6.0},
                          {-20.0, 1.0 / 6.0, 1.0 / 3.0},  {-40.0, 1.0 / 6.0, 1.0 / 3.0},
                          {kNaN, 1.0 / 3.0, 1.0 / 6.0}};
    for (const Case& c : cases) {
        IntegrationCase in;
        in.slopeAngle = c.slope;
        in.minCurrent = kInf; // only the factor is looked at
        EXPECT_SAME_BITS(c.compat, ratesOf(in).terrainFactor) << c.slope;
        egm::Inputs tower;
        tower.slope = c.slope;
        tower.lowestCurrent = kInf;
        egm::model::TowerTotals totals;
        egm::model::integrateTower(tower, totals);
        EXPECT_SAME_BITS(c.firstContact, totals.terrainFactor) << c.slope;
    }
}

TEST(EGMs2x, RatesScaleWithFlashDensityAndAddUp)
{
    IntegrationCase in;
    in.voltageTerm = 0.0;
    const IntegrationTotals one = ratesOf(in);
    in.flashDensity *= 2.0;
    const IntegrationTotals two = ratesOf(in);
    EXPECT_SAME_BITS(2.0 * one.rateC1, two.rateC1);
    EXPECT_SAME_BITS(2.0 * one.rateC2, two.rateC2);
    EXPECT_SAME_BITS(2.0 * one.rateTotal, two.rateTotal);
    EXPECT_NEAR(one.rateC1 + one.rateC2, one.rateTotal, 4 * std::ldexp(one.rateTotal, -52));
    // 28 * 57^0.6 + 19.78, worked out by hand.
    EXPECT_NEAR(336.5054, one.collectionWidth, 5e-5);
}

TEST(EGMs2x, CollectionWidthOfEachEvaluation)
{
    // Ground wires at 50 and 64 m: the model's own width reads ground wire
    // 1's height, the first-contact one the ground wires' mean, 57 m, and
    // their spread. By hand: 28 * 50^0.6 = 292.78; 28 * 57^0.6 = 316.73;
    // the span is 20 m. A third ground wire between the two moves the mean
    // to 55 m (28 * 55^0.6 = 310.01), not the spread; without ground wires
    // the conductors' mean height and spread count: 28 * 42^0.6 = 263.70
    // and 22.4 m.
    IntegrationCase in;
    in.geometry = {10, -10, 11.2, -11.2, 50, 64, 42, 42};
    in.minCurrent = kInf;
    EXPECT_NEAR(292.7791 + 20.0, ratesOf(in).collectionWidth, 1e-3);
    egm::Inputs tower;
    tower.tower = egm::towerOf(egm::Line{{10, 50}, {-10, 64}, {11.2, 42}, {-11.2, 42}}, 0.8);
    tower.lowestCurrent = kInf;
    egm::model::TowerTotals totals;
    egm::model::integrateTower(tower, totals);
    EXPECT_NEAR(316.7254 + 20.0, totals.collectionWidth, 1e-3);
    tower.tower.wires.push_back(egm::TowerWire{egm::WireKind::groundWire, 3.0, 51.0, 0.0, {}});
    egm::model::integrateTower(tower, totals);
    EXPECT_NEAR(310.0100 + 20.0, totals.collectionWidth, 1e-3);
    tower.tower.wires.erase(tower.tower.wires.begin(), tower.tower.wires.begin() + 2);
    tower.tower.wires.pop_back();
    egm::model::integrateTower(tower, totals);
    EXPECT_NEAR(263.6985 + 22.4, totals.collectionWidth, 1e-3);
}

TEST(EGMs2x, StepCountsAndUnusableLowestCurrents)
{
    struct Case {
        double minCurrent;
        bool usable;
        std::int32_t steps;
    };
    const double p53 = 9007199254740992.0;
    const Case cases[] = {
        {23.5, true, 201},
        {0.0, true, 201},
        {-200.5, true, 201},
        {p53, true, 201},
        // 2^53 - 1 + 200 rounds up to 2^53 + 200: both counts say 202.
        {std::nextafter(p53, 0.0), true, 202},
        {std::nextafter(p53, kInf), false, 0},
        {1e300, false, 0},
        {-1e300, false, 0},
        {kNaN, false, 0},
        {kInf, false, 0},
        {-kInf, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.minCurrent));
        std::int32_t loop = -1;
        std::int32_t storage = -1;
        EXPECT_EQ(c.usable, integrationStepCounts(c.minCurrent, loop, storage));
        if (c.usable) {
            EXPECT_EQ(c.steps, loop);
            EXPECT_EQ(c.steps, storage);
        } else {
            IntegrationCase in;
            in.minCurrent = c.minCurrent;
            const IntegrationTotals r = ratesOf(in);
            EXPECT_TRUE(std::isnan(r.rateTotal));
            EXPECT_EQ(0, r.steps);
        }
    }
}

TEST(EGMs2x, StrokesWithoutAFiniteTotal)
{
    // Every stroke's total is 0 (every wire far below the ground line), or
    // not finite (a ground wire and a conductor out at 1e308 and 1e200 m):
    // the share is not a number, and the rates say so.
    const LineGeometry geometries[] = {{9.89, -9.89, 11.2, -11.2, -500, -500, -500, -500},
                                       {16.89, 5.11, -7.8, -30.2, 68, 1e308, 44, 1e200}};
    for (const LineGeometry& g : geometries) {
        IntegrationCase in;
        in.geometry = g;
        double rates[3];
        egms2x(in, rates);
        EXPECT_TRUE(std::isnan(rates[2])) << describe(rates[2]);
    }
}

TEST(EGMs2x, LowestCurrentOfHalfAKiloampere)
{
    // Small striking circles: some arcs end just past 2pi and are wrapped
    // once; the printed rate of the built-in line from 0.5 kA.
    IntegrationCase in;
    in.minCurrent = 0.5;
    double rates[3];
    egms2x(in, rates);
    char text[32];
    std::snprintf(text, sizeof text, "%f", rates[2]);
    EXPECT_STREQ("0.506618", text);
}

} // namespace
