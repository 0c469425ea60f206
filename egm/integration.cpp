#include "integration.h"

#include <cmath>

#include "EGM_DQ.h"
#include "EGMs2x.h"
#include "egm_constants.h"
#include "rt_nonfinite.h"
#include "rt_safe_math.h"
#include "sound_stroke.h"
#include "striking_law.h"

namespace egm::model {

using namespace egm::numeric;

namespace {

// The angle's own terms, formed once per run.
struct AngleTable {
    StrokeAngle angle[kAngleSteps];
    AngleTable()
    {
        for (int l = 0; l < kAngleSteps; ++l) {
            angle[l] = strokeAngle(integrationAngle(l));
        }
    }
};

const AngleTable& angles()
{
    static const AngleTable table;
    return table;
}

// Per-stroke evaluation by EGM_DQ itself, the whole road for every stroke.
struct LiteralStrokes {
    const IntegrationCase& in;
    double current = 0.0;

    void beginCurrent(double c) { current = c; }
    void stroke(int l, StrokeExposure& exposure) const
    {
        EGM_DQ(current, integrationAngle(l), in.slopeAngle, in.geometry, in.voltageTerm, exposure);
    }
    bool collectsNothing() const { return false; }
};

// The model's rules split: the current's steps once per current, the
// angle's steps per stroke.
struct CompatStrokes {
    const IntegrationCase& in;
    CurrentStep step{};

    void beginCurrent(double c) { prepareCurrentStep(distancesAt(in, c), in.slopeAngle, in.geometry, step); }
    void stroke(int l, StrokeExposure& exposure) const { evaluateStroke(step, angles().angle[l], exposure); }
    bool collectsNothing() const { return false; }
};

struct SoundStrokes {
    const IntegrationCase& in;
    SoundCurrentStep step{};

    void beginCurrent(double c)
    {
        prepareSoundCurrentStep(distancesAt(in, c), in.slopeAngle, in.geometry, step);
    }
    void stroke(int l, StrokeExposure& exposure) const
    {
        evaluateSoundStroke(step, angles().angle[l], exposure);
    }
    // Neither conductor has an exposed arc: every stroke of the current has
    // width 0 on both, and adds nothing to the sums, provided the ground
    // wires' widths stay finite (a NaN total would make the share NaN).
    // Above the maximum shielding failure currents that is most currents.
    bool collectsNothing() const
    {
        if (step.wire[2].exposed || step.wire[3].exposed) {
            return false;
        }
        for (const SoundWire& w : step.wire) {
            if (!(std::fabs(w.x) < 1e100 && std::fabs(w.y) < 1e100 && std::fabs(w.r) < 1e100)) {
                return false;
            }
        }
        return true;
    }
};

bool hasWidth(double w)
{
    return w != 0.0 && !rtIsNaN(w);
}

template <class Strokes>
void run(const IntegrationCase& in, Strokes& strokes, bool sound, IntegrationTotals& totals,
         const IntegrationRecord& record)
{
    const LineGeometry& geometry = in.geometry;
    const double shieldSpan = std::fabs(geometry[0] - geometry[1]);
    if (sound) {
        // The terrain is steep from 20 degrees either way, and the line's
        // collection width rests on both ground wires' mean height.
        totals.terrainFactor = std::fabs(in.slopeAngle) >= 20.0 ? 1.0 / 3.0 : 1.0 / 6.0;
        totals.collectionWidth = 28.0 * rt_powd_snf((geometry[4] + geometry[5]) / 2.0, 0.6) + shieldSpan;
    } else {
        totals.terrainFactor = in.slopeAngle < 20.0 ? 1.0 / 6.0 : 1.0 / 3.0;
        // The line's equivalent collection width, metres: 28 h1^0.6 + span.
        totals.collectionWidth = 28.0 * rt_powd_snf(geometry[4], 0.6) + shieldSpan;
    }

    std::int32_t nSteps = 0;
    std::int32_t storageSteps = 0;
    if (!integrationStepCounts(in.minCurrent, nSteps, storageSteps)) {
        totals.rateC1 = totals.rateC2 = totals.rateTotal = rtNaN;
        totals.steps = 0;
        return;
    }
    totals.steps = nSteps;
    if (record.widths != nullptr) {
        record.widths->assign(static_cast<std::size_t>(nSteps) * kAngleSteps * 4, 0.0);
    }
    if (record.angleSums != nullptr) {
        record.angleSums->assign(static_cast<std::size_t>(nSteps) * 3, 0.0);
    }
    if (record.exposed != nullptr) {
        record.exposed->assign(static_cast<std::size_t>(nSteps), 0);
    }

    double weight[kAngleSteps];
    for (int l = 0; l < kAngleSteps; ++l) {
        weight[l] = 0.75 * rt_powd_snf(std::cos(kHalfPi - integrationAngle(l)), 3.0);
    }

    double integralTotal = 0.0;
    double integralC1 = 0.0;
    double integralC2 = 0.0;
    for (std::int32_t j = 0; j < nSteps; ++j) {
        const double current = static_cast<double>(j) + in.minCurrent;
        const double density = currentDensity(in.distribution, current);

        strokes.beginCurrent(current);
        double sumTotal = 0.0;
        double sumC1 = 0.0;
        double sumC2 = 0.0;
        unsigned char exposed = 0;
        const int angleSteps = record.widths == nullptr && strokes.collectsNothing() ? 0 : kAngleSteps;
        for (int l = 0; l < angleSteps; ++l) {
            StrokeExposure w;
            strokes.stroke(l, w);
            if (record.widths != nullptr) {
                double* row = record.widths->data() + (static_cast<std::size_t>(j) * kAngleSteps + l) * 4;
                for (int wire = 0; wire < 4; ++wire) {
                    row[wire] = w[wire];
                }
            }
            exposed |= static_cast<unsigned char>((hasWidth(w[2]) ? 1 : 0) | (hasWidth(w[3]) ? 2 : 0));
            const double total = ((w[1] + w[0]) + w[2]) + w[3];
            // A stroke that reaches neither conductor adds a signed zero to
            // each sum, which leaves it as it is (a sum that starts at +0 is
            // never -0), unless a zero or non-finite total makes the share
            // NaN. Most strokes of a line are of that kind. In the sound
            // evaluation a stroke that no wire collects adds nothing at all.
            if (w[2] == 0.0 && w[3] == 0.0 && std::isfinite(total) && total != 0.0) {
                continue;
            }
            if (sound && total == 0.0) {
                continue;
            }
            // Products left to right, then the division by the total: the
            // order decides the last bit of the rates.
            sumTotal += (w[3] + w[2]) * weight[l] * kPi / 180.0 / total;
            sumC1 += w[2] * weight[l] * kPi / 180.0 / total;
            sumC2 += w[3] * weight[l] * kPi / 180.0 / total;
        }
        if (record.angleSums != nullptr) {
            double* sums = record.angleSums->data() + static_cast<std::size_t>(j) * 3;
            sums[0] = sumTotal;
            sums[1] = sumC1;
            sums[2] = sumC2;
        }
        if (record.exposed != nullptr) {
            (*record.exposed)[j] = exposed;
        }
        integralTotal += sumTotal * density;
        integralC1 += sumC1 * density;
        integralC2 += sumC2 * density;
    }

    const auto rate = [&](double integral) {
        return (totals.collectionWidth * ((in.flashDensity * integral / 1000.0) * 100.0)) *
               totals.terrainFactor;
    };
    totals.rateC1 = rate(integralC1);
    totals.rateC2 = rate(integralC2);
    totals.rateTotal = rate(integralTotal);
}

} // namespace

StrikingDistances distancesAt(const IntegrationCase& in, double current)
{
    if (in.law.kind == StrikingLaw::Kind::builtIn) {
        return builtInStrikingDistances(current, in.geometry, in.voltageTerm);
    }
    return lawStrikingDistances(in.law, current, in.geometry);
}

void integrate(const IntegrationCase& in, StrokeRule rule, IntegrationTotals& totals,
               const IntegrationRecord& record)
{
    switch (rule) {
    case StrokeRule::literal: {
        LiteralStrokes strokes{in};
        run(in, strokes, false, totals, record);
        break;
    }
    case StrokeRule::compat: {
        CompatStrokes strokes{in};
        run(in, strokes, false, totals, record);
        break;
    }
    case StrokeRule::sound: {
        SoundStrokes strokes{in};
        run(in, strokes, true, totals, record);
        break;
    }
    }
}

void strokesAt(const IntegrationCase& in, StrokeRule rule, double current,
               StrokeExposure (&widths)[kAngleSteps])
{
    if (rule == StrokeRule::sound) {
        SoundStrokes strokes{in};
        strokes.beginCurrent(current);
        for (int l = 0; l < kAngleSteps; ++l) {
            strokes.stroke(l, widths[l]);
        }
        return;
    }
    CompatStrokes strokes{in};
    strokes.beginCurrent(current);
    for (int l = 0; l < kAngleSteps; ++l) {
        strokes.stroke(l, widths[l]);
    }
}

} // namespace egm::model
