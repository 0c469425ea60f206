#include "EGMcircle.h"

#include "circleCrosspoint.h"
#include "egm_constants.h"
#include "incircle.h"
#include "rt_nonfinite.h"
#include "rt_safe_math.h"
#include "sort1.h"

namespace egm::model {

using namespace egm::numeric;

namespace {

struct Arc {
    double start;
    double end;
};

Circle circleOf(const CircleSet& circles, int w)
{
    return Circle{circles[w], circles[w + 4], circles[w + 8]};
}

// Direction of a crossing point seen from the centre of its circle; a point
// that is not a number (nested or concentric circles) gives 0.
double breakpointAngle(double py, double px, const Circle& c)
{
    const double dy = py - c.y;
    const double dx = px - c.x;
    if (rtIsNaN(dy) || rtIsNaN(dx)) {
        return 0.0;
    }
    return rt_atan2d_snf(dy, dx);
}

// Copies, in order, the arcs whose start differs from their end (an unordered
// pair counts as different) to the front of a fresh list; returns how many.
int compact(const Arc (&from)[8], Arc (&to)[8])
{
    for (Arc& slot : to) {
        slot = Arc{0.0, 0.0};
    }
    int n = 0;
    for (const Arc& arc : from) {
        if (arc.start != arc.end) {
            to[n++] = arc;
        }
    }
    return n;
}

// The breakpoint list, 4 x 8 column-major (entry j of wire p at p + 4j):
// the directions of each wire's crossings with every circle, unsorted.
void breakpointList(const Circle (&circle)[4], double (&breakpoints)[32])
{
    // Crossing table, both orders of every pair: row (p, q) is computed on p.
    Crossing crossing[4][4];
    for (int p = 0; p < 4; ++p) {
        for (int q = 0; q < 4; ++q) {
            if (p == q) {
                crossing[p][q] = {kNoCrossing, kNoCrossing, kNoCrossing, kNoCrossing};
            } else {
                circleCrosspoint(circle[p], circle[q], crossing[p][q]);
            }
        }
    }

    for (int p = 0; p < 4; ++p) {
        for (int q = 0; q < 4; ++q) {
            const Crossing& c = crossing[p][q];
            double first = 0.0;
            double second = 0.0;
            // Only the first point is tested: a genuine crossing at exactly
            // (-1000, -1000) is taken for no crossing.
            if (!(c.x1 == kNoCrossing && c.y1 == kNoCrossing)) {
                first = breakpointAngle(c.y1, c.x1, circle[p]);
                second = breakpointAngle(c.y2, c.x2, circle[p]);
            }
            breakpoints[p + 4 * (2 * q)] = first;
            breakpoints[p + 4 * (2 * q + 1)] = second;
        }
    }
}

// The arcs of circle p outside every other circle, from its sorted
// breakpoints b.
void keptArcs(const Circle (&circle)[4], int p, const double (&b)[8], Arc (&arc)[8])
{
    // Cover count of each gap, tested at its midpoint; gap 8 runs from
    // b8 across the direction of -pi to b1 + 2pi.
    double count[8];
    for (int g = 0; g < 8; ++g) {
        const double m = g < 7 ? (b[g] + b[g + 1]) / 2.0 : ((b[0] + b[7]) + kTwoPi) / 2.0;
        double sum = 0.0;
        for (int w = 0; w < 4; ++w) {
            sum += incircle(m, circle[p], circle[w]);
        }
        count[g] = sum;
    }

    // Raw arcs: one per run of free gaps; the run that reaches gap 8 ends
    // at b1 + 2pi and the scan does not wrap back.
    Arc raw[8] = {};
    int n = 0;
    int g = 0;
    while (g < 8) {
        if (count[g] != 0.0) {
            ++g;
            continue;
        }
        const double start = b[g];
        for (int h = g;; ++h) {
            if (count[h] != 0.0) {
                raw[n++] = Arc{start, b[h]};
                g = h + 1;
                break;
            }
            if (h == 7) {
                raw[n++] = Arc{start, kTwoPi + b[0]};
                g = 8;
                break;
            }
        }
    }

    n = compact(raw, arc);

    // Join across the wrap: the arc ending at b1 + 2pi and the arc
    // starting at b1 are one arc when both edge gaps are free and
    // something between them is covered. The equality is exact: for some
    // negative b1, (2pi + b1) - 2pi is not b1 and the arcs stay apart.
    if (count[0] == 0.0 && count[7] == 0.0) {
        double inner = 0.0;
        for (int h = 1; h < 7; ++h) {
            inner += count[h];
        }
        if (inner > 0.0 && n > 1 && arc[n - 1].end - kTwoPi == arc[0].start) {
            arc[0].start = arc[n - 1].start - kTwoPi;
            arc[n - 1] = Arc{0.0, 0.0};
        }
    }

    // An arc lying wholly inside the -x half of its circle is dropped,
    // whichever way round its angles are written. Strict on both sides:
    // an arc reaching pi/2, 3pi/2, -pi/2 or -3pi/2 exactly stays.
    for (Arc& slot : arc) {
        if (slot.start > -kThreeHalfPi && slot.end < -kHalfPi) {
            slot = Arc{0.0, 0.0};
        }
        if (slot.start > kHalfPi && slot.end < kThreeHalfPi) {
            slot = Arc{0.0, 0.0};
        }
    }
}

} // namespace

void EGMcircle(const CircleSet& circles, ArcTable& arcs)
{
    Circle circle[4];
    for (int w = 0; w < 4; ++w) {
        circle[w] = circleOf(circles, w);
    }
    double breakpoints[32];
    breakpointList(circle, breakpoints);
    sort(breakpoints);

    Arc kept[4][8];
    for (int p = 0; p < 4; ++p) {
        double b[8];
        for (int j = 0; j < 8; ++j) {
            b[j] = breakpoints[p + 4 * j];
        }
        keptArcs(circle, p, b, kept[p]);
    }

    arcs.fill(0.0);
    for (int p = 0; p < 4; ++p) {
        Arc packed[8];
        compact(kept[p], packed);
        for (int k = 0; k < 8; ++k) {
            arcs[4 * k + p] = packed[k].start;
            arcs[32 + 4 * k + p] = packed[k].end;
        }
    }
}

} // namespace egm::model
