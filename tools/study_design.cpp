#include "study_design.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "egm/input_table.h"
#include "study_format.h"
#include "study_inputs.h"

namespace study {

const char* const kDesignHelp = R"(Variables (--variable):
  spread              horizontal distance between the ground wires, x1 = -x2 = spread/2, m
  ground-wire-height  height of both ground wires, m
  conductor-height    height of both conductors, m
  shielding-angle     angle between the vertical through each ground wire and the line to
                      its conductor, degrees, positive when the conductor is outside; the
                      ground wires move across
Targets (--target):
  total=R        total rate at most R strokes per 100 km per year
  conductor1=R   conductor 1's rate at most R (likewise conductor2=R)
  each=R         each conductor's rate at most R
  perfect=I      perfect shielding for vertical strokes above I kA: the classical maximum
                 shielding failure current of both conductors at or below I kA
The response is sampled at --samples evenly spaced values of --range (default: a range that
suits the variable), every crossing of the target is found by bisection to 0.01 m (or 0.01
degrees), and a response that does not rise or fall steadily is reported as such with all
its crossings. Exit status 1 when the target cannot be met inside the range (the best value
is then given).)";

namespace {

struct VariableInfo {
    DesignVariable variable;
    const char* name;
    const char* label;
    const char* unit;
};
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

struct TargetInfo {
    DesignTarget target;
    const char* name;
    const char* text;
};
const TargetInfo kTargets[] = {
    {DesignTarget::total, "total", "total rate at most"},
    {DesignTarget::conductor1, "conductor1", "conductor 1's rate at most"},
    {DesignTarget::conductor2, "conductor2", "conductor 2's rate at most"},
    {DesignTarget::each, "each", "each conductor's rate at most"},
    {DesignTarget::perfect, "perfect", "classical maximum shielding failure current at most"},
};

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
    return t == DesignTarget::perfect ? "kA" : "strokes per 100 km per year";
}

double responseOf(const egm::Result& r, DesignTarget t)
{
    switch (t) {
    case DesignTarget::total:
        return r.rates.total;
    case DesignTarget::conductor1:
        return r.rates.conductor1;
    case DesignTarget::conductor2:
        return r.rates.conductor2;
    case DesignTarget::each:
        return std::max(r.rates.conductor1, r.rates.conductor2);
    case DesignTarget::perfect: {
        // A conductor never exposed to vertical strokes counts as 0 kA.
        double worst = 0.0;
        for (const egm::MaxCurrent& m : r.classicalMaxCurrent) {
            worst = std::max(worst, m.current.value_or(0.0));
        }
        return worst;
    }
    }
    return r.rates.total;
}

// The default range of each variable for the line.
std::pair<double, double> defaultRange(DesignVariable v, const egm::Inputs& in)
{
    const egm::Line& l = in.line;
    switch (v) {
    case DesignVariable::spread: {
        const double outer = std::max(std::abs(l.conductor1.x), std::abs(l.conductor2.x));
        return {0.0, 2.0 * outer + 20.0};
    }
    case DesignVariable::groundWireHeight: {
        const double top = std::max(l.conductor1.height, l.conductor2.height);
        return {top + 2.0, top + 42.0};
    }
    case DesignVariable::conductorHeight: {
        const double low = std::min(l.groundWire1.height, l.groundWire2.height);
        return {std::max(5.0, low - 40.0), low - 2.0};
    }
    case DesignVariable::shieldingAngle: {
        // Up to a degree short of the angle at which a ground wire would
        // reach the line's middle.
        const double reach1 = std::atan2(l.conductor1.x, l.groundWire1.height - l.conductor1.height);
        const double reach2 = std::atan2(-l.conductor2.x, l.groundWire2.height - l.conductor2.height);
        const double top = std::floor(std::min(reach1, reach2) * 180.0 / 3.141592653589793 - 1.0);
        return {-20.0, std::max(-10.0, std::min(40.0, top))};
    }
    }
    return {0.0, 1.0};
}

// To the 0.01 of the variable's unit on the side that meets the target:
// up when larger values meet it, down otherwise.
double roundedToward(double x, bool up)
{
    return (up ? std::ceil(x * 100.0 - 1e-9) : std::floor(x * 100.0 + 1e-9)) / 100.0;
}

} // namespace

void DesignRequest::addTo(CLI::App* app)
{
    std::vector<std::string> names;
    for (const VariableInfo& i : kVariables) {
        names.emplace_back(i.name);
    }
    app->add_option("--variable", variable, "spread, ground-wire-height, conductor-height or shielding-angle")
        ->required()
        ->check(CLI::IsMember(names))
        ->option_text(" NAME");
    app->add_option("--target", target, "total=R, conductor1=R, conductor2=R, each=R or perfect=I (kA)")
        ->required()
        ->option_text(" KIND=VALUE");
    app->add_option("--range", range, "search range of the variable (default: one that suits it)")
        ->expected(2)
        ->option_text(" FROM TO");
    app->add_option("--samples", samples, "values of the response table, 3 to 101 (default 11)")
        ->check(CLI::Range(3, 101))
        ->option_text(" N");
}

egm::Inputs withDesignValue(const egm::Inputs& base, DesignVariable variable, double value)
{
    egm::Inputs in = base;
    egm::Line& l = in.line;
    switch (variable) {
    case DesignVariable::spread:
        egm::inputField("ground-wire-spread")->set(in, value);
        break;
    case DesignVariable::groundWireHeight:
        egm::inputField("ground-wire-height")->set(in, value);
        break;
    case DesignVariable::conductorHeight:
        egm::inputField("conductor-height")->set(in, value);
        break;
    case DesignVariable::shieldingAngle: {
        const double t = std::tan(value / 180.0 * 3.141592653589793);
        l.groundWire1.x = l.conductor1.x - (l.groundWire1.height - l.conductor1.height) * t;
        l.groundWire2.x = l.conductor2.x + (l.groundWire2.height - l.conductor2.height) * t;
        break;
    }
    }
    return in;
}

DesignOutcome solveDesign(const egm::Inputs& base, const DesignRequest& request)
{
    DesignOutcome out;
    bool known = false;
    for (const VariableInfo& i : kVariables) {
        if (request.variable == i.name) {
            out.variable = i.variable;
            known = true;
        }
    }
    if (!known) {
        throw UsageError("--variable '" + request.variable + "' is not a design variable");
    }
    const std::size_t eq = request.target.find('=');
    known = false;
    for (const TargetInfo& i : kTargets) {
        if (eq != std::string::npos && request.target.substr(0, eq) == i.name) {
            out.target = i.target;
            known = true;
        }
    }
    if (!known) {
        throw UsageError("--target '" + request.target +
                         "': give total=R, conductor1=R, conductor2=R, each=R or perfect=I");
    }
    out.targetValue = numberOf("--target", request.target.substr(eq + 1));
    if (!(out.targetValue >= 0.0 && std::isfinite(out.targetValue))) {
        throw UsageError("--target '" + request.target + "': the value must be 0 or more");
    }
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
    options.classicalMaxCurrents = out.target == DesignTarget::perfect;

    const auto evaluate = [&](double value) {
        DesignSample s;
        s.value = value;
        ++out.evaluations;
        try {
            s.result = egm::computeRates(withDesignValue(base, out.variable, value), options);
            s.response = responseOf(*s.result, out.target);
        } catch (const egm::InputError& e) {
            s.error = e.what();
            s.response = std::nan("");
        }
        return s;
    };
    const auto meets = [&](const DesignSample& s) { return s.result && s.response <= out.targetValue; };

    // The response table, computed together on every core.
    const int n = request.samples;
    std::vector<egm::Inputs> cases;
    for (int k = 0; k < n; ++k) {
        const double v = k == n - 1 ? out.to : out.from + (out.to - out.from) * k / (n - 1);
        cases.push_back(withDesignValue(base, out.variable, v));
    }
    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(cases, options);
    for (int k = 0; k < n; ++k) {
        DesignSample s;
        s.value = k == n - 1 ? out.to : out.from + (out.to - out.from) * k / (n - 1);
        s.result = outcomes[k].result;
        s.error = outcomes[k].error;
        s.response = s.result ? responseOf(*s.result, out.target) : std::nan("");
        out.table.push_back(s);
    }
    out.evaluations += n;
    for (const DesignSample& s : out.table) {
        if (!s.result) {
            throw egm::InputError(std::string("at ") + infoOf(out.variable).name + " " +
                                  egm::shortestText(s.value) + ": " + s.error);
        }
    }

    // Steady: never rising, or never falling, beyond rounding.
    bool rises = false;
    bool falls = false;
    for (int k = 1; k < n; ++k) {
        const double d = out.table[k].response - out.table[k - 1].response;
        const double tol =
            1e-9 * std::max(std::abs(out.table[k].response), std::abs(out.table[k - 1].response));
        rises = rises || d > tol;
        falls = falls || d < -tol;
    }
    out.monotone = !(rises && falls);

    // Each change from meeting the target to missing it, or back, between
    // two samples is bisected to 0.01 of the variable's unit.
    for (int k = 1; k < n; ++k) {
        DesignSample a = out.table[k - 1];
        DesignSample b = out.table[k];
        if (meets(a) == meets(b)) {
            continue;
        }
        const bool metAbove = meets(b);
        while (b.value - a.value > 0.005) {
            const DesignSample m = evaluate((a.value + b.value) / 2.0);
            (meets(m) == meets(a) ? a : b) = m;
        }
        // The crossing on its meeting side, to 0.01.
        const DesignSample& side = metAbove ? b : a;
        const double rounded = roundedToward(side.value, metAbove);
        out.crossings.push_back(std::abs(rounded - side.value) < 1e-12 ? side : evaluate(rounded));
        if (!meets(out.crossings.back())) {
            out.crossings.back() = side; // rounding stepped past the edge
        }
    }

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

namespace {

std::string valueText(const DesignOutcome& o, double v)
{
    char s[32];
    std::snprintf(s, sizeof s, "%.2f", v);
    return std::string(s) + " " + infoOf(o.variable).unit;
}

nlohmann::json sampleJson(const DesignSample& s)
{
    nlohmann::json j;
    j["value"] = jsonNumber(s.value);
    if (s.result) {
        const egm::Result& r = *s.result;
        j["rates"] = {{"conductor1", jsonNumber(r.rates.conductor1)},
                      {"conductor2", jsonNumber(r.rates.conductor2)},
                      {"total", jsonNumber(r.rates.total)}};
        j["response"] = jsonNumber(s.response);
        j["maxShieldingFailureCurrent"] = {
            {"conductor1", r.maxCurrent[0].current ? jsonNumber(*r.maxCurrent[0].current) : nullptr},
            {"conductor2", r.maxCurrent[1].current ? jsonNumber(*r.maxCurrent[1].current) : nullptr}};
    } else {
        j["error"] = s.error;
    }
    return j;
}

} // namespace

std::string designReport(const DesignOutcome& o, const std::string& format)
{
    const VariableInfo& v = infoOf(o.variable);
    const TargetInfo& t = infoOf(o.target);
    if (format == "json") {
        nlohmann::json j;
        j["variable"] = v.name;
        j["unit"] = v.unit;
        j["target"] = {{"kind", t.name}, {"value", jsonNumber(o.targetValue)}, {"unit", unitOf(o.target)}};
        j["range"] = {jsonNumber(o.from), jsonNumber(o.to)};
        j["met"] = o.met;
        j["metEverywhere"] = o.metEverywhere;
        j["monotone"] = o.monotone;
        j["solution"] = sampleJson(o.best);
        j["crossings"] = nlohmann::json::array();
        for (const DesignSample& s : o.crossings) {
            j["crossings"].push_back(sampleJson(s));
        }
        j["table"] = nlohmann::json::array();
        for (const DesignSample& s : o.table) {
            j["table"].push_back(sampleJson(s));
        }
        j["evaluations"] = o.evaluations;
        if (o.best.result) {
            j["evaluation"] = std::string(egm::evaluationName(o.best.result->evaluation));
            j["law"] = std::string(egm::lawName(o.best.result->law.kind));
        }
        return j.dump(2) + "\n";
    }
    if (format == "csv") {
        std::string text = std::string(v.name) + ",response,solution," + resultCsvHeader() + "\n";
        const auto row = [&](const DesignSample& s, const char* kind) {
            text += egm::shortestText(s.value) + "," + egm::shortestText(s.response) + "," + kind + "," +
                    (s.result ? resultCsvFields(*s.result) : resultCsvEmptyFields()) + "\n";
        };
        for (const DesignSample& s : o.table) {
            row(s, "");
        }
        for (const DesignSample& s : o.crossings) {
            row(s, "crossing");
        }
        if (o.crossings.empty()) {
            row(o.best, o.met ? "best" : "best-unmet");
        }
        return text;
    }
    std::string text;
    text += "Design variable: " + std::string(v.label) + ", " + v.unit + ", searched from " +
            egm::shortestText(o.from) + " to " + egm::shortestText(o.to) + "\n";
    text += "Target: " + std::string(t.text) + " " + egm::shortestText(o.targetValue) + " " +
            unitOf(o.target) + "\n";
    const auto describe = [&](const DesignSample& s) {
        std::string d = valueText(o, s.value) + ": response " + legendNumber(s.response);
        if (s.result) {
            const egm::Result& r = *s.result;
            d += "; rates " + egm::shortestText(r.rates.conductor1) + ", " +
                 egm::shortestText(r.rates.conductor2) + ", total " + egm::shortestText(r.rates.total) +
                 "; maximum currents " + maxCurrentText(r.maxCurrent[0]) + ", " +
                 maxCurrentText(r.maxCurrent[1]);
            if (o.target == DesignTarget::perfect) {
                d += "; classical " + maxCurrentText(r.classicalMaxCurrent[0]) + ", " +
                     maxCurrentText(r.classicalMaxCurrent[1]);
            }
        }
        return d;
    };
    if (!o.crossings.empty()) {
        text += o.crossings.size() == 1 ? "Solution: "
                                        : "Crossings of the target (the response is not steady):\n  ";
        for (std::size_t k = 0; k < o.crossings.size(); ++k) {
            text += (k > 0 ? "\n  " : "") + describe(o.crossings[k]);
        }
        text += "\n";
    } else if (o.metEverywhere) {
        text += "The target is met across the whole range; closest to it at " + describe(o.best) + "\n";
    } else {
        text += "The target cannot be met inside the range; the best value is " + describe(o.best) + "\n";
    }
    text += std::string("Response ") +
            (o.monotone ? "steady" : "NOT steady: it rises and falls over the range") +
            "; evaluations used: " + std::to_string(o.evaluations) + "\n";
    char line[200];
    std::snprintf(line, sizeof line, "  %14s %14s %14s %14s %14s\n", v.name, "conductor 1", "conductor 2",
                  "total", "response");
    text += line;
    for (const DesignSample& s : o.table) {
        if (s.result) {
            std::snprintf(line, sizeof line, "  %14.2f %14.6g %14.6g %14.6g %14.6g\n", s.value,
                          s.result->rates.conductor1, s.result->rates.conductor2, s.result->rates.total,
                          s.response);
        } else {
            std::snprintf(line, sizeof line, "  %14.2f %s\n", s.value, s.error.c_str());
        }
        text += line;
    }
    if (o.best.result) {
        text += computationNote(*o.best.result) + "\n";
    }
    return text;
}

Chart designChart(const DesignOutcome& o)
{
    const VariableInfo& v = infoOf(o.variable);
    Chart chart;
    chart.title = "Design: " + std::string(infoOf(o.target).text) + " " + egm::shortestText(o.targetValue);
    chart.xLabel = std::string(v.label) + ", " + v.unit;
    chart.yLabel = unitOf(o.target);
    Series response{"response", {}, {}, false};
    Series target{"target", {}, {}, true};
    for (const DesignSample& s : o.table) {
        response.x.push_back(s.value);
        response.y.push_back(s.response);
    }
    target.x = {o.from, o.to};
    target.y = {o.targetValue, o.targetValue};
    chart.series = {response, target};
    for (const DesignSample& s : o.crossings) {
        chart.markers.push_back(Marker{"solution " + legendNumber(s.value) + " " + v.unit, s.value, false});
    }
    chart.notes.push_back(o.monotone ? "response steady over the range"
                                     : "response NOT steady over the range");
    if (o.best.result) {
        chart.notes.push_back(computationNote(*o.best.result));
    }
    return chart;
}

} // namespace study
