// The pieces the layouts of tools/study_charts.h draw with: the colours, the
// frame's mapping of data to the page, and small shapes, axes and legend
// entries. Internal to the layouts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "study_charts.h"

namespace study::page {

inline constexpr double kPi = 3.141592653589793;

inline constexpr Colour kBlack{0, 0, 0, 1};
inline constexpr Colour kGrey{0.4, 0.4, 0.4, 1};
inline constexpr Colour kGrid{0, 0, 0, 0.12};
inline constexpr Colour kTotalColour{0.2, 0.2, 0.2, 1};
// The ground's bands of stroke paths.
inline constexpr Colour kGroundBand{0.6, 0.6, 0.6, 1};
// A chart's shaded stretches (Chart::bands).
inline constexpr Colour kBandColour{1.0, 0.62, 0.0, 0.22};

// Wires and series take these in turn: a tower's up to 16 wires each get
// one of their own, none of them near another, the total's grey or black.
inline constexpr Colour kPalette[] = {
    {0.85, 0.18, 0.12, 1}, {0.92, 0.55, 0.0, 1},  {0.12, 0.35, 0.75, 1}, {0.05, 0.55, 0.50, 1},
    {0.55, 0.25, 0.70, 1}, {0.45, 0.30, 0.15, 1}, {0.85, 0.35, 0.60, 1}, {0.40, 0.60, 0.10, 1},
    {0.0, 0.70, 0.90, 1},  {0.55, 0.0, 0.15, 1},  {0.65, 0.65, 0.0, 1},  {0.05, 0.15, 0.45, 1},
    {0.98, 0.55, 0.50, 1}, {0.0, 0.35, 0.15, 1},  {0.70, 0.60, 0.95, 1}, {0.80, 0.65, 0.35, 1}};

// The k-th colour of the palette (0-based; past its end it starts again).
Colour paletteColour(std::size_t k);
Colour faded(Colour c, double alpha);

// Data coordinates to the page: the frame shows [x0, x1] x [y0, y1], y up.
struct Frame {
    Box page;
    double x0, x1, y0, y1;
    double X(double x) const { return page.left + (x - x0) / (x1 - x0) * (page.right - page.left); }
    double Y(double y) const { return page.bottom - (y - y0) / (y1 - y0) * (page.bottom - page.top); }
    PagePoint at(double x, double y) const { return {X(x), Y(y)}; }
};

Polyline line(PagePoint a, PagePoint b, Pen pen, bool clipped = true);
Label label(double x, double y, std::string text, double size = 12.0, Align align = Align::left,
            Colour colour = kBlack);
// A filled circle of radius points.
PageArc dot(PagePoint at, double radius, Colour colour);

// The frame's border, grid, ticks and axis labels; with categories, one
// label under each category (at x = 0, 1, ...) instead of the x axis's ticks.
void axes(Picture& p, const Frame& f, const std::string& xLabel, const std::string& yLabel,
          const std::vector<std::string>& categories = {});

// A legend line at (x, y), y the text's baseline: a short sample of the pen
// (or a dot of its colour), then the text.
void legendEntry(Picture& p, double x, double y, const Pen& pen, const std::string& text, bool asDot = false);

} // namespace study::page
