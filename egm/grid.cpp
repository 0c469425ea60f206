#include "grid.h"

#include <cmath>

#include "egm/types.h"
#include "egm_constants.h"
#include "rt_safe_math.h"

namespace egm::model {

double integrationAngle(int l)
{
    return static_cast<double>(l + 1) / 180.0 * kPi;
}

bool integrationStepCounts(double minCurrent, std::int32_t& loopSteps, std::int32_t& storageSteps)
{
    loopSteps = 0;
    storageSteps = 0;
    if (!std::isfinite(minCurrent)) {
        return false;
    }
    const double loop = std::trunc((1.0 - minCurrent) + (minCurrent + 200.0));
    const double storage = std::ceil((minCurrent + 200.0) - minCurrent) + 1.0;
    if (!(loop >= 1.0 && loop <= kMaxCurrentSteps) || loop != storage) {
        return false;
    }
    loopSteps = static_cast<std::int32_t>(loop);
    storageSteps = static_cast<std::int32_t>(storage);
    return true;
}

StrokeAngle strokeAngle(double theta)
{
    const double above = kHalfPi + theta;
    const double below = theta - kHalfPi;
    return StrokeAngle{theta,           std::tan(theta), std::fabs(std::sin(theta)),
                       std::cos(above), std::sin(above), std::cos(below),
                       std::sin(below), std::sin(theta), std::cos(theta)};
}

namespace {

struct AngleTable {
    StrokeAngle angle[kAngleSteps];
    AngleTable()
    {
        for (int l = 0; l < kAngleSteps; ++l) {
            angle[l] = strokeAngle(integrationAngle(l));
        }
    }
};

struct AngleWeights {
    double weight[kAngleSteps];
    AngleWeights()
    {
        for (int l = 0; l < kAngleSteps; ++l) {
            weight[l] = 0.75 * numeric::rt_powd_snf(std::cos(kHalfPi - integrationAngle(l)), 3.0);
        }
    }
};

} // namespace

const StrokeAngle* gridAngles()
{
    static const AngleTable table;
    return table.angle;
}

const double* angleWeights()
{
    static const AngleWeights table;
    return table.weight;
}

} // namespace egm::model
