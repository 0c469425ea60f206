// Pictures of a study, as numbers: what is drawn where. A Chart holds the
// data of a chart (series, markers, notes); a StrokeScene the geometry of
// one stroke. Each is laid out into a Picture: lines, arcs and labels in page
// coordinates (points, y downwards), which a renderer only has to draw.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "egm/shielding.h"

namespace study {

enum class ImageFormat { svg, png, pdf };
// The format named by the file's extension (.svg, .png, .pdf), if any.
std::optional<ImageFormat> imageFormatOf(const std::string& path);

struct Colour {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    double a = 1.0;
};

struct PagePoint {
    double x = 0.0;
    double y = 0.0;
};

struct Box {
    double left = 0.0;
    double top = 0.0;
    double right = 0.0;
    double bottom = 0.0;
};

struct Pen {
    Colour colour;
    double width = 1.0;
    std::vector<double> dash; // empty: solid
};

struct Polyline {
    std::vector<PagePoint> points;
    Pen pen;
    bool filled = false; // a closed, filled shape
    bool clipped = true; // to the data frame
};

// A circle's arc on the page; angles in radians, counter-clockwise as seen
// on the page (the data's y points up).
struct PageArc {
    PagePoint centre;
    double radius = 0.0;
    double start = 0.0;
    double end = 0.0;
    Pen pen;
    bool filled = false;
    bool clipped = true;
};

enum class Align { left, centre, right };

struct Label {
    PagePoint at; // the baseline's left, middle or right end
    std::string text;
    double size = 12.0;
    Align align = Align::left;
    bool vertical = false; // reads upwards
    Colour colour;
};

struct Picture {
    double width = 960.0;
    double height = 720.0;
    Box frame; // where the data is drawn; clipped shapes stay inside it
    std::vector<Polyline> lines;
    std::vector<PageArc> arcs;
    std::vector<Label> labels;
};

// Round tick values, about target of them, across [lo, hi].
std::vector<double> ticks(double lo, double hi, int target);

// A number with about four significant digits for a legend; a value within
// rounding of 0 (relative to scale) as "0".
std::string legendNumber(double x, double scale = 0.0);

struct Series {
    std::string label;
    std::vector<double> x;
    std::vector<double> y; // NaN: no value there, marked on the chart
    bool dashed = false;   // drawn over another series it may equal
    // NaN is a figure the row does not have (a span without critical
    // currents), not a row that failed: the line breaks there, unmarked.
    bool gapsAreNone = false;
};

// A stretch of x, shaded across the frame's height.
struct Band {
    double from = 0.0;
    double to = 0.0;
};

struct Marker {
    std::string label;
    double x = 0.0;
    bool atTop = false; // still exposed at the top of the range: marked at the frame's edge
};

struct Chart {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::vector<Series> series;
    std::vector<Marker> markers;
    std::vector<std::string> notes; // lines under the legend (evaluation, law, ...)
    // Show x only up to a little past the last non-zero value of any series.
    bool trimEmptyTail = false;
    // Not empty: a bar chart, one category at x = 0, 1, ... each, a bar
    // per series in each, the categories named under the axis.
    std::vector<std::string> categories;
    // Stretches of x shaded across the frame (a route's flagged stretches),
    // all in one colour under one legend entry, bandsLabel, however many.
    std::vector<Band> bands;
    std::string bandsLabel;
};

// The line's inputs as lines of text for a chart's notes: every input that
// applies to it by name and value, the tower's wires when it is not the
// four-wire line; swept: an input left out, said to be swept.
std::vector<std::string> inputsNotes(const egm::Inputs& inputs, const std::string& swept = {});

// Each conductor's angle sum of the integration against current (a series
// per conductor, named by it), with the maximum shielding failure currents
// marked.
Chart exposureChart(const egm::Inputs& inputs, const egm::Result& result);

// One value of a sweep: its case, or why it could not be computed.
struct SweepPoint {
    double value = 0.0;
    std::optional<egm::Result> result;
    std::string error;
};

// Each conductor's rate and the total against the swept input.
// Each conductor's rate and the total against the swept input; base: the
// inputs held, stated in the notes.
Chart sweepChart(const std::string& param, const std::vector<SweepPoint>& points, const egm::Inputs& base);

// The chart laid out on a page. Each series has a colour of its own (16
// and more before any repeats), except that a dashed last series of a line
// chart is the total, in a dark grey, and a dashed series of a bar chart is
// the companion of the series before it, in its colour, paler.
Picture layoutChart(const Chart& chart);

// One stroke in the frame of the sloped ground, laid out on a page: every
// wire's striking circle, the ground line and the ground's striking line;
// first-contact: each band of stroke paths shaded in its catcher's colour
// (the ground's neutral) and, below the ground line, a bar per wire of the
// bands it catches; compat: the exposed arcs (thick), the stroke paths that
// bound each wire's shadow and the shadow bars. A legend with the current,
// the stroke's angle in both frames (degrees from +x in the frame of the
// sloped ground, and from the vertical: 90 + slope - angle), and each wire's
// width and striking distance.
struct StrokeScene {
    egm::StrokeGeometry geometry;
    std::vector<std::string> wireNames; // tower order
    double angleDegrees = 0.0;
    double slope = 0.0;
    egm::Evaluation evaluation = egm::Evaluation::firstContact;
};
StrokeScene strokeScene(const egm::Inputs& inputs, double current, double angleDegrees);
Picture layoutStrokeScene(const StrokeScene& scene);

} // namespace study
