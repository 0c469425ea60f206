// The IEEE law as the guides apply it: each conductor with the ground's
// striking line at its own beta r, beta from its own height.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "bits.h"
#include "conductor_ground.h"
#include "egm/shielding.h"

namespace {

using egm::TowerWire;
using egm::WireKind;

TEST(GuidesLaw, GroundFactorOfTheConductorsHeight)
{
    // 0.36 + 0.168 ln(43 - y): 0.871 at 22 m; 0.55 from 40 m.
    EXPECT_NEAR(egm::model::guidesGroundFactor(22.0), 0.8715, 5e-5);
    EXPECT_EQ(egm::model::guidesGroundFactor(40.0), 0.55);
    EXPECT_EQ(egm::model::guidesGroundFactor(57.0), 0.55);
    EXPECT_NEAR(egm::model::guidesGroundFactor(39.999), 0.36 + 0.168 * std::log(3.001), 1e-15);
}

TEST(GuidesLaw, ExposureOfALowLineAsTheGuidesGiveIt)
{
    // Ground wires at (+-6, 30) m, conductors at (+-9, 22) m, from 3 kA,
    // the guides' current curve (exponent 2.6), 4 flashes per km^2 per
    // year, exposure method: 0.0537 per conductor with beta 0.871 of the
    // conductors' height; 0.0990 with the ground wires' 0.796.
    egm::Inputs in;
    in.tower = egm::towerOf(egm::Line{{6, 30}, {-6, 30}, {9, 22}, {-9, 22}}, 0.0);
    in.law.kind = egm::StrikingLaw::Kind::ieee1992;
    in.lowestCurrent = 3.0;
    in.distribution.exponent = 2.6;
    in.flashDensity = 4.0;
    in.rateMethod = egm::RateMethod::exposure;
    const egm::Result r = egm::computeRates(in);
    for (const egm::ConductorResult& c : r.conductors) {
        EXPECT_NEAR(c.rate, 0.0537, 5e-5) << c.name;
    }
    egm::Inputs tower = in;
    tower.law.kind = egm::StrikingLaw::Kind::custom;
    tower.law.a = 10.0;
    tower.law.b = 0.65;
    tower.law.beta = 0.36 + 0.17 * std::log(43.0 - 30.0);
    EXPECT_NEAR(egm::computeRates(tower).conductors[0].rate, 0.0990, 5e-5);
}

// A double circuit whose phases stand at three heights, one side 10 cm out
// of symmetry, so that each height has a beta of its own.
egm::Tower phases()
{
    return egm::Tower{{TowerWire{WireKind::groundWire, 0.0, 45.0, 0.0, "earth"},
                       TowerWire{WireKind::conductor, 6.0, 38.0, 0.0, "A1"},
                       TowerWire{WireKind::conductor, 8.0, 30.0, 0.0, "B1"},
                       TowerWire{WireKind::conductor, 6.5, 22.0, 0.0, "C1"},
                       TowerWire{WireKind::conductor, -6.1, 38.0, 0.0, "A2"},
                       TowerWire{WireKind::conductor, -8.0, 30.0, 0.0, "B2"},
                       TowerWire{WireKind::conductor, -6.5, 22.0, 0.0, "C2"}}};
}

std::map<std::string, egm::ConductorResult> byName(const egm::Result& r)
{
    std::map<std::string, egm::ConductorResult> out;
    for (const egm::ConductorResult& c : r.conductors) {
        out[c.name] = c;
    }
    return out;
}

TEST(GuidesLaw, MirrorImagesAndRelabellingKeepEveryConductorsFigures)
{
    for (const egm::RateMethod method : {egm::RateMethod::share, egm::RateMethod::exposure}) {
        egm::Inputs in;
        in.tower = phases();
        in.law.kind = egm::StrikingLaw::Kind::ieee1992;
        in.lowestCurrent = 3.0;
        in.rateMethod = method;
        const auto original = byName(egm::computeRates(in));
        egm::Inputs mirrored = in;
        for (TowerWire& w : mirrored.tower.wires) {
            w.x = -w.x;
        }
        egm::Inputs reordered = in;
        std::reverse(reordered.tower.wires.begin(), reordered.tower.wires.end());
        for (const egm::Inputs& other : {mirrored, reordered}) {
            const auto figures = byName(egm::computeRates(other));
            for (const auto& [name, c] : original) {
                EXPECT_NEAR(c.rate, figures.at(name).rate, 1e-12 * (1.0 + c.rate)) << name;
                EXPECT_EQ(c.maxCurrent.current, figures.at(name).maxCurrent.current) << name;
                EXPECT_EQ(c.classicalMaxCurrent.current, figures.at(name).classicalMaxCurrent.current)
                    << name;
            }
        }
        // The lower phases, with the larger beta, see more of the ground:
        // the total is the conductors' rates added.
        const egm::Result r = egm::computeRates(in);
        double sum = 0.0;
        for (const egm::ConductorResult& c : r.conductors) {
            sum += c.rate;
        }
        EXPECT_SAME_DOUBLE(sum, r.totalRate);
    }
}

TEST(GuidesLaw, ConductorsFromFortyMetresKeepTheTowersGroundFactor)
{
    // Conductors and ground wires from 40 m up: beta is 0.55 either way,
    // and every figure is what one evaluation with k_g 0.55 gives.
    egm::Inputs in;
    in.tower = egm::towerOf(egm::Line{}, 0.0);
    in.law.kind = egm::StrikingLaw::Kind::ieee1992;
    egm::Inputs custom = in;
    custom.law.kind = egm::StrikingLaw::Kind::custom;
    custom.law.a = 10.0;
    custom.law.b = 0.65;
    custom.law.beta = 0.55;
    const egm::Result a = egm::computeRates(in);
    const egm::Result b = egm::computeRates(custom);
    EXPECT_SAME_DOUBLE(b.totalRate, a.totalRate);
    EXPECT_EQ(egm::StrikingLaw::Kind::ieee1992, a.law.kind);
}

} // namespace
