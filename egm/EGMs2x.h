#pragma once

#include <cstdint>

#include "circleCrosspoint_emxutil.h"
#include "egm_types.h"

// Shielding failure rates of the line, strokes per 100 km per year: the
// conductors' share of the exposure of all four wires, integrated over the
// currents minCurrent, minCurrent + 1, ... (201 steps of 1 kA) weighted by the
// current density (scale in kA, exponent) and over the 180 incidence angles
// (l + 1) / 180 * pi weighted by 0.75 cos^3(pi/2 - theta), then scaled by the
// flash density, the collection width 28 h1^0.6 + span and the terrain factor
// (1/6 below a 20 degree slope, else 1/3). Nothing is validated: NaN and
// infinities flow into the rates. A minCurrent whose step counts are unusable
// (see integrationStepCounts) gives NaN rates and evaluates nothing.
void EGMs2x(double groundFlashDensity, double slopeAngle, double minCurrent, const LineGeometry& geometry,
            double voltageTerm, double currentScale, double currentExponent, double& rateC1, double& rateC2,
            double& rateTotal);

// Every input of one rate computation, the built-in example line by default.
struct RateInputs {
    double groundFlashDensity = 2.8; // flashes per km^2 per year
    double slopeAngle = 0.0;         // degrees
    double minCurrent = 23.5;        // kA
    LineGeometry geometry = {9.89, -9.89, 11.2, -11.2, 57.0, 57.0, 42.0, 42.0};
    double voltageTerm = 0.8;
    double currentScale = 31.0; // kA
    double currentExponent = 2.8;
};

struct RateResult {
    double rateC1 = 0.0;
    double rateC2 = 0.0;
    double rateTotal = 0.0;
    double terrainFactor = 0.0;
    double collectionWidth = 0.0; // m
    std::int32_t steps = 0;       // current steps integrated
};

// The tables of one integration, handed to the caller instead of released:
// strokeTable is steps x 180 x 4 (current step fastest, then angle, then
// wire), the angle sums hold element j for current step j. Release each with
// emxFree_real_T.
struct IntegrationTables {
    RealArray* strokeTable = nullptr;
    RealArray* angleSumTotal = nullptr;
    RealArray* angleSumC1 = nullptr;
    RealArray* angleSumC2 = nullptr;
};

// How each stroke is evaluated. Both give the same bits: the literal way
// calls EGM_DQ for every stroke, the split way prepares each current once and
// evaluates only the angle-dependent steps per stroke.
enum class StrokeEvaluation { split, literal };

// The integration with its working values. tables, when not null, receives
// the tables, the stroke table included (release them with
// releaseIntegrationTables); without it no stroke table is kept.
void integrateShieldingFailure(const RateInputs& inputs, StrokeEvaluation evaluation, RateResult& result,
                               IntegrationTables* tables = nullptr);

void releaseIntegrationTables(IntegrationTables& tables);

// Step counts of the integration for minCurrent: the loop count
// trunc((1 - minCurrent) + (minCurrent + 200)) and the storage count
// ceil((minCurrent + 200) - minCurrent) + 1, both 201 for ordinary values.
// False when minCurrent is not finite, or the two disagree (a current so
// large that a step of 1 kA is lost to rounding), or they leave 1 ..
// kMaxCurrentSteps.
inline constexpr std::int32_t kMaxCurrentSteps = 46340; // its square fits in 32 bits
bool integrationStepCounts(double minCurrent, std::int32_t& loopSteps, std::int32_t& storageSteps);

// The i-th incidence angle of the integration, (l + 1) / 180 * pi, l = 0..179.
double integrationAngle(int l);
