// egm-shielding end to end, in a scratch folder: the built-in line, the
// control, parameter and geometry files, the result file, and every way the
// files can fail.
#include <cstdio>
#include <unistd.h>

#include "EGMs2x.h"
#include "bits.h"
#include "expected_output.h"
#include "program_run.h"

namespace {

const std::string kProgram = EGM_SHIELDING_EXE;
const std::string kGeometry = "9.89 -9.89 11.2 -11.2 57 57 42 42\n";
const std::string kParameters = "2.8 0 23.5 31 2.8\n";

class Shielding : public ::testing::Test {
  protected:
    ScratchDir dir;

    ProgramRun run(const std::vector<std::string>& args = {})
    {
        return runProgram(kProgram, dir.path(), args);
    }

    void writeCase(const std::string& control, const std::string& parameters, const std::string& geometry)
    {
        dir.write("ctl.txt", control);
        dir.write("par.txt", parameters);
        dir.write("geo.txt", geometry);
    }

    void expectRefused(const ProgramRun& r, const std::string& mentions)
    {
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(mentions)) << r.err;
        EXPECT_FALSE(fs::exists(dir / "res.txt"));
    }
};

TEST_F(Shielding, BuiltInLineWithoutControlFile)
{
    const ProgramRun r = run();
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("0.229752", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(dir.entries().empty());
}

TEST_F(Shielding, DefaultControlFileNameIsRead)
{
    dir.write("rizi_dodUV.txt", "geo.txt par.txt res.txt");
    dir.write("par.txt", "5.6 0 23.5 31 2.8");
    dir.write("geo.txt", kGeometry);
    const ProgramRun r = run();
    RateInputs in;
    in.groundFlashDensity = 5.6;
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_EQ("0.459503", r.out);
    EXPECT_EQ(r.out, dir.read("res.txt")); // "%lf", no newline
    EXPECT_EQ("", r.err);
}

TEST_F(Shielding, ControlFileFromTheArgumentWithEveryValue)
{
    writeCase("  geo.txt\n\tpar.txt\n  res.txt\n", "1.5 12 30 28 2.5", "10 -10 12 -12 50 50 40 40");
    RateInputs in;
    in.groundFlashDensity = 1.5;
    in.slopeAngle = 12;
    in.minCurrent = 30;
    in.currentScale = 28;
    in.currentExponent = 2.5;
    in.geometry = {10, -10, 12, -12, 50, 50, 40, 40};
    const ProgramRun r = run({"ctl.txt", "ignored-extra-argument"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_EQ(r.out, dir.read("res.txt"));
    EXPECT_EQ((std::vector<std::string>{"ctl.txt", "geo.txt", "par.txt", "res.txt"}), dir.entries());
}

TEST_F(Shielding, ResultFileIsReplacedWhole)
{
    writeCase("geo.txt par.txt res.txt", kParameters, kGeometry);
    dir.write("res.txt", std::string(1000, 'x'));
    const ProgramRun r = run({"ctl.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("0.229752", dir.read("res.txt"));
}

TEST_F(Shielding, ShortParameterFileChangesOnlyItsFirstValues)
{
    writeCase("geo.txt par.txt res.txt", "5.6 3 30", kGeometry);
    RateInputs in;
    in.groundFlashDensity = 5.6;
    in.slopeAngle = 3;
    in.minCurrent = 30;
    const ProgramRun r = run({"ctl.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_EQ(1, lineCount(r.err));
    EXPECT_NE(std::string::npos, r.err.find("par.txt")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("read 3 of 5")) << r.err;
}

TEST_F(Shielding, ReadingStopsAtTheFirstTokenThatIsNotANumber)
{
    // "1,5" reads as 1, then ",5" stops the reading: the rest keep defaults.
    writeCase("geo.txt par.txt res.txt", "5.6 1,5 30 31 2.8", "9.89 -9.89 11.2 -11.2 57 x 42 42");
    RateInputs in;
    in.groundFlashDensity = 5.6;
    in.slopeAngle = 1;
    const ProgramRun r = run({"ctl.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_EQ(2, lineCount(r.err)) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("read 2 of 5")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("read 5 of 8")) << r.err;
}

TEST_F(Shielding, SwappedNamesFeedGeometryIntoTheParameters)
{
    writeCase("par.txt geo.txt res.txt", kParameters, kGeometry);
    RateInputs in;
    in.groundFlashDensity = 9.89;
    in.slopeAngle = -9.89;
    in.minCurrent = 11.2;
    in.currentScale = -11.2;
    in.currentExponent = 57;
    in.geometry = {2.8, 0, 23.5, 31, 2.8, 57, 42, 42};
    const ProgramRun r = run({"ctl.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_NE(std::string::npos, r.err.find("read 5 of 8")) << r.err;
}

TEST_F(Shielding, ParameterFileIsOpenedBeforeTheGeometryFile)
{
    dir.write("ctl.txt", "missing-geo.txt missing-par.txt res.txt");
    expectRefused(run({"ctl.txt"}), "missing-par.txt");
}

TEST(ShieldingFaults, EachIsRefusedWithOneLineAndNoResultFile)
{
    struct Case {
        const char* name;
        std::string control;
        std::string parameters;
        const char* mentions;
    };
    const Case cases[] = {
        {"two names", "geo.txt par.txt", kParameters, "names 2 of its 3"},
        {"empty control file", "", kParameters, "names 0 of its 3"},
        {"blank control file", " \n\t\n", kParameters, "names 0 of its 3"},
        {"missing geometry file", "nogeo.txt par.txt res.txt", kParameters, "nogeo.txt"},
        {"missing parameter file", "geo.txt nopar.txt res.txt", kParameters, "nopar.txt"},
        {"parameter file is a folder", "geo.txt folder res.txt", kParameters, "folder"},
        {"geometry file is a folder", "folder par.txt res.txt", kParameters, "folder"},
        {"minimum current NaN", "geo.txt par.txt res.txt", "2.8 0 nan 31 2.8", "minimum current"},
        {"minimum current infinite", "geo.txt par.txt res.txt", "2.8 0 -inf 31 2.8", "minimum current"},
        {"minimum current 1e300", "geo.txt par.txt res.txt", "2.8 0 1e300 31 2.8", "minimum current"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        dir.write("ctl.txt", c.control);
        dir.write("par.txt", c.parameters);
        dir.write("geo.txt", kGeometry);
        fs::create_directory(dir / "folder");
        const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.mentions)) << r.err;
        EXPECT_EQ((std::vector<std::string>{"ctl.txt", "folder", "geo.txt", "par.txt"}), dir.entries());
    }
}

TEST(ShieldingFaults, ControlFileThatIsAFolderIsRefused)
{
    ScratchDir dir;
    fs::create_directory(dir / "ctl");
    const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find("ctl")) << r.err;
}

TEST(ShieldingFaults, UnwritableResultStillPrintsTheRate)
{
    for (const std::string result : {"no-such-folder/res.txt", "folder", "."}) {
        SCOPED_TRACE(result);
        ScratchDir dir;
        dir.write("ctl.txt", "geo.txt par.txt " + result);
        dir.write("par.txt", kParameters);
        dir.write("geo.txt", kGeometry);
        fs::create_directory(dir / "folder");
        const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("0.229752", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(result)) << r.err;
        // No temporary file is left beside the result.
        EXPECT_EQ((std::vector<std::string>{"ctl.txt", "folder", "geo.txt", "par.txt"}), dir.entries());
        EXPECT_TRUE(fs::is_empty(dir / "folder"));
    }
}

TEST(ShieldingFaults, UnreadableParameterFile)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    ScratchDir dir;
    dir.write("ctl.txt", "geo.txt par.txt res.txt");
    dir.write("par.txt", kParameters);
    dir.write("geo.txt", kGeometry);
    fs::permissions(dir / "par.txt", fs::perms::none);
    const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("par.txt")) << r.err;
}

TEST(ShieldingNames, NamesOfAnyLength)
{
    ScratchDir dir;
    const std::string longName(200, 'g'); // beyond any fixed name buffer
    dir.write("ctl.txt", longName + " par.txt " + std::string(150, 'r'));
    dir.write("par.txt", kParameters);
    dir.write(longName, kGeometry);
    const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("0.229752", r.out);
    EXPECT_EQ("0.229752", dir.read(std::string(150, 'r')));

    // An argument too long to open computes the built-in line, with a warning.
    const ProgramRun longArg = runProgram(kProgram, dir.path(), {std::string(5000, 'c')});
    EXPECT_EQ(0, longArg.status);
    EXPECT_EQ("0.229752", longArg.out);
    EXPECT_EQ(1, lineCount(longArg.err));
}

} // namespace
