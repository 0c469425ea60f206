// Any conductor name, however long, keeps every table whole: the rows of
// rate, compare and batch carry the name and all their figures, and no row
// runs into the next.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sstream>

#include "bits.h"
#include "egm/input_table.h"
#include "egm/shielding.h"
#include "program_run.h"
#include "study_csv_text.h"
#include "tower_file.h"

namespace {

const std::string kLong(300, 'A'); // a conductor's name of 300 characters
const std::string kTower = "name,kind,x,height,voltage-term\n"
                           "g,ground wire,0,55,0\n" +
                           kLong + ",conductor,6,45,0\nB,conductor,-6,45,0\n";

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> wordsOf(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

struct LongNames : ::testing::Test {
    ScratchDir dir;
    egm::Inputs inputs;
    void SetUp() override
    {
        dir.write("tower.csv", kTower);
        inputs.tower = egm::io::readTowerFile((dir / "tower.csv").string());
    }
    ProgramRun study(const std::vector<std::string>& args) const
    {
        return runProgram(EGM_STUDY_EXE, dir.path(), args, "", "");
    }
};

TEST_F(LongNames, RateTextGivesTheLongNamesRate)
{
    const ProgramRun run = study({"rate", "--tower", "tower.csv"});
    ASSERT_EQ(0, run.status) << run.err;
    const egm::Result r = egm::computeRates(inputs);
    int found = 0;
    for (const std::string& line : linesOf(run.out)) {
        if (line.find(kLong) != std::string::npos && wordsOf(line).size() == 2 &&
            wordsOf(line)[1] == egm::shortestText(r.conductors[0].rate)) {
            ++found;
        }
    }
    EXPECT_EQ(1, found) << run.out;
}

TEST_F(LongNames, CompareTextKeepsEveryRowWhole)
{
    const ProgramRun run = study({"compare", "--tower", "tower.csv"});
    ASSERT_EQ(0, run.status) << run.err;
    const std::vector<std::string> lines = linesOf(run.out);
    // A heading, the column names, five laws of two conductors and a total,
    // three lines under them.
    ASSERT_EQ(2u + 5u * 3u + 3u, lines.size()) << run.out;
    int rows = 0;
    for (const std::string& line : lines) {
        if (line.find(kLong) == std::string::npos) {
            continue;
        }
        ++rows;
        // law, name, share, exposure, max I, classic: nothing lost, nothing glued on.
        const std::vector<std::string> w = wordsOf(line);
        ASSERT_EQ(6u, w.size()) << line;
        egm::Inputs law = inputs;
        law.law.kind = *egm::lawNamed(w[0]);
        EXPECT_EQ(fmt::format("{:.6g}", egm::computeRates(law).conductors[0].rate), w[2]) << w[0];
    }
    EXPECT_EQ(5, rows);
}

TEST_F(LongNames, BatchColumnsNameTheLongConductor)
{
    dir.write("cases.csv", "name,tower,slope\nflat,tower.csv,0\nsteep,tower.csv,25\n");
    const ProgramRun run = study({"batch", "cases.csv"});
    ASSERT_EQ(0, run.status) << run.err;
    const std::vector<egm::io::CsvRecord> rows = csvRecords(run.out);
    ASSERT_EQ(3u, rows.size());
    const std::vector<std::string>& header = rows[0].fields;
    const auto at = std::find(header.begin(), header.end(), kLong) - header.begin();
    ASSERT_LT(static_cast<std::size_t>(at), header.size());
    EXPECT_NE(header.end(), std::find(header.begin(), header.end(), "maxCurrent" + kLong));
    for (std::size_t k = 1; k < rows.size(); ++k) {
        ASSERT_EQ(header.size(), rows[k].fields.size());
        egm::Inputs in = inputs;
        in.slope = k == 1 ? 0.0 : 25.0;
        EXPECT_EQ(egm::shortestText(egm::computeRates(in).conductors[0].rate), rows[k].fields[at]);
    }
}

} // namespace
