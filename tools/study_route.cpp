#include "study_route.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "egm/input_table.h"
#include "numbers.h"
#include "output_file.h"
#include "study_cases.h"
#include "study_format.h"

namespace study {

const char* const kRouteHelp =
    R"(Route file: one span per row, columns as for batch (the tower's geometry x1..h4 or the
groups, slope, flash-density, ...) plus length (the span's length, m; required) and
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
    std::vector<egm::Inputs> inputs;
    std::vector<std::size_t> computed;
    try {
        CaseFile spans(file, {"length", "km"});
        Case c;
        double nextKm = 0.0;
        while (spans.next(defaults, flags.voltageTermGiven(), c)) {
            Span s;
            s.index = static_cast<int>(out.spans.size()) + 1;
            s.line = c.line;
            s.name = c.name;
            s.error = c.error;
            std::string problem;
            s.from = kmPost(c.extra, nextKm, problem);
            s.length = lengthOf(c.extra, problem);
            if (s.error.empty() && !problem.empty()) {
                s.error = "line " + std::to_string(c.line) + ": " + problem;
            }
            nextKm = s.from + s.length / 1000.0;
            if (s.error.empty()) {
                inputs.push_back(c.inputs);
                computed.push_back(out.spans.size());
            }
            out.spans.push_back(std::move(s));
        }
    } catch (const CaseFileError& e) {
        throw egm::InputError("route file '" + request.spans + "', " + e.what());
    }

    const std::vector<egm::CaseOutcome> outcomes = egm::computeMany(inputs, {}, request.jobs, progress);
    for (std::size_t k = 0; k < computed.size(); ++k) {
        Span& s = out.spans[computed[k]];
        if (outcomes[k].result) {
            s.result = outcomes[k].result;
        } else {
            s.error = "line " + std::to_string(s.line) + ": " + outcomes[k].error;
        }
    }

    RouteSummary& sum = out.summary;
    sum.spans = static_cast<int>(out.spans.size());
    for (Span& s : out.spans) {
        if (!s.result) {
            ++sum.failed;
            continue;
        }
        const egm::Rates& r = s.result->rates;
        // Rates are per 100 km per year; the span's length is in metres.
        s.failures = {r.conductor1 * s.length / 100000.0, r.conductor2 * s.length / 100000.0,
                      r.total * s.length / 100000.0};
        for (int k = 0; k < 3; ++k) {
            sum.failuresPerYear[k] += s.failures[k];
        }
        sum.lengthKm += s.length / 1000.0;
        s.flagged = request.flagAbove && r.total > *request.flagAbove;
    }
    sum.averagePer100Km = sum.lengthKm > 0.0 ? sum.failuresPerYear[2] / sum.lengthKm * 100.0 : 0.0;

    for (const Span& s : out.spans) {
        if (s.result) {
            out.topSpans.push_back(&s);
        }
    }
    std::stable_sort(out.topSpans.begin(), out.topSpans.end(),
                     [](const Span* a, const Span* b) { return a->failures[2] > b->failures[2]; });
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
            out.flagged.back().highestRate = std::max(out.flagged.back().highestRate, s.result->rates.total);
        } else {
            out.flagged.push_back(FlaggedStretch{s.from, to, s.result->rates.total});
        }
    }
    return out;
}

std::string routeReport(const RouteOutcome& out, const std::string& format)
{
    const RouteSummary& sum = out.summary;
    const double total = sum.failuresPerYear[2];
    const auto share = [total](const Span& s) { return total > 0.0 ? s.failures[2] / total : 0.0; };
    if (format == "json") {
        nlohmann::json spans = nlohmann::json::array();
        for (const Span& s : out.spans) {
            nlohmann::json j = {{"span", s.index},
                                {"line", s.line},
                                {"name", s.name},
                                {"km", jsonNumber(s.from)},
                                {"length", jsonNumber(s.length)}};
            if (s.result) {
                j["rates"] = {{"conductor1", jsonNumber(s.result->rates.conductor1)},
                              {"conductor2", jsonNumber(s.result->rates.conductor2)},
                              {"total", jsonNumber(s.result->rates.total)}};
                j["failuresPerYear"] = {{"conductor1", jsonNumber(s.failures[0])},
                                        {"conductor2", jsonNumber(s.failures[1])},
                                        {"total", jsonNumber(s.failures[2])}};
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
        const nlohmann::json summary = {
            {"spans", sum.spans},
            {"failed", sum.failed},
            {"lengthKm", jsonNumber(sum.lengthKm)},
            {"failuresPerYear",
             {{"conductor1", jsonNumber(sum.failuresPerYear[0])},
              {"conductor2", jsonNumber(sum.failuresPerYear[1])},
              {"total", jsonNumber(sum.failuresPerYear[2])}}},
            {"averagePer100KmPerYear", jsonNumber(sum.averagePer100Km)},
            {"flagAbove", out.flagAbove ? jsonNumber(*out.flagAbove) : nlohmann::json(nullptr)},
            {"flaggedStretches", flagged},
        };
        return nlohmann::json{{"spans", spans}, {"summary", summary}}.dump(2) + "\n";
    }
    if (format == "csv") {
        std::string text = "span,line,name,km,length," + resultCsvHeader() +
                           ",failuresConductor1,failuresConductor2,failuresTotal,share,flagged,error\n";
        for (const Span& s : out.spans) {
            text += std::to_string(s.index) + "," + std::to_string(s.line) + "," + csvField(s.name) + "," +
                    shortestText(s.from) + "," + shortestText(s.length) + ",";
            if (s.result) {
                text += resultCsvFields(*s.result) + "," + shortestText(s.failures[0]) + "," +
                        shortestText(s.failures[1]) + "," + shortestText(s.failures[2]) + "," +
                        shortestText(share(s)) + "," + (s.flagged ? "true" : "false") + ",\n";
            } else {
                text += resultCsvEmptyFields() + ",,,,,," + csvField(s.error) + "\n";
            }
        }
        text += "# spans " + std::to_string(sum.spans) + ", failed " + std::to_string(sum.failed) +
                ", length " + shortestText(sum.lengthKm) + " km\n";
        text += "# failures per year: conductor 1 " + shortestText(sum.failuresPerYear[0]) +
                ", conductor 2 " + shortestText(sum.failuresPerYear[1]) + ", total " + shortestText(total) +
                "\n";
        text += "# average " + shortestText(sum.averagePer100Km) + " per 100 km per year\n";
        return text;
    }
    std::string text;
    char line[256];
    std::snprintf(line, sizeof line, "%.3f", sum.lengthKm);
    text += "Route: " + std::to_string(sum.spans) + " spans, " + line + " km computed";
    text += sum.failed > 0 ? " (" + std::to_string(sum.failed) + " spans failed)\n" : "\n";
    text += "Expected shielding failures per year\n";
    text += "  conductor 1            " + shortestText(sum.failuresPerYear[0]) + "\n";
    text += "  conductor 2            " + shortestText(sum.failuresPerYear[1]) + "\n";
    text += "  total                  " + shortestText(total) + "\n";
    text += "  average                " + shortestText(sum.averagePer100Km) + " per 100 km per year\n";
    text += "Spans that contribute most\n";
    for (const Span* s : out.topSpans) {
        std::snprintf(line, sizeof line,
                      "  span %-5d %-16s km %9.3f  %8.1f m  rate %10.4g  failures %10.4g  %5.1f %%\n",
                      s->index, s->name.substr(0, 16).c_str(), s->from, s->length, s->result->rates.total,
                      s->failures[2], 100.0 * share(*s));
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
        const double rate = s.result ? s.result->rates.total : std::nan("");
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
