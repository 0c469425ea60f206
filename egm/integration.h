// The integrations by name: the four-wire line's by the compat rules (for
// EGMs2x and the tests) and any tower's by first contact, each a thin
// wrapper of the one integration over the evaluators (integrate_with.h).
#pragma once

#include <cstdint>
#include <vector>

#include "compat_evaluation.h"
#include "contact_evaluation.h"
#include "egm/types.h"
#include "egm_types.h"
#include "first_contact.h"
#include "integrate_with.h"

namespace egm::model {

// How each stroke of the four-wire line is evaluated.
//  compat:    the rules egm-shielding keeps, each current prepared once and only the
//             angle's steps evaluated per stroke (CompatEvaluator);
//  literal:   the same rules, EGM_DQ called whole for every stroke (the
//             built-in law only; LiteralEvaluator).
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

// The four-wire line's integration. A lowest current whose step counts are
// unusable gives NaN rates, 0 steps and evaluates nothing.
void integrate(const IntegrationCase& in, StrokeRule rule, IntegrationTotals& totals,
               const IntegrationRecord& record = {});

// The four widths of each of the 180 strokes of one current, by the compat rules.
void strokesAt(const IntegrationCase& in, double current, StrokeExposure (&widths)[kAngleSteps]);

// The first-contact integration of any tower. The inputs are not validated.
void integrateTower(const Inputs& in, TowerTotals& totals, const TowerRecord& record = {});

// The exposure method's rates: the guides' integral of the first-contact
// width of vertical strokes (see integrateExposureWith).
void integrateExposure(const Inputs& in, std::vector<double>& rates, double& total);

// The first-contact widths (180 x wires, wire fastest) of every stroke of
// one current.
void towerStrokesAt(const Inputs& in, double current, std::vector<double>& widths);

// Whether the wire has a first-contact width at the current for some angle
// of the grid.
bool towerWireCatchesAt(const Inputs& in, double current, std::size_t wire);

} // namespace egm::model
