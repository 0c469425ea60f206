// Power and direction angle with fixed rules for non-finite and degenerate
// arguments. Every power and every direction angle of the model goes through
// these two, never through pow or atan2 directly.
#pragma once

namespace egm::numeric {

// u0 raised to u1. The first rule that applies gives the result:
// NaN in -> NaN; infinite exponent with |u0| == 1 -> NaN; infinite exponent
// -> +inf or +0 by |u0| and the exponent's sign; exponent +-0 -> 1;
// exponent +-1 -> u0 or 1/u0; exponent 2 -> u0*u0; exponent 0.5 with
// u0 >= 0 -> sqrt(u0); negative base with a non-integral exponent -> NaN;
// otherwise pow(u0, u1).
double rt_powd_snf(double u0, double u1);

// Angle of the vector (x, y) in radians, y first. NaN in -> NaN; both
// infinite -> +-pi/4 or +-3pi/4; x == +-0 -> +-pi/2 by the sign of y, or +0
// for a zero y; otherwise atan2(y, x).
double rt_atan2d_snf(double y, double x);

} // namespace egm::numeric
