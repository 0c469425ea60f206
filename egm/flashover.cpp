#include "flashover.h"

#include <algorithm>
#include <map>

#include "insulation.h"

namespace egm::model {

void addFlashovers(const Inputs& given, Result& result)
{
    // The integrations run on the inputs without insulation, each from one
    // critical current, which is then the conductor's lowest current.
    Inputs plain = given;
    std::map<double, Result> from;
    for (TowerWire& w : plain.tower.wires) {
        w.insulation = {};
    }
    for (ConductorResult& c : result.conductors) {
        const TowerWire& w = given.tower.wires[c.wire];
        c.criticalCurrent = criticalCurrent(w.insulation, w.height - 2.0 / 3.0 * w.sag);
        if (c.criticalCurrent && !from.contains(*c.criticalCurrent)) {
            Inputs at = plain;
            at.lowestCurrent = *c.criticalCurrent;
            Options options;
            options.classicalMaxCurrents = false;
            from.emplace(*c.criticalCurrent, computeRates(at, options));
        }
    }
    if (from.empty()) {
        return;
    }
    bool all = true;
    double total = 0.0;
    for (std::size_t k = 0; k < result.conductors.size(); ++k) {
        ConductorResult& c = result.conductors[k];
        if (!c.criticalCurrent) {
            all = false;
            continue;
        }
        const ConductorResult& f = from.at(*c.criticalCurrent).conductors[k];
        c.flashoverRate = f.rate;
        c.perfectlyShielded = !f.maxCurrent.current.has_value();
        total += f.rate;
    }
    // Every conductor from one critical current: that integration's total,
    // the figure the same lowest current gives.
    result.flashoverTotal = all && from.size() == 1 ? from.begin()->second.totalRate : total;
}

} // namespace egm::model
