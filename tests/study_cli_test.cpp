// egm-study end to end: what each subcommand prints or writes, against the
// library's own results, and every way a run can fail.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include "bits.h"
#include "egm/input_table.h"
#include "egm/shielding.h"
#include "program_run.h"
#include "study_csv_text.h"

namespace {

const std::string kStudy = EGM_STUDY_EXE;

ProgramRun study(const std::vector<std::string>& args, const ScratchDir& dir,
                 const std::string& stdoutPath = "")
{
    return runProgram(kStudy, dir.path(), args, "", stdoutPath);
}

double real(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

TEST(StudyRate, JsonInBothEvaluations)
{
    ScratchDir dir;
    for (const bool compat : {false, true}) {
        SCOPED_TRACE(compat ? "compat" : "first-contact");
        std::vector<std::string> args = {"rate", "--format", "json"};
        if (compat) {
            args.push_back("--compat");
        }
        const ProgramRun r = study(args, dir);
        ASSERT_EQ(0, r.status) << r.err;
        EXPECT_EQ("", r.err);
        const nlohmann::json j = nlohmann::json::parse(r.out);
        egm::Inputs in;
        in.evaluation = compat ? egm::Evaluation::compat : egm::Evaluation::firstContact;
        const egm::Result e = egm::computeRates(in);
        EXPECT_EQ(compat ? "compat" : "first-contact", j["evaluation"].get<std::string>());
        EXPECT_EQ("built-in", j["law"].get<std::string>());
        EXPECT_EQ("built-in", j["distribution"].get<std::string>());
        ASSERT_EQ(3u, j["rates"].size()); // conductor1, conductor2, total
        EXPECT_SAME_BITS(e.conductors[0].rate, j["rates"]["conductor1"].get<double>());
        EXPECT_SAME_BITS(e.conductors[1].rate, j["rates"]["conductor2"].get<double>());
        EXPECT_SAME_BITS(e.totalRate, j["rates"]["total"].get<double>());
        EXPECT_SAME_BITS(*e.conductors[0].maxCurrent.current,
                         j["maxShieldingFailureCurrent"]["conductor1"].get<double>());
        EXPECT_FALSE(j["maxCurrentExposedAtTop"]["conductor1"].get<bool>());
        EXPECT_EQ(201, j["currentRange"]["steps"].get<int>());
        EXPECT_EQ(57.0, j["inputs"]["h1"].get<double>());
        EXPECT_FALSE(j["inputs"].contains("tower"));          // no tower file
        EXPECT_FALSE(j["inputs"].contains("current-median")); // not the distribution's
        ASSERT_EQ(4u, j["tower"].size());
        EXPECT_EQ("groundWire2", j["tower"][1]["name"].get<std::string>());
        EXPECT_EQ("conductor", j["tower"][3]["kind"].get<std::string>());
        EXPECT_EQ(-0.8, j["tower"][3]["voltage-term"].get<double>());
    }
    // The compat total is egm-shielding's.
    const nlohmann::json j = nlohmann::json::parse(study({"rate", "--compat", "--format", "json"}, dir).out);
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, j["rates"]["total"].get<double>());
    EXPECT_TRUE(j["maxShieldingFailureCurrent"]["conductor2"].is_null());
}

TEST(StudyRate, TopOfTheRangeIsAFlagNotJustTheRangesEnd)
{
    ScratchDir dir;
    const ProgramRun r = study({"rate", "--slope", "10", "--format", "csv"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    const auto rows = csvRecords(r.out);
    ASSERT_EQ(2u, rows.size());
    const auto column = [&](const std::string& name) {
        const auto& h = rows[0].fields;
        return rows[1].fields.at(std::find(h.begin(), h.end(), name) - h.begin());
    };
    EXPECT_EQ("223.5", column("maxCurrentConductor1"));
    EXPECT_EQ("true", column("maxCurrentAtTopConductor1"));
    const ProgramRun text = study({"rate", "--slope", "10"}, dir);
    EXPECT_NE(std::string::npos, text.out.find("223.5 kA or more (still exposed at the top of the range)"));
}

TEST(StudyRate, ControlFileIsReadAsTheProgramReadsIt)
{
    ScratchDir dir;
    dir.write("ctl.txt", "geo.txt par.txt res.txt");
    dir.write("par.txt", "2.8 10 23.5");
    dir.write("geo.txt", "9.89 -9.89 11.2 -11.2 57 57 42 42");
    const ProgramRun r = study({"rate", "--control", "ctl.txt", "--compat", "--format", "csv"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("read 3 of 5")); // the same warning as egm-shielding's
    egm::Inputs in;
    in.slope = 10;
    in.evaluation = egm::Evaluation::compat;
    const auto rows = csvRecords(r.out);
    ASSERT_EQ(2u, rows.size());
    EXPECT_SAME_BITS(egm::computeRates(in).totalRate, real(rows[1].fields[2]));
    EXPECT_FALSE(fs::exists(dir / "res.txt")); // studies write no result file
}

TEST(StudyStrokes, RowsAreTheStrokeEvaluationBitForBit)
{
    ScratchDir dir;
    const ProgramRun r = study({"strokes", "--current", "23.5", "--voltage-term", "0", "-o", "s.csv"}, dir);
    // The four-wire line's columns keep their names.
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.out);
    const auto rows = csvRecords(dir.read("s.csv"));
    ASSERT_EQ(181u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"current", "theta", "degrees", "groundWire1", "groundWire2",
                                        "conductor1", "conductor2", "evaluation", "law"}),
              rows[0].fields);
    egm::Inputs in;
    in.tower = egm::towerOf(egm::Line{}, 0.0);
    const auto expected = egm::strokesAtCurrent(in, 23.5);
    for (int l = 0; l < 180; ++l) {
        const auto& f = rows[l + 1].fields;
        EXPECT_SAME_BITS(egm::incidenceAngle(l), real(f[1]));
        EXPECT_EQ(std::to_string(l + 1), f[2]);
        for (int w = 0; w < 4; ++w) {
            ASSERT_EQ(bitsOf(expected[l][w]), bitsOf(real(f[3 + w])))
                << "angle " << l + 1 << ", wire " << w + 1;
        }
        EXPECT_EQ("first-contact", f[7]);
    }
    // Mirror images either side of vertical incidence (ground wire 1 at 91
    // degrees is ground wire 2 at 89).
    EXPECT_NEAR(real(rows[89].fields[4]), real(rows[91].fields[3]), 1e-9);
    EXPECT_NEAR(real(rows[89].fields[6]), real(rows[91].fields[5]), 1e-9);
}

TEST(StudyStrokes, WholeTableSample)
{
    ScratchDir dir;
    const ProgramRun r = study({"strokes", "--slope", "-15", "--compat"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    const auto rows = csvRecords(r.out);
    ASSERT_EQ(1u + 201 * 180, rows.size());
    egm::Inputs in;
    in.slope = -15;
    in.evaluation = egm::Evaluation::compat;
    for (int k = 1; k < static_cast<int>(rows.size()); k += 997) {
        const auto& f = rows[k].fields;
        const int l = std::stoi(f[2]) - 1;
        const auto expected = egm::strokesAtCurrent(in, real(f[0]));
        for (int w = 0; w < 4; ++w) {
            ASSERT_EQ(bitsOf(expected[l][w]), bitsOf(real(f[3 + w]))) << "row " << k << ", wire " << w + 1;
        }
    }
}

TEST(StudySweep, OneRowPerValueAndTheLastKept)
{
    ScratchDir dir;
    const ProgramRun r =
        study({"sweep", "--param", "voltage-term", "--from", "0", "--to", "0.3", "--step", "0.1"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    const auto rows = csvRecords(r.out);
    ASSERT_EQ(5u, rows.size());
    EXPECT_EQ("voltage-term", rows[0].fields[0]);
    const char* values[] = {"0", "0.1", "0.2", "0.3"};
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(values[k - 1], rows[k].fields[0]);
        egm::Inputs in;
        in.tower = egm::towerOf(egm::Line{}, real(values[k - 1]));
        const egm::Result e = egm::computeRates(in);
        EXPECT_SAME_BITS(e.conductors[0].rate, real(rows[k].fields[1]));
        EXPECT_SAME_BITS(e.conductors[1].rate, real(rows[k].fields[2]));
        EXPECT_EQ("", rows[k].fields.back());
    }
}

TEST(StudySweep, RowsThatFailGiveExitStatusOne)
{
    ScratchDir dir;
    const ProgramRun r = study(
        {"sweep", "--param", "slope", "--from", "80", "--to", "100", "--step", "10", "-o", "s.csv"}, dir);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(1, lineCount(r.err)) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("2 of 3 cases could not be computed")) << r.err;
    const auto rows = csvRecords(dir.read("s.csv"));
    ASSERT_EQ(4u, rows.size());
    EXPECT_EQ("", rows[1].fields.back());
    EXPECT_EQ("slope 90 degrees: must lie strictly between -90 and 90 degrees", rows[2].fields.back());
}

TEST(StudyBatch, FileInFileOutWithABadRow)
{
    ScratchDir dir;
    dir.write("cases.csv", "name,slope,min-current\nflat,0,23.5\nbad,zero,23.5\nsteep,25,\nhuge,0,1e300\n");
    const ProgramRun r = study({"batch", "cases.csv", "-o", "out.csv", "--jobs", "2", "--compat"}, dir);
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_EQ(1, lineCount(r.err)) << r.err;
    EXPECT_NE(std::string::npos,
              r.err.find("2 of 4 cases could not be computed; see the error column of 'out.csv'"));
    const auto rows = csvRecords(dir.read("out.csv"));
    ASSERT_EQ(5u, rows.size());
    EXPECT_EQ("1", rows[1].fields[0]);
    EXPECT_SAME_BITS(0x1.d68805eb8c128p-3, real(rows[1].fields[5]));
    EXPECT_EQ("line 3: slope 'zero' is not a number", rows[2].fields.back());
    EXPECT_EQ("", rows[3].fields.back());
    EXPECT_NE(std::string::npos, rows[4].fields.back().find("line 5: min-current 1e+300 kA"))
        << rows[4].fields.back();
    EXPECT_EQ((std::vector<std::string>{"cases.csv", "out.csv"}), dir.entries());
}

TEST(StudyBatch, ABadHeaderLeavesNoFile)
{
    ScratchDir dir;
    dir.write("cases.csv", "slope,height\n1,2\n");
    const ProgramRun r = study({"batch", "cases.csv", "-o", "out.csv"}, dir);
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find("unknown column 'height'")) << r.err;
    EXPECT_EQ((std::vector<std::string>{"cases.csv"}), dir.entries());
}

TEST(StudyBatch, InterruptedBatchLeavesNoPartialFile)
{
    ScratchDir dir;
    std::string cases = "slope\n";
    for (int k = 0; k < 4000; ++k) {
        cases += std::to_string(k % 40 - 20) + "\n";
    }
    dir.write("cases.csv", cases);
    const pid_t child = ::fork();
    if (child == 0) {
        ::chdir(dir.path().c_str());
        ::execl(kStudy.c_str(), kStudy.c_str(), "batch", "cases.csv", "-o", "out.csv",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    bool started = false;
    for (int wait = 0; wait < 500 && !started; ++wait) {
        ::usleep(10000);
        started = dir.entries().size() > 1; // the temporary file is there
    }
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(started);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ((std::vector<std::string>{"cases.csv"}), dir.entries());
}

TEST(StudyCompare, EveryLawUnderBothRateMethods)
{
    ScratchDir dir;
    const ProgramRun r = study({"compare", "--format", "json"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    const char* laws[] = {"built-in", "ieee-1992", "love", "brown-whitehead", "armstrong-whitehead"};
    const char* methods[] = {"share", "exposure"};
    ASSERT_EQ(10u, j.size());
    // The library's figures of each law and method, for the text below.
    std::vector<double> totals;
    for (std::size_t k = 0; k < 10; ++k) {
        const char* law = laws[k / 2];
        const char* method = methods[k % 2];
        SCOPED_TRACE(std::string(law) + " " + method);
        EXPECT_EQ(law, j[k]["law"].get<std::string>());
        EXPECT_EQ(method, j[k]["rateMethod"].get<std::string>());
        EXPECT_EQ("built-in", j[k]["distribution"].get<std::string>());
        egm::Inputs in;
        in.law.kind = *egm::lawNamed(law);
        in.rateMethod = *egm::rateMethodNamed(method);
        if (k >= 2) {
            in.tower = egm::towerOf(egm::Line{}, 0.0); // the voltage term is the built-in law's
        }
        totals.push_back(egm::computeRates(in).totalRate);
        EXPECT_SAME_BITS(totals.back(), j[k]["rates"]["total"].get<double>());
    }
    // ieee-1992 on the built-in line: the guides' method gives about half as
    // much again as the share.
    EXPECT_NEAR(0.15508, totals[3], 5e-5);
    EXPECT_NEAR(0.106, totals[2], 1e-3);

    const ProgramRun text = study({"compare"}, dir);
    ASSERT_EQ(0, text.status) << text.err;
    // A heading, the column names, three rows per law (two conductors and
    // the total), three closing lines.
    EXPECT_EQ(2 + 5 * 3 + 3, lineCount(text.out)) << text.out;
    EXPECT_NE(std::string::npos, text.out.find("share     exposure")) << text.out;
    // Each total row: the share method's figure, then the exposure method's.
    for (std::size_t law = 0; law < 5; ++law) {
        SCOPED_TRACE(laws[law]);
        char row[128];
        std::snprintf(row, sizeof row, "%-20s %-16s %12.6g %12.6g\n", laws[law], "total", totals[2 * law],
                      totals[2 * law + 1]);
        EXPECT_NE(std::string::npos, text.out.find(row)) << text.out;
    }
    const ProgramRun logNormal = study({"compare", "--distribution", "log-normal"}, dir);
    EXPECT_NE(std::string::npos, logNormal.out.find("current distribution log-normal"));

    const auto csv = csvRecords(study({"compare", "--format", "csv"}, dir).out);
    ASSERT_EQ(11u, csv.size());
    const std::vector<std::string>& header = csv[0].fields;
    const std::size_t method = std::find(header.begin(), header.end(), "rateMethod") - header.begin();
    const std::size_t total = std::find(header.begin(), header.end(), "total") - header.begin();
    ASSERT_EQ(total + 1, method); // the method right after the total
    for (std::size_t k = 0; k < 10; ++k) {
        EXPECT_EQ(laws[k / 2], csv[k + 1].fields[0]);
        EXPECT_EQ(methods[k % 2], csv[k + 1].fields[method]);
        EXPECT_SAME_BITS(totals[k], real(csv[k + 1].fields[total]));
    }
}

// --rate-method exposure: the library's exposure figures, with the method
// named, in every format of rate.
TEST(StudyRate, ExposureMethodNamedInEveryFormat)
{
    ScratchDir dir;
    const struct {
        const char* name;
        std::vector<std::string> flags;
    } cases[] = {
        {"built-in line, ieee-1992", {"--law", "ieee-1992"}},
        {"built-in law, slope", {"--slope", "12", "--min-current", "3"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> named = {"--rate-method", "exposure"};
        named.insert(named.end(), c.flags.begin(), c.flags.end());
        egm::NamedInputs inputs;
        for (std::size_t k = 0; k < named.size(); k += 2) {
            inputs.values.push_back(egm::NamedValue{named[k].substr(2), named[k + 1], std::nullopt});
        }
        const egm::Result want = egm::computeRates(egm::resolveInputs(inputs));
        ASSERT_EQ(egm::RateMethod::exposure, want.rateMethod);
        const auto run = [&](const char* format) {
            std::vector<std::string> args = {"rate", "--format", format};
            args.insert(args.end(), named.begin(), named.end());
            const ProgramRun r = study(args, dir);
            EXPECT_EQ(0, r.status) << r.err;
            return r.out;
        };
        const nlohmann::json j = nlohmann::json::parse(run("json"));
        EXPECT_EQ("exposure", j["rateMethod"].get<std::string>());
        EXPECT_SAME_BITS(want.totalRate, j["rates"]["total"].get<double>());
        EXPECT_SAME_BITS(want.conductors[0].rate, j["rates"]["conductor1"].get<double>());
        const auto csv = csvRecords(run("csv"));
        ASSERT_EQ(2u, csv.size());
        const auto column = [&](const std::string& name) {
            const std::vector<std::string>& h = csv[0].fields;
            return csv[1].fields.at(std::find(h.begin(), h.end(), name) - h.begin());
        };
        EXPECT_EQ("exposure", column("rateMethod"));
        EXPECT_SAME_BITS(want.totalRate, real(column("total")));
        const std::string text = run("text");
        EXPECT_EQ(0u, text.find("Shielding failure rate (exposure method), strokes per 100 km per year\n"))
            << text;
        EXPECT_NE(std::string::npos,
                  text.find("  total                  " + egm::shortestText(want.totalRate)));
    }
}

TEST(StudyRate, AShareRateSaysItIsTheModelsAndNamesTheGuidesMethod)
{
    ScratchDir dir;
    const ProgramRun r = study({"rate"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(0u, r.out.find("Shielding failure rate (share method: the model's rate; the guides' method is "
                             "--rate-method exposure), strokes per 100 km per year\n"))
        << r.out;
}

// A route takes one rate method: spans that mix them are refused before
// anything is computed, each method's spans named; the summary names it.
TEST(StudyRoute, OneRateMethodPerRoute)
{
    ScratchDir dir;
    const struct {
        const char* name;
        const char* route;
        std::vector<std::string> flags;
        int status;
        const char* method; // of the summary; null: refused
    } cases[] = {
        {"mixed columns", "length,rate-method\n400,share\n300,exposure\n200,\n", {}, 1, nullptr},
        {"column against the flag",
         "length,rate-method\n400,share\n300,\n",
         {"--rate-method", "exposure"},
         1,
         nullptr},
        {"the flag", "length,slope\n400,0\n300,5\n", {"--rate-method", "exposure"}, 0, "exposure"},
        {"one column", "length,rate-method\n400,exposure\n300,exposure\n", {}, 0, "exposure"},
        {"default", "length\n400\n", {}, 0, "share"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("route.csv", c.route);
        std::vector<std::string> args = {"route", "route.csv", "--format", "json"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const ProgramRun r = study(args, dir);
        EXPECT_EQ(c.status, r.status) << r.err;
        if (c.method == nullptr) {
            EXPECT_EQ("", r.out);
            EXPECT_NE(std::string::npos, r.err.find("different rate methods")) << r.err;
            EXPECT_NE(std::string::npos, r.err.find("nothing computed")) << r.err;
            EXPECT_EQ(1, lineCount(r.err));
            continue;
        }
        const nlohmann::json j = nlohmann::json::parse(r.out);
        EXPECT_EQ(c.method, j["summary"]["rateMethod"].get<std::string>());
        for (const nlohmann::json& span : j["spans"]) {
            EXPECT_EQ(c.method, span["rateMethod"].get<std::string>());
        }
        args[3] = "text";
        const ProgramRun text = study(args, dir);
        EXPECT_NE(std::string::npos, text.out.find("Expected shielding failures per year (" +
                                                   std::string(c.method) + " method)"))
            << text.out;
    }
}

#ifdef EGM_HAVE_CAIRO
// draw --from-vertical on a slope draws the very picture of --angle at the
// matching angle in the ground's frame, 90 + slope - from-vertical.
TEST(StudyDraw, FromTheVerticalIsTheGroundFrameAngleItMatches)
{
    ScratchDir dir;
    const struct {
        const char* slope;
        const char* fromVertical;
        const char* angle;
    } cases[] = {
        {"0", "0", "90"}, {"20", "0", "110"}, {"20", "15", "95"}, {"-15", "-30", "105"}, {"30", "-55", "175"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.slope) + " " + c.fromVertical);
        const ProgramRun v = study(
            {"draw", "--slope", c.slope, "--current", "30", "--from-vertical", c.fromVertical, "-o", "v.svg"},
            dir);
        ASSERT_EQ(0, v.status) << v.err;
        const ProgramRun a =
            study({"draw", "--slope", c.slope, "--current", "30", "--angle", c.angle, "-o", "a.svg"}, dir);
        ASSERT_EQ(0, a.status) << a.err;
        EXPECT_EQ(dir.read("a.svg"), dir.read("v.svg"));
    }
    const ProgramRun both =
        study({"draw", "--current", "30", "--angle", "90", "--from-vertical", "0", "-o", "b.svg"}, dir);
    EXPECT_EQ(2, both.status);
    const ProgramRun neither = study({"draw", "--current", "30", "-o", "b.svg"}, dir);
    EXPECT_EQ(2, neither.status);
    EXPECT_NE(std::string::npos, neither.err.find("--angle or --from-vertical")) << neither.err;
    const ProgramRun under =
        study({"draw", "--slope", "20", "--current", "30", "--from-vertical", "110", "-o", "b.svg"}, dir);
    EXPECT_EQ(1, under.status);
    EXPECT_NE(std::string::npos, under.err.find("--from-vertical 110")) << under.err;
    EXPECT_FALSE(fs::exists(dir / "b.svg"));
}
#endif

TEST(StudyDesignAndRoute, EndToEnd)
{
    ScratchDir dir;
    const ProgramRun d =
        study({"design", "--variable", "shielding-angle", "--target", "total=0.05", "--format", "json"}, dir);
    ASSERT_EQ(0, d.status) << d.err;
    const nlohmann::json j = nlohmann::json::parse(d.out);
    EXPECT_TRUE(j["met"].get<bool>());
    EXPECT_LE(j["solution"]["rates"]["total"].get<double>(), 0.05);
    EXPECT_LE(j["evaluations"].get<int>(), 40);
    const ProgramRun unmet =
        study({"design", "--variable", "spread", "--target", "total=0", "--range", "0", "10"}, dir);
    EXPECT_EQ(1, unmet.status);
    EXPECT_NE(std::string::npos, unmet.out.find("cannot be met inside the range")) << unmet.out;

    dir.write("towers.csv", "name,length,slope\nT1,400,0\nT2,,5\nT3,350,20\n");
    const ProgramRun refused = study({"route", "towers.csv", "--flag-above", "1", "--format", "json"}, dir);
    EXPECT_EQ(1, refused.status); // T2 has no length: nothing is computed
    EXPECT_EQ("", refused.out);
    EXPECT_NE(std::string::npos, refused.err.find("span 2 (line 3) without a length")) << refused.err;
    dir.write("towers.csv", "name,length,slope\nT1,400,0\nT2,300,95\nT3,350,20\n");
    const ProgramRun r = study({"route", "towers.csv", "--flag-above", "1", "--format", "json"}, dir);
    EXPECT_EQ(1, r.status); // T2's slope cannot be computed
    const nlohmann::json route = nlohmann::json::parse(r.out);
    EXPECT_EQ(1, route["summary"]["failed"].get<int>());
    EXPECT_EQ(0u, route["spans"][1]["error"].get<std::string>().find("line 3: slope 95 degrees"));
    EXPECT_SAME_BITS(0.75, route["summary"]["lengthKm"].get<double>());
    EXPECT_SAME_BITS(0.7, route["spans"][2]["km"].get<double>());
    ASSERT_EQ(1u, route["summary"]["flaggedStretches"].size());
    EXPECT_SAME_BITS(0.7, route["summary"]["flaggedStretches"][0]["fromKm"].get<double>());
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
        {{"rates"}, 2, "unknown subcommand 'rates'"},
        {{"rate", "--bogus"}, 2, "--bogus"},
        {{"rate", "--format", "xml"}, 2, "xml"},
        {{"rate", "--geometry", "1", "2", "3"}, 2, "--geometry"},
        {{"rate", "--control", "ctl.txt", "--slope", "5"}, 2, "--control gives every input"},
        {{"rate", "--slope", "steep"}, 2, "--slope 'steep' is not a number"},
        {{"rate", "--law", "love", "--voltage-term", "0.8"},
         1,
         "voltage-term 0.8: belongs to the built-in law"},
        {{"rate", "--law", "brown"}, 2, "law 'brown': must be one of"},
        {{"rate", "--law-coefficients", "8,0.65,6,0.7"}, 2, "--law-coefficients go with the custom law"},
        {{"rate", "--evaluation", "sound"}, 2, "--evaluation 'sound': must be one of first-contact, compat"},
        {{"rate", "--evaluation", "first-contact", "--compat"},
         2,
         "--compat and --evaluation first-contact both set the evaluation"},
        {{"sweep", "--param", "h1", "--from", "5", "--to", "1", "--step", "1"}, 2, "--step"},
        {{"sweep", "--param", "h9", "--from", "1", "--to", "2", "--step", "1"}, 2, "h9"},
        {{"batch", "cases.csv"}, 1, "cannot open case file 'cases.csv': No such file or directory"},
        {{"batch", "."}, 1, "cannot read case file '.': Is a directory"},
        {{"draw", "--current", "23.5", "--angle", "90", "-o", "s.gif"}, 2, "must end in .svg, .png or .pdf"},
        {{"rate", "--control", "missing.txt"}, 1, "cannot open control file 'missing.txt': No such file"},
        {{"rate", "--h1", "-57"}, 1, "h1 -57 m: must be greater than 0 m"},
        {{"rate", "--min-current", "0"}, 1, "min-current 0 kA: must be greater than 0 kA"},
        {{"rate", "--current-scale", "0"}, 1, "current-scale 0 kA: must be greater than 0 kA"},
        {{"rate", "--slope", "nan"}, 1, "slope nan degrees"},
        {{"rate", "--x3", "inf"}, 1, "x3 inf m: must be"},
        {{"rate", "--flash-density", "-1"}, 1, "flash-density -1 per km^2 per year"},
        {{"rate", "--current-exponent", "0"}, 1, "current-exponent 0: must be greater than 0"},
        {{"rate", "--slope", "90"}, 1, "slope 90 degrees: must lie strictly between -90 and 90 degrees"},
        {{"rate", "--voltage-term", "40"},
         1,
         "voltage-term 40: makes conductor 2's striking distance undefined"},
        {{"draw", "--current", "-5", "--angle", "90", "-o", "s.svg"},
         1,
         "--current -5 kA: must be greater than 0"},
        {{"batch", "missing.csv", "-o", "out.csv"}, 1, "cannot open case file 'missing.csv'"},
        {{"rate", "-o", "/nonexistent/dir/o.csv"},
         1,
         "cannot write results file '/nonexistent/dir/o.csv': No such file or directory"},
        {{"rate", "-o", "/dev/full"}, 1, "cannot write results file '/dev/full': No space left on device"},
    };
    for (const Case& c : cases) {
        std::string name;
        for (const std::string& a : c.args) {
            name += a + " ";
        }
        SCOPED_TRACE(name);
        ScratchDir dir;
        dir.write("ctl.txt", "geo.txt par.txt res.txt");
        const ProgramRun r = study(c.args, dir);
        EXPECT_EQ(c.status, r.status) << r.err;
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.mentions)) << r.err;
        EXPECT_EQ((std::vector<std::string>{"ctl.txt"}), dir.entries());
    }
}

TEST(StudyErrors, StandardOutputThatCannotBeWritten)
{
    ScratchDir dir;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"rate"},
             {"strokes", "--current", "30"},
             {"sweep", "--param", "slope", "--from", "0", "--to", "1", "--step", "1"}}) {
        const ProgramRun r = study(args, dir, "/dev/full");
        EXPECT_EQ(1, r.status) << args[0];
        EXPECT_NE(std::string::npos, r.err.find("No space left on device")) << r.err;
    }
}

TEST(StudyErrors, HelpSaysWhatAnEngineerNeeds)
{
    ScratchDir dir;
    const ProgramRun top = study({"--help"}, dir);
    EXPECT_EQ(0, top.status);
    EXPECT_EQ(std::string::npos, top.out.find("sound"));
    for (const char* text :
         {"falls towards +x", "Ground wire 1 and conductor 1 are the wires on the +x side",
          "1.63 (5.015 I^0.578 + U)^1.125", "1.63 (5.015 I^0.578 - U)^1.125",
          "P(>I) = 1/(1 + (I/scale)^exponent)", "200 kA above it in steps", "--compat", "first-contact",
          "--tower FILE", "--rate-method", "share (default)", "exposure:", "Never add the two",
          "90 + slope degrees", "height - 2/3 sag", "docs/models.md", "docs/validation.md"}) {
        EXPECT_NE(std::string::npos, top.out.find(text)) << text;
    }
    for (const char* sub : {"rate", "strokes", "sweep", "batch", "compare", "design", "route", "draw"}) {
        const ProgramRun r = study({sub, "--help"}, dir);
        EXPECT_NE(std::string::npos, r.out.find("docs/models.md")) << sub;
        EXPECT_EQ(0, r.status) << sub;
        EXPECT_EQ(std::string::npos, r.out.find(" x 8")) << sub;
        EXPECT_EQ(std::string::npos, r.out.find("Excludes")) << sub;
        // --slope's unit, default and range, --flash-density's range.
        EXPECT_NE(std::string::npos, r.out.find("(degrees; default 0; strictly between -90 and 90 degrees)"))
            << sub;
        EXPECT_NE(std::string::npos, r.out.find("at most 100 per km^2 per year)")) << sub;
        EXPECT_NE(std::string::npos, r.out.find("--tower")) << sub;
        EXPECT_EQ(std::string::npos, r.out.find("sound")) << sub;
    }
    EXPECT_NE(std::string::npos, study({"batch", "--help"}, dir).out.find("exit status 1"));
    EXPECT_NE(std::string::npos, study({"rate", "--help"}, dir).out.find("maxCurrentAtTopConductor1"));
    EXPECT_NE(std::string::npos, study({"rate", "--help"}, dir).out.find("rateMethod: share or exposure"));
    EXPECT_NE(std::string::npos, study({"compare", "--help"}, dir).out.find("both rate methods"));
    EXPECT_NE(std::string::npos, study({"draw", "--help"}, dir).out.find("--from-vertical"));
    const ProgramRun v = study({"--version"}, dir);
    EXPECT_EQ(0, v.status);
    EXPECT_EQ("egm-study 1.1.0\n", v.out);
}

TEST(StudyPictures, EachCommandWritesItsPicture)
{
    ScratchDir dir;
    const std::vector<std::vector<std::string>> runs = {
        {"draw", "--current", "23.5", "--angle", "90", "-o", "s.svg"},
        {"plot", "exposure", "-o", "e.pdf"},
        {"plot", "sweep", "--param", "slope", "--from", "0", "--to", "0", "--step", "1", "-o", "w.png"},
        {"plot", "compare", "-o", "c.svg"},
    };
    for (const auto& args : runs) {
        const ProgramRun r = study(args, dir);
        EXPECT_EQ(0, r.status) << args[0] << " " << args[1] << ": " << r.err;
    }
    EXPECT_EQ((std::vector<std::string>{"c.svg", "e.pdf", "s.svg", "w.png"}), dir.entries());
}

} // namespace
