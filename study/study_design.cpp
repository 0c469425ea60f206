#include "study_design.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

#include "egm/input_table.h"
#include "study_design_names.h"
#include "study_format.h"
#include "study_inputs.h"

namespace study {

const char* const kDesignHelp = R"(Variables (--variable):
  spread              horizontal distance between the ground wires, m: x1 = -x2 = spread/2
                      on the four-wire line; with --tower, a tower of exactly two ground
                      wires, placed symmetrically about their middle
  ground-wire-height  height of every ground wire of the tower, m
  conductor-height    height of every conductor of the tower, m
  shielding-angle     four-wire line: angle between the vertical through each ground wire
                      and the line to its conductor, degrees, positive when the conductor is
                      outside; the ground wires move across
Targets (--target), stroke rates:
  total=R        total rate at most R strokes per 100 km per year
  NAME=R         the conductor NAME's rate at most R (conductor1=R, conductor2=R on the
                 four-wire line; a tower file's names with --tower)
  each=R         each conductor's rate at most R
  perfect=I      perfect shielding for vertical strokes above I kA: the classical maximum
                 shielding failure current of every conductor at or below I kA
Targets on insulated conductors (each one's critical current Ic from --critical-current, or
--cfo or --insulation-length with --surge-impedance or --conductor-radius, or a tower file's
columns of those names; a conductor without one is a usage error naming it):
  flashover-total=R  total shielding failure flashover rate (the strokes from each conductor's
                     Ic up) at most R flashovers per 100 km per year; every conductor needs Ic
  flashover-NAME=R   the conductor NAME's flashover rate at most R; NAME alone needs Ic
  flashover-each=R   each conductor's flashover rate at most R (the response: the largest)
  perfect=critical   every conductor's classical maximum shielding failure current (vertical
                     strokes) at or below its own Ic: the response is the largest of the
                     classical maximum current less Ic, kA, and the target 0; vertical
                     strokes only, as perfect=I: rate's "perfectly shielded", which takes
                     every incidence angle, is flashover-each=0
  A name after flashover- is read as total, each or a conductor's name first: a conductor
  named flashover-x is targeted by flashover-x=R (its stroke rate) unless x is total, each or
  another conductor's name.
The response is sampled at --samples evenly spaced values of --range (default: a range that
suits the variable), every crossing of the target is found by bisection to 0.01 m (or 0.01
degrees), and a response that does not rise or fall steadily is reported as such with all
its crossings. Exit status 1 when the target cannot be met inside the range (the best value
is then given).)";

const VariableInfo kVariables[] = {
    {DesignVariable::spread, "spread", "ground-wire spread", "m"},
    {DesignVariable::groundWireHeight, "ground-wire-height", "height of both ground wires", "m"},
    {DesignVariable::conductorHeight, "conductor-height", "height of both conductors", "m"},
    {DesignVariable::shieldingAngle, "shielding-angle", "shielding angle", "degrees"},
};

const VariableInfo& infoOf(DesignVariable v)
{
    for (const VariableInfo& i : kVariables) {
        if (i.variable == v) {
            return i;
        }
    }
    return kVariables[0];
}

const TargetInfo kTargets[] = {
    {DesignTarget::total, "total", "total rate at most", "total rate", "response"},
    {DesignTarget::conductor, "conductor", "the conductor's rate at most", "the conductor's rate",
     "response"},
    {DesignTarget::each, "each", "each conductor's rate at most", "largest rate of a conductor", "response"},
    {DesignTarget::perfect, "perfect", "classical maximum shielding failure current at most",
     "largest classical maximum shielding failure current", "response"},
    {DesignTarget::flashoverTotal, "flashover-total", "total flashover rate at most", "total flashover rate",
     "flashoverResponse"},
    {DesignTarget::flashoverConductor, "flashover-conductor", "the conductor's flashover rate at most",
     "the conductor's flashover rate", "flashoverResponse"},
    {DesignTarget::flashoverEach, "flashover-each", "each conductor's flashover rate at most",
     "largest flashover rate of a conductor", "flashoverResponse"},
    {DesignTarget::perfectCritical, "perfect-critical",
     "every conductor perfectly shielded for vertical strokes from its critical current up: the largest "
     "classical maximum shielding failure current less the conductor's critical current at most",
     "largest classical maximum current less critical current", "classicalOverCriticalResponse"},
};

bool needsCriticalCurrents(DesignTarget t)
{
    return t == DesignTarget::flashoverTotal || t == DesignTarget::flashoverConductor ||
           t == DesignTarget::flashoverEach || t == DesignTarget::perfectCritical;
}

const TargetInfo& infoOf(DesignTarget t)
{
    for (const TargetInfo& i : kTargets) {
        if (i.target == t) {
            return i;
        }
    }
    return kTargets[0];
}

std::string unitOf(DesignTarget t)
{
    switch (t) {
    case DesignTarget::perfect:
    case DesignTarget::perfectCritical:
        return "kA";
    case DesignTarget::flashoverTotal:
    case DesignTarget::flashoverConductor:
    case DesignTarget::flashoverEach:
        return "flashovers per 100 km per year";
    default:
        return "strokes per 100 km per year";
    }
}

namespace {

double responseOf(const egm::Result& r, DesignTarget t, const std::string& conductor)
{
    switch (t) {
    case DesignTarget::total:
        return r.totalRate;
    case DesignTarget::conductor: {
        const egm::ConductorResult* c = conductorNamed(r, conductor);
        return c != nullptr ? c->rate : std::nan("");
    }
    case DesignTarget::each: {
        double worst = 0.0;
        for (const egm::ConductorResult& c : r.conductors) {
            worst = std::max(worst, c.rate);
        }
        return worst;
    }
    case DesignTarget::perfect: {
        // A conductor never exposed to vertical strokes counts as 0 kA.
        double worst = 0.0;
        for (const egm::ConductorResult& c : r.conductors) {
            worst = std::max(worst, c.classicalMaxCurrent.current.value_or(0.0));
        }
        return worst;
    }
    case DesignTarget::flashoverTotal:
        return r.flashoverTotal.value_or(std::nan(""));
    case DesignTarget::flashoverConductor: {
        const egm::ConductorResult* c = conductorNamed(r, conductor);
        return c != nullptr && c->flashoverRate ? *c->flashoverRate : std::nan("");
    }
    case DesignTarget::flashoverEach: {
        double worst = 0.0;
        for (const egm::ConductorResult& c : r.conductors) {
            if (!c.flashoverRate) {
                return std::nan("");
            }
            worst = std::max(worst, *c.flashoverRate);
        }
        return worst;
    }
    case DesignTarget::perfectCritical: {
        // As for perfect, a conductor never exposed to vertical strokes
        // counts as 0 kA: it is shielded from its critical current up.
        double worst = -std::numeric_limits<double>::infinity();
        for (const egm::ConductorResult& c : r.conductors) {
            if (!c.criticalCurrent) {
                return std::nan("");
            }
            worst = std::max(worst, c.classicalMaxCurrent.current.value_or(0.0) - *c.criticalCurrent);
        }
        return worst;
    }
    }
    return r.totalRate;
}

// Highest and lowest height, largest |x| of the tower's wires of a kind.
struct KindExtent {
    bool any = false;
    double top = -std::numeric_limits<double>::infinity();
    double low = std::numeric_limits<double>::infinity();
    double outer = 0.0;
};
KindExtent extentOf(const egm::Tower& tower, egm::WireKind kind)
{
    KindExtent e;
    for (const egm::TowerWire& w : tower.wires) {
        if (w.kind == kind) {
            e.any = true;
            e.top = std::max(e.top, w.height);
            e.low = std::min(e.low, w.height);
            e.outer = std::max(e.outer, std::abs(w.x));
        }
    }
    return e;
}

// The default range of each variable for the tower.
std::pair<double, double> defaultRange(DesignVariable v, const egm::Inputs& in)
{
    const KindExtent conductors = extentOf(in.tower, egm::WireKind::conductor);
    const KindExtent groundWires = extentOf(in.tower, egm::WireKind::groundWire);
    switch (v) {
    case DesignVariable::spread:
        return {0.0, 2.0 * conductors.outer + 20.0};
    case DesignVariable::groundWireHeight:
        return {conductors.top + 2.0, conductors.top + 42.0};
    case DesignVariable::conductorHeight: {
        if (!groundWires.any) {
            return {5.0, 100.0};
        }
        return {std::max(5.0, groundWires.low - 40.0), groundWires.low - 2.0};
    }
    case DesignVariable::shieldingAngle: {
        // Up to a degree short of the angle at which a ground wire would
        // reach the line's middle.
        const egm::Line l = egm::lineOf(in.tower);
        const double reach1 = std::atan2(l.conductor1.x, l.groundWire1.height - l.conductor1.height);
        const double reach2 = std::atan2(-l.conductor2.x, l.groundWire2.height - l.conductor2.height);
        const double top = std::floor(std::min(reach1, reach2) * 180.0 / 3.141592653589793 - 1.0);
        return {-20.0, std::max(-10.0, std::min(40.0, top))};
    }
    }
    return {0.0, 1.0};
}

// Whether the tower has the variable; UsageError when not.
void requireVariable(const egm::Tower& tower, DesignVariable v)
{
    const bool fourWire = egm::isFourWireLine(tower);
    switch (v) {
    case DesignVariable::spread:
        if (!fourWire && tower.groundWires().size() != 2) {
            throw UsageError("--variable spread needs a tower of exactly two ground wires");
        }
        break;
    case DesignVariable::groundWireHeight:
        if (tower.groundWires().empty()) {
            throw UsageError("--variable ground-wire-height needs a tower with a ground wire");
        }
        break;
    case DesignVariable::conductorHeight:
        break;
    case DesignVariable::shieldingAngle:
        if (!fourWire) {
            throw UsageError("--variable shielding-angle needs the four-wire line (two ground wires above "
                             "two conductors), not a tower file");
        }
        break;
    }
}

// To the 0.01 of the variable's unit on the side that meets the target:
// up when larger values meet it, down otherwise.
double roundedToward(double x, bool up)
{
    return (up ? std::ceil(x * 100.0 - 1e-9) : std::floor(x * 100.0 + 1e-9)) / 100.0;
}

} // namespace

std::vector<std::string> designVariableNames()
{
    std::vector<std::string> names;
    for (const VariableInfo& i : kVariables) {
        names.emplace_back(i.name);
    }
    return names;
}

egm::Inputs withDesignValue(const egm::Inputs& base, DesignVariable variable, double value)
{
    requireVariable(base.tower, variable);
    egm::Inputs in = base;
    std::vector<egm::TowerWire>& wires = in.tower.wires;
    switch (variable) {
    case DesignVariable::spread:
        if (egm::isFourWireLine(in.tower)) {
            egm::inputField("ground-wire-spread")->set(in, value);
        } else {
            // The pair about its middle; the wire on the +x side stays there.
            const std::vector<std::size_t> g = in.tower.groundWires();
            egm::TowerWire& a = wires[g[0]];
            egm::TowerWire& b = wires[g[1]];
            const double middle = (a.x + b.x) / 2.0;
            const bool aOutside = a.x >= b.x;
            a.x = aOutside ? middle + value / 2.0 : middle - value / 2.0;
            b.x = aOutside ? middle - value / 2.0 : middle + value / 2.0;
        }
        break;
    case DesignVariable::groundWireHeight:
    case DesignVariable::conductorHeight: {
        const egm::WireKind kind = variable == DesignVariable::groundWireHeight ? egm::WireKind::groundWire
                                                                                : egm::WireKind::conductor;
        for (egm::TowerWire& w : wires) {
            if (w.kind == kind) {
                w.height = value;
            }
        }
        break;
    }
    case DesignVariable::shieldingAngle: {
        // The four-wire line's wires: ground wire 1, 2, conductor 1, 2.
        const double t = std::tan(value / 180.0 * 3.141592653589793);
        wires[0].x = wires[2].x - (wires[0].height - wires[2].height) * t;
        wires[1].x = wires[3].x + (wires[1].height - wires[3].height) * t;
        break;
    }
    }
    return in;
}

namespace {

DesignVariable variableNamed(const std::string& name)
{
    for (const VariableInfo& i : kVariables) {
        if (name == i.name) {
            return i.variable;
        }
    }
    throw UsageError("--variable '" + name + "' is not a design variable");
}

// The target's kind, conductor and value from "total=R", "NAME=R", ...
// The fixed kinds come first, then flashover- before a conductor's name,
// then a conductor's name alone.
void readTarget(DesignOutcome& out, const std::string& target, const std::vector<std::string>& conductors)
{
    const std::size_t eq = target.find('=');
    const std::string kind = eq == std::string::npos ? std::string() : target.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : target.substr(eq + 1);
    const auto isConductor = [&conductors](const std::string& name) {
        return std::find(conductors.begin(), conductors.end(), name) != conductors.end();
    };
    const std::string flashover = "flashover-";
    bool known = false;
    for (const TargetInfo& i : kTargets) {
        if (i.target != DesignTarget::conductor && i.target != DesignTarget::flashoverConductor &&
            i.target != DesignTarget::perfectCritical && kind == i.name) {
            out.target = i.target;
            known = true;
        }
    }
    if (!known && kind.rfind(flashover, 0) == 0 && isConductor(kind.substr(flashover.size()))) {
        out.target = DesignTarget::flashoverConductor;
        out.targetConductor = kind.substr(flashover.size());
        known = true;
    }
    if (!known && isConductor(kind)) {
        out.target = DesignTarget::conductor;
        out.targetConductor = kind;
        known = true;
    }
    if (!known) {
        std::string names;
        for (const std::string& n : conductors) {
            names += n + "=R, ";
        }
        throw UsageError("--target '" + target + "': give total=R, " + names +
                         "each=R, perfect=I, or on insulated conductors flashover-total=R, flashover-NAME=R, "
                         "flashover-each=R or perfect=critical");
    }
    if (out.target == DesignTarget::perfect && value == "critical") {
        out.target = DesignTarget::perfectCritical;
        out.targetValue = 0.0;
        return;
    }
    out.targetValue = numberOf("--target", value);
    if (!(out.targetValue >= 0.0 && std::isfinite(out.targetValue))) {
        throw UsageError("--target '" + target + "': the value must be 0 or more");
    }
}

// A target on the critical currents needs them: UsageError naming every
// conductor (the targeted one for flashover-NAME) without insulation.
void requireCriticalCurrents(const DesignOutcome& out, const egm::Tower& tower, const std::string& target)
{
    if (!needsCriticalCurrents(out.target)) {
        return;
    }
    std::string lacking;
    int count = 0;
    for (const std::size_t w : tower.conductors()) {
        const std::string name = tower.nameOf(w);
        const bool targeted = out.target != DesignTarget::flashoverConductor || name == out.targetConductor;
        if (targeted && !tower.wires[w].insulation.given()) {
            lacking += (lacking.empty() ? "" : ", ") + name;
            ++count;
        }
    }
    if (count > 0) {
        throw UsageError("--target '" + target + "': " + (count == 1 ? "conductor " : "conductors ") +
                         lacking + (count == 1 ? " has" : " have") +
                         " no critical current; give the insulation: critical-current (kA), or cfo or "
                         "insulation-length with surge-impedance or conductor-radius (as flags, "
                         "--critical-current3 and the like for one conductor, or a tower file's columns)");
    }
}

// The response table, computed together on every core. Throws
// egm::InputError naming the first value that cannot be computed.
void sampleTable(DesignOutcome& out, const egm::Inputs& base, int n, const egm::Options& options)
{
    const auto valueAt = [&out, n](int k) {
        return k == n - 1 ? out.to : out.from + (out.to - out.from) * k / (n - 1);
    };
    std::vector<egm::Inputs> cases;
    for (int k = 0; k < n; ++k) {
        cases.push_back(withDesignValue(base, out.variable, valueAt(k)));
    }
    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(cases, options);
    for (int k = 0; k < n; ++k) {
        DesignSample s;
        s.value = valueAt(k);
        s.result = outcomes[k].result;
        s.error = outcomes[k].error;
        s.response = s.result ? responseOf(*s.result, out.target, out.targetConductor) : std::nan("");
        out.table.push_back(s);
    }
    out.evaluations += n;
    for (const DesignSample& s : out.table) {
        if (!s.result) {
            throw egm::InputError(std::string("at ") + infoOf(out.variable).name + " " +
                                  egm::shortestText(s.value) + ": " + s.error);
        }
    }
}

// Steady: never rising, or never falling, beyond rounding.
bool steady(const std::vector<DesignSample>& table)
{
    bool rises = false;
    bool falls = false;
    for (std::size_t k = 1; k < table.size(); ++k) {
        const double d = table[k].response - table[k - 1].response;
        const double tol = 1e-9 * std::max(std::abs(table[k].response), std::abs(table[k - 1].response));
        rises = rises || d > tol;
        falls = falls || d < -tol;
    }
    return !(rises && falls);
}

// The crossing between a sample that meets the target and one that misses
// it, bisected to 0.01 of the variable's unit, on its meeting side.
template <class Evaluate, class Meets>
DesignSample crossingBetween(DesignSample a, DesignSample b, const Evaluate& evaluate, const Meets& meets)
{
    const bool metAbove = meets(b);
    while (b.value - a.value > 0.005) {
        const DesignSample m = evaluate((a.value + b.value) / 2.0);
        (meets(m) == meets(a) ? a : b) = m;
    }
    // The first value of 0.01 steps past the missing end that meets the
    // target. The bracket is narrower than a step, so that is the step
    // inside it or the one after.
    const DesignSample& side = metAbove ? b : a;
    const DesignSample& missing = metAbove ? a : b;
    const double step = metAbove ? 0.01 : -0.01;
    double rounded = roundedToward(missing.value, metAbove);
    if (std::abs(rounded - missing.value) < 1e-12) {
        rounded = std::round((rounded + step) * 100.0) / 100.0;
    }
    DesignSample found = std::abs(rounded - side.value) < 1e-12 ? side : evaluate(rounded);
    if (!meets(found)) {
        const double next = std::round((rounded + step) * 100.0) / 100.0;
        found = std::abs(next - side.value) < 1e-12 ? side : evaluate(next);
    }
    return meets(found) ? found : side;
}

// The stretches of the table that meet the target, each closed by the
// crossings found between its samples (crossings: one per change, in order).
template <class Meets> std::vector<MetStretch> metStretches(const DesignOutcome& out, const Meets& meets)
{
    std::vector<MetStretch> stretches;
    std::size_t crossing = 0;
    bool open = false;
    for (std::size_t k = 0; k < out.table.size(); ++k) {
        const bool met = meets(out.table[k]);
        if (k == 0 && met) {
            stretches.push_back(MetStretch{out.table[0], out.table[0], true, false});
        } else if (k > 0 && met != open) {
            const DesignSample& c = out.crossings.at(crossing++);
            if (met) {
                stretches.push_back(MetStretch{c, c, false, false});
            } else {
                stretches.back().to = c;
            }
        }
        open = met;
    }
    if (open) {
        stretches.back().to = out.table.back();
        stretches.back().toRangeEnd = true;
    }
    return stretches;
}

} // namespace

DesignOutcome solveDesign(const egm::Inputs& base, const DesignRequest& request)
{
    DesignOutcome out;
    out.variable = variableNamed(request.variable);
    requireVariable(base.tower, out.variable);
    readTarget(out, request.target, conductorNames(base.tower));
    requireCriticalCurrents(out, base.tower, request.target);
    const std::pair<double, double> range = request.range.size() == 2
                                                ? std::pair{request.range[0], request.range[1]}
                                                : defaultRange(out.variable, base);
    out.from = range.first;
    out.to = range.second;
    if (!(std::isfinite(out.from) && std::isfinite(out.to) && out.to > out.from)) {
        throw UsageError("--range " + egm::shortestText(out.from) + " " + egm::shortestText(out.to) +
                         ": needs FROM below TO");
    }
    egm::Options options;
    options.classicalMaxCurrents =
        out.target == DesignTarget::perfect || out.target == DesignTarget::perfectCritical;

    const auto evaluate = [&](double value) {
        DesignSample s;
        s.value = value;
        ++out.evaluations;
        try {
            s.result = egm::computeRates(withDesignValue(base, out.variable, value), options);
            s.response = responseOf(*s.result, out.target, out.targetConductor);
        } catch (const egm::InputError& e) {
            s.error = e.what();
            s.response = std::nan("");
        }
        return s;
    };
    const auto meets = [&](const DesignSample& s) { return s.result && s.response <= out.targetValue; };

    sampleTable(out, base, request.samples, options);
    out.monotone = steady(out.table);
    // Each change from meeting the target to missing it, or back, between
    // two samples.
    for (std::size_t k = 1; k < out.table.size(); ++k) {
        if (meets(out.table[k - 1]) != meets(out.table[k])) {
            out.crossings.push_back(crossingBetween(out.table[k - 1], out.table[k], evaluate, meets));
        }
    }
    out.metStretches = metStretches(out, meets);

    out.met = std::any_of(out.table.begin(), out.table.end(), meets) || !out.crossings.empty();
    out.metEverywhere = std::all_of(out.table.begin(), out.table.end(), meets);
    if (!out.crossings.empty()) {
        out.best = out.crossings.front();
    } else {
        // None: the sample closest to the target from the meeting side, or
        // the lowest response when nothing meets it.
        out.best = out.table.front();
        for (const DesignSample& s : out.table) {
            if (out.metEverywhere ? s.response > out.best.response : s.response < out.best.response) {
                out.best = s;
            }
        }
    }
    return out;
}

} // namespace study
