// The checks of the inputs and the remarks about the tower.
#include <cmath>
#include <cstdio>
#include <string>

#include "egm/input_table.h"
#include "egm/shielding.h"
#include "evaluations.h"
#include "grid.h"
#include "rt_safe_math.h"

namespace egm {

namespace {

[[noreturn]] void refuse(const InputField& field, double value)
{
    throw InputError(std::string(field.name) + " " + field.valueText(value) + ": " + field.rangeText());
}

const InputField& fieldNamed(std::string_view name)
{
    return *inputField(name);
}

// A bound for a message, to four significant digits.
std::string roughly(double x)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", x);
    return text;
}

bool samePlace(const TowerWire& a, const TowerWire& b)
{
    return a.x == b.x && a.height == b.height;
}

// A profile that is one, not with a slope; every wire above the surface
// under it, at its average height.
void validateGround(const Inputs& in)
{
    const GroundProfile& ground = in.ground;
    if (ground.empty()) {
        for (std::size_t i = 0; i < in.tower.size(); ++i) {
            const TowerWire& w = in.tower.wires[i];
            if (w.kind == WireKind::otherWire && !(w.height - 2.0 / 3.0 * w.sag > 0.0)) {
                throw TowerError("wire " + std::to_string(i + 1) + " (" + in.tower.nameOf(i) + "): height " +
                                     shortestText(w.height) + " m: must stand above the ground",
                                 i);
            }
        }
        return;
    }
    if (const std::optional<GroundProfile::Fault> f = GroundProfile::fault(ground.points())) {
        throw InputError(
            "ground profile: " + (f->row == 0 ? std::string() : "point " + std::to_string(f->row) + ": ") +
            f->reason);
    }
    if (in.slope != 0.0) {
        throw InputError("slope " + shortestText(in.slope) +
                         " degrees: a ground profile gives the ground's shape; give one or the other");
    }
    const double base = ground.base();
    for (std::size_t i = 0; i < in.tower.size(); ++i) {
        const TowerWire& w = in.tower.wires[i];
        const double above = ground.surfaceAt(w.x) - base;
        if (!(w.height - 2.0 / 3.0 * w.sag > above)) {
            throw TowerError("wire " + std::to_string(i + 1) + " (" + in.tower.nameOf(i) + "): height " +
                                 shortestText(w.height) +
                                 " m above the tower's base: the ground's surface under it (x " +
                                 shortestText(w.x) + " m) stands " + shortestText(above) +
                                 " m above the base, so the wire would be in it",
                             i);
        }
    }
}

} // namespace

void validate(const Inputs& in)
{
    const bool fourWire = isFourWireLine(in.tower);
    for (const InputField& f : inputFields()) {
        if (f.kind == InputField::Kind::number && f.appliesTo(in) && !f.allows(f.get(in))) {
            refuse(f, f.get(in));
        }
    }
    validate(in.tower);
    if (in.distribution.kind == CurrentDistribution::Kind::table) {
        const CurrentTable& t = in.distribution.table;
        if (t.empty()) {
            throw InputError(
                "distribution table: needs its current table (a file of current,probability rows)");
        }
        if (const std::string e = CurrentTable::check(t.currents(), t.probabilities()); !e.empty()) {
            throw InputError("current table: " + e);
        }
    }
    std::int32_t loop = 0;
    std::int32_t storage = 0;
    if (!model::integrationStepCounts(in.lowestCurrent, loop, storage)) {
        refuse(fieldNamed("min-current"), in.lowestCurrent);
    }
    model::withEvaluatorType(in.evaluation, [&]<class E>(std::type_identity<E>) { E::check(in); });
    validateGround(in);
    // The wires with a voltage term's bracket: the conductors and the other
    // wires.
    std::vector<std::size_t> conductors;
    for (std::size_t i = 0; i < in.tower.size(); ++i) {
        if (in.tower.wires[i].kind != WireKind::groundWire) {
            conductors.push_back(i);
        }
    }
    // Each conductor's bracket 5.015 I^0.578 + U must not go below 0 at the
    // lowest current, where it is smallest.
    const double p = numeric::rt_powd_snf(in.lowestCurrent, 0.578) * 5.015;
    for (std::size_t k = 0; k < conductors.size(); ++k) {
        const double u = in.tower.wires[conductors[k]].voltageTerm;
        const std::string subject = fourWire
                                        ? "voltage-term " + shortestText(in.tower.wires[2].voltageTerm)
                                        : in.tower.nameOf(conductors[k]) + " voltage-term " + shortestText(u);
        if (in.law.kind != StrikingLaw::Kind::builtIn) {
            if (u != 0.0) {
                throw InputError(subject + ": belongs to the built-in law; must be 0 with law " +
                                 std::string(lawName(in.law.kind)));
            }
            continue;
        }
        if (!(p + u >= 0.0)) {
            const std::string whose = fourWire ? "conductor " + std::to_string(k + 1) + "'s" : "its";
            throw InputError(subject + ": makes " + whose +
                             " striking distance undefined at the lowest current " +
                             shortestText(in.lowestCurrent) + " kA; must lie between -" + roughly(p) +
                             " and " + roughly(p) + " there (5.015 I^0.578)");
        }
    }
}

std::vector<std::string> layoutNotes(const Inputs& in)
{
    std::vector<std::string> notes;
    const Tower& tower = in.tower;
    for (std::size_t i = 0; i < tower.size(); ++i) {
        for (std::size_t j = i + 1; j < tower.size(); ++j) {
            if (samePlace(tower.wires[i], tower.wires[j])) {
                notes.push_back(
                    "note: " + tower.nameOf(i) + " and " + tower.nameOf(j) + " stand at the same place (x " +
                    shortestText(tower.wires[i].x) + " m, height " + shortestText(tower.wires[i].height) +
                    " m): a stroke reaching both goes to the conductor, else to the earlier wire");
            }
        }
    }
    model::withEvaluatorType(in.evaluation, [&]<class E>(std::type_identity<E>) { E::addNotes(in, notes); });
    return notes;
}

} // namespace egm
