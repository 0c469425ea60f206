// Records shared by the whole model. Lengths in metres, currents in kA,
// angles in radians (the ground slope alone in degrees). Wires are always in
// the order ground wire 1, ground wire 2, conductor 1, conductor 2.
#pragma once

#include <array>

namespace egm::model {

// x of wires 1 to 4, then their heights above the ground.
using LineGeometry = std::array<double, 8>;

// x of wires 1 to 4 (0-3), y of wires 1 to 4 (4-7), striking radii (8-11).
using CircleSet = std::array<double, 12>;

// Up to eight exposed arcs per wire. The start of slot k (1 to 8) of wire w
// (1 to 4) is at 4(k - 1) + (w - 1), its end 32 positions further on. Arcs
// fill slots 1, 2, ... in increasing order of start; empty slots are (0, 0).
using ArcTable = std::array<double, 64>;

// Width of each wire's shadow across the stroke direction, metres; the
// conductors' widths after the shielding cut.
using StrokeExposure = std::array<double, 4>;

struct Circle {
    double x;
    double y;
    double r;
};

struct Point {
    double x;
    double y;
};

// A stretch of the ground line, left end first.
struct Interval {
    double left;
    double right;
};

// Striking distances of the four-wire line at one current: both ground
// wires', each conductor's, and the height of the ground's striking line.
struct LineDistances {
    double groundWire = 0.0;         // m
    double conductor1 = 0.0;         // m
    double conductor2 = 0.0;         // m
    double groundStrikeHeight = 0.0; // G, m
};

// The first and second crossing point of two striking circles.
struct Crossing {
    double x1;
    double y1;
    double x2;
    double y2;
};

} // namespace egm::model
