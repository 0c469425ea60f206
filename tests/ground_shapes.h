// Ground profiles the tests share: a ridge, a valley with the tower on its
// side, a terrace with a forest edge and rolling ground with a wood.
#pragma once

#include <cmath>
#include <vector>

#include "egm/ground_profile.h"

// Rolling ground 5 m apart, with a wood on the -x side.
inline std::vector<egm::GroundPoint> rolling()
{
    std::vector<egm::GroundPoint> points;
    for (int k = 0; k <= 120; ++k) {
        const double x = -300.0 + 5.0 * k;
        points.push_back({x, 7.0 * std::sin(x / 45.0) + 2.5 * std::cos(x / 11.0) - 0.1 * x,
                          x < -60.0 && x > -200.0 ? 18.0 : 0.0});
    }
    return points;
}

struct Shape {
    const char* name;
    std::vector<egm::GroundPoint> profile;
};

inline std::vector<Shape> shapes()
{
    return {
        {"ridge", {{-600.0, -279.78459489299917}, {0.0, 0.0}, {600.0, -279.78459489299917}}},
        {"valley, the tower on its side", {{-400.0, 120.0}, {-30.0, -15.0}, {10.0, -18.0}, {500.0, 160.0}}},
        {"terrace with a forest edge",
         {{-300.0, 0.0, 20.0}, {-40.0, 0.0, 20.0}, {-39.0, 0.0}, {20.0, 0.0}, {30.0, -12.0}, {400.0, -12.0}}},
        {"rolling ground with a wood", rolling()},
    };
}
