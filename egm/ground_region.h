// The ground's striking region over a ground profile: every point within G
// of the surface (the profile's elevations and cover, straight between its
// points, level beyond its ends) or below it. A descending path is caught
// by the ground where it first enters the region. Its boundary is made of
// the upper edges of the strips G wide on either side of the surface's
// pieces and of the circles of radius G about the surface's points: a
// point of a strip's lower edge lies within G sin(phi) < G of the surface
// (phi the piece's slope) or under it, so inside the region. The region is
// everything under that boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "egm/ground_profile.h"
#include "egm_types.h"
#include "grid.h"

namespace egm::model {

// A part of the region a path can meet first: the upper edge of a surface
// piece's strip, from a to b, facing up its outward normal; a
// half-line along the level ground beyond an end (a's x -infinity, or b's
// +infinity); or the circle of radius r about a, a point of the surface.
struct GroundPiece {
    enum class Kind { edge, leftLevel, rightLevel, circle };
    Kind kind = Kind::edge;
    Point a{};
    Point b{};
    Point normal{};    // edges: outward, unit
    double r = 0.0;    // circles
    double left = 0.0; // the x it spans
    double right = 0.0;
};

// A point where a path parallel to a stroke grazes the region: x and the
// path's offset across the stroke direction (along (sin theta, -cos theta)).
// Every point of the region below that path and downwind of the point, the
// way the stroke travels, lies in its shadow: a path through it meets the
// region on the way back up before reaching it.
struct GrazingPoint {
    double x;
    double offset;
};

// The grazing points of one stroke, worked out as they are read.
class GrazingPoints {
  public:
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    GrazingPoint operator[](std::size_t k) const
    {
        const Entry& e = first_[k];
        return GrazingPoint{surface_[e.point].x + shiftX_, e.offset + shiftOffset_};
    }

  private:
    friend class GroundRegion;
    // A crest point and the offset of the path through it.
    struct Entry {
        std::uint32_t point;
        double offset;
    };
    const Entry* first_ = nullptr;
    std::size_t count_ = 0;
    const Point* surface_ = nullptr;
    double shiftX_ = 0.0;
    double shiftOffset_ = 0.0;
};

class GroundRegion {
  public:
    // A stretch of x, from <= to.
    struct Span {
        double from;
        double to;
        bool operator==(const Span&) const = default;
    };
    // The profile's surface with heights above the tower's base (the
    // profile's elevation at x = 0): what needs no G.
    void setProfile(const GroundProfile& profile);
    // G, the ground's striking distance, and where the region's boundary
    // is wanted: everywhere, or over the stretches given only. The queries
    // below hold where it is wanted, and above the highest the region
    // reaches.
    void setStrikeHeight(double groundStrikeHeight);
    void setStrikeHeight(double groundStrikeHeight, const std::vector<Span>& where);
    const std::vector<Point>& surface() const { return surface_; }

    // Whether the arc of the circle about c of radius r from angle from to
    // to (radians, from <= to <= from + 2pi; its points there start and
    // end) surely lies in the region at G: all of it within G straight
    // above the surface, or below it. False says only that this could not
    // be shown. Needs the surface alone.
    bool surelyHolds(Point c, double r, double from, double to, Point start, Point end, double g) const;
    // Adds the stretches of x under the arc's parts that run within the
    // band the region's boundary keeps to at G, from G above the lowest
    // surface point to G above the highest: only there can the arc meet
    // it. Needs the surface alone.
    void spansNear(Point c, double r, double from, double to, double g, std::vector<Span>& spans) const;

    // Whether p lies in the region (on its boundary included).
    bool contains(Point p) const;
    // The angles (radians from +x, in [0, 2pi)) at which the circle about c
    // of radius r meets the boundary's pieces, with spare ones near their
    // ends: between two neighbours the circle is wholly in the region or
    // wholly out of it.
    void crossings(Point c, double r, std::vector<double>& angles) const;
    // The points where paths parallel to the stroke graze the region (and
    // maybe some more of its points) that no other such point shades:
    // together they cast every shadow of the region on points outside it.
    // They come from where the stroke comes from on, each below the path
    // through the one before. None for a vertical stroke.
    // A stroke at an angle other than the grid's own reads its points
    // from storage of the thread's that the next such call reuses.
    GrazingPoints grazingPoints(const StrokeAngle& angle) const;
    // The boundary of the region between x from and to, as a polyline
    // through points spaced at most step apart and at every corner; for
    // pictures.
    std::vector<Point> boundary(double from, double to, double step) const;

  private:
    // A piece of the surface a ball of radius G rolling over it can touch:
    // a point (its circle), a straight piece (its strip's upper edge) or
    // the level ground beyond an end. index: the point or the piece.
    struct Feature {
        GroundPiece::Kind kind;
        std::size_t index;
    };
    // The feature's piece of the region's boundary, its whole x span.
    GroundPiece pieceOf(const Feature& f) const;
    // Adds the crossings with the boundary's pieces that reach into x from
    // from to to.
    void crossingsOver(Point c, double r, double from, double to, std::vector<double>& angles) const;
    // The boundary over the stretches wanted: pieces left to right, each
    // over [left, right] of x, the highest of the features' pieces there.
    void findBoundary();

    GroundProfile profile_; // the profile the surface is of
    std::vector<Point> surface_;
    std::vector<Point> normal_; // per piece of the surface, unit, upwards
    double top_ = 0.0;          // the surface's highest point
    double bottom_ = 0.0;       // and its lowest
    // The surface's points where it turns down, and its ends: the
    // directions (radians from +x) of the normals of the boundary's arc
    // about each, from lo to hi. A path grazes the region only on such an
    // arc, where the arc's normal is square to it.
    struct Crest {
        std::uint32_t point;
        double lo;
        double hi;
    };
    std::vector<Crest> crest_;
    // The lowest surface point of each run of 2^k points from i on, at
    // k * points + i: the surface's lowest over any stretch in two looks.
    std::vector<double> lowest_;
    double lowestBetween(double from, double to) const;
    // A crest point a path of the stroke grazes the arc about, and the
    // offset of the path through the point itself.
    using Grazed = GrazingPoints::Entry;
    // The crests a path of the stroke's angle grazes, and of them those no
    // other shades, from where the stroke comes from on.
    void unshadedCrests(const StrokeAngle& angle, std::vector<Grazed>& grazed) const;
    // Per angle of the integration's grid, its unshaded crests:
    // gridCrest_[gridStart_[l] .. gridStart_[l + 1]).
    std::vector<std::uint32_t> gridStart_;
    std::vector<Grazed> gridCrest_;
    void findCrests();
    double g_ = -1.0;
    bool everywhere_ = true;
    std::vector<Span> where_;     // where the boundary is wanted, unless everywhere_
    bool ready_ = false;          // the boundary is of g_ and where_
    std::vector<char> turnsDown_; // per surface point; the ends count
    std::vector<GroundPiece> boundary_;
    std::vector<Feature> features_;
    // A stretch of x on which one feature's piece stands highest so far:
    // slot, the feature's place in the list being laid (kGap: none yet).
    static constexpr std::size_t kGap = static_cast<std::size_t>(-1);
    struct Part {
        double from;
        double to;
        std::size_t slot;
    };
    std::vector<GroundPiece> featurePieces_; // per slot, at this G
    std::vector<Part> parts_;
    std::vector<Part> laying_;
};

} // namespace egm::model
