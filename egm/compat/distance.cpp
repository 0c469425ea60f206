#include "distance.h"

#include <cmath>

namespace egm::model {

double distance(const Point& p, const Point& q)
{
    const double dx = p.x - q.x;
    const double dy = p.y - q.y;
    return std::sqrt(dy * dy + dx * dx);
}

} // namespace egm::model
