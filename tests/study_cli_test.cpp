// egm-study end to end: each subcommand on the built-in line against the
// library's own results, and its usage and input errors.
#include <nlohmann/json.hpp>

#include "EGM_DQ.h"
#include "EGMs2x.h"
#include "bits.h"
#include "program_run.h"
#include "study_csv.h"
#include "study_csv_text.h"

namespace {

const std::string kStudy = EGM_STUDY_EXE;

ProgramRun study(const std::vector<std::string>& args, const ScratchDir& dir)
{
    return runProgram(kStudy, dir.path(), args);
}

double real(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

TEST(StudyRate, JsonOnTheBuiltInLine)
{
    ScratchDir dir;
    const ProgramRun r = study({"rate", "--format", "json"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    const nlohmann::json j = nlohmann::json::parse(r.out);
    const RateInputs in;
    double c1 = 0;
    double c2 = 0;
    double total = 0;
    EGMs2x(in.groundFlashDensity, in.slopeAngle, in.minCurrent, in.geometry, in.voltageTerm, in.currentScale,
           in.currentExponent, c1, c2, total);
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, j["rates"]["conductor1"].get<double>());
    EXPECT_SAME_BITS(c1, j["rates"]["conductor1"].get<double>());
    EXPECT_SAME_BITS(0.0, j["rates"]["conductor2"].get<double>());
    EXPECT_SAME_BITS(c2, j["rates"]["conductor2"].get<double>());
    EXPECT_SAME_BITS(total, j["rates"]["total"].get<double>());
    EXPECT_TRUE(j["maxShieldingFailureCurrent"]["conductor2"].is_null());
    EXPECT_GT(j["maxShieldingFailureCurrent"]["conductor1"].get<double>(), 23.5);
    EXPECT_EQ(201, j["currentRange"]["steps"].get<int>());
    EXPECT_EQ(23.5, j["currentRange"]["from"].get<double>());
    EXPECT_EQ(223.5, j["currentRange"]["to"].get<double>());
    EXPECT_SAME_BITS(1.0 / 6.0, j["terrainFactor"].get<double>());
    for (const char* name : {"flash-density", "slope", "min-current", "voltage-term", "current-scale",
                             "current-exponent", "geometry"}) {
        EXPECT_TRUE(j["inputs"].contains(name)) << name;
    }
    EXPECT_EQ(8u, j["inputs"]["geometry"].size());
}

TEST(StudyRate, ControlFileIsReadAsTheProgramReadsIt)
{
    ScratchDir dir;
    dir.write("ctl.txt", "geo.txt par.txt res.txt");
    dir.write("par.txt", "2.8 10 23.5");
    dir.write("geo.txt", "9.89 -9.89 11.2 -11.2 57 57 42 42");
    const ProgramRun r = study({"rate", "--control", "ctl.txt", "--format", "csv"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("read 3 of 5")); // the same warning as egm-shielding's
    RateInputs in;
    in.slopeAngle = 10;
    RateResult expected;
    integrateShieldingFailure(in, StrokeEvaluation::split, expected);
    const auto rows = csvRecords(r.out);
    ASSERT_EQ(2u, rows.size());
    EXPECT_SAME_BITS(expected.rateTotal, real(rows[1].fields[2]));
    EXPECT_FALSE(fs::exists(dir / "res.txt")); // studies write no result file
}

TEST(StudyRate, TextNamesEveryFigure)
{
    ScratchDir dir;
    const ProgramRun r = study({"rate"}, dir);
    ASSERT_EQ(0, r.status);
    for (const char* text : {"conductor 1", "0.22975163102229001", "none", "terrain factor",
                             "collection width", "23.5 to 223.5 kA, 201 steps"}) {
        EXPECT_NE(std::string::npos, r.out.find(text)) << text;
    }
}

TEST(StudyStrokes, RowsAreTheStrokeEvaluationBitForBit)
{
    ScratchDir dir;
    const ProgramRun r = study({"strokes", "--current", "23.5", "--voltage-term", "0"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    const auto rows = csvRecords(r.out);
    ASSERT_EQ(181u, rows.size());
    EXPECT_EQ("current", rows[0].fields[0]);
    const LineGeometry g = RateInputs{}.geometry;
    for (int l = 0; l < 180; ++l) {
        const auto& f = rows[l + 1].fields;
        StrokeExposure e{};
        EGM_DQ(23.5, integrationAngle(l), 0.0, g, 0.0, e);
        EXPECT_SAME_BITS(integrationAngle(l), real(f[1]));
        EXPECT_EQ(std::to_string(l + 1), f[2]);
        for (int w = 0; w < 4; ++w) {
            ASSERT_EQ(bitsOf(e[w]), bitsOf(real(f[3 + w]))) << "angle " << l + 1 << ", wire " << w + 1;
        }
    }
    // The worked example at 30 and 90 degrees.
    EXPECT_NEAR(111.4620, real(rows[30].fields[3]), 5e-5);
    EXPECT_NEAR(12.2605, real(rows[30].fields[5]), 5e-5);
    EXPECT_NEAR(1.3100, real(rows[90].fields[6]), 5e-5);
}

TEST(StudyStrokes, WholeTableSample)
{
    ScratchDir dir;
    const ProgramRun r = study({"strokes", "--slope", "-15"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    const auto rows = csvRecords(r.out);
    ASSERT_EQ(1u + 201 * 180, rows.size());
    const LineGeometry g = RateInputs{}.geometry;
    for (int k = 1; k < static_cast<int>(rows.size()); k += 997) {
        const auto& f = rows[k].fields;
        const int l = std::stoi(f[2]) - 1;
        StrokeExposure e{};
        EGM_DQ(real(f[0]), integrationAngle(l), -15.0, g, 0.8, e);
        for (int w = 0; w < 4; ++w) {
            ASSERT_EQ(bitsOf(e[w]), bitsOf(real(f[3 + w]))) << "row " << k << ", wire " << w + 1;
        }
    }
}

TEST(StudySweep, OneRowPerValue)
{
    ScratchDir dir;
    const ProgramRun r =
        study({"sweep", "--param", "h1", "--from", "55", "--to", "57", "--step", "0.5"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    const auto rows = csvRecords(r.out);
    ASSERT_EQ(6u, rows.size());
    EXPECT_EQ("h1", rows[0].fields[0]);
    for (int k = 1; k <= 5; ++k) {
        RateInputs in;
        in.geometry[4] = 55.0 + (k - 1) * 0.5;
        EXPECT_EQ(in.geometry[4], real(rows[k].fields[0]));
        RateResult expected;
        integrateShieldingFailure(in, StrokeEvaluation::split, expected);
        EXPECT_SAME_BITS(expected.rateC1, real(rows[k].fields[1]));
        EXPECT_SAME_BITS(expected.rateTotal, real(rows[k].fields[3]));
    }
}

TEST(StudyBatch, FileInFileOutWithABadRow)
{
    ScratchDir dir;
    dir.write("cases.csv", "name,slope,min-current\nflat,0,23.5\nbad,zero,23.5\nsteep,25,\nhuge,0,1e300\n");
    const ProgramRun r = study({"batch", "cases.csv", "-o", "out.csv", "--jobs", "2"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_EQ(1, lineCount(r.err)) << r.err; // how many rows failed
    const auto rows = csvRecords(dir.read("out.csv"));
    ASSERT_EQ(5u, rows.size());
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, real(rows[1].fields[5]));
    EXPECT_NE(std::string::npos, rows[2].fields[8].find("not a number"));
    EXPECT_EQ("", rows[3].fields[8]);
    EXPECT_NE(std::string::npos, rows[4].fields[8].find("minimum current"));
    EXPECT_EQ((std::vector<std::string>{"cases.csv", "out.csv"}), dir.entries());
}

TEST(StudyErrors, UsageAndInputErrorsAreOneLineWithTheirStatus)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* mentions;
    };
    const Case cases[] = {
        {{}, 2, "subcommand"},
        {{"rate", "--bogus"}, 2, "--bogus"},
        {{"rate", "--format", "xml"}, 2, "xml"},
        {{"rate", "--geometry", "1", "2", "3"}, 2, "--geometry"},
        {{"rate", "--control", "ctl.txt", "--slope", "5"}, 2, "excludes"},
        {{"rate", "--slope", "steep"}, 2, "steep"},
        {{"sweep", "--param", "h1", "--from", "5", "--to", "1", "--step", "1"}, 2, "--step"},
        {{"sweep", "--param", "h9", "--from", "1", "--to", "2", "--step", "1"}, 2, "h9"},
        {{"batch", "cases.csv"}, 2, "--output"},
        {{"rate", "--control", "missing.txt"}, 1, "missing.txt"},
        {{"rate", "--min-current", "nan"}, 1, "minimum current"},
        {{"batch", "missing.csv", "-o", "out.csv"}, 1, "missing.csv"},
        {{"batch", "badheader.csv", "-o", "out.csv"}, 1, "unknown column 'height'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)")
                                    : c.args[0] + " " + std::to_string(c.args.size()));
        ScratchDir dir;
        dir.write("ctl.txt", "geo.txt par.txt res.txt");
        dir.write("badheader.csv", "slope,height\n1,2\n");
        const ProgramRun r = study(c.args, dir);
        EXPECT_EQ(c.status, r.status) << r.err;
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.mentions)) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.csv"));
    }
}

TEST(StudyErrors, HelpAndVersion)
{
    ScratchDir dir;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--help"},
                                                                                      {"rate", "--help"},
                                                                                      {"strokes", "--help"},
                                                                                      {"sweep", "--help"},
                                                                                      {"batch", "--help"}}) {
        const ProgramRun r = study(args, dir);
        EXPECT_EQ(0, r.status);
        EXPECT_NE(std::string::npos, r.out.find("--")) << r.out;
    }
    const ProgramRun v = study({"--version"}, dir);
    EXPECT_EQ(0, v.status);
    EXPECT_EQ("1.0.0\n", v.out);
}

} // namespace
