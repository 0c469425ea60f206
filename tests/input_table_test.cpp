// The input table and the resolver of named inputs: inputs resolved in
// layers, each recording what it gave, and the voltage term that follows
// from what the layers below gave; the groups of the four-wire line read back
// as they were set; the documented ranges with their ends.
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "bits.h"
#include "egm/input_table.h"
#include "input_files.h"
#include "program_run.h"

namespace {

using egm::Inputs;
using egm::NamedInputs;
using egm::NamedValue;

NamedValue text(std::string name, std::string value)
{
    return NamedValue{std::move(name), std::move(value), std::nullopt};
}

// A tower of its own: one ground wire, two conductors with voltage terms
// that are not opposite, so it is no four-wire line.
egm::Tower ownTower()
{
    return egm::Tower{{egm::TowerWire{egm::WireKind::groundWire, 0, 33, 0, {}},
                       egm::TowerWire{egm::WireKind::conductor, -5.5, 26, 0.4, {}},
                       egm::TowerWire{egm::WireKind::conductor, 0, 29, -0.8, {}}}};
}

// One layer: named values, and a tower when it gives one.
struct Layer {
    std::vector<NamedValue> values;
    std::optional<egm::Tower> tower;
};

Inputs resolveLayers(const std::vector<Layer>& layers)
{
    Inputs in;
    for (const Layer& l : layers) {
        in = egm::resolveInputs(NamedInputs{l.values, l.tower, {}}, in);
    }
    return in;
}

std::vector<double> conductorVoltageTerms(const Inputs& in)
{
    std::vector<double> u;
    for (std::size_t k : in.tower.conductors()) {
        u.push_back(in.tower.wires[k].voltageTerm);
    }
    return u;
}

TEST(ResolverLayers, TheVoltageTermFollowsWhatTheLayersBelowGave)
{
    // The built-in line's default voltage term (types.h: 0.8), +U on
    // conductor 1 and -U on conductor 2.
    const std::vector<double> builtInDefault = {0.8, -0.8};
    const std::vector<double> none = {0.0, 0.0};
    const std::vector<double> tower = {0.4, -0.8};
    struct Case {
        const char* name;
        std::vector<Layer> layers;
        std::vector<double> voltageTerms; // of the conductors, exactly
        bool refused;                     // validate: "belongs to the built-in law"
    };
    const Case cases[] = {
        {"another law, the voltage term never given", {{{text("law", "love")}, {}}}, none, false},
        {"another law over a line that moved",
         {{{text("h1", "60")}, {}}, {{text("law", "love")}, {}}},
         none,
         false},
        {"another law after a layer of another law",
         {{{text("law", "love")}, {}}, {{text("slope", "5")}, {}}},
         none,
         false},
        {"given in the same layer as another law",
         {{{text("voltage-term", "0.5"), text("law", "love")}, {}}},
         {0.5, -0.5},
         true},
        {"given a layer below another law",
         {{{text("voltage-term", "0.5")}, {}}, {{text("law", "ieee-1992")}, {}}},
         {0.5, -0.5},
         true},
        {"given two layers below another law",
         {{{text("voltage-term", "0.5")}, {}}, {{text("slope", "5")}, {}}, {{text("law", "love")}, {}}},
         {0.5, -0.5},
         true},
        {"a tower's own voltage terms beside another law",
         {{{text("law", "love")}, ownTower()}},
         tower,
         true},
        {"a tower's own voltage terms a layer below another law",
         {{{}, ownTower()}, {{text("law", "love")}, {}}},
         tower,
         true},
        {"a tower given under another law", {{{text("law", "love")}, {}}, {{}, ownTower()}}, tower, true},
        {"back on the built-in law, the default returns",
         {{{text("law", "love")}, {}}, {{text("law", "built-in")}, {}}},
         builtInDefault,
         false},
        {"back on the built-in law two layers up",
         {{{text("law", "love")}, {}}, {{text("slope", "5")}, {}}, {{text("law", "built-in")}, {}}},
         builtInDefault,
         false},
        {"back on the built-in law with a voltage term of its own",
         {{{text("law", "love")}, {}}, {{text("law", "built-in"), text("voltage-term", "0.3")}, {}}},
         {0.3, -0.3},
         false},
        {"back on the built-in law, given below", // kept under love, then valid again
         {{{text("voltage-term", "0.3")}, {}}, {{text("law", "love")}, {}}, {{text("law", "built-in")}, {}}},
         {0.3, -0.3},
         false},
        {"back on the built-in law over a tower of its own",
         {{{text("law", "love")}, egm::towerOf(egm::Line{}, 0.0)}, {{text("law", "built-in")}, {}}},
         {0.0, -0.0}, // the tower's own, sign of zero and all
         false},
        {"the built-in law on the built-in law", {{{text("law", "built-in")}, {}}}, builtInDefault, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Inputs in = resolveLayers(c.layers);
        const std::vector<double> u = conductorVoltageTerms(in);
        ASSERT_EQ(c.voltageTerms.size(), u.size());
        for (std::size_t k = 0; k < u.size(); ++k) {
            EXPECT_SAME_BITS(c.voltageTerms[k], u[k]) << "conductor " << k + 1;
        }
        std::string refusal;
        try {
            egm::validate(in);
        } catch (const egm::InputError& e) {
            refusal = e.what();
        }
        EXPECT_EQ(c.refused, refusal.find("belongs to the built-in law") != std::string::npos) << refusal;
    }
}

TEST(ResolverLayers, EachLayerAddsTheNamesItGaveToThoseBelow)
{
    const Inputs first =
        egm::resolveInputs(NamedInputs{{text("Flash_Density", "4"), text("slope", "")}, {}, {}});
    EXPECT_TRUE(first.given.has("flash-density"));
    EXPECT_FALSE(first.given.has("slope")) << "an empty text gives nothing";
    EXPECT_TRUE(Inputs{}.given.empty());

    const Inputs second =
        egm::resolveInputs(NamedInputs{{text("law", "custom"), text("conductor-spread", "30")},
                                       {},
                                       {text("a", "8"), text("b", "0.65"), text("beta", "0.9")}},
                           first);
    for (const char* name : {"flash-density", "law", "conductor-spread", "law-a", "law-b", "law-beta"}) {
        EXPECT_TRUE(second.given.has(name)) << name;
    }
    for (const char* name : {"slope", "x3", "law-c", "law-d", "voltage-term", "tower"}) {
        EXPECT_FALSE(second.given.has(name)) << name;
    }
    const Inputs third = egm::resolveInputs(NamedInputs{{}, ownTower(), {}}, second);
    EXPECT_TRUE(third.given.has("tower"));
    EXPECT_TRUE(third.given.has("TOWER"));

    // A layer that cannot be resolved leaves its case on its base, with what
    // the base was given and nothing of its own.
    const egm::CaseInputs refused =
        egm::resolveCase(NamedInputs{{text("slope", "4"), text("law", "brown")}, {}, {}}, first);
    EXPECT_NE("", refused.error);
    EXPECT_TRUE(refused.inputs.given == first.given);
    EXPECT_THROW((void)first.given.has("h5"), egm::InputError);
}

TEST(ResolverLayers, AControlFileGivesItsValuesButNotTheVoltageTerm)
{
    ScratchDir dir;
    dir.write("control.txt",
              (dir / "geometry.txt").string() + " " + (dir / "parameters.txt").string() + " result.txt\n");
    dir.write("parameters.txt", "3.5 2 20 31 2.8\n");
    dir.write("geometry.txt", "9 -9 11 -11 55\n"); // three heights short: the built-in line's
    Inputs control;
    const egm::io::LoadReport report = egm::io::loadControlledInputs((dir / "control.txt").string(), control);
    ASSERT_EQ("", report.error);
    for (const char* name : {"flash-density", "slope", "min-current", "current-scale", "current-exponent",
                             "x1", "x2", "x3", "x4", "h1"}) {
        EXPECT_TRUE(control.given.has(name)) << name;
    }
    for (const char* name : {"h2", "h3", "h4", "voltage-term", "tower"}) {
        EXPECT_FALSE(control.given.has(name)) << name;
    }
    // A row of another law over it: no voltage term, as over the defaults.
    const Inputs row = egm::resolveInputs(NamedInputs{{text("law", "ieee-1992")}, {}, {}}, control);
    EXPECT_EQ((std::vector<double>{0.0, 0.0}), conductorVoltageTerms(row));
    EXPECT_NO_THROW(egm::validate(row));
}

// Each group of the four-wire line: the value set is the value read back,
// and the pair it moves stands as the help text says (spreads mirrored about
// x = 0, heights equal).
TEST(InputGroups, AGroupReadsBackWhatItSetWithItsPairInPlace)
{
    struct Case {
        const char* group;
        int first, second; // wire indices it moves
        bool spread;       // x = +-value/2, else both heights = value
    };
    const Case cases[] = {{"ground-wire-spread", 0, 1, true},
                          {"conductor-spread", 2, 3, true},
                          {"ground-wire-height", 0, 1, false},
                          {"conductor-height", 2, 3, false}};
    for (const Case& c : cases) {
        const egm::InputField& f = *egm::inputField(c.group);
        for (double v : {30.0, 19.78, 0.1, 7.0}) {
            SCOPED_TRACE(std::string(c.group) + " " + egm::shortestText(v));
            const Inputs in = egm::resolveInputs(NamedInputs{{NamedValue{c.group, {}, v}}, {}, {}});
            const egm::TowerWire& a = in.tower.wires[c.first];
            const egm::TowerWire& b = in.tower.wires[c.second];
            if (c.spread) {
                EXPECT_SAME_BITS(v / 2.0, a.x);
                EXPECT_SAME_BITS(-(v / 2.0), b.x);
            } else {
                EXPECT_SAME_BITS(v, a.height);
                EXPECT_SAME_BITS(v, b.height);
            }
            EXPECT_SAME_BITS(v, f.get(in));
        }
    }
    // Read on the built-in line, and on a line out of symmetry: the
    // distance between the wires, x1 - x2 and x3 - x4.
    const Inputs builtIn;
    EXPECT_SAME_BITS(19.78, egm::inputField("ground-wire-spread")->get(builtIn));
    EXPECT_SAME_BITS(22.4, egm::inputField("conductor-spread")->get(builtIn));
    const Inputs skew = egm::resolveInputs(
        NamedInputs{{text("x1", "10"), text("x2", "-6"), text("x3", "4"), text("x4", "-12")}, {}, {}});
    EXPECT_SAME_BITS(16.0, egm::inputField("ground-wire-spread")->get(skew));
    EXPECT_SAME_BITS(16.0, egm::inputField("conductor-spread")->get(skew));
}

// The ranges as the inputs' comments in types.h state them, each end on
// either side of it.
TEST(InputRanges, EachEndIsInsideOrOutsideAsDocumented)
{
    const double up = kInf;
    const double down = -kInf;
    struct Case {
        const char* input;
        double x;
        bool allowed;
    };
    const Case cases[] = {
        {"flash-density", 100.0, true},
        {"flash-density", std::nextafter(100.0, up), false},
        {"flash-density", 0.0, false},
        {"flash-density", 5e-324, true},
        {"min-current", 1000.0, true},
        {"min-current", std::nextafter(1000.0, up), false},
        {"min-current", 0.0, false},
        {"slope", 90.0, false},
        {"slope", std::nextafter(90.0, down), true},
        {"slope", -90.0, false},
        {"slope", std::nextafter(-90.0, up), true},
        {"voltage-term", 100.0, true},
        {"voltage-term", -100.0, true},
        {"voltage-term", std::nextafter(100.0, up), false},
        {"h1", 1000.0, true},
        {"h1", std::nextafter(1000.0, up), false},
        {"h1", 0.0, false},
        {"x4", -1000.0, true},
        {"x4", std::nextafter(-1000.0, down), false},
        {"ground-wire-sag", 0.0, true},
        {"ground-wire-sag", -0.0, true},
        {"slope", kNaN, false},
        {"min-current", kInf, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " " + describe(c.x));
        EXPECT_EQ(c.allowed, egm::inputField(c.input)->allows(c.x));
    }
    // The closed upper ends through validate, as a front end meets them.
    Inputs most;
    most.flashDensity = 100.0;
    most.lowestCurrent = 1000.0;
    EXPECT_NO_THROW(egm::validate(most));
}

// Every number's range, by the table's own flags: an end it calls closed is
// allowed, the next double beyond it is not; an open end is not allowed,
// the next double inside it is.
TEST(InputRanges, ClosedEndsAllowedOpenEndsNot)
{
    for (const egm::InputField& f : egm::inputFields()) {
        if (f.kind == egm::InputField::Kind::choice) {
            continue;
        }
        SCOPED_TRACE(std::string(f.name));
        if (std::isfinite(f.high)) {
            EXPECT_EQ(!f.highOpen, f.allows(f.high));
            EXPECT_FALSE(f.allows(std::nextafter(f.high, kInf)));
            EXPECT_TRUE(f.allows(std::nextafter(f.high, -kInf)));
        }
        if (std::isfinite(f.low)) {
            EXPECT_EQ(!f.lowOpen, f.allows(f.low));
            EXPECT_FALSE(f.allows(std::nextafter(f.low, -kInf)));
            EXPECT_TRUE(f.allows(std::nextafter(f.low, kInf)));
        }
    }
}

} // namespace
