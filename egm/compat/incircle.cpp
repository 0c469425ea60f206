#include "incircle.h"

#include <cmath>

#include "distance.h"
#include "egm_constants.h"

namespace egm::model {

double incircle(double theta, const Circle& a, const Circle& b)
{
    const Point onA{std::cos(theta) * a.r + a.x, std::sin(theta) * a.r + a.y};
    const double e = distance(onA, Point{b.x, b.y});
    const double bound = b.r - kInsideTolerance;
    // Written as "not outside" so that a NaN distance or bound counts as inside.
    if (e >= bound) {
        return 0.0;
    }
    return 1.0;
}

} // namespace egm::model
