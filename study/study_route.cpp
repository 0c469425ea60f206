#include "study_route.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "egm/input_table.h"
#include "numbers.h"
#include "output_file.h"
#include "study_cases.h"
#include "study_format.h"

namespace study {

const char* const kRouteHelp =
    R"(Route file: one span per row, columns as for batch (tower, a tower file relative to the
route file's folder, current-table and ground likewise, or the four-wire line's x1..h4 or groups, slope, flash-density, ...)
plus length (the span's length, m, above 0 and at most 100000; a route with any span
without one, or with a km that is not a number, is refused whole, every such span named) and
optionally name and km (the kilometre post where the span starts; where absent, each span
starts where the one before ended, from 0).
Each span's expected shielding failures per year are its rate times its length / 100 km.
Every span takes one rate method (--rate-method, or a rate-method column): a route whose
spans mix share and exposure is refused before anything is computed, since their
failures would not add up; the report names the method.
Report: the route's failures per year per conductor and in total, its average per 100 km
per year, the spans that contribute most with their share, and with --flag-above R the
kilometre stretches whose total rate exceeds R. --format csv gives one row per span (span,
line, name, km, length, the result columns, failures per year, share, flagged, error) with
the summary as # lines after them; json gives spans and summary.
Flashovers: on spans whose conductors have critical currents (columns critical-current, or
cfo or insulation-length with surge-impedance or conductor-radius) each span's shielding
failure flashovers per year are its flashover rate times its length / 100 km. The report
adds them per conductor and in total over those spans, with their length and average per
100 km per year (CSV columns flashoversPerYear<Name>, flashoversPerYearTotal,
flashoverShare, flaggedFlashovers; JSON flashoversPerYear, flashoverLengthKm,
flashoverSpans, averageFlashoversPer100KmPerYear); the spans that contribute most are then
those that flash over most (spans without critical currents after them, by failures), and
--flag-flashovers-above R marks the stretches whose total flashover rate exceeds R.
Parts of a long route can run apart (split the file, keep the header): their summaries add
up: add failuresPerYear (per conductor and total), lengthKm, spans and failed, and likewise
flashoversPerYear, flashoverLengthKm and flashoverSpans (absent: 0); the averages are 100
total / lengthKm and 100 total flashovers / flashoverLengthKm. Exit status 1 when any span
failed; every other span is still computed.)";

namespace {

using egm::shortestText;

// The chainage: the last km post given and the metres since it.
struct Chainage {
    double km = 0.0;
    int kmDecimals = 0;
    double metres = 0.0;
    int metreDecimals = 0;
    double at() const { return rounded(km + metres / 1000.0, std::max(kmDecimals, metreDecimals + 3)); }
};

} // namespace

RoutePlan planRoute(const std::vector<SpanRow>& rows, const std::string& where, egm::RateMethod defaultMethod)
{
    RoutePlan plan;
    std::vector<std::string> refused; // spans without a usable length or km post
    std::size_t withoutLength = 0;
    Chainage chainage;
    for (const SpanRow& row : rows) {
        Span s;
        s.index = static_cast<int>(plan.spans.size()) + 1;
        s.line = row.line;
        s.name = row.name;
        s.towerFile = row.towerFile;
        s.given = row.given;
        const std::string at = row.line > 0       ? fmt::format("span {} (line {})", s.index, row.line)
                               : row.name.empty() ? fmt::format("span {}", s.index)
                                                  : fmt::format("span {} ({})", s.index, row.name);
        if (row.km && !row.km->empty()) {
            double post = 0.0;
            if (egm::io::parseReal(*row.km, post) && std::isfinite(post)) {
                chainage = Chainage{post, decimalsOf(*row.km), 0.0, 0};
            } else {
                refused.push_back(fmt::format("{} km '{}'", at, *row.km));
            }
        }
        if (!row.length || row.length->empty()) {
            ++withoutLength;
            refused.push_back(at +
                              (row.inputs.error.empty() ? " without a length" : ": " + row.inputs.error));
        } else if (!egm::io::parseReal(*row.length, s.length) || !std::isfinite(s.length) ||
                   !(s.length > 0.0 && s.length <= kMaxSpanLength)) {
            refused.push_back(fmt::format("{} length '{}'", at, *row.length));
        } else {
            s.from = chainage.at();
            chainage.metres += s.length;
            chainage.metreDecimals = std::max(chainage.metreDecimals, decimalsOf(*row.length));
            s.to = chainage.at();
        }
        plan.cases.push_back(row.inputs);
        plan.spans.push_back(std::move(s));
    }
    if (withoutLength == rows.size() && rows.size() > 1) {
        // A column missing: said once, not once per span.
        throw egm::InputError(where + ": no span has a length: the route needs a length column (m, above 0 "
                                      "and at most 100000) on every span; nothing computed");
    }
    if (!refused.empty()) {
        std::string list;
        for (const std::string& r : refused) {
            list += (list.empty() ? "" : "; ") + r;
        }
        throw egm::InputError(where +
                              ": every span needs a length above 0 m and at most 100000 m (100 km) and any "
                              "km post a number; nothing computed: " +
                              list);
    }

    // Failures of the two rate methods do not add up: one method per route.
    std::string methods[2];
    for (std::size_t k = 0; k < plan.cases.size(); ++k) {
        if (plan.cases[k].error.empty()) {
            std::string& list = methods[plan.cases[k].inputs.rateMethod == egm::RateMethod::share ? 0 : 1];
            list += (list.empty() ? "" : ", ") + std::to_string(k + 1);
        }
    }
    if (!methods[0].empty() && !methods[1].empty()) {
        throw egm::InputError(where +
                              ": spans take different rate methods, whose failures do not add up (share: "
                              "spans " +
                              methods[0] + "; exposure: spans " + methods[1] +
                              "); give one method for the whole route; nothing computed");
    }
    plan.rateMethod = !methods[1].empty()   ? egm::RateMethod::exposure
                      : !methods[0].empty() ? egm::RateMethod::share
                                            : defaultMethod;
    return plan;
}

namespace {

// A span's flashovers per year: per conductor (none without a critical
// current) and in total, with the sums of the route's flashover spans.
void addUpFlashovers(RouteSummary& sum, Span& s)
{
    if (!hasFlashovers(*s.result)) {
        return;
    }
    sum.flashoversPerYear.resize(sum.conductors.size(), 0.0);
    for (const egm::ConductorResult& c : s.result->conductors) {
        if (!c.flashoverRate) {
            s.flashovers.emplace_back();
            continue;
        }
        const double flashovers = *c.flashoverRate * s.length / 100000.0;
        s.flashovers.emplace_back(flashovers);
        const std::size_t at =
            std::find(sum.conductors.begin(), sum.conductors.end(), c.name) - sum.conductors.begin();
        sum.flashoversPerYear[at] += flashovers;
    }
    s.totalFlashovers = *s.result->flashoverTotal * s.length / 100000.0;
    sum.totalFlashoversPerYear += *s.totalFlashovers;
    ++sum.flashoverSpans;
}

// The route's sums and each computed span's failures.
void addUpSpans(RouteOutcome& out, const std::vector<bool>& readFailed,
                const std::vector<egm::CaseOutcome>& outcomes, const std::optional<double>& flagAbove,
                const std::optional<double>& flagFlashoversAbove)
{
    RouteSummary& sum = out.summary;
    sum.spans = static_cast<int>(out.spans.size());
    // The computed length as the chainage is formed: metres summed at the
    // decimals the lengths were written with, so that 1,000 spans of 175 m
    // make 175 km, not 175.0000000000016. Likewise the spans' with
    // flashover figures.
    double metres = 0.0;
    int decimals = 0;
    double flashoverMetres = 0.0;
    int flashoverDecimals = 0;
    for (std::size_t k = 0; k < out.spans.size(); ++k) {
        Span& s = out.spans[k];
        s.result = outcomes[k].result;
        if (!s.result) {
            // A span read but not computed: where it is before the library's
            // message (a row that could not be read says its line already).
            const std::string at =
                s.line > 0 ? fmt::format("line {}: ", s.line) : fmt::format("span {}: ", s.index);
            s.error = readFailed[k] && s.line > 0 ? outcomes[k].error : at + outcomes[k].error;
            ++sum.failed;
            continue;
        }
        addConductorNames(sum.conductors, *s.result);
        sum.failuresPerYear.resize(sum.conductors.size(), 0.0);
        // Rates are per 100 km per year; the span's length is in metres.
        for (const egm::ConductorResult& c : s.result->conductors) {
            const double failures = c.rate * s.length / 100000.0;
            s.failures.push_back(failures);
            const std::size_t at =
                std::find(sum.conductors.begin(), sum.conductors.end(), c.name) - sum.conductors.begin();
            sum.failuresPerYear[at] += failures;
        }
        s.totalFailures = s.result->totalRate * s.length / 100000.0;
        sum.totalFailuresPerYear += s.totalFailures;
        decimals = std::max(decimals, decimalsOf(shortestText(s.length)));
        metres = rounded(metres + s.length, decimals);
        s.flagged = flagAbove && s.result->totalRate > *flagAbove;
        addUpFlashovers(sum, s);
        if (s.totalFlashovers) {
            flashoverDecimals = std::max(flashoverDecimals, decimalsOf(shortestText(s.length)));
            flashoverMetres = rounded(flashoverMetres + s.length, flashoverDecimals);
            s.flaggedFlashovers = flagFlashoversAbove && *s.result->flashoverTotal > *flagFlashoversAbove;
        }
    }
    // A conductor first seen after the last span with flashover figures
    // has none.
    if (sum.flashoverSpans > 0) {
        sum.flashoversPerYear.resize(sum.conductors.size(), 0.0);
    }
    sum.lengthKm = rounded(metres / 1000.0, decimals + 3);
    sum.averagePer100Km = sum.lengthKm > 0.0 ? sum.totalFailuresPerYear / sum.lengthKm * 100.0 : 0.0;
    sum.flashoverLengthKm = rounded(flashoverMetres / 1000.0, flashoverDecimals + 3);
    sum.averageFlashoversPer100Km =
        sum.flashoverLengthKm > 0.0 ? sum.totalFlashoversPerYear / sum.flashoverLengthKm * 100.0 : 0.0;
}

// The stretches of the spans that flagged says, spans that follow on from
// each other joined; figure: the rate each stretch gives its highest of.
template <class Flagged, class Figure>
std::vector<FlaggedStretch> flaggedStretches(const std::vector<Span>& spans, const Flagged& flagged,
                                             const Figure& figure)
{
    std::vector<FlaggedStretch> stretches;
    for (const Span& s : spans) {
        if (!flagged(s)) {
            continue;
        }
        if (!stretches.empty() && stretches.back().to == s.from) {
            stretches.back().to = s.to;
            stretches.back().highestRate = std::max(stretches.back().highestRate, figure(s));
        } else {
            stretches.push_back(FlaggedStretch{s.from, s.to, figure(s)});
        }
    }
    return stretches;
}

} // namespace

RouteOutcome assembleRoute(RoutePlan plan, std::vector<egm::CaseOutcome> outcomes,
                           std::optional<double> flagAbove, int top,
                           std::optional<double> flagFlashoversAbove)
{
    if (outcomes.size() != plan.spans.size()) {
        throw std::invalid_argument(
            fmt::format("assembleRoute: {} outcomes for {} spans", outcomes.size(), plan.spans.size()));
    }
    RouteOutcome out;
    out.flagAbove = flagAbove;
    out.flagFlashoversAbove = flagFlashoversAbove;
    out.spans = std::move(plan.spans);
    out.summary.rateMethod = plan.rateMethod;
    std::vector<bool> readFailed;
    for (const egm::CaseInputs& c : plan.cases) {
        readFailed.push_back(!c.error.empty());
    }
    addUpSpans(out, readFailed, outcomes, flagAbove, flagFlashoversAbove);

    for (std::size_t k = 0; k < out.spans.size(); ++k) {
        if (out.spans[k].result) {
            out.topSpans.push_back(k);
        }
    }
    // With flashover figures the spans that flash over most lead; spans
    // without them follow, by their failures.
    out.topByFlashovers = out.summary.flashoverSpans > 0;
    const auto key = [&out](std::size_t k) {
        const Span& s = out.spans[k];
        return out.topByFlashovers && s.totalFlashovers ? std::pair{1, *s.totalFlashovers}
               : out.topByFlashovers                    ? std::pair{0, s.totalFailures}
                                                        : std::pair{1, s.totalFailures};
    };
    std::stable_sort(out.topSpans.begin(), out.topSpans.end(),
                     [&key](std::size_t a, std::size_t b) { return key(a) > key(b); });
    if (out.topSpans.size() > static_cast<std::size_t>(std::max(0, top))) {
        out.topSpans.resize(static_cast<std::size_t>(std::max(0, top)));
    }
    out.flagged = flaggedStretches(
        out.spans, [](const Span& s) { return s.flagged; },
        [](const Span& s) { return s.result->totalRate; });
    out.flaggedFlashovers = flaggedStretches(
        out.spans, [](const Span& s) { return s.flaggedFlashovers; },
        [](const Span& s) { return *s.result->flashoverTotal; });
    return out;
}

RouteOutcome computeRoute(const InputFlags& flags, const RouteRequest& request, const egm::Progress& progress,
                          std::vector<NamedFile>* read)
{
    const egm::Inputs defaults = flags.resolve(read);
    std::ifstream file;
    openCaseFile(file, request.spans, "route file");
    std::vector<SpanRow> rows;
    std::vector<std::string> towerFiles;
    try {
        CaseFile spans(file, std::filesystem::path(request.spans).parent_path().string(), {"length", "km"});
        Case c;
        while (spans.next(defaults, c)) {
            SpanRow row{c.line, c.name, c.towerFile, c.inputs, std::nullopt, std::nullopt, c.given};
            for (auto [column, text] : {std::pair{"length", &row.length}, std::pair{"km", &row.km}}) {
                const auto it = c.extra.find(column);
                if (it != c.extra.end() && !it->second.empty()) {
                    *text = it->second;
                }
            }
            rows.push_back(std::move(row));
        }
        towerFiles = spans.towerPaths();
        if (read != nullptr) {
            for (const std::string& t : towerFiles) {
                read->push_back({"tower file", t});
            }
            for (const std::string& t : spans.currentTablePaths()) {
                read->push_back({"current table", t});
            }
            for (const std::string& t : spans.groundPaths()) {
                read->push_back({"ground profile", t});
            }
        }
    } catch (const CaseFileError& e) {
        throw egm::InputError("route file '" + request.spans + "', " + e.what());
    }
    RoutePlan plan = planRoute(rows, "route file '" + request.spans + "'", defaults.rateMethod);
    std::vector<egm::CaseOutcome> outcomes = egm::computeMany(plan.cases, {}, request.jobs, progress);
    RouteOutcome out = assembleRoute(std::move(plan), std::move(outcomes), request.flagAbove, request.top,
                                     request.flagFlashoversAbove);
    out.towerFiles = std::move(towerFiles);
    return out;
}

int runRoute(const InputFlags& flags, const RouteRequest& request, const std::string& format,
             const std::string& path, const egm::Progress& progress)
{
    refuseOutputOverInput(path, "results file", {{"route file", request.spans}});
    egm::io::OutputFile out(path, "results file");
    std::vector<NamedFile> read;
    const RouteOutcome outcome = computeRoute(flags, request, progress, &read);
    refuseOutputOverInput(path, "results file", read);
    out.write(routeReport(outcome, format));
    out.commit();
    if (outcome.summary.failed > 0) {
        std::fprintf(stderr, "egm-study: %d of %d spans could not be computed; see their errors\n",
                     outcome.summary.failed, outcome.summary.spans);
        return 1;
    }
    return 0;
}

Chart routeChart(const RouteOutcome& out)
{
    Chart chart;
    chart.title = "Shielding failure rate along the route";
    chart.xLabel = "chainage, km";
    chart.yLabel = rateUnit(out.summary.rateMethod);
    Series total{"total rate of the span", {}, {}, false};
    for (const Span& s : out.spans) {
        // A step over the span's length.
        const double rate = s.result ? s.result->totalRate : std::nan("");
        total.x.push_back(s.from);
        total.y.push_back(rate);
        total.x.push_back(s.to);
        total.y.push_back(rate);
    }
    chart.series.push_back(total);
    // With critical currents, each span's total flashover rate beside it
    // (NaN where a span has none), in the same unit per 100 km per year.
    if (out.summary.flashoverSpans > 0) {
        chart.yLabel =
            "strokes and flashovers per 100 km per year, " + rateMethodText(out.summary.rateMethod);
        Series flashovers{
            "total flashover rate of the span (spans with critical currents)", {}, {}, false, true};
        for (const Span& s : out.spans) {
            const double rate =
                s.result && s.result->flashoverTotal ? *s.result->flashoverTotal : std::nan("");
            flashovers.x.push_back(s.from);
            flashovers.y.push_back(rate);
            flashovers.x.push_back(s.to);
            flashovers.y.push_back(rate);
        }
        chart.series.push_back(flashovers);
    }
    if (out.flagFlashoversAbove && out.summary.flashoverSpans > 0 && !total.x.empty()) {
        Series limit{"flag flashovers above " + legendNumber(*out.flagFlashoversAbove), {}, {}, true};
        limit.x = {*std::min_element(total.x.begin(), total.x.end()),
                   *std::max_element(total.x.begin(), total.x.end())};
        limit.y = {*out.flagFlashoversAbove, *out.flagFlashoversAbove};
        chart.series.push_back(limit);
    }
    if (out.flagAbove) {
        Series limit{"flag above " + legendNumber(*out.flagAbove), {}, {}, true};
        if (!total.x.empty()) {
            limit.x = {*std::min_element(total.x.begin(), total.x.end()),
                       *std::max_element(total.x.begin(), total.x.end())};
            limit.y = {*out.flagAbove, *out.flagAbove};
        }
        chart.series.push_back(limit);
    }
    // However many stretches are flagged: shaded, under one legend entry.
    for (const FlaggedStretch& f : out.flagged) {
        chart.bands.push_back(Band{f.from, f.to});
    }
    if (!out.flagged.empty()) {
        const std::size_t n = out.flagged.size();
        chart.bandsLabel = std::to_string(n) + (n == 1 ? " flagged stretch" : " flagged stretches");
    }
    if (!out.topSpans.empty()) {
        chart.notes.push_back(computationNote(*out.spans[out.topSpans.front()].result));
    }
    chart.notes.push_back("inputs: each span's row of the route file, " + std::to_string(out.summary.spans) +
                          " spans, " + shortestText(out.summary.lengthKm) + " km computed");
    return chart;
}

} // namespace study
