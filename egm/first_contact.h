// The first-contact evaluation: a descending stroke is caught by the first
// striking disk its path enters, or by the ground when it meets the ground's
// striking line y = G first (over a ground profile: the ground's striking
// region, ground_region.h). Any number of wires.
//
// Per current, the boundary of the union of the striking disks and of the
// ground's half-plane y <= G is found once: the arcs of each striking circle
// that lie outside every other disk and above G. A path's first contact is a
// point of that boundary. Per angle, only the boundary's front-facing pieces
// (outward normal against the stroke) can be met first; each projects one to
// one onto the offsets across the stroke direction, the pieces never cross,
// and where two overlap the one nearer the stroke's origin catches. So the
// widths are exact: no sampling, no tolerance.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "egm/types.h"
#include "egm_types.h"
#include "grid.h"
#include "ground_region.h"

namespace egm::model {

// One wire's striking disk in the frame of the sloped ground.
struct ContactDisk {
    double x = 0.0; // m, turned centre
    double y = 0.0;
    double r = 0.0; // m, striking distance
    // Wins a tie with a disk at the same place: conductors over ground
    // wires, then the earlier wire of the tower.
    bool conductor = false;
    // Another line's wire: catches strokes, but what it catches is not the
    // line's.
    bool other = false;
};

// A piece of the union's boundary: the arc of wire's circle from angle
// `from` counter-clockwise to `to` (radians from +x, from < to <= from + 2pi).
struct BoundaryArc {
    std::size_t wire = 0;
    double from = 0.0;
    double to = 0.0;
    Point start; // the circle's points at from and at to
    Point end;
};

// A boundary arc laid out for the strokes: the arc from angle a to angle b
// (a <= b, radians), one of the copies of it 2pi apart that the stroke's
// front half [theta - pi/2, theta + pi/2] can meet for 0 < theta <= pi. It
// faces a stroke of angle theta where a - pi/2 < theta < b + pi/2; its own
// start is the first point met where theta <= a + pi/2, and its own end the
// last where theta >= b - pi/2 (otherwise a tangent point).
struct FrontArc {
    std::size_t wire = 0;
    double facesAbove = 0.0; // a - pi/2
    double facesBelow = 0.0; // b + pi/2
    double ownStartTo = 0.0; // a + pi/2
    double ownEndFrom = 0.0; // b - pi/2
    Point start;
    Point end;
};

// Two disks' centres: their distance (m) and the direction from the first
// to the second (radians from +x).
struct CentrePair {
    double distance = 0.0;
    double direction = 0.0;
};

// What the angle's half needs of one current.
struct ContactCurrentStep {
    std::vector<ContactDisk> disk;
    std::vector<CentrePair> pair;    // disk i to disk j at i * disks + j
    double groundStrikeHeight = 0.0; // G, m
    std::vector<BoundaryArc> boundary;
    std::vector<FrontArc> front;
    // Over a ground profile that is not level: its striking region at this
    // G.
    bool overProfile = false;
    GroundRegion region;
    // Over a profile, no conductor reached: the boundary's other arcs wait
    // to be cut by the region (settleContactCurrentStep).
    bool groundPending = false;
    // Widths by the general rule: over a profile, or with another line's
    // wires.
    bool general = false;
};

// Finds the boundary of the union of the disks and the ground's half-plane
// (with a profile that is not level, the ground's striking region over it;
// the disks' centres then stand above the tower's base). A disk wholly
// inside another catches nothing; of two coincident disks the one that
// wins the tie keeps the boundary. Reuses step's storage.
// deferShielded: over a profile, when no conductor is reached, leave the
// region's boundary and the cutting of the other arcs by it pending.
void prepareContactCurrentStep(const std::vector<ContactDisk>& disks, double groundStrikeHeight,
                               ContactCurrentStep& step, const GroundProfile* profile = nullptr,
                               bool deferShielded = false);
// Finishes a step left pending; a step that is not is left as it is.
void settleContactCurrentStep(ContactCurrentStep& step);

// Whether wire has a piece of the union's boundary: without one, no stroke
// of the current reaches it.
bool hasBoundaryArc(const ContactCurrentStep& step, std::size_t wire);

// One band of parallel paths across the stroke direction: offsets from
// `from` to `to` (m, along (sin theta, -cos theta)), caught by wire, or by
// the ground when wire is none.
struct ContactBand {
    double from = 0.0;
    double to = 0.0;
    std::optional<std::size_t> wire;
};

// Which wires' widths a stroke's evaluation works out.
enum class ContactWidths { all, conductors };

// The width of each wire (m across the stroke direction, one per disk, in
// the disks' order) for the stroke of angle theta (0 < theta <= pi); with
// ContactWidths::conductors the ground wires' are left 0. Returns the width
// of all the paths the wires catch together (the measure of the union of
// the front-facing pieces' projections), which the widths partition; other
// lines' wires' widths are not in it. bands,
// when not null, receives the wires' bands from the smallest offset to the
// largest, with the ground's bands between them.
double evaluateContactStroke(const ContactCurrentStep& step, const StrokeAngle& angle, double* widths,
                             ContactWidths which = ContactWidths::all,
                             std::vector<ContactBand>* bands = nullptr);

} // namespace egm::model
