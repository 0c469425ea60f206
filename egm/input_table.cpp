#include "egm/input_table.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "input_fields.h"
#include "insulation.h"

namespace egm {

namespace {

constexpr double kNone = std::numeric_limits<double>::infinity();

} // namespace

namespace fields {

// Wire W of the four-wire line, or NaN for a tower that is not one.
template <int W, double TowerWire::*Member> double lineValue(const Inputs& in)
{
    return isFourWireLine(in.tower) ? in.tower.wires[W].*Member : std::nan("");
}

// The four-wire line's tower, for an input that moves one of its wires.
// Throws InputError for a tower that is not a four-wire line.
Tower& lineTower(Inputs& in, std::string_view name)
{
    if (!isFourWireLine(in.tower)) {
        throw InputError(std::string(name) +
                         ": belongs to the four-wire line (two ground wires, two conductors); the tower "
                         "given has its own wires");
    }
    return in.tower;
}

} // namespace fields

namespace {

using fields::lineTower;
using fields::lineValue;

// The wires' positions by index and member: x1..x4 and h1..h4.
template <int W, double TowerWire::*Member>
InputField wireField(std::string_view name, std::string_view label)
{
    InputField f;
    f.name = name;
    f.unit = "m";
    f.label = label;
    f.help = label;
    f.fourWireLine = true;
    f.get = lineValue<W, Member>;
    f.set = [](Inputs& in, double v) {
        constexpr char field[3] = {Member == &TowerWire::x ? 'x' : 'h', static_cast<char>('1' + W), '\0'};
        lineTower(in, field).wires[W].*Member = v;
    };
    if (Member == &TowerWire::height) {
        f.low = 0.0;
        f.lowOpen = true;
        f.high = kMaxCoordinate;
    } else {
        f.low = -kMaxCoordinate;
        f.high = kMaxCoordinate;
    }
    return f;
}

} // namespace

InputField fields::number(std::string_view name, std::string_view unit, std::string_view label,
                          std::string_view help, double (*get)(const Inputs&), void (*set)(Inputs&, double),
                          double low, bool lowOpen, double high, bool highOpen)
{
    InputField f;
    f.name = name;
    f.unit = unit;
    f.label = label;
    f.help = help;
    f.get = get;
    f.set = set;
    f.low = low;
    f.lowOpen = lowOpen;
    f.high = high;
    f.highOpen = highOpen;
    return f;
}

namespace {

using fields::number;

InputField group(std::string_view name, std::string_view unit, std::string_view label, std::string_view help,
                 double (*get)(const Inputs&), void (*set)(Inputs&, double), double low = -kNone,
                 bool lowOpen = false)
{
    InputField f = number(name, unit, label, help, get, set, low, lowOpen);
    f.kind = InputField::Kind::group;
    return f;
}

InputField choice(std::string_view name, std::string_view label, std::string_view help,
                  std::string_view choices, std::string_view (*get)(const Inputs&),
                  void (*set)(Inputs&, std::string_view))
{
    InputField f;
    f.kind = InputField::Kind::choice;
    f.name = name;
    f.label = label;
    f.help = help;
    f.choices = choices;
    f.getChoice = get;
    f.setChoice = set;
    return f;
}

[[noreturn]] void unknownChoice(std::string_view field, std::string_view text, std::string_view choices)
{
    throw InputError(std::string(field) + " '" + std::string(text) + "': must be one of " +
                     std::string(choices));
}

// The site and the integration: flash density or thunder days, slope, lowest current, the built-in law's
// voltage term.
void appendSiteInputs(std::vector<InputField>& t)
{
    t.push_back(number(
        "flash-density", "per km^2 per year", "ground flash density", "ground flash density",
        [](const Inputs& in) { return in.flashDensity; },
        [](Inputs& in, double v) {
            in.flashDensity = v;
            in.thunderDays.reset();
        },
        0.0, true, 100.0));
    t.push_back(number(
        "thunder-days", "days a year", "thunder days",
        "thunder days a year instead of the flash density: N_g = 0.04 T^1.25 (Anderson)",
        [](const Inputs& in) { return in.thunderDays.value_or(std::nan("")); },
        [](Inputs& in, double v) {
            in.thunderDays = v;
            in.flashDensity = model::flashDensityOfThunderDays(v);
        },
        0.0, true, 365.0));
    t.push_back(number(
        "slope", "degrees", "ground slope",
        "ground slope at the tower; positive: the ground falls towards +x, so ground wire 1 and "
        "conductor 1 (the +x side) are downhill",
        [](const Inputs& in) { return in.slope; }, [](Inputs& in, double v) { in.slope = v; }, -90.0, true,
        90.0, true));
    t.push_back(number(
        "min-current", "kA", "lowest current",
        "lowest current integrated; the integration runs to 200 kA above it in steps of 1 kA",
        [](const Inputs& in) { return in.lowestCurrent; }, [](Inputs& in, double v) { in.lowestCurrent = v; },
        0.0, true, 1000.0));
    t.push_back(number(
        "voltage-term", "", "voltage term U",
        "conductors' voltage term U of the built-in law, in the unit of 5.015 I^0.578: striking "
        "distance 1.63 (5.015 I^0.578 + U)^1.125 for conductor 1, 1.63 (5.015 I^0.578 - U)^1.125 for "
        "conductor 2; 0 with any other law",
        lineValue<2, &TowerWire::voltageTerm>,
        [](Inputs& in, double v) {
            Tower& line = lineTower(in, "voltage-term");
            line.wires[2].voltageTerm = v;
            line.wires[3].voltageTerm = -v;
        },
        -kMaxVoltageTerm, false, kMaxVoltageTerm));
    t.back().fourWireLine = true;
}

// The striking-distance law and the custom law's coefficients.
void appendLawInputs(std::vector<InputField>& t)
{
    t.push_back(choice(
        "law", "striking-distance law",
        "striking-distance law: built-in, ieee-1992, love, brown-whitehead, armstrong-whitehead or "
        "custom "
        "(with law-a, law-b and law-c, law-d or law-beta)",
        "built-in|ieee-1992|love|brown-whitehead|armstrong-whitehead|custom",
        [](const Inputs& in) { return lawName(in.law.kind); },
        [](Inputs& in, std::string_view text) {
            const std::optional<StrikingLaw::Kind> kind = lawNamed(text);
            if (!kind) {
                unknownChoice("law", text,
                              "built-in, ieee-1992, love, brown-whitehead, "
                              "armstrong-whitehead, custom");
            }
            in.law.kind = *kind;
        }));
    t.push_back(number(
        "law-a", "", "custom law a", "custom law: wires' striking distance a I^b, factor a (m)",
        [](const Inputs& in) { return in.law.a; }, [](Inputs& in, double v) { in.law.a = v; }, 0.0, true,
        100.0));
    t.push_back(number(
        "law-b", "", "custom law b", "custom law: exponent b of a I^b",
        [](const Inputs& in) { return in.law.b; }, [](Inputs& in, double v) { in.law.b = v; }, 0.0, true,
        2.0));
    t.push_back(number(
        "law-c", "", "custom law c", "custom law: ground's striking line c I^d, factor c (m)",
        [](const Inputs& in) { return in.law.c; }, [](Inputs& in, double v) { in.law.c = v; }, 0.0, true,
        100.0));
    t.push_back(number(
        "law-d", "", "custom law d", "custom law: exponent d of c I^d",
        [](const Inputs& in) { return in.law.d; }, [](Inputs& in, double v) { in.law.d = v; }, 0.0, true,
        2.0));
    t.push_back(number(
        "law-beta", "", "custom law beta",
        "custom law: ground's striking line beta a I^b instead of c I^d (unset: nan)",
        [](const Inputs& in) { return in.law.beta ? *in.law.beta : std::nan(""); },
        [](Inputs& in, double v) { in.law.beta = std::isnan(v) ? std::nullopt : std::optional<double>(v); },
        0.0, true, 10.0));
}

// The current distribution and its parameters.
void appendDistributionInputs(std::vector<InputField>& t)
{
    t.push_back(choice(
        "distribution", "current distribution",
        "distribution of the peak current: built-in (P(>I) = 1 / (1 + (I/scale)^exponent)), "
        "log-normal (median, sigma of ln I), cigre (the two-part log-normal of first negative strokes) "
        "or "
        "table (P(>I) from a file, --current-table)",
        "built-in|log-normal|cigre|table",
        [](const Inputs& in) { return distributionName(in.distribution.kind); },
        [](Inputs& in, std::string_view text) {
            const std::optional<CurrentDistribution::Kind> kind = distributionNamed(text);
            if (!kind) {
                unknownChoice("distribution", text, "built-in, log-normal, cigre, table");
            }
            in.distribution.kind = *kind;
        }));
    t.push_back(number(
        "current-scale", "kA", "current scale",
        "scale of the built-in current distribution: P(>I) = 1 / (1 + (I/scale)^exponent)",
        [](const Inputs& in) { return in.distribution.scale; },
        [](Inputs& in, double v) { in.distribution.scale = v; }, 0.0, true, 1000.0));
    t.push_back(number(
        "current-exponent", "", "current exponent", "exponent of the built-in current distribution",
        [](const Inputs& in) { return in.distribution.exponent; },
        [](Inputs& in, double v) { in.distribution.exponent = v; }, 0.0, true, 20.0));
    t.push_back(number(
        "current-median", "kA", "median current", "median of the log-normal current distribution",
        [](const Inputs& in) { return in.distribution.median; },
        [](Inputs& in, double v) { in.distribution.median = v; }, 0.0, true, 1000.0));
    t.push_back(number(
        "current-sigma", "", "sigma of ln I", "standard deviation of ln I, log-normal distribution",
        [](const Inputs& in) { return in.distribution.sigma; },
        [](Inputs& in, double v) { in.distribution.sigma = v; }, 0.0, true, 10.0));
}

// The rate method and the evaluation.
void appendMethodInputs(std::vector<InputField>& t)
{
    t.push_back(choice(
        "rate-method", "rate method",
        "share (default): the conductors' share of the paths the wires catch, times the collection "
        "width and terrain factor; exposure: the line-design guides' 0.1 N_g sum of f(I) D(I) over the "
        "currents, D the width for vertical strokes",
        "share|exposure", [](const Inputs& in) { return rateMethodName(in.rateMethod); },
        [](Inputs& in, std::string_view text) {
            const std::optional<RateMethod> m = rateMethodNamed(text);
            if (!m) {
                unknownChoice("rate-method", text, "share, exposure");
            }
            in.rateMethod = *m;
        }));
    t.push_back(choice(
        "evaluation", "evaluation",
        "first-contact (default): each stroke goes to the first striking disk its path enters, any "
        "tower; compat: as egm-shielding computes it, two ground wires and two conductors",
        "first-contact|compat", [](const Inputs& in) { return evaluationName(in.evaluation); },
        [](Inputs& in, std::string_view text) {
            const std::optional<Evaluation> e = evaluationNamed(text);
            if (!e) {
                unknownChoice("evaluation", text, "first-contact, compat");
            }
            in.evaluation = *e;
        }));
}

// The four-wire line's wires, sags and groups.
void appendLineInputs(std::vector<InputField>& t)
{
    t.push_back(wireField<0, &TowerWire::x>("x1", "x of ground wire 1 (+x side)"));
    t.push_back(wireField<1, &TowerWire::x>("x2", "x of ground wire 2 (-x side)"));
    t.push_back(wireField<2, &TowerWire::x>("x3", "x of conductor 1 (+x side)"));
    t.push_back(wireField<3, &TowerWire::x>("x4", "x of conductor 2 (-x side)"));
    t.push_back(wireField<0, &TowerWire::height>("h1", "height of ground wire 1"));
    t.push_back(wireField<1, &TowerWire::height>("h2", "height of ground wire 2"));
    t.push_back(wireField<2, &TowerWire::height>("h3", "height of conductor 1"));
    t.push_back(wireField<3, &TowerWire::height>("h4", "height of conductor 2"));
    t.push_back(number(
        "ground-wire-sag", "m", "sag of the ground wires",
        "sag of both ground wires at mid-span; computed at the average height, h - 2/3 sag",
        lineValue<0, &TowerWire::sag>,
        [](Inputs& in, double v) {
            Tower& line = lineTower(in, "ground-wire-sag");
            line.wires[0].sag = line.wires[1].sag = v;
        },
        0.0, false, kMaxCoordinate));
    t.back().fourWireLine = true;
    t.push_back(number(
        "conductor-sag", "m", "sag of the conductors",
        "sag of both conductors at mid-span; computed at the average height, h - 2/3 sag",
        lineValue<2, &TowerWire::sag>,
        [](Inputs& in, double v) {
            Tower& line = lineTower(in, "conductor-sag");
            line.wires[2].sag = line.wires[3].sag = v;
        },
        0.0, false, kMaxCoordinate));
    t.back().fourWireLine = true;
    t.push_back(group(
        "ground-wire-height", "m", "height of both ground wires", "height of both ground wires (h1 = h2)",
        [](const Inputs& in) {
            return (lineValue<0, &TowerWire::height>(in) + lineValue<1, &TowerWire::height>(in)) / 2.0;
        },
        [](Inputs& in, double v) {
            Tower& line = lineTower(in, "ground-wire-height");
            line.wires[0].height = line.wires[1].height = v;
        },
        0.0, true));
    t.push_back(group(
        "conductor-height", "m", "height of both conductors", "height of both conductors (h3 = h4)",
        [](const Inputs& in) {
            return (lineValue<2, &TowerWire::height>(in) + lineValue<3, &TowerWire::height>(in)) / 2.0;
        },
        [](Inputs& in, double v) {
            Tower& line = lineTower(in, "conductor-height");
            line.wires[2].height = line.wires[3].height = v;
        },
        0.0, true));
    t.push_back(group(
        "ground-wire-spread", "m", "ground-wire spread",
        "horizontal distance between the ground wires, placed at x1 = -x2 = spread/2",
        [](const Inputs& in) { return lineValue<0, &TowerWire::x>(in) - lineValue<1, &TowerWire::x>(in); },
        [](Inputs& in, double v) {
            Tower& line = lineTower(in, "ground-wire-spread");
            line.wires[0].x = v / 2.0;
            line.wires[1].x = -(v / 2.0);
        },
        0.0));
    t.push_back(group(
        "conductor-spread", "m", "conductor spread",
        "horizontal distance between the conductors, placed at x3 = -x4 = spread/2",
        [](const Inputs& in) { return lineValue<2, &TowerWire::x>(in) - lineValue<3, &TowerWire::x>(in); },
        [](Inputs& in, double v) {
            Tower& line = lineTower(in, "conductor-spread");
            line.wires[2].x = v / 2.0;
            line.wires[3].x = -(v / 2.0);
        },
        0.0));
}

const std::vector<InputField>& table()
{
    static const std::vector<InputField> fields = [] {
        std::vector<InputField> t;
        appendSiteInputs(t);
        appendLawInputs(t);
        appendDistributionInputs(t);
        appendMethodInputs(t);
        appendLineInputs(t);
        fields::appendInsulationFields(t);
        for (InputField& f : t) {
            f.fourWireLine = f.fourWireLine || f.kind == InputField::Kind::group;
        }
        return t;
    }();
    return fields;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c == '_') {
            c = '-';
        }
        if (c != b[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string shortestText(double x)
{
    if (std::isnan(x)) {
        return "nan";
    }
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, x);
    return ec == std::errc() ? std::string(text, end) : std::string("nan");
}

bool InputField::allows(double x) const
{
    if (!std::isfinite(x)) {
        return false;
    }
    const bool aboveLow = lowOpen ? x > low : x >= low;
    const bool belowHigh = highOpen ? x < high : x <= high;
    return aboveLow && belowHigh;
}

namespace {

// " m", or nothing for a pure number.
std::string unitSuffix(std::string_view unit)
{
    std::string suffix;
    if (!unit.empty()) {
        suffix.push_back(' ');
        suffix.append(unit);
    }
    return suffix;
}

} // namespace

std::string InputField::valueText(double x) const
{
    return shortestText(x) + unitSuffix(unit);
}

std::string InputField::rangeText() const
{
    const std::string u = unitSuffix(unit);
    const bool hasLow = std::isfinite(low);
    const bool hasHigh = std::isfinite(high);
    if (hasLow && hasHigh) {
        if (lowOpen && highOpen) {
            return "must lie strictly between " + shortestText(low) + " and " + shortestText(high) + u;
        }
        return std::string("must be ") + (lowOpen ? "greater than " : "at least ") + shortestText(low) + u +
               " and " + (highOpen ? "less than " : "at most ") + shortestText(high) + u;
    }
    if (hasLow) {
        return lowOpen ? "must be greater than " + shortestText(low) + u
                       : "must be " + shortestText(low) + u + " or more";
    }
    if (hasHigh) {
        return highOpen ? "must be less than " + shortestText(high) + u
                        : "must be at most " + shortestText(high) + u;
    }
    return "must be a finite number";
}

std::span<const InputField> inputFields()
{
    return table();
}

const InputField* inputField(std::string_view name)
{
    for (const InputField& f : table()) {
        if (sameName(name, f.name)) {
            return &f;
        }
    }
    return nullptr;
}

namespace {

constexpr int kTowerBit = 63;

// The bit of an input, or of "tower", in GivenInputs.
std::uint64_t givenBit(std::string_view name)
{
    if (sameName(name, "tower")) {
        return std::uint64_t{1} << kTowerBit;
    }
    const InputField* f = inputField(name);
    if (f == nullptr) {
        throw InputError("unknown input '" + std::string(name) + "'");
    }
    const std::size_t k = static_cast<std::size_t>(f - table().data());
    if (k >= kTowerBit) {
        throw std::logic_error("GivenInputs holds the first 63 inputs of the table only");
    }
    return std::uint64_t{1} << k;
}

} // namespace

bool GivenInputs::has(std::string_view name) const
{
    return (bits_ & givenBit(name)) != 0;
}

void GivenInputs::add(std::string_view name)
{
    bits_ |= givenBit(name);
}

bool InputField::appliesTo(const Inputs& in) const
{
    if (fourWireLine && !isFourWireLine(in.tower)) {
        return false;
    }
    const std::string_view n = name;
    if (n.substr(0, 4) == "law-") {
        if (in.law.kind != StrikingLaw::Kind::custom) {
            return false;
        }
        if (in.law.beta) {
            return n != "law-c" && n != "law-d";
        }
        return n != "law-beta";
    }
    if (n == "thunder-days") {
        return in.thunderDays.has_value();
    }
    if (insulation) {
        return isFourWireLine(in.tower) && get(in) == get(in);
    }
    if (n == "current-scale" || n == "current-exponent") {
        return in.distribution.kind == CurrentDistribution::Kind::builtIn;
    }
    if (n == "current-median" || n == "current-sigma") {
        return in.distribution.kind == CurrentDistribution::Kind::logNormal;
    }
    return true;
}

bool parseNumber(std::string_view text, double& value)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
        return false;
    }
    const std::string copy(text); // a NUL inside ends the number early: caught below
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size();
}

} // namespace egm
