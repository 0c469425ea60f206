// egm-study's flashover figures end to end: the critical currents and the
// shielding failure flashover rates in text, JSON and CSV, the insulation
// of a tower file through rate and batch, current tables and thunder days
// given on the command line, and their refusals.
#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "bits.h"
#include "study_csv_text.h"
#include "study_run.h"

namespace {

// The value after a label in the text's block that starts with heading.
std::string textValue(const std::string& text, const std::string& heading, const std::string& label)
{
    const std::size_t block = text.find(heading);
    if (block == std::string::npos) {
        return "(no block '" + heading + "')";
    }
    const std::size_t at = text.find("\n  " + label + " ", block);
    if (at == std::string::npos) {
        return "(no line '" + label + "')";
    }
    const std::size_t from = text.find_first_not_of(' ', at + 3 + label.size());
    return text.substr(from, text.find('\n', from) - from);
}

const char* const kFlashoverHeading =
    "Shielding failure flashover rate (share method), flashovers per 100 km";
const char* const kStrokesHeading = "Shielding failure rate (share method";

// Figures from an independent implementation: the built-in line, conductor
// 1 with Ic 9.5 kA and conductor 2 with 14.25 kA, share method.
constexpr double kRef1 = 0.46340687541443837;
constexpr double kRef2 = 0.036489047815348626;
constexpr double kRefTotal = 0.499895923229787;
constexpr double kTolerance = 1e-9 * kRefTotal;

const std::vector<std::string> kTwoCurrents = {"--critical-current3", "9.5", "--critical-current4", "14.25"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(StudyFlashovers, TwoCriticalCurrentsInTextJsonAndCsvMeetTheReference)
{
    ScratchDir dir;
    const ProgramRun text = runStudy(with({"rate"}, kTwoCurrents), dir);
    ASSERT_EQ(0, text.status) << text.err;
    EXPECT_NEAR(kRef1, real(textValue(text.out, kFlashoverHeading, "conductor1")), kTolerance) << text.out;
    EXPECT_NEAR(kRef2, real(textValue(text.out, kFlashoverHeading, "conductor2")), kTolerance) << text.out;
    EXPECT_NEAR(kRefTotal, real(textValue(text.out, kFlashoverHeading, "total")), kTolerance) << text.out;
    EXPECT_NE(std::string::npos, textValue(text.out, kFlashoverHeading, "conductor1").find("  (Ic 9.5 kA)"));
    EXPECT_NE(std::string::npos,
              textValue(text.out, kFlashoverHeading, "conductor2").find("  (Ic 14.25 kA)"));

    const ProgramRun json = runStudy(with({"rate", "--format", "json"}, kTwoCurrents), dir);
    ASSERT_EQ(0, json.status) << json.err;
    const nlohmann::json j = nlohmann::json::parse(json.out);
    EXPECT_EQ(9.5, j["criticalCurrents"]["conductor1"].get<double>());
    EXPECT_EQ(14.25, j["criticalCurrents"]["conductor2"].get<double>());
    EXPECT_NEAR(kRef1, j["flashoverRates"]["conductor1"].get<double>(), kTolerance);
    EXPECT_NEAR(kRef2, j["flashoverRates"]["conductor2"].get<double>(), kTolerance);
    EXPECT_NEAR(kRefTotal, j["flashoverRates"]["total"].get<double>(), kTolerance);
    EXPECT_FALSE(j["perfectlyShielded"]["conductor1"].get<bool>());

    const ProgramRun csv = runStudy(with({"rate", "--format", "csv"}, kTwoCurrents), dir);
    ASSERT_EQ(0, csv.status) << csv.err;
    const auto rows = csvRecords(csv.out);
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("9.5", field(rows, 1, "criticalCurrentConductor1"));
    EXPECT_EQ("14.25", field(rows, 1, "criticalCurrentConductor2"));
    EXPECT_NEAR(kRef1, real(field(rows, 1, "flashoverRateConductor1")), kTolerance);
    EXPECT_NEAR(kRef2, real(field(rows, 1, "flashoverRateConductor2")), kTolerance);
    EXPECT_NEAR(kRefTotal, real(field(rows, 1, "flashoverTotal")), kTolerance);
    // The three forms give the same figures, to the last digit.
    EXPECT_EQ(field(rows, 1, "flashoverTotal"), textValue(text.out, kFlashoverHeading, "total"));
    EXPECT_SAME_BITS(real(field(rows, 1, "flashoverRateConductor2")),
                     j["flashoverRates"]["conductor2"].get<double>());
}

TEST(StudyFlashovers, TheLowestCurrentAsCriticalCurrentGivesThePlainRates)
{
    ScratchDir dir;
    const ProgramRun text = runStudy({"rate", "--critical-current", "23.5"}, dir);
    ASSERT_EQ(0, text.status) << text.err;
    for (const std::string name : {"conductor1", "conductor2"}) {
        EXPECT_EQ(textValue(text.out, kStrokesHeading, name) + "  (Ic 23.5 kA)",
                  textValue(text.out, kFlashoverHeading, name))
            << name;
    }
    EXPECT_EQ(textValue(text.out, kStrokesHeading, "total"), textValue(text.out, kFlashoverHeading, "total"));
    const ProgramRun csv = runStudy({"rate", "--critical-current", "23.5", "--format", "csv"}, dir);
    ASSERT_EQ(0, csv.status) << csv.err;
    const auto rows = csvRecords(csv.out);
    EXPECT_EQ(field(rows, 1, "conductor1"), field(rows, 1, "flashoverRateConductor1"));
    EXPECT_EQ(field(rows, 1, "conductor2"), field(rows, 1, "flashoverRateConductor2"));
    EXPECT_EQ(field(rows, 1, "total"), field(rows, 1, "flashoverTotal"));
}

TEST(StudyFlashovers, WithoutCriticalCurrentsNoFlashoverFigures)
{
    ScratchDir dir;
    const ProgramRun text = runStudy({"rate"}, dir);
    ASSERT_EQ(0, text.status) << text.err;
    EXPECT_EQ(std::string::npos, text.out.find("flashover")) << text.out;
    const ProgramRun json = runStudy({"rate", "--format", "json"}, dir);
    const nlohmann::json j = nlohmann::json::parse(json.out);
    EXPECT_FALSE(j.contains("criticalCurrents"));
    EXPECT_FALSE(j.contains("flashoverRates"));
    const ProgramRun csv = runStudy({"rate", "--format", "csv"}, dir);
    EXPECT_EQ(std::string::npos, csv.out.find("flashover")) << csv.out;
}

TEST(StudyFlashovers, APerfectlyShieldedConductorIsSaidSo)
{
    ScratchDir dir;
    // Conductor 2's largest shielding failure current is 24.84 kA.
    const ProgramRun text = runStudy({"rate", "--critical-current", "50"}, dir);
    ASSERT_EQ(0, text.status) << text.err;
    EXPECT_EQ("0  (Ic 50 kA, perfectly shielded)", textValue(text.out, kFlashoverHeading, "conductor2"));
    const ProgramRun json = runStudy({"rate", "--critical-current", "50", "--format", "json"}, dir);
    const nlohmann::json j = nlohmann::json::parse(json.out);
    EXPECT_TRUE(j["perfectlyShielded"]["conductor2"].get<bool>());
    EXPECT_FALSE(j["perfectlyShielded"]["conductor1"].get<bool>());
    EXPECT_EQ(0.0, j["flashoverRates"]["conductor2"].get<double>());
}

// A double circuit whose conductor a1 alone has insulation: 1200 kV over
// 400 ohm, Ic = 2 CFO / Z = 6 kA.
const char* const kInsulatedTower = "name,kind,x,height,voltage-term,cfo,surge-impedance\n"
                                    "earth,ground wire,0,55,,,\n"
                                    "a1,conductor,6,45,0,1200,400\n"
                                    "b1,conductor,8,37,0,,\n"
                                    "c1,conductor,6.5,29,0,,\n"
                                    "a2,conductor,-6,45,0,,\n"
                                    "b2,conductor,-8,37,0,,\n"
                                    "c2,conductor,-6.5,29,0,,\n";

TEST(StudyFlashovers, ATowerFilesInsulationThroughRateAndBatch)
{
    ScratchDir dir;
    dir.write("insulated.csv", kInsulatedTower);
    dir.write("plain.csv", kDoubleCircuit);
    // a1's flashover rate is its rate from 6 kA up.
    const ProgramRun from6 =
        runStudy({"rate", "--tower", "plain.csv", "--min-current", "6", "--format", "json"}, dir);
    ASSERT_EQ(0, from6.status) << from6.err;
    const double a1From6 = nlohmann::json::parse(from6.out)["rates"]["a1"].get<double>();

    const ProgramRun json = runStudy({"rate", "--tower", "insulated.csv", "--format", "json"}, dir);
    ASSERT_EQ(0, json.status) << json.err;
    const nlohmann::json j = nlohmann::json::parse(json.out);
    EXPECT_EQ(6.0, j["criticalCurrents"]["a1"].get<double>());
    EXPECT_TRUE(j["criticalCurrents"]["b1"].is_null());
    EXPECT_TRUE(j["flashoverRates"]["a2"].is_null());
    EXPECT_SAME_BITS(a1From6, j["flashoverRates"]["a1"].get<double>());
    EXPECT_SAME_BITS(a1From6, j["flashoverRates"]["total"].get<double>());

    dir.write("cases.csv", "name,tower\ninsulated,insulated.csv\nplain,plain.csv\n");
    const ProgramRun batch = runStudy({"batch", "cases.csv", "-o", "out.csv"}, dir);
    ASSERT_EQ(0, batch.status) << batch.err;
    const auto rows = csvRecords(dir.read("out.csv"));
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ("6", field(rows, 1, "criticalCurrentA1"));
    EXPECT_SAME_BITS(a1From6, real(field(rows, 1, "flashoverRateA1")));
    EXPECT_SAME_BITS(a1From6, real(field(rows, 1, "flashoverTotal")));
    EXPECT_EQ("", field(rows, 1, "criticalCurrentB1"));
    EXPECT_EQ("", field(rows, 1, "flashoverRateB1"));
    // The plain tower's row: no critical current, no flashover figures.
    EXPECT_EQ("", field(rows, 2, "criticalCurrentA1"));
    EXPECT_EQ("", field(rows, 2, "flashoverTotal"));
    EXPECT_NE("", field(rows, 2, "a1"));
}

// P(peak > I) at a few currents, strictly decreasing.
const char* const kTable =
    "current,probability\n1,1\n10,0.9\n20,0.7\n40,0.35\n80,0.08\n160,0.01\n400,0.0001\n";

int lineCount(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST(StudyCurrentTable, TheFlagAndTheCaseColumnGiveTheSameRates)
{
    ScratchDir dir;
    fs::create_directory(dir / "sub");
    dir.write("sub/table.csv", kTable);
    const ProgramRun flag = runStudy(
        {"rate", "--distribution", "table", "--current-table", "sub/table.csv", "--format", "csv"}, dir);
    ASSERT_EQ(0, flag.status) << flag.err;
    const auto rate = csvRecords(flag.out);
    EXPECT_EQ("table", field(rate, 1, "distribution"));
    const ProgramRun builtIn = runStudy({"rate", "--format", "csv"}, dir);
    EXPECT_NE(field(csvRecords(builtIn.out), 1, "total"), field(rate, 1, "total"));

    // The case file's folder is where its tables are found; each read once.
    dir.write("sub/cases.csv",
              "name,distribution,current-table\na,table,table.csv\nb,built-in,\nc,table,table.csv\n");
    const ProgramRun batch = runStudy({"batch", "sub/cases.csv", "-o", "out.csv"}, dir);
    ASSERT_EQ(0, batch.status) << batch.err;
    const auto rows = csvRecords(dir.read("out.csv"));
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ(field(rate, 1, "total"), field(rows, 1, "total"));
    EXPECT_EQ(field(rate, 1, "conductor2"), field(rows, 3, "conductor2"));
    EXPECT_EQ(field(csvRecords(builtIn.out), 1, "total"), field(rows, 2, "total"));
}

TEST(StudyCurrentTable, Refusals)
{
    ScratchDir dir;
    dir.write("table.csv", kTable);
    dir.write("rising.csv", "current,probability\n1,1\n10,0.5\n20,0.6\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--distribution", "table", "--current-table", "none.csv"}, 1, "'none.csv'"},
        {{"--distribution", "table", "--current-table", "rising.csv"}, 1, "'rising.csv', line 4"},
        {{"--current-table", "table.csv"}, 1, "--current-table: goes with distribution table"},
        {{"--distribution", "table"}, 1, "needs its current table"},
        {{"--distribution", "table", "--current-table", "table.csv", "-o", "table.csv"},
         1,
         "is the current table 'table.csv'"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = with({"rate"}, c.args);
        SCOPED_TRACE(args.back());
        const ProgramRun r = runStudy(args, dir);
        EXPECT_EQ(c.status, r.status) << r.err;
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
    }
    EXPECT_EQ(kTable, dir.read("table.csv"));
    // A batch row naming a table that is no distribution fails alone.
    dir.write("cases.csv", "distribution,current-table\ntable,rising.csv\ntable,table.csv\n");
    const ProgramRun batch = runStudy({"batch", "cases.csv", "-o", "out.csv"}, dir);
    EXPECT_EQ(1, batch.status);
    const auto rows = csvRecords(dir.read("out.csv"));
    ASSERT_EQ(3u, rows.size());
    EXPECT_NE(std::string::npos, rows[1].fields.back().find("line 2: current table 'rising.csv', line 4"))
        << rows[1].fields.back();
    EXPECT_EQ("", rows[2].fields.back());
    const ProgramRun over = runStudy({"batch", "cases.csv", "-o", "table.csv"}, dir);
    EXPECT_EQ(1, over.status);
    EXPECT_EQ(kTable, dir.read("table.csv"));
}

TEST(StudyThunderDays, SixteenDaysAreAFlashDensityOf128)
{
    ScratchDir dir;
    const ProgramRun days = runStudy({"rate", "--thunder-days", "16", "--format", "json"}, dir);
    ASSERT_EQ(0, days.status) << days.err;
    const nlohmann::json j = nlohmann::json::parse(days.out);
    EXPECT_NEAR(1.28, j["inputs"]["flash-density"].get<double>(), 1e-15);
    const ProgramRun density = runStudy({"rate", "--flash-density", "1.28", "--format", "json"}, dir);
    ASSERT_EQ(0, density.status) << density.err;
    const nlohmann::json k = nlohmann::json::parse(density.out);
    for (const char* name : {"conductor1", "conductor2", "total"}) {
        EXPECT_NEAR(k["rates"][name].get<double>(), j["rates"][name].get<double>(),
                    1e-14 * k["rates"][name].get<double>())
            << name;
    }
    const ProgramRun both = runStudy({"rate", "--thunder-days", "16", "--flash-density", "1.28"}, dir);
    EXPECT_EQ(2, both.status);
    EXPECT_EQ("", both.out);
    EXPECT_NE(std::string::npos, both.err.find("--flash-density 1.28")) << both.err;
    EXPECT_NE(std::string::npos, both.err.find("--thunder-days 16")) << both.err;
}

TEST(StudyInsulationFlags, ACriticalCurrentWithItsInsulationIsAUsageError)
{
    ScratchDir dir;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> named;
    };
    const std::vector<Case> cases = {
        {{"--critical-current", "9", "--cfo", "1200"}, 2, {"--critical-current 9", "--cfo 1200"}},
        {{"--critical-current3", "9", "--cfo", "1200", "--surge-impedance", "400"},
         2,
         {"--critical-current3 9", "--cfo 1200", "conductor1"}},
        {{"--critical-current", "9", "--insulation-length4", "2"},
         2,
         {"--critical-current 9", "--insulation-length4 2", "conductor2"}},
        // Other bad insulation: the library's one line, exit 1.
        {{"--cfo", "1200"}, 1, {"cfo 1200 kV", "surge-impedance"}},
        {{"--critical-current3", "-1"}, 1, {"-1"}},
    };
    for (const Case& c : cases) {
        const ProgramRun r = runStudy(with({"rate"}, c.args), dir);
        SCOPED_TRACE(c.named.front());
        EXPECT_EQ(c.status, r.status) << r.err;
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        for (const std::string& n : c.named) {
            EXPECT_NE(std::string::npos, r.err.find(n)) << r.err;
        }
    }
    // On different conductors a critical current and a CFO go together.
    const ProgramRun apart = runStudy({"rate", "--critical-current3", "9", "--cfo4", "1200",
                                       "--surge-impedance4", "400", "--format", "json"},
                                      dir);
    ASSERT_EQ(0, apart.status) << apart.err;
    const nlohmann::json j = nlohmann::json::parse(apart.out);
    EXPECT_EQ(9.0, j["criticalCurrents"]["conductor1"].get<double>());
    EXPECT_EQ(6.0, j["criticalCurrents"]["conductor2"].get<double>());
}

TEST(StudyFlashoverHelp, TheHelpNamesTheNewInputsAndColumns)
{
    ScratchDir dir;
    const ProgramRun rate = runStudy({"rate", "--help"}, dir);
    ASSERT_EQ(0, rate.status) << rate.err;
    for (const char* text : {"--current-table", "--thunder-days", "--critical-current",
                             "criticalCurrentConductor1", "flashoverRateConductor1", "flashoverTotal",
                             "critical-current, cfo, insulation-length, "
                             "surge-impedance, conductor-radius, subconductors, bundle-radius"}) {
        EXPECT_NE(std::string::npos, rate.out.find(text)) << text;
    }
    EXPECT_EQ(std::string::npos, rate.out.find("default nan"));
    const ProgramRun batch = runStudy({"batch", "--help"}, dir);
    EXPECT_NE(std::string::npos, batch.out.find("optional current-table"));
    EXPECT_NE(std::string::npos, batch.out.find("flashoverTotal"));
}

// A sweep of the critical current: each row's flashover total is the rate
// from that current up, so it falls as Ic rises and meets the strokes at the
// lowest current.
TEST(StudyFlashovers, SweepAndRouteRowsCarryTheFlashoverColumns)
{
    ScratchDir dir;
    const ProgramRun sweep = runStudy(
        {"sweep", "--param", "critical-current", "--from", "13.5", "--to", "33.5", "--step", "10"}, dir);
    ASSERT_EQ(0, sweep.status) << sweep.err;
    const auto rows = csvRecords(sweep.out);
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ("23.5", field(rows, 2, "criticalCurrentConductor2"));
    EXPECT_EQ(field(rows, 2, "total"), field(rows, 2, "flashoverTotal"));
    EXPECT_GT(real(field(rows, 1, "flashoverTotal")), real(field(rows, 2, "flashoverTotal")));
    EXPECT_GT(real(field(rows, 2, "flashoverTotal")), real(field(rows, 3, "flashoverTotal")));

    dir.write("route.csv", "name,length,critical-current3\na,300,9.5\nb,400,\n");
    const ProgramRun csv = runStudy({"route", "route.csv", "--format", "csv"}, dir);
    ASSERT_EQ(0, csv.status) << csv.err;
    const auto spans = csvRecords(csv.out);
    EXPECT_NEAR(kRef1, real(field(spans, 1, "flashoverRateConductor1")), kTolerance);
    EXPECT_EQ("", field(spans, 1, "flashoverRateConductor2"));
    EXPECT_EQ("", field(spans, 2, "flashoverTotal"));
    const ProgramRun json = runStudy({"route", "route.csv", "--format", "json"}, dir);
    ASSERT_EQ(0, json.status) << json.err;
    const nlohmann::json j = nlohmann::json::parse(json.out);
    EXPECT_NEAR(kRef1, j["spans"][0]["flashoverRates"]["conductor1"].get<double>(), kTolerance);
    EXPECT_TRUE(j["spans"][0]["flashoverRates"]["conductor2"].is_null());
    EXPECT_FALSE(j["spans"][1].contains("flashoverRates"));
}

} // namespace
