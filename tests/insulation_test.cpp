// Critical currents of conductors from their insulation, against figures
// worked out by hand and the limits the formulas must reach.
#include <cmath>
#include <gtest/gtest.h>

#include "insulation.h"

namespace egm::model {
namespace {

// Figures quoted to their printed digits.
constexpr double kPrinted = 5e-4;

TEST(Insulation, CoronaImpedanceOfAConductorAt20Metres)
{
    // h 20 m, r 14.1 mm, CFO 1210 kV: R_c 0.1432 m, Z 401.50 ohm under
    // corona (477.0 without), Ic 6.027 kA.
    const std::optional<double> rc = coronaRadius(1210.0, 20.0);
    ASSERT_TRUE(rc);
    EXPECT_NEAR(*rc, 0.1432, kPrinted);
    EXPECT_NEAR(surgeImpedance(20.0, 0.0141, *rc), 401.50, 0.005);
    EXPECT_NEAR(surgeImpedance(20.0, 0.0141, 0.0141), 477.0, 0.05);
    Insulation in;
    in.cfo = 1210.0;
    in.conductorRadius = 0.0141;
    EXPECT_EQ(insulationError(in, 20.0), "");
    EXPECT_NEAR(*criticalCurrent(in, 20.0), 6.027, kPrinted);
}

TEST(Insulation, CoronaRadiusMeetsItsEquation)
{
    for (const double h : {8.0, 20.0, 42.0, 90.0}) {
        for (const double cfo : {50.0, 600.0, 1210.0, 3000.0}) {
            const std::optional<double> rc = coronaRadius(cfo, h);
            ASSERT_TRUE(rc) << h << " " << cfo;
            EXPECT_NEAR(*rc * std::log(2.0 * h / *rc), cfo / kCoronaGradient, 1e-12) << h << " " << cfo;
            EXPECT_LT(*rc, 2.0 * h / std::exp(1.0));
        }
    }
    // Beyond the branch's greatest value 2h / e no sheath fits.
    EXPECT_FALSE(coronaRadius(kCoronaGradient * 2.0 * 5.0 / std::exp(1.0) * 1.001, 5.0));
}

TEST(Insulation, CoronaImpedanceTendsToTheBareConductorsAsTheSurgeVanishes)
{
    // With CFO -> 0 the sheath shrinks to the conductor, which is then taken
    // as it is: Z rises to 60 ln(2h / r).
    const double h = 30.0;
    const double r = 0.02;
    double previous = 0.0;
    for (const double cfo : {3000.0, 1000.0, 100.0, 10.0, 1.0, 0.1}) {
        const double z = surgeImpedance(h, r, std::max(*coronaRadius(cfo, h), r));
        EXPECT_GE(z, previous) << cfo; // a thinner sheath, a higher impedance
        previous = z;
    }
    EXPECT_DOUBLE_EQ(previous, 60.0 * std::log(2.0 * h / r));
    Insulation in{.cfo = 0.1, .conductorRadius = r};
    EXPECT_DOUBLE_EQ(*criticalCurrent(in, h), 2.0 * 0.1 / (60.0 * std::log(2.0 * h / r)));
}

TEST(Insulation, PrecedenceAndBundles)
{
    struct Case {
        const char* what;
        Insulation in;
        double height;
        double ic;
    };
    const double twin = std::sqrt(2.0 * 0.015 * 0.2); // (n r R^(n-1))^(1/n), n = 2
    const double rcTwin = std::max(*coronaRadius(1500.0, 25.0), twin);
    const Case cases[] = {
        {"given", {.criticalCurrent = 9.5}, 20.0, 9.5},
        {"CFO with Z", {.cfo = 1500.0, .surgeImpedance = 400.0}, 20.0, 7.5},
        {"insulation length with Z",
         {.insulationLength = 2.0, .surgeImpedance = 300.0},
         20.0,
         2.0 * 1210.0 / 300.0},
        {"Z before geometry", {.cfo = 1500.0, .surgeImpedance = 400.0, .conductorRadius = 0.01}, 20.0, 7.5},
        {"twin bundle",
         {.cfo = 1500.0, .conductorRadius = 0.015, .subconductors = 2.0, .bundleRadius = 0.2},
         25.0,
         2.0 * 1500.0 / (60.0 * std::sqrt(std::log(50.0 / twin) * std::log(50.0 / rcTwin)))},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(insulationError(c.in, c.height), "") << c.what;
        EXPECT_NEAR(*criticalCurrent(c.in, c.height), c.ic, 1e-12 * c.ic) << c.what;
    }
    EXPECT_FALSE(criticalCurrent(Insulation{}, 20.0));
    EXPECT_DOUBLE_EQ(equivalentRadius(1, 0.01, 0.0), 0.01);
    // Four subconductors on a circle of radius R: (4 r R^3)^(1/4).
    EXPECT_NEAR(equivalentRadius(4, 0.01, 0.3), std::pow(4.0 * 0.01 * 0.027, 0.25), 1e-15);
}

TEST(Insulation, BadInputIsNamedWithItsValue)
{
    struct Case {
        Insulation in;
        const char* message;
    };
    const Case cases[] = {
        {{.criticalCurrent = 0.0}, "critical-current 0 kA: must be greater than 0 kA and at most 1000 kA"},
        {{.cfo = -3.0, .surgeImpedance = 400.0}, "cfo -3 kV: must be greater than 0 kV and at most 10000 kV"},
        {{.cfo = 1000.0, .surgeImpedance = 0.0},
         "surge-impedance 0 ohm: must be greater than 0 ohm and at most 2000 ohm"},
        {{.cfo = 1000.0, .surgeImpedance = 1e6},
         "surge-impedance 1e+06 ohm: must be greater than 0 ohm and at most 2000 ohm"},
        {{.criticalCurrent = 9.0, .cfo = 1000.0},
         "critical-current 9 kA and cfo 1000 kV: give the critical current or the insulation, not both"},
        {{.cfo = 1000.0}, "cfo 1000 kV: needs the surge-impedance or the conductor-radius"},
        {{.cfo = 1000.0, .conductorRadius = 20.0},
         "conductor-radius 20 m: must be greater than 0 m and less than 1 m"},
        {{.cfo = 1000.0, .conductorRadius = 0.01, .subconductors = 2.0},
         "subconductors 2: a bundle needs its bundle-radius"},
        {{.cfo = 1000.0, .conductorRadius = 0.01, .subconductors = 2.5, .bundleRadius = 0.2},
         "subconductors 2.5: must be a whole number from 1 to 16"},
        {{.surgeImpedance = 400.0},
         "surge-impedance and conductor-radius need the insulation's cfo or insulation-length"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(insulationError(c.in, 20.0), c.message);
    }
    // A radius not below a low conductor's height names the height.
    Insulation low{.cfo = 1000.0, .conductorRadius = 0.5};
    EXPECT_EQ(
        insulationError(low, 0.4),
        "conductor-radius 0.5 m: must be greater than 0 m and less than 0.4 m (the conductor's height)");
}

TEST(Insulation, ThunderDays)
{
    // N_g = 0.04 T^1.25: 16 thunder days give 0.04 * 32 = 1.28 exactly.
    EXPECT_EQ(flashDensityOfThunderDays(16.0), 1.28);
    EXPECT_NEAR(flashDensityOfThunderDays(30.0), 0.04 * std::pow(30.0, 1.25), 1e-15);
}

} // namespace
} // namespace egm::model
