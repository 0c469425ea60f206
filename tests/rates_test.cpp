// The rate integration: the reference figures, the stored rates of the
// reference lines, the split evaluation against the literal one (rates and
// whole stroke tables, bit for bit), and the integration's own rules.
#include <cmath>

#include "EGM_DQ.h"
#include "EGMs2x.h"
#include "bits.h"
#include "circleCrosspoint_initialize.h"
#include "reference_lines.h"

namespace {

RateResult ratesOf(const RateInputs& in, StrokeEvaluation how = StrokeEvaluation::split)
{
    RateResult r;
    integrateShieldingFailure(in, how, r);
    return r;
}

TEST(EGMs2x, BuiltInLineGivesTheReferenceFigures)
{
    circleCrosspoint_initialize();
    const RateInputs in;
    double c1 = -1.0;
    double c2 = -1.0;
    double total = -1.0;
    EGMs2x(in.groundFlashDensity, in.slopeAngle, in.minCurrent, in.geometry, in.voltageTerm, in.currentScale,
           in.currentExponent, c1, c2, total);
    // 0.22975163102229 to all fourteen digits; the double the model yields
    // is one unit in the last place above the one nearest that decimal.
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, c1);
    EXPECT_SAME_BITS(0.0, c2);
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, total);
    char text[32];
    std::snprintf(text, sizeof text, "%.14g", total);
    EXPECT_STREQ("0.22975163102229", text);
}

TEST(EGMs2x, VoltageTermZeroExposesTheFarConductor)
{
    RateInputs in;
    in.voltageTerm = 0.0;
    const RateResult r = ratesOf(in);
    EXPECT_SAME_BITS(0x1.a638d617561c4p-5, r.rateC1);
    EXPECT_SAME_BITS(0x1.158f80317f013p-4, r.rateC2);
    EXPECT_SAME_BITS(0x1.e8abeb3d2a0f5p-4, r.rateTotal);
}

TEST(EGMs2x, ReferenceLinesSplitAndLiteralAgreeBitForBit)
{
    const std::vector<ReferenceLine> lines = loadReferenceLines();
    ASSERT_GE(lines.size(), 10u);
    for (const ReferenceLine& line : lines) {
        SCOPED_TRACE(line.name);
        IntegrationTables fastTables;
        IntegrationTables literalTables;
        RateResult fast;
        RateResult literal;
        integrateShieldingFailure(line.inputs, StrokeEvaluation::split, fast, &fastTables);
        integrateShieldingFailure(line.inputs, StrokeEvaluation::literal, literal, &literalTables);

        EXPECT_SAME_DOUBLE(line.rateC1, fast.rateC1);
        EXPECT_SAME_DOUBLE(line.rateC2, fast.rateC2);
        EXPECT_SAME_DOUBLE(line.rateTotal, fast.rateTotal);
        EXPECT_SAME_BITS(literal.rateC1, fast.rateC1);
        EXPECT_SAME_BITS(literal.rateC2, fast.rateC2);
        EXPECT_SAME_BITS(literal.rateTotal, fast.rateTotal);

        ASSERT_EQ(fast.steps, literal.steps);
        const std::int32_t count = fast.steps * 180 * 4;
        for (std::int32_t k = 0; k < count; ++k) {
            ASSERT_EQ(bitsOf(literalTables.strokeTable->values[k]), bitsOf(fastTables.strokeTable->values[k]))
                << "stroke table entry " << k;
        }
        releaseIntegrationTables(fastTables);
        releaseIntegrationTables(literalTables);
        EXPECT_EQ(fastTables.strokeTable, nullptr);
    }
}

TEST(EGMs2x, StrokeTableHoldsEachStrokesWidths)
{
    const RateInputs in;
    IntegrationTables tables;
    RateResult r;
    integrateShieldingFailure(in, StrokeEvaluation::split, r, &tables);
    ASSERT_EQ(r.steps, 201);
    EXPECT_EQ(tables.strokeTable->dims[0], 201);
    EXPECT_EQ(tables.strokeTable->dims[1], 180);
    EXPECT_EQ(tables.strokeTable->dims[2], 4);
    for (int j : {0, 57, 200}) {
        for (int l : {0, 89, 179}) {
            StrokeExposure e{};
            EGM_DQ(j + in.minCurrent, integrationAngle(l), in.slopeAngle, in.geometry, in.voltageTerm, e);
            for (int w = 0; w < 4; ++w) {
                EXPECT_SAME_BITS(e[w], tables.strokeTable->values[j + 201 * (l + 180 * w)]);
            }
        }
    }
    releaseIntegrationTables(tables);
}

TEST(EGMs2x, TerrainFactorStepsAtTwentyDegrees)
{
    struct Case {
        double slope;
        double factor;
    };
    for (const Case& c : {Case{19.999, 1.0 / 6.0}, Case{20.0, 1.0 / 3.0}, Case{0.0, 1.0 / 6.0},
                          Case{-40.0, 1.0 / 6.0}, Case{kNaN, 1.0 / 3.0}}) {
        RateInputs in;
        in.slopeAngle = c.slope;
        in.minCurrent = 200.0; // only the factor is looked at
        EXPECT_SAME_BITS(c.factor, ratesOf(in).terrainFactor) << c.slope;
    }
}

TEST(EGMs2x, RatesScaleWithFlashDensityAndAddUp)
{
    RateInputs in;
    in.voltageTerm = 0.0;
    const RateResult one = ratesOf(in);
    in.groundFlashDensity *= 2.0;
    const RateResult two = ratesOf(in);
    EXPECT_SAME_BITS(2.0 * one.rateC1, two.rateC1);
    EXPECT_SAME_BITS(2.0 * one.rateC2, two.rateC2);
    EXPECT_SAME_BITS(2.0 * one.rateTotal, two.rateTotal);
    EXPECT_NEAR(one.rateC1 + one.rateC2, one.rateTotal, 4 * std::ldexp(one.rateTotal, -52));
    EXPECT_NEAR(336.5054, one.collectionWidth, 5e-5);
    EXPECT_SAME_BITS(28.0 * std::pow(57.0, 0.6) + 19.78, one.collectionWidth);
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
            RateInputs in;
            in.minCurrent = c.minCurrent;
            const RateResult r = ratesOf(in);
            EXPECT_TRUE(std::isnan(r.rateTotal));
            EXPECT_EQ(0, r.steps);
        }
    }
}

TEST(EGMs2x, AllZeroStrokeMakesTheRatesNaN)
{
    // Ground wires far below the ground line: no wire is ever exposed, every
    // stroke's total is 0 and the division carries NaN into the rates.
    RateInputs in;
    in.geometry = {9.89, -9.89, 11.2, -11.2, -500, -500, -500, -500};
    const RateResult r = ratesOf(in);
    EXPECT_TRUE(std::isnan(r.rateTotal));
    const RateResult literal = ratesOf(in, StrokeEvaluation::literal);
    EXPECT_SAME_BITS(literal.rateTotal, r.rateTotal);
}

} // namespace
