#include "shadow_on_x.h"

#include <cmath>

#include "egm_constants.h"

namespace egm::model {

double shadow_on_x(const Point& point, double theta)
{
    double shadow = 0.0;
    shadows_on_x(&point.x, &point.y, 1, theta, std::tan(theta), &shadow);
    return shadow;
}

void shadows_on_x(const double* x, const double* y, int n, double theta, double tanTheta, double* shadow)
{
    // A vertical stroke lands straight below the point; the test is exact, on
    // the double nearest pi/2 that the integration's angle 90 produces.
    if (theta == kHalfPi) {
        for (int i = 0; i < n; ++i) {
            shadow[i] = x[i];
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        shadow[i] = x[i] - y[i] / tanTheta;
    }
}

} // namespace egm::model
