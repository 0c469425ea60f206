// Getters of the NaN constants, built from their bit patterns. On a
// little-endian machine: 0xFFF8000000000000 and 0xFFC00000 (sign bit set);
// on a big-endian one 0x7FFFFFFFFFFFFFFF and 0x7FFFFFFF.
#pragma once

namespace egm::numeric {

double rtGetNaN();
float rtGetNaNF();

} // namespace egm::numeric
