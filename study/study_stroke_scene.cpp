// The stroke scene: one stroke's striking circles, bands and shadows in the
// frame of the sloped ground, laid out on a page.
#include <algorithm>
#include <cmath>
#include <limits>

#include "study_charts.h"
#include "study_page.h"

namespace study {

using namespace page;

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

namespace {

// The data to show: the circles, the ground and striking lines, the shadows
// and bands as far as twice the circles' width away; room below the ground
// line for a bar per wire; one scale for both axes.
Frame sceneFrame(const egm::StrokeGeometry& g, const Box& page)
{
    const std::size_t wires = g.circle.size();
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
    // The profile's surface and striking region under the circles.
    for (const auto& q : g.groundBoundary) {
        if (q.x >= x0 && q.x <= x1) {
            y1 = std::max(y1, q.y);
        }
    }
    for (const auto& q : g.surface) {
        if (q.x >= x0 && q.x <= x1) {
            y0 = std::min(y0, q.y);
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
    const double width = page.right - page.left;
    const double height = page.bottom - page.top;
    // A bar of 7 points per wire below the ground line, and a margin.
    const double barRoom = 20.0 + 7.0 * static_cast<double>(wires);
    double scale = std::min(width / (x1 - x0), (height - barRoom) / (y1 - y0));
    y0 -= barRoom / scale;
    const double cx = (x0 + x1) / 2;
    return Frame{page, cx - width / scale / 2, cx + width / scale / 2, y0, y0 + height / scale};
}

// Over a ground profile: the surface and the boundary of the ground's
// striking region, the points within G of it.
void drawProfile(Picture& p, const Frame& f, const egm::StrokeGeometry& g)
{
    Polyline surface;
    for (const auto& q : g.surface) {
        surface.points.push_back(f.at(q.x, q.y));
    }
    surface.pen = Pen{{0.35, 0.25, 0.1, 1}, 1.6, {}};
    p.lines.push_back(surface);
    Polyline boundary;
    for (const auto& q : g.groundBoundary) {
        boundary.points.push_back(f.at(q.x, q.y));
    }
    boundary.pen = Pen{kGrey, 1.0, {6.0, 4.0}};
    p.lines.push_back(boundary);
    // The labels over the tower, the boundary's above the surface's.
    const auto at = [&](const std::vector<egm::StrokeGeometry::Point>& points) {
        double y = points.front().y;
        for (const auto& q : points) {
            if (q.x <= 0.0) {
                y = q.y;
            }
        }
        return y;
    };
    p.labels.push_back(label(f.X(0.0) + 8, f.Y(at(g.surface)) + 14, "ground surface (profile)", 11));
    p.labels.push_back(label(f.X(0.0) + 8, f.Y(at(g.groundBoundary)) - 5, "within G of the ground", 11));
}

// Below the ground line; first-contact: the bands of stroke paths; the
// ground line, the true horizontal and the ground's striking line.
void drawGround(Picture& p, const Frame& f, const StrokeScene& s)
{
    const egm::StrokeGeometry& g = s.geometry;
    const bool compat = s.evaluation == egm::Evaluation::compat;
    // Below the ground line, or the profile's surface.
    Polyline earth;
    earth.points = {{p.frame.left, f.Y(0)},
                    {p.frame.right, f.Y(0)},
                    {p.frame.right, p.frame.bottom},
                    {p.frame.left, p.frame.bottom}};
    if (!g.surface.empty()) {
        earth.points.clear();
        for (const auto& q : g.surface) {
            earth.points.push_back(f.at(q.x, q.y));
        }
        earth.points.push_back({earth.points.back().x, p.frame.bottom});
        earth.points.push_back({earth.points.front().x, p.frame.bottom});
    }
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
    if (!g.surface.empty()) {
        drawProfile(p, f, g);
        return;
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
}

// Each wire's striking circle and centre; compat: its exposed arc and the
// paths that bound its shadow; and a bar per wire below the ground line.
void drawWires(Picture& p, const Frame& f, const StrokeScene& s)
{
    const egm::StrokeGeometry& g = s.geometry;
    const bool compat = s.evaluation == egm::Evaluation::compat;
    const std::size_t wires = g.circle.size();
    const double width = p.frame.right - p.frame.left;
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
}

// The legend, to the right of the frame: the stroke, each wire's width and
// striking distance, the stroke's direction.
void drawStrokeLegend(Picture& p, const StrokeScene& s)
{
    const egm::StrokeGeometry& g = s.geometry;
    const bool compat = s.evaluation == egm::Evaluation::compat;
    const std::size_t wires = g.circle.size();
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
    if (!g.surface.empty()) {
        // Over a profile the picture stands upright: angles from the true
        // horizontal, heights above the tower's base.
        text("angle " + legendNumber(s.angleDegrees) + " deg from the horizontal");
        text("  = " + legendNumber(90.0 - s.angleDegrees) + " deg from the vertical");
        text("ground profile; heights above the base");
        text("ground's striking distance G " + legendNumber(g.groundStrikeHeight) + " m");
    } else {
        text("angle " + legendNumber(s.angleDegrees) + " deg (ground's frame)");
        text("  = " + legendNumber(90.0 + s.slope - s.angleDegrees) + " deg from the vertical");
        text("ground slope " + legendNumber(s.slope) + " deg");
        text("ground striking line G " + legendNumber(g.groundStrikeHeight) + " m");
    }
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
}

} // namespace

Picture layoutStrokeScene(const StrokeScene& s)
{
    Picture p;
    p.frame = Box{80, 50, 660, 650};
    const Frame f = sceneFrame(s.geometry, p.frame);
    if (s.geometry.surface.empty()) {
        p.labels.push_back(label(p.frame.left, 32, "Striking circles in the frame of the sloped ground", 16));
        axes(p, f, "x along the ground line, m", "height above the ground line, m");
    } else {
        p.labels.push_back(label(p.frame.left, 32, "Striking circles over the ground profile", 16));
        axes(p, f, "x across the line, m", "height above the tower's base, m");
    }
    drawGround(p, f, s);
    drawWires(p, f, s);
    drawStrokeLegend(p, s);
    return p;
}

} // namespace study
