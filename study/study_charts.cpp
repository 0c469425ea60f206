#include "study_charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "egm/input_table.h"
#include "study_format.h"

namespace study {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const Colour kBlack{0, 0, 0, 1};
const Colour kGrey{0.4, 0.4, 0.4, 1};
const Colour kGrid{0, 0, 0, 0.12};
// Wires and series take these in turn; the ground's bands are kGroundBand.
const Colour kPalette[8] = {{0.85, 0.18, 0.12, 1}, {0.92, 0.55, 0.0, 1},  {0.12, 0.35, 0.75, 1},
                            {0.05, 0.55, 0.50, 1}, {0.55, 0.25, 0.70, 1}, {0.45, 0.30, 0.15, 1},
                            {0.85, 0.35, 0.60, 1}, {0.40, 0.60, 0.10, 1}};
const Colour kTotalColour{0.2, 0.2, 0.2, 1};
const Colour kGroundBand{0.6, 0.6, 0.6, 1};

Colour paletteColour(std::size_t k)
{
    return kPalette[k % std::size(kPalette)];
}

Colour faded(Colour c, double alpha)
{
    c.a = alpha;
    return c;
}

// A dashed last series is the total, in its own colour. In a bar chart a
// dashed series is the companion of the one before it (the same figure by
// another method): its colour, paler.
Colour seriesColour(const Chart& chart, std::size_t k)
{
    if (!chart.categories.empty() && chart.series[k].dashed && k > 0) {
        return faded(seriesColour(chart, k - 1), 0.45);
    }
    return chart.series[k].dashed && k + 1 == chart.series.size() ? kTotalColour : paletteColour(k);
}

// Data coordinates to the page: the frame shows [x0, x1] x [y0, y1], y up.
struct Frame {
    Box page;
    double x0, x1, y0, y1;
    double X(double x) const { return page.left + (x - x0) / (x1 - x0) * (page.right - page.left); }
    double Y(double y) const { return page.bottom - (y - y0) / (y1 - y0) * (page.bottom - page.top); }
    PagePoint at(double x, double y) const { return {X(x), Y(y)}; }
};

Polyline line(PagePoint a, PagePoint b, Pen pen, bool clipped = true)
{
    Polyline p;
    p.points = {a, b};
    p.pen = std::move(pen);
    p.clipped = clipped;
    return p;
}

Label label(double x, double y, std::string text, double size = 12.0, Align align = Align::left,
            Colour colour = kBlack)
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

// The axes; with categories, one label under each category (at x = 0, 1,
// ...) instead of the x axis's ticks.
void axes(Picture& p, const Frame& f, const std::string& xLabel, const std::string& yLabel,
          const std::vector<std::string>& categories = {})
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

// A legend line: a short sample of the pen (or a dot), then the text.
void legendEntry(Picture& p, double x, double y, const Pen& pen, const std::string& text, bool asDot = false)
{
    if (asDot) {
        p.arcs.push_back(dot({x + 12, y - 4}, 3.5, pen.colour));
        p.arcs.back().clipped = false;
    } else {
        p.lines.push_back(line({x, y - 4}, {x + 24, y - 4}, pen, false));
    }
    p.labels.push_back(label(x + 32, y, text, 12));
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

Picture layoutChart(const Chart& chart)
{
    Picture p;
    p.frame = Box{100, 60, 930, 530};

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
    const Frame f{p.frame, x0, x1, y0, y1};

    p.labels.push_back(label(p.frame.left, 34, chart.title, 16));
    axes(p, f, chart.xLabel, chart.yLabel, chart.categories);

    for (const Marker& m : chart.markers) {
        const Pen pen{kGrey, 1.2, {5.0, 4.0}};
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
            p.lines.push_back(line({f.X(m.x), p.frame.top}, {f.X(m.x), p.frame.bottom}, pen));
        }
    }
    std::vector<double> noValueAt;
    // Bars: in each category one bar per series, side by side.
    const double barWidth = chart.series.empty() ? 0.0 : 0.8 / static_cast<double>(chart.series.size());
    for (std::size_t k = 0; !chart.categories.empty() && k < chart.series.size(); ++k) {
        const Series& s = chart.series[k];
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            if (!std::isfinite(s.y[i])) {
                if (std::find(noValueAt.begin(), noValueAt.end(), s.x[i]) == noValueAt.end()) {
                    noValueAt.push_back(s.x[i]);
                }
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
    for (std::size_t k = 0; chart.categories.empty() && k < chart.series.size(); ++k) {
        const Series& s = chart.series[k];
        const Pen pen{seriesColour(chart, k), s.dashed ? 1.6 : 2.6,
                      s.dashed ? std::vector<double>{7.0, 4.0} : std::vector<double>{}};
        Polyline run;
        run.pen = pen;
        // Small series show each value as a dot on the line; a value with
        // no neighbour (a one-point sweep, or between failed values) shows
        // as a larger dot of its own.
        const bool dots = s.x.size() <= 60;
        const auto flush = [&] {
            if (run.points.size() == 1) {
                p.arcs.push_back(dot(run.points.front(), 3.5, pen.colour));
            } else if (run.points.size() > 1) {
                p.lines.push_back(run);
                if (dots) {
                    for (const PagePoint& q : run.points) {
                        p.arcs.push_back(dot(q, 2.2, pen.colour));
                    }
                }
            }
            run.points.clear();
        };
        for (std::size_t i = 0; i < s.x.size(); ++i) {
            if (!std::isfinite(s.x[i])) {
                flush();
                continue;
            }
            if (!std::isfinite(s.y[i])) {
                flush();
                if (std::find(noValueAt.begin(), noValueAt.end(), s.x[i]) == noValueAt.end()) {
                    noValueAt.push_back(s.x[i]);
                }
                continue;
            }
            run.points.push_back(f.at(s.x[i], s.y[i]));
        }
        flush();
    }
    // Values that could not be computed: a cross at the bottom of the frame.
    for (double x : noValueAt) {
        const double px = f.X(x);
        const double py = p.frame.bottom - 8;
        p.lines.push_back(line({px - 5, py - 5}, {px + 5, py + 5}, Pen{kBlack, 1.8, {}}));
        p.lines.push_back(line({px - 5, py + 5}, {px + 5, py - 5}, Pen{kBlack, 1.8, {}}));
    }

    // The legend, in two columns under the axis labels.
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
        const Series& s = chart.series[k];
        legendEntry(p, x, y,
                    Pen{seriesColour(chart, k), s.dashed ? 1.6 : 2.6,
                        s.dashed ? std::vector<double>{7.0, 4.0} : std::vector<double>{}},
                    s.label);
        next();
    }
    for (const Marker& m : chart.markers) {
        legendEntry(p, x, y, m.atTop ? Pen{kGrey, 2.0, {}} : Pen{kGrey, 1.2, {5.0, 4.0}},
                    m.atTop ? "-> " + m.label : m.label);
        next();
    }
    if (!noValueAt.empty()) {
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
    return p;
}

StrokeScene strokeScene(const egm::Inputs& inputs, double current, double angleDegrees)
{
    StrokeScene s;
    s.angleDegrees = angleDegrees;
    s.slope = inputs.slope;
    s.evaluation = inputs.evaluation;
    s.wireNames = inputs.tower.names();
    // As the integration forms its angles: degrees / 180 * pi.
    s.geometry = egm::strokeGeometry(inputs, current, angleDegrees / 180.0 * kPi);
    return s;
}

Picture layoutStrokeScene(const StrokeScene& s)
{
    const egm::StrokeGeometry& g = s.geometry;
    const std::size_t wires = g.circle.size();
    const bool compat = s.evaluation == egm::Evaluation::compat;
    Picture p;
    p.frame = Box{80, 50, 660, 650};

    // The data to show: the circles, the ground and striking lines, the
    // shadows and bands as far as twice the circles' width away; room below
    // the ground line for a bar per wire; one scale for both axes.
    double x0 = std::numeric_limits<double>::infinity();
    double x1 = -x0;
    double y0 = 0.0;
    double y1 = g.groundStrikeHeight;
    for (const auto& c : g.circle) {
        if (std::isfinite(c.r) && std::isfinite(c.x) && std::isfinite(c.y)) {
            x0 = std::min(x0, c.x - c.r);
            x1 = std::max(x1, c.x + c.r);
            y0 = std::min(y0, c.y - c.r);
            y1 = std::max(y1, c.y + c.r);
        }
    }
    if (!(x1 > x0)) {
        x0 = -100;
        x1 = 100;
    }
    const double reach = 2.0 * (x1 - x0);
    const double middle = (x0 + x1) / 2;
    const auto widen = [&](double e) {
        if (std::isfinite(e) && std::abs(e - middle) < reach) {
            x0 = std::min(x0, e);
            x1 = std::max(x1, e);
        }
    };
    for (const auto& shadow : g.shadow) {
        widen(shadow.left);
        widen(shadow.right);
    }
    for (const auto& band : g.bands) {
        if (band.wire) {
            widen(band.left);
            widen(band.right);
        }
    }
    if (!std::isfinite(y0) || !std::isfinite(y1) || !(y1 > y0)) {
        y0 = -10;
        y1 = 100;
    }
    const double padX = (x1 - x0) * 0.04;
    x0 -= padX;
    x1 += padX;
    y1 += (y1 - y0) * 0.06;
    const double width = p.frame.right - p.frame.left;
    const double height = p.frame.bottom - p.frame.top;
    // A bar of 7 points per wire below the ground line, and a margin.
    const double barRoom = 20.0 + 7.0 * static_cast<double>(wires);
    double scale = std::min(width / (x1 - x0), (height - barRoom) / (y1 - y0));
    y0 -= barRoom / scale;
    const double cx = (x0 + x1) / 2;
    const Frame f{p.frame, cx - width / scale / 2, cx + width / scale / 2, y0, y0 + height / scale};

    p.labels.push_back(label(p.frame.left, 32, "Striking circles in the frame of the sloped ground", 16));
    axes(p, f, "x along the ground line, m", "height above the ground line, m");

    // Below the ground line.
    Polyline earth;
    earth.points = {{p.frame.left, f.Y(0)},
                    {p.frame.right, f.Y(0)},
                    {p.frame.right, p.frame.bottom},
                    {p.frame.left, p.frame.bottom}};
    earth.pen.colour = Colour{0.93, 0.90, 0.84, 1};
    earth.filled = true;
    p.lines.insert(p.lines.begin(), earth);

    // first-contact: each band of stroke paths, from where its edge paths
    // meet the ground line up along the stroke direction, in its catcher's
    // colour (the ground's in a neutral one).
    const double sinTheta = std::sin(g.theta);
    if (!compat && sinTheta > 1e-9) {
        const double along = (f.y1 - 0.0) / sinTheta; // path length up to the frame's top
        const double dx = along * std::cos(g.theta);
        for (const auto& band : g.bands) {
            // Edges far outside the frame are drawn at its reach.
            const double left = std::max(band.left, f.x0 - std::abs(dx) - (f.x1 - f.x0));
            const double right = std::min(band.right, f.x1 + std::abs(dx) + (f.x1 - f.x0));
            if (!(right > left)) {
                continue;
            }
            Polyline area;
            area.points = {f.at(left, 0.0), f.at(right, 0.0), f.at(right + dx, along * sinTheta),
                           f.at(left + dx, along * sinTheta)};
            area.pen.colour = band.wire ? faded(paletteColour(*band.wire), 0.16) : faded(kGroundBand, 0.10);
            area.filled = true;
            p.lines.push_back(area);
        }
    }
    p.lines.push_back(
        line({p.frame.left, f.Y(0)}, {p.frame.right, f.Y(0)}, Pen{{0.35, 0.25, 0.1, 1}, 1.6, {}}));
    // Labels above their lines, clear of the bars below the ground line.
    p.labels.push_back(label(p.frame.right - 6, f.Y(0) - 5, "ground line (sloped ground)", 11, Align::right));
    if (s.slope != 0.0) {
        // The true horizontal: a ground falling towards +x, laid level, turns
        // it by +slope, so that the vertical strokes (90 + slope degrees,
        // egm::verticalIncidence) stand square on it.
        const double a = s.slope / 180.0 * kPi;
        const double far = f.x1 - f.x0;
        p.lines.push_back(line(f.at(-far * std::cos(a), -far * std::sin(a)),
                               f.at(far * std::cos(a), far * std::sin(a)), Pen{kBlack, 1.0, {8.0, 5.0}}));
    }
    p.lines.push_back(line({p.frame.left, f.Y(g.groundStrikeHeight)},
                           {p.frame.right, f.Y(g.groundStrikeHeight)}, Pen{kGrey, 1.0, {6.0, 4.0}}));
    p.labels.push_back(
        label(p.frame.left + 6, f.Y(g.groundStrikeHeight) - 5, "ground striking line y = G", 11));

    const double pageScale = width / (f.x1 - f.x0);
    for (std::size_t i = 0; i < wires; ++i) {
        const auto& c = g.circle[i];
        const Colour colour = paletteColour(i);
        PageArc circle;
        circle.centre = f.at(c.x, c.y);
        circle.radius = c.r * pageScale;
        circle.end = 2.0 * kPi;
        circle.pen = Pen{faded(colour, 0.55), compat ? 0.8 : 1.4, {}};
        p.arcs.push_back(circle);
        if (compat && i < g.arc.size() && g.arc[i].exposed) {
            PageArc exposed = circle;
            exposed.start = g.arc[i].start;
            exposed.end = g.arc[i].end < g.arc[i].start ? g.arc[i].end + 2.0 * kPi : g.arc[i].end;
            exposed.pen = Pen{colour, 4.0, {}};
            p.arcs.push_back(exposed);
        }
        // compat: the stroke paths from the two silhouette points down to
        // the ground.
        if (compat && i < g.silhouette.size()) {
            for (const auto& from : g.silhouette[i]) {
                const double onGround = g.theta == kPi / 2 ? from.x : from.x - from.y / std::tan(g.theta);
                p.lines.push_back(line(f.at(from.x, from.y), f.at(onGround, 0.0),
                                       Pen{faded(colour, 0.7), 1.0, {3.0, 3.0}}));
            }
        }
        p.arcs.push_back(dot(f.at(c.x, c.y), 3.5, colour));
    }
    // The bars below the ground, one row per wire: compat, the shadows
    // after the conductors' cut; first-contact, the bands each wire catches.
    const auto bar = [&](std::size_t wire, double left, double right) {
        const double y = f.Y(0) + 9 + 7 * static_cast<double>(wire);
        p.lines.push_back(line({f.X(left), y}, {f.X(right), y}, Pen{paletteColour(wire), 5.0, {}}));
    };
    if (compat) {
        for (std::size_t i = 0; i < g.shadow.size(); ++i) {
            bar(i, g.shadow[i].left, g.shadow[i].right);
        }
    } else {
        for (const auto& band : g.bands) {
            if (band.wire) {
                bar(*band.wire, band.left, band.right);
            }
        }
    }

    // The legend, to the right of the frame.
    const double lx = 690;
    double ly = 70;
    p.labels.push_back(label(lx, ly, "Stroke", 15));
    ly += 22;
    const auto text = [&](const std::string& t) {
        p.labels.push_back(label(lx, ly, t, 12));
        ly += 17;
    };
    text("current " + legendNumber(g.current) + " kA");
    // Both frames: the ground's, in which the picture is drawn, and the
    // vertical's, which a sloped ground turns by the slope.
    text("angle " + legendNumber(s.angleDegrees) + " deg (ground's frame)");
    text("  = " + legendNumber(90.0 + s.slope - s.angleDegrees) + " deg from the vertical");
    text("ground slope " + legendNumber(s.slope) + " deg");
    text("ground striking line G " + legendNumber(g.groundStrikeHeight) + " m");
    text("evaluation " + std::string(egm::evaluationName(s.evaluation)));
    if (s.slope != 0.0) {
        text("dashed: the true horizontal");
    }
    if (!compat) {
        text("shaded: the paths each wire catches");
    }
    ly += 10;
    p.labels.push_back(label(lx, ly, "Width, m (striking distance)", 15));
    ly += 22;
    double widest = 0.0;
    for (double w : g.width) {
        widest = std::max(widest, std::isfinite(w) ? std::abs(w) : 0.0);
    }
    for (std::size_t i = 0; i < wires; ++i) {
        const std::string name = i < s.wireNames.size() ? s.wireNames[i] : "wire " + std::to_string(i + 1);
        legendEntry(p, lx, ly, Pen{paletteColour(i), 4.0, {}},
                    name + "  " + legendNumber(g.width[i], widest) + " (r " + legendNumber(g.circle[i].r) +
                        ")" + (compat && i < g.arc.size() && !g.arc[i].exposed ? " no exposed arc" : ""));
        ly += 18;
    }
    // The stroke direction: the path comes down towards the ground.
    ly += 24;
    p.labels.push_back(label(lx, ly, "stroke direction", 12));
    const double ax = lx + 150;
    const double ay = ly - 4;
    const double dx = -std::cos(g.theta) * 28;
    const double dy = std::sin(g.theta) * 28; // page y runs downwards
    p.lines.push_back(line({ax - dx, ay - dy}, {ax + dx, ay + dy}, Pen{kBlack, 2.0, {}}, false));
    const double a = std::atan2(dy, dx);
    Polyline head;
    head.points = {{ax + dx, ay + dy},
                   {ax + dx - 9 * std::cos(a - 0.4), ay + dy - 9 * std::sin(a - 0.4)},
                   {ax + dx - 9 * std::cos(a + 0.4), ay + dy - 9 * std::sin(a + 0.4)}};
    head.filled = true;
    head.clipped = false;
    p.lines.push_back(head);
    return p;
}

} // namespace study
