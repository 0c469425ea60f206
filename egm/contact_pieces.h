// What the first-contact evaluation's two rules share: the front-facing
// pieces of the wires' boundary at one stroke, and the general rule over a
// ground profile or with other lines' wires (ground_contact.cpp).
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "first_contact.h"

namespace egm::model {

// A front-facing piece of the boundary and where it projects: offsets from
// lo to hi across the stroke direction.
struct Piece {
    double lo;
    double hi;
    double offset; // of the circle's centre
    double depth;  // of the centre along the way back up the stroke path
    double r;
    std::size_t wire;
};

// How far back up the stroke path the piece's circle is met at offset s.
inline double depthAt(const Piece& p, double s)
{
    const double u = s - p.offset;
    return p.depth + std::sqrt(std::max(0.0, p.r * p.r - u * u));
}

// The wires' bands from the smallest offset to the largest, with the
// ground's between them, from the bands each wire catches.
void mergeBands(std::vector<ContactBand>& caught, std::vector<ContactBand>& bands);

// The arcs of circle d from index first of boundary on, less their parts in
// the ground's striking region.
void clipToGround(const GroundRegion& region, const ContactDisk& d, std::size_t first,
                  std::vector<BoundaryArc>& boundary);

// The widths of one stroke by the general rule, from its n front-facing
// pieces (see evaluateContactStroke).
double evaluateGeneralStroke(const ContactCurrentStep& step, const StrokeAngle& angle, const Piece* pieces,
                             std::size_t n, double* widths, ContactWidths which,
                             std::vector<ContactBand>* bands);

} // namespace egm::model
