#include "exposure_integral.h"

#include "contact_evaluation.h"
#include "first_contact.h"
#include "grid.h"
#include "rt_nonfinite.h"

namespace egm::model {

void integrateExposure(const Inputs& in, std::vector<double>& rates, double& total)
{
    const std::vector<std::size_t> conductors = in.tower.conductors();
    const std::size_t nc = conductors.size();
    std::int32_t loop = 0;
    std::int32_t storage = 0;
    if (!integrationStepCounts(in.lowestCurrent, loop, storage)) {
        rates.assign(nc, numeric::rtNaN);
        total = numeric::rtNaN;
        return;
    }
    // The same range as the share method's grid, lowest to top current.
    const int steps = (loop - 1) * kExposureStepsPerKa;
    const double step = 1.0 / kExposureStepsPerKa;
    const StrokeAngle vertical = strokeAngle(verticalIncidence(in.slope));
    ContactCurrentStep prepared;
    std::vector<double> w(in.tower.size());
    std::vector<double> sum(nc, 0.0);
    for (int i = 0; i <= steps; ++i) {
        const double current = in.lowestCurrent + static_cast<double>(i) / kExposureStepsPerKa;
        const double weight = i == 0 || i == steps ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0);
        const double density = currentDensity(in.distribution, current);
        prepareTowerCurrent(in, current, prepared);
        evaluateContactStroke(prepared, vertical, w.data(), ContactWidths::conductors);
        for (std::size_t k = 0; k < nc; ++k) {
            sum[k] += weight * (density * w[conductors[k]]);
        }
    }
    rates.resize(nc);
    total = 0.0;
    for (std::size_t k = 0; k < nc; ++k) {
        // 0.1 N_g per 100 km: D in m, N_g per km^2.
        rates[k] = 0.1 * in.flashDensity * (sum[k] * step / 3.0);
        total += rates[k];
    }
}

} // namespace egm::model
