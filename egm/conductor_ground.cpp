#include "conductor_ground.h"

#include <cmath>
#include <map>

namespace egm::model {

namespace {

// The law of ieee-1992's striking distance 10 I^0.65 with the ground's
// striking line at beta times it.
StrikingLaw ieeeWithBeta(double beta)
{
    StrikingLaw law;
    law.kind = StrikingLaw::Kind::custom;
    law.a = 10.0;
    law.b = 0.65;
    law.beta = beta;
    return law;
}

// Conductor k's column of the source's stroke table and angle sums into r.
void takeColumns(const Result& source, std::size_t k, Result& r)
{
    const std::size_t wire = r.conductors[k].wire;
    if (r.strokes && source.strokes) {
        for (std::size_t j = 0; j < r.strokes->currentCount(); ++j) {
            for (int l = 0; l < kAngleSteps; ++l) {
                std::vector<double> row = r.strokes->widths(j, l);
                row[wire] = source.strokes->width(j, l, wire);
                r.strokes->setWidths(j, l, row.data());
            }
        }
    }
    if (r.angleSums && source.angleSums) {
        r.angleSums->conductor[k] = source.angleSums->conductor[k];
    }
}

} // namespace

double guidesGroundFactor(double conductorHeight)
{
    if (conductorHeight < 40.0) {
        return 0.36 + 0.168 * std::log(43.0 - conductorHeight);
    }
    return 0.55;
}

Result withConductorGround(const Inputs& inputs, const std::function<Result(const Inputs&)>& once)
{
    std::map<double, Result> byBeta;
    std::vector<double> beta;
    for (const std::size_t c : inputs.tower.conductors()) {
        beta.push_back(guidesGroundFactor(inputs.tower.wires[c].height));
        if (!byBeta.contains(beta.back())) {
            Inputs at = inputs;
            at.law = ieeeWithBeta(beta.back());
            byBeta.emplace(beta.back(), once(at));
        }
    }
    Result r = byBeta.at(beta.front());
    r.law = inputs.law;
    if (byBeta.size() == 1) {
        return r;
    }
    double total = 0.0;
    for (std::size_t k = 0; k < r.conductors.size(); ++k) {
        const Result& own = byBeta.at(beta[k]);
        r.conductors[k] = own.conductors[k];
        takeColumns(own, k, r);
        total += r.conductors[k].rate;
    }
    r.totalRate = total;
    if (r.angleSums) {
        for (std::size_t j = 0; j < r.angleSums->total.size(); ++j) {
            double sum = 0.0;
            for (const std::vector<double>& conductor : r.angleSums->conductor) {
                sum += conductor[j];
            }
            r.angleSums->total[j] = sum;
        }
    }
    return r;
}

} // namespace egm::model
