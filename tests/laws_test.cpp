// Striking-distance laws and current distributions: the laws' distances
// against values worked out apart from the code, the classical maximum
// shielding failure current against a closed form, the log-normal density
// against its distribution function.
#include <cmath>

#include "bits.h"
#include "egm/shielding.h"

namespace {

using Kind = egm::StrikingLaw::Kind;

TEST(Laws, StrikingDistancesAtThreeCurrents)
{
    struct Case {
        Kind law;
        double current;
        double wires; // m
        double g;     // m
    };
    // Worked out apart from the code; the ground factor of the built-in line
    // (mean ground-wire height 57 m) is 0.55.
    const Case cases[] = {
        {Kind::ieee1992, 10, 44.66835921509632, 0.55 * 44.66835921509632},
        {Kind::ieee1992, 31, 93.19338808764961, 0.55 * 93.19338808764961},
        {Kind::love, 100, 199.526231496888, 199.526231496888},
        {Kind::love, 10, 44.66835921509632, 44.66835921509632},
        {Kind::brownWhitehead, 10, 39.92623408851478, 35.98984481218235},
        {Kind::brownWhitehead, 31, 93.27808449704627, 84.0816536311403},
        {Kind::brownWhitehead, 100, 224.52171387195492, 202.3857702507763},
        {Kind::armstrongWhitehead, 10, 42.27414208017296, 37.8574406688116},
        {Kind::armstrongWhitehead, 31, 104.51151847639136, 93.5924046057236},
        {Kind::armstrongWhitehead, 100, 266.7318042708432, 238.86430233209842},
        {Kind::builtIn, 10, 44.693298587096834, 0.55 * 44.693298587096834},
        {Kind::builtIn, 100, 199.75258532139088, 0.55 * 199.75258532139088},
    };
    for (const Case& c : cases) {
        egm::StrikingLaw law;
        law.kind = c.law;
        const egm::StrikingDistances d =
            egm::strikingDistances(law, c.current, egm::towerOf(egm::Line{}, 0.0));
        const std::string name = std::string(egm::lawName(c.law)) + " at " + std::to_string(c.current);
        ASSERT_EQ(4u, d.wire.size());
        for (const double r : d.wire) {
            EXPECT_NEAR(c.wires, r, 1e-9 * c.wires) << name;
        }
        EXPECT_NEAR(c.g, d.groundStrikeHeight, 1e-9 * c.g) << name;
        // The ground attracts less than the wires, or as much (Love).
        EXPECT_GE(d.wire[2], d.groundStrikeHeight) << name;
    }
    // A ground-wire height below 40 m changes k_g: 0.36 + 0.17 ln(43 - 30).
    egm::Line low;
    low.groundWire1.height = low.groundWire2.height = 30.0;
    egm::StrikingLaw ieee;
    ieee.kind = Kind::ieee1992;
    EXPECT_NEAR(0.7960413907684613 * 44.66835921509632,
                egm::strikingDistances(ieee, 10, egm::towerOf(low, 0.0)).groundStrikeHeight, 1e-9);
    // Without ground wires the conductors' mean height sets k_g.
    const egm::Tower conductorsOnly{{egm::TowerWire{egm::WireKind::conductor, -4, 28, 0, {}},
                                     egm::TowerWire{egm::WireKind::conductor, 4, 32, 0, {}}}};
    EXPECT_NEAR(0.7960413907684613 * 44.66835921509632,
                egm::strikingDistances(ieee, 10, conductorsOnly).groundStrikeHeight, 1e-9);
    // The built-in law's voltage term, each conductor its own:
    // 1.63 (5.015 I^0.578 + U)^1.125.
    const egm::StrikingDistances builtIn =
        egm::strikingDistances(egm::StrikingLaw{}, 10, egm::towerOf(egm::Line{}, 0.8));
    EXPECT_NEAR(44.693298587096834, builtIn.wire[0], 1e-9);
    EXPECT_NEAR(46.81821997786315, builtIn.wire[2], 1e-9);
    EXPECT_NEAR(0.55 * 44.693298587096834, builtIn.groundStrikeHeight, 1e-9);
    // A custom law, both ways of giving G.
    egm::StrikingLaw custom;
    custom.kind = Kind::custom;
    custom.a = 8.0;
    custom.b = 0.65;
    custom.c = 6.0;
    custom.d = 0.7;
    EXPECT_NEAR(8.0 * std::pow(20.0, 0.65),
                egm::strikingDistances(custom, 20, egm::towerOf(egm::Line{}, 0)).wire[0], 1e-9);
    EXPECT_NEAR(6.0 * std::pow(20.0, 0.7),
                egm::strikingDistances(custom, 20, egm::towerOf(egm::Line{}, 0)).groundStrikeHeight, 1e-9);
    custom.beta = 0.8;
    EXPECT_NEAR(0.8 * 8.0 * std::pow(20.0, 0.65),
                egm::strikingDistances(custom, 20, egm::towerOf(egm::Line{}, 0)).groundStrikeHeight, 1e-9);
}

TEST(Laws, BuiltInLawAndDistributionKeepTheirBits)
{
    egm::Inputs in;
    in.evaluation = egm::Evaluation::compat;
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, egm::computeRates(in).totalRate);
}

// A ground wire and a conductor on flat ground with equal striking
// distances r(I): their circles cross on the bisector of the two wires; the
// conductor is exposed to vertical strokes while the upper crossing point
// lies above the ground's striking line. The test finds where it reaches
// the line by its own bisection on I.
double crossingReachesTheLine(double (*r)(double), double (*g)(double), double xg, double hg, double xc,
                              double hc)
{
    const auto above = [&](double current) {
        const double dx = xc - xg;
        const double dy = hc - hg;
        const double d = std::sqrt(dx * dx + dy * dy);
        const double rad = r(current);
        const double along = std::sqrt(rad * rad - d * d / 4.0);
        const double upperY = (hg + hc) / 2.0 + std::abs(dx) / d * along;
        return upperY > g(current);
    };
    double lo = 1.0;
    double hi = 1000.0;
    while (hi - lo > 1e-7) {
        const double middle = (lo + hi) / 2.0;
        (above(middle) ? lo : hi) = middle;
    }
    return lo;
}

TEST(Laws, ClassicalMaximumCurrentMeetsTheClosedForm)
{
    struct Geometry {
        double xg, hg, xc, hc;
    };
    const Geometry geometries[] = {{4.0, 30.0, 9.0, 24.0}, {2.0, 20.0, 7.5, 14.0}};
    struct Law {
        Kind kind;
        double (*r)(double);
        double (*g)(double);
    };
    const Law laws[] = {
        {Kind::love, [](double i) { return 10.0 * std::pow(i, 0.65); },
         [](double i) { return 10.0 * std::pow(i, 0.65); }},
        {Kind::brownWhitehead, [](double i) { return 7.1 * std::pow(i, 0.75); },
         [](double i) { return 6.4 * std::pow(i, 0.75); }},
    };
    for (const Law& law : laws) {
        for (const Geometry& g : geometries) {
            SCOPED_TRACE(std::string(egm::lawName(law.kind)) + " ground wire at " + std::to_string(g.hg) +
                         " m");
            egm::Inputs in;
            in.law.kind = law.kind;
            // The other side's pair far away, where it cannot interfere, with
            // its conductor 3 m outside its ground wire: its own closed form.
            in.tower = egm::towerOf({{g.xg, g.hg}, {-997.0, g.hg}, {g.xc, g.hc}, {-1000.0, g.hc}}, 0.0);
            for (const egm::Evaluation evaluation :
                 {egm::Evaluation::firstContact, egm::Evaluation::compat}) {
                in.evaluation = evaluation;
                SCOPED_TRACE(egm::evaluationName(evaluation));
                const egm::Result r = egm::computeRates(in);
                const double closed[2] = {crossingReachesTheLine(law.r, law.g, g.xg, g.hg, g.xc, g.hc),
                                          crossingReachesTheLine(law.r, law.g, 997.0, g.hg, 1000.0, g.hc)};
                ASSERT_GT(std::abs(closed[0] - closed[1]), 0.1);
                for (int c = 0; c < 2; ++c) {
                    const egm::MaxCurrent& m = r.conductors[c].classicalMaxCurrent;
                    ASSERT_TRUE(m.current.has_value()) << "conductor " << c + 1;
                    EXPECT_FALSE(m.exposedAtTop);
                    EXPECT_NEAR(closed[c], *m.current, 0.01) << "conductor " << c + 1;
                }
            }
        }
    }
}

double normalBelow(double z)
{
    return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

TEST(Distributions, LogNormalDensityIntegratesToItsDistribution)
{
    egm::CurrentDistribution d;
    d.kind = egm::CurrentDistribution::Kind::logNormal;
    for (const double from : {0.5, 23.5}) {
        const double to = from + 200.0;
        // Trapezoids of 0.001 kA.
        const int n = 200000;
        const double h = (to - from) / n;
        double sum = 0.5 * (egm::currentDensity(d, from) + egm::currentDensity(d, to));
        for (int k = 1; k < n; ++k) {
            sum += egm::currentDensity(d, from + k * h);
        }
        const double inRange = normalBelow((std::log(to) - std::log(31.1)) / 0.484) -
                               normalBelow((std::log(from) - std::log(31.1)) / 0.484);
        EXPECT_NEAR(inRange, sum * h, 1e-6) << from;
    }
    // The built-in distribution: P(>I) = 1 / (1 + (I/31)^2.8), its density.
    egm::CurrentDistribution builtIn;
    const double i = 40.0;
    const double q = i / 31.0;
    EXPECT_NEAR(2.8 * std::pow(q, 1.8) / (31.0 * std::pow(1.0 + std::pow(q, 2.8), 2.0)),
                egm::currentDensity(builtIn, i), 1e-15);
}

TEST(Distributions, LogNormalChangesTheRatesNotTheGeometry)
{
    egm::Inputs in;
    in.distribution.kind = egm::CurrentDistribution::Kind::logNormal;
    const egm::Result log = egm::computeRates(in);
    const egm::Result builtIn = egm::computeRates(egm::Inputs{});
    EXPECT_NE(builtIn.totalRate, log.totalRate);
    EXPECT_EQ(builtIn.conductors[0].maxCurrent.current, log.conductors[0].maxCurrent.current);
    EXPECT_EQ(egm::CurrentDistribution::Kind::logNormal, log.distribution.kind);
}

} // namespace
