// The four-wire line's insulation inputs: what gives each conductor's
// critical current, for both conductors and for each.
#include <algorithm>
#include <cmath>
#include <optional>

#include "input_fields.h"

namespace egm::fields {

namespace {

using Member = std::optional<double> Insulation::*;

// An input's name as a template argument, for the setters' messages.
template <std::size_t N> struct Name {
    char text[N];
    constexpr Name(const char (&s)[N]) { std::copy_n(s, N, text); }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

// NaN reads as not given: the conductor has no value for it.
std::optional<double> given(double v)
{
    return std::isnan(v) ? std::nullopt : std::optional<double>(v);
}

template <int W, Member M> double conductorValue(const Inputs& in)
{
    return isFourWireLine(in.tower) ? (in.tower.wires[W].insulation.*M).value_or(std::nan("")) : std::nan("");
}

// Conductor 1 is wire 2 of the four-wire line, conductor 2 wire 3; W -1:
// both.
template <Name N, int W, Member M> InputField field(std::string_view unit, std::string_view help)
{
    InputField f = number(N.view(), unit, help, help, conductorValue < W < 0 ? 2 : W, M >, nullptr);
    f.set = [](Inputs& in, double v) {
        Tower& line = lineTower(in, N.view());
        for (const int w : {2, 3}) {
            if (W < 0 || W == w) {
                line.wires[static_cast<std::size_t>(w)].insulation.*M = given(v);
            }
        }
    };
    f.fourWireLine = true;
    f.insulation = true;
    return f;
}

} // namespace

void appendInsulationFields(std::vector<InputField>& t)
{
    using I = Insulation;
    const char* c1 = "the same for conductor 1 alone";
    const char* c2 = "the same for conductor 2 alone";
    t.push_back(field<"critical-current", -1, &I::criticalCurrent>(
        "kA", "critical current Ic of both conductors: strokes above it flash the insulation over"));
    t.push_back(field<"critical-current3", 2, &I::criticalCurrent>("kA", c1));
    t.push_back(field<"critical-current4", 3, &I::criticalCurrent>("kA", c2));
    t.push_back(field<"cfo", -1, &I::cfo>(
        "kV", "critical flashover voltage of both conductors' insulation, negative impulse: Ic = 2 CFO / Z"));
    t.push_back(field<"cfo3", 2, &I::cfo>("kV", c1));
    t.push_back(field<"cfo4", 3, &I::cfo>("kV", c2));
    t.push_back(field<"insulation-length", -1, &I::insulationLength>(
        "m", "insulation length of both conductors instead of the cfo: CFO = 605 kV/m length"));
    t.push_back(field<"insulation-length3", 2, &I::insulationLength>("m", c1));
    t.push_back(field<"insulation-length4", 3, &I::insulationLength>("m", c2));
    t.push_back(field<"surge-impedance", -1, &I::surgeImpedance>(
        "ohm", "surge impedance Z of both conductors, with the cfo"));
    t.push_back(field<"surge-impedance3", 2, &I::surgeImpedance>("ohm", c1));
    t.push_back(field<"surge-impedance4", 3, &I::surgeImpedance>("ohm", c2));
    t.push_back(field<"conductor-radius", -1, &I::conductorRadius>(
        "m", "radius of one (sub)conductor of both: with the cfo, Z under corona at the conductor's height"));
    t.push_back(field<"conductor-radius3", 2, &I::conductorRadius>("m", c1));
    t.push_back(field<"conductor-radius4", 3, &I::conductorRadius>("m", c2));
    t.push_back(
        field<"subconductors", -1, &I::subconductors>("", "subconductors of both conductors' bundles"));
    t.push_back(field<"subconductors3", 2, &I::subconductors>("", c1));
    t.push_back(field<"subconductors4", 3, &I::subconductors>("", c2));
    t.push_back(field<"bundle-radius", -1, &I::bundleRadius>(
        "m", "radius of the circle both bundles' subconductors stand on"));
    t.push_back(field<"bundle-radius3", 2, &I::bundleRadius>("m", c1));
    t.push_back(field<"bundle-radius4", 3, &I::bundleRadius>("m", c2));
}

} // namespace egm::fields
