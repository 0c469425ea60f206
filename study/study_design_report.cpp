// The design's reports (text, CSV, JSON) and chart.
#include <cmath>
#include <fmt/format.h>
#include <iterator>
#include <nlohmann/json.hpp>

#include "egm/input_table.h"
#include "study_charts.h"
#include "study_design.h"
#include "study_design_names.h"
#include "study_format.h"

namespace study {

namespace {

// "total", "each", "perfect", "flashover-total", ..., the conductor's name
// or "flashover-" and the conductor's name.
std::string targetKind(const DesignOutcome& o)
{
    switch (o.target) {
    case DesignTarget::conductor:
        return o.targetConductor;
    case DesignTarget::flashoverConductor:
        return "flashover-" + o.targetConductor;
    default:
        return infoOf(o.target).name;
    }
}

std::string targetText(const DesignOutcome& o)
{
    switch (o.target) {
    case DesignTarget::conductor:
        return o.targetConductor + "'s rate at most";
    case DesignTarget::flashoverConductor:
        return o.targetConductor + "'s flashover rate at most";
    default:
        return infoOf(o.target).text;
    }
}

// What the response is: "total rate", "a1's flashover rate", ...
std::string responseText(const DesignOutcome& o)
{
    switch (o.target) {
    case DesignTarget::conductor:
        return o.targetConductor + "'s rate";
    case DesignTarget::flashoverConductor:
        return o.targetConductor + "'s flashover rate";
    default:
        return infoOf(o.target).response;
    }
}

bool flashoverTarget(DesignTarget t)
{
    return t == DesignTarget::flashoverTotal || t == DesignTarget::flashoverConductor ||
           t == DesignTarget::flashoverEach;
}

bool classicalTarget(DesignTarget t)
{
    return t == DesignTarget::perfect || t == DesignTarget::perfectCritical;
}

// "0.46 (Ic 9.5 kA)", "none" without a critical current.
std::string flashoverText(const egm::ConductorResult& c)
{
    if (!c.flashoverRate || !c.criticalCurrent) {
        return "none";
    }
    return egm::shortestText(*c.flashoverRate) + " (Ic " + egm::shortestText(*c.criticalCurrent) + " kA)";
}

// The figures of each conductor, "name a, name b".
std::string eachConductor(const egm::Result& r, std::string (*figure)(const egm::ConductorResult&))
{
    std::string text;
    for (const egm::ConductorResult& c : r.conductors) {
        text += (text.empty() ? "" : ", ") + c.name + " " + figure(c);
    }
    return text;
}

std::string valueText(const DesignOutcome& o, double v)
{
    return fmt::format("{:.2f} {}", v, infoOf(o.variable).unit);
}

nlohmann::json sampleJson(const DesignOutcome& o, const DesignSample& s)
{
    nlohmann::json j;
    j["value"] = jsonNumber(s.value);
    if (s.result) {
        const egm::Result& r = *s.result;
        j["rates"] = nlohmann::json::object();
        j["maxShieldingFailureCurrent"] = nlohmann::json::object();
        for (const egm::ConductorResult& c : r.conductors) {
            j["rates"][c.name] = jsonNumber(c.rate);
            j["maxShieldingFailureCurrent"][c.name] =
                c.maxCurrent.current ? jsonNumber(*c.maxCurrent.current) : nlohmann::json(nullptr);
        }
        j["rates"]["total"] = jsonNumber(r.totalRate);
        if (classicalTarget(o.target)) {
            j["classicalMaxShieldingFailureCurrent"] = nlohmann::json::object();
            for (const egm::ConductorResult& c : r.conductors) {
                j["classicalMaxShieldingFailureCurrent"][c.name] =
                    c.classicalMaxCurrent.current ? jsonNumber(*c.classicalMaxCurrent.current)
                                                  : nlohmann::json(nullptr);
            }
        }
        addFlashoverJson(j, r);
        j["response"] = jsonNumber(s.response);
    } else {
        j["error"] = s.error;
    }
    return j;
}

nlohmann::json stretchesJson(const DesignOutcome& o)
{
    nlohmann::json j = nlohmann::json::array();
    for (const MetStretch& m : o.metStretches) {
        j.push_back({{"from", sampleJson(o, m.from)},
                     {"to", sampleJson(o, m.to)},
                     {"fromRangeStart", m.fromRangeStart},
                     {"toRangeEnd", m.toRangeEnd}});
    }
    return j;
}

std::string designJson(const DesignOutcome& o)
{
    const VariableInfo& v = infoOf(o.variable);
    nlohmann::json j;
    j["variable"] = v.name;
    j["unit"] = v.unit;
    j["target"] = {{"kind", targetKind(o)},
                   {"value", jsonNumber(o.targetValue)},
                   {"unit", unitOf(o.target)},
                   {"response", responseText(o)}};
    j["range"] = {jsonNumber(o.from), jsonNumber(o.to)};
    j["met"] = o.met;
    j["metEverywhere"] = o.metEverywhere;
    j["meets"] = stretchesJson(o);
    j["monotone"] = o.monotone;
    j["solution"] = sampleJson(o, o.best);
    j["crossings"] = nlohmann::json::array();
    for (const DesignSample& s : o.crossings) {
        j["crossings"].push_back(sampleJson(o, s));
    }
    j["table"] = nlohmann::json::array();
    for (const DesignSample& s : o.table) {
        j["table"].push_back(sampleJson(o, s));
    }
    j["evaluations"] = o.evaluations;
    if (o.best.result) {
        j["evaluation"] = std::string(egm::evaluationName(o.best.result->evaluation));
        j["law"] = std::string(egm::lawName(o.best.result->law.kind));
        j["rateMethod"] = std::string(egm::rateMethodName(o.best.result->rateMethod));
    }
    return j.dump(2) + "\n";
}

// The conductors of the table's results, in order of first appearance.
std::vector<std::string> tableConductors(const DesignOutcome& o)
{
    std::vector<std::string> names;
    for (const DesignSample& s : o.table) {
        if (s.result) {
            addConductorNames(names, *s.result);
        }
    }
    return names;
}

std::string designCsv(const DesignOutcome& o)
{
    const std::vector<std::string> names = tableConductors(o);
    bool flashovers = false;
    for (const DesignSample& s : o.table) {
        flashovers = flashovers || (s.result && hasFlashovers(*s.result));
    }
    // The response's column says what it is: a stroke rate or current
    // (response), a flashover rate (flashoverResponse), a margin in kA.
    std::string text = std::string(infoOf(o.variable).name) + "," + infoOf(o.target).column + ",solution," +
                       resultCsvHeader(names, {}, flashovers) + "\n";
    const auto row = [&](const DesignSample& s, const char* kind) {
        fmt::format_to(std::back_inserter(text), "{},{},{},{}\n", egm::shortestText(s.value),
                       egm::shortestText(s.response), kind,
                       s.result ? resultCsvFields(*s.result, names, {}, flashovers)
                                : resultCsvEmptyFields(names, {}, flashovers));
    };
    for (const DesignSample& s : o.table) {
        row(s, "");
    }
    // The ends of each stretch that meets the target, then the closest value.
    for (const MetStretch& m : o.metStretches) {
        row(m.from, "meets-from");
        row(m.to, "meets-to");
    }
    if (o.crossings.empty()) {
        row(o.best, o.met ? "best" : "best-unmet");
    }
    return text;
}

// "-4.08 degrees: response 0.04994; rates ...; maximum currents ...".
std::string describeSample(const DesignOutcome& o, const DesignSample& s)
{
    std::string d = valueText(o, s.value) + ": response " + legendNumber(s.response);
    if (s.result) {
        const egm::Result& r = *s.result;
        d += "; rates " +
             eachConductor(r, [](const egm::ConductorResult& c) { return egm::shortestText(c.rate); }) +
             ", total " + egm::shortestText(r.totalRate) + "; maximum currents " +
             eachConductor(r, [](const egm::ConductorResult& c) { return maxCurrentText(c.maxCurrent); });
        if (classicalTarget(o.target)) {
            d += "; classical " + eachConductor(r, [](const egm::ConductorResult& c) {
                     return maxCurrentText(c.classicalMaxCurrent);
                 });
        }
        if (hasFlashovers(r)) {
            d += "; flashover rates " + eachConductor(r, flashoverText) + ", total " +
                 egm::shortestText(*r.flashoverTotal);
        }
    }
    return d;
}

// The answer: every stretch of values that meets the target with both its
// ends, or the best value when none does.
std::string designAnswer(const DesignOutcome& o)
{
    if (o.metStretches.empty()) {
        return "The target cannot be met inside the range; the best value is " + describeSample(o, o.best) +
               "\n";
    }
    std::string text;
    if (o.metStretches.size() > 1) {
        text += "Values that meet the target, in " + std::to_string(o.metStretches.size()) +
                " stretches (the response is not steady):\n";
    }
    for (const MetStretch& m : o.metStretches) {
        text += fmt::format("{} from {}{} to {}{}\n",
                            o.metStretches.size() > 1 ? "  Meets the target" : "Meets the target",
                            valueText(o, m.from.value), m.fromRangeStart ? " (the range's start)" : "",
                            valueText(o, m.to.value), m.toRangeEnd ? " (the range's end)" : "");
        text += "    " + describeSample(o, m.from) + "\n";
        text += "    " + describeSample(o, m.to) + "\n";
    }
    if (o.metEverywhere) {
        text +=
            "The target is met across the whole range; closest to it at " + describeSample(o, o.best) + "\n";
    }
    return text;
}

// The table: the variable, each conductor's rate, the total, the response;
// for a flashover target the flashover rates instead, said in a heading.
std::string designTable(const DesignOutcome& o)
{
    const std::vector<std::string> names = tableConductors(o);
    const bool flashovers = flashoverTarget(o.target);
    std::string text =
        flashovers ? "Flashover rates, flashovers per 100 km per year; response: " + responseText(o) + "\n"
                   : std::string();
    text += fmt::format("  {:>14}", infoOf(o.variable).name);
    auto to = std::back_inserter(text);
    for (const std::string& n : names) {
        fmt::format_to(to, " {:>14}", n);
    }
    fmt::format_to(to, " {:>14} {:>14}\n", "total", "response");
    for (const DesignSample& s : o.table) {
        fmt::format_to(to, "  {:14.2f}", s.value);
        if (!s.result) {
            text += " " + s.error + "\n";
            continue;
        }
        for (const std::string& n : names) {
            const egm::ConductorResult* c = conductorNamed(*s.result, n);
            const double figure = c == nullptr ? std::nan("")
                                  : flashovers ? c->flashoverRate.value_or(std::nan(""))
                                               : c->rate;
            fmt::format_to(to, " {:14.6g}", figure);
        }
        const double total =
            flashovers ? s.result->flashoverTotal.value_or(std::nan("")) : s.result->totalRate;
        fmt::format_to(to, " {:14.6g} {:14.6g}\n", total, s.response);
    }
    return text;
}

std::string designText(const DesignOutcome& o)
{
    const VariableInfo& v = infoOf(o.variable);
    std::string text = "Design variable: " + std::string(v.label) + ", " + v.unit + ", searched from " +
                       egm::shortestText(o.from) + " to " + egm::shortestText(o.to) + "\n";
    // A rate target is in the rate method of the computation, said with it.
    const std::string method = !classicalTarget(o.target) && o.best.result
                                   ? " (" + rateMethodText(o.best.result->rateMethod) + ")"
                                   : std::string();
    text += "Target: " + targetText(o) + " " + egm::shortestText(o.targetValue) + " " + unitOf(o.target) +
            method + "\n";
    text += designAnswer(o);
    text += std::string("Response ") +
            (o.monotone ? "steady" : "NOT steady: it rises and falls over the range") +
            "; evaluations used: " + std::to_string(o.evaluations) + "\n";
    text += designTable(o);
    if (o.best.result) {
        text += computationNote(*o.best.result) + "\n";
    }
    return text;
}

} // namespace

std::string designReport(const DesignOutcome& o, const std::string& format)
{
    return format == "json" ? designJson(o) : format == "csv" ? designCsv(o) : designText(o);
}

Chart designChart(const DesignOutcome& o, const egm::Inputs& base)
{
    const VariableInfo& v = infoOf(o.variable);
    Chart chart;
    chart.title = "Design: " + targetText(o) + " " + egm::shortestText(o.targetValue);
    chart.xLabel = std::string(v.label) + ", " + v.unit;
    chart.yLabel = responseText(o) + ", " + unitOf(o.target);
    if (!classicalTarget(o.target) && o.best.result) {
        chart.yLabel += " (" + rateMethodText(o.best.result->rateMethod) + ")";
    }
    Series response{responseText(o), {}, {}, false};
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
    const std::vector<std::string> line = inputsNotes(base, v.name);
    chart.notes.insert(chart.notes.end(), line.begin(), line.end());
    return chart;
}

} // namespace study
