// egm-study over a ground profile end to end: the figures of an independent
// brute force through rate, batch and route, the profile files' refusals
// and the inputs a profile cannot go with.
#include <algorithm>
#include <gtest/gtest.h>

#include "study_csv_text.h"
#include "study_run.h"

namespace {

// A ridge falling 25 degrees both ways from the tower, and a 30 degree
// hillside falling towards +x, with a cover column left empty.
const char* const kRidge = "x,elevation\n-600,-279.78459489299917\n0,0\n600,-279.78459489299917\n";
const char* const kHillside = "X,Elevation,Cover\n-600,346.41016151377545,\n600,-346.41016151377545,\n";
constexpr double kRidgeTotal = 1.5654498243379273;

TEST(StudyGround, TheBruteForceFiguresThroughRateBatchAndRoute)
{
    ScratchDir dir;
    fs::create_directory(dir / "sub");
    dir.write("sub/ridge.csv", kRidge);
    dir.write("sub/hill.csv", kHillside);
    const ProgramRun rate = runStudy({"rate", "--ground", "sub/ridge.csv", "--format", "csv"}, dir);
    ASSERT_EQ(0, rate.status) << rate.err;
    const auto rows = csvRecords(rate.out);
    EXPECT_NEAR(1.21295304396325, real(field(rows, 1, "conductor1")), 1e-9 * kRidgeTotal);
    EXPECT_NEAR(0.35249678037467713, real(field(rows, 1, "conductor2")), 1e-9 * kRidgeTotal);
    EXPECT_NEAR(kRidgeTotal, real(field(rows, 1, "total")), 1e-9 * kRidgeTotal);

    // Each profile file is found in the case file's folder and read once.
    dir.write("sub/cases.csv", "name,ground\nridge,ridge.csv\nplane,\nhill,hill.csv\nagain,ridge.csv\n");
    const ProgramRun batch = runStudy({"batch", "sub/cases.csv", "-o", "out.csv"}, dir);
    ASSERT_EQ(0, batch.status) << batch.err;
    const auto cases = csvRecords(dir.read("out.csv"));
    ASSERT_EQ(5u, cases.size());
    EXPECT_EQ(field(rows, 1, "total"), field(cases, 1, "total"));
    EXPECT_EQ(field(rows, 1, "total"), field(cases, 4, "total"));
    EXPECT_NEAR(0.24300561714751143, real(field(cases, 2, "total")), 1e-9);
    EXPECT_NEAR(1.2930605724710151, real(field(cases, 3, "conductor1")), 1e-9 * 1.2930605724710151);
    EXPECT_GT(1e-40, real(field(cases, 3, "conductor2")));

    dir.write("sub/route.csv", "name,length,ground\nA,400,ridge.csv\nB,250,\n");
    const ProgramRun route = runStudy({"route", "sub/route.csv", "--format", "csv"}, dir);
    ASSERT_EQ(0, route.status) << route.err;
    const auto spans = csvRecords(route.out);
    ASSERT_LE(3u, spans.size());
    EXPECT_EQ(field(rows, 1, "total"), field(spans, 1, "total"));
}

TEST(StudyGround, Refusals)
{
    ScratchDir dir;
    dir.write("ridge.csv", kRidge);
    dir.write("unsorted.csv", "x,elevation\n-5,0\n5,1\n2,0\n");
    dir.write("text.csv", "x,elevation\n-5,0\n5,high\n");
    dir.write("nox.csv", "distance,elevation\n-5,0\n5,0\n");
    dir.write("cover.csv", "x,elevation,cover\n-5,0,-2\n5,0,\n");
    dir.write("away.csv", "x,elevation\n3,0\n9,0\n");
    dir.write("extra.csv", "x,elevation\n-5,0,7\n5,0\n");
    dir.write("short.csv", "x,elevation,cover\n-5,0\n5,0,\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--ground", "none.csv"}, 1, "cannot open ground profile 'none.csv'"},
        {{"--ground", "unsorted.csv"},
         1,
         "ground profile 'unsorted.csv', line 4: x 2 m: x must increase strictly"},
        {{"--ground", "text.csv"}, 1, "ground profile 'text.csv', line 3: elevation 'high' is not a number"},
        {{"--ground", "nox.csv"}, 1, "ground profile 'nox.csv', line 1: column 'x' is missing"},
        {{"--ground", "cover.csv"}, 1, "ground profile 'cover.csv', line 2: cover -2 m"},
        {{"--ground", "away.csv"}, 1, "it must reach the tower at x = 0"},
        {{"--ground", "extra.csv"}, 1, "ground profile 'extra.csv', line 2: 3 fields where the header has 2"},
        {{"--ground", "short.csv"}, 1, "ground profile 'short.csv', line 2: 2 fields where the header has 3"},
        {{"--ground", "ridge.csv", "--slope", "10"}, 2, "--slope cannot be added"},
        {{"--ground", "ridge.csv", "--compat"}, 2, "the compat evaluation computes plane ground only"},
        {{"--ground", "ridge.csv", "-o", "ridge.csv"}, 1, "is the ground profile 'ridge.csv'"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"rate"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args[1]);
        const ProgramRun r = runStudy(args, dir);
        EXPECT_EQ(c.status, r.status) << r.err;
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.message)) << r.err;
    }
    EXPECT_EQ(kRidge, dir.read("ridge.csv"));
    // A row with a bad profile fails alone; a row with a slope too.
    dir.write("cases.csv", "ground,slope\nunsorted.csv,\nridge.csv,\nridge.csv,5\n");
    const ProgramRun batch = runStudy({"batch", "cases.csv", "-o", "out.csv"}, dir);
    EXPECT_EQ(1, batch.status);
    const auto rows = csvRecords(dir.read("out.csv"));
    ASSERT_EQ(4u, rows.size());
    EXPECT_NE(std::string::npos, rows[1].fields.back().find("line 2: ground profile 'unsorted.csv', line 4"))
        << rows[1].fields.back();
    EXPECT_EQ("", rows[2].fields.back());
    EXPECT_NE(std::string::npos, rows[3].fields.back().find("a ground profile gives the ground's shape"))
        << rows[3].fields.back();
}

TEST(StudyGround, DrawWritesThePictureOverTheProfile)
{
    ScratchDir dir;
    dir.write("ridge.csv", kRidge);
    for (const char* file : {"ridge.svg", "ridge.png"}) {
        const ProgramRun draw =
            runStudy({"draw", "--ground", "ridge.csv", "--current", "20", "--angle", "70", "-o", file}, dir);
        ASSERT_EQ(0, draw.status) << draw.err;
        EXPECT_LT(1000u, dir.read(file).size());
    }
}

} // namespace
