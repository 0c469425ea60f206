// The resolver of named inputs: one layer of named values on top of the
// inputs below it (see resolveInputs in input_table.h).
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "egm/input_table.h"

namespace egm {

namespace {

double numberOf(const NamedValue& v, std::string_view name)
{
    if (v.number) {
        return *v.number;
    }
    double value = 0.0;
    if (!parseNumber(v.text, value)) {
        throw InputError(std::string(name) + " '" + v.text + "' is not a number");
    }
    return value;
}

bool given(const NamedValue& v)
{
    return v.number.has_value() || !v.text.empty();
}

// The voltage terms as the layers so far leave them: under another law than
// the built-in one they are 0 unless given; back on the built-in law over a
// base of another law the four-wire line's is the default again unless
// given.
void settleVoltageTerms(Inputs& in, StrikingLaw::Kind baseLaw)
{
    if (in.given.has("voltage-term") || in.given.has("tower")) {
        return;
    }
    if (in.law.kind != StrikingLaw::Kind::builtIn) {
        for (TowerWire& w : in.tower.wires) {
            w.voltageTerm = 0.0;
        }
    } else if (baseLaw != StrikingLaw::Kind::builtIn && isFourWireLine(in.tower)) {
        const double u = Inputs{}.tower.wires[2].voltageTerm;
        in.tower.wires[2].voltageTerm = u;
        in.tower.wires[3].voltageTerm = -u;
    }
}

// The custom law's coefficients: only under that law, and G by c, d or by
// beta, not both.
void setLawCoefficients(const NamedInputs& named,
                        const std::vector<std::pair<const InputField*, const NamedValue*>>& fields,
                        Inputs& in)
{
    const InputField* lawField = nullptr;
    bool groundByPower = false;
    bool groundByBeta = false;
    for (const auto& [f, v] : fields) {
        const std::string_view n = f->name;
        if (n.substr(0, 4) == "law-") {
            lawField = lawField != nullptr ? lawField : f;
            groundByPower = groundByPower || n == "law-c" || n == "law-d";
            groundByBeta = groundByBeta || n == "law-beta";
        }
    }
    if (lawField != nullptr && in.law.kind != StrikingLaw::Kind::custom) {
        throw InputError(std::string(lawField->name) + ": belongs to the custom law, not to law " +
                         std::string(lawName(in.law.kind)));
    }
    if (groundByPower && groundByBeta) {
        throw InputError("law-beta and law-c, law-d each give the ground's striking line: give one of them");
    }
    if (groundByPower) {
        in.law.beta.reset();
    }
    if (named.lawCoefficients.empty()) {
        return;
    }
    const std::vector<NamedValue>& c = named.lawCoefficients;
    if (in.law.kind != StrikingLaw::Kind::custom) {
        throw InputError("law coefficients go with the custom law, not with law " +
                         std::string(lawName(in.law.kind)));
    }
    if (c.size() != 3 && c.size() != 4) {
        throw InputError("law coefficients: a, b, c, d (G = c I^d) or a, b, beta (G = beta a I^b), not " +
                         std::to_string(c.size()) + " values");
    }
    in.law.a = numberOf(c[0], "law coefficient a");
    in.law.b = numberOf(c[1], "law coefficient b");
    in.given.add("law-a");
    in.given.add("law-b");
    if (c.size() == 3) {
        in.law.beta = numberOf(c[2], "law coefficient beta");
        in.given.add("law-beta");
    } else {
        in.law.c = numberOf(c[2], "law coefficient c");
        in.law.d = numberOf(c[3], "law coefficient d");
        in.law.beta.reset();
        in.given.add("law-c");
        in.given.add("law-d");
    }
}

} // namespace

Inputs resolveInputs(const NamedInputs& named, const Inputs& base)
{
    Inputs in = base;
    if (named.tower) {
        in.tower = *named.tower;
        // A tower's own voltage terms are given on purpose.
        in.given.add("tower");
    }
    std::vector<std::pair<const InputField*, const NamedValue*>> fields;
    for (const NamedValue& v : named.values) {
        const InputField* f = inputField(v.name);
        if (f == nullptr) {
            throw InputError("unknown input '" + v.name + "'");
        }
        if (given(v)) {
            fields.emplace_back(f, &v);
        }
    }
    const auto names = [&](std::string_view name) {
        return std::any_of(fields.begin(), fields.end(),
                           [&](const auto& f) { return f.first->name == name; });
    };
    if (names("flash-density") && names("thunder-days")) {
        throw InputError(
            "flash-density and thunder-days each give the ground flash density: give one of them");
    }
    // Groups first, so that a single wire's input can still move one wire
    // of a group.
    for (const bool groups : {true, false}) {
        for (const auto& [f, v] : fields) {
            if ((f->kind == InputField::Kind::group) != groups) {
                continue;
            }
            if (f->kind == InputField::Kind::choice) {
                f->setChoice(in, v->number ? shortestText(*v->number) : v->text);
            } else {
                f->set(in, numberOf(*v, f->name));
            }
            in.given.add(f->name);
        }
    }
    if (named.currentTable) {
        in.distribution.table = *named.currentTable;
        if (in.distribution.kind != CurrentDistribution::Kind::table) {
            throw InputError("current-table: goes with distribution table, not with distribution " +
                             std::string(distributionName(in.distribution.kind)));
        }
    }
    if (named.ground) {
        in.ground = *named.ground;
    }
    setLawCoefficients(named, fields, in);
    settleVoltageTerms(in, base.law.kind);
    return in;
}

CaseInputs resolveCase(const NamedInputs& named, const Inputs& base)
{
    try {
        return CaseInputs{resolveInputs(named, base), {}};
    } catch (const InputError& e) {
        return CaseInputs{base, e.what()};
    }
}

} // namespace egm
