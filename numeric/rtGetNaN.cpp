#include "rtGetNaN.h"

#include "byte_order.h"

namespace egm::numeric {

double rtGetNaN()
{
    if (machineIsLittleEndian()) {
        return doubleFromWords(0xFFF80000u, 0u);
    }
    return doubleFromWords(0x7FFFFFFFu, 0xFFFFFFFFu);
}

float rtGetNaNF()
{
    if (machineIsLittleEndian()) {
        return floatFromWord(0xFFC00000u);
    }
    return floatFromWord(0x7FFFFFFFu);
}

} // namespace egm::numeric
