// Designing for flashovers and adding them up along a route: the design's
// flashover and perfect=critical targets fed back into the computation, the
// conductors they need insulated, and a route's flashovers per year against
// the span figures, whole and in parts, through the study layer and
// egm-study.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "bits.h"
#include "egm/input_table.h"
#include "study_csv_text.h"
#include "study_design.h"
#include "study_inputs.h"
#include "study_route.h"
#include "study_run.h"

namespace {

// The built-in line, conductor 1 insulated for 9.5 kA and conductor 2 for
// 14.25 kA.
egm::Inputs insulatedLine(std::optional<double> ic1 = 9.5, std::optional<double> ic2 = 14.25)
{
    egm::Inputs in;
    in.tower.wires[2].insulation.criticalCurrent = ic1;
    in.tower.wires[3].insulation.criticalCurrent = ic2;
    return in;
}

egm::Result at(const egm::Inputs& base, study::DesignVariable v, double value)
{
    return egm::computeRates(study::withDesignValue(base, v, value));
}

// The largest flashover rate of a conductor, worked out here.
double largestFlashoverRate(const egm::Result& r)
{
    double worst = 0.0;
    for (const egm::ConductorResult& c : r.conductors) {
        worst = std::max(worst, c.flashoverRate.value());
    }
    return worst;
}

// What the target holds at or below its value, from the result alone.
double figureOf(const egm::Result& r, const std::string& kind)
{
    if (kind == "flashover-total") {
        return r.flashoverTotal.value();
    }
    if (kind == "flashover-each") {
        return largestFlashoverRate(r);
    }
    if (kind == "perfect=critical") {
        double worst = -1e300;
        for (const egm::ConductorResult& c : r.conductors) {
            worst = std::max(worst, c.classicalMaxCurrent.current.value_or(0.0) - c.criticalCurrent.value());
        }
        return worst;
    }
    // flashover-NAME
    for (const egm::ConductorResult& c : r.conductors) {
        if (kind == "flashover-" + c.name) {
            return c.flashoverRate.value();
        }
    }
    ADD_FAILURE() << "no figure for " << kind;
    return std::nan("");
}

// Every stretch that meets a flashover target, fed back: both ends meet it
// and 0.01 past an end that is a crossing misses it.
TEST(StudyFlashoverDesign, EachStretchFedBackMeetsItsTargetAndJustPastItsEndsDoesNot)
{
    struct Case {
        std::string kind;   // the target's kind, as figureOf reads it
        std::string target; // as given
        std::string variable;
        study::DesignVariable v;
        std::vector<double> range;
        double value; // the target's value
    };
    const std::vector<Case> cases = {
        {"flashover-total",
         "flashover-total=0.5",
         "ground-wire-height",
         study::DesignVariable::groundWireHeight,
         {},
         0.5},
        {"flashover-total",
         "flashover-total=0.2",
         "shielding-angle",
         study::DesignVariable::shieldingAngle,
         {},
         0.2},
        {"flashover-each",
         "flashover-each=0.1",
         "shielding-angle",
         study::DesignVariable::shieldingAngle,
         {},
         0.1},
        {"flashover-conductor2",
         "flashover-conductor2=0.05",
         "ground-wire-height",
         study::DesignVariable::groundWireHeight,
         {},
         0.05},
        {"flashover-conductor1",
         "flashover-conductor1=0.3",
         "spread",
         study::DesignVariable::spread,
         {0.0, 30.0},
         0.3},
        {"perfect=critical",
         "perfect=critical",
         "shielding-angle",
         study::DesignVariable::shieldingAngle,
         {},
         0.0},
    };
    const egm::Inputs base = insulatedLine();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target + " over " + c.variable);
        const study::DesignOutcome o = study::solveDesign(base, {c.variable, c.target, c.range, 11});
        ASSERT_TRUE(o.met);
        ASSERT_FALSE(o.metStretches.empty());
        for (const study::MetStretch& m : o.metStretches) {
            for (const auto& [end, rangeEnd, step] :
                 {std::tuple{m.from, m.fromRangeStart, -0.01}, std::tuple{m.to, m.toRangeEnd, 0.01}}) {
                const egm::Result r = at(base, c.v, end.value);
                EXPECT_LE(figureOf(r, c.kind), c.value) << end.value;
                EXPECT_SAME_BITS(figureOf(r, c.kind), end.response);
                if (!rangeEnd) {
                    EXPECT_GT(figureOf(at(base, c.v, end.value + step), c.kind), c.value) << end.value + step;
                }
            }
        }
        // The response of every sample is the figure worked out here.
        for (const study::DesignSample& s : o.table) {
            EXPECT_SAME_BITS(figureOf(*s.result, c.kind), s.response) << s.value;
        }
    }
}

// flashover-each is the largest of the conductors' own targets: its
// response is the larger response of flashover-conductor1 and
// flashover-conductor2 at every value, and what meets it meets both.
TEST(StudyFlashoverDesign, FlashoverEachIsTheLargestOfTheConductorsTargets)
{
    const egm::Inputs base = insulatedLine();
    const study::DesignOutcome each =
        study::solveDesign(base, {"shielding-angle", "flashover-each=0.1", {}, 11});
    const study::DesignOutcome one =
        study::solveDesign(base, {"shielding-angle", "flashover-conductor1=0.1", {}, 11});
    const study::DesignOutcome two =
        study::solveDesign(base, {"shielding-angle", "flashover-conductor2=0.1", {}, 11});
    ASSERT_EQ(each.table.size(), one.table.size());
    for (std::size_t k = 0; k < each.table.size(); ++k) {
        EXPECT_SAME_BITS(std::max(one.table[k].response, two.table[k].response), each.table[k].response)
            << each.table[k].value;
    }
    for (const study::MetStretch& m : each.metStretches) {
        for (const study::DesignSample& end : {m.from, m.to}) {
            const egm::Result r = at(base, study::DesignVariable::shieldingAngle, end.value);
            EXPECT_LE(r.conductors[0].flashoverRate.value(), 0.1) << end.value;
            EXPECT_LE(r.conductors[1].flashoverRate.value(), 0.1) << end.value;
        }
    }
    // The largest is the tighter target: it is met over no more than either.
    ASSERT_FALSE(each.metStretches.empty());
    EXPECT_LE(each.metStretches.back().to.value, one.metStretches.back().to.value);
}

// perfect=critical: at the answer every conductor's classical maximum
// shielding failure current is at or below its own critical current, also
// with two different critical currents.
TEST(StudyFlashoverDesign, PerfectCriticalShieldsEveryConductorFromItsOwnCriticalCurrentUp)
{
    for (const auto& [ic1, ic2] : {std::pair{12.0, 12.0}, std::pair{9.5, 14.25}, std::pair{20.0, 6.0}}) {
        SCOPED_TRACE(std::to_string(ic1) + " " + std::to_string(ic2));
        const egm::Inputs base = insulatedLine(ic1, ic2);
        const study::DesignOutcome o =
            study::solveDesign(base, {"shielding-angle", "perfect=critical", {}, 11});
        EXPECT_EQ(study::DesignTarget::perfectCritical, o.target);
        EXPECT_SAME_BITS(0.0, o.targetValue);
        ASSERT_FALSE(o.metStretches.empty());
        for (const study::MetStretch& m : o.metStretches) {
            for (const study::DesignSample& end : {m.from, m.to}) {
                const egm::Result r = at(base, study::DesignVariable::shieldingAngle, end.value);
                for (const egm::ConductorResult& c : r.conductors) {
                    EXPECT_LE(c.classicalMaxCurrent.current.value_or(0.0), *c.criticalCurrent)
                        << c.name << " at " << end.value;
                }
            }
        }
    }
}

// A target on the critical currents with a conductor that has none is a
// usage error naming it; the named conductor's target needs only its own.
TEST(StudyFlashoverDesign, TargetsOnConductorsWithoutACriticalCurrentAreUsageErrors)
{
    struct Case {
        std::string target;
        std::optional<double> ic1;
        std::optional<double> ic2;
        std::string named; // empty: no error
    };
    const std::vector<Case> cases = {
        {"flashover-total=0.1", 9.5, std::nullopt, "conductor conductor2 has no critical current"},
        {"flashover-total=0.1", std::nullopt, std::nullopt, "conductors conductor1, conductor2 have"},
        {"flashover-each=0.1", std::nullopt, 9.5, "conductor conductor1 has"},
        {"perfect=critical", 9.5, std::nullopt, "conductor conductor2 has"},
        {"flashover-conductor2=0.1", 9.5, std::nullopt, "conductor conductor2 has"},
        {"flashover-conductor1=0.1", 9.5, std::nullopt, ""},
        {"flashover-total=0.1", 9.5, 9.5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const egm::Inputs base = insulatedLine(c.ic1, c.ic2);
        if (c.named.empty()) {
            EXPECT_NO_THROW(study::solveDesign(base, {"ground-wire-height", c.target, {}, 3}));
            continue;
        }
        try {
            study::solveDesign(base, {"ground-wire-height", c.target, {}, 3});
            ADD_FAILURE() << "solved";
        } catch (const study::UsageError& e) {
            const std::string what = e.what();
            EXPECT_NE(std::string::npos, what.find(c.named)) << what;
            EXPECT_NE(std::string::npos, what.find("critical-current")) << what;
            EXPECT_EQ(std::string::npos, what.find('\n')) << what;
        }
    }
}

// A tower of conductors named flashover-x, x, and a: flashover- followed by a
// conductor's name is that conductor's flashover rate; otherwise the whole
// is a conductor's own name and its stroke rate.
TEST(StudyFlashoverDesign, AConductorNamedFlashoverSomethingKeepsItsOwnTarget)
{
    egm::Inputs base;
    egm::TowerWire a{egm::WireKind::conductor, 11.2, 42.0, 0.0, "a"};
    a.insulation.criticalCurrent = 9.5;
    base.tower = egm::Tower{{egm::TowerWire{egm::WireKind::groundWire, 9.89, 57.0, 0.0, "g1"},
                             egm::TowerWire{egm::WireKind::groundWire, -9.89, 57.0, 0.0, "g2"}, a,
                             egm::TowerWire{egm::WireKind::conductor, -11.2, 42.0, 0.0, "flashover-x"},
                             egm::TowerWire{egm::WireKind::conductor, 0.0, 40.0, 0.0, "flashover-a"}}};
    struct Case {
        std::string target;
        study::DesignTarget kind;
        std::string conductor;
    };
    const std::vector<Case> cases = {
        {"flashover-x=0.5", study::DesignTarget::conductor, "flashover-x"},
        {"flashover-a=0.5", study::DesignTarget::flashoverConductor, "a"},
        {"a=0.5", study::DesignTarget::conductor, "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const study::DesignOutcome o = study::solveDesign(base, {"ground-wire-height", c.target, {}, 3});
        EXPECT_EQ(c.kind, o.target);
        EXPECT_EQ(c.conductor, o.targetConductor);
        const egm::ConductorResult& r =
            *std::find_if(o.table[1].result->conductors.begin(), o.table[1].result->conductors.end(),
                          [&c](const auto& w) { return w.name == c.conductor; });
        EXPECT_SAME_BITS(c.kind == study::DesignTarget::conductor ? r.rate : *r.flashoverRate,
                         o.table[1].response);
    }
    // flashover-total of this tower needs both other conductors insulated.
    EXPECT_THROW(study::solveDesign(base, {"ground-wire-height", "flashover-total=1", {}, 3}),
                 study::UsageError);
}

// The report says the response is a flashover rate: the target line, the
// table's heading, the CSV column, the JSON target and the chart.
TEST(StudyFlashoverDesign, TheReportSaysTheResponseIsAFlashoverRate)
{
    const study::DesignOutcome o =
        study::solveDesign(insulatedLine(), {"shielding-angle", "flashover-total=0.2", {}, 11});
    const std::string text = study::designReport(o, "text");
    EXPECT_NE(
        std::string::npos,
        text.find("Target: total flashover rate at most 0.2 flashovers per 100 km per year (share method)\n"))
        << text;
    EXPECT_NE(std::string::npos,
              text.find("Flashover rates, flashovers per 100 km per year; response: total"))
        << text;
    const auto rows = csvRecords(study::designReport(o, "csv"));
    EXPECT_EQ("flashoverResponse", rows.at(0).fields.at(1));
    EXPECT_EQ(field(rows, 1, "flashoverTotal"), field(rows, 1, "flashoverResponse"));
    const nlohmann::json j = nlohmann::json::parse(study::designReport(o, "json"));
    EXPECT_EQ("flashover-total", j["target"]["kind"]);
    EXPECT_EQ("flashovers per 100 km per year", j["target"]["unit"]);
    EXPECT_EQ("total flashover rate", j["target"]["response"]);
    EXPECT_EQ(j["solution"]["flashoverRates"]["total"], j["solution"]["response"]);
    const study::Chart chart = study::designChart(o, insulatedLine());
    EXPECT_NE(std::string::npos, chart.yLabel.find("total flashover rate, flashovers per 100 km per year"))
        << chart.yLabel;
    EXPECT_EQ("total flashover rate", chart.series.at(0).label);

    // A stroke target keeps its column and wording.
    const study::DesignOutcome strokes =
        study::solveDesign(insulatedLine(), {"shielding-angle", "total=0.05", {}, 11});
    EXPECT_EQ("response", csvRecords(study::designReport(strokes, "csv")).at(0).fields.at(1));
    EXPECT_EQ(std::string::npos, study::designReport(strokes, "text").find("Flashover rates,"));
    EXPECT_NE(std::string::npos,
              study::designChart(strokes, insulatedLine()).yLabel.find("strokes per 100 km"));
    const auto perfect = csvRecords(study::designReport(
        study::solveDesign(insulatedLine(), {"shielding-angle", "perfect=critical", {}, 5}), "csv"));
    EXPECT_EQ("classicalOverCriticalResponse", perfect.at(0).fields.at(1));
}

// End to end: the design's answer fed back into egm-study rate meets the
// target and 0.01 m past it does not; a missing critical current exits 2
// with one line naming the conductor.
TEST(StudyFlashoverDesign, EndToEndTheAnswerFedBackIntoRateMeetsTheTarget)
{
    ScratchDir dir;
    const std::vector<std::string> ic = {"--critical-current3", "9.5", "--critical-current4", "14.25"};
    std::vector<std::string> args = {
        "design", "--variable", "ground-wire-height", "--target", "flashover-total=0.5", "--format", "json"};
    args.insert(args.end(), ic.begin(), ic.end());
    const ProgramRun design = runStudy(args, dir);
    ASSERT_EQ(0, design.status) << design.err;
    const nlohmann::json j = nlohmann::json::parse(design.out);
    ASSERT_EQ(1u, j["meets"].size());
    const auto flashoverTotal = [&](double height) {
        std::vector<std::string> rate = {"rate", "--ground-wire-height", egm::shortestText(height),
                                         "--format", "json"};
        rate.insert(rate.end(), ic.begin(), ic.end());
        const ProgramRun r = runStudy(rate, dir);
        EXPECT_EQ(0, r.status) << r.err;
        return nlohmann::json::parse(r.out)["flashoverRates"]["total"].get<double>();
    };
    const double from = j["meets"][0]["from"]["value"].get<double>();
    const double to = j["meets"][0]["to"]["value"].get<double>();
    EXPECT_LT(from, to);
    EXPECT_LE(flashoverTotal(from), 0.5);
    EXPECT_LE(flashoverTotal(to), 0.5);
    EXPECT_GT(flashoverTotal(from - 0.01), 0.5);
    EXPECT_GT(flashoverTotal(to + 0.01), 0.5);
    EXPECT_SAME_BITS(flashoverTotal(to), j["meets"][0]["to"]["response"].get<double>());

    const ProgramRun csv =
        runStudy({"design", "--variable", "ground-wire-height", "--target", "flashover-conductor1=0.45",
                  "--critical-current3", "9.5", "--format", "csv"},
                 dir);
    ASSERT_EQ(0, csv.status) << csv.err;
    const auto rows = csvRecords(csv.out);
    EXPECT_EQ(field(rows, 1, "flashoverRateConductor1"), field(rows, 1, "flashoverResponse"));

    for (const std::string target : {"flashover-total=0.5", "flashover-each=0.5", "perfect=critical"}) {
        const ProgramRun bad = runStudy(
            {"design", "--variable", "ground-wire-height", "--target", target, "--critical-current3", "9.5"},
            dir);
        EXPECT_EQ(2, bad.status) << target;
        EXPECT_EQ("", bad.out);
        EXPECT_EQ(1, std::count(bad.err.begin(), bad.err.end(), '\n')) << bad.err;
        EXPECT_NE(std::string::npos, bad.err.find("conductor2 has no critical current")) << bad.err;
    }
    const ProgramRun help = runStudy({"design", "--help"}, dir);
    for (const char* text :
         {"flashover-total=R", "flashover-NAME=R", "flashover-each=R", "perfect=critical"}) {
        EXPECT_NE(std::string::npos, help.out.find(text)) << text;
    }
}

// ---- route ----

// A span of the built-in line of this length (m).
study::SpanRow spanRow(const std::string& length)
{
    study::SpanRow row;
    row.length = length;
    return row;
}

// An outcome with two conductors' rates and, where given, their flashover
// rates; the flashover total is their sum, as the library forms it.
egm::CaseOutcome outcomeOf(double rate1, double rate2, std::optional<double> fo1 = std::nullopt,
                           std::optional<double> fo2 = std::nullopt)
{
    egm::Result r;
    r.conductors.push_back(egm::ConductorResult{2, "conductor1", rate1, {}, {}});
    r.conductors.push_back(egm::ConductorResult{3, "conductor2", rate2, {}, {}});
    r.totalRate = rate1 + rate2;
    if (fo1 || fo2) {
        r.conductors[0].criticalCurrent = fo1 ? std::optional<double>(9.0) : std::nullopt;
        r.conductors[0].flashoverRate = fo1;
        r.conductors[1].criticalCurrent = fo2 ? std::optional<double>(9.0) : std::nullopt;
        r.conductors[1].flashoverRate = fo2;
        r.flashoverTotal = fo1.value_or(0.0) + fo2.value_or(0.0);
    }
    return egm::CaseOutcome{r, {}};
}

struct SpanCase {
    std::string length;
    egm::CaseOutcome outcome;
};

study::RouteOutcome routeOf(const std::vector<SpanCase>& spans, std::optional<double> flagFlashovers = {},
                            int top = 10)
{
    std::vector<study::SpanRow> rows;
    std::vector<egm::CaseOutcome> outcomes;
    for (const SpanCase& s : spans) {
        rows.push_back(spanRow(s.length));
        outcomes.push_back(s.outcome);
    }
    return study::assembleRoute(study::planRoute(rows, "route", {}), outcomes, std::nullopt, top,
                                flagFlashovers);
}

const std::vector<SpanCase> kSpans = {
    {"300", outcomeOf(0.2, 0.01, 0.5, 0.04)},
    {"400", outcomeOf(0.2, 0.01)},
    {"250.5", outcomeOf(0.3, 0.02, 0.45)},
    {"120", outcomeOf(0.1, 0.0, 0.9, 0.1)},
    {"333.25", outcomeOf(0.25, 0.03, std::nullopt, 0.2)},
    {"180", outcomeOf(0.1, 0.01)},
};

// The flashovers per year: each span's flashover rate times its length /
// 100 km, added up here over the spans that have one.
TEST(StudyRouteFlashovers, TheSumsAreTheSpansFlashoverRatesTimesTheirLengths)
{
    const study::RouteOutcome out = routeOf(kSpans);
    const study::RouteSummary& sum = out.summary;
    double one = 0.0;
    double two = 0.0;
    double total = 0.0;
    double metres = 0.0;
    int spans = 0;
    for (const SpanCase& s : kSpans) {
        const egm::Result& r = *s.outcome.result;
        if (!r.flashoverTotal) {
            continue;
        }
        const double length = std::stod(s.length);
        one += r.conductors[0].flashoverRate.value_or(0.0) * length / 100000.0;
        two += r.conductors[1].flashoverRate.value_or(0.0) * length / 100000.0;
        total += *r.flashoverTotal * length / 100000.0;
        metres += length;
        ++spans;
    }
    ASSERT_EQ((std::vector<std::string>{"conductor1", "conductor2"}), sum.conductors);
    ASSERT_EQ(2u, sum.flashoversPerYear.size());
    EXPECT_NEAR(one, sum.flashoversPerYear[0], 1e-15);
    EXPECT_NEAR(two, sum.flashoversPerYear[1], 1e-15);
    EXPECT_NEAR(total, sum.totalFlashoversPerYear, 1e-15);
    EXPECT_NEAR(sum.flashoversPerYear[0] + sum.flashoversPerYear[1], sum.totalFlashoversPerYear, 1e-15);
    EXPECT_EQ(4, spans);
    EXPECT_EQ(spans, sum.flashoverSpans);
    EXPECT_SAME_BITS(1.00375, sum.flashoverLengthKm); // 300 + 250.5 + 120 + 333.25 m
    EXPECT_NEAR(metres / 1000.0, sum.flashoverLengthKm, 1e-15);
    EXPECT_NEAR(100.0 * total / (metres / 1000.0), sum.averageFlashoversPer100Km, 1e-12);
    // A span without flashover figures has none, and the stroke failures
    // are as before.
    EXPECT_FALSE(out.spans[1].totalFlashovers);
    EXPECT_TRUE(out.spans[1].flashovers.empty());
    EXPECT_FALSE(out.spans[2].flashovers[1]); // conductor2 of span 3 has no critical current
    EXPECT_SAME_BITS((0.2 + 0.01) * 400 / 100000.0, out.spans[1].totalFailures);
    // Shares of the flashovers add up to one.
    double shares = 0.0;
    for (const study::Span& s : out.spans) {
        shares += study::flashoverShareOf(out, s);
    }
    EXPECT_NEAR(1.0, shares, 1e-15);
}

// The summaries of a route's parts add up to the whole's.
TEST(StudyRouteFlashovers, ThePartsSummariesAddUpToTheWholes)
{
    const study::RouteSummary whole = routeOf(kSpans).summary;
    for (std::size_t cut = 1; cut < kSpans.size(); ++cut) {
        SCOPED_TRACE(cut);
        const study::RouteSummary a = routeOf({kSpans.begin(), kSpans.begin() + cut}).summary;
        const study::RouteSummary b = routeOf({kSpans.begin() + cut, kSpans.end()}).summary;
        const auto part = [](const study::RouteSummary& s, std::size_t k) {
            return k < s.flashoversPerYear.size() ? s.flashoversPerYear[k] : 0.0;
        };
        for (std::size_t k = 0; k < whole.conductors.size(); ++k) {
            EXPECT_NEAR(whole.flashoversPerYear[k], part(a, k) + part(b, k), 1e-15) << whole.conductors[k];
        }
        EXPECT_NEAR(whole.totalFlashoversPerYear, a.totalFlashoversPerYear + b.totalFlashoversPerYear, 1e-15);
        EXPECT_NEAR(whole.flashoverLengthKm, a.flashoverLengthKm + b.flashoverLengthKm, 1e-12);
        EXPECT_EQ(whole.flashoverSpans, a.flashoverSpans + b.flashoverSpans);
        EXPECT_NEAR(whole.averageFlashoversPer100Km,
                    100.0 * (a.totalFlashoversPerYear + b.totalFlashoversPerYear) /
                        (a.flashoverLengthKm + b.flashoverLengthKm),
                    1e-12);
    }
}

// Flagged by the total flashover rate, spans that follow on joined; a span
// without flashover figures is never flagged; the top list leads with the
// spans that flash over most.
TEST(StudyRouteFlashovers, FlagsAndTheTopListFollowTheFlashovers)
{
    const study::RouteOutcome out = routeOf(kSpans, 0.4, 10);
    // Flashover totals 0.54, none, 0.45, 1.0, 0.2, none.
    ASSERT_EQ(2u, out.flaggedFlashovers.size());
    EXPECT_SAME_BITS(0.0, out.flaggedFlashovers[0].from);
    EXPECT_SAME_BITS(0.3, out.flaggedFlashovers[0].to);
    EXPECT_SAME_BITS(0.7, out.flaggedFlashovers[1].from);
    EXPECT_SAME_BITS(1.0705, out.flaggedFlashovers[1].to);
    EXPECT_SAME_BITS(1.0, out.flaggedFlashovers[1].highestRate);
    EXPECT_TRUE(out.flagged.empty());
    EXPECT_FALSE(out.spans[1].flaggedFlashovers);
    EXPECT_TRUE(out.topByFlashovers);
    // Flashovers per year: 0.00162, -, 0.00112725, 0.0012, 0.0006665, -;
    // then the spans without, by failures: span 2 (0.00084), span 6.
    EXPECT_EQ((std::vector<std::size_t>{0, 3, 2, 4, 1, 5}), out.topSpans);
    // Without flashover figures the list is by failures, as it was.
    const study::RouteOutcome plain =
        routeOf({{"100", outcomeOf(0.1, 0.0)}, {"100", outcomeOf(0.3, 0.0)}}, 0.1);
    EXPECT_FALSE(plain.topByFlashovers);
    EXPECT_EQ((std::vector<std::size_t>{1, 0}), plain.topSpans);
    EXPECT_TRUE(plain.flaggedFlashovers.empty());
    EXPECT_EQ(0, plain.summary.flashoverSpans);
    EXPECT_TRUE(plain.summary.flashoversPerYear.empty());
}

// The route's chart draws each span's total flashover rate beside its rate
// and the flashover flag as a line; without flashovers neither.
TEST(StudyRouteFlashovers, TheChartDrawsTheFlashoverRates)
{
    const study::Chart chart = study::routeChart(routeOf(kSpans, 0.4));
    ASSERT_EQ(3u, chart.series.size());
    EXPECT_EQ("total flashover rate of the span (spans with critical currents)", chart.series[1].label);
    EXPECT_TRUE(chart.series[1].gapsAreNone);
    ASSERT_EQ(2 * kSpans.size(), chart.series[1].y.size());
    EXPECT_SAME_BITS(*kSpans[0].outcome.result->flashoverTotal, chart.series[1].y[0]);
    EXPECT_TRUE(std::isnan(chart.series[1].y[2])); // span 2 has no critical current
    EXPECT_EQ("flag flashovers above 0.4", chart.series[2].label);
    EXPECT_NE(std::string::npos, chart.yLabel.find("flashovers per 100 km per year")) << chart.yLabel;
    // A gap in the flashover rates is no failed span: the picture marks none.
    const study::Picture picture = study::layoutChart(chart);
    for (const study::Label& l : picture.labels) {
        EXPECT_EQ(std::string::npos, l.text.find("not computed")) << l.text;
    }
    const study::Chart plain = study::routeChart(routeOf({{"100", outcomeOf(0.1, 0.0)}}, 0.4));
    ASSERT_EQ(1u, plain.series.size());
    EXPECT_EQ(std::string::npos, plain.yLabel.find("flashover")) << plain.yLabel;
}

// End to end: the route's CSV columns, JSON summary and text say
// flashovers, each span's flashovers per year are its flashover rate times
// its length, and a route without insulation has none of it.
TEST(StudyRouteFlashovers, EndToEndColumnsValuesAndExitStatus)
{
    ScratchDir dir;
    dir.write("route.csv", "name,length,critical-current3,critical-current4\n"
                           "a,300,9.5,14.25\nb,400,,\nc,250.5,12,\n");
    const ProgramRun csv =
        runStudy({"route", "route.csv", "--format", "csv", "--flag-flashovers-above", "0.45"}, dir);
    ASSERT_EQ(0, csv.status) << csv.err;
    const auto rows = csvRecords(csv.out);
    ASSERT_GE(rows.size(), 4u);
    double total = 0.0;
    double metres = 0.0;
    for (std::size_t k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        const double length = real(field(rows, k, "length"));
        for (const char* name : {"Conductor1", "Conductor2"}) {
            const std::string rate = field(rows, k, std::string("flashoverRate") + name);
            const std::string perYear = field(rows, k, std::string("flashoversPerYear") + name);
            EXPECT_EQ(rate.empty(), perYear.empty()) << name;
            if (!rate.empty()) {
                EXPECT_SAME_BITS(real(rate) * length / 100000.0, real(perYear)) << name;
            }
        }
        const std::string spanTotal = field(rows, k, "flashoversPerYearTotal");
        if (!spanTotal.empty()) {
            EXPECT_SAME_BITS(real(field(rows, k, "flashoverTotal")) * length / 100000.0, real(spanTotal));
            total += real(spanTotal);
            metres += length;
        }
    }
    EXPECT_EQ("", field(rows, 2, "flashoversPerYearTotal"));
    EXPECT_EQ("", field(rows, 2, "flaggedFlashovers"));
    EXPECT_EQ("true", field(rows, 1, "flaggedFlashovers"));  // 0.4999 flashovers per 100 km per year
    EXPECT_EQ("false", field(rows, 3, "flaggedFlashovers")); // 0.4352
    EXPECT_NE(std::string::npos,
              csv.out.find("\n# flashovers per year (2 spans with critical currents, 0.5505 km): "))
        << csv.out;

    const ProgramRun json =
        runStudy({"route", "route.csv", "--format", "json", "--flag-flashovers-above", "0.45"}, dir);
    ASSERT_EQ(0, json.status) << json.err;
    const nlohmann::json s = nlohmann::json::parse(json.out)["summary"];
    EXPECT_NEAR(total, s["flashoversPerYear"]["total"].get<double>(), 1e-16);
    EXPECT_EQ(2, s["flashoverSpans"].get<int>());
    EXPECT_SAME_BITS(0.5505, s["flashoverLengthKm"].get<double>());
    EXPECT_NEAR(100.0 * total / (metres / 1000.0), s["averageFlashoversPer100KmPerYear"].get<double>(),
                1e-12);
    EXPECT_EQ("flashovers", s["topBy"]);
    ASSERT_EQ(1u, s["flaggedFlashoverStretches"].size());
    EXPECT_SAME_BITS(0.3, s["flaggedFlashoverStretches"][0]["toKm"].get<double>());

    const ProgramRun text = runStudy({"route", "route.csv", "--flag-flashovers-above", "0.45"}, dir);
    ASSERT_EQ(0, text.status) << text.err;
    for (const char* line :
         {"Expected shielding failure flashovers per year (share method), the 2 of 3 spans with "
          "critical currents, 0.5505 km\n",
          "Spans that contribute most flashovers\n",
          "Stretches whose total flashover rate exceeds 0.45 flashovers per 100 km per year\n"
          "  km 0.000 to 0.300, highest flashover rate 0.4999\n"}) {
        EXPECT_NE(std::string::npos, text.out.find(line)) << line << "\n" << text.out;
    }

    // Without critical currents: no flashover column, line or key.
    dir.write("plain.csv", "name,length\na,300\nb,400\n");
    const ProgramRun plain = runStudy({"route", "plain.csv", "--format", "csv"}, dir);
    ASSERT_EQ(0, plain.status) << plain.err;
    EXPECT_EQ(std::string::npos, plain.out.find("lashover")) << plain.out;
    const ProgramRun plainJson = runStudy({"route", "plain.csv", "--format", "json"}, dir);
    EXPECT_FALSE(nlohmann::json::parse(plainJson.out)["summary"].contains("flashoversPerYear"));

    // A span that cannot be computed: exit 1, its row keeps every column.
    dir.write("bad.csv", "name,length,critical-current3,slope\na,300,9.5,\nb,400,9.5,95\n");
    const ProgramRun bad = runStudy({"route", "bad.csv", "--format", "csv"}, dir);
    EXPECT_EQ(1, bad.status);
    const auto badRows = csvRecords(bad.out);
    EXPECT_EQ(badRows.at(0).fields.size(), badRows.at(2).fields.size());
    EXPECT_NE("", badRows.at(2).fields.back());
    EXPECT_EQ("", field(badRows, 2, "flashoversPerYearTotal"));
}

} // namespace
