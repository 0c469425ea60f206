// The rate integration, written once over the evaluator (evaluator.h): the
// conductors' share of the exposure integrated over current (weighted by
// the current's probability density) and incidence angle (weighted by
// 0.75 cos^3(pi/2 - theta)), scaled into strokes per 100 km per year, and
// the exposure method's sums of the vertical strokes' widths.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "egm/shielding.h"
#include "egm/types.h"
#include "evaluator.h"
#include "grid.h"
#include "rt_nonfinite.h"

namespace egm::model {

// The integration's grid and scaling.
struct RateGrid {
    double flashDensity = 2.8;   // ground flashes per km^2 per year
    double lowestCurrent = 23.5; // kA
    CurrentDistribution distribution;
    double slope = 0.0; // degrees, for the vertical strokes
};

inline RateGrid rateGridOf(const Inputs& in)
{
    return RateGrid{in.flashDensity, in.lowestCurrent, in.distribution, in.slope};
}

// What an integration leaves. The rates per conductor, tower order;
// strokes per 100 km per year.
struct TowerTotals {
    std::vector<double> rate;
    double rateTotal = 0.0;
    double terrainFactor = 0.0;
    double collectionWidth = 0.0; // m
    std::int32_t steps = 0;
};

// What the caller may want kept of the integration; null: not kept.
struct TowerRecord {
    // steps x 180 x wires, wire fastest, then angle step.
    std::vector<double>* widths = nullptr;
    // Per current step: the total, then each conductor's angle sum.
    std::vector<double>* angleSums = nullptr;
    // Per current step: bit c set when conductor c (tower order of the
    // conductors) has a width at some angle.
    std::vector<std::uint32_t>* exposed = nullptr;
};

// Strokes per 100 km per year of an integral over current and angle.
inline double rateOf(double collectionWidth, double flashDensity, double terrainFactor, double integral)
{
    return (collectionWidth * ((flashDensity * integral / 1000.0) * 100.0)) * terrainFactor;
}

// One current's strokes into the angle sums, the rows into row (180 x
// wires) when not null. w: a row of scratch, one width per wire.
template <class E> void sumStrokes(const E& ev, double* row, double* w, typename E::Sums& sums)
{
    const StrokeAngle* angle = gridAngles();
    const std::size_t wires = ev.wireCount();
    const int angleSteps = ev.anyReached() || row != nullptr ? kAngleSteps : 0;
    for (int l = 0; l < angleSteps; ++l) {
        double* strokeRow = row == nullptr ? nullptr : row + static_cast<std::size_t>(l) * wires;
        if (ev.readOff(l)) {
            if (strokeRow != nullptr) {
                ev.fillFromImage(l, strokeRow);
            }
            continue;
        }
        const double total = ev.widths(angle[l], w, row != nullptr);
        if (strokeRow != nullptr) {
            std::copy(w, w + wires, strokeRow);
        }
        ev.add(l, w, total, sums);
    }
}

// A lowest current whose step counts are unusable gives NaN rates, 0 steps
// and evaluates nothing.
template <class E>
void integrateWith(E& ev, const RateGrid& grid, TowerTotals& totals, const TowerRecord& record = {})
{
    const std::vector<std::size_t>& conductors = ev.conductors();
    const std::size_t nc = conductors.size();
    const std::size_t wires = ev.wireCount();
    totals.terrainFactor = ev.terrainFactor();
    totals.collectionWidth = ev.collectionWidth();

    std::int32_t nSteps = 0;
    std::int32_t storageSteps = 0;
    if (!integrationStepCounts(grid.lowestCurrent, nSteps, storageSteps)) {
        totals.rate.assign(nc, numeric::rtNaN);
        totals.rateTotal = numeric::rtNaN;
        totals.steps = 0;
        return;
    }
    totals.steps = nSteps;
    const std::size_t steps = static_cast<std::size_t>(nSteps);
    if (record.widths != nullptr) {
        record.widths->assign(steps * kAngleSteps * wires, 0.0);
    }
    if (record.angleSums != nullptr) {
        record.angleSums->assign(steps * (nc + 1), 0.0);
    }
    if (record.exposed != nullptr) {
        record.exposed->assign(steps, 0);
    }

    // A stroke's widths, on the stack for any tower that validates.
    double onStack[kMaxTowerWires];
    std::vector<double> onHeap(wires > kMaxTowerWires ? wires : 0);
    double* w = wires > kMaxTowerWires ? onHeap.data() : onStack;
    std::vector<double> integral(nc, 0.0);
    double integralTotal = 0.0;
    typename E::Sums sums(nc);
    for (std::size_t j = 0; j < steps; ++j) {
        const double current = static_cast<double>(j) + grid.lowestCurrent;
        const double density = currentDensity(grid.distribution, current);
        ev.prepare(current);
        sums.reset();
        sumStrokes(ev, record.widths == nullptr ? nullptr : record.widths->data() + j * kAngleSteps * wires,
                   w, sums);
        if (record.angleSums != nullptr) {
            double* row = record.angleSums->data() + j * (nc + 1);
            row[0] = sums.total;
            std::copy(sums.conductor.begin(), sums.conductor.end(), row + 1);
        }
        if (record.exposed != nullptr) {
            (*record.exposed)[j] = sums.exposed;
        }
        for (std::size_t k = 0; k < nc; ++k) {
            integral[k] += sums.conductor[k] * density;
        }
        integralTotal += sums.total * density;
    }
    totals.rate.assign(nc, 0.0);
    for (std::size_t k = 0; k < nc; ++k) {
        totals.rate[k] = rateOf(totals.collectionWidth, grid.flashDensity, totals.terrainFactor, integral[k]);
    }
    totals.rateTotal = rateOf(totals.collectionWidth, grid.flashDensity, totals.terrainFactor, integralTotal);
}

// The exposure method's rates as the guides define them: for each conductor
// 0.1 N_g times the integral of f(I) D(I) dI over the share method's range of
// currents, D(I) the conductor's width for vertical strokes (m), by
// Simpson's rule on kExposureStepsPerKa steps a kA; the total is their sum
// in the tower's order. D falls to 0 at the conductor's maximum shielding
// failure current as a square root does, and on this grid the rule stays
// within some 1e-5 of the integral (the 1 kA grid would start half a step
// low). A lowest current whose range cannot be stepped through gives NaN.
inline constexpr int kExposureStepsPerKa = 10;
template <class E>
void integrateExposureWith(E& ev, const RateGrid& grid, std::vector<double>& rates, double& total)
{
    const std::vector<std::size_t>& conductors = ev.conductors();
    const std::size_t nc = conductors.size();
    std::int32_t loop = 0;
    std::int32_t storage = 0;
    if (!integrationStepCounts(grid.lowestCurrent, loop, storage)) {
        rates.assign(nc, numeric::rtNaN);
        total = numeric::rtNaN;
        return;
    }
    const int steps = (loop - 1) * kExposureStepsPerKa;
    const double step = 1.0 / kExposureStepsPerKa;
    const StrokeAngle vertical = strokeAngle(verticalIncidence(grid.slope));
    std::vector<double> w(ev.wireCount());
    std::vector<double> sum(nc, 0.0);
    for (int i = 0; i <= steps; ++i) {
        const double current = grid.lowestCurrent + static_cast<double>(i) / kExposureStepsPerKa;
        const double weight = i == 0 || i == steps ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0);
        const double density = currentDensity(grid.distribution, current);
        ev.prepare(current);
        ev.widths(vertical, w.data(), false);
        for (std::size_t k = 0; k < nc; ++k) {
            sum[k] += weight * (density * w[conductors[k]]);
        }
    }
    rates.resize(nc);
    total = 0.0;
    for (std::size_t k = 0; k < nc; ++k) {
        // 0.1 N_g per 100 km: D in m, N_g per km^2.
        rates[k] = 0.1 * grid.flashDensity * (sum[k] * step / 3.0);
        total += rates[k];
    }
}

} // namespace egm::model
