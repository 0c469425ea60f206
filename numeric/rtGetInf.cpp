#include "rtGetInf.h"

#include "byte_order.h"

namespace egm::numeric {

// The infinities have the same pattern in either byte order; the test is made
// all the same, as for the NaN getter.
double rtGetInf()
{
    (void)machineIsLittleEndian();
    return doubleFromWords(0x7FF00000u, 0u);
}

double rtGetMinusInf()
{
    (void)machineIsLittleEndian();
    return doubleFromWords(0xFFF00000u, 0u);
}

float rtGetInfF()
{
    return floatFromWord(0x7F800000u);
}

float rtGetMinusInfF()
{
    return floatFromWord(0xFF800000u);
}

} // namespace egm::numeric
