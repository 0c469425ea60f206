#include "rt_safe_math.h"

#include <cmath>

#include "rt_nonfinite.h"

namespace egm::numeric {

double rt_powd_snf(double u0, double u1)
{
    if (rtIsNaN(u0) || rtIsNaN(u1)) {
        return rtNaN;
    }
    const double d0 = std::fabs(u0);
    const double d1 = std::fabs(u1);
    if (rtIsInf(u1)) {
        if (d0 == 1.0) {
            return rtNaN;
        }
        if (d0 > 1.0) {
            return u1 > 0.0 ? rtInf : 0.0;
        }
        return u1 > 0.0 ? 0.0 : rtInf;
    }
    if (d1 == 0.0) {
        return 1.0;
    }
    if (d1 == 1.0) {
        return u1 > 0.0 ? u0 : 1.0 / u0;
    }
    if (u1 == 2.0) {
        return u0 * u0;
    }
    if (u1 == 0.5 && u0 >= 0.0) {
        return std::sqrt(u0);
    }
    if (u0 < 0.0 && u1 > std::floor(u1)) {
        return rtNaN;
    }
    return std::pow(u0, u1);
}

double rt_atan2d_snf(double y, double x)
{
    if (rtIsNaN(y) || rtIsNaN(x)) {
        return rtNaN;
    }
    if (rtIsInf(y) && rtIsInf(x)) {
        const double sy = y > 0.0 ? 1.0 : -1.0;
        const double sx = x > 0.0 ? 1.0 : -1.0;
        return std::atan2(sy, sx);
    }
    if (x == 0.0) {
        if (y > 0.0) {
            return 1.5707963267948966;
        }
        if (y < 0.0) {
            return -1.5707963267948966;
        }
        return 0.0;
    }
    return std::atan2(y, x);
}

} // namespace egm::numeric
