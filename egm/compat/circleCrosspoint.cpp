#include "circleCrosspoint.h"

#include <cmath>

#include "egm_constants.h"
#include "rt_safe_math.h"

namespace egm::model {

using namespace egm::numeric;

void circleCrosspoint(const Circle& a, const Circle& b, Crossing& result)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double d = std::sqrt(dy * dy + dx * dx);
    const double theta = rt_atan2d_snf(dy, dx);
    const double s = b.r + a.r;
    if (s == d) {
        const double tx = std::cos(theta) * a.r + a.x;
        const double ty = std::sin(theta) * a.r + a.y;
        result = {tx, ty, tx, ty};
    } else if (s > d) {
        // Law of cosines; the quotient goes to acos unchecked, so nested
        // circles yield NaN points.
        const double phi = std::acos(((d * d + a.r * a.r) - b.r * b.r) / ((a.r + a.r) * d));
        result.x1 = std::cos(theta - phi) * a.r + a.x;
        result.y1 = std::sin(theta - phi) * a.r + a.y;
        result.x2 = std::cos(theta + phi) * a.r + a.x;
        result.y2 = std::sin(theta + phi) * a.r + a.y;
    } else {
        result = {kNoCrossing, kNoCrossing, kNoCrossing, kNoCrossing};
    }
}

} // namespace egm::model
