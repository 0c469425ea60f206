// A conductor's insulation as lightning meets it: the critical current of a
// stroke to the conductor, the lowest peak current whose surge flashes the
// insulation over. The surge I Z / 2 runs both ways from the stroke point
// and flashes over once it reaches the insulation's critical flashover
// voltage CFO, so Ic = 2 CFO / Z. Units: kV, ohm, kA, m.
#pragma once

#include <optional>
#include <string>

#include "egm/types.h"

namespace egm::model {

// Hileman's gradient of negative-polarity impulse flashover along an
// insulator string or air gap, kV per m of insulation length.
inline constexpr double kCfoGradient = 605.0;
// The corona onset gradient of a conductor under a lightning surge, kV/m.
inline constexpr double kCoronaGradient = 1500.0;

// The radius of one conductor equivalent to a bundle of n subconductors of
// radius r (m) standing on a circle of radius bundle (m):
// (n r bundle^(n - 1))^(1 / n); r itself for n = 1.
double equivalentRadius(int n, double r, double bundle);

// The radius R_c (m) of the corona sheath round a conductor at height h (m)
// under a surge of cfo kV: R_c ln(2 h / R_c) = cfo / kCoronaGradient, on the
// branch below 2 h / e where the left side grows with R_c. None when no
// radius reaches it (cfo / kCoronaGradient at or above 2 h / e).
std::optional<double> coronaRadius(double cfo, double height);

// The surge impedance (ohm) of a conductor at height h (m) of equivalent
// radius rEq (m) whose corona sheath has radius rCorona (m):
// 60 sqrt(ln(2 h / rEq) ln(2 h / rCorona)); 60 ln(2 h / rEq) without corona.
double surgeImpedance(double height, double rEq, double rCorona);

// The critical flashover voltage (kV) of the insulation, given or from its
// length; none when neither is given.
std::optional<double> criticalFlashoverVoltage(const Insulation& insulation);

// The critical current (kA) of a conductor at height h (m, as computed
// with), in this order: given; 2 CFO / Z with the given surge impedance;
// 2 CFO / Z with Z under corona from the conductor's geometry (the corona
// radius taken no smaller than the equivalent radius). None when the
// insulation gives none. The insulation must have passed insulationError.
std::optional<double> criticalCurrent(const Insulation& insulation, double height);

// What is wrong with the insulation of a conductor at height h (m), one
// line naming the input and its value ("cfo -3 kV: must be greater than 0
// kV"); empty when it can be used. Ranges: critical current above 0 and at
// most 1000 kA; cfo above 0 and at most 10000 kV; insulation length above 0
// and at most 20 m; surge impedance above 0 and at most 2000 ohm; conductor
// radius above 0 and below the height and 1 m; subconductors a whole number
// from 1 to 16; bundle radius above 0 and at most 2 m, needed with more
// than one subconductor. A critical current with a CFO (or insulation
// length), a CFO with an insulation length, a surge impedance or conductor
// geometry without a CFO, or a CFO with neither a surge impedance nor a
// conductor radius: refused too.
std::string insulationError(const Insulation& insulation, double height);

// Ground flash density (per km^2 per year) of t thunder days a year:
// 0.04 t^1.25 (Anderson).
double flashDensityOfThunderDays(double thunderDays);

} // namespace egm::model
