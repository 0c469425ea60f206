// The rate integration behind EGMs2x and the public interface: the
// conductors' share of the exposure integrated over current (weighted by the
// current's probability density) and incidence angle (weighted by
// 0.75 cos^3(pi/2 - theta)), scaled into strokes per 100 km per year.
#pragma once

#include <cstdint>
#include <vector>

#include "egm/types.h"
#include "egm_types.h"
#include "first_contact.h"

namespace egm::model {

// Every input of one integration; nothing is validated.
struct IntegrationCase {
    double flashDensity = 2.8; // flashes per km^2 per year
    double slopeAngle = 0.0;   // degrees
    double minCurrent = 23.5;  // kA
    LineGeometry geometry = {9.89, -9.89, 11.2, -11.2, 57.0, 57.0, 42.0, 42.0};
    double voltageTerm = 0.8;
    CurrentDistribution distribution;
    StrikingLaw law;
};

// How each stroke of the four-wire line is evaluated.
//  compat:    the rules egm-shielding keeps, each current prepared once and only the
//             angle's steps evaluated per stroke;
//  literal:   the same rules, EGM_DQ called whole for every stroke (the
//             built-in law only): a check that the per-current preparation
//             carries nothing stale from one stroke to the next.
enum class StrokeRule { compat, literal };

struct IntegrationTotals {
    double rateC1 = 0.0; // strokes per 100 km per year
    double rateC2 = 0.0;
    double rateTotal = 0.0;
    double terrainFactor = 0.0;
    double collectionWidth = 0.0; // m
    std::int32_t steps = 0;       // current steps integrated
};

// What the caller may want kept of the integration; null: not kept.
struct IntegrationRecord {
    // steps x 180 x 4 widths, wire fastest, then angle step.
    std::vector<double>* widths = nullptr;
    // Per current step the angle sums: total, conductor 1, conductor 2.
    std::vector<double>* angleSums = nullptr;
    // Per current step: bit 0 set when conductor 1 has a width (neither 0
    // nor NaN) at some angle, bit 1 for conductor 2.
    std::vector<unsigned char>* exposed = nullptr;
};

// A lowest current whose step counts are unusable gives NaN rates, 0 steps
// and evaluates nothing.
void integrate(const IntegrationCase& in, StrokeRule rule, IntegrationTotals& totals,
               const IntegrationRecord& record = {});

// Striking distances of the case's law at one current.
LineDistances distancesAt(const IntegrationCase& in, double current);

// The four widths of each of the 180 strokes of one current, by the compat rules.
void strokesAt(const IntegrationCase& in, double current, StrokeExposure (&widths)[kAngleSteps]);

// The first-contact integration of any tower: the same grids, weights and
// scaling, each stroke's widths by evaluateContactStroke, the terrain factor
// 1/3 from a slope of 20 degrees either way, the collection width
// 28 h^0.6 + b from the ground wires' mean height h and horizontal spread b
// (the conductors' when there are none). A stroke no wire catches adds
// nothing. The inputs are not validated.
struct TowerTotals {
    std::vector<double> rate; // per conductor, tower order; strokes per 100 km per year
    double rateTotal = 0.0;
    // The same by the exposure method: 0.1 N_g sum of f(I) D(I) 1 kA, D the
    // width for vertical strokes.
    std::vector<double> exposureRate;
    double exposureTotal = 0.0;
    double terrainFactor = 0.0;
    double collectionWidth = 0.0; // m
    std::int32_t steps = 0;
};
struct TowerRecord {
    // steps x 180 x wires, wire fastest, then angle step.
    std::vector<double>* widths = nullptr;
    // Per current step: the total, then each conductor's angle sum.
    std::vector<double>* angleSums = nullptr;
    // Per current step: bit c set when conductor c (tower order of the
    // conductors) has a width at some angle.
    std::vector<std::uint32_t>* exposed = nullptr;
};
void integrateTower(const Inputs& in, TowerTotals& totals, const TowerRecord& record = {});

// The exposure method's rates alone, each current prepared for its vertical
// stroke only.
void integrateVerticalExposure(const Inputs& in, std::vector<double>& rates, double& total);

// The striking disks of the tower at one current, turned into the frame of
// the sloped ground, and the boundary of their union above G.
void prepareTowerCurrent(const Inputs& in, double current, ContactCurrentStep& step);

// Towers that are their own mirror image on level ground (each wire matched
// by exactly one of its kind, height and voltage term at -x) have the
// strokes past the vertical, all but the last (pi), read off the mirror
// strokes before it: integrateTower, towerStrokesAt and towerWireCatchesAt
// agree on every stroke, rounding slivers included.

// The widths (180 x wires, wire fastest) of every stroke of one current.
void towerStrokesAt(const Inputs& in, double current, std::vector<double>& widths);

// Whether the wire has a width at the current for some angle of the grid.
bool towerWireCatchesAt(const Inputs& in, double current, std::size_t wire);

} // namespace egm::model
