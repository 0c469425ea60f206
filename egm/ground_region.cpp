#include "ground_region.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "egm_constants.h"

namespace egm::model {

namespace {

double normalized(double angle)
{
    angle = std::fmod(angle, kTwoPi);
    if (angle < 0.0) {
        angle += kTwoPi;
    }
    return angle >= kTwoPi ? 0.0 : angle;
}

// The points where the circle about c of radius r meets the segment from a
// to b, as angles at c.
void segmentCrossings(Point c, double r, Point a, Point b, std::vector<double>& angles)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double fx = a.x - c.x;
    const double fy = a.y - c.y;
    if (std::min(a.x, b.x) > c.x + r || std::max(a.x, b.x) < c.x - r || std::min(a.y, b.y) > c.y + r ||
        std::max(a.y, b.y) < c.y - r) {
        return;
    }
    const double qa = dx * dx + dy * dy;
    const double qb = 2.0 * (fx * dx + fy * dy);
    const double qc = fx * fx + fy * fy - r * r;
    const double disc = qb * qb - 4.0 * qa * qc;
    if (!(disc > 0.0) || !(qa > 0.0)) {
        return;
    }
    const double root = std::sqrt(disc);
    for (const double t : {(-qb - root) / (2.0 * qa), (-qb + root) / (2.0 * qa)}) {
        if (t >= 0.0 && t <= 1.0) {
            angles.push_back(normalized(std::atan2(fy + t * dy, fx + t * dx)));
        }
    }
}

// The points where the circle about c of radius r meets the level line at
// height y within x <= to (left) or x >= from (right).
void levelCrossings(Point c, double r, double y, double from, double to, std::vector<double>& angles)
{
    const double k = y - c.y;
    if (!(std::fabs(k) < r)) {
        return;
    }
    const double half = std::sqrt(r * r - k * k);
    for (const double x : {c.x - half, c.x + half}) {
        if (x >= from && x <= to) {
            angles.push_back(normalized(std::atan2(k, x - c.x)));
        }
    }
}

// The points where the circle about c of radius r meets the circle about v
// of radius g.
void circleCrossings(Point c, double r, Point v, double g, std::vector<double>& angles)
{
    const double dx = v.x - c.x;
    const double dy = v.y - c.y;
    const double d2 = dx * dx + dy * dy;
    if (!(d2 < (r + g) * (r + g)) || !(d2 > (r - g) * (r - g))) {
        return;
    }
    const double d = std::sqrt(d2);
    const double cosHalf = (r * r + d * d - g * g) / (2.0 * r * d);
    const double half = std::acos(std::clamp(cosHalf, -1.0, 1.0));
    const double direction = std::atan2(dy, dx);
    angles.push_back(normalized(direction - half));
    angles.push_back(normalized(direction + half));
}

// The square of the distance from p to the segment from a to b.
double squaredDistanceToSegment(Point p, Point a, Point b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    const double ex = p.x - (a.x + t * dx);
    const double ey = p.y - (a.y + t * dy);
    return ex * ex + ey * ey;
}

} // namespace

void GroundRegion::reset(const GroundProfile& profile, double groundStrikeHeight)
{
    g_ = groundStrikeHeight;
    // The surface stays from one current to the next.
    if (profile == profile_) {
        return;
    }
    profile_ = profile;
    const std::vector<GroundPoint>& points = profile.points();
    const double base = profile.base();
    surface_.resize(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        surface_[i] = Point{points[i].x, points[i].elevation + points[i].cover - base};
    }
    normal_.resize(points.size() - 1);
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const double dx = surface_[i + 1].x - surface_[i].x;
        const double dy = surface_[i + 1].y - surface_[i].y;
        const double length = std::hypot(dx, dy);
        normal_[i] = Point{-dy / length, dx / length};
    }
    // A point of the region above the surface has a nearest point on it: a
    // piece's inside (the point is then in that piece's strip) or a point
    // where the surface turns down. Where it turns up (or runs straight on)
    // the directions from the point to the places it is nearest to all
    // lie under the surface, so its circle adds nothing to the strips.
    top_ = surface_.front().y;
    for (const Point& p : surface_) {
        top_ = std::max(top_, p.y);
    }
    convex_.assign(points.size(), 1);
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        const Point& a = surface_[i - 1];
        const Point& v = surface_[i];
        const Point& b = surface_[i + 1];
        const double turn = (v.x - a.x) * (b.y - v.y) - (v.y - a.y) * (b.x - v.x);
        convex_[i] = turn < 0.0 ? 1 : 0;
    }
}

std::size_t GroundRegion::firstAtOrRight(double x) const
{
    return static_cast<std::size_t>(
        std::lower_bound(surface_.begin(), surface_.end(), x, [](const Point& p, double v) { return p.x < v; }) -
        surface_.begin());
}

bool GroundRegion::contains(Point p) const
{
    if (p.y > top_ + g_) {
        return false;
    }
    const Point& first = surface_.front();
    const Point& last = surface_.back();
    if (p.x <= first.x && p.y <= first.y + g_) {
        return true;
    }
    if (p.x >= last.x && p.y <= last.y + g_) {
        return true;
    }
    // Below the surface, or within G of one of its pieces that comes
    // within G across.
    const std::size_t n = surface_.size();
    const std::size_t from = std::min(firstAtOrRight(p.x - g_), n - 1);
    const std::size_t right = std::min(firstAtOrRight(p.x), n - 1);
    if (p.x > first.x && p.x < last.x) {
        const Point& a = surface_[right - 1];
        const Point& b = surface_[right];
        if (p.y <= a.y + (p.x - a.x) / (b.x - a.x) * (b.y - a.y)) {
            return true;
        }
    }
    for (std::size_t i = from == 0 ? 0 : from - 1; i + 1 < n; ++i) {
        if (surface_[i].x > p.x + g_) {
            break;
        }
        if (squaredDistanceToSegment(p, surface_[i], surface_[i + 1]) <= g_ * g_) {
            return true;
        }
    }
    const auto within = [&](const Point& q) { return (p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) <= g_ * g_; };
    return within(first) || within(last);
}

void GroundRegion::crossings(Point c, double r, std::vector<double>& angles) const
{
    angles.clear();
    if (c.y - r > top_ + g_) {
        return;
    }
    const std::size_t n = surface_.size();
    const double reach = r + g_;
    const Point& first = surface_.front();
    const Point& last = surface_.back();
    if (c.x - reach <= first.x) {
        levelCrossings(c, r, first.y + g_, -std::numeric_limits<double>::infinity(), first.x, angles);
    }
    if (c.x + reach >= last.x) {
        levelCrossings(c, r, last.y + g_, last.x, std::numeric_limits<double>::infinity(), angles);
    }
    const std::size_t from = std::min(firstAtOrRight(c.x - reach), n - 1);
    for (std::size_t i = from == 0 ? 0 : from - 1; i < n; ++i) {
        const Point& v = surface_[i];
        if (v.x > c.x + reach) {
            break;
        }
        if (convex_[i]) {
            circleCrossings(c, r, v, g_, angles);
        }
        if (i + 1 < n) {
            const Point& w = surface_[i + 1];
            const Point up{normal_[i].x * g_, normal_[i].y * g_};
            segmentCrossings(c, r, Point{v.x + up.x, v.y + up.y}, Point{w.x + up.x, w.y + up.y}, angles);
        }
    }
    std::sort(angles.begin(), angles.end());
}

void GroundRegion::piecesAbove(double y, std::vector<GroundPiece>& pieces) const
{
    pieces.clear();
    const double inf = std::numeric_limits<double>::infinity();
    const Point& first = surface_.front();
    const Point& last = surface_.back();
    if (first.y + g_ > y) {
        pieces.push_back(GroundPiece{GroundPiece::Kind::leftLevel, Point{-inf, first.y + g_},
                                     Point{first.x, first.y + g_}, Point{0.0, 1.0}, 0.0, first.y + g_, -inf,
                                     first.x});
    }
    for (std::size_t i = 0; i < surface_.size(); ++i) {
        const Point& v = surface_[i];
        if (v.y + g_ > y && convex_[i]) {
            pieces.push_back(
                GroundPiece{GroundPiece::Kind::circle, v, v, Point{}, g_, v.y + g_, v.x - g_, v.x + g_});
        }
        if (i + 1 == surface_.size()) {
            break;
        }
        const Point& w = surface_[i + 1];
        const Point n = normal_[i];
        const Point up{n.x * g_, n.y * g_};
        const Point a{v.x + up.x, v.y + up.y};
        const Point b{w.x + up.x, w.y + up.y};
        if (std::max(a.y, b.y) > y) {
            pieces.push_back(GroundPiece{GroundPiece::Kind::edge, a, b, n, 0.0, std::max(a.y, b.y),
                                         std::min(a.x, b.x), std::max(a.x, b.x)});
        }
    }
    if (last.y + g_ > y) {
        pieces.push_back(GroundPiece{GroundPiece::Kind::rightLevel, Point{last.x, last.y + g_},
                                     Point{inf, last.y + g_}, Point{0.0, 1.0}, 0.0, last.y + g_, last.x, inf});
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const GroundPiece& p, const GroundPiece& q) { return p.left < q.left; });
}

std::vector<Point> GroundRegion::boundary(double from, double to, double step) const
{
    // The region's top at x: the highest of the strips' upper edges over x,
    // the circles' tops and the level ends.
    const auto top = [&](double x) {
        double y = -std::numeric_limits<double>::infinity();
        const Point& first = surface_.front();
        const Point& last = surface_.back();
        if (x <= first.x) {
            y = first.y + g_;
        }
        if (x >= last.x) {
            y = std::max(y, last.y + g_);
        }
        for (std::size_t i = 0; i < surface_.size(); ++i) {
            const Point& v = surface_[i];
            const double u = x - v.x;
            if (std::fabs(u) <= g_) {
                y = std::max(y, v.y + std::sqrt(g_ * g_ - u * u));
            }
            if (i + 1 < surface_.size()) {
                const Point& w = surface_[i + 1];
                const Point n = normal_[i];
                const double ax = v.x + n.x * g_;
                const double bx = w.x + n.x * g_;
                if (x >= ax && x <= bx) {
                    y = std::max(y, v.y + n.y * g_ + (x - ax) / (bx - ax) * (w.y - v.y));
                }
            }
        }
        return y;
    };
    std::vector<double> xs;
    for (double x = from; x < to; x += step) {
        xs.push_back(x);
    }
    xs.push_back(to);
    for (const Point& v : surface_) {
        if (v.x > from && v.x < to) {
            xs.push_back(v.x);
        }
    }
    std::sort(xs.begin(), xs.end());
    std::vector<Point> out;
    for (const double x : xs) {
        out.push_back(Point{x, top(x)});
    }
    return out;
}

} // namespace egm::model
