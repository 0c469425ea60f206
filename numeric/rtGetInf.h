// Getters of the infinities, built from their bit patterns, not by arithmetic.
#pragma once

namespace egm::numeric {

double rtGetInf();      // 0x7FF0000000000000
double rtGetMinusInf(); // 0xFFF0000000000000
float rtGetInfF();      // 0x7F800000
float rtGetMinusInfF(); // 0xFF800000

} // namespace egm::numeric
