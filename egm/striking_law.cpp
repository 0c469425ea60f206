#include "striking_law.h"

#include <cmath>

#include "egm_constants.h"
#include "rt_safe_math.h"

namespace egm::model {

using namespace egm::numeric;

namespace {

struct PowerLaw {
    double factor;
    double exponent;
    double at(double current) const { return factor * rt_powd_snf(current, exponent); }
};

// r of the law's wires and G, with k_g as given; the built-in law's without
// voltage term.
LineDistances lawDistances(const StrikingLaw& law, double current, double kg)
{
    PowerLaw wires{10.0, 0.65};
    LineDistances d;
    switch (law.kind) {
    case StrikingLaw::Kind::builtIn:
        // Its ground wires' distance, which a conductor without voltage
        // term shares.
        d.groundWire = rt_powd_snf(rt_powd_snf(current, 0.578) * 5.015, 1.125) * 1.63;
        d.groundStrikeHeight = kg * d.groundWire;
        break;
    case StrikingLaw::Kind::ieee1992:
        d.groundWire = wires.at(current);
        d.groundStrikeHeight = kg * d.groundWire;
        break;
    case StrikingLaw::Kind::love:
        d.groundWire = wires.at(current);
        d.groundStrikeHeight = d.groundWire;
        break;
    case StrikingLaw::Kind::brownWhitehead:
        d.groundWire = PowerLaw{7.1, 0.75}.at(current);
        d.groundStrikeHeight = PowerLaw{6.4, 0.75}.at(current);
        break;
    case StrikingLaw::Kind::armstrongWhitehead:
        d.groundWire = PowerLaw{6.7, 0.80}.at(current);
        d.groundStrikeHeight = PowerLaw{6.0, 0.80}.at(current);
        break;
    case StrikingLaw::Kind::custom:
        d.groundWire = PowerLaw{law.a, law.b}.at(current);
        d.groundStrikeHeight = law.beta ? *law.beta * d.groundWire : PowerLaw{law.c, law.d}.at(current);
        break;
    }
    d.conductor1 = d.groundWire;
    d.conductor2 = d.groundWire;
    return d;
}

} // namespace

LineDistances builtInLineDistances(double current, const LineGeometry& geometry, double voltageTerm)
{
    const double kg = groundFactor(geometry);
    const double p = rt_powd_snf(current, 0.578) * 5.015;
    LineDistances d;
    d.groundWire = rt_powd_snf(p, 1.125) * 1.63;
    d.conductor1 = rt_powd_snf(p + voltageTerm, 1.125) * 1.63;
    d.conductor2 = rt_powd_snf(p - voltageTerm, 1.125) * 1.63;
    d.groundStrikeHeight = kg * d.groundWire;
    return d;
}

double groundFactor(const LineGeometry& geometry)
{
    const double h = (geometry[4] + geometry[5]) / 2.0;
    if (h < 40.0) {
        return 0.17 * std::log(43.0 - h) + 0.36;
    }
    return 0.55;
}

LineDistances lineDistances(const StrikingLaw& law, double current, const LineGeometry& geometry,
                            double voltageTerm)
{
    if (law.kind == StrikingLaw::Kind::builtIn) {
        return builtInLineDistances(current, geometry, voltageTerm);
    }
    return lawDistances(law, current, groundFactor(geometry));
}

double meanShieldHeight(const Tower& tower)
{
    const std::vector<std::size_t> ground = tower.groundWires();
    const std::vector<std::size_t> wires = ground.empty() ? tower.conductors() : ground;
    double sum = 0.0;
    for (const std::size_t i : wires) {
        sum += tower.wires[i].height;
    }
    return sum / static_cast<double>(wires.size());
}

double groundFactor(const Tower& tower)
{
    const double h = meanShieldHeight(tower);
    if (h < 40.0) {
        return 0.17 * std::log(43.0 - h) + 0.36;
    }
    return 0.55;
}

LineGeometry geometryOf(const Line& line)
{
    return LineGeometry{line.groundWire1.x,     line.groundWire2.x,      line.conductor1.x,
                        line.conductor2.x,      line.groundWire1.height, line.groundWire2.height,
                        line.conductor1.height, line.conductor2.height};
}

} // namespace egm::model

namespace egm {

namespace {

struct LawEntry {
    StrikingLaw::Kind kind;
    std::string_view name;
};
constexpr LawEntry kLawNames[] = {
    {StrikingLaw::Kind::builtIn, "built-in"},
    {StrikingLaw::Kind::ieee1992, "ieee-1992"},
    {StrikingLaw::Kind::love, "love"},
    {StrikingLaw::Kind::brownWhitehead, "brown-whitehead"},
    {StrikingLaw::Kind::armstrongWhitehead, "armstrong-whitehead"},
    {StrikingLaw::Kind::custom, "custom"},
};

} // namespace

std::string_view lawName(StrikingLaw::Kind kind)
{
    for (const LawEntry& e : kLawNames) {
        if (e.kind == kind) {
            return e.name;
        }
    }
    return "?";
}

std::optional<StrikingLaw::Kind> lawNamed(std::string_view name)
{
    for (const LawEntry& e : kLawNames) {
        if (e.name == name) {
            return e.kind;
        }
    }
    return std::nullopt;
}

namespace {

struct DistributionName {
    CurrentDistribution::Kind kind;
    std::string_view name;
};
constexpr DistributionName kDistributionNames[] = {
    {CurrentDistribution::Kind::builtIn, "built-in"},
    {CurrentDistribution::Kind::logNormal, "log-normal"},
    {CurrentDistribution::Kind::cigre, "cigre"},
    {CurrentDistribution::Kind::table, "table"},
};

} // namespace

std::string_view distributionName(CurrentDistribution::Kind kind)
{
    for (const DistributionName& d : kDistributionNames) {
        if (d.kind == kind) {
            return d.name;
        }
    }
    return {};
}

std::optional<CurrentDistribution::Kind> distributionNamed(std::string_view name)
{
    for (const DistributionName& d : kDistributionNames) {
        if (d.name == name) {
            return d.kind;
        }
    }
    return std::nullopt;
}

StrikingDistances strikingDistances(const StrikingLaw& law, double current, const Tower& tower)
{
    // Every wire gets the law's distance for a wire without voltage term;
    // under the built-in law a conductor's own voltage term enters its
    // bracket, 1.63 (5.015 I^0.578 + U)^1.125, as on the four-wire line.
    const model::LineDistances common = model::lawDistances(law, current, model::groundFactor(tower));
    StrikingDistances d;
    d.wire.assign(tower.size(), common.groundWire);
    d.groundStrikeHeight = common.groundStrikeHeight;
    if (law.kind == StrikingLaw::Kind::builtIn) {
        const double p = numeric::rt_powd_snf(current, 0.578) * 5.015;
        for (std::size_t i = 0; i < tower.size(); ++i) {
            if (tower.wires[i].kind != WireKind::groundWire) {
                d.wire[i] = numeric::rt_powd_snf(p + tower.wires[i].voltageTerm, 1.125) * 1.63;
            }
        }
    }
    return d;
}

double currentDensity(const CurrentDistribution& distribution, double current)
{
    if (distribution.kind == CurrentDistribution::Kind::cigre) {
        return model::cigreDensity(current);
    }
    if (distribution.kind == CurrentDistribution::Kind::table) {
        return distribution.table.density(current);
    }
    if (distribution.kind == CurrentDistribution::Kind::logNormal) {
        const double z = (std::log(current) - std::log(distribution.median)) / distribution.sigma;
        return std::exp(-0.5 * z * z) / (current * distribution.sigma * std::sqrt(2.0 * model::kPi));
    }
    // The derivative of 1 - 1 / (1 + q^exponent); kept in this order to the
    // last bit: (q^(e - 1) e) / ((D D) scale), D = q^e + 1.
    const double q = current / distribution.scale;
    const double d = numeric::rt_powd_snf(q, distribution.exponent) + 1.0;
    return (numeric::rt_powd_snf(q, distribution.exponent - 1.0) * distribution.exponent) /
           ((d * d) * distribution.scale);
}

} // namespace egm
