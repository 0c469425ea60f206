#include "shadow_on_x.h"

#include <cmath>

#include "egm_constants.h"

double shadow_on_x(const Point& point, double theta)
{
    return shadow_on_x(point, theta, std::tan(theta));
}

double shadow_on_x(const Point& point, double theta, double tanTheta)
{
    if (theta == egm::kHalfPi) {
        return point.x;
    }
    return point.x - point.y / tanTheta;
}
