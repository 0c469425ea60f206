// egm-shielding end to end, in a scratch folder: the built-in line, the
// control, parameter and geometry files, the result file, and every way the
// files can fail.
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

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
    egm::Inputs in;
    in.flashDensity = 5.6;
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_EQ("0.459503", r.out);
    EXPECT_EQ(r.out, dir.read("res.txt")); // "%lf", no newline
    EXPECT_EQ("", r.err);
}

TEST_F(Shielding, ControlFileFromTheArgumentWithEveryValue)
{
    writeCase("  geo.txt\n\tpar.txt\n  res.txt\n", "1.5 12 30 28 2.5", "10 -10 12 -12 50 50 40 40");
    egm::Inputs in;
    in.flashDensity = 1.5;
    in.slope = 12;
    in.lowestCurrent = 30;
    in.distribution.scale = 28;
    in.distribution.exponent = 2.5;
    in.tower = egm::towerOf(egm::Line{{10, 50}, {-10, 50}, {12, 40}, {-12, 40}}, 0.8);
    const ProgramRun r = run({"ctl.txt", "ignored-extra-argument"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_EQ(r.out, dir.read("res.txt"));
    EXPECT_EQ((std::vector<std::string>{"ctl.txt", "geo.txt", "par.txt", "res.txt"}), dir.entries());
}

TEST_F(Shielding, ByteOrderMarksAndNulInANameAreReadAsTheyMeant)
{
    // Each file begins with a UTF-8 byte-order mark, as an editor may save
    // it; a NUL inside a name ends the name, as in a C string.
    const std::string bom = "\xEF\xBB\xBF";
    writeCase(bom + "geo.txt" + std::string("\0junk", 5) + " par.txt res.txt" + std::string("\0.bak", 5),
              bom + "5.6 0 23.5 31 2.8", bom + kGeometry);
    egm::Inputs in;
    in.flashDensity = 5.6;
    const ProgramRun r = run({"ctl.txt"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_EQ(r.out, dir.read("res.txt"));
    EXPECT_EQ("", r.err);
}

TEST_F(Shielding, ShortParameterFileChangesOnlyItsFirstValues)
{
    writeCase("geo.txt par.txt res.txt", "5.6 3 30", kGeometry);
    egm::Inputs in;
    in.flashDensity = 5.6;
    in.slope = 3;
    in.lowestCurrent = 30;
    const ProgramRun r = run({"ctl.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_EQ(1, lineCount(r.err));
    EXPECT_NE(std::string::npos, r.err.find("par.txt")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("read 3 of 5")) << r.err;
}

TEST_F(Shielding, SwappedNamesFeedGeometryIntoTheParameters)
{
    writeCase("par.txt geo.txt res.txt", kParameters, kGeometry);
    egm::Inputs in;
    in.flashDensity = 9.89;
    in.slope = -9.89;
    in.lowestCurrent = 11.2;
    in.distribution.scale = -11.2;
    in.distribution.exponent = 57;
    in.tower = egm::towerOf(egm::Line{{2.8, 2.8}, {0, 57}, {23.5, 42}, {31, 42}}, 0.8);
    const ProgramRun r = run({"ctl.txt"});
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_NE(std::string::npos, r.err.find("read 5 of 8")) << r.err;
    // A negative current scale leaves no finite rate.
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("no finite rate")) << r.err;
}

TEST_F(Shielding, HelpAndVersionAreNotFileNames)
{
    const ProgramRun help = run({"--help"});
    EXPECT_EQ(0, help.status);
    EXPECT_NE(std::string::npos, help.out.find("usage: egm-shielding [CONTROL-FILE]")) << help.out;
    const ProgramRun version = run({"--version"});
    EXPECT_EQ(0, version.status);
    EXPECT_EQ("egm-shielding 1.1.0\n", version.out);
    EXPECT_TRUE(dir.entries().empty());
}

TEST_F(Shielding, LineGivenTheOtherWayRoundIsComputedAsGivenWithAWarning)
{
    writeCase("geo.txt par.txt res.txt", kParameters, "-9.89 9.89 -11.2 11.2 57 57 42 42");
    egm::Inputs in;
    in.tower = egm::towerOf(egm::Line{{-9.89, 57}, {9.89, 57}, {-11.2, 42}, {11.2, 42}}, 0.8);
    const ProgramRun r = run({"ctl.txt"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(printedTotal(in), r.out);
    EXPECT_EQ(r.out, dir.read("res.txt"));
    EXPECT_EQ(1, lineCount(r.err));
    EXPECT_NE(std::string::npos, r.err.find("warning: ground wire 1 lies on the -x side")) << r.err;
}

// Each refused with one line on standard error, nothing on standard output,
// exit status 1 and no result file.
TEST(ShieldingFaults, EachIsRefusedWithOneLineAndNoResultFile)
{
    struct Case {
        const char* name;
        std::string control;
        std::string parameters;
        std::string geometry;
        const char* mentions;
    };
    const Case cases[] = {
        {"two names", "geo.txt par.txt", kParameters, kGeometry, "names 2 of its 3"},
        {"empty control file", "", kParameters, kGeometry, "names 0 of its 3"},
        {"blank control file", " \n\t\n", kParameters, kGeometry, "names 0 of its 3"},
        {"missing geometry file", "nogeo.txt par.txt res.txt", kParameters, kGeometry, "nogeo.txt"},
        {"missing parameter file", "geo.txt nopar.txt res.txt", kParameters, kGeometry, "nopar.txt"},
        {"parameter file is a folder", "geo.txt folder res.txt", kParameters, kGeometry, "folder"},
        {"geometry file is a folder", "folder par.txt res.txt", kParameters, kGeometry, "folder"},
        {"parameter file opened first", "nogeo.txt nopar.txt res.txt", kParameters, kGeometry, "nopar.txt"},
        {"minimum current NaN", "geo.txt par.txt res.txt", "2.8 0 nan 31 2.8", kGeometry,
         "parameter file 'par.txt': value 3 of 5 is 'nan', not a finite number"},
        {"minimum current infinite", "geo.txt par.txt res.txt", "2.8 0 -inf 31 2.8", kGeometry,
         "value 3 of 5 is '-inf', not a finite number"},
        {"minimum current 1e300", "geo.txt par.txt res.txt", "2.8 0 1e300 31 2.8", kGeometry,
         "minimum current"},
        // Reading that stops at text where a value belongs.
        {"unit after a value", "geo.txt par.txt res.txt", "2.8 0 10kA 31 2.8", kGeometry,
         "parameter file 'par.txt': value 3 of 5 is '10kA', not a number"},
        {"decimal comma", "geo.txt par.txt res.txt", "2,8 0 23.5 31 2.8", kGeometry, "value 1 of 5 is '2,8'"},
        {"comment line first", "geo.txt par.txt res.txt", "# flash density, slope\n2.8 0 23.5 31 2.8",
         kGeometry, "value 1 of 5 is '#'"},
        {"metres in the geometry", "geo.txt par.txt res.txt", kParameters,
         "9.89 -9.89 11.2 -11.2 50m 57 42 42", "geometry file 'geo.txt': value 5 of 8 is '50m'"},
        {"binary garbage", "geo.txt par.txt res.txt", std::string("\x01\xff\xfe\x00\x7f garbage", 14),
         kGeometry, "value 1 of 5 is '\\x01\\xff\\xfe\\x00\\x7f'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        dir.write("ctl.txt", c.control);
        dir.write("par.txt", c.parameters);
        dir.write("geo.txt", c.geometry);
        fs::create_directory(dir / "folder");
        const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.mentions)) << r.err;
        EXPECT_EQ((std::vector<std::string>{"ctl.txt", "folder", "geo.txt", "par.txt"}), dir.entries());
    }
}

TEST(ShieldingFaults, NamedControlFileThatCannotBeOpened)
{
    ScratchDir dir;
    fs::create_directory(dir / "ctl");
    for (const std::string& name : {std::string("mylinee.txt"), std::string(5000, 'c'), std::string("ctl")}) {
        SCOPED_TRACE(name.substr(0, 20));
        const ProgramRun r = runProgram(kProgram, dir.path(), {name});
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("", r.out); // not the built-in line's rate
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("control file '" + name.substr(0, 20))) << r.err;
    }
}

TEST(ShieldingFaults, NoFiniteRateIsAFailureButStillPrinted)
{
    // Geometry values out at 1e308 m make every stroke's total infinite.
    ScratchDir dir;
    dir.write("ctl.txt", "geo.txt par.txt res.txt");
    dir.write("par.txt", kParameters);
    dir.write("geo.txt", "16.89 5.11 -7.8 -30.2 68 1e308 44 1e200");
    const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("-nan", r.out);
    EXPECT_EQ("-nan", dir.read("res.txt"));
    EXPECT_NE(std::string::npos, r.err.find("no finite rate")) << r.err;
}

TEST(ShieldingFaults, StandardOutputThatCannotBeWritten)
{
    ScratchDir dir;
    const ProgramRun r = runProgram(kProgram, dir.path(), {}, "", "/dev/full");
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("cannot write standard output")) << r.err;
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
        EXPECT_NE(std::string::npos, r.err.find("'" + result + "'")) << r.err;
        // No temporary file is left beside the result.
        EXPECT_EQ((std::vector<std::string>{"ctl.txt", "folder", "geo.txt", "par.txt"}), dir.entries());
        EXPECT_TRUE(fs::is_empty(dir / "folder"));
    }
    ScratchDir dir;
    dir.write("ctl.txt", "geo.txt par.txt no-such-folder/res.txt");
    dir.write("par.txt", kParameters);
    dir.write("geo.txt", kGeometry);
    const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
    EXPECT_NE(std::string::npos, r.err.find("No such file or directory")) << r.err; // the system's reason
}

TEST(ShieldingFaults, UnreadableParameterFile)
{
    const OrdinaryUser user = ordinaryUser(kProgram);
    if (!user.unavailable.empty()) {
        GTEST_SKIP() << "root reads every file; " << user.unavailable;
    }
    ScratchDir dir;
    if (::geteuid() == 0) {
        ASSERT_EQ(0, ::chown(dir.path().c_str(), user.uid, user.gid));
    }
    dir.write("ctl.txt", "geo.txt par.txt res.txt");
    dir.write("par.txt", kParameters);
    dir.write("geo.txt", kGeometry);
    fs::permissions(dir / "par.txt", fs::perms::none);
    const ProgramRun r = runProgramThrough(user.launcher, kProgram, dir.path(), {"ctl.txt"});
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
}

// The result file is replaced whole, never written in place: a regular
// file gets a new inode (a hard link to the old one keeps the old text) and
// keeps its permissions; a symbolic link stays a link and its target gets
// the rate; a FIFO is written into as it is.
TEST(ShieldingResult, EveryKindOfPathIsHonoured)
{
    ScratchDir dir;
    dir.write("ctl.txt", "geo.txt par.txt res.txt");
    dir.write("par.txt", kParameters);
    dir.write("geo.txt", kGeometry);

    dir.write("res.txt", "old result");
    fs::permissions(dir / "res.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_hard_link(dir / "res.txt", dir / "hardlink");
    struct stat before {};
    ::stat((dir / "res.txt").c_str(), &before);
    ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
    EXPECT_EQ(0, r.status) << r.err;
    struct stat after {};
    ::stat((dir / "res.txt").c_str(), &after);
    EXPECT_EQ("0.229752", dir.read("res.txt"));
    EXPECT_EQ("old result", dir.read("hardlink"));
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mode & 07777, after.st_mode & 07777);

    fs::create_directory(dir / "kept");
    dir.write("kept/target.txt", "stale");
    fs::create_symlink("kept/target.txt", dir / "link.txt");
    dir.write("ctl.txt", "geo.txt par.txt link.txt");
    r = runProgram(kProgram, dir.path(), {"ctl.txt"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ("0.229752", dir.read("kept/target.txt"));
    EXPECT_EQ((std::vector<std::string>{"target.txt"}), ScratchDirEntries(dir / "kept"));

    ASSERT_EQ(0, ::mkfifo((dir / "fifo").c_str(), 0600));
    dir.write("ctl.txt", "geo.txt par.txt fifo");
    const std::string reader = "cat " + shellQuoted((dir / "fifo").string()) + " > " +
                               shellQuoted((dir / "from-fifo").string()) + " &";
    ASSERT_EQ(0, std::system(reader.c_str()));
    r = runProgram(kProgram, dir.path(), {"ctl.txt"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
    for (int wait = 0; wait < 100 && dir.read("from-fifo").empty(); ++wait) {
        ::usleep(10000);
    }
    EXPECT_EQ("0.229752", dir.read("from-fifo"));
}

// A result file that is one of the run's inputs would destroy that input:
// refused with exit status 1 and one line naming both, before anything is
// computed or written. Every name of the same file counts: another spelling
// of the path, a symbolic link, a hard link.
TEST(ShieldingSameFile, ResultThatIsAnInputIsRefusedAndNothingChanges)
{
    struct Case {
        const char* name;
        std::string result; // the control file's third name; "@" stands for the scratch folder
        const char* input;  // the role the message must name
    };
    const Case cases[] = {
        {"the geometry file", "geo.txt", "geometry file 'geo.txt'"},
        {"the parameter file", "par.txt", "parameter file 'par.txt'"},
        {"the control file", "ctl.txt", "control file 'ctl.txt'"},
        {"the geometry file by another path", "./sub/../geo.txt", "geometry file 'geo.txt'"},
        {"the control file by its absolute path", "@/ctl.txt", "control file 'ctl.txt'"},
        {"a symbolic link to the parameter file", "link-to-par.txt", "parameter file 'par.txt'"},
        {"a hard link to the geometry file", "hard-geo.txt", "geometry file 'geo.txt'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        std::string result = c.result;
        if (result.front() == '@') {
            result = dir.path().string() + result.substr(1);
        }
        const std::string control = "geo.txt par.txt " + result + "\n";
        dir.write("ctl.txt", control);
        dir.write("par.txt", kParameters);
        dir.write("geo.txt", kGeometry);
        fs::create_directory(dir / "sub");
        fs::create_symlink("par.txt", dir / "link-to-par.txt");
        fs::create_hard_link(dir / "geo.txt", dir / "hard-geo.txt");
        const std::vector<std::string> before = dir.entries();

        const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("result file '" + result + "'")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.input)) << r.err;
        EXPECT_EQ(control, dir.read("ctl.txt"));
        EXPECT_EQ(kParameters, dir.read("par.txt"));
        EXPECT_EQ(kGeometry, dir.read("geo.txt"));
        EXPECT_TRUE(fs::is_symlink(dir / "link-to-par.txt"));
        EXPECT_EQ(before, dir.entries());
    }
}

// Values no line on the ground can have, and value files without any value,
// are refused with exit status 1 and one line naming the file; values beyond
// a file's count are ignored with a one-line warning. Everything else is
// computed as before: the rate the model gives for what was read.
TEST(ShieldingValues, ImpossibleValuesAreRefusedAndExtraValuesWarned)
{
    enum class Outcome { computed, warned, refused };
    struct Case {
        const char* name;
        std::string parameters;
        std::string geometry;
        Outcome outcome;
        const char* mentions; // part of the one line on standard error
        double flashDensity = 2.8;
        double slope = 0.0;
    };
    const Case cases[] = {
        {"negative flash density", "-1 0 23.5 31 2.8", kGeometry, Outcome::refused,
         "parameter file 'par.txt': ground flash density -1 per km^2 per year is below 0"},
        {"tiny negative flash density", "-1e-300 0 23.5 31 2.8", kGeometry, Outcome::refused,
         "ground flash density -1e-300"},
        {"slope 95", "2.8 95 23.5 31 2.8", kGeometry, Outcome::refused,
         "parameter file 'par.txt': ground slope 95 degrees is not between -90 and 90"},
        {"slope 90", "2.8 90 23.5 31 2.8", kGeometry, Outcome::refused, "ground slope 90 degrees"},
        {"slope -90", "2.8 -90 23.5 31 2.8", kGeometry, Outcome::refused, "ground slope -90 degrees"},
        {"slope -400", "2.8 -400 23.5 31 2.8", kGeometry, Outcome::refused, "ground slope -400 degrees"},
        {"flash density nan", "nan 0 23.5 31 2.8", kGeometry, Outcome::refused,
         "parameter file 'par.txt': value 1 of 5 is 'nan', not a finite number"},
        {"slope inf", "2.8 inf 23.5 31 2.8", kGeometry, Outcome::refused, "value 2 of 5 is 'inf'"},
        {"current exponent beyond double", "2.8 0 23.5 31 1e999", kGeometry, Outcome::refused,
         "value 5 of 5 is '1e999', not a finite number"},
        {"height -inf", kParameters, "9.89 -9.89 11.2 -11.2 57 -inf 42 42", Outcome::refused,
         "geometry file 'geo.txt': value 6 of 8 is '-inf', not a finite number"},
        {"x nan", kParameters, "9.89 -9.89 nan -11.2 57 57 42 42", Outcome::refused, "value 3 of 8 is 'nan'"},
        {"empty geometry file", kParameters, "", Outcome::refused,
         "geometry file 'geo.txt' holds no value; it needs 8"},
        {"empty parameter file", "", kGeometry, Outcome::refused,
         "parameter file 'par.txt' holds no value; it needs 5"},
        {"blank parameter file", " \n\t\r\n", kGeometry, Outcome::refused,
         "parameter file 'par.txt' holds no value"},
        {"blank geometry file", kParameters, "\n\n", Outcome::refused,
         "geometry file 'geo.txt' holds no value"},
        {"nine geometry values", kParameters, "9.89 -9.89 11.2 -11.2 57 57 42 42 35", Outcome::warned,
         "warning: geometry file 'geo.txt': 1 word after its 8 values ignored"},
        {"six parameter values and a note", "2.8 0 23.5 31 2.8 7 # Ng from the map", kGeometry,
         Outcome::warned, "warning: parameter file 'par.txt': 6 words after its 5 values ignored"},
        // The edges that stay possible.
        {"flash density 0", "0 0 23.5 31 2.8", kGeometry, Outcome::computed, "", 0.0},
        {"flash density -0", "-0 0 23.5 31 2.8", kGeometry, Outcome::computed, "", -0.0},
        {"slope 89.9", "2.8 89.9 23.5 31 2.8", kGeometry, Outcome::computed, "", 2.8, 89.9},
        {"slope -89.9", "2.8 -89.9 23.5 31 2.8", kGeometry, Outcome::computed, "", 2.8, -89.9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        dir.write("ctl.txt", "geo.txt par.txt res.txt");
        dir.write("par.txt", c.parameters);
        dir.write("geo.txt", c.geometry);
        const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
        if (c.outcome == Outcome::refused) {
            EXPECT_EQ(1, r.status);
            EXPECT_EQ("", r.out);
            EXPECT_EQ((std::vector<std::string>{"ctl.txt", "geo.txt", "par.txt"}), dir.entries());
        } else {
            egm::Inputs in;
            in.flashDensity = c.flashDensity;
            in.slope = c.slope;
            EXPECT_EQ(0, r.status) << r.err;
            EXPECT_EQ(printedTotal(in), r.out);
            EXPECT_EQ(r.out, dir.read("res.txt"));
        }
        EXPECT_EQ(c.outcome == Outcome::computed ? 0 : 1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.mentions)) << r.err;
    }
}

// A result file its owner made read-only is not replaced, although the
// rename would be allowed by the folder: refused as the shell's ">" refuses
// it. Root may replace it, as root's ">" may.
TEST(ShieldingResult, ReadOnlyResultFileIsLeftAsItIs)
{
    const OrdinaryUser user = ordinaryUser(kProgram);
    if (!user.unavailable.empty()) {
        GTEST_SKIP() << user.unavailable;
    }
    struct Case {
        const char* name;
        bool asRoot;
        fs::perms mode;
        bool refused;
    };
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const Case cases[] = {
        {"read-only, ordinary user", false, readOnly, true},
        {"no permission at all, ordinary user", false, fs::perms::none, true},
        {"writable, ordinary user", false, readOnly | fs::perms::owner_write, false},
        {"read-only, root", true, readOnly, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.asRoot && ::geteuid() != 0) {
            continue; // root's rights can only be seen as root
        }
        ScratchDir dir;
        dir.write("ctl.txt", "geo.txt par.txt res.txt");
        dir.write("par.txt", kParameters);
        dir.write("geo.txt", kGeometry);
        dir.write("res.txt", "old result");
        if (!c.asRoot && ::geteuid() == 0) {
            // The folder and the result file are the ordinary user's own.
            ASSERT_EQ(0, ::chown(dir.path().c_str(), user.uid, user.gid));
            ASSERT_EQ(0, ::chown((dir / "res.txt").c_str(), user.uid, user.gid));
        }
        fs::permissions(dir / "res.txt", c.mode);
        const ProgramRun r = runProgramThrough(c.asRoot ? std::vector<std::string>{} : user.launcher,
                                               kProgram, dir.path(), {"ctl.txt"});
        fs::permissions(dir / "res.txt", fs::perms::owner_read, fs::perm_options::add);
        EXPECT_EQ("0.229752", r.out); // the rate is still printed
        if (c.refused) {
            EXPECT_EQ(1, r.status);
            EXPECT_EQ("egm-shielding: cannot write result file 'res.txt': Permission denied\n", r.err);
            EXPECT_EQ("old result", dir.read("res.txt"));
        } else {
            EXPECT_EQ(0, r.status) << r.err;
            EXPECT_EQ("0.229752", dir.read("res.txt"));
        }
        EXPECT_EQ((std::vector<std::string>{"ctl.txt", "geo.txt", "par.txt", "res.txt"}), dir.entries());
    }
}

} // namespace
