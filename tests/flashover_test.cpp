// Flashover rates: the strokes to each conductor above its critical current,
// against an independent figure and the properties that tie them to the
// rates from a lowest current.
#include <cmath>
#include <string>

#include "bits.h"
#include "egm/input_table.h"
#include "egm/shielding.h"

namespace {

egm::Options cheap()
{
    egm::Options o;
    o.classicalMaxCurrents = false;
    return o;
}

// The conductors of the tower with these critical currents, in order.
egm::Inputs withCriticalCurrents(egm::Inputs in, std::initializer_list<double> ic)
{
    auto it = ic.begin();
    for (const std::size_t c : in.tower.conductors()) {
        if (it != ic.end()) {
            in.tower.wires[c].insulation.criticalCurrent = *it++;
        }
    }
    return in;
}

egm::Tower doubleCircuit()
{
    using egm::TowerWire;
    using egm::WireKind;
    return egm::Tower{{TowerWire{WireKind::groundWire, 0.0, 55.0, 0.0, "earth"},
                       TowerWire{WireKind::conductor, 6.0, 45.0, 0.0, "A1"},
                       TowerWire{WireKind::conductor, 8.0, 37.0, 0.0, "B1"},
                       TowerWire{WireKind::conductor, 6.5, 29.0, 0.0, "C1"},
                       TowerWire{WireKind::conductor, -6.0, 45.0, 0.0, "A2"},
                       TowerWire{WireKind::conductor, -8.0, 37.0, 0.0, "B2"},
                       TowerWire{WireKind::conductor, -6.5, 29.0, 0.0, "C2"}}};
}

TEST(Flashovers, BuiltInLineAgainstAnIndependentFigure)
{
    // Built-in line, share method, conductor 1 with Ic 9.5 kA and conductor
    // 2 with Ic 14.25 kA, from an implementation of its own.
    const egm::Result r = egm::computeRates(withCriticalCurrents(egm::Inputs{}, {9.5, 14.25}), cheap());
    ASSERT_TRUE(r.flashoverTotal);
    const double total = 0.499895923229787;
    EXPECT_NEAR(*r.conductors[0].flashoverRate, 0.46340687541443837, 1e-9 * total);
    EXPECT_NEAR(*r.conductors[1].flashoverRate, 0.036489047815348626, 1e-9 * total);
    EXPECT_NEAR(*r.flashoverTotal, total, 1e-9 * total);
    // The strokes from the lowest current are as without insulation.
    EXPECT_SAME_DOUBLE(egm::computeRates(egm::Inputs{}, cheap()).totalRate, r.totalRate);
}

struct Line {
    const char* name;
    egm::Inputs inputs;
};

std::vector<Line> lines()
{
    std::vector<Line> out;
    out.push_back({"built-in line", egm::Inputs{}});
    egm::Inputs compat;
    compat.evaluation = egm::Evaluation::compat;
    out.push_back({"built-in line, compat", compat});
    egm::Inputs sloped;
    sloped.slope = 20.0;
    sloped.rateMethod = egm::RateMethod::exposure;
    out.push_back({"built-in line on 20 degrees, exposure", sloped});
    egm::Inputs dc;
    dc.tower = doubleCircuit();
    dc.lowestCurrent = 3.0;
    out.push_back({"double circuit", dc});
    return out;
}

TEST(Flashovers, OneCriticalCurrentForAllIsThatLowestCurrent)
{
    for (const Line& line : lines()) {
        for (const double ic : {7.0, 12.25, 30.0}) {
            egm::Inputs plain = line.inputs;
            plain.lowestCurrent = ic;
            const egm::Result expected = egm::computeRates(plain, cheap());
            const egm::Result r =
                egm::computeRates(withCriticalCurrents(line.inputs, {ic, ic, ic, ic, ic, ic}), cheap());
            for (std::size_t k = 0; k < r.conductors.size(); ++k) {
                EXPECT_SAME_DOUBLE(expected.conductors[k].rate, *r.conductors[k].flashoverRate)
                    << line.name << ", Ic " << ic << ", " << r.conductors[k].name;
                EXPECT_EQ(r.conductors[k].criticalCurrent, ic);
            }
            EXPECT_SAME_DOUBLE(expected.totalRate, *r.flashoverTotal) << line.name << ", Ic " << ic;
        }
    }
}

TEST(Flashovers, RaisingOneCriticalCurrentLowersOnlyItsOwnRate)
{
    for (const Line& line : lines()) {
        const egm::Result low =
            egm::computeRates(withCriticalCurrents(line.inputs, {8, 9, 10, 11, 12, 13}), cheap());
        const egm::Result high =
            egm::computeRates(withCriticalCurrents(line.inputs, {8, 19, 10, 11, 12, 13}), cheap());
        for (std::size_t k = 0; k < low.conductors.size(); ++k) {
            if (k == 1) {
                EXPECT_LE(*high.conductors[k].flashoverRate, *low.conductors[k].flashoverRate) << line.name;
            } else {
                EXPECT_SAME_DOUBLE(*low.conductors[k].flashoverRate, *high.conductors[k].flashoverRate)
                    << line.name << ", " << low.conductors[k].name;
            }
        }
        EXPECT_LE(*high.flashoverTotal, *low.flashoverTotal) << line.name;
    }
}

TEST(Flashovers, PerfectlyShieldedConductorsFlashNothing)
{
    // The built-in line's conductor 1 is reached up to 74.47 kA, conductor 2
    // up to 24.84 kA: above those no stroke reaches them.
    const egm::Result r = egm::computeRates(withCriticalCurrents(egm::Inputs{}, {80.0, 20.0}), cheap());
    EXPECT_TRUE(r.conductors[0].perfectlyShielded);
    EXPECT_SAME_BITS(0.0, *r.conductors[0].flashoverRate);
    EXPECT_FALSE(r.conductors[1].perfectlyShielded);
    EXPECT_GT(*r.conductors[1].flashoverRate, 0.0);
    // A conductor without insulation has no flashover figures, and the
    // total counts those that have.
    const egm::Result one = egm::computeRates(withCriticalCurrents(egm::Inputs{}, {20.0}), cheap());
    EXPECT_FALSE(one.conductors[1].criticalCurrent);
    EXPECT_FALSE(one.conductors[1].flashoverRate);
    EXPECT_SAME_DOUBLE(*one.conductors[0].flashoverRate, *one.flashoverTotal);
    EXPECT_FALSE(egm::computeRates(egm::Inputs{}, cheap()).flashoverTotal);
}

TEST(Flashovers, CriticalCurrentFromTheInsulation)
{
    // CFO 1200 kV over Z 400 ohm: Ic = 2 CFO / Z = 6 kA, the rate from 6 kA.
    egm::Inputs in;
    for (const std::size_t c : in.tower.conductors()) {
        in.tower.wires[c].insulation.cfo = 1200.0;
        in.tower.wires[c].insulation.surgeImpedance = 400.0;
    }
    const egm::Result r = egm::computeRates(in, cheap());
    egm::Inputs from6;
    from6.lowestCurrent = 6.0;
    EXPECT_EQ(*r.conductors[0].criticalCurrent, 6.0);
    EXPECT_SAME_DOUBLE(egm::computeRates(from6, cheap()).totalRate, *r.flashoverTotal);
}

TEST(Flashovers, UnusableInsulationIsRefusedNamingTheWire)
{
    struct Case {
        const char* name;
        void (*spoil)(egm::Inputs&);
        const char* message;
    };
    const Case cases[] = {
        {"critical current 0", [](egm::Inputs& in) { in.tower.wires[2].insulation.criticalCurrent = 0.0; },
         "wire 3 (conductor1): critical-current 0 kA: must be greater than 0 kA and at most 1000 kA"},
        {"critical current on a ground wire",
         [](egm::Inputs& in) { in.tower.wires[0].insulation.criticalCurrent = 10.0; },
         "wire 1 (groundWire1): critical-current 10 kA: only conductors have one"},
        {"a CFO beside a given Ic",
         [](egm::Inputs& in) {
             in.tower.wires[3].insulation.criticalCurrent = 10.0;
             in.tower.wires[3].insulation.cfo = 1000.0;
         },
         "wire 4 (conductor2): critical-current 10 kA and cfo 1000 kV: give the critical current or the "
         "insulation, not both"},
        {"a radius not below the height",
         [](egm::Inputs& in) {
             in.tower.wires[2].height = 0.5;
             in.tower.wires[2].insulation.cfo = 1000.0;
             in.tower.wires[2].insulation.conductorRadius = 0.6;
         },
         "wire 3 (conductor1): conductor-radius 0.6 m: must be greater than 0 m and less than 0.5 m (the "
         "conductor's height)"},
    };
    for (const Case& c : cases) {
        egm::Inputs in;
        c.spoil(in);
        try {
            egm::computeRates(in, cheap());
            ADD_FAILURE() << c.name << ": computed";
        } catch (const egm::InputError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.name;
        }
    }
}

} // namespace

namespace {

egm::NamedInputs named(std::initializer_list<std::pair<const char*, double>> values)
{
    egm::NamedInputs n;
    for (const auto& [name, v] : values) {
        n.values.push_back(egm::NamedValue{name, {}, v});
    }
    return n;
}

TEST(Flashovers, FourWireLineInsulationByNameForBothConductorsAndEach)
{
    // Both conductors from the group, conductor 2 then alone.
    const egm::Inputs in =
        egm::resolveInputs(named({{"critical-current", 9.5}, {"critical-current4", 14.25}}));
    EXPECT_EQ(9.5, in.tower.wires[2].insulation.criticalCurrent);
    EXPECT_EQ(14.25, in.tower.wires[3].insulation.criticalCurrent);
    const egm::Result r = egm::computeRates(in, cheap());
    EXPECT_NEAR(*r.flashoverTotal, 0.499895923229787, 1e-9 * 0.499895923229787);
    // Conductor 1's CFO and surge impedance alone.
    const egm::Inputs one = egm::resolveInputs(named({{"cfo3", 1200.0}, {"surge-impedance3", 400.0}}));
    EXPECT_EQ(6.0, egm::computeRates(one, cheap()).conductors[0].criticalCurrent);
    EXPECT_FALSE(one.tower.wires[3].insulation.given());
    // Not on a tower of its own wires.
    egm::Inputs tower;
    tower.tower.wires.pop_back();
    EXPECT_THROW(egm::resolveInputs(named({{"cfo", 1200.0}}), tower), egm::InputError);
}

TEST(Flashovers, ThunderDaysGiveTheFlashDensity)
{
    // 16 thunder days: 0.04 * 16^1.25 = 1.28 exactly.
    const egm::Inputs in = egm::resolveInputs(named({{"thunder-days", 16.0}}));
    EXPECT_EQ(1.28, in.flashDensity);
    // In a layer above a flash density they replace it; in one layer with
    // it they are refused.
    const egm::Inputs flags = egm::resolveInputs(named({{"flash-density", 5.0}}));
    EXPECT_EQ(1.28, egm::resolveInputs(named({{"thunder-days", 16.0}}), flags).flashDensity);
    try {
        egm::resolveInputs(named({{"flash-density", 5.0}, {"thunder-days", 16.0}}));
        ADD_FAILURE() << "both given";
    } catch (const egm::InputError& e) {
        EXPECT_EQ(std::string(
                      "flash-density and thunder-days each give the ground flash density: give one of them"),
                  e.what());
    }
    egm::Inputs many;
    many.thunderDays = 400.0;
    EXPECT_THROW(egm::validate(many), egm::InputError);
}

} // namespace
