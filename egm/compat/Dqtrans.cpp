#include "Dqtrans.h"

#include <cmath>

#include "egm_constants.h"

namespace egm::model {

void Dqtrans(CircleSet& source, double slopeAngle, CircleSet& destination)
{
    const double alpha = slopeAngle / 180.0 * kPi;
    const double c = std::cos(alpha);
    const double s = std::sin(alpha);
    for (int i = 0; i < 4; ++i) {
        const double x = source[i];
        const double y = source[i + 4];
        source[i] = x * c - y * s;
        source[i + 4] = x * s + y * c;
    }
    destination = source;
}

} // namespace egm::model
