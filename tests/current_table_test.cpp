// Peak-current distributions given as data: the CIGRE curve against the
// log-normals it is made of, and tables against the curve they sample.
#include <cmath>
#include <gtest/gtest.h>

#include "egm/current_table.h"
#include "egm/types.h"
#include "striking_law.h"

namespace egm {
namespace {

using model::cigreDensity;

// Simpson's rule of f over [a, b] in n (even) steps.
template <class F> double simpson(F f, double a, double b, int n)
{
    const double h = (b - a) / n;
    double s = f(a) + f(b);
    for (int k = 1; k < n; ++k) {
        s += (k % 2 == 1 ? 4.0 : 2.0) * f(a + k * h);
    }
    return s * h / 3.0;
}

// P(ln I > ln x) of a log-normal, from the complementary error function.
double logNormalExceedance(double x, double median, double sigma)
{
    return 0.5 * std::erfc((std::log(x) - std::log(median)) / (sigma * std::sqrt(2.0)));
}

TEST(CurrentDistributions, CigrePartsAreTheirLogNormals)
{
    // Each part's density integrates to its own log-normal's probability.
    EXPECT_NEAR(simpson(cigreDensity, 3.0, 19.999999, 20000),
                logNormalExceedance(3.0, 61.1, 1.33) - logNormalExceedance(19.999999, 61.1, 1.33), 1e-9);
    EXPECT_NEAR(simpson(cigreDensity, 20.0, 2000.0, 200000), logNormalExceedance(20.0, 33.3, 0.605), 1e-9);
    // The upper part's median is 33.3 kA: half of its strokes lie above.
    EXPECT_NEAR(simpson(cigreDensity, 33.3, 5000.0, 400000), 0.5, 1e-9);
}

// The built-in curve P(> I) = 1 / (1 + (I / 31)^2.8).
double builtInExceedance(double current)
{
    return 1.0 / (1.0 + std::pow(current / 31.0, 2.8));
}

CurrentTable sampledBuiltIn(double step)
{
    std::vector<double> current;
    std::vector<double> probability;
    for (double i = step; i <= 400.0; i += step) {
        current.push_back(i);
        probability.push_back(builtInExceedance(i));
    }
    EXPECT_EQ(CurrentTable::check(current, probability), "");
    return {current, probability};
}

TEST(CurrentDistributions, TableOfTheBuiltInCurveGivesItsDensity)
{
    const CurrentTable table = sampledBuiltIn(1.0);
    const CurrentDistribution builtIn;
    for (double i = 2.5; i < 300.0; i += 0.7) {
        const double exact = currentDensity(builtIn, i);
        // A 1 kA table bends too coarsely for the density's fast rise below
        // some 15 kA; above, the interpolation is within 0.2%.
        EXPECT_NEAR(table.density(i), exact, (i < 15.0 ? 5e-2 : 2e-3) * exact) << i;
        EXPECT_NEAR(table.exceedance(i), builtInExceedance(i), 1e-5) << i;
    }
    // Finer tables come closer.
    const CurrentTable fine = sampledBuiltIn(0.25);
    EXPECT_LT(std::fabs(fine.density(23.7) - currentDensity(builtIn, 23.7)),
              std::fabs(table.density(23.7) - currentDensity(builtIn, 23.7)));
}

TEST(CurrentDistributions, TableFallsMonotonicallyThroughItsPoints)
{
    // A table with a steep drop and a nearly flat tail: no overshoot.
    const std::vector<double> current{2.0, 5.0, 10.0, 20.0, 40.0, 80.0, 200.0};
    const std::vector<double> probability{0.99, 0.98, 0.9, 0.5, 0.45, 0.05, 0.001};
    ASSERT_EQ(CurrentTable::check(current, probability), "");
    const CurrentTable table(current, probability);
    for (std::size_t k = 0; k < current.size(); ++k) {
        EXPECT_EQ(table.exceedance(current[k]), probability[k]) << k;
    }
    double previous = 1.0;
    for (double i = 1.0; i <= 210.0; i += 0.01) {
        const double p = table.exceedance(i);
        EXPECT_LE(p, previous + 1e-15) << i; // rounding at the points aside
        EXPECT_GE(table.density(i), 0.0) << i;
        previous = p;
    }
    // The density is the fall of the curve: over a piece, its integral is
    // the fall between the points.
    EXPECT_NEAR(simpson([&](double i) { return table.density(i); }, 20.0, 40.0, 2000), 0.05, 1e-12);
    EXPECT_EQ(table.density(1.0), 0.0);
    EXPECT_EQ(table.density(250.0), 0.0);
}

TEST(CurrentDistributions, TablesThatAreNoDistributionAreRefused)
{
    struct Case {
        std::vector<double> current;
        std::vector<double> probability;
        const char* message;
    };
    const Case cases[] = {
        {{10.0}, {0.5}, "a current table needs at least two rows of current and probability"},
        {{10.0, 10.0}, {0.5, 0.4}, "row 2: current 10 kA: the currents must increase strictly"},
        {{10.0, 20.0},
         {0.5, 0.5},
         "row 2: probability 0.5: P(peak > I) must fall strictly as the current rises"},
        {{10.0, 20.0}, {1.5, 0.5}, "row 1: probability 1.5: must lie between 0 and 1"},
        {{0.0, 20.0}, {0.9, 0.5}, "row 1: current 0 kA: must be a finite number greater than 0 kA"},
        {{10.0, NAN}, {0.9, 0.5}, "row 2: current nan kA: must be a finite number greater than 0 kA"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CurrentTable::check(c.current, c.probability), c.message);
    }
}

} // namespace
} // namespace egm

#include <sstream>

#include "current_table_file.h"
#include "egm/shielding.h"

namespace egm {
namespace {

TEST(CurrentDistributions, TableOfTheBuiltInCurveGivesItsRates)
{
    // Sampled every 0.5 kA, the table gives the built-in curve's rates
    // within the interpolation's error (its density within 0.2% from 15 kA).
    Inputs builtIn;
    builtIn.lowestCurrent = 15.0;
    Inputs table = builtIn;
    table.distribution.kind = CurrentDistribution::Kind::table;
    table.distribution.table = sampledBuiltIn(0.5);
    for (const RateMethod method : {RateMethod::share, RateMethod::exposure}) {
        builtIn.rateMethod = table.rateMethod = method;
        const Result a = computeRates(builtIn);
        const Result b = computeRates(table);
        EXPECT_NEAR(b.totalRate, a.totalRate, 2e-3 * a.totalRate) << rateMethodName(method);
        EXPECT_EQ(b.conductors[0].maxCurrent.current, a.conductors[0].maxCurrent.current);
    }
    // The CIGRE curve has fewer strokes below 20 kA than the built-in one
    // and gives a finite rate of its own.
    Inputs cigre;
    cigre.distribution.kind = CurrentDistribution::Kind::cigre;
    cigre.lowestCurrent = 3.0;
    EXPECT_GT(computeRates(cigre).totalRate, 0.0);
    // A table distribution without its table is refused.
    Inputs none;
    none.distribution.kind = CurrentDistribution::Kind::table;
    EXPECT_THROW(computeRates(none), InputError);
}

TEST(CurrentDistributions, TableFilesOfAnythingButADistributionAreRefused)
{
    struct Case {
        const char* name;
        const char* text;
        const char* refusal; // empty: read
    };
    const Case cases[] = {
        {"a distribution", "current,probability\n5,0.95\n# a comment\n20,0.6\n100,0.05\n", ""},
        {"columns the other way round", "Probability, Current\n0.95,5\n0.6,20\n", ""},
        {"empty", "",
         "current table 'p.csv', line 1: the file is empty: it needs a header naming the columns current and "
         "probability"},
        {"a column missing", "current\n5\n20\n",
         "current table 'p.csv', line 1: column 'probability' is missing"},
        {"semicolons", "current;probability\n5;0.9\n",
         "current table 'p.csv', line 1: column 'current;probability': the columns are current and "
         "probability, separated by commas"},
        {"rising", "current,probability\n5,0.9\n20,0.95\n",
         "current table 'p.csv', line 3: probability 0.95: P(peak > I) must fall strictly as the current "
         "rises"},
        {"a percentage", "current,probability\n5,95\n20,60\n",
         "current table 'p.csv', line 2: probability 95: must lie between 0 and 1"},
        {"one row", "current,probability\n5,0.9\n",
         "current table 'p.csv', line 1: a current table needs at least two rows of current and probability"},
        {"text", "current,probability\n5kA,0.9\n20,0.5\n",
         "current table 'p.csv', line 2: current '5kA' is not a number"},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.text);
        std::string refusal;
        try {
            io::readCurrentTable(in, "p.csv");
        } catch (const io::CurrentTableFileError& e) {
            refusal = e.what();
        }
        EXPECT_EQ(c.refusal, refusal) << c.name;
    }
}

} // namespace
} // namespace egm
