#include "study_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "study_format.h"
#include "study_inputs.h"

namespace study {

std::vector<double> sweepValues(double from, double to, double step)
{
    if (!(step > 0.0) || !std::isfinite(from) || !std::isfinite(to) || !std::isfinite(step) || to < from) {
        throw UsageError("--step must be positive and --from no greater than --to");
    }
    // The last value counts when it lies within rounding of to.
    const double count = std::floor((to - from) / step * (1.0 + 1e-12) + 1e-9) + 1.0;
    if (!(count <= 100000.0)) {
        throw UsageError("more than 100000 values in the sweep");
    }
    // Each value rounded to the decimals from and step are written with.
    const int decimals = std::max(decimalsOf(egm::shortestText(from)), decimalsOf(egm::shortestText(step)));
    std::vector<double> values;
    for (int i = 0; i < static_cast<int>(count); ++i) {
        values.push_back(i == 0 ? from : rounded(from + i * step, decimals));
    }
    return values;
}

std::vector<egm::CaseInputs> sweepInputs(const egm::NamedInputs& named, const std::string& param,
                                         const std::vector<egm::NamedValue>& values, const egm::Inputs& base)
{
    std::vector<egm::CaseInputs> cases;
    for (const egm::NamedValue& value : values) {
        egm::NamedInputs one = named;
        std::erase_if(one.values, [&param](const egm::NamedValue& v) { return v.name == param; });
        one.values.push_back(value);
        one.values.back().name = param;
        cases.push_back(egm::resolveCase(one, base));
    }
    return cases;
}

std::vector<SweepPoint> sweepCases(const egm::Inputs& base, const egm::InputField& field,
                                   const std::vector<double>& values, unsigned threads,
                                   const egm::Options& options)
{
    // A conductor's insulation has no value until given, yet it can be
    // swept on the four-wire line.
    if (field.fourWireLine && !egm::isFourWireLine(base.tower)) {
        throw UsageError("--param " + std::string(field.name) +
                         " is an input of the four-wire line; the tower is not one");
    }
    std::vector<egm::NamedValue> named;
    for (double v : values) {
        named.push_back(egm::NamedValue{std::string(field.name), {}, v});
    }
    const std::vector<egm::CaseInputs> cases = sweepInputs({}, std::string(field.name), named, base);
    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(cases, options, threads);
    std::vector<SweepPoint> points;
    for (std::size_t k = 0; k < values.size(); ++k) {
        points.push_back(SweepPoint{values[k], outcomes[k].result, outcomes[k].error});
    }
    return points;
}

namespace {

using egm::shortestText;

std::string currentCell(const egm::MaxCurrent& m)
{
    return m.current ? shortestText(*m.current) + (m.exposedAtTop ? "+" : "") : "none";
}

std::string compareJson(const std::vector<LawComparison>& rows, const egm::Inputs& base,
                        const std::string& control, const std::string& towerFile)
{
    nlohmann::json j = nlohmann::json::array();
    for (const LawComparison& row : rows) {
        nlohmann::json entry;
        if (row.result) {
            entry = resultJson(base, *row.result, control, towerFile);
            entry.erase("inputs");
        } else {
            entry["error"] = row.error;
        }
        entry["law"] = std::string(egm::lawName(row.law.kind));
        entry["rateMethod"] = std::string(egm::rateMethodName(row.method));
        j.push_back(entry);
    }
    return j.dump(2) + "\n";
}

std::string compareCsv(const std::vector<LawComparison>& rows, const egm::Inputs& base)
{
    const std::vector<std::string> names = conductorNames(base.tower);
    const std::vector<std::string> wires = base.tower.names();
    bool flashovers = false;
    for (const LawComparison& row : rows) {
        flashovers = flashovers || (row.result && hasFlashovers(*row.result));
    }
    std::string text = "law," + resultCsvHeader(names, wires, flashovers) + ",error\n";
    for (const LawComparison& row : rows) {
        text += std::string(egm::lawName(row.law.kind)) + ",";
        if (row.result) {
            text += resultCsvFields(*row.result, names, wires, flashovers) + ",\n";
        } else {
            // The method still named, so that the row says which one failed.
            std::string empty = resultCsvEmptyFields(names, wires, flashovers);
            empty.insert(names.size() + 1, egm::rateMethodName(row.method));
            text += empty + "," + csvField(row.error) + "\n";
        }
    }
    return text;
}

// One law's block of the text: the share method's row and the exposure
// method's side by side.
std::string compareTextBlock(const LawComparison& share, const LawComparison& exposure)
{
    const std::string law(egm::lawName(share.law.kind));
    std::string text;
    for (const LawComparison* row : {&share, &exposure}) {
        if (!row->result) {
            text += law + " (" + rateMethodText(row->method) + "): " + row->error + "\n";
        }
    }
    if (!text.empty()) {
        return text;
    }
    const egm::Result& r = *share.result;
    for (std::size_t c = 0; c < r.conductors.size(); ++c) {
        const egm::ConductorResult& sc = r.conductors[c];
        text += fmt::format("{:<20} {:<16} {:12.6g} {:12.6g} {:>10} {:>10}\n", law, sc.name, sc.rate,
                            exposure.result->conductors[c].rate, currentCell(sc.maxCurrent),
                            currentCell(sc.classicalMaxCurrent));
    }
    text += fmt::format("{:<20} {:<16} {:12.6g} {:12.6g}\n", law, "total", r.totalRate,
                        exposure.result->totalRate);
    return text;
}

std::string compareText(const std::vector<LawComparison>& rows, const egm::Inputs& base)
{
    std::string text =
        "Shielding failure rate by striking-distance law and rate method, strokes per 100 km per "
        "year\n";
    text += fmt::format("{:<20} {:<16} {:>12} {:>12} {:>10} {:>10}\n", "law", "conductor", "share",
                        "exposure", "max I", "classic");
    // Rows come in pairs: the share method's, then the exposure method's.
    for (std::size_t k = 0; k + 1 < rows.size(); k += 2) {
        text += compareTextBlock(rows[k], rows[k + 1]);
    }
    text += "Maximum currents in kA; + marks a conductor still exposed at the top of the range.\n";
    text += "share: the conductors' share of the collection width (the model's rate); exposure: "
            "their widths for vertical strokes over the current density (the line-design guides' "
            "rate).\n";
    text += "evaluation " + std::string(egm::evaluationName(base.evaluation)) + ", current distribution " +
            std::string(egm::distributionName(base.distribution.kind)) + "\n";
    return text;
}

} // namespace

std::string compareReport(const std::vector<LawComparison>& rows, const egm::Inputs& base,
                          const std::string& format, const std::string& control, const std::string& towerFile)
{
    if (format == "json") {
        return compareJson(rows, base, control, towerFile);
    }
    if (format == "csv") {
        return compareCsv(rows, base);
    }
    return compareText(rows, base);
}

std::vector<LawComparison> compareLaws(const egm::Inputs& base, unsigned threads)
{
    std::vector<egm::CaseInputs> cases;
    std::vector<LawComparison> rows;
    for (egm::StrikingLaw::Kind kind : egm::kLaws) {
        if (kind == egm::StrikingLaw::Kind::custom && base.law.kind != kind) {
            continue;
        }
        egm::NamedInputs named;
        named.values.push_back(egm::NamedValue{"law", std::string(egm::lawName(kind)), std::nullopt});
        // Every law but the built-in one without the voltage term, whoever
        // gave it; the built-in law with the base's, or its own default.
        egm::Inputs under = base;
        if (kind != egm::StrikingLaw::Kind::builtIn) {
            for (egm::TowerWire& w : under.tower.wires) {
                w.voltageTerm = 0.0;
            }
        }
        egm::CaseInputs c = egm::resolveCase(named, under);
        egm::StrikingLaw law = c.inputs.law;
        law.kind = kind; // also for a case that could not be resolved
        for (egm::RateMethod method : {egm::RateMethod::share, egm::RateMethod::exposure}) {
            c.inputs.rateMethod = method;
            cases.push_back(c);
            rows.push_back(LawComparison{law, method, std::nullopt, {}});
        }
    }
    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(cases, {}, threads);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        rows[k].result = outcomes[k].result;
        rows[k].error = outcomes[k].error;
    }
    return rows;
}

Chart compareChart(const std::vector<LawComparison>& rows, const egm::Inputs& base)
{
    Chart chart;
    chart.title = "Shielding failure rate by striking-distance law, share and exposure methods";
    chart.xLabel = "striking-distance law";
    chart.yLabel = "strokes per 100 km per year";
    std::vector<std::string> conductors;
    for (const LawComparison& row : rows) {
        if (chart.categories.empty() || chart.categories.back() != egm::lawName(row.law.kind)) {
            chart.categories.emplace_back(egm::lawName(row.law.kind));
        }
        if (row.result) {
            addConductorNames(conductors, *row.result);
        }
    }
    conductors.emplace_back("total");
    // A bar per conductor and method, the total last: the exposure method's
    // bar beside the share method's, dashed.
    const double nan = std::nan("");
    for (const std::string& name : conductors) {
        for (egm::RateMethod method : {egm::RateMethod::share, egm::RateMethod::exposure}) {
            Series series{
                name + " (" + rateMethodText(method) + ")", {}, {}, method == egm::RateMethod::exposure};
            for (std::size_t i = 0; i < chart.categories.size(); ++i) {
                double rate = nan;
                for (const LawComparison& row : rows) {
                    if (row.method != method || row.law.kind != *egm::lawNamed(chart.categories[i]) ||
                        !row.result) {
                        continue;
                    }
                    const egm::ConductorResult* c = conductorNamed(*row.result, name);
                    rate = name == "total" && c == nullptr ? row.result->totalRate
                           : c != nullptr                  ? c->rate
                                                           : nan;
                }
                series.x.push_back(static_cast<double>(i));
                series.y.push_back(rate);
            }
            chart.series.push_back(series);
        }
    }
    chart.notes = {
        "share method: the conductors' share of the collection width; exposure method: "
        "the conductors' widths for vertical strokes over the current density",
        "evaluation: " + std::string(egm::evaluationName(base.evaluation)) +
            "; current distribution: " + std::string(egm::distributionName(base.distribution.kind))};
    const std::vector<std::string> line = inputsNotes(base);
    chart.notes.insert(chart.notes.end(), line.begin(), line.end());
    return chart;
}

} // namespace study
