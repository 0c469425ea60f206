// The sound evaluation: its reference figures (computed independently of
// this code base), mirror and relabelling invariance, no jumps between
// neighbouring incidence angles, no width without an exposed arc.
#include <cmath>

#include "EGM_DQ.h"
#include "bits.h"
#include "egm/shielding.h"
#include "integration.h"
#include "reference_lines.h"
#include "sound_stroke.h"
#include "striking_law.h"

namespace {

using namespace egm::model;

// Independent figures are quoted to 1e-12 relative.
constexpr double kRelative = 1e-12;

::testing::AssertionResult closeTo(const char*, const char* actualText, double expected, double actual)
{
    if (std::abs(actual - expected) <= kRelative * std::max(std::abs(expected), std::abs(actual))) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << actualText << " is " << describe(actual) << ", expected " << describe(expected);
}
#define EXPECT_CLOSE(expected, actual) EXPECT_PRED_FORMAT2(closeTo, expected, actual)

egm::Result sound(const egm::Inputs& in)
{
    egm::Options options;
    options.classicalMaxCurrents = false;
    return egm::computeRates(in, options);
}

egm::Inputs mirrored(const egm::Inputs& in)
{
    egm::Inputs m = in;
    m.line.groundWire1 = {-in.line.groundWire2.x, in.line.groundWire2.height};
    m.line.groundWire2 = {-in.line.groundWire1.x, in.line.groundWire1.height};
    m.line.conductor1 = {-in.line.conductor2.x, in.line.conductor2.height};
    m.line.conductor2 = {-in.line.conductor1.x, in.line.conductor1.height};
    m.slope = -in.slope;
    m.voltageTerm = -in.voltageTerm;
    return m;
}

const egm::Line kAsymmetric = {{12, 50}, {-8, 45}, {15, 38}, {-10, 33}};

TEST(SoundEvaluation, ReferenceFigures)
{
    struct Case {
        double slope;
        double voltageTerm;
        double c1, c2, total;
    };
    const Case cases[] = {
        {0.0, 0.8, 0.2358919590335511, 0.0010506941374263641, 0.23694265317097735},
        {0.0, 0.0, 0.05173127334683215, 0.05173127334683218, 0.10346254669366434},
        {20.0, 0.8, 2.173870136865765, 0.0, 2.173870136865765},
        {-20.0, 0.8, 0.0, 0.6012374115803922, 0.6012374115803922},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slope);
        egm::Inputs in;
        in.slope = c.slope;
        in.voltageTerm = c.voltageTerm;
        const egm::Result r = sound(in);
        EXPECT_CLOSE(c.c1, r.rates.conductor1);
        EXPECT_CLOSE(c.c2, r.rates.conductor2);
        EXPECT_CLOSE(c.total, r.rates.total);
    }
}

TEST(SoundEvaluation, ReferenceWidthsAroundVerticalIncidence)
{
    egm::Inputs in;
    in.slope = 20.0;
    const std::vector<std::array<double, 4>> rows = egm::strokesAtCurrent(in, 23.5);
    const double quoted[3][4] = {{104.9415, 59.4412, 18.7315, 0.0},
                                 {104.3911, 60.7648, 17.8476, 0.0},
                                 {103.8089, 62.0937, 16.9770, 0.0}};
    for (int k = 0; k < 3; ++k) {
        for (int w = 0; w < 4; ++w) {
            EXPECT_NEAR(quoted[k][w], rows[88 + k][w], 5e-5) << "degree " << 89 + k << ", wire " << w + 1;
        }
    }
}

TEST(SoundEvaluation, WidthsWhereTheModelsOwnRulesAreSoundAreUnchanged)
{
    // At 30 degrees (strokes from the +x side, conductor 2 far behind the
    // line) both evaluations take the same points: the same bits.
    egm::Inputs in;
    in.voltageTerm = 0.0;
    const auto soundRows = egm::strokesAtCurrent(in, 23.5);
    in.evaluation = egm::Evaluation::compat;
    const auto compatRows = egm::strokesAtCurrent(in, 23.5);
    const double quoted[4] = {111.4620, 39.6044, 12.2605, 0.0};
    for (int w = 0; w < 4; ++w) {
        EXPECT_SAME_BITS(compatRows[29][w], soundRows[29][w]) << "wire " << w + 1;
        EXPECT_NEAR(quoted[w], soundRows[29][w], 5e-5);
    }
}

TEST(SoundEvaluation, MirroredLineExchangesTheConductorsRates)
{
    for (const egm::Line& line : {egm::Line{}, kAsymmetric}) {
        for (double slope : {-25.0, 0.0, 10.0, 25.0}) {
            for (double u : {0.0, 0.8}) {
                SCOPED_TRACE(std::to_string(line.groundWire1.x) + " slope " + std::to_string(slope) + " U " +
                             std::to_string(u));
                egm::Inputs in;
                in.line = line;
                in.slope = slope;
                in.voltageTerm = u;
                const egm::Result a = sound(in);
                const egm::Result b = sound(mirrored(in));
                EXPECT_CLOSE(a.rates.conductor1, b.rates.conductor2);
                EXPECT_CLOSE(a.rates.conductor2, b.rates.conductor1);
                EXPECT_CLOSE(a.rates.total, b.rates.total);
                EXPECT_EQ(a.maxCurrent[0].current, b.maxCurrent[1].current);
            }
        }
    }
}

TEST(SoundEvaluation, TurnedCentresOfTheMirroredLineAreMirrorImages)
{
    const LineGeometry g = {12, -8, 15, -10, 50, 45, 38, 33};
    for (double slope : {-25.0, 7.0, 33.0}) {
        CurrentStep line{};
        CurrentStep mirror{};
        prepareCurrentStep(40.0, slope, g, 0.8, line);
        prepareCurrentStep(40.0, -slope, mirroredGeometry(g), -0.8, mirror);
        const int partner[4] = {1, 0, 3, 2};
        for (int i = 0; i < 4; ++i) {
            EXPECT_SAME_BITS(-line.x[i], mirror.x[partner[i]]) << slope << " wire " << i + 1;
            EXPECT_SAME_BITS(line.y[i], mirror.y[partner[i]]) << slope << " wire " << i + 1;
            EXPECT_SAME_BITS(line.r[i], mirror.r[partner[i]]) << slope << " wire " << i + 1;
        }
    }
}

TEST(SoundEvaluation, LineGivenTheOtherWayRoundKeepsItsLabels)
{
    for (double slope : {-15.0, 0.0, 22.0}) {
        egm::Inputs in;
        in.line = kAsymmetric;
        in.slope = slope;
        egm::Inputs swapped = in;
        swapped.line = {in.line.groundWire2, in.line.groundWire1, in.line.conductor2, in.line.conductor1};
        swapped.voltageTerm = -in.voltageTerm;
        const egm::Result a = sound(in);
        const egm::Result b = sound(swapped);
        EXPECT_SAME_BITS(a.rates.conductor1, b.rates.conductor2) << slope;
        EXPECT_SAME_BITS(a.rates.conductor2, b.rates.conductor1) << slope;
        EXPECT_SAME_BITS(a.rates.total, b.rates.total) << slope;
        EXPECT_EQ(a.maxCurrent[1].current, b.maxCurrent[0].current);
        ASSERT_EQ(1u, b.notes.size());
        EXPECT_NE(std::string::npos, b.notes[0].find("computed with the sides exchanged")) << b.notes[0];
        const auto rowsA = egm::strokesAtCurrent(in, 30.0);
        const auto rowsB = egm::strokesAtCurrent(swapped, 30.0);
        for (int l = 0; l < 180; l += 13) {
            EXPECT_SAME_BITS(rowsA[l][0], rowsB[l][1]);
            EXPECT_SAME_BITS(rowsA[l][2], rowsB[l][3]);
        }
    }
}

// No wire's width changes between neighbouring degrees by more than 2 m and
// half its size at once.
TEST(SoundEvaluation, NoJumpsBetweenNeighbouringAngles)
{
    const LineGeometry lines[] = {
        {9.89, -9.89, 11.2, -11.2, 57, 57, 42, 42},
        {12, -8, 15, -10, 50, 45, 38, 33},
        {5, -5, 9, -9, 30, 30, 22, 22},
        {18.35, -14.72, 18.83, -20.67, 70.95, 73.43, 61.89, 52.46},
    };
    const auto jumps = [&](StrokeRule rule) {
        int count = 0;
        for (const LineGeometry& g : lines) {
            for (double slope = -30.0; slope <= 30.0; slope += 10.0) {
                for (double current = 5.0; current <= 120.0; current += 5.0) {
                    IntegrationCase in;
                    in.geometry = g;
                    in.slopeAngle = slope;
                    StrokeExposure widths[180];
                    strokesAt(in, rule, current, widths);
                    for (int l = 1; l < 179; ++l) {
                        for (int w = 0; w < 4; ++w) {
                            const double step = std::abs(widths[l][w] - widths[l - 1][w]);
                            count += step > 2.0 && step > 0.5 * std::max(widths[l][w], widths[l - 1][w]);
                        }
                    }
                }
            }
        }
        return count;
    };
    EXPECT_EQ(0, jumps(StrokeRule::sound));
    EXPECT_GT(jumps(StrokeRule::compat), 100); // the model's own rules jump
}

TEST(SoundEvaluation, NoExposedArcNoWidth)
{
    struct Case {
        const char* name;
        LineGeometry geometry;
        double slope;
        double current;
        int wire;
    };
    // Ground wire 1 low and inside ground wire 2's circle: its slot is
    // empty, and the trim at the striking line must not make an arc of it.
    // And a ground wire whose arc lies wholly below the striking line.
    const Case cases[] = {
        {"covered ground wire",
         {14.2836, -3.18189, 15.3829, -7.70291, 22.3637, 64.367, 17.8249, 60.4589},
         -25.1581,
         126.451,
         0},
        {"arc below the striking line",
         {15.6353, -14.7833, 21.4315, -19.4341, 18.0231, 75.6688, 7.97222, 45.0428},
         -34.3852,
         44.1488,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IntegrationCase in;
        in.geometry = c.geometry;
        in.slopeAngle = c.slope;
        SoundCurrentStep step{};
        prepareSoundCurrentStep(distancesAt(in, c.current), c.slope, c.geometry, step);
        EXPECT_FALSE(step.wire[c.wire].exposed);
        StrokeExposure widths[180];
        strokesAt(in, StrokeRule::sound, c.current, widths);
        for (int l = 0; l < 180; ++l) {
            ASSERT_EQ(bitsOf(0.0), bitsOf(widths[l][c.wire])) << "degree " << l + 1;
        }
    }
}

TEST(SoundEvaluation, AStrokeNoWireCollectsAddsNothing)
{
    // Every wire below the ground: no wire has an exposed arc, no stroke is
    // collected, and the shares the sound evaluation adds are all 0, not
    // the NaN of a division by a zero total.
    IntegrationCase in;
    in.geometry = {9.89, -9.89, 11.2, -11.2, -500, -500, -500, -500};
    std::vector<double> sums;
    IntegrationTotals totals;
    integrate(in, StrokeRule::sound, totals, {nullptr, &sums, nullptr});
    for (double s : sums) {
        ASSERT_EQ(bitsOf(0.0), bitsOf(s));
    }
    StrokeExposure widths[180];
    strokesAt(in, StrokeRule::sound, 23.5, widths);
    for (const StrokeExposure& w : widths) {
        ASSERT_EQ(0.0, ((w[1] + w[0]) + w[2]) + w[3]);
    }
}

TEST(SoundEvaluation, CompatReproducesEgmShieldingOnTheIndependentLines)
{
    for (const ReferenceLine& line : loadIndependentRates()) {
        SCOPED_TRACE(line.name);
        const IntegrationCase& c = line.inputs;
        egm::Inputs in;
        in.flashDensity = c.flashDensity;
        in.slope = c.slopeAngle;
        in.lowestCurrent = c.minCurrent;
        in.line = lineOf(c.geometry);
        in.voltageTerm = c.voltageTerm;
        in.distribution = c.distribution;
        in.evaluation = egm::Evaluation::compat;
        egm::Options options;
        options.maxCurrents = false;
        options.classicalMaxCurrents = false;
        const egm::Result r = egm::computeRates(in, options);
        EXPECT_SAME_BITS(line.rateC1, r.rates.conductor1);
        EXPECT_SAME_BITS(line.rateC2, r.rates.conductor2);
        EXPECT_SAME_BITS(line.rateTotal, r.rates.total);
    }
}

TEST(SoundEvaluation, ExposureRecordIgnoresNaNWidths)
{
    // Conductor 1 out at a height of 1e308 m: many of its widths are NaN,
    // which is no exposure. Each current's record against the widths.
    IntegrationCase in;
    in.geometry = {9.89, -9.89, 11.2, -11.2, 57, 57, 1e308, 42};
    for (const StrokeRule rule : {StrokeRule::compat, StrokeRule::sound}) {
        std::vector<unsigned char> exposed;
        std::vector<double> widths;
        IntegrationTotals totals;
        integrate(in, rule, totals, {&widths, nullptr, &exposed});
        int nan = 0;
        for (std::size_t j = 0; j < exposed.size(); ++j) {
            bool any[2] = {false, false};
            for (int l = 0; l < 180; ++l) {
                for (int c = 0; c < 2; ++c) {
                    const double w = widths[(j * 180 + l) * 4 + 2 + c];
                    nan += std::isnan(w);
                    any[c] = any[c] || (w != 0.0 && !std::isnan(w));
                }
            }
            EXPECT_EQ(any[0], (exposed[j] & 1) != 0) << j;
            EXPECT_EQ(any[1], (exposed[j] & 2) != 0) << j;
        }
        EXPECT_GT(nan, 1000);
    }
}

} // namespace
