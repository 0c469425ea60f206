#include "study_draw.h"

#include <algorithm>
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "egm_constants.h"
#include "shadow_on_x.h"
#include "study_format.h"

namespace study {

namespace {

constexpr double kCanvasWidth = 960.0;
constexpr double kCanvasHeight = 720.0;

struct Colour {
    double r, g, b;
};
const Colour kWireColour[4] = {{0.12, 0.35, 0.75}, {0.05, 0.55, 0.50}, {0.85, 0.18, 0.12}, {0.92, 0.55, 0.0}};
const char* const kWireName[4] = {"ground wire 1", "ground wire 2", "conductor 1", "conductor 2"};
const Colour kSeriesColour[3] = {{0.85, 0.18, 0.12}, {0.92, 0.55, 0.0}, {0.2, 0.2, 0.2}};

// A cairo surface of the file's format, drawn into and then written to a
// temporary file beside the target, renamed into place once complete.
class Canvas {
  public:
    explicit Canvas(const std::string& path) : path_(path), temporary_(path + ".partial")
    {
        const std::optional<ImageFormat> format = imageFormatOf(path);
        if (!format) {
            throw std::runtime_error("'" + path + "': the picture's name must end in .svg, .png or .pdf");
        }
        format_ = *format;
        switch (format_) {
        case ImageFormat::svg:
            surface_ = cairo_svg_surface_create(temporary_.c_str(), kCanvasWidth, kCanvasHeight);
            break;
        case ImageFormat::pdf:
            surface_ = cairo_pdf_surface_create(temporary_.c_str(), kCanvasWidth, kCanvasHeight);
            break;
        case ImageFormat::png:
            surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(kCanvasWidth),
                                                  static_cast<int>(kCanvasHeight));
            break;
        }
        cr_ = cairo_create(surface_);
        if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
            const std::string reason = cairo_status_to_string(cairo_status(cr_));
            release();
            std::remove(temporary_.c_str());
            throw std::runtime_error("cannot write '" + path + "': " + reason);
        }
        cairo_set_source_rgb(cr_, 1, 1, 1);
        cairo_paint(cr_);
        cairo_select_font_face(cr_, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr_, 13);
    }
    ~Canvas()
    {
        release();
        if (!done_) {
            std::remove(temporary_.c_str());
        }
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }

    void finish()
    {
        cairo_status_t status = cairo_status(cr_);
        cairo_destroy(cr_);
        cr_ = nullptr;
        if (status == CAIRO_STATUS_SUCCESS && format_ == ImageFormat::png) {
            status = cairo_surface_write_to_png(surface_, temporary_.c_str());
        }
        cairo_surface_finish(surface_);
        if (status == CAIRO_STATUS_SUCCESS) {
            status = cairo_surface_status(surface_);
        }
        cairo_surface_destroy(surface_);
        surface_ = nullptr;
        if (status != CAIRO_STATUS_SUCCESS) {
            throw std::runtime_error("cannot write '" + path_ + "': " + cairo_status_to_string(status));
        }
        if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
            throw std::runtime_error("cannot write '" + path_ + "'");
        }
        done_ = true;
    }

  private:
    void release()
    {
        if (cr_ != nullptr) {
            cairo_destroy(cr_);
            cr_ = nullptr;
        }
        if (surface_ != nullptr) {
            cairo_surface_finish(surface_);
            cairo_surface_destroy(surface_);
            surface_ = nullptr;
        }
    }

    std::string path_;
    std::string temporary_;
    ImageFormat format_ = ImageFormat::svg;
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    bool done_ = false;
};

void setColour(cairo_t* cr, const Colour& c, double alpha = 1.0)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

enum class Align { left, centre, right };

void text(cairo_t* cr, double x, double y, const std::string& s, Align align = Align::left)
{
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    const double dx = align == Align::left ? 0.0 : align == Align::centre ? -e.x_advance / 2 : -e.x_advance;
    cairo_move_to(cr, x + dx, y);
    cairo_show_text(cr, s.c_str());
}

// Data coordinates to the page: a rectangle of the page shows [x0, x1] x
// [y0, y1], y upwards.
struct Frame {
    double left, top, width, height;
    double x0, x1, y0, y1;
    double X(double x) const { return left + (x - x0) / (x1 - x0) * width; }
    double Y(double y) const { return top + height - (y - y0) / (y1 - y0) * height; }
};

// Round tick values, about target of them, across [lo, hi].
std::vector<double> ticks(double lo, double hi, int target = 6)
{
    std::vector<double> result;
    const double span = hi - lo;
    if (!(span > 0.0) || !std::isfinite(span)) {
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
    for (double t = std::ceil(lo / step) * step; t <= hi + step * 1e-9; t += step) {
        result.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
    }
    return result;
}

std::string tickLabel(double v)
{
    char s[32];
    std::snprintf(s, sizeof s, "%g", v);
    return s;
}

void drawAxes(cairo_t* cr, const Frame& f, const std::string& xLabel, const std::string& yLabel)
{
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, f.left, f.top, f.width, f.height);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 12);
    for (double t : ticks(f.x0, f.x1, static_cast<int>(f.width / 90))) {
        const double x = f.X(t);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.12);
        cairo_move_to(cr, x, f.top);
        cairo_line_to(cr, x, f.top + f.height);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_move_to(cr, x, f.top + f.height);
        cairo_line_to(cr, x, f.top + f.height + 5);
        cairo_stroke(cr);
        text(cr, x, f.top + f.height + 19, tickLabel(t), Align::centre);
    }
    for (double t : ticks(f.y0, f.y1, static_cast<int>(f.height / 70))) {
        const double y = f.Y(t);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.12);
        cairo_move_to(cr, f.left, y);
        cairo_line_to(cr, f.left + f.width, y);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_move_to(cr, f.left - 5, y);
        cairo_line_to(cr, f.left, y);
        cairo_stroke(cr);
        text(cr, f.left - 8, y + 4, tickLabel(t), Align::right);
    }
    cairo_set_font_size(cr, 13);
    text(cr, f.left + f.width / 2, f.top + f.height + 42, xLabel, Align::centre);
    cairo_save(cr);
    cairo_translate(cr, f.left - 52, f.top + f.height / 2);
    cairo_rotate(cr, -egm::kHalfPi);
    text(cr, 0, 0, yLabel, Align::centre);
    cairo_restore(cr);
}

// Path of the arc of circle c from start to end (counter-clockwise, y up).
void arcPath(cairo_t* cr, const Frame& f, const Circle& c, double start, double end)
{
    const double scale = f.width / (f.x1 - f.x0);
    cairo_new_sub_path(cr);
    cairo_save(cr);
    cairo_translate(cr, f.X(c.x), f.Y(c.y));
    cairo_scale(cr, scale, -scale);
    cairo_arc(cr, 0, 0, c.r, start, end);
    cairo_restore(cr);
}

// A length for reading, to the millimetre.
std::string metres(double x)
{
    char s[48];
    std::snprintf(s, sizeof s, "%.3f m", x);
    return s;
}

void drawSceneLegend(cairo_t* cr, const StrokeScene& s, double x, double y)
{
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_font_size(cr, 15);
    text(cr, x, y, "Stroke");
    cairo_set_font_size(cr, 12);
    const std::string lines[] = {
        "current " + shortest(s.current) + " kA",
        "incidence angle " + shortest(s.angleDegrees) + " deg",
        "ground slope " + shortest(s.slopeAngle) + " deg",
        "striking radius, ground wires " + metres(s.circle[0].r),
        "striking radius, conductor 1 " + metres(s.circle[2].r),
        "striking radius, conductor 2 " + metres(s.circle[3].r),
        "ground striking line G " + metres(s.groundStrikeHeight),
    };
    double line = y + 22;
    for (const std::string& l : lines) {
        text(cr, x, line, l);
        line += 17;
    }
    line += 10;
    cairo_set_font_size(cr, 15);
    text(cr, x, line, "Exposure width, m");
    cairo_set_font_size(cr, 12);
    line += 22;
    for (int w = 0; w < 4; ++w) {
        setColour(cr, kWireColour[w]);
        cairo_set_line_width(cr, 4);
        cairo_move_to(cr, x, line - 4);
        cairo_line_to(cr, x + 22, line - 4);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0, 0, 0);
        text(cr, x + 30, line, std::string(kWireName[w]) + "  " + shortest(s.widths[w]));
        line += 18;
    }
    // The stroke direction: the path comes down towards the ground.
    line += 22;
    text(cr, x, line, "stroke direction");
    const double cx = x + 150;
    const double cy = line - 4;
    const double dx = -std::cos(s.theta) * 28;
    const double dy = std::sin(s.theta) * 28; // page y runs downwards
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, cx - dx, cy - dy);
    cairo_line_to(cr, cx + dx, cy + dy);
    cairo_stroke(cr);
    const double a = std::atan2(dy, dx);
    cairo_move_to(cr, cx + dx, cy + dy);
    cairo_line_to(cr, cx + dx - 9 * std::cos(a - 0.4), cy + dy - 9 * std::sin(a - 0.4));
    cairo_line_to(cr, cx + dx - 9 * std::cos(a + 0.4), cy + dy - 9 * std::sin(a + 0.4));
    cairo_close_path(cr);
    cairo_fill(cr);
}

// The stretch of data to show: all four circles, the ground line and the
// striking line, and the shadows as far as twice the circles' width away.
Frame sceneFrame(const StrokeScene& s, double left, double top, double width, double height)
{
    double x0 = std::numeric_limits<double>::infinity();
    double x1 = -x0;
    double y0 = 0.0;
    double y1 = s.groundStrikeHeight;
    for (const Circle& c : s.circle) {
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
    for (const Interval& i : s.shadows) {
        for (double e : {i.left, i.right}) {
            if (std::isfinite(e) && std::abs(e - middle) < reach) {
                x0 = std::min(x0, e);
                x1 = std::max(x1, e);
            }
        }
    }
    if (!std::isfinite(y0) || !std::isfinite(y1) || !(y1 > y0)) {
        y0 = -10;
        y1 = 100;
    }
    const double padX = (x1 - x0) * 0.04;
    const double padY = (y1 - y0) * 0.06;
    x0 -= padX;
    x1 += padX;
    y0 -= padY + (x1 - x0) * 0.03; // room below the ground line for the shadows
    y1 += padY;
    // One scale for both axes: widen the shorter side.
    const double scale = std::min(width / (x1 - x0), height / (y1 - y0));
    const double wantX = width / scale;
    const double wantY = height / scale;
    const double cx = (x0 + x1) / 2;
    // Extra height goes above, so the ground stays near the bottom.
    return Frame{left, top, width, height, cx - wantX / 2, cx + wantX / 2, y0, y0 + wantY};
}

void drawChartLegend(cairo_t* cr, const Chart& chart, double x, double y)
{
    cairo_set_font_size(cr, 12);
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        setColour(cr, kSeriesColour[k % 3]);
        cairo_set_line_width(cr, chart.series[k].dashed ? 1.6 : 2.6);
        const double seriesDash[] = {7.0, 4.0};
        cairo_set_dash(cr, seriesDash, chart.series[k].dashed ? 2 : 0, 0);
        cairo_move_to(cr, x, y - 4);
        cairo_line_to(cr, x + 24, y - 4);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        cairo_set_source_rgb(cr, 0, 0, 0);
        text(cr, x + 32, y, chart.series[k].label);
        y += 18;
    }
    for (const Marker& m : chart.markers) {
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        cairo_set_line_width(cr, 1.2);
        const double dash[] = {5.0, 4.0};
        cairo_set_dash(cr, dash, 2, 0);
        cairo_move_to(cr, x, y - 4);
        cairo_line_to(cr, x + 24, y - 4);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        cairo_set_source_rgb(cr, 0, 0, 0);
        text(cr, x + 32, y, m.label);
        y += 18;
    }
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

StrokeScene strokeScene(const RateInputs& inputs, double current, double angleDegrees)
{
    StrokeScene s{};
    s.current = current;
    s.angleDegrees = angleDegrees;
    s.theta = angleDegrees / 180.0 * egm::kPi; // as the integration forms (l + 1) / 180 * pi
    s.slopeAngle = inputs.slopeAngle;
    CurrentStep step;
    prepareCurrentStep(current, inputs.slopeAngle, inputs.geometry, inputs.voltageTerm, step);
    StrokeShadows shadows{};
    const StrokeAngle angle = strokeAngle(s.theta);
    evaluateStroke(step, angle, s.widths, &shadows);
    s.groundStrikeHeight = step.groundStrikeHeight;
    for (int i = 0; i < 4; ++i) {
        s.circle[i] = Circle{step.x[i], step.y[i], step.r[i]};
        if (step.a[i] != step.b[i]) {
            s.arcs.push_back(DrawnArc{i + 1, step.a[i], step.b[i]});
        }
        s.shadows[i] = shadows.shadow[i];
        const Point ends[2] = {shadows.u[i], shadows.v[i]};
        for (int k = 0; k < 2; ++k) {
            const double onGround = shadow_on_x(ends[k], s.theta);
            s.tangentPaths[2 * i + k] = DrawnSegment{ends[k], Point{onGround, 0.0}};
        }
    }
    return s;
}

Chart exposureChart(const RateInputs& inputs)
{
    Chart chart;
    chart.title = "Angle-weighted exposure of the conductors";
    chart.xLabel = "lightning current, kA";
    chart.yLabel = "angle sum (conductor's share, weighted)";
    const ExposureCurve curve = exposureCurve(inputs);
    chart.series.push_back(Series{"conductor 1", curve.current, curve.angleSumC1, false});
    chart.series.push_back(Series{"conductor 2", curve.current, curve.angleSumC2, false});
    const CaseResult result = analyseCase(inputs);
    for (int c = 0; c < 2; ++c) {
        if (result.maxCurrent[c]) {
            chart.markers.push_back(Marker{"max. current, conductor " + std::to_string(c + 1) + ": " +
                                               shortest(*result.maxCurrent[c]) + " kA",
                                           *result.maxCurrent[c]});
        }
    }
    return chart;
}

namespace {

// The swept input as an axis label, with its unit.
std::string inputLabel(const std::string& param)
{
    if (param == "slope") {
        return "ground slope, degrees";
    }
    if (param == "min-current" || param == "current-scale") {
        return param + ", kA";
    }
    if (param.size() == 2 && (param[0] == 'x' || param[0] == 'h')) {
        return std::string(param[0] == 'x' ? "x of wire " : "height of wire ") + param[1] + ", m";
    }
    return param;
}

} // namespace

Chart sweepChart(const std::string& param, const std::vector<SweepRow>& rows)
{
    Chart chart;
    chart.title = "Shielding failure rate against " + param;
    chart.xLabel = inputLabel(param);
    chart.yLabel = "strokes per 100 km per year";
    Series c1{"conductor 1", {}, {}, false};
    Series c2{"conductor 2", {}, {}, false};
    Series total{"total", {}, {}, true};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const SweepRow& row : rows) {
        for (Series* series : {&c1, &c2, &total}) {
            series->x.push_back(row.value);
        }
        c1.y.push_back(row.result ? row.result->rates.rateC1 : nan);
        c2.y.push_back(row.result ? row.result->rates.rateC2 : nan);
        total.y.push_back(row.result ? row.result->rates.rateTotal : nan);
    }
    chart.series = {c1, c2, total};
    return chart;
}

void renderStrokeScene(const StrokeScene& s, const std::string& path)
{
    Canvas canvas(path);
    cairo_t* cr = canvas.cr();
    const Frame f = sceneFrame(s, 80, 50, 580, 600);

    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_font_size(cr, 16);
    text(cr, 80, 30, "Striking circles in the frame of the sloped ground");

    cairo_save(cr);
    cairo_rectangle(cr, f.left, f.top, f.width, f.height);
    cairo_clip(cr);
    // Below the ground line.
    cairo_set_source_rgb(cr, 0.93, 0.90, 0.84);
    cairo_rectangle(cr, f.left, f.Y(0), f.width, f.top + f.height - f.Y(0));
    cairo_fill(cr);
    cairo_restore(cr);
    drawAxes(cr, f, "x along the ground line, m", "height above the ground line, m");

    cairo_save(cr);
    cairo_rectangle(cr, f.left, f.top, f.width, f.height);
    cairo_clip(cr);
    cairo_set_line_width(cr, 1.6);
    cairo_set_source_rgb(cr, 0.35, 0.25, 0.1);
    cairo_move_to(cr, f.left, f.Y(0));
    cairo_line_to(cr, f.left + f.width, f.Y(0));
    cairo_stroke(cr);
    cairo_set_font_size(cr, 11);
    text(cr, f.left + 6, f.Y(0) - 5, "ground line (sloped ground)");
    if (s.slopeAngle != 0.0) {
        // The true horizontal, turned with the frame by -slope.
        const double a = -s.slopeAngle / 180.0 * egm::kPi;
        const double reach = f.x1 - f.x0;
        const double dash[] = {8.0, 5.0};
        cairo_set_dash(cr, dash, 2, 0);
        cairo_set_line_width(cr, 1.0);
        cairo_move_to(cr, f.X(-reach * std::cos(a)), f.Y(-reach * std::sin(a)));
        cairo_line_to(cr, f.X(reach * std::cos(a)), f.Y(reach * std::sin(a)));
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
        text(cr, f.X(0) + 8, f.Y(0) + 16, "true horizontal: ground slope " + shortest(s.slopeAngle) + " deg");
    }
    // The ground's striking line.
    const double dash[] = {6.0, 4.0};
    cairo_set_dash(cr, dash, 2, 0);
    cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
    cairo_move_to(cr, f.left, f.Y(s.groundStrikeHeight));
    cairo_line_to(cr, f.left + f.width, f.Y(s.groundStrikeHeight));
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    text(cr, f.left + 6, f.Y(s.groundStrikeHeight) - 5, "ground striking line y = G");

    // Striking circles, thin; tangent stroke paths, dashed.
    for (int i = 0; i < 4; ++i) {
        setColour(cr, kWireColour[i], 0.55);
        cairo_set_line_width(cr, 0.8);
        arcPath(cr, f, s.circle[i], 0.0, egm::kTwoPi);
        cairo_stroke(cr);
        const double pathDash[] = {3.0, 3.0};
        cairo_set_dash(cr, pathDash, 2, 0);
        setColour(cr, kWireColour[i], 0.7);
        for (int k = 0; k < 2; ++k) {
            const DrawnSegment& p = s.tangentPaths[2 * i + k];
            cairo_move_to(cr, f.X(p.from.x), f.Y(p.from.y));
            cairo_line_to(cr, f.X(p.to.x), f.Y(p.to.y));
        }
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    // Exposed arcs after the trim, thick.
    for (const DrawnArc& arc : s.arcs) {
        if (arc.end > arc.start) {
            setColour(cr, kWireColour[arc.wire - 1]);
            cairo_set_line_width(cr, 4.0);
            arcPath(cr, f, s.circle[arc.wire - 1], arc.start, arc.end);
            cairo_stroke(cr);
        }
    }
    // The wires.
    for (int i = 0; i < 4; ++i) {
        setColour(cr, kWireColour[i]);
        cairo_arc(cr, f.X(s.circle[i].x), f.Y(s.circle[i].y), 3.5, 0, egm::kTwoPi);
        cairo_fill(cr);
    }
    // Shadow intervals after the cut, stacked just below the ground line.
    for (int i = 0; i < 4; ++i) {
        const double y = f.Y(0) + 7 + 6 * i;
        setColour(cr, kWireColour[i]);
        cairo_set_line_width(cr, 4.0);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        cairo_move_to(cr, f.X(s.shadows[i].left), y);
        cairo_line_to(cr, f.X(s.shadows[i].right), y);
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    drawSceneLegend(cr, s, 680, 70);
    canvas.finish();
}

void renderChart(const Chart& chart, const std::string& path)
{
    Canvas canvas(path);
    cairo_t* cr = canvas.cr();
    double x0 = std::numeric_limits<double>::infinity();
    double x1 = -x0;
    double y0 = 0.0;
    double y1 = 0.0;
    for (const Series& s : chart.series) {
        for (std::size_t k = 0; k < s.x.size(); ++k) {
            if (std::isfinite(s.x[k])) {
                x0 = std::min(x0, s.x[k]);
                x1 = std::max(x1, s.x[k]);
            }
            if (std::isfinite(s.y[k])) {
                y0 = std::min(y0, s.y[k]);
                y1 = std::max(y1, s.y[k]);
            }
        }
    }
    if (!(x1 > x0)) {
        x0 = std::isfinite(x0) ? x0 - 1 : 0;
        x1 = x0 + 2;
    }
    if (!(y1 > y0)) {
        y1 = y0 + 1;
    }
    y1 += (y1 - y0) * 0.05;
    const Frame f{90, 50, 560, 580, x0, x1, y0, y1};

    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_font_size(cr, 16);
    text(cr, 90, 30, chart.title);
    drawAxes(cr, f, chart.xLabel, chart.yLabel);

    cairo_save(cr);
    cairo_rectangle(cr, f.left, f.top, f.width, f.height);
    cairo_clip(cr);
    for (const Marker& m : chart.markers) {
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        cairo_set_line_width(cr, 1.2);
        const double dash[] = {5.0, 4.0};
        cairo_set_dash(cr, dash, 2, 0);
        cairo_move_to(cr, f.X(m.x), f.top);
        cairo_line_to(cr, f.X(m.x), f.top + f.height);
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        const Series& s = chart.series[k];
        setColour(cr, kSeriesColour[k % 3]);
        cairo_set_line_width(cr, s.dashed ? 1.6 : 2.6);
        const double seriesDash[] = {7.0, 4.0};
        cairo_set_dash(cr, seriesDash, s.dashed ? 2 : 0, 0);
        bool drawing = false;
        for (std::size_t p = 0; p < s.x.size(); ++p) {
            if (!std::isfinite(s.x[p]) || !std::isfinite(s.y[p])) {
                drawing = false; // a gap where there is no value
                continue;
            }
            if (drawing) {
                cairo_line_to(cr, f.X(s.x[p]), f.Y(s.y[p]));
            } else {
                cairo_move_to(cr, f.X(s.x[p]), f.Y(s.y[p]));
                drawing = true;
            }
        }
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    cairo_restore(cr);
    drawChartLegend(cr, chart, 670, 70);
    canvas.finish();
}

} // namespace study
