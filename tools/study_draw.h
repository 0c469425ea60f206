// Pictures of a study: the striking circles of one stroke with their exposed
// arcs, shadows and cuts, and charts of the exposure against current and of
// the rates against a swept input. What is drawn is first gathered as data
// (tested on its own), then rendered with cairo to SVG, PNG or PDF.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "EGM_DQ.h"
#include "study_core.h"

namespace study {

enum class ImageFormat { svg, png, pdf };

// The format named by the file's extension (.svg, .png, .pdf), if any.
std::optional<ImageFormat> imageFormatOf(const std::string& path);

struct DrawnArc {
    int wire;     // 1 to 4
    double start; // rad, counter-clockwise from +x of the turned frame
    double end;
};

struct DrawnSegment {
    Point from;
    Point to;
};

// One stroke in the turned frame (the sloped ground is y = 0).
struct StrokeScene {
    double current;      // kA
    double angleDegrees; // incidence angle as given
    double theta;        // rad: angleDegrees / 180 * pi, as the integration forms it
    double slopeAngle;   // degrees
    Circle circle[4];    // turned centres, striking radii
    double groundStrikeHeight;
    std::vector<DrawnArc> arcs;   // exposed arcs after the trim; wires without one are absent
    DrawnSegment tangentPaths[8]; // from U and V of wire i (at 2i, 2i + 1) down to the ground line
    Interval shadows[4];          // on the ground line, the conductors' after the cut
    StrokeExposure widths;        // as EGM_DQ gives them
};

StrokeScene strokeScene(const RateInputs& inputs, double current, double angleDegrees);

struct Series {
    std::string label;
    std::vector<double> x;
    std::vector<double> y; // NaN leaves a gap
    bool dashed = false;   // drawn over another series it may equal
};

struct Marker {
    std::string label;
    double x;
};

struct Chart {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::vector<Series> series;
    std::vector<Marker> markers; // vertical lines
};

// Each conductor's angle sum of the integration against current, with its
// maximum shielding failure current marked.
Chart exposureChart(const RateInputs& inputs);

// The three rates against the swept input.
Chart sweepChart(const std::string& param, const std::vector<SweepRow>& rows);

// Render to path in the format of its extension; throws std::runtime_error
// when the file cannot be written or the extension is not known.
void renderStrokeScene(const StrokeScene& scene, const std::string& path);
void renderChart(const Chart& chart, const std::string& path);

} // namespace study
