// The pictures' content, checked through the data they are drawn from, and
// each kind of picture rendered to each format.
#include <fstream>

#include "EGM_DQ.h"
#include "bits.h"
#include "circleCrosspoint_initialize.h"
#include "program_run.h"
#include "study_draw.h"

namespace {

TEST(StudyDraw, BuiltInLineAtVerticalIncidence)
{
    circleCrosspoint_initialize();
    const RateInputs in;
    const study::StrokeScene s = study::strokeScene(in, 23.5, 90.0);
    EXPECT_SAME_BITS(integrationAngle(89), s.theta);

    std::vector<int> wires;
    for (const study::DrawnArc& a : s.arcs) {
        wires.push_back(a.wire);
        EXPECT_GT(a.end, a.start);
    }
    EXPECT_EQ((std::vector<int>{1, 2, 3}), wires); // conductor 2 has no exposed arc

    StrokeExposure expected{};
    EGM_DQ(23.5, integrationAngle(89), in.slopeAngle, in.geometry, in.voltageTerm, expected);
    for (int w = 0; w < 4; ++w) {
        EXPECT_SAME_BITS(expected[w], s.widths[w]) << w;
        EXPECT_SAME_BITS(in.geometry[w], s.circle[w].x);
        EXPECT_SAME_BITS(in.geometry[w + 4], s.circle[w].y);
        // The tangent paths end on the ground line.
        EXPECT_SAME_BITS(0.0, s.tangentPaths[2 * w].to.y);
        EXPECT_SAME_BITS(0.0, s.tangentPaths[2 * w + 1].to.y);
    }
    // Ground wires are never cut: their intervals are the ends of their
    // paths; vertical strokes land straight below.
    for (int w = 0; w < 2; ++w) {
        EXPECT_SAME_BITS(s.tangentPaths[2 * w].to.x, s.shadows[w].left);
        EXPECT_SAME_BITS(s.tangentPaths[2 * w + 1].to.x, s.shadows[w].right);
        EXPECT_SAME_BITS(s.tangentPaths[2 * w].from.x, s.tangentPaths[2 * w].to.x);
    }
    EXPECT_SAME_BITS(s.shadows[2].right - s.shadows[2].left, s.widths[2]);
}

TEST(StudyDraw, SlopedStrokeFromTheMinusSide)
{
    RateInputs in;
    in.slopeAngle = 15.0;
    in.voltageTerm = 0.0;
    const study::StrokeScene s = study::strokeScene(in, 40.0, 135.0);
    StrokeExposure expected{};
    EGM_DQ(40.0, 135.0 / 180.0 * M_PI, 15.0, in.geometry, 0.0, expected);
    for (int w = 0; w < 4; ++w) {
        EXPECT_SAME_BITS(expected[w], s.widths[w]) << w;
    }
    // From the -x side the V point's shadow is the left end.
    EXPECT_SAME_BITS(s.tangentPaths[1].to.x, s.shadows[0].left);
    EXPECT_SAME_BITS(s.tangentPaths[0].to.x, s.shadows[0].right);
    EXPECT_LT(s.circle[1].y, s.circle[0].y);
}

TEST(StudyDraw, ChartsHoldTheIntegrationsFigures)
{
    const study::Chart exposure = study::exposureChart(RateInputs{});
    ASSERT_EQ(2u, exposure.series.size());
    EXPECT_EQ(201u, exposure.series[0].x.size());
    EXPECT_EQ(23.5, exposure.series[0].x.front());
    EXPECT_EQ(223.5, exposure.series[0].x.back());
    ASSERT_EQ(1u, exposure.markers.size()); // conductor 2 is never exposed
    EXPECT_EQ(*study::analyseCase(RateInputs{}).maxCurrent[0], exposure.markers[0].x);
    for (double y : exposure.series[1].y) {
        ASSERT_EQ(0.0, y);
    }

    const auto rows = study::sweepCases(RateInputs{}, "min-current", {20.0, 1e300, 30.0});
    const study::Chart sweep = study::sweepChart("min-current", rows);
    ASSERT_EQ(3u, sweep.series.size());
    EXPECT_TRUE(std::isnan(sweep.series[2].y[1])); // unusable current: a gap
    EXPECT_SAME_BITS(rows[2].result->rates.rateTotal, sweep.series[2].y[2]);
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(StudyDraw, EveryKindRendersToEveryFormat)
{
    ScratchDir dir;
    const RateInputs in;
    const study::StrokeScene scene = study::strokeScene(in, 23.5, 90.0);
    const study::Chart exposure = study::exposureChart(in);
    const study::Chart sweep = study::sweepChart("slope", study::sweepCases(in, "slope", {-10.0, 0.0, 10.0}));
    for (const char* ext : {"svg", "png", "pdf"}) {
        for (const char* kind : {"stroke", "exposure", "sweep"}) {
            const std::string name = std::string(kind) + "." + ext;
            const std::string path = (dir / name).string();
            if (std::string(kind) == "stroke") {
                study::renderStrokeScene(scene, path);
            } else {
                study::renderChart(std::string(kind) == "exposure" ? exposure : sweep, path);
            }
            const std::string bytes = dir.read(name);
            SCOPED_TRACE(name);
            if (std::string(ext) == "svg") {
                EXPECT_TRUE(startsWith(bytes, "<?xml"));
                EXPECT_NE(std::string::npos, bytes.find("<svg"));
                EXPECT_NE(std::string::npos, bytes.find("</svg>"));
            } else if (std::string(ext) == "png") {
                EXPECT_TRUE(startsWith(bytes, "\x89PNG\r\n\x1a\n"));
                EXPECT_NE(std::string::npos, bytes.find("IEND"));
            } else {
                EXPECT_TRUE(startsWith(bytes, "%PDF-"));
                EXPECT_NE(std::string::npos, bytes.find("%%EOF"));
            }
        }
    }
    EXPECT_EQ(9u, dir.entries().size()); // no temporary file left
}

TEST(StudyDraw, NamesAndFailures)
{
    EXPECT_EQ(study::ImageFormat::svg, study::imageFormatOf("a.b/c.SVG"));
    EXPECT_EQ(study::ImageFormat::png, study::imageFormatOf("c.png"));
    EXPECT_EQ(study::ImageFormat::pdf, study::imageFormatOf("c.pdf"));
    EXPECT_FALSE(study::imageFormatOf("c.jpg").has_value());
    EXPECT_FALSE(study::imageFormatOf("png").has_value());
    const study::StrokeScene scene = study::strokeScene(RateInputs{}, 23.5, 90.0);
    EXPECT_THROW(study::renderStrokeScene(scene, "/no/such/folder/stroke.svg"), std::runtime_error);
    EXPECT_THROW(study::renderStrokeScene(scene, "stroke.gif"), std::runtime_error);
}

TEST(StudyDraw, CommandLine)
{
    ScratchDir dir;
    const ProgramRun ok =
        runProgram(EGM_STUDY_EXE, dir.path(), {"draw", "--current", "23.5", "--angle", "90", "-o", "s.svg"});
    EXPECT_EQ(0, ok.status) << ok.err;
    EXPECT_TRUE(fs::exists(dir / "s.svg"));
    const ProgramRun plot = runProgram(EGM_STUDY_EXE, dir.path(), {"plot", "exposure", "-o", "e.pdf"});
    EXPECT_EQ(0, plot.status) << plot.err;
    const ProgramRun bad =
        runProgram(EGM_STUDY_EXE, dir.path(), {"draw", "--current", "23.5", "--angle", "90", "-o", "s.gif"});
    EXPECT_EQ(2, bad.status);
    EXPECT_EQ(1, lineCount(bad.err)) << bad.err;
    const ProgramRun missing =
        runProgram(EGM_STUDY_EXE, dir.path(), {"plot", "sweep", "--param", "slope", "-o", "p.png"});
    EXPECT_EQ(2, missing.status);
    EXPECT_EQ((std::vector<std::string>{"e.pdf", "s.svg"}), dir.entries());
}

} // namespace
