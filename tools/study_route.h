// Route: the expected shielding failures of a whole line, one row of the
// route file per span.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "egm/shielding.h"
#include "study_charts.h"
#include "study_inputs.h"

namespace study {

extern const char* const kRouteHelp;

struct RouteRequest {
    std::string spans;               // the route file
    std::optional<double> flagAbove; // strokes per 100 km per year
    int top = 10;                    // spans listed by contribution
    unsigned jobs = 0;

    void addTo(CLI::App* app);
};

struct Span {
    int index = 0; // 1, 2, ... in file order
    int line = 0;
    std::string name;
    double from = 0.0;     // km post where the span starts
    double length = 0.0;   // m
    std::string towerFile; // as the row names it; empty: none
    std::optional<egm::Result> result;
    std::string error;
    std::vector<double> failures; // per year, per conductor of the result (tower order)
    double totalFailures = 0.0;   // per year
    bool flagged = false;
};

// The sums over the computed spans: additive, so that the summaries of parts
// of a route add up to the whole's (add failuresPerYear and lengthKm and
// count the spans; the average is the failures per 100 km of the sum).
struct RouteSummary {
    int spans = 0;
    int failed = 0;
    double lengthKm = 0.0; // of the computed spans
    // The spans' conductors by name, in order of first appearance, and the
    // failures per year of each (summed over the spans that have it).
    std::vector<std::string> conductors;
    std::vector<double> failuresPerYear;
    double totalFailuresPerYear = 0.0;
    double averagePer100Km = 0.0; // total failures per 100 km per year
};

struct FlaggedStretch {
    double from = 0.0; // km
    double to = 0.0;
    double highestRate = 0.0;
};

struct RouteOutcome {
    std::vector<Span> spans;
    RouteSummary summary;
    std::vector<const Span*> topSpans; // by total failures, largest first
    std::vector<FlaggedStretch> flagged;
    std::optional<double> flagAbove;
};

// Reads and computes the route (as batch reads its cases, with the columns
// length, in metres, and km, the span's kilometre post: where absent, each
// span starts where the one before ended, from 0; tower files relative to
// the route file's folder). Throws CaseFileError and
// egm::InputError for a route file that cannot be used.
RouteOutcome computeRoute(const InputFlags& flags, const RouteRequest& request,
                          const egm::Progress& progress);

// Writes the route's report (text, csv, json) to path; exit status 1 when
// any span failed.
int runRoute(const InputFlags& flags, const RouteRequest& request, const std::string& format,
             const std::string& path, const egm::Progress& progress);

std::string routeReport(const RouteOutcome& outcome, const std::string& format);

// The total rate of each span along the chainage, flagged stretches marked.
Chart routeChart(const RouteOutcome& outcome);

} // namespace study
