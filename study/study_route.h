// Route: the expected shielding failures of a whole line, one row of the
// route file per span.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "egm/shielding.h"
#include "study_charts.h"
#include "study_inputs.h"

namespace study {

extern const char* const kRouteHelp;

// The longest span a route takes, m: longer is taken for a mistake.
inline constexpr double kMaxSpanLength = 100000.0;

struct RouteRequest {
    std::string spans;               // the route file
    std::optional<double> flagAbove; // strokes per 100 km per year
    int top = 10;                    // spans listed by contribution
    unsigned jobs = 0;
};

struct Span {
    int index = 0; // 1, 2, ... in file order
    int line = 0;
    std::string name;
    double from = 0.0;     // km post where the span starts
    double to = 0.0;       // km post where it ends
    double length = 0.0;   // m, above 0 and at most kMaxSpanLength
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
    // The spans' one rate method (a route never mixes them).
    egm::RateMethod rateMethod = egm::RateMethod::share;
};

struct FlaggedStretch {
    double from = 0.0; // km
    double to = 0.0;
    double highestRate = 0.0;
};

struct RouteOutcome {
    std::vector<Span> spans;
    RouteSummary summary;
    std::vector<std::size_t> topSpans; // indices into spans, by total failures, largest first
    std::vector<FlaggedStretch> flagged;
    std::optional<double> flagAbove;
    std::vector<std::string> towerFiles; // the tower files the spans read
};

// Reads and computes the route (as batch reads its cases, with the columns
// length, in metres, and km, the span's kilometre post: where absent, each
// span starts where the one before ended, from 0, at the sum of the lengths
// rounded to the decimals they were written with; tower files relative to
// the route file's folder). Throws egm::InputError for a route file that
// cannot be used, and before anything is computed for a route with any span
// whose length is missing, not a number, not above 0 m or above
// kMaxSpanLength, or whose km is not a finite number: every such span named;
// and for a route whose spans take different rate methods (their failures
// would not add up), the spans of each method named.
// read, when given, gets the files read (see InputFlags::resolve; the
// route file; the tower files).
RouteOutcome computeRoute(const InputFlags& flags, const RouteRequest& request, const egm::Progress& progress,
                          std::vector<NamedFile>* read = nullptr);

// Writes the route's report (text, csv, json) to path; exit status 1 when
// any span failed. Throws egm::InputError when path is one of the files
// read.
int runRoute(const InputFlags& flags, const RouteRequest& request, const std::string& format,
             const std::string& path, const egm::Progress& progress);

std::string routeReport(const RouteOutcome& outcome, const std::string& format);

// The total rate of each span along the chainage, flagged stretches marked.
Chart routeChart(const RouteOutcome& outcome);

} // namespace study
