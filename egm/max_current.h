// The maximum shielding failure currents and the strokes of one current,
// written once over the evaluator (evaluator.h).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "egm/shielding.h"
#include "egm/types.h"
#include "evaluator.h"
#include "grid.h"

namespace egm::model {

// The widths (180 x wires, wire fastest) of every stroke of one current.
template <class E> void strokeRowsAt(E& ev, double current, std::vector<double>& rows)
{
    const std::size_t wires = ev.wireCount();
    rows.assign(kAngleSteps * wires, 0.0);
    ev.prepare(current);
    const StrokeAngle* angle = gridAngles();
    for (int l = 0; l < kAngleSteps; ++l) {
        double* row = rows.data() + static_cast<std::size_t>(l) * wires;
        if (ev.readOff(l)) {
            ev.fillFromImage(l, row);
        } else {
            ev.widths(angle[l], row, true);
        }
    }
}

// Whether the wire has a width at the current for some angle of the grid.
template <class E> bool wireCatchesAt(E& ev, double current, std::size_t wire)
{
    ev.prepare(current);
    if (!ev.reached(wire)) {
        return false;
    }
    const StrokeAngle* angle = gridAngles();
    std::vector<double> w(ev.wireCount());
    for (int l = 0; l < kAngleSteps; ++l) {
        if (ev.readOff(l)) {
            continue;
        }
        ev.widths(angle[l], w.data(), false);
        if (ev.catches(l, w.data(), wire)) {
            return true;
        }
    }
    return false;
}

// The bracket [exposed, shielded] narrowed by bisection, the result rounded
// to the 0.01 kA it resolves.
template <class Exposed> double bisect(double exposed, double shielded, Exposed isExposed)
{
    // Ten times finer than the figure is reported, so that the rounding
    // decides the last digit, not the bisection.
    while (shielded - exposed > kCurrentResolution / 10.0) {
        const double middle = (exposed + shielded) / 2.0;
        if (isExposed(middle)) {
            exposed = middle;
        } else {
            shielded = middle;
        }
    }
    return std::round(exposed / kCurrentResolution) / (1.0 / kCurrentResolution);
}

// Conductor k's (conductor order) maximum current of the integrated range:
// the highest step the integration found it exposed at (exposedSteps, bit
// k), then bisected up to the next step.
template <class E>
MaxCurrent maxCurrentOf(E& ev, double lowestCurrent, const std::vector<std::uint32_t>& exposedSteps,
                        std::size_t k)
{
    const int steps = static_cast<int>(exposedSteps.size());
    int highest = -1;
    for (int j = steps - 1; j >= 0; --j) {
        if (exposedSteps[j] & (std::uint32_t{1} << k)) {
            highest = j;
            break;
        }
    }
    MaxCurrent m;
    if (highest < 0) {
        return m;
    }
    const double exposed = highest + lowestCurrent;
    if (highest == steps - 1) {
        m.current = exposed;
        m.exposedAtTop = true;
        return m;
    }
    const std::size_t wire = ev.conductors()[k];
    m.current = bisect(exposed, (highest + 1) + lowestCurrent,
                       [&](double current) { return wireCatchesAt(ev, current, wire); });
    return m;
}

// Decades between the classical search's ends, and its grid of eight
// currents a decade, both ends included.
constexpr int decadesBetween(double from, double to)
{
    int n = 0;
    for (double x = from; x < to * (1.0 - 1e-9); x *= 10.0) {
        ++n;
    }
    return n;
}
inline constexpr int kPointsPerDecade = 8;
inline constexpr int kClassicalPoints =
    kPointsPerDecade * decadesBetween(kClassicalSearchFrom, kClassicalSearchTo) + 1;

// Vertical strokes searched on that grid, from the top down, one evaluation
// a current for every conductor; each conductor's highest exposed current
// is then bracketed by bisection.
template <class E> std::vector<MaxCurrent> classicalMaxCurrentsOf(E& ev, double slope)
{
    const auto gridCurrent = [](int k) {
        return k == kClassicalPoints - 1
                   ? kClassicalSearchTo
                   : kClassicalSearchFrom * std::pow(10.0, k / double(kPointsPerDecade));
    };
    constexpr int kPoints = kClassicalPoints;
    const std::vector<std::size_t>& conductors = ev.conductors();
    const std::size_t nc = conductors.size();
    const StrokeAngle vertical = strokeAngle(verticalIncidence(slope));
    std::vector<double> w(ev.wireCount());
    const auto widthsAt = [&](double current) {
        ev.prepare(current);
        ev.widths(vertical, w.data(), false);
        return w.data();
    };
    std::vector<int> highest(nc, -1);
    const auto unresolved = [&] {
        return std::any_of(highest.begin(), highest.end(), [](int h) { return h < 0; });
    };
    for (int k = kPoints - 1; k >= 0 && unresolved(); --k) {
        const double* widths = widthsAt(gridCurrent(k));
        for (std::size_t c = 0; c < nc; ++c) {
            if (highest[c] < 0 && hasWidth(widths[conductors[c]])) {
                highest[c] = k;
            }
        }
    }
    std::vector<MaxCurrent> m(nc);
    for (std::size_t c = 0; c < nc; ++c) {
        if (highest[c] < 0) {
            continue;
        }
        if (highest[c] == kPoints - 1) {
            m[c].current = kClassicalSearchTo;
            m[c].exposedAtTop = true;
            continue;
        }
        m[c].current = bisect(gridCurrent(highest[c]), gridCurrent(highest[c] + 1),
                              [&](double current) { return hasWidth(widthsAt(current)[conductors[c]]); });
    }
    return m;
}

} // namespace egm::model
