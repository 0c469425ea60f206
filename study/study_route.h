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
    // Flashovers per 100 km per year: flags the spans whose total
    // shielding failure flashover rate exceeds it.
    std::optional<double> flagFlashoversAbove;
    int top = 10; // spans listed by contribution
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
    // The span's own inputs as its row gave them (column, text), echoed
    // beside its results.
    std::vector<std::pair<std::string, std::string>> given;
    std::optional<egm::Result> result;
    std::string error;
    std::vector<double> failures; // per year, per conductor of the result (tower order)
    double totalFailures = 0.0;   // per year
    bool flagged = false;
    // Shielding failure flashovers per year (flashover rate times length /
    // 100 km), per conductor of the result (none: no critical current) and
    // in total (none: the span has no flashover figures).
    std::vector<std::optional<double>> flashovers;
    std::optional<double> totalFlashovers;
    bool flaggedFlashovers = false; // its total flashover rate exceeds flagFlashoversAbove
};

// The sums over the computed spans: additive, so that the summaries of parts
// of a route add up to the whole's (add failuresPerYear and lengthKm and
// count the spans; the average is the failures per 100 km of the sum).
struct RouteSummary {
    int spans = 0;
    int failed = 0;
    double lengthKm = 0.0; // of the computed spans: their sum at the decimals of their lengths
    // The spans' conductors by name, in order of first appearance, and the
    // failures per year of each (summed over the spans that have it).
    std::vector<std::string> conductors;
    std::vector<double> failuresPerYear;
    double totalFailuresPerYear = 0.0;
    double averagePer100Km = 0.0; // total failures per 100 km per year
    // The spans' one rate method (a route never mixes them).
    egm::RateMethod rateMethod = egm::RateMethod::share;
    // The spans with flashover figures (some conductor with a critical
    // current): how many, their length (km, summed as lengthKm is) and
    // their shielding failure flashovers per year, per conductor of
    // conductors (0 where no span gave that conductor a critical current)
    // and in total. They add up over parts of a route as the failures do;
    // the average is 100 total flashovers / flashoverLengthKm.
    int flashoverSpans = 0;
    double flashoverLengthKm = 0.0;
    std::vector<double> flashoversPerYear;
    double totalFlashoversPerYear = 0.0;
    double averageFlashoversPer100Km = 0.0; // per 100 km of the spans with flashover figures, per year
};

struct FlaggedStretch {
    double from = 0.0; // km
    double to = 0.0;
    double highestRate = 0.0; // of the flagged figure: the total rate, or the total flashover rate
};

struct RouteOutcome {
    std::vector<Span> spans;
    RouteSummary summary;
    // Indices into spans, largest contribution first: by flashovers per year
    // when any span has flashover figures (the spans without any after
    // them, by failures), else by total failures.
    std::vector<std::size_t> topSpans;
    bool topByFlashovers = false;
    std::vector<FlaggedStretch> flagged;
    std::optional<double> flagAbove;
    // With flagFlashoversAbove, the stretches whose total flashover rate
    // exceeds it.
    std::vector<FlaggedStretch> flaggedFlashovers;
    std::optional<double> flagFlashoversAbove;
    std::vector<std::string> towerFiles; // the tower files the spans read
};

// One span as a front end read it: its row's inputs and the texts of its
// length and km post, as written (a number a front end holds as a double
// comes as its shortest text, egm::shortestText, so that 100.1 m is 100.1 m).
struct SpanRow {
    int line = 0; // the route file's line; 0: not read from a file
    std::string name;
    std::string towerFile;                                  // as the row names it; empty: none
    egm::CaseInputs inputs;                                 // error: the row could not be read or resolved
    std::optional<std::string> length;                      // m; none: not given
    std::optional<std::string> km;                          // none: not given
    std::vector<std::pair<std::string, std::string>> given; // the row's inputs as written (see Span)
};

// A route placed along its chainage, not yet computed: its spans (from, to,
// length set) and their cases, one per span in the same order.
struct RoutePlan {
    std::vector<Span> spans;
    std::vector<egm::CaseInputs> cases;
    egm::RateMethod rateMethod = egm::RateMethod::share; // of every span
};

// Places the spans: where km is absent each span starts where the one before
// ended, from 0, at the sum of the lengths rounded to the decimals they and
// the last km post were written with. Throws egm::InputError, starting with
// where ("route file 'towers.csv'"), for a route with any span whose length
// is missing, not a number, not above 0 m or above kMaxSpanLength, or whose
// km is not a finite number: every such span named (a route without any
// length at all said once); and for spans that take different rate methods
// (their failures would not add up), the spans of each method named.
// defaultMethod: the route's method when no span can be computed.
RoutePlan planRoute(const std::vector<SpanRow>& rows, const std::string& where,
                    egm::RateMethod defaultMethod);

// The route of a plan and the outcomes of its cases (one per case, in
// order, as egm::computeMany gives them, computed anywhere): each span's
// failures and flashovers, the summary, the spans that contribute most (top
// of them) and, with flagAbove, the stretches whose total rate exceeds it
// (with flagFlashoversAbove, whose total flashover rate does), spans that
// follow on from each other joined. A span not computed keeps its error,
// after where it is ("line 4: ", or "span 4: " for a row not read from a
// file).
RouteOutcome assembleRoute(RoutePlan plan, std::vector<egm::CaseOutcome> outcomes,
                           std::optional<double> flagAbove, int top,
                           std::optional<double> flagFlashoversAbove = std::nullopt);

// Reads and computes the route file (as batch reads its cases, with the
// columns length, in metres, and km, the span's kilometre post; tower files
// relative to the route file's folder) through planRoute and assembleRoute.
// Throws egm::InputError for a route file that cannot be used or a plan
// that cannot be made.
// read, when given, gets the files read (see InputFlags::resolve; the
// route file; the tower files).
RouteOutcome computeRoute(const InputFlags& flags, const RouteRequest& request, const egm::Progress& progress,
                          std::vector<NamedFile>* read = nullptr);

// Writes the route's report (text, csv, json) to path; exit status 1 when
// any span failed. Throws egm::InputError when path is one of the files
// read.
int runRoute(const InputFlags& flags, const RouteRequest& request, const std::string& format,
             const std::string& path, const egm::Progress& progress);

// "failuresConductor1": the column of a conductor's failures per year.
std::string failuresColumn(const std::string& conductor);
// "flashoversPerYearConductor1": the column of a conductor's flashovers
// per year; flashoversColumn("Total") is the span's total.
std::string flashoversColumn(const std::string& conductor);
// The span's share of the route's total failures; 0 when the route has none.
double shareOf(const RouteOutcome& outcome, const Span& span);
// The span's share of the route's total flashovers; 0 when the route has
// none or the span has no flashover figures.
double flashoverShareOf(const RouteOutcome& outcome, const Span& span);

std::string routeReport(const RouteOutcome& outcome, const std::string& format);

// The total rate of each span along the chainage, flagged stretches marked.
Chart routeChart(const RouteOutcome& outcome);

} // namespace study
