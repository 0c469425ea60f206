// What egm-study computes and writes, in process: the CSV reader and case
// files, batches against single cases, sweep values, the formats, design
// and route studies.
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bits.h"
#include "csv.h"
#include "egm/input_table.h"
#include "study_batch.h"
#include "study_core.h"
#include "study_csv_text.h"
#include "study_design.h"
#include "study_format.h"
#include "study_inputs.h"
#include "study_route.h"

namespace {

double real(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

// The four-wire line with these wires and voltage term.
egm::Inputs lineInputs(const egm::Line& line, double voltageTerm = 0.8)
{
    egm::Inputs in;
    in.tower = egm::towerOf(line, voltageTerm);
    return in;
}

egm::Line builtInWithGroundWireHeights(double h1, double h2)
{
    egm::Line line;
    line.groundWire1.height = h1;
    line.groundWire2.height = h2;
    return line;
}

egm::Options cheap()
{
    egm::Options o;
    o.classicalMaxCurrents = false;
    return o;
}

TEST(StudyCsv, QuotingLineBreaksCommentsAndLineNumbers)
{
    const auto records = csvRecords("\xEF\xBB\xBF"
                                    "a,b,c\r\n\n# a comment\n\"x, y\",\"say \"\"hi\"\"\",\n"
                                    "\"two\nlines\",2,3\n1,\"open\n");
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), records[0].fields);
    EXPECT_EQ(1, records[0].line);
    EXPECT_EQ((std::vector<std::string>{"x, y", "say \"hi\"", ""}), records[1].fields);
    EXPECT_EQ(4, records[1].line);
    EXPECT_EQ((std::vector<std::string>{"two\nlines", "2", "3"}), records[2].fields);
    EXPECT_EQ(5, records[2].line);
    EXPECT_EQ(7, records[3].line);
    EXPECT_EQ("unclosed quote", records[3].error);
    // Written back, a name with a comma, a quote or a line break reads the same.
    for (const std::string name : {"plain", "a, b", "say \"hi\"", "two\nlines", "cr\rhere"}) {
        const auto back = csvRecords(study::csvField(name) + ",1\n");
        ASSERT_EQ(1u, back.size());
        EXPECT_EQ(name, back[0].fields[0]);
    }
}

struct BatchRun {
    study::BatchSummary summary;
    std::vector<egm::io::CsvRecord> rows;
};

BatchRun batch(const std::string& cases, const egm::Inputs& defaults = egm::Inputs{})
{
    std::istringstream in(cases);
    std::string out;
    BatchRun run;
    run.summary = study::runBatch(in, out, defaults, 2);
    run.rows = csvRecords(out);
    return run;
}

TEST(StudyBatch, RowsMatchSingleCasesAndBadRowsStayInPlace)
{
    const BatchRun run = batch("\xEF\xBB\xBF"
                               "Slope,H1,h2,NAME,\n# skipped\n-20,55,55,a,\n5,57,,b\nfive,57,57,c,\n"
                               "30,60,60,\"d, e\",\n1,2\n7,57,57,many,1,2\n");
    EXPECT_EQ(6, run.summary.cases);
    EXPECT_EQ(3, run.summary.failed);
    ASSERT_EQ(7u, run.rows.size());
    const std::vector<std::string>& header = run.rows[0].fields;
    EXPECT_EQ("case", header[0]);
    EXPECT_EQ("error", header.back());
    const struct {
        int row;
        double slope;
        double h1;
        double h2;
    } good[] = {{1, -20, 55, 55}, {2, 5, 57, 57}, {4, 30, 60, 60}};
    for (const auto& g : good) {
        SCOPED_TRACE(g.row);
        egm::Inputs in = lineInputs(builtInWithGroundWireHeights(g.h1, g.h2));
        in.slope = g.slope;
        const egm::Result single = egm::computeRates(in);
        const std::vector<std::string>& f = run.rows[g.row].fields;
        ASSERT_EQ(header.size(), f.size());
        EXPECT_EQ(std::to_string(g.row), f[0]); // cases count from 1
        EXPECT_SAME_BITS(single.conductors[0].rate, real(f[3]));
        EXPECT_SAME_BITS(single.conductors[1].rate, real(f[4]));
        EXPECT_SAME_BITS(single.totalRate, real(f[5]));
        EXPECT_EQ(study::resultCsvFields(single, {"conductor1", "conductor2"}, single.wireNames), [&] {
            std::string joined;
            for (std::size_t k = 3; k + 1 < f.size(); ++k) {
                if (k > 3) {
                    joined += ',';
                }
                joined += study::csvField(f[k]);
            }
            return joined;
        }());
        EXPECT_EQ("", f.back());
    }
    EXPECT_EQ("d, e", run.rows[4].fields[2]);
    EXPECT_EQ("c", run.rows[3].fields[2]);
    EXPECT_EQ("line 5: slope 'five' is not a number", run.rows[3].fields.back());
    EXPECT_EQ("line 7: 2 fields where the header has 4", run.rows[5].fields.back());
    // More fields than the header: an error, the row's name kept.
    EXPECT_EQ("many", run.rows[6].fields[2]);
    EXPECT_EQ("line 8: 6 fields where the header has 4", run.rows[6].fields.back());
    EXPECT_EQ("6", run.rows[6].fields[0]);
    EXPECT_EQ("8", run.rows[6].fields[1]);
}

TEST(StudyBatch, LawsDistributionsAndGroupsAsColumns)
{
    const BatchRun run =
        batch("law,distribution,ground-wire-height,h2\nieee-1992,log-normal,60,61\nbuilt-in,,,\n"
              "brown,,,\n");
    ASSERT_EQ(4u, run.rows.size());
    // The built-in law's voltage term does not apply to the others; the
    // single wire's height after its group.
    egm::Inputs in = lineInputs(builtInWithGroundWireHeights(60.0, 61.0), 0.0);
    in.law.kind = egm::StrikingLaw::Kind::ieee1992;
    in.distribution.kind = egm::CurrentDistribution::Kind::logNormal;
    const double total = egm::computeRates(in).totalRate;
    ASSERT_GT(total, 0.0);
    EXPECT_EQ("", run.rows[1].fields.back());
    EXPECT_SAME_BITS(total, real(run.rows[1].fields[5]));
    EXPECT_SAME_BITS(egm::computeRates(egm::Inputs{}).totalRate, real(run.rows[2].fields[5]));
    EXPECT_EQ(0u, run.rows[3].fields.back().find("line 4: law 'brown': must be one of"))
        << run.rows[3].fields.back();
}

TEST(StudyBatch, UnusableHeaderIsRefusedWhole)
{
    for (const char* text : {"", "slope,height\n1,2\n", "slope,SLOPE\n1,2\n", ",slope\n1,2\n"}) {
        std::istringstream cases(text);
        std::string results;
        EXPECT_THROW(study::runBatch(cases, results, egm::Inputs{}, 1), study::CaseFileError) << text;
    }
}

TEST(StudySweep, ValuesFromPlusIStepWithTheLastKept)
{
    struct Case {
        double from, to, step;
        std::vector<double> values;
    };
    const Case cases[] = {
        {0.0, 0.3, 0.1, {0.0, 0.1, 0.2, 0.3}},   {0.0, 0.6, 0.2, {0.0, 0.2, 0.4, 0.6}},
        {0.5, 0.7, 0.1, {0.5, 0.6, 0.7}},        {-30, 30, 20, {-30, -10, 10, 30}},
        {55, 57, 0.5, {55, 55.5, 56, 56.5, 57}}, {1, 1, 1, {1}},
        {0, 1, 0.3, {0, 0.3, 0.6, 0.9}},
    };
    for (const Case& c : cases) {
        const std::vector<double> values = study::sweepValues(c.from, c.to, c.step);
        ASSERT_EQ(c.values.size(), values.size()) << c.from << " " << c.to << " " << c.step;
        for (std::size_t k = 0; k < values.size(); ++k) {
            EXPECT_SAME_BITS(c.values[k], values[k]);
        }
    }
    EXPECT_THROW(study::sweepValues(1, 0, 1), study::UsageError);
    EXPECT_THROW(study::sweepValues(0, 1, 0), study::UsageError);
    EXPECT_THROW(study::sweepValues(0, 1e9, 1e-3), study::UsageError);
}

TEST(StudySweep, GroupsMoveBothWires)
{
    const std::vector<study::SweepPoint> points =
        study::sweepCases(egm::Inputs{}, *egm::inputField("ground-wire-spread"), {16.0, 24.0}, 2, cheap());
    ASSERT_EQ(2u, points.size());
    egm::Line line;
    line.groundWire1.x = 12.0;
    line.groundWire2.x = -12.0;
    EXPECT_SAME_BITS(egm::computeRates(lineInputs(line), cheap()).totalRate, points[1].result->totalRate);
}

TEST(StudyFormat, TextShowsEachConductorsOwnFigures)
{
    const egm::Inputs in = lineInputs({{12, 50}, {-8, 45}, {15, 38}, {-10, 33}}, 0.3);
    const egm::Result r = egm::computeRates(in);
    ASSERT_EQ(2u, r.conductors.size());
    const egm::ConductorResult& c1 = r.conductors[0];
    const egm::ConductorResult& c2 = r.conductors[1];
    ASSERT_NE(c1.rate, c2.rate);
    ASSERT_NE(c1.maxCurrent.current, c2.maxCurrent.current);
    const std::string text = study::resultText(r);
    std::istringstream lines(text);
    std::vector<std::string> all;
    for (std::string l; std::getline(lines, l);) {
        all.push_back(l);
    }
    ASSERT_GE(all.size(), 11u);
    EXPECT_EQ("  conductor1             " + egm::shortestText(c1.rate), all[1]);
    EXPECT_EQ("  conductor2             " + egm::shortestText(c2.rate), all[2]);
    EXPECT_EQ("  total                  " + egm::shortestText(r.totalRate), all[3]);
    EXPECT_EQ("  conductor1             " + study::maxCurrentText(c1.maxCurrent), all[5]);
    EXPECT_EQ("  conductor2             " + study::maxCurrentText(c2.maxCurrent), all[6]);
    const std::vector<std::string> conductors = study::conductorNames(r);
    const auto fields =
        csvRecords(study::resultCsvHeader(conductors) + "\n" + study::resultCsvFields(r, conductors) + "\n");
    ASSERT_EQ(2u, fields.size());
    const std::vector<std::string>& names = fields[0].fields;
    const std::vector<std::string>& values = fields[1].fields;
    ASSERT_EQ(names.size(), values.size());
    const auto column = [&](const std::string& name) {
        return values[std::find(names.begin(), names.end(), name) - names.begin()];
    };
    // The four-wire line's columns keep their names.
    EXPECT_EQ(
        (std::vector<std::string>{"conductor1", "conductor2", "total", "rateMethod", "maxCurrentConductor1",
                                  "maxCurrentConductor2", "maxCurrentAtTopConductor1",
                                  "maxCurrentAtTopConductor2", "classicalMaxCurrentConductor1",
                                  "classicalMaxCurrentConductor2", "classicalMaxCurrentAtTopConductor1",
                                  "classicalMaxCurrentAtTopConductor2", "evaluation", "law", "distribution"}),
        names);
    EXPECT_SAME_BITS(*c1.maxCurrent.current, real(column("maxCurrentConductor1")));
    EXPECT_SAME_BITS(*c2.maxCurrent.current, real(column("maxCurrentConductor2")));
    EXPECT_EQ("false", column("maxCurrentAtTopConductor1"));
    EXPECT_EQ("first-contact", column("evaluation"));
    EXPECT_EQ("share", column("rateMethod"));
    EXPECT_EQ(names.size() - 1, study::resultCsvEmptyFields(conductors).size());
}

TEST(StudyFormat, JsonKeepsNaNApartFromNone)
{
    EXPECT_EQ("\"nan\"", study::jsonNumber(kNaN).dump());
    EXPECT_EQ("\"-inf\"", study::jsonNumber(-kInf).dump());
    EXPECT_EQ("0.25", study::jsonNumber(0.25).dump());
    const nlohmann::json inputs = study::inputsJson(egm::Inputs{}, "");
    EXPECT_TRUE(inputs["control"].is_null());
    EXPECT_FALSE(inputs.contains("tower"));
    EXPECT_EQ(57.0, inputs["h1"].get<double>());
    EXPECT_EQ("built-in", inputs["law"].get<std::string>());
    // Only the inputs that apply: no custom law, no log-normal distribution.
    for (const egm::InputField& f : egm::inputFields()) {
        if (f.kind != egm::InputField::Kind::group) {
            EXPECT_EQ(f.appliesTo(egm::Inputs{}), inputs.contains(std::string(f.name))) << f.name;
        }
    }
    EXPECT_FALSE(inputs.contains("law-beta"));
    EXPECT_FALSE(inputs.contains("current-median"));
    EXPECT_EQ("dc.csv", study::inputsJson(egm::Inputs{}, "", "dc.csv")["tower"].get<std::string>());
}

TEST(StudyDesign, SolvedValueFedBackMeetsTheTarget)
{
    const egm::Inputs base;
    struct Case {
        study::DesignRequest request;
        study::DesignVariable variable;
        double step; // towards values that miss the target
    };
    const Case cases[] = {
        {{"shielding-angle", "total=0.05", {}, 11}, study::DesignVariable::shieldingAngle, 0.01},
        {{"spread", "total=0.05", {10.0, 40.0}, 11}, study::DesignVariable::spread, -0.01},
        {{"conductor-height", "each=0.02", {}, 11}, study::DesignVariable::conductorHeight, 0.01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.variable);
        const study::DesignOutcome o = study::solveDesign(base, c.request);
        ASSERT_TRUE(o.met);
        ASSERT_EQ(1u, o.crossings.size());
        EXPECT_TRUE(o.monotone);
        EXPECT_LE(o.evaluations, 40);
        const double solved = o.crossings[0].value;
        EXPECT_SAME_BITS(std::round(solved * 100.0) / 100.0, solved);
        // Fed back: the solved value meets the target, 0.01 further does not.
        const auto responseAt = [&](double v) {
            const egm::Result r = egm::computeRates(study::withDesignValue(base, c.variable, v), cheap());
            return c.request.target[0] == 'e' ? std::max(r.conductors[0].rate, r.conductors[1].rate)
                                              : r.totalRate;
        };
        const double target = std::strtod(c.request.target.c_str() + c.request.target.find('=') + 1, nullptr);
        EXPECT_LE(responseAt(solved), target);
        EXPECT_GT(responseAt(solved + c.step), target);
    }
}

TEST(StudyDesign, ShieldingAngleMovesTheGroundWiresAcross)
{
    // 20 degrees outwards: each ground wire stands 15 m tan 20 inside its
    // conductor on the built-in line (57 m over 42 m).
    const egm::Inputs moved =
        study::withDesignValue(egm::Inputs{}, study::DesignVariable::shieldingAngle, 20.0);
    EXPECT_NEAR(11.2 - 15.0 * 0.36397023426620234, moved.tower.wires[0].x, 1e-12);
    EXPECT_NEAR(-11.2 + 15.0 * 0.36397023426620234, moved.tower.wires[1].x, 1e-12);
    EXPECT_SAME_BITS(57.0, moved.tower.wires[0].height);
}

TEST(StudyDesign, OnATowerTheGroundWiresMoveTogether)
{
    egm::Inputs base;
    base.tower.wires = {{egm::WireKind::conductor, -7.0, 40.0, 0.0, "p"},
                        {egm::WireKind::groundWire, -3.0, 50.0, 0.0, "left"},
                        {egm::WireKind::groundWire, 5.0, 52.0, 0.0, "right"},
                        {egm::WireKind::conductor, 7.0, 40.0, 0.0, "q"}};
    // The pair about its middle (x = 1), each wire kept on its side.
    const egm::Inputs spread = study::withDesignValue(base, study::DesignVariable::spread, 10.0);
    EXPECT_SAME_BITS(-4.0, spread.tower.wires[1].x);
    EXPECT_SAME_BITS(6.0, spread.tower.wires[2].x);
    EXPECT_SAME_BITS(-7.0, spread.tower.wires[0].x);
    // Every ground wire's height, and nothing else.
    const egm::Inputs high = study::withDesignValue(base, study::DesignVariable::groundWireHeight, 60.0);
    EXPECT_SAME_BITS(60.0, high.tower.wires[1].height);
    EXPECT_SAME_BITS(60.0, high.tower.wires[2].height);
    EXPECT_SAME_BITS(40.0, high.tower.wires[3].height);
    EXPECT_THROW(study::withDesignValue(base, study::DesignVariable::shieldingAngle, 10.0),
                 study::UsageError);
    base.tower.wires.push_back({egm::WireKind::groundWire, 0.0, 60.0, 0.0, "top"});
    EXPECT_THROW(study::withDesignValue(base, study::DesignVariable::spread, 10.0), study::UsageError);
}

TEST(StudyDesign, TargetOutOfReachAndAResponseThatTurns)
{
    // Against the ground wires' height the total rate falls, then rises
    // again (the collection width grows with the height): no height of the
    // range gives 0.05; 0.2 is met between two crossings.
    const egm::Inputs base;
    const study::DesignOutcome unmet = study::solveDesign(base, {"ground-wire-height", "total=0.05", {}, 11});
    EXPECT_FALSE(unmet.met);
    EXPECT_TRUE(unmet.crossings.empty());
    EXPECT_FALSE(unmet.monotone);
    for (const study::DesignSample& s : unmet.table) {
        EXPECT_LE(unmet.best.response, s.response);
    }
    EXPECT_NE(std::string::npos, study::designReport(unmet, "text").find("cannot be met inside the range"));

    const study::DesignOutcome turns = study::solveDesign(base, {"ground-wire-height", "total=0.2", {}, 11});
    ASSERT_EQ(2u, turns.crossings.size());
    EXPECT_LT(turns.crossings[0].value, turns.crossings[1].value);
    for (const study::DesignSample& s : turns.crossings) {
        EXPECT_LE(s.response, 0.2);
    }
    EXPECT_NE(std::string::npos, study::designReport(turns, "text").find("NOT steady"));
    EXPECT_THROW(study::solveDesign(base, {"height", "total=1", {}, 11}), study::UsageError);
    EXPECT_THROW(study::solveDesign(base, {"spread", "rate=1", {}, 11}), study::UsageError);
    EXPECT_THROW(study::solveDesign(base, {"spread", "total=1", {5.0, 1.0}, 11}), study::UsageError);
}

study::RouteOutcome route(const std::string& text, const std::string& file)
{
    const std::string path = ::testing::TempDir() + file;
    std::ofstream(path) << text;
    const study::InputFlags flags;
    study::RouteRequest request;
    request.spans = path;
    request.flagAbove = 0.5;
    return study::computeRoute(flags, request, {});
}

TEST(StudyRoute, RowsEchoEachSpansInputsBesideItsResults)
{
    const study::RouteOutcome out = route("name,length,slope,h1\na,100,10,\nb,200,,58.5\n", "route-echo.csv");
    const std::string csv = study::routeReport(out, "csv");
    const std::vector<egm::io::CsvRecord> rows = csvRecords(csv.substr(0, csv.find("\n#") + 1));
    ASSERT_EQ(3u, rows.size()) << csv;
    // The given input columns right after the length, empty where a row
    // left them out; the results after them.
    EXPECT_EQ((std::vector<std::string>{"span", "line", "name", "km", "length", "slope", "h1", "conductor1"}),
              std::vector<std::string>(rows[0].fields.begin(), rows[0].fields.begin() + 8));
    EXPECT_EQ("10", rows[1].fields[5]);
    EXPECT_EQ("", rows[1].fields[6]);
    EXPECT_EQ("", rows[2].fields[5]);
    EXPECT_EQ("58.5", rows[2].fields[6]);
    const nlohmann::json j = nlohmann::json::parse(study::routeReport(out, "json"));
    EXPECT_EQ((nlohmann::json{{"slope", "10"}}), j["spans"][0]["inputs"]);
    EXPECT_EQ((nlohmann::json{{"h1", "58.5"}}), j["spans"][1]["inputs"]);
}

TEST(StudyRoute, TotalsAreTheSumsOverTheSpansAndPartsAddUp)
{
    const std::string header = "name,km,length,slope,h1,h2\n";
    const std::string spans[] = {"a,0,400,0,57,57\n", "b,,350,12,60,58\n", "c,,500,-8,55,55\n",
                                 "d,,300,25,57,57\n", "e,,10,0,57,57\n",   "f,,320,-25,57,57\n"};
    const double length[] = {400, 350, 500, 300, 10, 320};
    std::string whole = header;
    for (const std::string& s : spans) {
        whole += s;
    }
    const study::RouteOutcome all = route(whole, "route-whole.csv");
    ASSERT_EQ(6, all.summary.spans);
    ASSERT_EQ(0, all.summary.failed);

    // The same towers as a batch: the rates per span, summed here.
    const BatchRun rates =
        batch("name,slope,h1,h2\na,0,57,57\nb,12,60,58\nc,-8,55,55\nd,25,57,57\ne,0,57,57\nf,-25,57,57\n");
    // Columns 3, 4, 5 of the batch: conductor1, conductor2, total.
    double expected[3] = {0, 0, 0};
    for (int k = 0; k < 6; ++k) {
        for (int c = 0; c < 3; ++c) {
            expected[c] += real(rates.rows[k + 1].fields[3 + c]) * length[k] / 100000.0;
        }
    }
    // The length is the exact sum of the metres written, 1880 m, not a sum
    // of kilometres in binary (1.8800000000000001).
    const double km = 1.88;
    ASSERT_EQ((std::vector<std::string>{"conductor1", "conductor2"}), all.summary.conductors);
    for (int c = 0; c < 2; ++c) {
        EXPECT_SAME_BITS(expected[c], all.summary.failuresPerYear[c]) << c;
    }
    EXPECT_SAME_BITS(expected[2], all.summary.totalFailuresPerYear);
    EXPECT_SAME_BITS(km, all.summary.lengthKm);
    EXPECT_SAME_BITS(all.summary.totalFailuresPerYear / km * 100.0, all.summary.averagePer100Km);
    // Chainage: each span starts where the one before ended.
    EXPECT_SAME_BITS(0.4, all.spans[1].from);
    EXPECT_SAME_BITS(0.75, all.spans[2].from);
    // The largest contribution first, shares that add up to one.
    ASSERT_FALSE(all.topSpans.empty());
    for (const study::Span& s : all.spans) {
        EXPECT_LE(s.totalFailures, all.spans[all.topSpans.front()].totalFailures);
    }
    // Flagged stretches only where the total rate exceeds the threshold.
    for (const study::Span& s : all.spans) {
        EXPECT_EQ(s.result->totalRate > 0.5, s.flagged) << s.name;
    }

    // Split in two parts (each with the header): the parts' sums add up.
    const study::RouteOutcome first = route(header + spans[0] + spans[1], "route-first.csv");
    const study::RouteOutcome second =
        route(header + "c,0.75,500,-8,55,55\n" + spans[3] + spans[4] + spans[5], "route-second.csv");
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(all.summary.failuresPerYear[c],
                    first.summary.failuresPerYear[c] + second.summary.failuresPerYear[c],
                    1e-15 * all.summary.failuresPerYear[c]);
    }
    EXPECT_NEAR(all.summary.totalFailuresPerYear,
                first.summary.totalFailuresPerYear + second.summary.totalFailuresPerYear,
                1e-15 * all.summary.totalFailuresPerYear);
    EXPECT_NEAR(all.summary.lengthKm, first.summary.lengthKm + second.summary.lengthKm, 1e-12);
    EXPECT_SAME_BITS(all.spans[2].from, second.spans[0].from);
}

// A route with any span whose length is not a positive number of metres up
// to 100 km (or whose km post is not a number) is refused whole, before
// anything is computed, every such span named; the chainage of a route that
// is computed is exact: the km posts as written, or the lengths added up in
// the decimals they were written with.
TEST(StudyRoute, BadLengthsRefuseTheRouteAndTheChainageIsExact)
{
    struct Case {
        const char* rows;
        std::vector<const char*> named; // in the message; empty: computed
        std::vector<double> from;       // the spans' km posts when computed
    };
    const Case cases[] = {
        {"A,,1000\nB,,-500\nC,,1000\nG,,nan\nH,,1000\n",
         {"span 2 (line 3) length '-500'", "span 4 (line 5) length 'nan'"},
         {}},
        {"A,,1e12\nB,,0\nC,,\nD,x,10\nE,,inf\n",
         {"span 1 (line 2) length '1e12'", "span 2 (line 3) length '0'", "span 3 (line 4) without a length",
          "span 4 (line 5) km 'x'", "span 5 (line 6) length 'inf'"},
         {}},
        {"A,,300\nB,,300\nC,,300\nD,,300\n", {}, {0, 0.3, 0.6, 0.9}},
        {"A,12.3,450\nB,,0.1\nC,,100000\nD,7,0.35\nE,,0.35\n", {}, {12.3, 12.75, 12.7501, 7, 7.00035}},
        {"A,,100\nB,,200\nC,,300\nD,,400\nE,,500\nF,,600\n", {}, {0, 0.1, 0.3, 0.6, 1, 1.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        const std::string text = std::string("name,km,length\n") + c.rows;
        if (c.named.empty()) {
            const study::RouteOutcome o = route(text, "route-chainage.csv");
            ASSERT_EQ(c.from.size(), o.spans.size());
            for (std::size_t k = 0; k < c.from.size(); ++k) {
                EXPECT_SAME_BITS(c.from[k], o.spans[k].from) << k;
                if (k + 1 < c.from.size() && k != 2) { // span 4 has its own km post
                    EXPECT_SAME_BITS(o.spans[k].to, o.spans[k + 1].from) << k;
                }
            }
            continue;
        }
        try {
            route(text, "route-bad.csv");
            ADD_FAILURE() << "computed";
        } catch (const egm::InputError& e) {
            const std::string what = e.what();
            EXPECT_NE(std::string::npos, what.find("at most 100000 m (100 km)")) << what;
            EXPECT_NE(std::string::npos, what.find("nothing computed")) << what;
            for (const char* n : c.named) {
                EXPECT_NE(std::string::npos, what.find(n)) << what;
            }
        }
    }
}

// topSpans are indices: a copy of the outcome lists its own spans.
TEST(StudyRoute, ACopyKeepsItsTopSpans)
{
    study::RouteOutcome copy;
    {
        const study::RouteOutcome o =
            route("name,length,slope\na,300,0\nb,400,12\nc,500,-8\n", "route-copy.csv");
        copy = o;
    }
    ASSERT_EQ(3u, copy.topSpans.size());
    EXPECT_EQ("b", copy.spans[copy.topSpans.front()].name);
    EXPECT_SAME_BITS(0.3, copy.spans[1].from);
}

} // namespace
