#include "integration.h"

#include "max_current.h"

namespace egm::model {

namespace {

RateGrid rateGridOf(const IntegrationCase& in)
{
    return RateGrid{in.flashDensity, in.minCurrent, in.distribution, in.slopeAngle};
}

template <class E>
void integrateLine(const IntegrationCase& in, IntegrationTotals& totals, const IntegrationRecord& record)
{
    E ev(in);
    std::vector<std::uint32_t> exposed;
    TowerRecord rows{record.widths, record.angleSums, record.exposed != nullptr ? &exposed : nullptr};
    TowerTotals t;
    integrateWith(ev, rateGridOf(in), t, rows);
    totals.rateC1 = t.rate[0];
    totals.rateC2 = t.rate[1];
    totals.rateTotal = t.rateTotal;
    totals.terrainFactor = t.terrainFactor;
    totals.collectionWidth = t.collectionWidth;
    totals.steps = t.steps;
    if (record.exposed != nullptr) {
        record.exposed->assign(exposed.begin(), exposed.end());
    }
}

} // namespace

void integrate(const IntegrationCase& in, StrokeRule rule, IntegrationTotals& totals,
               const IntegrationRecord& record)
{
    switch (rule) {
    case StrokeRule::literal:
        integrateLine<LiteralEvaluator>(in, totals, record);
        break;
    case StrokeRule::compat:
        integrateLine<CompatEvaluator>(in, totals, record);
        break;
    }
}

void strokesAt(const IntegrationCase& in, double current, StrokeExposure (&widths)[kAngleSteps])
{
    CompatEvaluator ev(in);
    std::vector<double> rows;
    strokeRowsAt(ev, current, rows);
    for (int l = 0; l < kAngleSteps; ++l) {
        for (int i = 0; i < 4; ++i) {
            widths[l][i] = rows[static_cast<std::size_t>(l) * 4 + i];
        }
    }
}

void integrateTower(const Inputs& in, TowerTotals& totals, const TowerRecord& record)
{
    ContactEvaluator ev(in);
    integrateWith(ev, rateGridOf(in), totals, record);
}

void integrateExposure(const Inputs& in, std::vector<double>& rates, double& total)
{
    ContactEvaluator ev(in);
    integrateExposureWith(ev, rateGridOf(in), rates, total);
}

void towerStrokesAt(const Inputs& in, double current, std::vector<double>& widths)
{
    ContactEvaluator ev(in);
    strokeRowsAt(ev, current, widths);
}

bool towerWireCatchesAt(const Inputs& in, double current, std::size_t wire)
{
    ContactEvaluator ev(in);
    return wireCatchesAt(ev, current, wire);
}

} // namespace egm::model
