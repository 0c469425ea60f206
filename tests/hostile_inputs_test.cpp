// Hostile inputs to egm-shielding, each with its outcome: the rate the model
// gives for what was read, or a refusal in one line with exit status 1 (a
// value that is not finite, a file without values, a negative flash density,
// a slope of 90 degrees or more). Nothing may crash or leave a partial result
// file. A rate that is not finite is still printed and written, with status 1.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "EGMs2x.h"
#include "bits.h"
#include "expected_output.h"
#include "program_run.h"

namespace {

const std::string kProgram = EGM_SHIELDING_EXE;
const std::vector<std::string> kParameterTokens = {"2.8", "0", "23.5", "31", "2.8"};
const std::vector<std::string> kGeometryTokens = {"9.89", "-9.89", "11.2", "-11.2", "57", "57", "42", "42"};

std::string joined(const std::vector<std::string>& tokens)
{
    std::string text;
    for (const std::string& t : tokens) {
        text += t + " ";
    }
    return text;
}

struct HostileCase {
    std::string name;
    std::string parameters = joined(kParameterTokens);
    std::string geometry = joined(kGeometryTokens);
    std::string control = "geo.txt par.txt res.txt";
    bool refused = false;
    egm::Inputs expected; // what must have been read, when not refused
    std::string mentions; // part of the message on standard error
};

void setParameter(egm::Inputs& in, int position, double value)
{
    double* fields[5] = {&in.flashDensity, &in.slope, &in.lowestCurrent, &in.distribution.scale,
                         &in.distribution.exponent};
    *fields[position] = value;
}

void setGeometry(egm::Inputs& in, int position, double value)
{
    egm::TowerWire& w = in.tower.wires[static_cast<std::size_t>(position % 4)];
    (position < 4 ? w.x : w.height) = value;
}

std::vector<HostileCase> hostileCases()
{
    std::vector<HostileCase> cases;
    const auto add = [&](HostileCase c) { cases.push_back(std::move(c)); };

    add({.name = "empty parameter file", .parameters = "", .refused = true, .mentions = "holds no value"});
    add({.name = "empty geometry file", .geometry = "", .refused = true, .mentions = "holds no value"});
    add({.name = "white space only",
         .parameters = " \t\n\r\v\f \n",
         .geometry = "\n\n",
         .refused = true,
         .mentions = "parameter file 'par.txt' holds no value"});
    {
        HostileCase c{.name = "negative heights", .geometry = "9.89 -9.89 11.2 -11.2 -57 -57 -42 -42"};
        c.expected.tower = egm::towerOf(egm::Line{{9.89, -57}, {-9.89, -57}, {11.2, -42}, {-11.2, -42}}, 0.8);
        add(c);
    }
    for (const char* scale : {"0", "-31", "-0"}) {
        HostileCase c{.name = std::string("current scale ") + scale,
                      .parameters = std::string("2.8 0 23.5 ") + scale + " 2.8"};
        c.expected.distribution.scale = std::strtod(scale, nullptr);
        add(c);
    }

    // Non-finite, hexadecimal and huge values in every position of both files.
    const std::vector<std::string> odd = {"nan", "inf", "-inf", "0x1.8p+1", "1e308", "-1e308"};
    for (int position = 0; position < 5; ++position) {
        for (const std::string& token : odd) {
            std::vector<std::string> tokens = kParameterTokens;
            tokens[position] = token;
            HostileCase c{.name = "parameter " + std::to_string(position + 1) + " = " + token,
                          .parameters = joined(tokens)};
            const double value = std::strtod(token.c_str(), nullptr);
            setParameter(c.expected, position, value);
            std::int32_t loop = 0;
            std::int32_t storage = 0;
            if (!std::isfinite(value)) {
                c.refused = true;
                c.mentions = "not a finite number";
            } else if (position == 0 && value < 0) {
                c.refused = true;
                c.mentions = "ground flash density";
            } else if (position == 1 && std::fabs(value) >= 90) {
                c.refused = true;
                c.mentions = "ground slope";
            } else if (position == 2 && !egm::model::integrationStepCounts(value, loop, storage)) {
                c.refused = true;
                c.mentions = "minimum current";
            }
            add(c);
        }
    }
    for (int position = 0; position < 8; ++position) {
        for (const std::string& token : odd) {
            std::vector<std::string> tokens = kGeometryTokens;
            tokens[position] = token;
            HostileCase c{.name = "geometry " + std::to_string(position + 1) + " = " + token,
                          .geometry = joined(tokens)};
            const double value = std::strtod(token.c_str(), nullptr);
            setGeometry(c.expected, position, value);
            if (!std::isfinite(value)) {
                c.refused = true;
                c.mentions = "not a finite number";
            }
            add(c);
        }
    }

    // Lowest currents at and around the edge of what steps of 1 kA can reach.
    struct Current {
        const char* token;
        bool refused;
    };
    for (const Current& m : {Current{"nan", true}, Current{"-nan", true}, Current{"1e300", true},
                             Current{"-1e300", true}, Current{"9007199254740992", false},
                             Current{"9007199254740991", false}, Current{"9007199254740994", true}}) {
        HostileCase c{.name = std::string("minimum current ") + m.token,
                      .parameters = std::string("2.8 0 ") + m.token + " 31 2.8",
                      .refused = m.refused};
        c.expected.lowestCurrent = std::strtod(m.token, nullptr);
        if (m.refused) {
            c.mentions = std::isfinite(c.expected.lowestCurrent) ? "minimum current" : "not a finite number";
        }
        add(c);
    }
    add({.name = "control file names one file",
         .control = "geo.txt",
         .refused = true,
         .mentions = "names 1"});
    return cases;
}

// Each case gives the rate EGMs2x gives for what was read, printed and
// written (exit status 1 when that rate is not finite), or a refusal.
TEST(HostileInputs, EachGivesItsOutcome)
{
    for (const HostileCase& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        dir.write("ctl.txt", c.control);
        dir.write("par.txt", c.parameters);
        dir.write("geo.txt", c.geometry);
        const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
        std::vector<std::string> left = {"ctl.txt", "geo.txt", "par.txt"};
        if (c.refused) {
            EXPECT_EQ(1, r.status);
            EXPECT_EQ("", r.out);
            EXPECT_EQ(1, lineCount(r.err)) << r.err;
        } else {
            const std::string expected = printedTotal(c.expected);
            const bool finite = std::isfinite(std::strtod(expected.c_str(), nullptr));
            EXPECT_EQ(finite ? 0 : 1, r.status) << r.err;
            // The sign of a NaN that comes out of arithmetic on NaNs is the
            // compiler's choice of operand order, not the model's.
            const bool bothNaN =
                expected.find("nan") != std::string::npos && r.out.find("nan") != std::string::npos;
            EXPECT_TRUE(bothNaN || expected == r.out) << expected << " vs " << r.out;
            EXPECT_EQ(r.out, dir.read("res.txt"));
            EXPECT_EQ(finite, r.err.find("no finite rate") == std::string::npos) << r.err;
            EXPECT_LE(lineCount(r.err), 3) << r.err;
            left.push_back("res.txt");
        }
        if (!c.mentions.empty()) {
            EXPECT_NE(std::string::npos, r.err.find(c.mentions)) << r.err;
        }
        EXPECT_EQ(left, dir.entries());
    }
}

TEST(HostileInputs, ResultInAMissingFolderLeavesNothing)
{
    ScratchDir dir;
    dir.write("ctl.txt", "geo.txt par.txt missing/deeper/res.txt");
    dir.write("par.txt", joined(kParameterTokens));
    dir.write("geo.txt", joined(kGeometryTokens));
    const ProgramRun r = runProgram(kProgram, dir.path(), {"ctl.txt"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("0.229752", r.out);
    EXPECT_NE(std::string::npos, r.err.find("missing/deeper/res.txt")) << r.err;
    EXPECT_EQ((std::vector<std::string>{"ctl.txt", "geo.txt", "par.txt"}), dir.entries());
}

TEST(HostileInputs, UnreadableGeometryFile)
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
    dir.write("par.txt", joined(kParameterTokens));
    dir.write("geo.txt", joined(kGeometryTokens));
    fs::permissions(dir / "geo.txt", fs::perms::none);
    const ProgramRun r = runProgramThrough(user.launcher, kProgram, dir.path(), {"ctl.txt"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find("geo.txt")) << r.err;
    EXPECT_FALSE(fs::exists(dir / "res.txt"));
}

} // namespace
