#include "rt_nonfinite.h"

#include <bit>
#include <cstdint>

#include "rtGetInf.h"
#include "rtGetNaN.h"

namespace egm::numeric {

// Set from the bit patterns at load time as well, so that the constants are
// right even before the initialisation runs.
double rtNaN = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000u});
double rtInf = std::bit_cast<double>(std::uint64_t{0x7FF0000000000000u});
double rtMinusInf = std::bit_cast<double>(std::uint64_t{0xFFF0000000000000u});
float rtNaNF = std::bit_cast<float>(std::uint32_t{0xFFC00000u});
float rtInfF = std::bit_cast<float>(std::uint32_t{0x7F800000u});
float rtMinusInfF = std::bit_cast<float>(std::uint32_t{0xFF800000u});

void rt_InitInfAndNaN(std::size_t realSize)
{
    (void)realSize;
    rtNaN = rtGetNaN();
    rtNaNF = rtGetNaNF();
    rtInf = rtGetInf();
    rtInfF = rtGetInfF();
    rtMinusInf = rtGetMinusInf();
    rtMinusInfF = rtGetMinusInfF();
}

bool rtIsInf(double x)
{
    return x == rtInf || x == rtMinusInf;
}

bool rtIsNaNF(float x)
{
    return x != x;
}

bool rtIsInfF(float x)
{
    return x == rtInfF || x == rtMinusInfF;
}

} // namespace egm::numeric
