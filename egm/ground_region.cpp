#include "ground_region.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "egm_constants.h"

namespace egm::model {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

double normalized(double angle)
{
    angle = std::fmod(angle, kTwoPi);
    if (angle < 0.0) {
        angle += kTwoPi;
    }
    return angle >= kTwoPi ? 0.0 : angle;
}

bool isCircle(const GroundPiece& p)
{
    return p.kind == GroundPiece::Kind::circle;
}

// The height of the piece's curve at x, within its span: a circle's upper
// half, a line's point.
double valueAt(const GroundPiece& p, double x)
{
    switch (p.kind) {
    case GroundPiece::Kind::circle: {
        const double u = x - p.a.x;
        return p.a.y + std::sqrt(std::max(0.0, p.r * p.r - u * u));
    }
    case GroundPiece::Kind::edge:
        return p.a.y + (x - p.a.x) / (p.b.x - p.a.x) * (p.b.y - p.a.y);
    case GroundPiece::Kind::leftLevel:
        return p.b.y;
    case GroundPiece::Kind::rightLevel:
        break;
    }
    return p.a.y;
}

// A finite point of a straight piece and its unit direction.
void lineOf(const GroundPiece& p, Point& origin, Point& direction)
{
    if (p.kind == GroundPiece::Kind::leftLevel) {
        origin = p.b;
        direction = Point{1.0, 0.0};
        return;
    }
    origin = p.a;
    if (p.kind == GroundPiece::Kind::rightLevel) {
        direction = Point{1.0, 0.0};
        return;
    }
    // Along the edge: its outward normal turned a quarter clockwise.
    direction = Point{p.normal.y, -p.normal.x};
}

// Where the circle about c of radius r meets the line through origin along
// the unit direction: the points, at most two.
template <class Sink> void circleLine(Point c, double r, Point origin, Point direction, Sink&& sink)
{
    const double fx = origin.x - c.x;
    const double fy = origin.y - c.y;
    const double b = fx * direction.x + fy * direction.y;
    const double disc = b * b - (fx * fx + fy * fy - r * r);
    if (!(disc >= 0.0)) {
        return;
    }
    const double root = std::sqrt(disc);
    for (const double t : {-b - root, -b + root}) {
        sink(Point{origin.x + t * direction.x, origin.y + t * direction.y});
    }
}

// Where two circles meet: the points, at most two.
template <class Sink> void circleCircle(Point c, double r, Point e, double s, Sink&& sink)
{
    const double dx = e.x - c.x;
    const double dy = e.y - c.y;
    const double d2 = dx * dx + dy * dy;
    if (!(d2 > 0.0) || !(d2 <= (r + s) * (r + s)) || !(d2 >= (r - s) * (r - s))) {
        return;
    }
    const double d = std::sqrt(d2);
    const double along = (r * r - s * s + d2) / (2.0 * d);
    const double h = std::sqrt(std::max(0.0, r * r - along * along));
    const double mx = c.x + along * dx / d;
    const double my = c.y + along * dy / d;
    sink(Point{mx - h * dy / d, my + h * dx / d});
    sink(Point{mx + h * dy / d, my - h * dx / d});
}

// Where the curves of two pieces meet (their x).
template <class Sink> void meetings(const GroundPiece& p, const GroundPiece& q, Sink&& sink)
{
    const auto atX = [&](Point m) { sink(m.x); };
    if (isCircle(p) && isCircle(q)) {
        circleCircle(p.a, p.r, q.a, q.r, atX);
        return;
    }
    if (isCircle(p) || isCircle(q)) {
        const GroundPiece& circle = isCircle(p) ? p : q;
        Point origin, direction;
        lineOf(isCircle(p) ? q : p, origin, direction);
        circleLine(circle.a, circle.r, origin, direction, atX);
        return;
    }
    Point o1, d1, o2, d2;
    lineOf(p, o1, d1);
    lineOf(q, o2, d2);
    const double cross = d1.x * d2.y - d1.y * d2.x;
    if (cross == 0.0) {
        return;
    }
    const double t = ((o2.x - o1.x) * d2.y - (o2.y - o1.y) * d2.x) / cross;
    sink(o1.x + t * d1.x);
}

} // namespace

void GroundRegion::setProfile(const GroundProfile& profile)
{
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
    top_ = surface_.front().y;
    bottom_ = top_;
    for (const Point& p : surface_) {
        top_ = std::max(top_, p.y);
        bottom_ = std::min(bottom_, p.y);
    }
    const std::size_t n = surface_.size();
    lowest_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        lowest_[i] = surface_[i].y;
    }
    for (std::size_t run = 1; 2 * run <= n; run *= 2) {
        const std::size_t at = lowest_.size();
        lowest_.resize(at + n);
        for (std::size_t i = 0; i + 2 * run <= n; ++i) {
            lowest_[at + i] = std::min(lowest_[at - n + i], lowest_[at - n + i + run]);
        }
    }
    turnsDown_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        // Where the surface turns up (or runs straight on) a ball resting
        // on the point rests on a piece beside it too.
        turnsDown_[i] = i == 0 || i + 1 == n ||
                        (surface_[i].x - surface_[i - 1].x) * (surface_[i + 1].y - surface_[i].y) -
                                (surface_[i].y - surface_[i - 1].y) * (surface_[i + 1].x - surface_[i].x) <
                            0.0;
    }
    ready_ = false;
    findCrests();
}

void GroundRegion::setStrikeHeight(double groundStrikeHeight)
{
    if (ready_ && groundStrikeHeight == g_ && everywhere_) {
        return;
    }
    g_ = groundStrikeHeight;
    everywhere_ = true;
    where_.clear();
    findBoundary();
    ready_ = true;
}

void GroundRegion::setStrikeHeight(double groundStrikeHeight, const std::vector<Span>& where)
{
    if (ready_ && groundStrikeHeight == g_ && !everywhere_ && where == where_) {
        return;
    }
    g_ = groundStrikeHeight;
    everywhere_ = false;
    where_ = where;
    findBoundary();
    ready_ = true;
}

GroundPiece GroundRegion::pieceOf(const Feature& f) const
{
    const double g = g_;
    switch (f.kind) {
    case GroundPiece::Kind::leftLevel: {
        const Point& v = surface_.front();
        return GroundPiece{f.kind, Point{-kInf, v.y + g}, Point{v.x, v.y + g}, Point{0.0, 1.0}, 0.0, -kInf,
                           v.x};
    }
    case GroundPiece::Kind::rightLevel: {
        const Point& v = surface_.back();
        return GroundPiece{f.kind, Point{v.x, v.y + g}, Point{kInf, v.y + g}, Point{0.0, 1.0}, 0.0, v.x,
                           kInf};
    }
    case GroundPiece::Kind::circle: {
        // Only between the normals of the pieces either side is the point
        // the nearest of the surface (elsewhere a piece beside it is
        // nearer): the circle's part there, between the strips' edges.
        const Point& v = surface_[f.index];
        const double before = f.index == 0 ? 0.0 : normal_[f.index - 1].x;
        const double after = f.index + 1 == surface_.size() ? 0.0 : normal_[f.index].x;
        return GroundPiece{f.kind, v, v, Point{}, g, v.x + g * before, v.x + g * after};
    }
    case GroundPiece::Kind::edge:
        break;
    }
    const Point& v = surface_[f.index];
    const Point& w = surface_[f.index + 1];
    const Point n = normal_[f.index];
    const Point a{v.x + n.x * g, v.y + n.y * g};
    const Point b{w.x + n.x * g, w.y + n.y * g};
    return GroundPiece{f.kind, a, b, n, 0.0, a.x, b.x};
}

void GroundRegion::findBoundary()
{
    // The features whose pieces reach into the stretches wanted: a
    // feature's piece lies within G of its point, or of its piece's ends.
    std::vector<Feature>& features = features_;
    features.clear();
    const std::size_t points = surface_.size();
    const auto add = [&](std::size_t first, std::size_t last) {
        if (first == 0) {
            features.push_back(Feature{GroundPiece::Kind::leftLevel, 0});
        }
        // The piece that ends at the first point, unless laid already.
        if (first > 0 && (features.empty() || !(features.back().kind == GroundPiece::Kind::edge &&
                                                features.back().index + 1 >= first))) {
            features.push_back(Feature{GroundPiece::Kind::edge, first - 1});
        }
        for (std::size_t i = first; i <= last; ++i) {
            if (turnsDown_[i]) {
                features.push_back(Feature{GroundPiece::Kind::circle, i});
            }
            if (i + 1 < points) {
                features.push_back(Feature{GroundPiece::Kind::edge, i});
            }
        }
        if (last + 1 == points) {
            features.push_back(Feature{GroundPiece::Kind::rightLevel, points - 1});
        }
    };
    if (everywhere_) {
        add(0, points - 1);
    } else {
        std::vector<Span> spans = where_;
        std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.from < b.from; });
        const auto byX = [](const Point& p, double x) { return p.x < x; };
        std::size_t done = 0; // points before it are laid
        for (std::size_t k = 0; k < spans.size();) {
            double from = spans[k].from - g_;
            double to = spans[k].to + g_;
            for (++k; k < spans.size() && spans[k].from - g_ <= to; ++k) {
                to = std::max(to, spans[k].to + g_);
            }
            // The points within [from, to], and the pieces beside them.
            std::size_t first = static_cast<std::size_t>(
                std::lower_bound(surface_.begin(), surface_.end(), from, byX) - surface_.begin());
            std::size_t last = static_cast<std::size_t>(
                std::lower_bound(surface_.begin(), surface_.end(), to, byX) - surface_.begin());
            last = last < points && surface_[last].x <= to ? last : last - 1;
            first = std::max(first, done);
            if (first == points) {
                // All the points lie left of the stretch: the level ground
                // beyond the last, and the piece before it.
                first = points - 1;
            }
            if (last + 1 == 0 || last < first) {
                // No point within: the piece (or the level ground) the
                // stretch lies over.
                last = first;
            }
            add(first, last);
            done = last + 1;
        }
    }
    // Each feature laid over the boundary found so far: over each part it
    // meets, it takes the stretches where it stands higher. The parts cover
    // all x; a gap (no feature yet) stands lowest.
    featurePieces_.resize(features.size());
    for (std::size_t k = 0; k < features.size(); ++k) {
        featurePieces_[k] = pieceOf(features[k]);
    }
    std::vector<Part>& parts = parts_;
    std::vector<Part>& laid = laying_;
    parts.assign(1, Part{-kInf, kInf, kGap});
    for (std::size_t slot = 0; slot < features.size(); ++slot) {
        const GroundPiece& p = featurePieces_[slot];
        // The parts p's span meets: from the one holding p.left on.
        auto first = std::upper_bound(parts.begin(), parts.end(), p.left,
                                      [](double x, const Part& q) { return x < q.to; });
        if (first == parts.end()) {
            --first;
        }
        auto last = first;
        laid.clear();
        if (first->from < p.left) {
            laid.push_back(Part{first->from, p.left, first->slot});
        }
        const auto lay = [&](const Part& q, double from, double to, bool ours) {
            if (!(to > from)) {
                return;
            }
            const std::size_t who = ours ? slot : q.slot;
            if (!laid.empty() && laid.back().to == from && laid.back().slot == who) {
                laid.back().to = to;
                return;
            }
            laid.push_back(Part{from, to, who});
        };
        for (; last != parts.end() && last->from < p.right; ++last) {
            const Part& q = *last;
            const double lo = std::max(q.from, p.left);
            const double hi = std::min(q.to, p.right);
            if (q.slot == kGap) {
                lay(q, lo, hi, true);
                continue;
            }
            const GroundPiece& qp = featurePieces_[q.slot];
            // Wholly below or wholly above over [lo, hi]: a circle is
            // highest where nearest its centre and lowest at an end, a line
            // highest and lowest at its ends.
            if (std::isfinite(lo) && std::isfinite(hi)) {
                const double pLo = valueAt(p, lo);
                const double pHi = valueAt(p, hi);
                const double qLo = valueAt(qp, lo);
                const double qHi = valueAt(qp, hi);
                const double pTop = isCircle(p) ? valueAt(p, std::clamp(p.a.x, lo, hi)) : std::max(pLo, pHi);
                const double qTop =
                    isCircle(qp) ? valueAt(qp, std::clamp(qp.a.x, lo, hi)) : std::max(qLo, qHi);
                if (pTop < std::min(qLo, qHi)) {
                    lay(q, lo, hi, false);
                    continue;
                }
                if (std::min(pLo, pHi) > qTop) {
                    lay(q, lo, hi, true);
                    continue;
                }
            }
            double cut[4];
            std::size_t n = 0;
            cut[n++] = lo;
            meetings(p, qp, [&](double x) {
                if (x > lo && x < hi && n < 3) {
                    cut[n++] = x;
                }
            });
            if (n == 3 && cut[2] < cut[1]) {
                std::swap(cut[1], cut[2]);
            }
            cut[n++] = hi;
            for (std::size_t k = 0; k + 1 < n; ++k) {
                const double a = cut[k];
                const double b = cut[k + 1];
                if (!(b > a)) {
                    continue;
                }
                // Midpoints of unbounded stretches: a point inside them.
                const double middle = std::isfinite(a) && std::isfinite(b) ? (a + b) / 2.0
                                      : std::isfinite(a)                   ? a + 1.0
                                      : std::isfinite(b)                   ? b - 1.0
                                                                           : 0.0;
                lay(q, a, b, valueAt(p, middle) > valueAt(qp, middle));
            }
        }
        if (last == first) {
            continue;
        }
        const Part& end = *(last - 1);
        if (end.to > p.right) {
            lay(end, p.right, end.to, false);
        }
        const auto at = parts.erase(first, last);
        parts.insert(at, laid.begin(), laid.end());
    }
    boundary_.clear();
    for (const Part& part : parts) {
        if (part.slot == kGap) {
            continue;
        }
        GroundPiece piece = featurePieces_[part.slot];
        piece.left = part.from;
        piece.right = part.to;
        boundary_.push_back(piece);
    }
}

bool GroundRegion::contains(Point p) const
{
    if (p.y > top_ + g_) {
        return false;
    }
    if (p.y <= bottom_ + g_) {
        return true;
    }
    // The boundary's piece over p.x: the last one starting at or left of it.
    const auto it = std::upper_bound(boundary_.begin(), boundary_.end(), p.x,
                                     [](double x, const GroundPiece& q) { return x < q.left; });
    const GroundPiece& q = it == boundary_.begin() ? boundary_.front() : *(it - 1);
    return p.y <= valueAt(q, p.x);
}

void GroundRegion::crossings(Point c, double r, std::vector<double>& angles) const
{
    angles.clear();
    if (c.y - r > top_ + g_) {
        return;
    }
    // Only where the circle runs within the band the boundary keeps to.
    static thread_local std::vector<Span> spans;
    spans.clear();
    spansNear(c, r, 0.0, kTwoPi, g_, spans);
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.from < b.from; });
    for (std::size_t k = 0; k < spans.size(); ++k) {
        double to = spans[k].to;
        const double from = spans[k].from;
        while (k + 1 < spans.size() && spans[k + 1].from <= to) {
            to = std::max(to, spans[++k].to);
        }
        crossingsOver(c, r, from, to, angles);
    }
    std::sort(angles.begin(), angles.end());
}

void GroundRegion::crossingsOver(Point c, double r, double from, double to, std::vector<double>& angles) const
{
    const auto first = std::lower_bound(boundary_.begin(), boundary_.end(), from,
                                        [](const GroundPiece& q, double x) { return q.right < x; });
    for (auto it = first; it != boundary_.end() && it->left <= to; ++it) {
        const GroundPiece& q = *it;
        // Points a little past the part's ends too, so that a crossing where
        // two parts meet is not lost to rounding.
        const double slack = 1e-9 * (1.0 + std::fabs(q.left) + std::fabs(q.right) + r);
        const auto keep = [&](Point m) {
            if (m.x >= q.left - slack && m.x <= q.right + slack && (!isCircle(q) || m.y >= q.a.y - slack)) {
                angles.push_back(normalized(std::atan2(m.y - c.y, m.x - c.x)));
            }
        };
        if (isCircle(q)) {
            circleCircle(c, r, q.a, q.r, keep);
        } else {
            Point origin, direction;
            lineOf(q, origin, direction);
            circleLine(c, r, origin, direction, keep);
        }
    }
}

std::vector<Point> GroundRegion::boundary(double from, double to, double step) const
{
    std::vector<double> xs;
    for (double x = from; x < to; x += step) {
        xs.push_back(x);
    }
    xs.push_back(to);
    for (const GroundPiece& q : boundary_) {
        if (q.left > from && q.left < to) {
            xs.push_back(q.left);
        }
    }
    std::sort(xs.begin(), xs.end());
    std::vector<Point> out;
    for (const double x : xs) {
        const auto it = std::upper_bound(boundary_.begin(), boundary_.end(), x,
                                         [](double v, const GroundPiece& q) { return v < q.left; });
        const GroundPiece& q = it == boundary_.begin() ? boundary_.front() : *(it - 1);
        out.push_back(Point{x, valueAt(q, x)});
    }
    return out;
}

} // namespace egm::model
