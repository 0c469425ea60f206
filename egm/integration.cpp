#include "integration.h"

#include <algorithm>
#include <cmath>

#include "compat/compat.h"
#include "egm_constants.h"
#include "rt_nonfinite.h"
#include "rt_safe_math.h"
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
};

// The model's rules split: the current's steps once per current, the
// angle's steps per stroke.
struct CompatStrokes {
    const IntegrationCase& in;
    CurrentStep step{};

    void beginCurrent(double c) { prepareCurrentStep(distancesAt(in, c), in.slopeAngle, in.geometry, step); }
    void stroke(int l, StrokeExposure& exposure) const { evaluateStroke(step, angles().angle[l], exposure); }
};

bool hasWidth(double w)
{
    return w != 0.0 && !rtIsNaN(w);
}

// The angle weights 0.75 cos^3(pi/2 - theta) of the grid.
struct AngleWeights {
    double weight[kAngleSteps];
    AngleWeights()
    {
        for (int l = 0; l < kAngleSteps; ++l) {
            weight[l] = 0.75 * rt_powd_snf(std::cos(kHalfPi - integrationAngle(l)), 3.0);
        }
    }
};

const AngleWeights& weights()
{
    static const AngleWeights table;
    return table;
}

// The angle step of the vertical stroke on level ground, pi/2: the grid's
// angles (l + 1) degrees lie in mirror pairs l and 2 * kHalfTurnStep - l
// round it, all but the last, pi.
constexpr int kHalfTurnStep = 89;
static_assert(kAngleSteps == 2 * kHalfTurnStep + 2);

// For a tower on level ground that is its own mirror image in x = 0, each
// wire's mirror image (itself for a wire on the axis); empty otherwise. Each
// wire must have exactly one image, of its kind, height and voltage term,
// so that coincident wires, whose tie follows the tower's order, are never
// paired.
std::vector<std::size_t> mirrorImages(const Inputs& in)
{
    if (in.slope != 0.0) {
        return {};
    }
    const std::vector<TowerWire>& wires = in.tower.wires;
    std::vector<std::size_t> image(wires.size());
    for (std::size_t i = 0; i < wires.size(); ++i) {
        std::size_t found = 0;
        for (std::size_t j = 0; j < wires.size(); ++j) {
            const TowerWire& a = wires[i];
            const TowerWire& b = wires[j];
            if (b.x == -a.x && b.height == a.height && b.kind == a.kind && b.voltageTerm == a.voltageTerm &&
                b.sag == a.sag) {
                image[i] = j;
                ++found;
            }
        }
        if (found != 1) {
            return {};
        }
    }
    return image;
}

// Whether the stroke of angle step l is read off its mirror image rather
// than evaluated: past the vertical, all but the last.
bool readOffImage(bool mirrored, int l)
{
    return mirrored && l > kHalfTurnStep && l < kAngleSteps - 1;
}

// A stroke table row past the vertical of a mirrored tower: each wire's
// width is its image's in the mirror stroke's row.
void fillFromImage(const std::vector<std::size_t>& mirror, int l, double* widths)
{
    const std::size_t wires = mirror.size();
    const double* image = widths + (static_cast<std::ptrdiff_t>(2 * kHalfTurnStep - l) - l) *
                                       static_cast<std::ptrdiff_t>(wires);
    for (std::size_t i = 0; i < wires; ++i) {
        widths[i] = image[mirror[i]];
    }
}

// Strokes per 100 km per year of an integral over current and angle.
double rateOf(double collectionWidth, double flashDensity, double terrainFactor, double integral)
{
    return (collectionWidth * ((flashDensity * integral / 1000.0) * 100.0)) * terrainFactor;
}

// The exposure method's rates of the sums of f(I) D(I) 1 kA: 0.1 N_g times
// each, strokes per 100 km per year (D in m, N_g per km^2 per year); the
// total is their sum in the tower's order.
void exposureRates(double flashDensity, const std::vector<double>& sums, std::vector<double>& rates,
                   double& total)
{
    rates.resize(sums.size());
    total = 0.0;
    for (std::size_t k = 0; k < sums.size(); ++k) {
        rates[k] = 0.1 * flashDensity * sums[k];
        total += rates[k];
    }
}

template <class Strokes>
void run(const IntegrationCase& in, Strokes& strokes, IntegrationTotals& totals,
         const IntegrationRecord& record)
{
    const LineGeometry& geometry = in.geometry;
    const double shieldSpan = std::fabs(geometry[0] - geometry[1]);
    totals.terrainFactor = in.slopeAngle < 20.0 ? 1.0 / 6.0 : 1.0 / 3.0;
    // The line's equivalent collection width, metres: 28 h1^0.6 + span.
    totals.collectionWidth = 28.0 * rt_powd_snf(geometry[4], 0.6) + shieldSpan;

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

    const double* weight = weights().weight;

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
        for (int l = 0; l < kAngleSteps; ++l) {
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
            // NaN. Most strokes of a line are of that kind.
            if (w[2] == 0.0 && w[3] == 0.0 && std::isfinite(total) && total != 0.0) {
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

    totals.rateC1 = rateOf(totals.collectionWidth, in.flashDensity, totals.terrainFactor, integralC1);
    totals.rateC2 = rateOf(totals.collectionWidth, in.flashDensity, totals.terrainFactor, integralC2);
    totals.rateTotal = rateOf(totals.collectionWidth, in.flashDensity, totals.terrainFactor, integralTotal);
}

} // namespace

LineDistances distancesAt(const IntegrationCase& in, double current)
{
    return lineDistances(in.law, current, in.geometry, in.voltageTerm);
}

void integrate(const IntegrationCase& in, StrokeRule rule, IntegrationTotals& totals,
               const IntegrationRecord& record)
{
    switch (rule) {
    case StrokeRule::literal: {
        LiteralStrokes strokes{in};
        run(in, strokes, totals, record);
        break;
    }
    case StrokeRule::compat: {
        CompatStrokes strokes{in};
        run(in, strokes, totals, record);
        break;
    }
    }
}

void strokesAt(const IntegrationCase& in, double current, StrokeExposure (&widths)[kAngleSteps])
{
    CompatStrokes strokes{in};
    strokes.beginCurrent(current);
    for (int l = 0; l < kAngleSteps; ++l) {
        strokes.stroke(l, widths[l]);
    }
}

void prepareTowerCurrent(const Inputs& in, double current, ContactCurrentStep& step)
{
    const StrikingDistances d = strikingDistances(in.law, current, in.tower);
    // The centres turned into the frame of the sloped ground, as the
    // four-wire line's are.
    const double alpha = in.slope / 180.0 * kPi;
    const double c = std::cos(alpha);
    const double s = std::sin(alpha);
    std::vector<ContactDisk> disks(in.tower.size());
    for (std::size_t i = 0; i < disks.size(); ++i) {
        const TowerWire& w = in.tower.wires[i];
        disks[i] = ContactDisk{w.x * c - w.height * s, w.x * s + w.height * c, d.wire[i],
                               w.kind == WireKind::conductor};
    }
    prepareContactCurrentStep(disks, d.groundStrikeHeight, step);
}

void towerStrokesAt(const Inputs& in, double current, std::vector<double>& widths)
{
    const std::size_t wires = in.tower.size();
    widths.assign(kAngleSteps * wires, 0.0);
    const std::vector<std::size_t> mirror = mirrorImages(in);
    ContactCurrentStep step;
    prepareTowerCurrent(in, current, step);
    for (int l = 0; l < kAngleSteps; ++l) {
        double* row = widths.data() + static_cast<std::size_t>(l) * wires;
        if (readOffImage(!mirror.empty(), l)) {
            fillFromImage(mirror, l, row);
        } else {
            evaluateContactStroke(step, angles().angle[l], row);
        }
    }
}

bool towerWireCatchesAt(const Inputs& in, double current, std::size_t wire)
{
    ContactCurrentStep step;
    prepareTowerCurrent(in, current, step);
    const std::vector<std::size_t> mirror = mirrorImages(in);
    const bool mirrored = !mirror.empty();
    // Without a piece of the union's boundary, its own or its image's, no
    // stroke reaches it.
    if (!hasBoundaryArc(step, wire) && !(mirrored && hasBoundaryArc(step, mirror[wire]))) {
        return false;
    }
    std::vector<double> widths(in.tower.size());
    for (int l = 0; l < kAngleSteps; ++l) {
        if (readOffImage(mirrored, l)) {
            continue;
        }
        evaluateContactStroke(step, angles().angle[l], widths.data(), ContactWidths::conductors);
        // The stroke's image catches with the mirror wire what this one does.
        const bool image = mirrored && l < kHalfTurnStep;
        if (hasWidth(widths[wire]) || (image && hasWidth(widths[mirror[wire]]))) {
            return true;
        }
    }
    return false;
}

void integrateTower(const Inputs& in, TowerTotals& totals, const TowerRecord& record)
{
    const Tower& tower = in.tower;
    const std::vector<std::size_t> conductors = tower.conductors();
    const std::size_t wires = tower.size();
    const std::size_t nc = conductors.size();

    // Steep terrain from 20 degrees either way; the collection width rests
    // on the ground wires' mean height and spread.
    totals.terrainFactor = std::fabs(in.slope) >= 20.0 ? 1.0 / 3.0 : 1.0 / 6.0;
    std::vector<std::size_t> shields = tower.groundWires();
    if (shields.empty()) {
        shields = conductors;
    }
    double left = tower.wires[shields[0]].x;
    double right = left;
    for (const std::size_t i : shields) {
        left = std::min(left, tower.wires[i].x);
        right = std::max(right, tower.wires[i].x);
    }
    totals.collectionWidth = 28.0 * rt_powd_snf(meanShieldHeight(tower), 0.6) + (right - left);
    totals.rate.assign(nc, 0.0);

    std::int32_t nSteps = 0;
    std::int32_t storageSteps = 0;
    if (!integrationStepCounts(in.lowestCurrent, nSteps, storageSteps)) {
        totals.rate.assign(nc, rtNaN);
        totals.rateTotal = rtNaN;
        totals.exposureRate.assign(nc, rtNaN);
        totals.exposureTotal = rtNaN;
        totals.steps = 0;
        return;
    }
    totals.steps = nSteps;
    const std::size_t steps = static_cast<std::size_t>(nSteps);
    if (record.widths != nullptr) {
        record.widths->assign(steps * kAngleSteps * wires, 0.0);
    }
    if (record.angleSums != nullptr) {
        record.angleSums->assign(steps * (nc + 1), 0.0);
    }
    if (record.exposed != nullptr) {
        record.exposed->assign(steps, 0);
    }

    const double* weight = weights().weight;
    double weightPerDegree[kAngleSteps];
    for (int l = 0; l < kAngleSteps; ++l) {
        weightPerDegree[l] = weight[l] * kPi / 180.0;
    }
    // The conductors with a piece of the boundary at the current.
    std::vector<std::size_t> live;
    live.reserve(nc);
    const AngleTable& table = angles();
    const StrokeAngle vertical = strokeAngle(verticalIncidence(in.slope));
    std::vector<double> exposure(nc, 0.0);
    const ContactWidths which = record.widths != nullptr ? ContactWidths::all : ContactWidths::conductors;
    ContactCurrentStep step;
    std::vector<double> w(wires);
    std::vector<double> integral(nc, 0.0);
    // A tower that is its own mirror image on level ground: the strokes past
    // the vertical are the mirror images of those before it.
    const std::vector<std::size_t> mirror = mirrorImages(in);
    const bool mirrored = !mirror.empty();
    std::vector<std::size_t> mirrorConductor(nc);
    for (std::size_t k = 0; k < nc && mirrored; ++k) {
        mirrorConductor[k] = static_cast<std::size_t>(
            std::find(conductors.begin(), conductors.end(), mirror[conductors[k]]) - conductors.begin());
    }
    std::vector<double> sum(nc);
    double integralTotal = 0.0;
    for (std::size_t j = 0; j < steps; ++j) {
        const double current = static_cast<double>(j) + in.lowestCurrent;
        const double density = currentDensity(in.distribution, current);
        prepareTowerCurrent(in, current, step);
        evaluateContactStroke(step, vertical, w.data(), ContactWidths::conductors);
        for (std::size_t k = 0; k < nc; ++k) {
            exposure[k] += density * w[conductors[k]] * 1.0;
        }
        // A conductor without a piece of the boundary catches no stroke of
        // this current: only the others are looked at (a width of 0 would
        // add +0, which changes nothing); with none of them, no stroke adds
        // anything.
        live.clear();
        for (std::size_t k = 0; k < nc; ++k) {
            if (hasBoundaryArc(step, conductors[k])) {
                live.push_back(k);
            }
        }
        std::fill(sum.begin(), sum.end(), 0.0);
        double sumTotal = 0.0;
        std::uint32_t exposed = 0;
        const int angleSteps = !live.empty() || record.widths != nullptr ? kAngleSteps : 0;
        for (int l = 0; l < angleSteps; ++l) {
            double* row =
                record.widths == nullptr
                    ? nullptr
                    : record.widths->data() + (j * kAngleSteps + static_cast<std::size_t>(l)) * wires;
            // The strokes past the vertical of a mirrored tower are the images
            // of those before it, counted with them.
            if (readOffImage(mirrored, l)) {
                if (row != nullptr) {
                    fillFromImage(mirror, l, row);
                }
                continue;
            }
            const double total = evaluateContactStroke(step, table.angle[l], w.data(), which);
            if (row != nullptr) {
                std::copy(w.begin(), w.end(), row);
            }
            if (total == 0.0) {
                continue;
            }
            // Each conductor's share of the stroke times the angle's weight
            // per degree; the image stroke gives the same share to the
            // mirror conductor. A conductor without a width would add +0,
            // which changes nothing.
            const int image = 2 * kHalfTurnStep - l;
            const bool twin = mirrored && l < kHalfTurnStep;
            const double factor = weightPerDegree[l] / total;
            const double imageFactor = twin ? weightPerDegree[image] / total : 0.0;
            double caught = 0.0;
            for (const std::size_t k : live) {
                const double width = w[conductors[k]];
                if (width != 0.0) {
                    caught += width;
                    sum[k] += width * factor;
                    exposed |= std::uint32_t{1} << k;
                    if (twin) {
                        sum[mirrorConductor[k]] += width * imageFactor;
                        exposed |= std::uint32_t{1} << mirrorConductor[k];
                    }
                }
            }
            sumTotal += caught * factor;
            if (twin) {
                sumTotal += caught * imageFactor;
            }
        }
        if (record.angleSums != nullptr) {
            double* sums = record.angleSums->data() + j * (nc + 1);
            sums[0] = sumTotal;
            std::copy(sum.begin(), sum.end(), sums + 1);
        }
        if (record.exposed != nullptr) {
            (*record.exposed)[j] = exposed;
        }
        for (std::size_t k = 0; k < nc; ++k) {
            integral[k] += sum[k] * density;
        }
        integralTotal += sumTotal * density;
    }
    for (std::size_t k = 0; k < nc; ++k) {
        totals.rate[k] = rateOf(totals.collectionWidth, in.flashDensity, totals.terrainFactor, integral[k]);
    }
    totals.rateTotal = rateOf(totals.collectionWidth, in.flashDensity, totals.terrainFactor, integralTotal);
    exposureRates(in.flashDensity, exposure, totals.exposureRate, totals.exposureTotal);
}

void integrateVerticalExposure(const Inputs& in, std::vector<double>& rates, double& total)
{
    const std::vector<std::size_t> conductors = in.tower.conductors();
    std::int32_t nSteps = 0;
    std::int32_t storageSteps = 0;
    if (!integrationStepCounts(in.lowestCurrent, nSteps, storageSteps)) {
        rates.assign(conductors.size(), rtNaN);
        total = rtNaN;
        return;
    }
    const StrokeAngle vertical = strokeAngle(verticalIncidence(in.slope));
    ContactCurrentStep step;
    std::vector<double> w(in.tower.size());
    std::vector<double> exposure(conductors.size(), 0.0);
    for (std::int32_t j = 0; j < nSteps; ++j) {
        const double current = static_cast<double>(j) + in.lowestCurrent;
        const double density = currentDensity(in.distribution, current);
        prepareTowerCurrent(in, current, step);
        evaluateContactStroke(step, vertical, w.data(), ContactWidths::conductors);
        for (std::size_t k = 0; k < conductors.size(); ++k) {
            exposure[k] += density * w[conductors[k]] * 1.0;
        }
    }
    exposureRates(in.flashDensity, exposure, rates, total);
}

} // namespace egm::model
