#include "study_route.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "egm/input_table.h"
#include "numbers.h"
#include "output_file.h"
#include "study_cases.h"
#include "study_format.h"

namespace study {

const char* const kRouteHelp =
    R"(Route file: one span per row, columns as for batch (tower, a tower file relative to the
route file's folder, or the four-wire line's x1..h4 or groups, slope, flash-density, ...)
plus length (the span's length, m; required) and
optionally name and km (the kilometre post where the span starts; where absent, each span
starts where the one before ended, from 0).
Each span's expected shielding failures per year are its rate times its length / 100 km.
Report: the route's failures per year per conductor and in total, its average per 100 km
per year, the spans that contribute most with their share, and with --flag-above R the
kilometre stretches whose total rate exceeds R. --format csv gives one row per span (span,
line, name, km, length, the result columns, failures per year, share, flagged, error) with
the summary as # lines after them; json gives spans and summary.
Parts of a long route can run apart (split the file, keep the header): their summaries add
up: add failuresPerYear (per conductor and total), lengthKm, spans and failed; the average
is 100 total / lengthKm. Exit status 1 when any span failed; every other span is still
computed.)";

namespace {

using egm::shortestText;

double kmPost(const std::map<std::string, std::string>& extra, double otherwise, std::string& error)
{
    const auto it = extra.find("km");
    if (it == extra.end() || it->second.empty()) {
        return otherwise;
    }
    double km = 0.0;
    if (!egm::io::parseReal(it->second, km) || !std::isfinite(km)) {
        error = "km '" + it->second + "' is not a number";
    }
    return km;
}

double lengthOf(const std::map<std::string, std::string>& extra, std::string& error)
{
    const auto it = extra.find("length");
    if (it == extra.end() || it->second.empty()) {
        error = "the span's length is missing";
        return 0.0;
    }
    double length = 0.0;
    if (!egm::io::parseReal(it->second, length) || !(length >= 0.0 && std::isfinite(length))) {
        error = "length '" + it->second + "' m: must be a number, 0 or more";
    }
    return length;
}

} // namespace

void RouteRequest::addTo(CLI::App* app)
{
    app->add_option("spans", spans, "CSV file: one span per row")->required()->option_text(" SPANS");
    app->add_option("--flag-above", flagAbove,
                    "mark the stretches whose total rate exceeds this, strokes per 100 km per year")
        ->option_text(" R");
    app->add_option("--top", top, "spans listed by their contribution (default 10)")->option_text(" N");
    app->add_option("--jobs", jobs, "threads; 0 (the default) for one per core")->option_text(" N");
}

RouteOutcome computeRoute(const InputFlags& flags, const RouteRequest& request, const egm::Progress& progress)
{
    const egm::Inputs defaults = flags.resolve();
    std::ifstream file(request.spans);
    if (!file) {
        throw egm::InputError("cannot open route file '" + request.spans + "'");
    }
    RouteOutcome out;
    out.flagAbove = request.flagAbove;
    std::vector<egm::CaseInputs> inputs;
    try {
        CaseFile spans(file, std::filesystem::path(request.spans).parent_path().string(), {"length", "km"});
        Case c;
        double nextKm = 0.0;
        while (spans.next(defaults, flags.voltageTermGiven(), c)) {
            Span s;
            s.index = static_cast<int>(out.spans.size()) + 1;
            s.line = c.line;
            s.name = c.name;
            s.towerFile = c.towerFile;
            std::string problem;
            s.from = kmPost(c.extra, nextKm, problem);
            s.length = lengthOf(c.extra, problem);
            if (c.inputs.error.empty() && !problem.empty()) {
                c.inputs.error = "line " + std::to_string(c.line) + ": " + problem;
            }
            nextKm = s.from + s.length / 1000.0;
            inputs.push_back(c.inputs);
            out.spans.push_back(std::move(s));
        }
    } catch (const CaseFileError& e) {
        throw egm::InputError("route file '" + request.spans + "', " + e.what());
    }

    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(inputs, {}, request.jobs, progress);
    RouteSummary& sum = out.summary;
    sum.spans = static_cast<int>(out.spans.size());
    for (std::size_t k = 0; k < out.spans.size(); ++k) {
        Span& s = out.spans[k];
        s.result = outcomes[k].result;
        if (!s.result) {
            // A span read but not computed: its line before the library's message.
            s.error = inputs[k].error.empty() ? "line " + std::to_string(s.line) + ": " + outcomes[k].error
                                              : outcomes[k].error;
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
        sum.lengthKm += s.length / 1000.0;
        s.flagged = request.flagAbove && s.result->totalRate > *request.flagAbove;
    }
    sum.averagePer100Km = sum.lengthKm > 0.0 ? sum.totalFailuresPerYear / sum.lengthKm * 100.0 : 0.0;

    for (const Span& s : out.spans) {
        if (s.result) {
            out.topSpans.push_back(&s);
        }
    }
    std::stable_sort(out.topSpans.begin(), out.topSpans.end(),
                     [](const Span* a, const Span* b) { return a->totalFailures > b->totalFailures; });
    if (out.topSpans.size() > static_cast<std::size_t>(std::max(0, request.top))) {
        out.topSpans.resize(static_cast<std::size_t>(std::max(0, request.top)));
    }
    // Flagged spans that follow on from each other form one stretch.
    for (const Span& s : out.spans) {
        if (!s.flagged) {
            continue;
        }
        const double to = s.from + s.length / 1000.0;
        if (!out.flagged.empty() && std::abs(out.flagged.back().to - s.from) < 1e-9) {
            out.flagged.back().to = to;
            out.flagged.back().highestRate = std::max(out.flagged.back().highestRate, s.result->totalRate);
        } else {
            out.flagged.push_back(FlaggedStretch{s.from, to, s.result->totalRate});
        }
    }
    return out;
}

std::string routeReport(const RouteOutcome& out, const std::string& format)
{
    const RouteSummary& sum = out.summary;
    const double total = sum.totalFailuresPerYear;
    const auto share = [total](const Span& s) { return total > 0.0 ? s.totalFailures / total : 0.0; };
    // Per conductor name, and the total.
    const auto perConductor = [](const egm::Result& r, const std::vector<double>& values, double totalValue) {
        nlohmann::json j = nlohmann::json::object();
        for (std::size_t k = 0; k < r.conductors.size(); ++k) {
            j[r.conductors[k].name] = jsonNumber(values[k]);
        }
        j["total"] = jsonNumber(totalValue);
        return j;
    };
    if (format == "json") {
        nlohmann::json spans = nlohmann::json::array();
        for (const Span& s : out.spans) {
            nlohmann::json j = {{"span", s.index},
                                {"line", s.line},
                                {"name", s.name},
                                {"km", jsonNumber(s.from)},
                                {"length", jsonNumber(s.length)}};
            if (s.result) {
                std::vector<double> rates;
                for (const egm::ConductorResult& c : s.result->conductors) {
                    rates.push_back(c.rate);
                }
                j["rates"] = perConductor(*s.result, rates, s.result->totalRate);
                j["failuresPerYear"] = perConductor(*s.result, s.failures, s.totalFailures);
                if (!s.towerFile.empty()) {
                    j["tower"] = s.towerFile;
                }
                j["share"] = jsonNumber(share(s));
                j["flagged"] = s.flagged;
                j["evaluation"] = std::string(egm::evaluationName(s.result->evaluation));
                j["law"] = std::string(egm::lawName(s.result->law.kind));
            } else {
                j["error"] = s.error;
            }
            spans.push_back(j);
        }
        nlohmann::json flagged = nlohmann::json::array();
        for (const FlaggedStretch& f : out.flagged) {
            flagged.push_back({{"fromKm", jsonNumber(f.from)},
                               {"toKm", jsonNumber(f.to)},
                               {"highestRate", jsonNumber(f.highestRate)}});
        }
        nlohmann::json failures = nlohmann::json::object();
        for (std::size_t k = 0; k < sum.conductors.size(); ++k) {
            failures[sum.conductors[k]] = jsonNumber(sum.failuresPerYear[k]);
        }
        failures["total"] = jsonNumber(total);
        const nlohmann::json summary = {
            {"spans", sum.spans},
            {"failed", sum.failed},
            {"lengthKm", jsonNumber(sum.lengthKm)},
            {"failuresPerYear", failures},
            {"averagePer100KmPerYear", jsonNumber(sum.averagePer100Km)},
            {"flagAbove", out.flagAbove ? jsonNumber(*out.flagAbove) : nlohmann::json(nullptr)},
            {"flaggedStretches", flagged},
        };
        return nlohmann::json{{"spans", spans}, {"summary", summary}}.dump(2) + "\n";
    }
    if (format == "csv") {
        // The conductors of the computed spans, in order of first appearance.
        const std::vector<std::string>& names = sum.conductors;
        std::string text = "span,line,name,km,length," + resultCsvHeader(names);
        for (const std::string& n : names) {
            text +=
                "," +
                csvField("failures" +
                         std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(n[0])))) +
                         n.substr(1));
        }
        text += ",failuresTotal,share,flagged,error\n";
        for (const Span& s : out.spans) {
            text += std::to_string(s.index) + "," + std::to_string(s.line) + "," + csvField(s.name) + "," +
                    shortestText(s.from) + "," + shortestText(s.length) + ",";
            if (s.result) {
                text += resultCsvFields(*s.result, names);
                for (const std::string& n : names) {
                    const egm::ConductorResult* c = conductorNamed(*s.result, n);
                    text += "," + (c != nullptr ? shortestText(s.failures[c - s.result->conductors.data()])
                                                : std::string());
                }
                text += "," + shortestText(s.totalFailures) + "," + shortestText(share(s)) + "," +
                        (s.flagged ? "true" : "false") + ",\n";
            } else {
                text += resultCsvEmptyFields(names) + std::string(names.size(), ',') + ",,,," +
                        csvField(s.error) + "\n";
            }
        }
        text += "# spans " + std::to_string(sum.spans) + ", failed " + std::to_string(sum.failed) +
                ", length " + shortestText(sum.lengthKm) + " km\n";
        text += "# failures per year:";
        for (std::size_t k = 0; k < names.size(); ++k) {
            text += " " + names[k] + " " + shortestText(sum.failuresPerYear[k]) + ",";
        }
        text += " total " + shortestText(total) + "\n";
        text += "# average " + shortestText(sum.averagePer100Km) + " per 100 km per year\n";
        return text;
    }
    std::string text;
    char line[256];
    std::snprintf(line, sizeof line, "%.3f", sum.lengthKm);
    text += "Route: " + std::to_string(sum.spans) + " spans, " + line + " km computed";
    text += sum.failed > 0 ? " (" + std::to_string(sum.failed) + " spans failed)\n" : "\n";
    text += "Expected shielding failures per year\n";
    const auto row = [&text](const std::string& label, const std::string& value) {
        text += "  " + label + std::string(label.size() < 23 ? 23 - label.size() : 1, ' ') + value + "\n";
    };
    for (std::size_t k = 0; k < sum.conductors.size(); ++k) {
        row(sum.conductors[k], shortestText(sum.failuresPerYear[k]));
    }
    row("total", shortestText(total));
    row("average", shortestText(sum.averagePer100Km) + " per 100 km per year");
    text += "Spans that contribute most\n";
    for (const Span* s : out.topSpans) {
        std::snprintf(line, sizeof line,
                      "  span %-5d %-16s km %9.3f  %8.1f m  rate %10.4g  failures %10.4g  %5.1f %%\n",
                      s->index, s->name.substr(0, 16).c_str(), s->from, s->length, s->result->totalRate,
                      s->totalFailures, 100.0 * share(*s));
        text += line;
    }
    if (out.flagAbove) {
        text += "Stretches whose total rate exceeds " + shortestText(*out.flagAbove) + "\n";
        if (out.flagged.empty()) {
            text += "  none\n";
        }
        for (const FlaggedStretch& f : out.flagged) {
            std::snprintf(line, sizeof line, "  km %.3f to %.3f, highest rate %.4g\n", f.from, f.to,
                          f.highestRate);
            text += line;
        }
    }
    for (const Span& s : out.spans) {
        if (!s.result) {
            text += "  failed: span " + std::to_string(s.index) + ": " + s.error + "\n";
        }
    }
    if (!out.topSpans.empty()) {
        text += computationNote(*out.topSpans.front()->result) + "\n";
    }
    return text;
}

int runRoute(const InputFlags& flags, const RouteRequest& request, const std::string& format,
             const std::string& path, const egm::Progress& progress)
{
    egm::io::OutputFile out(path, "results file");
    const RouteOutcome outcome = computeRoute(flags, request, progress);
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
    chart.yLabel = "strokes per 100 km per year";
    Series total{"total rate of the span", {}, {}, false};
    for (const Span& s : out.spans) {
        // A step over the span's length.
        const double rate = s.result ? s.result->totalRate : std::nan("");
        total.x.push_back(s.from);
        total.y.push_back(rate);
        total.x.push_back(s.from + s.length / 1000.0);
        total.y.push_back(rate);
    }
    chart.series.push_back(total);
    if (out.flagAbove) {
        Series limit{"flag above " + legendNumber(*out.flagAbove), {}, {}, true};
        if (!total.x.empty()) {
            limit.x = {*std::min_element(total.x.begin(), total.x.end()),
                       *std::max_element(total.x.begin(), total.x.end())};
            limit.y = {*out.flagAbove, *out.flagAbove};
        }
        chart.series.push_back(limit);
    }
    for (const FlaggedStretch& f : out.flagged) {
        chart.markers.push_back(Marker{"flagged from km " + legendNumber(f.from), f.from, false});
        chart.markers.push_back(Marker{"to km " + legendNumber(f.to), f.to, false});
    }
    if (!out.topSpans.empty()) {
        chart.notes.push_back(computationNote(*out.topSpans.front()->result));
    }
    return chart;
}

} // namespace study
