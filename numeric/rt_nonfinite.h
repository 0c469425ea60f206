// Non-finite constants of the numeric layer and the tests for NaN and
// infinity. The constants hold their values from program start on;
// rt_InitInfAndNaN writes the same values again from the getters.
#pragma once

#include <cstddef>

namespace egm::numeric {

extern double rtNaN;      // quiet NaN, sign bit set: 0xFFF8000000000000
extern double rtInf;      // +infinity: 0x7FF0000000000000
extern double rtMinusInf; // -infinity: 0xFFF0000000000000
extern float rtNaNF;      // quiet NaN, sign bit set: 0xFFC00000
extern float rtInfF;      // +infinity: 0x7F800000
extern float rtMinusInfF; // -infinity: 0xFF800000

// Installs the six constants, in the order NaN, NaNF, Inf, InfF, MinusInf,
// MinusInfF. The size of a real is not used.
void rt_InitInfAndNaN(std::size_t realSize);

// True exactly when x compares unordered with itself: every NaN, any sign or
// payload. Inline: the sorts ask it of every value they place.
inline bool rtIsNaN(double x)
{
    return x != x;
}
// True exactly when x equals rtInf or rtMinusInf; NaN and every finite value,
// zeros included, give false.
bool rtIsInf(double x);
bool rtIsNaNF(float x);
bool rtIsInfF(float x);

} // namespace egm::numeric
