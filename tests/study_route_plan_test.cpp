// The route's two steps on their own (planRoute places the spans,
// assembleRoute adds up the outcomes, wherever they were computed) and the
// design's choice of a target's response.
#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "bits.h"
#include "egm/input_table.h"
#include "study_design.h"
#include "study_route.h"

namespace {

// A span of the built-in line with this length and km post as written.
study::SpanRow spanRow(const std::string& length, const std::string& km = {})
{
    study::SpanRow row;
    row.length = length;
    if (!km.empty()) {
        row.km = km;
    }
    return row;
}

// An outcome whose total rate is rate (strokes per 100 km per year).
egm::CaseOutcome outcomeOfRate(double rate)
{
    egm::Result r;
    r.conductors.push_back(egm::ConductorResult{2, "conductor1", rate, {}, {}});
    r.totalRate = rate;
    return egm::CaseOutcome{r, {}};
}

TEST(StudyRoutePlan, AKmPostKeepsItsOwnDecimals)
{
    // 1.23456789 has eight decimals, the lengths none: the spans after it
    // start at the post plus whole metres, not at a post rounded to three
    // decimals (1.335).
    const study::RoutePlan plan =
        study::planRoute({spanRow("100", "1.23456789"), spanRow("100"), spanRow("0.5", "2")}, "route", {});
    ASSERT_EQ(3u, plan.spans.size());
    EXPECT_SAME_BITS(1.23456789, plan.spans[0].from);
    EXPECT_SAME_BITS(1.33456789, plan.spans[0].to);
    EXPECT_SAME_BITS(1.33456789, plan.spans[1].from);
    EXPECT_SAME_BITS(1.43456789, plan.spans[1].to);
    // A new post starts the count again, at its own decimals.
    EXPECT_SAME_BITS(2.0, plan.spans[2].from);
    EXPECT_SAME_BITS(2.0005, plan.spans[2].to);
}

TEST(StudyRoutePlan, FlaggedSpansJoinOnlyWhereTheyFollowOn)
{
    // Rates 1, 0.1, 1, 1, 1 with a flag at 0.5; span 5 starts at its own
    // post, away from where span 4 ends.
    const study::RoutePlan plan = study::planRoute(
        {spanRow("100"), spanRow("100"), spanRow("100"), spanRow("100"), spanRow("100", "5")}, "route", {});
    const study::RouteOutcome out = study::assembleRoute(
        plan, {outcomeOfRate(1), outcomeOfRate(0.1), outcomeOfRate(1), outcomeOfRate(1), outcomeOfRate(2)},
        0.5, 10);
    ASSERT_EQ(3u, out.flagged.size());
    EXPECT_SAME_BITS(0.0, out.flagged[0].from);
    EXPECT_SAME_BITS(0.1, out.flagged[0].to);
    EXPECT_SAME_BITS(0.2, out.flagged[1].from);
    EXPECT_SAME_BITS(0.4, out.flagged[1].to);
    EXPECT_SAME_BITS(5.0, out.flagged[2].from);
    EXPECT_SAME_BITS(5.1, out.flagged[2].to);
    EXPECT_SAME_BITS(2.0, out.flagged[2].highestRate);
    // The failures: rate times length / 100 km, summed in order.
    EXPECT_SAME_BITS(1 * 100 / 100000.0 + 0.1 * 100 / 100000.0 + 1 * 100 / 100000.0 + 1 * 100 / 100000.0 +
                         2 * 100 / 100000.0,
                     out.summary.totalFailuresPerYear);
    EXPECT_SAME_BITS(0.5, out.summary.lengthKm);
    EXPECT_EQ((std::vector<std::size_t>{4, 0, 2, 3, 1}), out.topSpans);
}

TEST(StudyRoutePlan, ARouteWithoutAnyLengthIsSaidOnce)
{
    std::vector<study::SpanRow> rows(1000);
    try {
        study::planRoute(rows, "route file 'towers.csv'", {});
        FAIL() << "planned";
    } catch (const egm::InputError& e) {
        const std::string what = e.what();
        EXPECT_LT(what.size(), 200u) << what;
        EXPECT_NE(std::string::npos, what.find("no span has a length")) << what;
        EXPECT_EQ(0u, what.rfind("route file 'towers.csv': ", 0)) << what;
    }
}

TEST(StudyDesign, PerfectShieldingTargetsTheClassicalMaximumCurrent)
{
    // On steep ground the largest current of the integrated range that
    // reaches a conductor differs from the largest with a width for
    // vertical strokes: the target perfect=I is about the second.
    egm::Inputs base;
    base.slope = 25.0;
    const study::DesignOutcome o =
        study::solveDesign(base, {"ground-wire-height", "perfect=30", {45.0, 70.0}, 6});
    int differing = 0;
    for (const study::DesignSample& s : o.table) {
        ASSERT_TRUE(s.result) << s.value;
        double classical = 0.0;
        double integrated = 0.0;
        for (const egm::ConductorResult& c : s.result->conductors) {
            classical = std::max(classical, c.classicalMaxCurrent.current.value_or(0.0));
            integrated = std::max(integrated, c.maxCurrent.current.value_or(0.0));
        }
        EXPECT_SAME_BITS(classical, s.response) << s.value;
        differing += classical != integrated;
    }
    EXPECT_GT(differing, 0) << "the case does not tell the two currents apart";
}

TEST(StudyDesign, TargetMetEverywhereReportsTheHighestResponseAsTheClosest)
{
    // Every height meets a total rate of 10: the value closest to the
    // target is the one of the highest response, still below it.
    const study::DesignOutcome o =
        study::solveDesign(egm::Inputs{}, {"ground-wire-height", "total=10", {45.0, 70.0}, 6});
    ASSERT_TRUE(o.metEverywhere);
    double highest = -1.0;
    for (const study::DesignSample& s : o.table) {
        highest = std::max(highest, s.response);
    }
    EXPECT_SAME_BITS(highest, o.best.response);
    EXPECT_LE(o.best.response, 10.0);
}

} // namespace

namespace {

// A target met from the range's start up to a height above which the rate
// rises past it: the answer is the stretch, with both ends, not the
// crossing alone.
TEST(StudyDesign, TheAnswerIsTheStretchThatMeetsTheTargetWithBothEnds)
{
    const egm::Inputs base;
    const study::DesignOutcome o =
        study::solveDesign(base, {"ground-wire-height", "total=0.25", {60.0, 90.0}, 7});
    ASSERT_EQ(1u, o.metStretches.size());
    const study::MetStretch& m = o.metStretches[0];
    EXPECT_TRUE(m.fromRangeStart);
    EXPECT_FALSE(m.toRangeEnd);
    EXPECT_SAME_BITS(60.0, m.from.value);
    // Fed back: the upper end meets the target, 0.01 m above it does not.
    const auto total = [&base](double h) {
        return egm::computeRates(study::withDesignValue(base, study::DesignVariable::groundWireHeight, h))
            .totalRate;
    };
    EXPECT_LE(total(m.to.value), 0.25);
    EXPECT_GT(total(m.to.value + 0.01), 0.25);
    EXPECT_LE(total(m.from.value), 0.25);

    const std::string text = study::designReport(o, "text");
    EXPECT_NE(
        std::string::npos,
        text.find(fmt::format("Meets the target from 60.00 m (the range's start) to {:.2f} m\n", m.to.value)))
        << text;
    EXPECT_EQ(std::string::npos, text.find("Solution")) << text;
    const std::string csv = study::designReport(o, "csv");
    EXPECT_NE(std::string::npos, csv.find("\n60,")) << csv;
    EXPECT_NE(std::string::npos, csv.find(fmt::format(",{},meets-from,", egm::shortestText(m.from.response))))
        << csv;
    EXPECT_NE(std::string::npos, csv.find(fmt::format("{},{},meets-to,", egm::shortestText(m.to.value),
                                                      egm::shortestText(m.to.response))))
        << csv;
    const std::string json = study::designReport(o, "json");
    EXPECT_NE(std::string::npos, json.find("\"fromRangeStart\": true")) << json;
    EXPECT_NE(std::string::npos, json.find("\"toRangeEnd\": false")) << json;
}

// A response that falls and rises meets a target in the middle only: one
// stretch between two crossings.
TEST(StudyDesign, AStretchBetweenTwoCrossings)
{
    const study::DesignOutcome o =
        study::solveDesign(egm::Inputs{}, {"ground-wire-height", "total=0.25", {50.0, 90.0}, 9});
    ASSERT_EQ(1u, o.metStretches.size());
    EXPECT_FALSE(o.metStretches[0].fromRangeStart);
    EXPECT_FALSE(o.metStretches[0].toRangeEnd);
    ASSERT_EQ(2u, o.crossings.size());
    EXPECT_SAME_BITS(o.crossings[0].value, o.metStretches[0].from.value);
    EXPECT_SAME_BITS(o.crossings[1].value, o.metStretches[0].to.value);
}

} // namespace
