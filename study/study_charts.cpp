#include "study_charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "egm/input_table.h"
#include "study_format.h"
#include "study_page.h"

namespace study {

namespace page {

Colour paletteColour(std::size_t k)
{
    return kPalette[k % std::size(kPalette)];
}

Colour faded(Colour c, double alpha)
{
    c.a = alpha;
    return c;
}

Polyline line(PagePoint a, PagePoint b, Pen pen, bool clipped)
{
    Polyline p;
    p.points = {a, b};
    p.pen = std::move(pen);
    p.clipped = clipped;
    return p;
}

Label label(double x, double y, std::string text, double size, Align align, Colour colour)
{
    Label l;
    l.at = {x, y};
    l.text = std::move(text);
    l.size = size;
    l.align = align;
    l.colour = colour;
    return l;
}

PageArc dot(PagePoint at, double radius, Colour colour)
{
    PageArc a;
    a.centre = at;
    a.radius = radius;
    a.start = 0.0;
    a.end = 2.0 * kPi;
    a.pen.colour = colour;
    a.filled = true;
    return a;
}

void axes(Picture& p, const Frame& f, const std::string& xLabel, const std::string& yLabel,
          const std::vector<std::string>& categories)
{
    const Box& b = f.page;
    Polyline border;
    border.points = {
        {b.left, b.top}, {b.right, b.top}, {b.right, b.bottom}, {b.left, b.bottom}, {b.left, b.top}};
    border.clipped = false;
    p.lines.push_back(border);
    const auto tickLabel = [](double v) {
        char s[32];
        std::snprintf(s, sizeof s, "%g", v);
        return std::string(s);
    };
    for (std::size_t k = 0; k < categories.size(); ++k) {
        const double x = f.X(static_cast<double>(k));
        p.lines.push_back(line({x, b.bottom}, {x, b.bottom + 5}, Pen{kBlack, 1.0, {}}, false));
        p.labels.push_back(label(x, b.bottom + 19, categories[k], 12, Align::centre));
    }
    for (double t : categories.empty() ? ticks(f.x0, f.x1, static_cast<int>((b.right - b.left) / 90))
                                       : std::vector<double>{}) {
        const double x = f.X(t);
        p.lines.push_back(line({x, b.top}, {x, b.bottom}, Pen{kGrid, 1.0, {}}, false));
        p.lines.push_back(line({x, b.bottom}, {x, b.bottom + 5}, Pen{kBlack, 1.0, {}}, false));
        p.labels.push_back(label(x, b.bottom + 19, tickLabel(t), 12, Align::centre));
    }
    for (double t : ticks(f.y0, f.y1, static_cast<int>((b.bottom - b.top) / 70))) {
        const double y = f.Y(t);
        p.lines.push_back(line({b.left, y}, {b.right, y}, Pen{kGrid, 1.0, {}}, false));
        p.lines.push_back(line({b.left - 5, y}, {b.left, y}, Pen{kBlack, 1.0, {}}, false));
        p.labels.push_back(label(b.left - 8, y + 4, tickLabel(t), 12, Align::right));
    }
    p.labels.push_back(label((b.left + b.right) / 2, b.bottom + 42, xLabel, 13, Align::centre));
    Label y = label(b.left - 62, (b.top + b.bottom) / 2, yLabel, 13, Align::centre);
    y.vertical = true;
    p.labels.push_back(y);
}

void legendEntry(Picture& p, double x, double y, const Pen& pen, const std::string& text, bool asDot)
{
    if (asDot) {
        p.arcs.push_back(dot({x + 12, y - 4}, 3.5, pen.colour));
        p.arcs.back().clipped = false;
    } else {
        p.lines.push_back(line({x, y - 4}, {x + 24, y - 4}, pen, false));
    }
    p.labels.push_back(label(x + 32, y, text, 12));
}

} // namespace page

namespace {

using namespace page;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A series' colour: the palette's in turn, a colour for each series of its
// own. A dashed last series of a line chart is the total, in its own
// colour; in a bar chart a dashed series is the companion of the one before
// it (the same figure by another method): its colour, paler, and it takes
// none of the palette's.
Colour seriesColour(const Chart& chart, std::size_t k)
{
    const bool bars = !chart.categories.empty();
    if (bars && chart.series[k].dashed && k > 0) {
        return faded(seriesColour(chart, k - 1), 0.45);
    }
    if (!bars && chart.series[k].dashed && k + 1 == chart.series.size()) {
        return kTotalColour;
    }
    std::size_t own = 0;
    for (std::size_t j = 0; j < k; ++j) {
        own += !(bars && chart.series[j].dashed && j > 0);
    }
    return paletteColour(own);
}

std::string withUnit(const std::string& name)
{
    const egm::InputField* f = egm::inputField(name);
    if (f == nullptr) {
        return name;
    }
    return std::string(f->label) + (f->unit.empty() ? "" : ", " + std::string(f->unit));
}

} // namespace

std::optional<ImageFormat> imageFormatOf(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) {
        return std::nullopt;
    }
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == "svg") {
        return ImageFormat::svg;
    }
    if (ext == "png") {
        return ImageFormat::png;
    }
    if (ext == "pdf") {
        return ImageFormat::pdf;
    }
    return std::nullopt;
}

std::vector<double> ticks(double lo, double hi, int target)
{
    std::vector<double> result;
    const double span = hi - lo;
    if (!(span > 0.0) || !std::isfinite(span) || target < 1) {
        return result;
    }
    const double raw = span / target;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (step >= raw) {
            break;
        }
    }
    const double first = std::ceil(lo / step);
    for (int k = 0; first + k <= std::floor(hi / step + 1e-9); ++k) {
        const double t = (first + k) * step;
        result.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
    }
    return result;
}

std::string legendNumber(double x, double scale)
{
    if (std::isnan(x)) {
        return "no value";
    }
    if (std::abs(x) <= 1e-9 * std::max(std::abs(scale), 1e-300) || x == 0.0) {
        return "0";
    }
    char s[32];
    std::snprintf(s, sizeof s, "%.4g", x);
    return s;
}

Chart exposureChart(const egm::Inputs& inputs, const egm::Result& result)
{
    Chart chart;
    chart.title = "Angle-weighted exposure of the conductors";
    chart.xLabel = "lightning current, kA";
    chart.yLabel = "angle sum (conductor's weighted share)";
    chart.trimEmptyTail = true;
    const egm::AngleSums& sums = result.angleSums.value();
    for (std::size_t c = 0; c < result.conductors.size(); ++c) {
        chart.series.push_back(Series{result.conductors[c].name, sums.current, sums.conductor.at(c), false});
    }
    for (const egm::ConductorResult& c : result.conductors) {
        const egm::MaxCurrent& m = c.maxCurrent;
        if (!m.current) {
            continue;
        }
        if (m.exposedAtTop) {
            chart.markers.push_back(
                Marker{c.name + " still exposed at the top of the range, " + legendNumber(*m.current) + " kA",
                       *m.current, true});
        } else {
            chart.markers.push_back(Marker{
                "max. current, " + c.name + ": " + legendNumber(*m.current) + " kA", *m.current, false});
        }
    }
    chart.notes = {computationNote(result)};
    const std::vector<std::string> line = inputsNotes(inputs);
    chart.notes.insert(chart.notes.end(), line.begin(), line.end());
    return chart;
}

std::vector<std::string> inputsNotes(const egm::Inputs& inputs, const std::string& swept)
{
    std::vector<std::string> items;
    if (!egm::inputField("x1")->appliesTo(inputs)) {
        for (std::size_t k = 0; k < inputs.tower.wires.size(); ++k) {
            const egm::TowerWire& w = inputs.tower.wires[k];
            items.push_back(inputs.tower.nameOf(k) + " (" + egm::shortestText(w.x) + ", " +
                            egm::shortestText(w.height) + ") m" +
                            (w.sag != 0.0 ? ", sag " + egm::shortestText(w.sag) + " m" : ""));
        }
    }
    for (const egm::InputField& f : egm::inputFields()) {
        // The choices (evaluation, law, distribution) are in the computation's note.
        if (f.kind != egm::InputField::Kind::number || !f.appliesTo(inputs) || f.name == swept) {
            continue;
        }
        items.push_back(std::string(f.name) + " " + egm::shortestText(f.get(inputs)));
    }
    // Lines of about 110 characters, items kept whole.
    std::vector<std::string> lines = {swept.empty() ? "inputs:" : "inputs (" + swept + " swept):"};
    for (const std::string& item : items) {
        if (lines.back().size() + item.size() + 2 > 110) {
            lines.back() += ",";
            lines.push_back("  " + item);
        } else {
            lines.back() += (lines.back().back() == ':' ? " " : ", ") + item;
        }
    }
    return lines;
}

Chart sweepChart(const std::string& param, const std::vector<SweepPoint>& points, const egm::Inputs& base)
{
    Chart chart;
    chart.title = "Shielding failure rate against " + withUnit(param);
    chart.xLabel = withUnit(param);
    chart.yLabel = rateUnit(base.rateMethod);
    std::vector<std::string> conductors;
    for (const SweepPoint& p : points) {
        if (p.result) {
            addConductorNames(conductors, *p.result);
        }
    }
    for (const std::string& name : conductors) {
        chart.series.push_back(Series{name, {}, {}, false});
    }
    chart.series.push_back(Series{"total", {}, {}, true});
    for (const SweepPoint& p : points) {
        for (std::size_t k = 0; k < conductors.size(); ++k) {
            const egm::ConductorResult* c = p.result ? conductorNamed(*p.result, conductors[k]) : nullptr;
            chart.series[k].x.push_back(p.value);
            chart.series[k].y.push_back(c != nullptr ? c->rate : kNaN);
        }
        chart.series.back().x.push_back(p.value);
        chart.series.back().y.push_back(p.result ? p.result->totalRate : kNaN);
    }
    for (const SweepPoint& p : points) {
        if (p.result) {
            chart.notes = {computationNote(*p.result)};
            break;
        }
    }
    const std::vector<std::string> line = inputsNotes(base, param);
    chart.notes.insert(chart.notes.end(), line.begin(), line.end());
    return chart;
}

namespace {

// The data's range on the chart's frame: every finite point, y from 0; the
// empty tail trimmed, the categories side by side, a lone point with room
// either side.
Frame chartFrame(const Chart& chart, const Box& page)
{
    double x0 = std::numeric_limits<double>::infinity();
    double x1 = -x0;
    double y0 = 0.0;
    double y1 = 0.0;
    double lastNonZero = -std::numeric_limits<double>::infinity();
    for (const Series& s : chart.series) {
        for (std::size_t k = 0; k < s.x.size(); ++k) {
            if (!std::isfinite(s.x[k])) {
                continue;
            }
            x0 = std::min(x0, s.x[k]);
            x1 = std::max(x1, s.x[k]);
            if (std::isfinite(s.y[k])) {
                y0 = std::min(y0, s.y[k]);
                y1 = std::max(y1, s.y[k]);
                if (s.y[k] != 0.0) {
                    lastNonZero = std::max(lastNonZero, s.x[k]);
                }
            }
        }
    }
    if (chart.trimEmptyTail && std::isfinite(lastNonZero)) {
        double reach = lastNonZero;
        for (const Marker& m : chart.markers) {
            reach = std::max(reach, m.x);
        }
        x1 = std::min(x1, reach + 0.15 * (reach - x0));
    }
    if (!chart.categories.empty()) {
        x0 = -0.5;
        x1 = static_cast<double>(chart.categories.size()) - 0.5;
    }
    if (!std::isfinite(x0)) {
        x0 = 0.0;
        x1 = 1.0;
    }
    if (!(x1 > x0)) {
        // One point: a little room either side of it.
        const double pad = std::max(1.0, std::abs(x0) * 0.05);
        x0 -= pad;
        x1 += pad;
    }
    if (!(y1 > y0)) {
        y1 = y0 + 1.0;
    }
    y1 += (y1 - y0) * 0.06;
    return Frame{page, x0, x1, y0, y1};
}

// The narrowest a shaded stretch is drawn, points: a short stretch of a long
// route stays visible.
constexpr double kNarrowestBand = 1.5;

void drawBands(Picture& p, const Frame& f, const std::vector<Band>& bands)
{
    for (const Band& b : bands) {
        double left = f.X(b.from);
        double right = f.X(b.to);
        if (right - left < kNarrowestBand) {
            const double middle = (left + right) / 2;
            left = middle - kNarrowestBand / 2;
            right = middle + kNarrowestBand / 2;
        }
        Polyline area;
        area.points = {
            {left, f.page.top}, {right, f.page.top}, {right, f.page.bottom}, {left, f.page.bottom}};
        area.pen.colour = kBandColour;
        area.filled = true;
        p.lines.push_back(area);
    }
}

void drawMarkers(Picture& p, const Frame& f, const std::vector<Marker>& markers)
{
    for (const Marker& m : markers) {
        if (m.atTop) {
            // At the frame's right edge, an arrow pointing on: the
            // conductor is still exposed where the range ends.
            const double x = p.frame.right - 4;
            const double y = p.frame.top + 16;
            p.lines.push_back(line({x - 40, y}, {x, y}, Pen{kGrey, 2.0, {}}));
            Polyline head;
            head.points = {{x, y}, {x - 9, y - 5}, {x - 9, y + 5}};
            head.pen.colour = kGrey;
            head.filled = true;
            p.lines.push_back(head);
        } else {
            p.lines.push_back(
                line({f.X(m.x), p.frame.top}, {f.X(m.x), p.frame.bottom}, Pen{kGrey, 1.2, {5.0, 4.0}}));
        }
    }
}

void noteNoValue(std::vector<double>& noValueAt, double x)
{
    if (std::find(noValueAt.begin(), noValueAt.end(), x) == noValueAt.end()) {
        noValueAt.push_back(x);
    }
}

// In each category one bar per series, side by side.
void drawBars(Picture& p, const Frame& f, const Chart& chart, std::vector<double>& noValueAt)
{
    const double barWidth = chart.series.empty() ? 0.0 : 0.8 / static_cast<double>(chart.series.size());
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        const Series& s = chart.series[k];
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            if (!std::isfinite(s.y[i])) {
                noteNoValue(noValueAt, s.x[i]);
                continue;
            }
            const double left = s.x[i] - 0.4 + barWidth * static_cast<double>(k);
            Polyline bar;
            bar.points = {f.at(left, 0.0), f.at(left + barWidth, 0.0), f.at(left + barWidth, s.y[i]),
                          f.at(left, s.y[i])};
            bar.pen.colour = seriesColour(chart, k);
            bar.filled = true;
            p.lines.push_back(bar);
        }
    }
}

Pen seriesPen(const Chart& chart, std::size_t k)
{
    const bool dashed = chart.series[k].dashed;
    return Pen{seriesColour(chart, k), dashed ? 1.6 : 2.6,
               dashed ? std::vector<double>{7.0, 4.0} : std::vector<double>{}};
}

// Each series as lines through its runs of values.
void drawLines(Picture& p, const Frame& f, const Chart& chart, std::vector<double>& noValueAt)
{
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        const Series& s = chart.series[k];
        Polyline run;
        run.pen = seriesPen(chart, k);
        // Small series show each value as a dot on the line; a value with
        // no neighbour (a one-point sweep, or between failed values) shows
        // as a larger dot of its own.
        const bool dots = s.x.size() <= 60;
        const auto flush = [&] {
            if (run.points.size() == 1) {
                p.arcs.push_back(dot(run.points.front(), 3.5, run.pen.colour));
            } else if (run.points.size() > 1) {
                p.lines.push_back(run);
                if (dots) {
                    for (const PagePoint& q : run.points) {
                        p.arcs.push_back(dot(q, 2.2, run.pen.colour));
                    }
                }
            }
            run.points.clear();
        };
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) {
                flush();
                if (std::isfinite(s.x[i]) && !s.gapsAreNone) {
                    noteNoValue(noValueAt, s.x[i]);
                }
                continue;
            }
            run.points.push_back(f.at(s.x[i], s.y[i]));
        }
        flush();
    }
}

// The legend, in two columns under the axis labels, then the notes; the
// page grows to hold them.
void drawLegend(Picture& p, const Chart& chart, bool noValue)
{
    double y = p.frame.bottom + 80;
    double x = p.frame.left;
    int entries = 0;
    const auto next = [&] {
        if (++entries % 2 == 0) {
            x = p.frame.left;
            y += 18;
        } else {
            x = (p.frame.left + p.frame.right) / 2;
        }
    };
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        legendEntry(p, x, y, seriesPen(chart, k), chart.series[k].label);
        next();
    }
    if (!chart.bands.empty()) {
        // One entry for every stretch: a swatch of their shade.
        Polyline swatch;
        swatch.points = {{x, y - 10}, {x + 24, y - 10}, {x + 24, y + 2}, {x, y + 2}};
        swatch.pen.colour = kBandColour;
        swatch.filled = true;
        swatch.clipped = false;
        p.lines.push_back(swatch);
        p.labels.push_back(label(x + 32, y, chart.bandsLabel, 12));
        next();
    }
    for (const Marker& m : chart.markers) {
        legendEntry(p, x, y, m.atTop ? Pen{kGrey, 2.0, {}} : Pen{kGrey, 1.2, {5.0, 4.0}},
                    m.atTop ? "-> " + m.label : m.label);
        next();
    }
    if (noValue) {
        legendEntry(p, x, y, Pen{kBlack, 1.8, {}}, "x: not computed (named on standard error)");
        next();
    }
    if (entries % 2 == 1) {
        x = p.frame.left;
        y += 18;
    }
    for (const std::string& note : chart.notes) {
        p.labels.push_back(label(p.frame.left, y + 4, note, 11, Align::left, kGrey));
        y += 16;
    }
    p.height = std::max(p.height, y + 8);
}

} // namespace

Picture layoutChart(const Chart& chart)
{
    Picture p;
    p.frame = Box{100, 60, 930, 530};
    const Frame f = chartFrame(chart, p.frame);
    p.labels.push_back(label(p.frame.left, 34, chart.title, 16));
    axes(p, f, chart.xLabel, chart.yLabel, chart.categories);
    drawBands(p, f, chart.bands);
    drawMarkers(p, f, chart.markers);
    std::vector<double> noValueAt;
    if (chart.categories.empty()) {
        drawLines(p, f, chart, noValueAt);
    } else {
        drawBars(p, f, chart, noValueAt);
    }
    // Values that could not be computed: a cross at the bottom of the frame.
    for (double x : noValueAt) {
        const double px = f.X(x);
        const double py = p.frame.bottom - 8;
        p.lines.push_back(line({px - 5, py - 5}, {px + 5, py + 5}, Pen{kBlack, 1.8, {}}));
        p.lines.push_back(line({px - 5, py + 5}, {px + 5, py - 5}, Pen{kBlack, 1.8, {}}));
    }
    drawLegend(p, chart, !noValueAt.empty());
    return p;
}

} // namespace study
