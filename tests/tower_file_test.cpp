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
         "tower file 't.csv', line 1: unknown column 'phase' (name, kind, x, height, voltage-term, sag, "
         "critical-current, cfo, insulation-length, surge-impedance, conductor-radius, subconductors, "
         "bundle-radius)"},
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

namespace {

TEST(TowerFileRows, InsulationColumnsGiveEachConductorsCriticalCurrent)
{
    const egm::Tower t = towerOfText("name,kind,x,height,critical-current,CFO,surge-impedance\n"
                                     "e,ground wire,0,40,,,\n"
                                     "a,conductor,5,30,9.5,,\n"
                                     "b,conductor,-5,30,,1200,400\n"
                                     "c,conductor,0,25,,,\n");
    EXPECT_EQ(9.5, t.wires[1].insulation.criticalCurrent);
    EXPECT_FALSE(t.wires[1].insulation.cfo);
    EXPECT_EQ(1200.0, t.wires[2].insulation.cfo);
    EXPECT_EQ(400.0, t.wires[2].insulation.surgeImpedance);
    EXPECT_FALSE(t.wires[3].insulation.given());
    struct Case {
        const char* name;
        const char* text;
        const char* refusal;
    };
    const Case cases[] = {
        {"on a ground wire", "kind,x,height,critical-current\nground wire,0,40,9\nconductor,5,30,\n",
         "tower file 't.csv', line 2: wire 1 (groundWire1): critical-current 9 kA: only conductors have one"},
        {"not a number", "kind,x,height,cfo\nconductor,5,30,1.2MV\n",
         "tower file 't.csv', line 2: cfo '1.2MV' is not a number"},
        {"both Ic and CFO", "kind,x,height,cfo,critical-current\nconductor,5,30,1200,9\n",
         "tower file 't.csv', line 2: wire 1 (conductor1): critical-current 9 kA and cfo 1200 kV: give the "
         "critical current or the insulation, not both"},
        {"a bundle without its radius",
         "kind,x,height,cfo,conductor-radius,subconductors\nconductor,5,30,1200,0.01,4\n",
         "tower file 't.csv', line 2: wire 1 (conductor1): subconductors 4: a bundle needs its "
         "bundle-radius"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.refusal, refusalOf(c.text));
    }
}

} // namespace
