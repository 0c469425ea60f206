// egm-study end to end on what must never happen silently: an output that
// replaces an input, a failed row that still exits 0, a flag dropped without
// a word, a route whose chainage drifts, numbers printed with rounding noise.
#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>

#include "bits.h"
#include "study_csv_text.h"
#include "study_run.h"

namespace {

int lines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Whenever an output is the same file as an input: exit 1, one line naming
// both roles, every file as it was and no file added.
TEST(StudySafety, AnOutputNeverReplacesAnInput)
{
    struct Case {
        std::vector<std::string> args;
        const char* output; // role
        const char* input;  // role
    };
    const Case cases[] = {
        {{"batch", "c.csv", "-o", "c.csv"}, "results file 'c.csv'", "case file 'c.csv'"},
        {{"batch", "c.csv", "-o", "./c.csv"}, "results file './c.csv'", "case file 'c.csv'"},
        {{"batch", "t.csv", "-o", "tower.csv"}, "results file 'tower.csv'", "tower file"},
        {{"route", "r.csv", "-o", "r.csv"}, "results file 'r.csv'", "route file 'r.csv'"},
        {{"rate", "--control", "ctl.txt", "-o", "g.txt"}, "results file 'g.txt'", "geometry file 'g.txt'"},
        {{"rate", "--control", "ctl.txt", "-o", "p.txt"}, "results file 'p.txt'", "parameter file 'p.txt'"},
        {{"rate", "--control", "ctl.txt", "-o", "ctl.txt"}, "results file 'ctl.txt'", "control file"},
        {{"rate", "--tower", "tower.csv", "-o", "tower.csv"}, "results file 'tower.csv'", "tower file"},
        {{"sweep", "--param", "slope", "--from", "0", "--to", "1", "--step", "1", "--tower", "tower.csv",
          "-o", "tower.csv"},
         "results file",
         "tower file"},
        {{"design", "--variable", "ground-wire-height", "--target", "perfect=200", "--tower", "tower.csv",
          "-o", "tower.csv"},
         "results file",
         "tower file"},
#ifdef EGM_HAVE_CAIRO
        {{"plot", "route", "r.csv", "-o", "r.png"}, "picture file 'r.png'", "tower file 'r.png'"},
        {{"plot", "exposure", "--control", "ctl.txt", "-o", "g.svg"},
         "picture file 'g.svg'",
         "geometry file"},
#endif
    };
    const std::vector<std::pair<std::string, std::string>> files = {
        {"c.csv", "slope,h1\n0,57\n"},
        {"t.csv", "name,tower\none,tower.csv\n"},
        {"tower.csv", "kind,x,height\nground wire,0,50\nconductor,5,40\n"},
        {"r.csv", "length,tower\n300,r.png\n"},
        {"r.png", "kind,x,height\nground wire,0,50\nconductor,5,40\n"},
        {"ctl.txt", "g.txt p.txt res.txt"},
        {"g.txt", "10 -10 11.2 -11.2 57 57 45 45"},
        {"p.txt", "2.8 0 23.5 31 2.8"},
        {"g.svg", "10 -10 11.2 -11.2 57 57 45 45"},
    };
    for (const Case& c : cases) {
        std::string name;
        for (const std::string& a : c.args) {
            name += a + " ";
        }
        SCOPED_TRACE(name);
        ScratchDir dir;
        for (const auto& [file, text] : files) {
            dir.write(file, text);
        }
        if (std::string(c.args[c.args.size() - 1]) == "g.svg") {
            dir.write("ctl.txt", "g.svg p.txt res.txt");
        }
        const std::vector<std::string> before = dir.entries();
        const ProgramRun r = runStudy(c.args, dir);
        EXPECT_EQ(1, r.status) << r.err;
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lines(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.output)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.input)) << r.err;
        EXPECT_EQ(before, dir.entries());
        for (const auto& [file, text] : files) {
            if (file != "ctl.txt") {
                EXPECT_EQ(text, dir.read(file)) << file;
            }
        }
    }
}

// A row or value that cannot be computed is never a silent result: the
// library's line and exit 1, or the row's error column and exit 1.
TEST(StudySafety, InputsOutOfRangeAndNonFiniteResultsFailTheirRow)
{
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"rate", "--h1", "4500"}, "h1 4500 m: must be greater than 0 m and at most 1000 m"},
        {{"rate", "--h1", "1e300"}, "h1 1e+300 m: must be greater than 0 m and at most 1000 m"},
        {{"rate", "--flash-density", "1e6"}, "flash-density"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[2]);
        ScratchDir dir;
        const ProgramRun r = runStudy(c.args, dir);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lines(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.mentions)) << r.err;
    }
    ScratchDir dir;
    dir.write("c.csv", "name,h1\nhigh,4500\nhuge,1e300\nfine,57\n");
    const ProgramRun r = runStudy({"batch", "c.csv"}, dir);
    EXPECT_EQ(1, r.status);
    const std::vector<egm::io::CsvRecord> out = csvRecords(r.out);
    ASSERT_EQ(4u, out.size());
    const std::size_t error = out[0].fields.size() - 1;
    EXPECT_NE(std::string::npos, out[1].fields[error].find("h1 4500 m")) << r.out;
    EXPECT_NE(std::string::npos, out[2].fields[error].find("h1 1e+300 m")) << r.out;
    EXPECT_EQ("", out[3].fields[error]);
    EXPECT_EQ("", out[1].fields[3]); // no rate for a failed row
    EXPECT_NE("", out[3].fields[3]);
}

// A route with a span that is not a positive finite length up to 100 km is
// refused whole, every such span named, nothing written; the chainage of a
// computed route is exact.
TEST(StudySafety, RouteLengthsAndChainage)
{
    struct Case {
        const char* spans;
        int status;
        std::vector<const char*> mentions; // in the message; empty: computed
        std::vector<const char*> km;       // the spans' km column when computed
    };
    const Case cases[] = {
        {"A,1000\nB,-500\nC,1000\nG,nan\nH,1000\n",
         1,
         {"span 2 (line 3) length '-500'", "span 4 (line 5) length 'nan'", "at most 100000 m (100 km)"},
         {}},
        {"A,1e12\nB,300\n", 1, {"span 1 (line 2) length '1e12'"}, {}},
        {"A,300\nB,300\nC,300\nD,300\n", 0, {}, {"0", "0.3", "0.6", "0.9"}},
        {"A,100\nB,200\nC,300\nD,400\nE,500\nF,600\n", 0, {}, {"0", "0.1", "0.3", "0.6", "1", "1.5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spans);
        ScratchDir dir;
        dir.write("r.csv", std::string("name,length\n") + c.spans);
        const ProgramRun r = runStudy({"route", "r.csv", "--format", "csv", "-o", "out.csv"}, dir);
        EXPECT_EQ(c.status, r.status) << r.err;
        for (const char* m : c.mentions) {
            EXPECT_NE(std::string::npos, r.err.find(m)) << r.err;
        }
        if (c.status != 0) {
            EXPECT_EQ(1, lines(r.err)) << r.err;
            EXPECT_EQ((std::vector<std::string>{"r.csv"}), dir.entries());
            continue;
        }
        const std::vector<egm::io::CsvRecord> out = csvRecords(dir.read("out.csv"));
        ASSERT_LE(c.km.size() + 1, out.size());
        for (std::size_t k = 0; k < c.km.size(); ++k) {
            EXPECT_EQ(c.km[k], out[k + 1].fields[3]) << k;
        }
    }
}

#ifdef EGM_HAVE_CAIRO
// A picture of rows some of which failed names them on standard error and
// exits 1; with no row computed no picture is written.
TEST(StudySafety, PicturesOfFailedRows)
{
    struct Case {
        std::vector<std::string> args;
        bool written;
        std::vector<const char*> named;
    };
    const Case cases[] = {
        {{"plot", "sweep", "--param", "slope", "--from", "90", "--to", "95", "--step", "5"},
         false,
         {"slope 90 not computed", "slope 95 not computed"}},
        {{"plot", "sweep", "--param", "slope", "--from", "85", "--to", "95", "--step", "5"},
         true,
         {"slope 90 not computed", "slope 95 not computed"}},
        {{"plot", "route", "r.csv"}, true, {"span 2 not computed"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args.back());
        ScratchDir dir;
        dir.write("r.csv", "length,slope\n300,0\n300,95\n");
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-o", "p.png"});
        const ProgramRun r = runStudy(args, dir);
        EXPECT_EQ(1, r.status);
        for (const char* n : c.named) {
            EXPECT_NE(std::string::npos, r.err.find(n)) << r.err;
        }
        EXPECT_EQ(std::string::npos, r.err.find("error column")) << r.err;
        const std::vector<std::string> entries = dir.entries();
        EXPECT_EQ(c.written, std::find(entries.begin(), entries.end(), "p.png") != entries.end());
    }
}
#endif

// Two flags that set one input are a usage error naming both; a group with
// one of its wires is not: the wire wins, said in one note.
TEST(StudySafety, ConflictingFlags)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<const char*> named;
    };
    const Case cases[] = {
        {{"rate", "--compat", "--evaluation", "first-contact"}, {"--compat", "--evaluation first-contact"}},
        {{"sweep", "--param", "slope", "--slope", "5", "--from", "0", "--to", "1", "--step", "1"},
         {"--param slope", "--slope 5"}},
        {{"sweep", "--param", "ground-wire-height", "--h1", "50", "--from", "50", "--to", "51", "--step",
          "1"},
         {"--param ground-wire-height", "--h1 50"}},
        {{"rate", "--geometry", "10", "-10", "11.2", "-11.2", "57", "57", "45", "45", "--h1", "55"},
         {"--geometry", "--h1 55"}},
        {{"rate", "--law", "custom", "--law-coefficients", "10,0.65,9,0.65", "--law-a", "8"},
         {"--law-coefficients", "--law-a 8"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named[0]);
        ScratchDir dir;
        const ProgramRun r = runStudy(c.args, dir);
        EXPECT_EQ(2, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lines(r.err)) << r.err;
        for (const char* n : c.named) {
            EXPECT_NE(std::string::npos, r.err.find(n)) << r.err;
        }
    }

    struct Wins {
        std::vector<std::string> args;
        const char* a;
        double aValue;
        const char* b;
        double bValue;
        const char* note; // empty: none
    };
    const Wins wins[] = {
        {{"--x1", "5", "--ground-wire-spread", "30"},
         "x1",
         5,
         "x2",
         -15,
         "--x1 5 overrides --ground-wire-spread 30"},
        {{"--ground-wire-height", "60", "--h1", "55"},
         "h1",
         55,
         "h2",
         60,
         "--h1 55 overrides --ground-wire-height 60"},
        {{"--h4", "40", "--conductor-height", "44"},
         "h3",
         44,
         "h4",
         40,
         "--h4 40 overrides --conductor-height 44"},
        {{"--ground-wire-height", "60"}, "h1", 60, "h2", 60, ""},
    };
    for (const Wins& w : wins) {
        SCOPED_TRACE(w.args[0]);
        ScratchDir dir;
        std::vector<std::string> args = {"rate", "--format", "json"};
        args.insert(args.end(), w.args.begin(), w.args.end());
        const ProgramRun r = runStudy(args, dir);
        ASSERT_EQ(0, r.status) << r.err;
        const nlohmann::json j = nlohmann::json::parse(r.out);
        EXPECT_EQ(w.aValue, j["inputs"][w.a].get<double>());
        EXPECT_EQ(w.bValue, j["inputs"][w.b].get<double>());
        EXPECT_EQ(*w.note ? 1 : 0, lines(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(w.note)) << r.err;
    }
}

// What the user reads in a column is the conductor it names: the classical
// maximum current of each conductor, conductor 2's included, in its own
// column, as the library computes it.
TEST(StudySafety, ClassicalMaximumCurrentsInTheirColumns)
{
    struct Case {
        std::vector<std::string> args;
        const char* conductor1;
        const char* conductor2;
    };
    const Case cases[] = {
        // The built-in line: conductor 2 (lower voltage term side) is never
        // exposed to vertical strokes.
        {{}, "74.47", ""},
        // A symmetric line without the voltage term: both the same.
        {{"--geometry", "30", "-30", "4", "-4", "45", "45", "30", "30", "--voltage-term", "0"},
         "7.54",
         "7.54"},
        // Mirrored: conductor 2 exposed, conductor 1 not.
        {{"--geometry", "9.89", "-9.89", "11.2", "-11.2", "57", "57", "42", "42", "--voltage-term", "-0.8"},
         "",
         "74.47"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.conductor1 + std::string(" ") + c.conductor2);
        ScratchDir dir;
        std::vector<std::string> args = {"rate", "--format", "csv"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ProgramRun r = runStudy(args, dir);
        ASSERT_EQ(0, r.status) << r.err;
        const std::vector<egm::io::CsvRecord> out = csvRecords(r.out);
        ASSERT_EQ(2u, out.size());
        std::map<std::string, std::string> row;
        for (std::size_t k = 0; k < out[0].fields.size(); ++k) {
            row[out[0].fields[k]] = out[1].fields[k];
        }
        EXPECT_EQ(c.conductor1, row["classicalMaxCurrentConductor1"]);
        EXPECT_EQ(c.conductor2, row["classicalMaxCurrentConductor2"]);
    }
}

// The small things a user meets first.
TEST(StudySafety, MinorOnes)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* out; // a line of standard output, or empty
        const char* err; // in standard error, or empty
    };
    const Case cases[] = {
        {{"sweep", "--param", "slope", "--from", "-10", "--to", "-0.9", "--step", "0.05"}, 0, "\n-0.95,", ""},
        {{"sweep", "--param", "min-current", "--from", "1", "--to", "1.6", "--step", "0.05"},
         0,
         "\n1.55,",
         ""},
        {{"batch", "c.csv"}, 0, "case,line,name,conductor1", ""},
        {{"batch", "."}, 1, "", "cannot read case file '.': Is a directory"},
        {{"batch", "none.csv"}, 1, "", "cannot open case file 'none.csv': No such file or directory"},
        {{"batch", "semi.csv"}, 1, "", "columns are separated by commas, and this header has semicolons"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        ScratchDir dir;
        dir.write("c.csv", "slope\n0\n");
        dir.write("semi.csv", "slope;h1\n0;57\n");
        const ProgramRun r = runStudy(c.args, dir);
        EXPECT_EQ(c.status, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.out.find(c.out)) << r.out.substr(0, 400);
        EXPECT_NE(std::string::npos, r.err.find(c.err)) << r.err;
        if (*c.err) {
            EXPECT_EQ(1, lines(r.err)) << r.err;
        }
    }
}

} // namespace
