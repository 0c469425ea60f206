// The route's reports: text, CSV and JSON of its spans and summary, and the
// names of its per-span columns.
#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <iterator>
#include <nlohmann/json.hpp>

#include "egm/input_table.h"
#include "numbers.h"
#include "study_format.h"
#include "study_route.h"

namespace study {

using egm::shortestText;

std::string failuresColumn(const std::string& conductor)
{
    std::string column = "failures" + conductor;
    if (!conductor.empty()) {
        column[8] = static_cast<char>(std::toupper(static_cast<unsigned char>(column[8])));
    }
    return column;
}

std::string flashoversColumn(const std::string& conductor)
{
    std::string column = "flashoversPerYear" + conductor;
    if (!conductor.empty()) {
        column[17] = static_cast<char>(std::toupper(static_cast<unsigned char>(column[17])));
    }
    return column;
}

double shareOf(const RouteOutcome& out, const Span& s)
{
    const double total = out.summary.totalFailuresPerYear;
    return total > 0.0 ? s.totalFailures / total : 0.0;
}

double flashoverShareOf(const RouteOutcome& out, const Span& s)
{
    const double total = out.summary.totalFlashoversPerYear;
    return total > 0.0 && s.totalFlashovers ? *s.totalFlashovers / total : 0.0;
}

namespace {

// Per conductor name, and the total.
nlohmann::json perConductorJson(const egm::Result& r, const std::vector<double>& values, double totalValue)
{
    nlohmann::json j = nlohmann::json::object();
    for (std::size_t k = 0; k < r.conductors.size(); ++k) {
        j[r.conductors[k].name] = jsonNumber(values[k]);
    }
    j["total"] = jsonNumber(totalValue);
    return j;
}

// Per conductor name (null: none), and the total.
nlohmann::json perConductorJson(const egm::Result& r, const std::vector<std::optional<double>>& values,
                                double totalValue)
{
    nlohmann::json j = nlohmann::json::object();
    for (std::size_t k = 0; k < r.conductors.size(); ++k) {
        j[r.conductors[k].name] = values[k] ? jsonNumber(*values[k]) : nlohmann::json(nullptr);
    }
    j["total"] = jsonNumber(totalValue);
    return j;
}

nlohmann::json stretchesJson(const std::vector<FlaggedStretch>& stretches, const char* highest)
{
    nlohmann::json flagged = nlohmann::json::array();
    for (const FlaggedStretch& f : stretches) {
        flagged.push_back({{"fromKm", jsonNumber(f.from)},
                           {"toKm", jsonNumber(f.to)},
                           {highest, jsonNumber(f.highestRate)}});
    }
    return flagged;
}

std::string routeJson(const RouteOutcome& out)
{
    const RouteSummary& sum = out.summary;
    const double total = sum.totalFailuresPerYear;
    const auto share = [&out](const Span& s) { return shareOf(out, s); };
    nlohmann::json spans = nlohmann::json::array();
    for (const Span& s : out.spans) {
        nlohmann::json j = {{"span", s.index},
                            {"line", s.line},
                            {"name", s.name},
                            {"km", jsonNumber(s.from)},
                            {"length", jsonNumber(s.length)}};
        // The span's own inputs, as its row gave them.
        nlohmann::json given = nlohmann::json::object();
        for (const auto& [column, text] : s.given) {
            given[column] = text;
        }
        j["inputs"] = given;
        if (s.result) {
            std::vector<double> rates;
            for (const egm::ConductorResult& c : s.result->conductors) {
                rates.push_back(c.rate);
            }
            j["rates"] = perConductorJson(*s.result, rates, s.result->totalRate);
            j["failuresPerYear"] = perConductorJson(*s.result, s.failures, s.totalFailures);
            addFlashoverJson(j, *s.result);
            if (s.totalFlashovers) {
                j["flashoversPerYear"] = perConductorJson(*s.result, s.flashovers, *s.totalFlashovers);
                j["flashoverShare"] = jsonNumber(flashoverShareOf(out, s));
                j["flaggedFlashovers"] = s.flaggedFlashovers;
            }
            if (!s.towerFile.empty()) {
                j["tower"] = s.towerFile;
            }
            j["share"] = jsonNumber(share(s));
            j["flagged"] = s.flagged;
            j["evaluation"] = std::string(egm::evaluationName(s.result->evaluation));
            j["law"] = std::string(egm::lawName(s.result->law.kind));
            j["rateMethod"] = std::string(egm::rateMethodName(s.result->rateMethod));
        } else {
            j["error"] = s.error;
        }
        spans.push_back(j);
    }
    nlohmann::json failures = nlohmann::json::object();
    for (std::size_t k = 0; k < sum.conductors.size(); ++k) {
        failures[sum.conductors[k]] = jsonNumber(sum.failuresPerYear[k]);
    }
    failures["total"] = jsonNumber(total);
    nlohmann::json summary = {
        {"spans", sum.spans},
        {"failed", sum.failed},
        {"lengthKm", jsonNumber(sum.lengthKm)},
        {"rateMethod", std::string(egm::rateMethodName(sum.rateMethod))},
        {"failuresPerYear", failures},
        {"averagePer100KmPerYear", jsonNumber(sum.averagePer100Km)},
        {"flagAbove", out.flagAbove ? jsonNumber(*out.flagAbove) : nlohmann::json(nullptr)},
        {"flaggedStretches", stretchesJson(out.flagged, "highestRate")},
        {"topBy", out.topByFlashovers ? "flashovers" : "failures"},
    };
    if (sum.flashoverSpans > 0) {
        nlohmann::json flashovers = nlohmann::json::object();
        for (std::size_t k = 0; k < sum.conductors.size(); ++k) {
            flashovers[sum.conductors[k]] = jsonNumber(sum.flashoversPerYear[k]);
        }
        flashovers["total"] = jsonNumber(sum.totalFlashoversPerYear);
        summary["flashoverSpans"] = sum.flashoverSpans;
        summary["flashoverLengthKm"] = jsonNumber(sum.flashoverLengthKm);
        summary["flashoversPerYear"] = flashovers;
        summary["averageFlashoversPer100KmPerYear"] = jsonNumber(sum.averageFlashoversPer100Km);
    }
    if (out.flagFlashoversAbove) {
        summary["flagFlashoversAbove"] = jsonNumber(*out.flagFlashoversAbove);
        summary["flaggedFlashoverStretches"] = stretchesJson(out.flaggedFlashovers, "highestFlashoverRate");
    }
    return nlohmann::json{{"spans", spans}, {"summary", summary}}.dump(2) + "\n";
}

std::string routeCsv(const RouteOutcome& out)
{
    const RouteSummary& sum = out.summary;
    // The conductors of the computed spans, in order of first appearance.
    const std::vector<std::string>& names = sum.conductors;
    // The spans' own input columns, in order of first appearance, echoed
    // after the length.
    std::vector<std::string> inputs;
    for (const Span& s : out.spans) {
        for (const auto& [column, text] : s.given) {
            if (std::find(inputs.begin(), inputs.end(), column) == inputs.end()) {
                inputs.push_back(column);
            }
        }
    }
    bool flashovers = false;
    for (const Span& s : out.spans) {
        flashovers = flashovers || (s.result && hasFlashovers(*s.result));
    }
    // The flashover columns when some span has flashover figures.
    const bool spanFlashovers = sum.flashoverSpans > 0;
    std::string text = "span,line,name,km,length,";
    auto to = std::back_inserter(text);
    for (const std::string& column : inputs) {
        fmt::format_to(to, "{},", csvField(column));
    }
    text += resultCsvHeader(names, {}, flashovers);
    for (const std::string& n : names) {
        fmt::format_to(to, ",{}", csvField(failuresColumn(n)));
    }
    text += ",failuresTotal,share";
    if (spanFlashovers) {
        for (const std::string& n : names) {
            fmt::format_to(to, ",{}", csvField(flashoversColumn(n)));
        }
        text += "," + flashoversColumn("Total") + ",flashoverShare";
    }
    text += spanFlashovers ? ",flagged,flaggedFlashovers,error\n" : ",flagged,error\n";
    // The fields after the result's: failures, flashovers, shares, flags.
    const std::size_t figureFields = names.size() + 3 + (spanFlashovers ? names.size() + 3 : 0);
    for (const Span& s : out.spans) {
        fmt::format_to(to, "{},{},{},{},{},", s.index, s.line, csvField(s.name), shortestText(s.from),
                       shortestText(s.length));
        for (const std::string& column : inputs) {
            const auto given = std::find_if(s.given.begin(), s.given.end(),
                                            [&column](const auto& g) { return g.first == column; });
            fmt::format_to(to, "{},", given != s.given.end() ? csvField(given->second) : std::string());
        }
        if (!s.result) {
            fmt::format_to(to, "{}{},{}\n", resultCsvEmptyFields(names, {}, flashovers),
                           std::string(figureFields, ','), csvField(s.error));
            continue;
        }
        text += resultCsvFields(*s.result, names, {}, flashovers);
        const auto conductorField = [&s](const std::string& n, const auto& values) {
            const egm::ConductorResult* c = conductorNamed(*s.result, n);
            return c != nullptr ? values[c - s.result->conductors.data()] : std::nullopt;
        };
        for (const std::string& n : names) {
            const std::optional<double> f =
                conductorField(n, std::vector<std::optional<double>>(s.failures.begin(), s.failures.end()));
            fmt::format_to(to, ",{}", f ? shortestText(*f) : std::string());
        }
        fmt::format_to(to, ",{},{}", shortestText(s.totalFailures), shortestText(shareOf(out, s)));
        if (spanFlashovers) {
            for (const std::string& n : names) {
                const std::optional<double> f =
                    s.totalFlashovers ? conductorField(n, s.flashovers) : std::nullopt;
                fmt::format_to(to, ",{}", f ? shortestText(*f) : std::string());
            }
            fmt::format_to(to, ",{},{}", s.totalFlashovers ? shortestText(*s.totalFlashovers) : std::string(),
                           s.totalFlashovers ? shortestText(flashoverShareOf(out, s)) : std::string());
        }
        fmt::format_to(to, ",{}", s.flagged ? "true" : "false");
        if (spanFlashovers) {
            fmt::format_to(to, ",{}", s.totalFlashovers ? (s.flaggedFlashovers ? "true" : "false") : "");
        }
        text += ",\n";
    }
    fmt::format_to(to, "# spans {}, failed {}, length {} km\n", sum.spans, sum.failed,
                   shortestText(sum.lengthKm));
    text += "# failures per year:";
    for (std::size_t k = 0; k < names.size(); ++k) {
        fmt::format_to(to, " {} {},", names[k], shortestText(sum.failuresPerYear[k]));
    }
    fmt::format_to(to, " total {}\n# average {} per 100 km per year, {}\n",
                   shortestText(sum.totalFailuresPerYear), shortestText(sum.averagePer100Km),
                   rateMethodText(sum.rateMethod));
    if (spanFlashovers) {
        fmt::format_to(to,
                       "# flashovers per year ({} spans with critical currents, {} km):", sum.flashoverSpans,
                       shortestText(sum.flashoverLengthKm));
        for (std::size_t k = 0; k < names.size(); ++k) {
            fmt::format_to(to, " {} {},", names[k], shortestText(sum.flashoversPerYear[k]));
        }
        fmt::format_to(to, " total {}\n# average flashovers {} per 100 km per year, {}\n",
                       shortestText(sum.totalFlashoversPerYear), shortestText(sum.averageFlashoversPer100Km),
                       rateMethodText(sum.rateMethod));
    }
    return text;
}

std::string routeText(const RouteOutcome& out)
{
    const RouteSummary& sum = out.summary;
    const double total = sum.totalFailuresPerYear;
    const auto share = [&out](const Span& s) { return shareOf(out, s); };
    std::string text = fmt::format("Route: {} spans, {:.3f} km computed", sum.spans, sum.lengthKm);
    text += sum.failed > 0 ? " (" + std::to_string(sum.failed) + " spans failed)\n" : "\n";
    text += "Expected shielding failures per year (" + rateMethodText(sum.rateMethod) + ")\n";
    const auto row = [&text](const std::string& label, const std::string& value) {
        text += "  " + label + std::string(label.size() < 23 ? 23 - label.size() : 1, ' ') + value + "\n";
    };
    for (std::size_t k = 0; k < sum.conductors.size(); ++k) {
        row(sum.conductors[k], shortestText(sum.failuresPerYear[k]));
    }
    row("total", shortestText(total));
    row("average", shortestText(sum.averagePer100Km) + " per 100 km per year");
    if (sum.flashoverSpans > 0) {
        text += fmt::format("Expected shielding failure flashovers per year ({}), the {} of {} spans with "
                            "critical currents, {} km\n",
                            rateMethodText(sum.rateMethod), sum.flashoverSpans, sum.spans - sum.failed,
                            shortestText(sum.flashoverLengthKm));
        for (std::size_t k = 0; k < sum.conductors.size(); ++k) {
            row(sum.conductors[k], shortestText(sum.flashoversPerYear[k]));
        }
        row("total", shortestText(sum.totalFlashoversPerYear));
        row("average", shortestText(sum.averageFlashoversPer100Km) + " flashovers per 100 km per year");
    }
    text += out.topByFlashovers ? "Spans that contribute most flashovers\n" : "Spans that contribute most\n";
    for (std::size_t k : out.topSpans) {
        const Span& s = out.spans[k];
        const std::string at = fmt::format("  span {:<5} {:<16} km {:9.3f}  {:8.1f} m  ", s.index,
                                           s.name.substr(0, 16), s.from, s.length);
        if (out.topByFlashovers && s.totalFlashovers) {
            text += at + fmt::format("flashover rate {:10.4g}  flashovers {:10.4g}  {:5.1f} %\n",
                                     *s.result->flashoverTotal, *s.totalFlashovers,
                                     100.0 * flashoverShareOf(out, s));
        } else if (out.topByFlashovers) {
            // No flashover figures: its failures, without a share of the
            // flashovers it has none of.
            text += at + fmt::format("rate {:10.4g}  failures {:10.4g}  (no critical current)\n",
                                     s.result->totalRate, s.totalFailures);
        } else {
            text += at + fmt::format("rate {:10.4g}  failures {:10.4g}  {:5.1f} %\n", s.result->totalRate,
                                     s.totalFailures, 100.0 * share(s));
        }
    }
    if (out.flagAbove) {
        text += "Stretches whose total rate exceeds " + shortestText(*out.flagAbove) + "\n";
        if (out.flagged.empty()) {
            text += "  none\n";
        }
        for (const FlaggedStretch& f : out.flagged) {
            text += fmt::format("  km {:.3f} to {:.3f}, highest rate {:.4g}\n", f.from, f.to, f.highestRate);
        }
    }
    if (out.flagFlashoversAbove) {
        text += "Stretches whose total flashover rate exceeds " + shortestText(*out.flagFlashoversAbove) +
                " flashovers per 100 km per year\n";
        if (out.flaggedFlashovers.empty()) {
            text += "  none\n";
        }
        for (const FlaggedStretch& f : out.flaggedFlashovers) {
            text += fmt::format("  km {:.3f} to {:.3f}, highest flashover rate {:.4g}\n", f.from, f.to,
                                f.highestRate);
        }
    }
    for (const Span& s : out.spans) {
        if (!s.result) {
            text += "  failed: span " + std::to_string(s.index) + ": " + s.error + "\n";
        }
    }
    if (!out.topSpans.empty()) {
        text += computationNote(*out.spans[out.topSpans.front()].result) + "\n";
    }
    return text;
}

} // namespace

std::string routeReport(const RouteOutcome& out, const std::string& format)
{
    return format == "json" ? routeJson(out) : format == "csv" ? routeCsv(out) : routeText(out);
}

} // namespace study
