// The public computations: the rates, the strokes of one current, whether
// a conductor is exposed, one stroke's picture and the four-wire program's
// rates, each through the evaluator of the inputs' evaluation.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "compat/compat.h"
#include "conductor_ground.h"
#include "egm/input_table.h"
#include "egm/shielding.h"
#include "egm_constants.h"
#include "evaluations.h"
#include "flashover.h"
#include "integrate_with.h"
#include "integration.h"
#include "max_current.h"
#include "striking_law.h"

#ifndef EGM_VERSION
#define EGM_VERSION "0.0.0"
#endif

namespace egm {

namespace {

void requireCurrent(double current)
{
    if (!(std::isfinite(current) && current > 0.0)) {
        throw InputError("current " + shortestText(current) + " kA: must be greater than 0 kA");
    }
}

// Everything an integration by either evaluation leaves.
struct Integrated {
    std::vector<double> rate;
    double rateTotal = 0.0;
    double terrainFactor = 0.0;
    double collectionWidth = 0.0;
    int steps = 0;
    std::vector<double> widths;         // steps x 180 x wires
    std::vector<double> angleSums;      // steps x (1 + conductors)
    std::vector<std::uint32_t> exposed; // steps
};

template <class E> Integrated integrateBy(E& ev, const Inputs& in, const Options& options)
{
    Integrated out;
    model::TowerRecord record;
    record.widths = options.strokeTable ? &out.widths : nullptr;
    record.angleSums = options.angleSums ? &out.angleSums : nullptr;
    record.exposed = options.maxCurrents ? &out.exposed : nullptr;
    const bool exposure = in.rateMethod == RateMethod::exposure;
    model::TowerTotals totals;
    model::integrateWith(ev, model::rateGridOf(in), totals, record);
    out.rate = std::move(totals.rate);
    out.rateTotal = totals.rateTotal;
    // The exposure method integrates the first-contact width of vertical
    // strokes on a grid of its own, whatever the evaluation of the rest.
    if (exposure) {
        model::integrateExposure(in, out.rate, out.rateTotal);
    }
    out.terrainFactor = totals.terrainFactor;
    out.collectionWidth = totals.collectionWidth;
    out.steps = totals.steps;
    return out;
}

// The inputs as computed: each wire at its span's average height, at the
// tower less two thirds of its sag (unchanged to the bit without sag).
Inputs averaged(const Inputs& in)
{
    Inputs out = in;
    for (TowerWire& w : out.tower.wires) {
        w.height = w.height - 2.0 / 3.0 * w.sag;
        w.sag = 0.0;
    }
    return out;
}

template <class E> Result computeBy(E& ev, const Inputs& given, const Inputs& inputs, const Options& options)
{
    Result r;
    r.evaluation = inputs.evaluation;
    r.law = inputs.law;
    r.distribution = inputs.distribution;
    r.notes = layoutNotes(inputs);
    r.wireNames = given.tower.names();
    r.rateMethod = given.rateMethod;
    for (const TowerWire& w : inputs.tower.wires) {
        r.heights.push_back(w.height);
    }

    // The compat evaluation keeps its own collection width.
    if constexpr (requires { ev.collectAtTower(given.tower); }) {
        ev.collectAtTower(given.tower);
    }
    Integrated in = integrateBy(ev, inputs, options);
    if (!std::isfinite(in.rateTotal) ||
        std::any_of(in.rate.begin(), in.rate.end(), [](double rate) { return !std::isfinite(rate); })) {
        throw InputError("the inputs give no finite rate (total " + shortestText(in.rateTotal) +
                         "): a striking distance or current density out of reach of the arithmetic");
    }
    r.totalRate = in.rateTotal;
    r.terrainFactor = in.terrainFactor;
    r.collectionWidth = in.collectionWidth;
    r.currentSteps = in.steps;
    r.currentFrom = inputs.lowestCurrent;
    r.currentTo = (in.steps - 1) + inputs.lowestCurrent;

    const std::vector<std::size_t> conductors = inputs.tower.conductors();
    const std::vector<MaxCurrent> classical = options.classicalMaxCurrents
                                                  ? model::classicalMaxCurrentsOf(ev, inputs.slope)
                                                  : std::vector<MaxCurrent>(conductors.size());
    for (std::size_t k = 0; k < conductors.size(); ++k) {
        ConductorResult c;
        c.wire = conductors[k];
        c.name = r.wireNames[conductors[k]];
        c.rate = in.rate[k];
        if (options.maxCurrents) {
            c.maxCurrent = model::maxCurrentOf(ev, inputs.lowestCurrent, in.exposed, k);
        }
        c.classicalMaxCurrent = classical[k];
        r.conductors.push_back(std::move(c));
    }

    std::vector<double> currents(static_cast<std::size_t>(in.steps));
    for (std::size_t j = 0; j < currents.size(); ++j) {
        currents[j] = static_cast<double>(j) + inputs.lowestCurrent;
    }
    if (options.strokeTable) {
        StrokeTable table(currents, inputs.tower.size());
        for (std::size_t j = 0; j < currents.size(); ++j) {
            for (int l = 0; l < kAngleSteps; ++l) {
                table.setWidths(j, l,
                                in.widths.data() +
                                    (j * kAngleSteps + static_cast<std::size_t>(l)) * table.wireCount());
            }
        }
        r.strokes = std::move(table);
    }
    if (options.angleSums) {
        AngleSums sums;
        sums.current = currents;
        sums.conductor.assign(conductors.size(), {});
        const std::size_t stride = conductors.size() + 1;
        for (std::size_t j = 0; j < currents.size(); ++j) {
            sums.total.push_back(in.angleSums[j * stride]);
            for (std::size_t k = 0; k < conductors.size(); ++k) {
                sums.conductor[k].push_back(in.angleSums[j * stride + 1 + k]);
            }
        }
        r.angleSums = std::move(sums);
    }
    return r;
}

} // namespace

double incidenceAngle(int angleStep)
{
    return model::integrationAngle(angleStep);
}

double verticalIncidence(double slope)
{
    return model::kHalfPi + slope / 180.0 * model::kPi;
}

Result computeRates(const Inputs& given, const Options& options)
{
    validate(given);
    const Inputs inputs = averaged(given);
    const auto once = [&](const Inputs& at) {
        return model::withEvaluator(at, [&](auto& ev) { return computeBy(ev, given, at, options); });
    };
    // Under ieee-1992 each conductor has the ground's striking line of its
    // own height, as the guides apply the law.
    Result r = inputs.law.kind == StrikingLaw::Kind::ieee1992 ? model::withConductorGround(inputs, once)
                                                              : once(inputs);
    model::addFlashovers(given, r);
    return r;
}

std::vector<std::vector<double>> strokesAtCurrent(const Inputs& given, double current)
{
    validate(given);
    requireCurrent(current);
    const Inputs inputs = averaged(given);
    std::vector<double> widths;
    const std::size_t wires = model::withEvaluator(inputs, [&](auto& ev) {
        model::strokeRowsAt(ev, current, widths);
        return ev.wireCount();
    });
    std::vector<std::vector<double>> rows(kAngleSteps);
    for (std::size_t l = 0; l < rows.size(); ++l) {
        rows[l].assign(widths.begin() + static_cast<std::ptrdiff_t>(l * wires),
                       widths.begin() + static_cast<std::ptrdiff_t>((l + 1) * wires));
    }
    return rows;
}

bool conductorExposed(const Inputs& given, double current, std::size_t conductor)
{
    validate(given);
    requireCurrent(current);
    const Inputs inputs = averaged(given);
    const std::vector<std::size_t> conductors = inputs.tower.conductors();
    const auto k = std::find(conductors.begin(), conductors.end(), conductor);
    if (k == conductors.end()) {
        throw std::invalid_argument("conductorExposed: wire " + std::to_string(conductor) +
                                    " is not a conductor");
    }
    return model::withEvaluator(inputs,
                                [&](auto& ev) { return model::wireCatchesAt(ev, current, conductor); });
}

StrokeGeometry strokeGeometry(const Inputs& given, double current, double theta)
{
    validate(given);
    requireCurrent(current);
    const Inputs inputs = averaged(given);
    if (!(theta > 0.0 && theta <= model::kPi)) {
        throw InputError("angle " + shortestText(theta) + " rad: must lie in (0, pi], 0 to 180 degrees");
    }
    StrokeGeometry g;
    g.current = current;
    g.theta = theta;
    g.width = model::withEvaluator(inputs, [&](auto& ev) {
        ev.prepare(current);
        return ev.draw(model::strokeAngle(theta), g);
    });
    return g;
}

FourWireRates fourWireRates(const Inputs& inputs)
{
    const model::LineGeometry geometry = model::geometryOf(lineOf(inputs.tower));
    FourWireRates r;
    model::EGMs2x(inputs.flashDensity, inputs.slope, inputs.lowestCurrent, geometry,
                  inputs.tower.wires[2].voltageTerm, inputs.distribution.scale, inputs.distribution.exponent,
                  r.conductor1, r.conductor2, r.total);
    std::int32_t loop = 0;
    std::int32_t storage = 0;
    if (model::integrationStepCounts(inputs.lowestCurrent, loop, storage)) {
        r.currentSteps = loop;
    }
    return r;
}

std::string_view version()
{
    return EGM_VERSION;
}

} // namespace egm
