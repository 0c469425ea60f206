// The pictures' content, checked through their models: the charts' series
// and markers, the laid-out page (no label over a shadow bar, a lone point
// drawn, values that could not be computed marked), and each kind rendered.
#include <cmath>
#include <set>

#include "bits.h"
#include "egm/input_table.h"
#include "program_run.h"
#include "study_charts.h"
#include "study_core.h"
#include "study_route.h"
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

// Two colours a reader tells apart: their red, green and blue, 0 to 1, at
// least this far apart (the palette's nearest pair is 0.27 apart).
constexpr double kDistinctColours = 0.2;

double colourDistance(const study::Colour& a, const study::Colour& b)
{
    return std::hypot(a.r - b.r, a.g - b.g, a.b - b.b);
}

void expectAllDistinct(const std::vector<study::Colour>& colours, const std::string& what)
{
    const study::Colour grey{0.2, 0.2, 0.2, 1}; // the total's
    for (std::size_t i = 0; i < colours.size(); ++i) {
        EXPECT_GE(colourDistance(colours[i], grey), kDistinctColours) << what << " " << i;
        for (std::size_t j = i + 1; j < colours.size(); ++j) {
            EXPECT_GE(colourDistance(colours[i], colours[j]), kDistinctColours)
                << what << " " << i << " " << j;
        }
    }
}

// The largest tower: two ground wires over fourteen conductors.
egm::Inputs sixteenWires()
{
    egm::Inputs in;
    in.tower.wires = {{egm::WireKind::groundWire, 9.0, 70.0, 0.0, ""},
                      {egm::WireKind::groundWire, -9.0, 70.0, 0.0, ""}};
    for (int k = 0; k < 14; ++k) {
        const double side = k % 2 == 0 ? 1.0 : -1.0;
        std::string name = "p"; // appended to: g++ 12 warns falsely of "p" + a string
        name += std::to_string(k + 1);
        in.tower.wires.push_back({egm::WireKind::conductor, side * (5.0 + k % 3), 30.0 + 2.5 * k, 0.0, name});
    }
    in.lowestCurrent = 3.0;
    return in;
}

TEST(StudyCharts, EachOfSixteenWiresHasAColourOfItsOwn)
{
    const egm::Inputs in = sixteenWires();
    // The stroke scene: each wire's centre dot in its colour.
    const study::Picture scene = study::layoutStrokeScene(study::strokeScene(in, 10.0, 80.0));
    std::vector<study::Colour> wires;
    for (const study::PageArc& a : scene.arcs) {
        if (a.filled && a.radius == 3.5) {
            wires.push_back(a.pen.colour);
        }
    }
    ASSERT_EQ(16u, wires.size());
    expectAllDistinct(wires, "wire");

    // A sweep of the fourteen conductors: a line per conductor, each in a
    // colour of its own, apart from the total's grey.
    const auto points = study::sweepCases(in, *egm::inputField("slope"), {-5.0, 0.0, 5.0});
    const study::Chart chart = study::sweepChart("slope", points, in);
    ASSERT_EQ(15u, chart.series.size());
    const study::Picture p = study::layoutChart(chart);
    std::vector<study::Colour> lines;
    for (const study::Polyline& l : p.lines) {
        if (l.points.size() == 3 && l.clipped) {
            lines.push_back(l.pen.colour);
        }
    }
    ASSERT_EQ(15u, lines.size());
    lines.pop_back(); // the total's, grey: apart from each of them
    expectAllDistinct(lines, "series");
}

TEST(StudyCharts, EachConductorOfABarChartHasAColourOfItsOwnAndItsCompanionThePaler)
{
    // As compare draws a six-phase tower: under each law a bar per conductor
    // and the total by the share method, each followed by its companion by
    // the exposure method (dashed).
    study::Chart chart;
    chart.categories = {"built-in", "love", "ieee-1992"};
    const std::vector<std::string> names = {"A1", "B1", "C1", "A2", "B2", "C2", "total"};
    for (std::size_t c = 0; c < names.size(); ++c) {
        for (bool exposure : {false, true}) {
            study::Series s{names[c] + (exposure ? " (exposure)" : " (share)"), {0, 1, 2}, {}, exposure};
            for (int law = 0; law < 3; ++law) {
                s.y.push_back(0.1 + 0.01 * static_cast<double>(c) + 0.05 * law + (exposure ? 0.02 : 0.0));
            }
            chart.series.push_back(s);
        }
    }
    const study::Picture p = study::layoutChart(chart);
    // The bars in the order drawn: series by series, a bar per law.
    std::vector<study::Colour> bars;
    for (const study::Polyline& l : p.lines) {
        if (l.filled && l.points.size() == 4 && l.clipped) {
            bars.push_back(l.pen.colour);
        }
    }
    ASSERT_EQ(chart.series.size() * 3, bars.size());
    std::vector<study::Colour> share;
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        const study::Colour& c = bars[3 * k];
        for (int law = 1; law < 3; ++law) {
            EXPECT_EQ(0.0, colourDistance(c, bars[3 * k + law])) << chart.series[k].label;
        }
        if (k % 2 == 0) {
            EXPECT_EQ(1.0, c.a);
            share.push_back(c);
        } else {
            const study::Colour& own = bars[3 * (k - 1)];
            EXPECT_EQ(0.0, colourDistance(c, own)) << chart.series[k].label;
            EXPECT_LT(c.a, 1.0);
        }
    }
    expectAllDistinct(share, "conductor");
}

TEST(StudyCharts, ARouteShadesItsFlaggedStretchesUnderOneLegendEntry)
{
    // 580 spans of 300 m, every other one flagged: 290 stretches, each
    // narrower on the page than the narrowest band drawn.
    study::RouteOutcome out;
    out.flagAbove = 0.5;
    for (int k = 0; k < 580; ++k) {
        study::Span s;
        s.index = k + 1;
        s.from = 0.3 * k;
        s.to = 0.3 * (k + 1);
        s.length = 300.0;
        s.result = egm::Result{};
        s.result->totalRate = k % 2 == 1 ? 0.9 : 0.2;
        s.flagged = k % 2 == 1;
        out.spans.push_back(s);
        if (s.flagged) {
            out.flagged.push_back({s.from, s.to, 0.9});
        }
    }
    out.summary.spans = 580;
    out.summary.lengthKm = 174.0;
    const study::Chart chart = study::routeChart(out);
    EXPECT_TRUE(chart.markers.empty());
    ASSERT_EQ(290u, chart.bands.size());
    EXPECT_EQ("290 flagged stretches", chart.bandsLabel);
    for (std::size_t b = 0; b < chart.bands.size(); ++b) {
        EXPECT_SAME_BITS(out.flagged[b].from, chart.bands[b].from);
        EXPECT_SAME_BITS(out.flagged[b].to, chart.bands[b].to);
    }

    const study::Picture p = study::layoutChart(chart);
    // A band: a filled rectangle the frame's height, in the data's order.
    std::vector<const study::Polyline*> bands;
    for (const study::Polyline& l : p.lines) {
        if (l.filled && l.points.size() == 4 && l.points[0].y == p.frame.top &&
            l.points[2].y == p.frame.bottom) {
            bands.push_back(&l);
        }
    }
    ASSERT_EQ(290u, bands.size());
    // Each band's middle lies where the frame's linear map puts the
    // stretch's middle: the map taken from the first and last bands.
    const auto middle = [&](std::size_t b) { return (bands[b]->points[0].x + bands[b]->points[1].x) / 2; };
    const auto dataMiddle = [&](std::size_t b) { return (chart.bands[b].from + chart.bands[b].to) / 2; };
    const double scale = (middle(289) - middle(0)) / (dataMiddle(289) - dataMiddle(0));
    const double width = p.frame.right - p.frame.left;
    for (std::size_t b = 0; b < bands.size(); ++b) {
        EXPECT_NEAR(middle(0) + (dataMiddle(b) - dataMiddle(0)) * scale, middle(b), 1e-9 * width) << b;
        const double drawn = bands[b]->points[1].x - bands[b]->points[0].x;
        EXPECT_NEAR(std::max(1.5, 0.3 * scale), drawn, 1e-9 * width) << b;
        // Within the frame, or clipped to it.
        EXPECT_TRUE(bands[b]->clipped);
        EXPECT_LT(bands[b]->points[0].x, p.frame.right);
        EXPECT_GT(bands[b]->points[1].x, p.frame.left);
    }
    // The legend: the rate, the flag and the one entry of the stretches.
    int flaggedEntries = 0;
    int legend = 0;
    for (const study::Label& l : p.labels) {
        flaggedEntries += l.text.find("flagged") != std::string::npos;
        legend += l.at.y > p.frame.bottom + 60 && l.size == 12;
    }
    EXPECT_EQ(1, flaggedEntries);
    EXPECT_EQ(3, legend);

    // One stretch is said in the singular.
    out.flagged.resize(1);
    EXPECT_EQ("1 flagged stretch", study::routeChart(out).bandsLabel);
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
