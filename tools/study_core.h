// What egm-study derives from the model: the rates with their working values,
// each conductor's maximum shielding failure current, the per-stroke table
// and the angle sums, for one set of inputs. Everything here goes through
// integrateShieldingFailure and the per-stroke evaluation; nothing
// recomputes the model.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "EGMs2x.h"

namespace study {

inline constexpr int kAngleSteps = 180;
// The bisection of the maximum shielding failure current stops at this width.
inline constexpr double kCurrentResolution = 0.01; // kA

struct CaseResult {
    RateResult rates;
    // Largest current (kA) at which the conductor has a non-zero width for
    // some incidence angle; none when it is never exposed.
    std::array<std::optional<double>, 2> maxCurrent;
    double currentFrom = 0.0; // kA
    double currentTo = 0.0;   // kA
};

// Rates and maximum shielding failure currents of one case. The inputs'
// lowest current must be usable (minCurrentProblem empty).
CaseResult analyseCase(const RateInputs& inputs);

// True when conductor (1 or 2) has a non-zero, non-NaN width at current for
// some incidence angle of the integration.
bool conductorExposed(const RateInputs& inputs, double current, int conductor);

// One row of the per-stroke table.
struct StrokeRow {
    double current; // kA
    int angleStep;  // l: theta = (l + 1) / 180 * pi
    double theta;   // rad
    StrokeExposure widths;
};

// The per-stroke table of the whole integration, current by current, angle by
// angle: the stroke table the integration keeps.
std::vector<StrokeRow> strokeTable(const RateInputs& inputs);

// The 180 strokes of one current, by the same per-stroke evaluation.
std::vector<StrokeRow> strokesAtCurrent(const RateInputs& inputs, double current);

// Each current of the integration with the angle sums of the two conductors
// (the weighted share integrated over the angles before the current density).
struct ExposureCurve {
    std::vector<double> current;
    std::vector<double> angleSumC1;
    std::vector<double> angleSumC2;
};
ExposureCurve exposureCurve(const RateInputs& inputs);

// One value of a sweep: its case, or why it could not be computed.
struct SweepRow {
    double value = 0.0;
    std::optional<CaseResult> result;
    std::string error;
};

// The cases of base with the input called param set to each of values.
std::vector<SweepRow> sweepCases(const RateInputs& base, const std::string& param,
                                 const std::vector<double>& values);

// The inputs by their flag names: flash-density, slope, min-current,
// voltage-term, current-scale, current-exponent, x1..x4, h1..h4.
const std::vector<std::string>& inputNames();
// The input called name, or null for an unknown name.
double* inputField(RateInputs& inputs, std::string_view name);

} // namespace study
