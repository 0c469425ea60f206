// Tower files: the reader (columns in any order and letter case, optional
// columns, every reason a tower is refused with its file and row), and
// egm-study with --tower end to end: rates keyed by the wires' names
// against independent reference figures, strokes per wire, batches naming
// tower files, and the flags --tower cannot go with.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bits.h"
#include "egm/shielding.h"
#include "program_run.h"
#include "study_csv_text.h"
#include "tower_file.h"

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

egm::Tower towerOfText(const std::string& text)
{
    std::istringstream in(text);
    return egm::io::readTower(in, "t.csv");
}

TEST(TowerFile, ColumnsInAnyOrderAndCaseWithTheOptionalOnesLeftOut)
{
    const egm::Tower t = towerOfText("\xEF\xBB\xBF"
                                     "HEIGHT,Kind,x\n# the ground wire first\n57,GROUND WIRE,0\n"
                                     "42,Conductor,-11.2\n42,conductor,11.2\n");
    ASSERT_EQ(3u, t.size());
    EXPECT_EQ(egm::WireKind::groundWire, t.wires[0].kind);
    EXPECT_EQ(egm::WireKind::conductor, t.wires[1].kind);
    EXPECT_EQ(egm::WireKind::conductor, t.wires[2].kind);
    EXPECT_SAME_BITS(57.0, t.wires[0].height);
    EXPECT_SAME_BITS(-11.2, t.wires[1].x);
    for (const egm::TowerWire& w : t.wires) {
        EXPECT_EQ("", w.name);
        EXPECT_SAME_BITS(0.0, w.voltageTerm);
    }
    EXPECT_EQ((std::vector<std::string>{"groundWire1", "conductor1", "conductor2"}), t.names());

    const egm::Tower named = towerOfText(kDoubleCircuit);
    ASSERT_EQ(7u, named.size());
    EXPECT_EQ("earth", named.nameOf(0));
    EXPECT_EQ("c2", named.nameOf(6));
    EXPECT_SAME_BITS(-6.5, named.wires[6].x);
    // Voltage terms given, one left empty; spreadsheets' trailing comma.
    const egm::Tower voltages =
        towerOfText("kind,x,height,voltage-term,\nconductor,1,30,0.4,\nconductor,-1,30,,\n");
    EXPECT_SAME_BITS(0.4, voltages.wires[0].voltageTerm);
    EXPECT_SAME_BITS(0.0, voltages.wires[1].voltageTerm);
}

std::string manyConductors(int count)
{
    std::string text = "kind,x,height\n";
    for (int k = 0; k < count; ++k) {
        text += "conductor," + std::to_string(k) + ",30\n";
    }
    return text;
}

struct BadTower {
    const char* what;
    std::string text;
    int line;             // the row named
    const char* mentions; // in the reason
};

const BadTower kBadTowers[] = {
    {"no conductor", "kind,x,height\nground wire,0,30\nground wire,5,30\n", 3, "conductor"},
    {"more than 16 wires", manyConductors(17), 18, "more than 16 wires"},
    {"a height that is not finite", "kind,x,height\nconductor,0,30\nconductor,1,inf\n", 3, "height inf"},
    {"a NaN x", "kind,x,height\nconductor,nan,30\n", 2, "nan"},
    {"x out of range", "kind,x,height\nconductor,0,30\n\n# spare\nconductor,1001,30\n", 5, "1001"},
    {"a height of 0", "kind,x,height\nconductor,0,0\n", 2, "height 0"},
    {"a height too great", "kind,x,height\nconductor,0,1000.5\n", 2, "1000.5"},
    {"not a number", "kind,x,height\nconductor,0,high\n", 2, "height 'high' is not a number"},
    {"an unknown kind", "kind,x,height\nconductor,0,30\nphase,1,30\n", 3, "kind 'phase'"},
    {"a kind left empty", "kind,x,height\n,1,30\n", 2, "kind"},
    {"two wires of one name", "name,kind,x,height\na,conductor,0,30\nb,conductor,1,30\na,conductor,2,30\n", 4,
     "a"},
    {"a voltage term on a ground wire", "kind,x,height,voltage-term\nconductor,0,30,\nground wire,0,40,0.5\n",
     3, "voltage"},
    {"the column height missing", "name,kind,x\na,conductor,0\n", 1, "column 'height' is missing"},
    {"the column kind missing", "x,height\n0,30\n", 1, "column 'kind' is missing"},
    {"an unknown column", "kind,x,height,phase\nconductor,0,30,a\n", 1, "unknown column 'phase'"},
    {"a row short of fields", "kind,x,height\nconductor,0\n", 2, "2 fields where the header has 3"},
    {"an empty file", "", 1, "empty"},
    {"a header alone", "kind,x,height\n", 1, "no wire"},
};

TEST(TowerFile, EachBadTowerIsOneLineNamingTheFileAndTheRow)
{
    for (const BadTower& bad : kBadTowers) {
        SCOPED_TRACE(bad.what);
        try {
            towerOfText(bad.text);
            ADD_FAILURE() << "read";
        } catch (const egm::io::TowerFileError& e) {
            const std::string message = e.what();
            EXPECT_EQ(0u, message.find("tower file 't.csv', line " + std::to_string(bad.line) + ": "))
                << message;
            EXPECT_NE(std::string::npos, message.find(bad.mentions)) << message;
            EXPECT_EQ(std::string::npos, message.find('\n')) << message;
        }
    }
}

TEST(TowerFile, BadTowersEndToEndExitOneWithOneLine)
{
    for (const BadTower& bad : kBadTowers) {
        SCOPED_TRACE(bad.what);
        ScratchDir dir;
        dir.write("t.csv", bad.text);
        const ProgramRun r = study({"rate", "--tower", "t.csv"}, dir);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_EQ(0u, r.err.find("egm-study: tower file 't.csv', line " + std::to_string(bad.line) + ": "))
            << r.err;
    }
    ScratchDir dir;
    const ProgramRun missing = study({"rate", "--tower", "none.csv"}, dir);
    EXPECT_EQ(1, missing.status);
    EXPECT_EQ(1, lineCount(missing.err));
    EXPECT_NE(std::string::npos, missing.err.find("cannot open tower file 'none.csv'")) << missing.err;
}

// The reference figures: name, flash density, slope, lowest current,
// current scale and exponent, the tower (g:x,h or c:x,h,U per wire), the
// rates per conductor and the total, as hexadecimal floats.
struct Reference {
    std::string name;
    std::vector<std::string> inputs; // ngf, slope, imin, scale, expo
    std::string towerFile;
    std::vector<double> rates;
    double total = 0.0;
};

std::vector<std::string> split(const std::string& text, char by)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, by)) {
        parts.push_back(part);
    }
    return parts;
}

std::vector<Reference> references()
{
    std::ifstream in(std::string(EGM_TEST_DATA_DIR) + "/contact.tsv");
    std::vector<Reference> all;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::vector<std::string> f = split(line, '\t');
        if (f.size() != 9) {
            ADD_FAILURE() << "contact.tsv: " << line;
            continue;
        }
        Reference r;
        r.name = f[0];
        r.inputs.assign(f.begin() + 1, f.begin() + 6);
        r.towerFile = "kind,x,height,voltage-term\n";
        for (const std::string& wire : split(f[6], ' ')) {
            const std::vector<std::string> v = split(wire.substr(2), ',');
            r.towerFile += (wire[0] == 'g' ? "ground wire," : "conductor,") + v[0] + "," + v[1] + "," +
                           (v.size() > 2 ? v[2] : "") + "\n";
        }
        for (const std::string& rate : split(f[7], ' ')) {
            r.rates.push_back(real(rate));
        }
        r.total = real(f[8]);
        all.push_back(r);
    }
    return all;
}

TEST(StudyTower, RatesKeyedByNameAgreeWithTheReferenceFigures)
{
    const std::vector<Reference> all = references();
    ASSERT_GE(all.size(), 5u);
    for (const Reference& ref : all) {
        SCOPED_TRACE(ref.name);
        ScratchDir dir;
        dir.write("tower.csv", ref.towerFile);
        const ProgramRun r = study({"rate", "--tower", "tower.csv", "--format", "json", "--flash-density",
                                    ref.inputs[0], "--slope", ref.inputs[1], "--min-current", ref.inputs[2],
                                    "--current-scale", ref.inputs[3], "--current-exponent", ref.inputs[4]},
                                   dir);
        ASSERT_EQ(0, r.status) << r.err;
        const nlohmann::json j = nlohmann::json::parse(r.out);
        EXPECT_EQ("first-contact", j["evaluation"].get<std::string>());
        // One key per conductor, named by default, and the total.
        ASSERT_EQ(ref.rates.size() + 1, j["rates"].size());
        const double tolerance = 1e-9 * ref.total; // the reference figures' agreement, of the total
        for (std::size_t c = 0; c < ref.rates.size(); ++c) {
            const std::string name = "conductor" + std::to_string(c + 1);
            EXPECT_NEAR(ref.rates[c], j["rates"][name].get<double>(), tolerance) << name;
            EXPECT_TRUE(j["maxShieldingFailureCurrent"].contains(name));
            EXPECT_TRUE(j["classicalExposedAtTop"].contains(name));
        }
        EXPECT_NEAR(ref.total, j["rates"]["total"].get<double>(), tolerance);
        EXPECT_EQ(split(ref.towerFile, '\n').size() - 1, j["tower"].size());
        EXPECT_EQ("tower.csv", j["inputs"]["tower"].get<std::string>());
        // The four-wire line's inputs apply only to a four-wire line.
        const bool fourWire = egm::isFourWireLine(towerOfText(ref.towerFile));
        EXPECT_EQ(fourWire, j["inputs"].contains("h1"));
        EXPECT_EQ(fourWire, j["inputs"].contains("voltage-term"));
    }
}

TEST(StudyTower, NamedWiresInJsonTextAndStrokes)
{
    ScratchDir dir;
    dir.write("dc.csv", kDoubleCircuit);
    const ProgramRun r = study({"rate", "--tower", "dc.csv", "--min-current", "3", "--format", "json"}, dir);
    ASSERT_EQ(0, r.status) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    egm::Inputs in;
    in.tower = towerOfText(kDoubleCircuit);
    in.lowestCurrent = 3.0;
    const egm::Result e = egm::computeRates(in);
    ASSERT_EQ(6u, e.conductors.size());
    ASSERT_EQ(7u, j["rates"].size());
    for (const egm::ConductorResult& c : e.conductors) {
        EXPECT_SAME_BITS(c.rate, j["rates"][c.name].get<double>());
    }
    EXPECT_SAME_BITS(e.totalRate, j["rates"]["total"].get<double>());
    EXPECT_EQ("earth", j["tower"][0]["name"].get<std::string>());
    EXPECT_EQ("ground wire", j["tower"][0]["kind"].get<std::string>());
    EXPECT_EQ(-6.5, j["tower"][6]["x"].get<double>());

    // Text: a line per conductor, in the tower's order, then the total.
    const ProgramRun text = study({"rate", "--tower", "dc.csv", "--min-current", "3"}, dir);
    ASSERT_EQ(0, text.status) << text.err;
    std::istringstream lines(text.out);
    std::vector<std::string> all;
    for (std::string l; std::getline(lines, l);) {
        all.push_back(l);
    }
    ASSERT_GE(all.size(), 8u);
    const char* order[] = {"a1", "b1", "c1", "a2", "b2", "c2", "total"};
    for (std::size_t k = 0; k < 7; ++k) {
        EXPECT_EQ(0u, all[k + 1].find(std::string("  ") + order[k] + " ")) << all[k + 1];
    }

    // Strokes: a width column per wire, named.
    const ProgramRun s = study({"strokes", "--tower", "dc.csv", "--current", "10", "-o", "s.csv"}, dir);
    ASSERT_EQ(0, s.status) << s.err;
    const auto rows = csvRecords(dir.read("s.csv"));
    ASSERT_EQ(181u, rows.size());
    EXPECT_EQ((std::vector<std::string>{"current", "theta", "degrees", "earth", "a1", "b1", "c1", "a2", "b2",
                                        "c2", "evaluation", "law"}),
              rows[0].fields);
    const auto widths = egm::strokesAtCurrent(in, 10.0);
    for (int l = 0; l < 180; l += 17) {
        for (std::size_t w = 0; w < 7; ++w) {
            EXPECT_SAME_BITS(widths[l][w], real(rows[l + 1].fields[3 + w]));
        }
    }
}

TEST(StudyTower, BatchWithTowerFilesBesideTheCaseFile)
{
    ScratchDir dir;
    fs::create_directories(dir / "study" / "towers");
    dir.write("study/towers/dc.csv", kDoubleCircuit);
    dir.write("study/towers/bad.csv", "kind,x,height\nground wire,0,30\n");
    dir.write("study/cases.csv", "name,tower,slope,h1\n"
                                 "double,towers/dc.csv,5,\n"
                                 "line,,5,60\n"
                                 "broken,towers/bad.csv,0,\n"
                                 "again,towers/dc.csv,-5,\n"
                                 "mixed,towers/dc.csv,0,60\n");
    const ProgramRun r = study({"batch", "study/cases.csv", "-o", "out.csv"}, dir);
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("2 of 5 cases could not be computed")) << r.err;
    const auto rows = csvRecords(dir.read("out.csv"));
    ASSERT_EQ(6u, rows.size());
    const std::vector<std::string>& header = rows[0].fields;
    // The union of the conductors in order of first appearance.
    const std::vector<std::string> first(header.begin() + 3, header.begin() + 12);
    EXPECT_EQ(
        (std::vector<std::string>{"a1", "b1", "c1", "a2", "b2", "c2", "conductor1", "conductor2", "total"}),
        first);
    EXPECT_NE(header.end(), std::find(header.begin(), header.end(), "maxCurrentB2"));
    const auto column = [&](std::size_t row, const std::string& name) {
        return rows[row].fields.at(std::find(header.begin(), header.end(), name) - header.begin());
    };
    for (std::size_t row = 1; row < rows.size(); ++row) {
        EXPECT_EQ(header.size(), rows[row].fields.size()) << row;
    }

    egm::Inputs dc;
    dc.tower = towerOfText(kDoubleCircuit);
    for (const auto& [row, slope] : {std::pair{1u, 5.0}, std::pair{4u, -5.0}}) {
        SCOPED_TRACE(row);
        dc.slope = slope;
        const egm::Result e = egm::computeRates(dc);
        for (const egm::ConductorResult& c : e.conductors) {
            EXPECT_SAME_BITS(c.rate, real(column(row, c.name))) << c.name;
        }
        EXPECT_SAME_BITS(e.totalRate, real(column(row, "total")));
        EXPECT_EQ("", column(row, "conductor1"));
        EXPECT_EQ("", column(row, "maxCurrentConductor2"));
        EXPECT_EQ("", column(row, "error"));
    }
    egm::Line line;
    line.groundWire1.height = 60.0;
    egm::Inputs four;
    four.tower = egm::towerOf(line, 0.8);
    four.slope = 5.0;
    EXPECT_SAME_BITS(egm::computeRates(four).totalRate, real(column(2, "total")));
    EXPECT_EQ("", column(2, "a1"));
    EXPECT_EQ("", column(2, "error"));
    EXPECT_EQ(0u, column(3, "error").find("line 4: tower file '")) << column(3, "error");
    EXPECT_NE(std::string::npos, column(3, "error").find("bad.csv', line 2: ")) << column(3, "error");
    EXPECT_EQ("", column(3, "total"));
    EXPECT_EQ(0u, column(5, "error").find("line 6: ")) << column(5, "error");
    EXPECT_NE(std::string::npos, column(5, "error").find("h1")) << column(5, "error");
}

TEST(StudyTower, TowerConflictsWithTheFourWireLinesInputs)
{
    const std::vector<std::string> conflicting[] = {
        {"--geometry", "1", "2", "3", "4", "5", "6", "7", "8"},
        {"--control", "ctl.txt"},
        {"--x1", "5"},
        {"--h4", "30"},
        {"--ground-wire-height", "60"},
        {"--conductor-spread", "20"},
        {"--voltage-term", "0.5"},
    };
    for (const auto& extra : conflicting) {
        SCOPED_TRACE(extra[0]);
        ScratchDir dir;
        dir.write("dc.csv", kDoubleCircuit);
        dir.write("ctl.txt", "geo.txt par.txt res.txt");
        std::vector<std::string> args = {"rate", "--tower", "dc.csv"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProgramRun r = study(args, dir);
        EXPECT_EQ(2, r.status) << r.err;
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(extra[0])) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("--tower")) << r.err;
    }
}

TEST(StudyTower, CompatRefusesOtherTowersAndTiesAreNoted)
{
    ScratchDir dir;
    dir.write("dc.csv", kDoubleCircuit);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"rate", "--tower", "dc.csv", "--compat"},
          std::vector<std::string>{"rate", "--tower", "dc.csv", "--evaluation", "compat"}}) {
        const ProgramRun r = study(args, dir);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("", r.out);
        EXPECT_EQ(1, lineCount(r.err)) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("compat")) << r.err;
    }
    // Two wires at the same place: computed, with the library's note.
    dir.write("tie.csv", "kind,x,height\nground wire,0,40\nconductor,0,40\nconductor,5,30\n");
    const ProgramRun tie = study({"rate", "--tower", "tie.csv", "--format", "json"}, dir);
    ASSERT_EQ(0, tie.status) << tie.err;
    const nlohmann::json j = nlohmann::json::parse(tie.out);
    ASSERT_FALSE(j["notes"].empty());
    EXPECT_NE(std::string::npos, tie.err.find(j["notes"][0].get<std::string>())) << tie.err;
}

TEST(StudyTower, DrawAndDesignWithATower)
{
    ScratchDir dir;
    dir.write("dc.csv", kDoubleCircuit);
    dir.write("two.csv", "name,kind,x,height\nleft,ground wire,-3,50\nright,ground wire,5,50\n"
                         "p,conductor,-7,40\nq,conductor,7,40\n");
#ifdef EGM_HAVE_CAIRO
    const ProgramRun draw =
        study({"draw", "--tower", "dc.csv", "--current", "5", "--angle", "70", "-o", "s.svg"}, dir);
    EXPECT_EQ(0, draw.status) << draw.err;
    EXPECT_TRUE(fs::exists(dir / "s.svg"));
#endif
    // Spread needs exactly two ground wires; the height moves every one.
    const ProgramRun spread =
        study({"design", "--tower", "dc.csv", "--variable", "spread", "--target", "total=1"}, dir);
    EXPECT_EQ(2, spread.status);
    EXPECT_NE(std::string::npos, spread.err.find("two ground wires")) << spread.err;
    const ProgramRun height = study({"design", "--tower", "two.csv", "--variable", "ground-wire-height",
                                     "--target", "q=0.01", "--format", "json"},
                                    dir);
    ASSERT_LE(height.status, 1) << height.err;
    const nlohmann::json j = nlohmann::json::parse(height.out);
    EXPECT_EQ("q", j["target"]["kind"].get<std::string>());
    EXPECT_TRUE(j["solution"]["rates"].contains("p"));
    const ProgramRun pair =
        study({"design", "--tower", "two.csv", "--variable", "spread", "--target", "each=0.5"}, dir);
    EXPECT_LE(pair.status, 1) << pair.err;
    const ProgramRun unknown =
        study({"design", "--tower", "two.csv", "--variable", "spread", "--target", "conductor1=0.5"}, dir);
    EXPECT_EQ(2, unknown.status);
    EXPECT_NE(std::string::npos, unknown.err.find("p=R, q=R")) << unknown.err;
}

// A sag in the tower file computes as the same tower with each wire at its
// span's average height, the tower height less 2/3 of the sag; the outputs
// say which heights were used.
TEST(StudyTower, SagLowersEachWireByTwoThirdsOfIt)
{
    ScratchDir dir;
    const struct {
        const char* name;
        const char* sagged;
        const char* lowered;
        std::vector<double> heights; // tower order
    } cases[] = {
        {"four-wire line",
         "kind,x,height,voltage-term,sag\nground wire,9.89,57,,6\nground wire,-9.89,57,,6\n"
         "conductor,11.2,42,0.8,9\nconductor,-11.2,42,-0.8,9\n",
         "kind,x,height,voltage-term\nground wire,9.89,53,\nground wire,-9.89,53,\n"
         "conductor,11.2,36,0.8\nconductor,-11.2,36,-0.8\n",
         {53, 53, 36, 36}},
        {"double circuit, sag on some wires",
         "name,kind,x,height,voltage-term,sag\nearth,ground wire,0,55,,4.5\na1,conductor,6,45,0,0\n"
         "b1,conductor,8,37,0,3\nc1,conductor,6.5,29,0,0\na2,conductor,-6,45,0,0\n"
         "b2,conductor,-8,37,0,3\nc2,conductor,-6.5,29,0,0\n",
         "name,kind,x,height,voltage-term\nearth,ground wire,0,52,\na1,conductor,6,45,0\n"
         "b1,conductor,8,35,0\nc1,conductor,6.5,29,0\na2,conductor,-6,45,0\n"
         "b2,conductor,-8,35,0\nc2,conductor,-6.5,29,0\n",
         {52, 45, 35, 29, 45, 35, 29}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write("sagged.csv", c.sagged);
        dir.write("lowered.csv", c.lowered);
        for (const char* method : {"share", "exposure"}) {
            SCOPED_TRACE(method);
            const auto json = [&](const char* tower) {
                const ProgramRun r = study({"rate", "--tower", tower, "--rate-method", method,
                                            "--min-current", "5", "--format", "json"},
                                           dir);
                EXPECT_EQ(0, r.status) << r.err;
                return nlohmann::json::parse(r.out);
            };
            const nlohmann::json sagged = json("sagged.csv");
            const nlohmann::json lowered = json("lowered.csv");
            ASSERT_EQ(lowered["rates"].size(), sagged["rates"].size());
            // The wires catch at their average heights; the share method's
            // collection width takes the ground wires' at the tower.
            const double scale = std::string(method) == "share" ? sagged["collectionWidth"].get<double>() /
                                                                      lowered["collectionWidth"].get<double>()
                                                                : 1.0;
            for (const auto& [name, rate] : lowered["rates"].items()) {
                SCOPED_TRACE(name);
                const double want = rate.get<double>() * scale;
                EXPECT_NEAR(want, sagged["rates"][name].get<double>(), 1e-12 * (1.0 + std::abs(want)));
            }
            EXPECT_EQ(lowered["maxShieldingFailureCurrent"], sagged["maxShieldingFailureCurrent"]);
            // The heights computed with, per wire by name.
            const egm::Tower tower = towerOfText(c.sagged);
            ASSERT_EQ(tower.size(), sagged["heights"].size());
            for (std::size_t k = 0; k < tower.size(); ++k) {
                EXPECT_NEAR(c.heights[k], sagged["heights"][tower.nameOf(k)].get<double>(), 1e-12);
                EXPECT_EQ(lowered["heights"][tower.nameOf(k)], lowered["tower"][k]["height"]);
            }
        }
        // Text: one line of the heights used, only when a wire has a sag.
        const ProgramRun text = study({"rate", "--tower", "sagged.csv"}, dir);
        EXPECT_NE(std::string::npos, text.out.find("  heights (less 2/3 sag) ")) << text.out;
        const ProgramRun plain = study({"rate", "--tower", "lowered.csv"}, dir);
        EXPECT_EQ(std::string::npos, plain.out.find("heights")) << plain.out;
        // CSV: a height column per wire.
        const auto csv = csvRecords(study({"rate", "--tower", "sagged.csv", "--format", "csv"}, dir).out);
        ASSERT_EQ(2u, csv.size());
        const egm::Tower tower = towerOfText(c.sagged);
        for (std::size_t k = 0; k < tower.size(); ++k) {
            std::string column = "height" + tower.nameOf(k);
            column[6] = static_cast<char>(std::toupper(static_cast<unsigned char>(column[6])));
            const auto at = std::find(csv[0].fields.begin(), csv[0].fields.end(), column);
            ASSERT_NE(csv[0].fields.end(), at) << column;
            EXPECT_NEAR(c.heights[k], real(csv[1].fields[at - csv[0].fields.begin()]), 1e-12);
        }
    }
    // The four-wire line's flags: the lowered line's heights, and the
    // collection width at the tower's.
    const ProgramRun flags =
        study({"rate", "--ground-wire-sag", "6", "--conductor-sag", "9", "--format", "json"}, dir);
    const ProgramRun heights =
        study({"rate", "--h1", "53", "--h2", "53", "--h3", "36", "--h4", "36", "--format", "json"}, dir);
    ASSERT_EQ(0, flags.status) << flags.err;
    const nlohmann::json a = nlohmann::json::parse(flags.out);
    const nlohmann::json b = nlohmann::json::parse(heights.out);
    const double widths = a["collectionWidth"].get<double>() / b["collectionWidth"].get<double>();
    EXPECT_NEAR(28.0 * std::pow(57.0, 0.6) + 19.78, a["collectionWidth"].get<double>(), 1e-9);
    EXPECT_NEAR(b["rates"]["total"].get<double>() * widths, a["rates"]["total"].get<double>(), 1e-12);
    EXPECT_EQ(b["heights"], a["heights"]);
}

} // namespace
