#include "distance.h"

#include <cmath>

double distance(const Point& p, const Point& q)
{
    const double dx = p.x - q.x;
    const double dy = p.y - q.y;
    return std::sqrt(dy * dy + dx * dx);
}
