// The tower file reader on its own: the reserved name of the total in any
// letter case, the spreadsheets' trailing comma only where the header has
// it too, and a header separated by semicolons told to use commas.
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "egm/shielding.h"
#include "program_run.h"
#include "tower_file.h"

namespace {

egm::Tower towerOfText(const std::string& text)
{
    std::istringstream in(text);
    return egm::io::readTower(in, "t.csv");
}

// The message reading text gives, or "" when the tower is read.
std::string refusalOf(const std::string& text)
{
    try {
        towerOfText(text);
    } catch (const egm::io::TowerFileError& e) {
        return e.what();
    }
    return "";
}

TEST(TowerFileRows, WhatEachRowMayHold)
{
    struct Case {
        const char* name;
        std::string text;
        const char* refusal; // the whole message; empty: read
    };
    const std::string header = "name,kind,x,height\n";
    const Case cases[] = {
        {"the total's name", header + "total,conductor,0,30\n",
         "tower file 't.csv', line 2: name 'total' is taken by the total rate"},
        {"the total's name capitalised", header + "a,conductor,1,30\nTotal,conductor,0,30\n",
         "tower file 't.csv', line 3: name 'total' is taken by the total rate"},
        {"the total's name in capitals, padded", header + " TOTAL ,conductor,0,30\n",
         "tower file 't.csv', line 2: name 'total' is taken by the total rate"},
        {"a name that only starts like it", header + "totals,conductor,0,30\ntotal 2,conductor,1,30\n", ""},
        {"an empty last field without the header's trailing comma", "kind,x,height\nconductor,0,30,\n",
         "tower file 't.csv', line 2: 4 fields where the header has 3"},
        {"two empty last fields under a trailing comma", "kind,x,height,\nconductor,0,30,,\n",
         "tower file 't.csv', line 2: 5 fields where the header has 3"},
        {"a last field with a value under a trailing comma", "kind,x,height,\nconductor,0,30,7\n",
         "tower file 't.csv', line 2: 4 fields where the header has 3"},
        {"the trailing comma on the header and the rows", "kind,x,height,\nconductor,0,30,\n", ""},
        {"the trailing comma on the header only", "kind,x,height,\nconductor,0,30\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.refusal, refusalOf(c.text));
    }
}

TEST(TowerFileHeader, SemicolonsAreToldToBeCommas)
{
    struct Case {
        const char* name;
        const char* text;
        const char* refusal;
    };
    const Case cases[] = {
        {"every column", "name;kind;x;height\na;conductor;0;30\n",
         "tower file 't.csv', line 1: unknown column 'name;kind;x;height': columns are separated by commas, "
         "and this header has semicolons"},
        {"two of them", "kind,x;height\nconductor,0;30\n",
         "tower file 't.csv', line 1: unknown column 'x;height': columns are separated by commas, and this "
         "header has semicolons"},
        {"an unknown column without one", "kind,x,height,phase\nconductor,0,30,a\n",
         "tower file 't.csv', line 1: unknown column 'phase' (name, kind, x, height, voltage-term, sag)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.refusal, refusalOf(c.text));
    }
    // From a file: the message names it.
    ScratchDir dir;
    dir.write("semi.csv", "kind;x;height\nconductor;0;30\n");
    const std::string path = (dir / "semi.csv").string();
    try {
        egm::io::readTowerFile(path);
        ADD_FAILURE() << "read";
    } catch (const egm::io::TowerFileError& e) {
        EXPECT_EQ("tower file '" + path +
                      "', line 1: unknown column 'kind;x;height': columns are separated by commas, and this "
                      "header has semicolons",
                  std::string(e.what()));
    }
}

} // namespace
