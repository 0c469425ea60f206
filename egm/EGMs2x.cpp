#include "EGMs2x.h"

#include <cmath>

#include "EGM_DQ.h"
#include "egm_constants.h"
#include "rt_nonfinite.h"
#include "rt_safe_math.h"

namespace {

using egm::kHalfPi;
using egm::kPi;

constexpr int kAngleSteps = 180;

// Per-stroke evaluation by EGM_DQ itself, the whole road for every stroke.
struct LiteralStrokes {
    const RateInputs& in;
    double current = 0.0;

    void beginCurrent(double c) { current = c; }
    void stroke(int l, StrokeExposure& exposure) const
    {
        EGM_DQ(current, integrationAngle(l), in.slopeAngle, in.geometry, in.voltageTerm, exposure);
    }
};

// The same evaluation split: the current's steps once per current, the
// angle's steps per stroke, the angle's own terms once per run.
struct SplitStrokes {
    const RateInputs& in;
    StrokeAngle angles[kAngleSteps];
    CurrentStep step;

    explicit SplitStrokes(const RateInputs& inputs) : in(inputs), angles{}, step{}
    {
        for (int l = 0; l < kAngleSteps; ++l) {
            angles[l] = strokeAngle(integrationAngle(l));
        }
    }
    void beginCurrent(double c) { prepareCurrentStep(c, in.slopeAngle, in.geometry, in.voltageTerm, step); }
    void stroke(int l, StrokeExposure& exposure) const { evaluateStroke(step, angles[l], exposure); }
};

RealArray* newZeroedArray(std::int32_t dimCount, const std::int32_t* sizes, bool threeDimensional)
{
    RealArray* array = nullptr;
    if (threeDimensional) {
        emxInit_real_T1(&array, dimCount);
    } else {
        emxInit_real_T(&array, dimCount);
    }
    for (std::int32_t i = 0; i < dimCount; ++i) {
        array->dims[i] = sizes[i];
    }
    // A fresh array's storage comes zero-filled: that is the zero fill the
    // sums and the stroke table start from.
    emxEnsureCapacity(array, 0, static_cast<std::int32_t>(sizeof(double)));
    return array;
}

template <class Strokes>
void integrate(const RateInputs& in, Strokes& strokes, RateResult& result, IntegrationTables& tables,
               bool keepStrokeTable)
{
    const LineGeometry& geometry = in.geometry;
    result.terrainFactor = in.slopeAngle < 20.0 ? 1.0 / 6.0 : 1.0 / 3.0;
    const double shieldSpan = std::fabs(geometry[0] - geometry[1]);
    // The line's equivalent collection width, metres: 28 h1^0.6 + span.
    result.collectionWidth = 28.0 * rt_powd_snf(geometry[4], 0.6) + shieldSpan;

    std::int32_t nSteps = 0;
    std::int32_t storageSteps = 0;
    if (!integrationStepCounts(in.minCurrent, nSteps, storageSteps)) {
        result.rateC1 = result.rateC2 = result.rateTotal = rtNaN;
        result.steps = 0;
        return;
    }
    result.steps = nSteps;

    // Only element j of each sum is ever used, so the second size is 1: the
    // sums need no square table of the step count.
    const std::int32_t sumSizes[2] = {storageSteps, 1};
    const std::int32_t tableSizes[3] = {storageSteps, kAngleSteps, 4};
    tables.angleSumTotal = newZeroedArray(2, sumSizes, false);
    tables.angleSumC1 = newZeroedArray(2, sumSizes, false);
    tables.angleSumC2 = newZeroedArray(2, sumSizes, false);
    // The stroke table is only for callers that read it back: the rates need
    // each stroke's widths just once.
    if (keepStrokeTable) {
        tables.strokeTable = newZeroedArray(3, tableSizes, true);
    }
    double* sumTotal = tables.angleSumTotal->values;
    double* sumC1 = tables.angleSumC1->values;
    double* sumC2 = tables.angleSumC2->values;
    double* strokeTable = keepStrokeTable ? tables.strokeTable->values : nullptr;

    double weight[kAngleSteps];
    for (int l = 0; l < kAngleSteps; ++l) {
        weight[l] = 0.75 * rt_powd_snf(std::cos(kHalfPi - integrationAngle(l)), 3.0);
    }

    double integralTotal = 0.0;
    double integralC1 = 0.0;
    double integralC2 = 0.0;
    for (std::int32_t j = 0; j < nSteps; ++j) {
        const double current = static_cast<double>(j) + in.minCurrent;
        const double q = current / in.currentScale;
        const double d = rt_powd_snf(q, in.currentExponent) + 1.0;
        const double density =
            (rt_powd_snf(q, in.currentExponent - 1.0) * in.currentExponent) / ((d * d) * in.currentScale);

        strokes.beginCurrent(current);
        for (int l = 0; l < kAngleSteps; ++l) {
            StrokeExposure w;
            strokes.stroke(l, w);
            if (strokeTable != nullptr) {
                for (int wire = 0; wire < 4; ++wire) {
                    strokeTable[j + storageSteps * (l + kAngleSteps * wire)] = w[wire];
                }
            }
            const double total = ((w[1] + w[0]) + w[2]) + w[3];
            // A stroke that reaches neither conductor adds a signed zero to
            // each sum, which leaves it as it is (a sum that starts at +0 is
            // never -0), unless a zero or non-finite total makes the share
            // NaN. Most strokes of a line are of that kind.
            if (w[2] == 0.0 && w[3] == 0.0 && std::isfinite(total) && total != 0.0) {
                continue;
            }
            // Products left to right, then the division by the total: the
            // order decides the last bit of the rates.
            sumTotal[j] += (w[3] + w[2]) * weight[l] * kPi / 180.0 / total;
            sumC1[j] += w[2] * weight[l] * kPi / 180.0 / total;
            sumC2[j] += w[3] * weight[l] * kPi / 180.0 / total;
        }
        integralTotal += sumTotal[j] * density;
        integralC1 += sumC1[j] * density;
        integralC2 += sumC2[j] * density;
    }

    const auto rate = [&](double integral) {
        return (result.collectionWidth * ((in.groundFlashDensity * integral / 1000.0) * 100.0)) *
               result.terrainFactor;
    };
    result.rateC1 = rate(integralC1);
    result.rateC2 = rate(integralC2);
    result.rateTotal = rate(integralTotal);
}

} // namespace

double integrationAngle(int l)
{
    return static_cast<double>(l + 1) / 180.0 * kPi;
}

bool integrationStepCounts(double minCurrent, std::int32_t& loopSteps, std::int32_t& storageSteps)
{
    loopSteps = 0;
    storageSteps = 0;
    if (!std::isfinite(minCurrent)) {
        return false;
    }
    const double loop = std::trunc((1.0 - minCurrent) + (minCurrent + 200.0));
    const double storage = std::ceil((minCurrent + 200.0) - minCurrent) + 1.0;
    if (!(loop >= 1.0 && loop <= kMaxCurrentSteps) || loop != storage) {
        return false;
    }
    loopSteps = static_cast<std::int32_t>(loop);
    storageSteps = static_cast<std::int32_t>(storage);
    return true;
}

void releaseIntegrationTables(IntegrationTables& tables)
{
    emxFree_real_T(&tables.strokeTable);
    emxFree_real_T(&tables.angleSumTotal);
    emxFree_real_T(&tables.angleSumC1);
    emxFree_real_T(&tables.angleSumC2);
}

void integrateShieldingFailure(const RateInputs& inputs, StrokeEvaluation evaluation, RateResult& result,
                               IntegrationTables* tables)
{
    IntegrationTables own;
    IntegrationTables& kept = tables != nullptr ? *tables : own;
    try {
        if (evaluation == StrokeEvaluation::literal) {
            LiteralStrokes strokes{inputs};
            integrate(inputs, strokes, result, kept, tables != nullptr);
        } else {
            SplitStrokes strokes(inputs);
            integrate(inputs, strokes, result, kept, tables != nullptr);
        }
    } catch (...) {
        releaseIntegrationTables(kept);
        throw;
    }
    if (tables == nullptr) {
        releaseIntegrationTables(own);
    }
}

void EGMs2x(double groundFlashDensity, double slopeAngle, double minCurrent, const LineGeometry& geometry,
            double voltageTerm, double currentScale, double currentExponent, double& rateC1, double& rateC2,
            double& rateTotal)
{
    RateInputs inputs;
    inputs.groundFlashDensity = groundFlashDensity;
    inputs.slopeAngle = slopeAngle;
    inputs.minCurrent = minCurrent;
    inputs.geometry = geometry;
    inputs.voltageTerm = voltageTerm;
    inputs.currentScale = currentScale;
    inputs.currentExponent = currentExponent;
    RateResult result;
    integrateShieldingFailure(inputs, StrokeEvaluation::split, result);
    rateC1 = result.rateC1;
    rateC2 = result.rateC2;
    rateTotal = result.rateTotal;
}
