// The pictures' content, checked through their models: the charts' series
// and markers, the laid-out page (no label over a shadow bar, a lone point
// drawn, values that could not be computed marked), and each kind rendered.
#include <cmath>

#include "bits.h"
#include "egm/input_table.h"
#include "program_run.h"
#include "study_charts.h"
#include "study_core.h"
#ifdef EGM_HAVE_CAIRO
#include "study_render.h"
#endif

namespace {

// The box a label's text takes on the page, by an estimate of its width:
// sans-serif glyphs average a little over half the font size.
study::Box textBox(const study::Label& l)
{
    const double width = 0.58 * l.size * static_cast<double>(l.text.size());
    const double left = l.align == study::Align::left     ? l.at.x
                        : l.align == study::Align::centre ? l.at.x - width / 2
                                                          : l.at.x - width;
    if (l.vertical) {
        return study::Box{l.at.x - l.size, left - l.at.x + l.at.y, l.at.x + 0.3 * l.size,
                          left - l.at.x + l.at.y + width};
    }
    return study::Box{left, l.at.y - l.size, left + width, l.at.y + 0.3 * l.size};
}

bool overlaps(const study::Box& a, const study::Box& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST(StudyCharts, SweepSeriesHoldEachRate)
{
    egm::Inputs base;
    base.tower = egm::towerOf({{12, 50}, {-8, 45}, {15, 38}, {-10, 33}}, 0.8);
    const std::vector<double> values = {-10.0, 95.0, 10.0};
    const auto points = study::sweepCases(base, *egm::inputField("slope"), values);
    ASSERT_FALSE(points[1].result.has_value()); // a slope of 95 degrees is refused
    const study::Chart chart = study::sweepChart("slope", points, base);
    ASSERT_EQ(3u, chart.series.size());
    EXPECT_EQ("conductor1", chart.series[0].label);
    EXPECT_EQ("conductor2", chart.series[1].label);
    EXPECT_EQ("total", chart.series[2].label);
    for (std::size_t k : {0u, 2u}) {
        EXPECT_SAME_BITS(points[k].result->conductors[0].rate, chart.series[0].y[k]);
        EXPECT_SAME_BITS(points[k].result->conductors[1].rate, chart.series[1].y[k]);
        EXPECT_SAME_BITS(points[k].result->totalRate, chart.series[2].y[k]);
    }
    ASSERT_NE(chart.series[0].y[0], chart.series[1].y[0]);
    EXPECT_TRUE(std::isnan(chart.series[1].y[1]));
    EXPECT_EQ("ground slope, degrees", chart.xLabel);
    ASSERT_LE(2u, chart.notes.size());
    EXPECT_NE(std::string::npos, chart.notes[0].find("evaluation: first-contact"));
    EXPECT_EQ(0u, chart.notes[1].find("inputs (slope swept): "));

    // The value that could not be computed is marked at its x with a cross
    // and named in the legend; a picture has no error column to point at.
    const study::Picture p = study::layoutChart(chart);
    bool legend = false;
    for (const study::Label& l : p.labels) {
        legend = legend || l.text.find("not computed") != std::string::npos;
        EXPECT_EQ(std::string::npos, l.text.find("error column")) << l.text;
    }
    EXPECT_TRUE(legend);
}

TEST(StudyCharts, ALonePointIsDrawn)
{
    // A one-point sweep, and one value among a hundred that failed: each
    // point with a value shows as a dot inside the frame.
    std::vector<double> x(100);
    std::vector<double> y(100, kNaN);
    for (int k = 0; k < 100; ++k) {
        x[k] = k;
    }
    y[40] = 0.25;
    for (const study::Series& s :
         {study::Series{"total", {5.0}, {0.25}, false}, study::Series{"total", x, y, false}}) {
        study::Chart chart;
        chart.series.push_back(s);
        const study::Picture p = study::layoutChart(chart);
        int inside = 0;
        for (const study::PageArc& a : p.arcs) {
            inside += a.filled && a.centre.x > p.frame.left && a.centre.x < p.frame.right &&
                      a.centre.y > p.frame.top && a.centre.y < p.frame.bottom;
        }
        EXPECT_EQ(1, inside) << s.x.size() << " points";
    }
}

TEST(StudyCharts, ExposureFillsTheFrameAndMarksTheMaximumCurrents)
{
    egm::Inputs in;
    egm::Options options;
    options.angleSums = true;
    const egm::Result r = egm::computeRates(in, options);
    const study::Chart chart = study::exposureChart(in, r);
    ASSERT_EQ(2u, chart.series.size());
    EXPECT_EQ(201u, chart.series[1].y.size());
    EXPECT_EQ("conductor2", chart.series[1].label);
    for (std::size_t j = 0; j < 201; ++j) {
        ASSERT_EQ(bitsOf(r.angleSums->conductor[1][j]), bitsOf(chart.series[1].y[j])) << j;
    }
    // A marker per conductor with a maximum current, at it and naming it.
    std::size_t marked = 0;
    for (const egm::ConductorResult& c : r.conductors) {
        if (!c.maxCurrent.current) {
            continue;
        }
        ASSERT_LT(marked, chart.markers.size());
        EXPECT_SAME_BITS(*c.maxCurrent.current, chart.markers[marked].x);
        EXPECT_NE(std::string::npos,
                  chart.markers[marked].label.find(study::legendNumber(*c.maxCurrent.current) + " kA"))
            << chart.markers[marked].label;
        EXPECT_NE(std::string::npos, chart.markers[marked].label.find(c.name));
        ++marked;
    }
    ASSERT_EQ(marked, chart.markers.size());
    ASSERT_GE(marked, 1u);
    // The exposure ends at the largest maximum current: the chart does not
    // run on empty to 223.5 kA. The marker lies in the right part of the
    // frame.
    const study::Picture p = study::layoutChart(chart);
    double markerX = 0.0;
    for (const study::Polyline& l : p.lines) {
        if (l.points.size() == 2 && l.points[0].x == l.points[1].x && !l.pen.dash.empty() &&
            l.pen.dash[0] == 5.0 && l.points[0].x > markerX) {
            markerX = l.points[0].x;
        }
    }
    EXPECT_GT(markerX, p.frame.left + 2.0 / 3.0 * (p.frame.right - p.frame.left));

    // Still exposed at the top of the range: said so, not a line on the frame.
    egm::Inputs top;
    top.slope = 10.0;
    const egm::Result atTop = egm::computeRates(top, options);
    ASSERT_TRUE(atTop.conductors[0].maxCurrent.exposedAtTop);
    const study::Chart topChart = study::exposureChart(top, atTop);
    ASSERT_GE(topChart.markers.size(), 1u);
    EXPECT_TRUE(topChart.markers[0].atTop);
    EXPECT_NE(std::string::npos, topChart.markers[0].label.find("still exposed at the top of the range"));
}

TEST(StudyCharts, LegendNumbers)
{
    struct Case {
        double x;
        double scale;
        const char* text;
    };
    const Case cases[] = {{87.78853431636631, 0, "87.79"},
                          {0.0010506941374263641, 0, "0.001051"},
                          {1.2e-14, 100.0, "0"},
                          {-3e-15, 87.0, "0"},
                          {74.47, 0, "74.47"},
                          {kNaN, 0, "no value"},
                          {123456.0, 0, "1.235e+05"}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, study::legendNumber(c.x, c.scale)) << c.x;
    }
}

TEST(StudyCharts, StrokeSceneLabelsKeepClearOfTheShadowBars)
{
    for (const egm::Evaluation evaluation : {egm::Evaluation::firstContact, egm::Evaluation::compat}) {
        for (const double slope : {0.0, 20.0, -20.0}) {
            for (const double angle : {30.0, 90.0, 150.0}) {
                SCOPED_TRACE(std::string(egm::evaluationName(evaluation)) + ", " + std::to_string(slope) +
                             " deg slope, " + std::to_string(angle) + " deg");
                egm::Inputs in;
                in.slope = slope;
                in.evaluation = evaluation;
                const study::StrokeScene scene = study::strokeScene(in, 23.5, angle);
                const egm::StrokeGeometry g =
                    egm::strokeGeometry(in, 23.5, angle / 180.0 * 3.141592653589793);
                ASSERT_EQ(4u, scene.geometry.width.size());
                for (int w = 0; w < 4; ++w) {
                    EXPECT_SAME_BITS(g.width[w], scene.geometry.width[w]);
                }
                const study::Picture p = study::layoutStrokeScene(scene);
                std::vector<study::Box> bars;
                for (const study::Polyline& l : p.lines) {
                    if (l.pen.width == 5.0 && l.points.size() == 2) {
                        bars.push_back(study::Box{std::min(l.points[0].x, l.points[1].x), l.points[0].y - 2.5,
                                                  std::max(l.points[0].x, l.points[1].x),
                                                  l.points[0].y + 2.5});
                    }
                }
                // compat: a shadow bar per wire; first-contact: a bar per band
                // a wire catches.
                std::size_t expected = 4;
                if (evaluation == egm::Evaluation::firstContact) {
                    expected = 0;
                    for (const auto& band : g.bands) {
                        expected += band.wire.has_value();
                    }
                }
                ASSERT_EQ(expected, bars.size());
                for (const study::Label& label : p.labels) {
                    for (const study::Box& bar : bars) {
                        EXPECT_FALSE(overlaps(textBox(label), bar)) << "'" << label.text << "'";
                    }
                }
            }
        }
    }
}

TEST(StudyCharts, StrokeSceneShowsEveryWireAndColoursEachBandByItsCatcher)
{
    // A double-circuit tower: one ground wire over six conductors.
    egm::Inputs in;
    in.tower.wires = {{egm::WireKind::groundWire, 0.0, 55.0, 0.0, "earth"},
                      {egm::WireKind::conductor, 6.0, 45.0, 0.0, "a1"},
                      {egm::WireKind::conductor, 8.0, 37.0, 0.0, "b1"},
                      {egm::WireKind::conductor, 6.5, 29.0, 0.0, "c1"},
                      {egm::WireKind::conductor, -6.0, 45.0, 0.0, "a2"},
                      {egm::WireKind::conductor, -8.0, 37.0, 0.0, "b2"},
                      {egm::WireKind::conductor, -6.5, 29.0, 0.0, "c2"}};
    in.lowestCurrent = 3.0;
    const study::StrokeScene scene = study::strokeScene(in, 5.0, 70.0);
    const egm::StrokeGeometry& g = scene.geometry;
    ASSERT_EQ(7u, g.circle.size());
    const study::Picture p = study::layoutStrokeScene(scene);
    // Every wire's striking circle: a full circle of its striking distance.
    std::size_t circles = 0;
    for (const study::PageArc& a : p.arcs) {
        circles += !a.filled && a.end - a.start == 2.0 * 3.141592653589793;
    }
    EXPECT_EQ(7u, circles);
    // A legend line per wire with its name and width.
    for (std::size_t w = 0; w < 7; ++w) {
        bool named = false;
        for (const study::Label& l : p.labels) {
            named = named || l.text.rfind(scene.wireNames[w] + "  ", 0) == 0;
        }
        EXPECT_TRUE(named) << scene.wireNames[w];
    }
    // A shaded band per band of the geometry; bands caught by a wire in
    // that wire's colour, the ground's all in one other colour.
    std::vector<const study::Polyline*> shaded;
    for (const study::Polyline& l : p.lines) {
        if (l.filled && l.points.size() == 4 && l.pen.colour.a < 0.5) {
            shaded.push_back(&l);
        }
    }
    ASSERT_EQ(g.bands.size(), shaded.size());
    ASSERT_GE(g.bands.size(), 3u);
    for (std::size_t b = 0; b < g.bands.size(); ++b) {
        const study::Colour& c = shaded[b]->pen.colour;
        for (std::size_t other = 0; other < g.bands.size(); ++other) {
            const study::Colour& d = shaded[other]->pen.colour;
            const bool same = c.r == d.r && c.g == d.g && c.b == d.b;
            EXPECT_EQ(g.bands[b].wire == g.bands[other].wire, same) << b << " " << other;
        }
    }
}

// The stroke's legend states its angle in both frames: the ground's, and
// from the vertical, which on a slope differ by the slope; a vertical stroke
// is the integration's vertical incidence.
TEST(StudyCharts, StrokeSceneStatesTheAngleInBothFrames)
{
    const struct {
        double slope;
        double angle;
        const char* ground;
        const char* vertical;
    } cases[] = {
        {0.0, 90.0, "angle 90 deg (ground's frame)", "  = 0 deg from the vertical"},
        {20.0, 110.0, "angle 110 deg (ground's frame)", "  = 0 deg from the vertical"},
        {20.0, 95.0, "angle 95 deg (ground's frame)", "  = 15 deg from the vertical"},
        {-15.0, 105.0, "angle 105 deg (ground's frame)", "  = -30 deg from the vertical"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ground);
        egm::Inputs in;
        in.slope = c.slope;
        const study::StrokeScene scene = study::strokeScene(in, 30.0, c.angle);
        if (c.angle == 90.0 + c.slope) {
            EXPECT_NEAR(egm::verticalIncidence(c.slope), scene.geometry.theta, 1e-15);
        }
        const study::Picture p = study::layoutStrokeScene(scene);
        for (const char* expected : {c.ground, c.vertical}) {
            bool found = false;
            for (const study::Label& l : p.labels) {
                found = found || l.text == expected;
            }
            EXPECT_TRUE(found) << expected;
        }
    }
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST(StudyCharts, EveryKindRendersToEveryFormat)
{
#ifndef EGM_HAVE_CAIRO
    GTEST_SKIP() << "built without cairo";
#else
    ScratchDir dir;
    const egm::Inputs in;
    egm::Options options;
    options.angleSums = true;
    const study::Picture pictures[] = {
        study::layoutStrokeScene(study::strokeScene(in, 23.5, 90.0)),
        study::layoutChart(study::exposureChart(in, egm::computeRates(in, options))),
        study::layoutChart(
            study::sweepChart("slope", study::sweepCases(in, *egm::inputField("slope"), {-10, 0, 10}), in)),
    };
    for (const char* ext : {"svg", "png", "pdf"}) {
        for (std::size_t k = 0; k < std::size(pictures); ++k) {
            const std::string name = "picture" + std::to_string(k) + "." + ext;
            study::renderPicture(pictures[k], (dir / name).string());
            const std::string bytes = dir.read(name);
            SCOPED_TRACE(name);
            if (std::string(ext) == "svg") {
                EXPECT_TRUE(startsWith(bytes, "<?xml"));
                EXPECT_NE(std::string::npos, bytes.find("</svg>"));
            } else if (std::string(ext) == "png") {
                EXPECT_TRUE(startsWith(bytes, "\x89PNG\r\n\x1a\n"));
            } else {
                EXPECT_TRUE(startsWith(bytes, "%PDF-"));
            }
        }
    }
    EXPECT_EQ(9u, dir.entries().size()); // no temporary file left
    EXPECT_THROW(study::renderPicture(pictures[0], (dir / "no" / "such" / "p.svg").string()),
                 std::runtime_error);
    EXPECT_THROW(study::renderPicture(pictures[0], (dir / "p.gif").string()), std::runtime_error);
#endif
}

} // namespace
