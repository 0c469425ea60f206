// The public interface over the model: validation, relabelling of a line
// given the other way round, the integration, maximum shielding failure
// currents and the stroke table.
#include "egm/shielding.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "EGM_DQ.h"
#include "EGMs2x.h"
#include "egm/input_table.h"
#include "egm_constants.h"
#include "integration.h"
#include "rt_safe_math.h"
#include "sound_stroke.h"
#include "striking_law.h"

#ifndef EGM_VERSION
#define EGM_VERSION "0.0.0"
#endif

namespace egm {

namespace {

using model::IntegrationCase;
using model::StrokeRule;

// The conductors as 0-based wire indices.
constexpr int kConductor[2] = {2, 3};

[[noreturn]] void refuse(const InputField& field, double value)
{
    throw InputError(std::string(field.name) + " " + field.valueText(value) + ": " + field.rangeText());
}

const InputField& fieldNamed(std::string_view name)
{
    return *inputField(name);
}

bool relevant(const InputField& f, const Inputs& in)
{
    const std::string_view n = f.name;
    if (n.substr(0, 4) == "law-") {
        if (in.law.kind != StrikingLaw::Kind::custom) {
            return false;
        }
        if (in.law.beta) {
            return n != "law-c" && n != "law-d";
        }
        return n != "law-beta";
    }
    if (n == "current-scale" || n == "current-exponent") {
        return in.distribution.kind == CurrentDistribution::Kind::builtIn;
    }
    if (n == "current-median" || n == "current-sigma") {
        return in.distribution.kind == CurrentDistribution::Kind::logNormal;
    }
    return true;
}

// Positions as the sound evaluation computes them: ground wire 1 on the +x
// side. A line given the other way round is relabelled, its voltage term
// negated so that each conductor keeps its own striking distance.
bool givenOtherWayRound(const Inputs& in)
{
    return in.line.groundWire1.x < in.line.groundWire2.x;
}

bool relabelledFor(const Inputs& in)
{
    return in.evaluation == Evaluation::sound && givenOtherWayRound(in);
}

Inputs relabelled(const Inputs& in)
{
    Inputs out = in;
    out.line.groundWire1 = in.line.groundWire2;
    out.line.groundWire2 = in.line.groundWire1;
    out.line.conductor1 = in.line.conductor2;
    out.line.conductor2 = in.line.conductor1;
    out.voltageTerm = -in.voltageTerm;
    return out;
}

IntegrationCase caseOf(const Inputs& in)
{
    IntegrationCase c;
    c.flashDensity = in.flashDensity;
    c.slopeAngle = in.slope;
    c.minCurrent = in.lowestCurrent;
    c.geometry = model::geometryOf(in.line);
    c.voltageTerm = in.voltageTerm;
    c.distribution = in.distribution;
    c.law = in.law;
    return c;
}

StrokeRule ruleOf(const Inputs& in)
{
    return in.evaluation == Evaluation::sound ? StrokeRule::sound : StrokeRule::compat;
}

// Wire index under the caller's labels of wire index i of the computation.
int userWire(int i, bool swapped)
{
    return swapped ? (i ^ 1) : i;
}

// A bound for a message, to four significant digits.
std::string roughly(double x)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", x);
    return text;
}

bool hasWidth(double w)
{
    return w != 0.0 && !std::isnan(w);
}

void requireCurrent(double current)
{
    if (!(std::isfinite(current) && current > 0.0)) {
        throw InputError("current " + shortestText(current) + " kA: must be greater than 0 kA");
    }
}

// The computation's case for the inputs, relabelled where the sound
// evaluation needs it.
struct Prepared {
    Inputs computed;
    bool swapped;
    IntegrationCase c;
    StrokeRule rule;

    explicit Prepared(const Inputs& in)
        : computed(relabelledFor(in) ? relabelled(in) : in), swapped(relabelledFor(in)), c(caseOf(computed)),
          rule(ruleOf(computed))
    {
    }
};

// The widths of one stroke, and what was drawn to get them.
struct OneStroke {
    model::StrokeExposure widths;
    model::StrokeShadows shadows;
    StrokeGeometry::Circle circle[4];
    StrokeGeometry::Arc arc[4];
    double groundStrikeHeight;
};

OneStroke evaluateOne(const Prepared& p, double current, double theta)
{
    OneStroke out{};
    const StrikingDistances d = model::distancesAt(p.c, current);
    const model::StrokeAngle angle = model::strokeAngle(theta);
    if (p.rule == StrokeRule::sound) {
        model::SoundCurrentStep step;
        model::prepareSoundCurrentStep(d, p.c.slopeAngle, p.c.geometry, step);
        model::evaluateSoundStroke(step, angle, out.widths, &out.shadows);
        for (int i = 0; i < 4; ++i) {
            const model::SoundWire& w = step.wire[i];
            out.circle[i] = {w.x, w.y, w.r};
            out.arc[i] = {w.exposed, w.a, w.b};
        }
        out.groundStrikeHeight = step.groundStrikeHeight;
    } else {
        model::CurrentStep step;
        model::prepareCurrentStep(d, p.c.slopeAngle, p.c.geometry, step);
        model::evaluateStroke(step, angle, out.widths, &out.shadows);
        for (int i = 0; i < 4; ++i) {
            out.circle[i] = {step.x[i], step.y[i], step.r[i]};
            out.arc[i] = {step.a[i] != step.b[i], step.a[i], step.b[i]};
        }
        out.groundStrikeHeight = step.groundStrikeHeight;
    }
    return out;
}

bool exposedAt(const Prepared& p, double current, int conductor)
{
    model::StrokeExposure widths[kAngleSteps];
    model::strokesAt(p.c, p.rule, current, widths);
    for (const model::StrokeExposure& w : widths) {
        if (hasWidth(w[kConductor[conductor]])) {
            return true;
        }
    }
    return false;
}

bool exposedToVerticalStrokes(const Prepared& p, double current, int conductor)
{
    return hasWidth(evaluateOne(p, current, model::kHalfPi).widths[kConductor[conductor]]);
}

// The bracket [exposed, shielded] narrowed by bisection, the result rounded
// to the 0.01 kA it resolves.
template <class Exposed> double bisect(double exposed, double shielded, Exposed isExposed)
{
    // Ten times finer than the figure is reported, so that the rounding
    // decides the last digit, not the bisection.
    while (shielded - exposed > kCurrentResolution / 10.0) {
        const double middle = (exposed + shielded) / 2.0;
        if (isExposed(middle)) {
            exposed = middle;
        } else {
            shielded = middle;
        }
    }
    return std::round(exposed / kCurrentResolution) / (1.0 / kCurrentResolution);
}

MaxCurrent maxCurrentOf(const Prepared& p, const std::vector<unsigned char>& exposedSteps, int conductor)
{
    const int steps = static_cast<int>(exposedSteps.size());
    int highest = -1;
    for (int j = steps - 1; j >= 0; --j) {
        if (exposedSteps[j] & (1 << conductor)) {
            highest = j;
            break;
        }
    }
    MaxCurrent m;
    if (highest < 0) {
        return m;
    }
    const double exposed = highest + p.c.minCurrent;
    if (highest == steps - 1) {
        m.current = exposed;
        m.exposedAtTop = true;
        return m;
    }
    m.current = bisect(exposed, (highest + 1) + p.c.minCurrent,
                       [&](double current) { return exposedAt(p, current, conductor); });
    return m;
}

// Vertical strokes searched on a grid of eight currents a decade from 0.1 to
// 1000 kA, from the top down, one evaluation a current for both conductors;
// each conductor's highest exposed current is then bracketed by bisection.
std::array<MaxCurrent, 2> classicalMaxCurrentsOf(const Prepared& p)
{
    constexpr int kPoints = 33;
    const auto gridCurrent = [](int k) {
        return k == kPoints - 1 ? kClassicalSearchTo : kClassicalSearchFrom * std::pow(10.0, k / 8.0);
    };
    int highest[2] = {-1, -1};
    for (int k = kPoints - 1; k >= 0 && (highest[0] < 0 || highest[1] < 0); --k) {
        const model::StrokeExposure widths = evaluateOne(p, gridCurrent(k), model::kHalfPi).widths;
        for (int c = 0; c < 2; ++c) {
            if (highest[c] < 0 && hasWidth(widths[kConductor[c]])) {
                highest[c] = k;
            }
        }
    }
    std::array<MaxCurrent, 2> m;
    for (int c = 0; c < 2; ++c) {
        if (highest[c] < 0) {
            continue;
        }
        if (highest[c] == kPoints - 1) {
            m[c].current = kClassicalSearchTo;
            m[c].exposedAtTop = true;
            continue;
        }
        m[c].current = bisect(gridCurrent(highest[c]), gridCurrent(highest[c] + 1),
                              [&](double current) { return exposedToVerticalStrokes(p, current, c); });
    }
    return m;
}

} // namespace

double incidenceAngle(int angleStep)
{
    return model::integrationAngle(angleStep);
}

std::string_view wireName(Wire wire)
{
    constexpr std::string_view names[4] = {"groundWire1", "groundWire2", "conductor1", "conductor2"};
    return names[static_cast<int>(wire)];
}

std::string_view wireLabel(Wire wire)
{
    constexpr std::string_view labels[4] = {"ground wire 1", "ground wire 2", "conductor 1", "conductor 2"};
    return labels[static_cast<int>(wire)];
}

WirePosition& Line::operator[](Wire wire)
{
    WirePosition* wires[4] = {&groundWire1, &groundWire2, &conductor1, &conductor2};
    return *wires[static_cast<int>(wire)];
}

const WirePosition& Line::operator[](Wire wire) const
{
    const WirePosition* wires[4] = {&groundWire1, &groundWire2, &conductor1, &conductor2};
    return *wires[static_cast<int>(wire)];
}

std::string_view evaluationName(Evaluation evaluation)
{
    return evaluation == Evaluation::sound ? "sound" : "compat";
}

std::optional<Evaluation> evaluationNamed(std::string_view name)
{
    if (name == "sound") {
        return Evaluation::sound;
    }
    if (name == "compat") {
        return Evaluation::compat;
    }
    return std::nullopt;
}

void validate(const Inputs& in)
{
    for (const InputField& f : inputFields()) {
        if (f.kind == InputField::Kind::number && relevant(f, in) && !f.allows(f.get(in))) {
            refuse(f, f.get(in));
        }
    }
    std::int32_t loop = 0;
    std::int32_t storage = 0;
    if (!model::integrationStepCounts(in.lowestCurrent, loop, storage)) {
        refuse(fieldNamed("min-current"), in.lowestCurrent);
    }
    const InputField& voltage = fieldNamed("voltage-term");
    if (!std::isfinite(in.voltageTerm)) {
        refuse(voltage, in.voltageTerm);
    }
    if (in.law.kind != StrikingLaw::Kind::builtIn) {
        if (in.voltageTerm != 0.0) {
            throw InputError("voltage-term " + shortestText(in.voltageTerm) +
                             ": belongs to the built-in law; must be 0 with law " +
                             std::string(lawName(in.law.kind)));
        }
        return;
    }
    // Each conductor's bracket 5.015 I^0.578 +- U must not go below 0 at the
    // lowest current, where it is smallest.
    const double p = numeric::rt_powd_snf(in.lowestCurrent, 0.578) * 5.015;
    if (!(p + in.voltageTerm >= 0.0 && p - in.voltageTerm >= 0.0)) {
        throw InputError("voltage-term " + shortestText(in.voltageTerm) + ": makes conductor " +
                         (p + in.voltageTerm < 0.0 ? "1" : "2") +
                         "'s striking distance undefined at the lowest current " +
                         shortestText(in.lowestCurrent) + " kA; must lie between -" + roughly(p) + " and " +
                         roughly(p) + " there (5.015 I^0.578)");
    }
}

std::vector<std::string> layoutNotes(const Inputs& in)
{
    std::vector<std::string> notes;
    const Line& line = in.line;
    const bool otherWay = givenOtherWayRound(in);
    if (otherWay) {
        if (in.evaluation == Evaluation::sound) {
            notes.push_back("note: ground wire 1 lies on the -x side (x1 " +
                            shortestText(line.groundWire1.x) + " m < x2 " + shortestText(line.groundWire2.x) +
                            " m): computed with the sides exchanged, reported under the given labels");
        } else {
            notes.push_back(
                "warning: ground wire 1 lies on the -x side (x1 " + shortestText(line.groundWire1.x) +
                " m < x2 " + shortestText(line.groundWire2.x) +
                " m); the compat evaluation expects ground wire 1 and conductor 1 on the +x side");
        }
    }
    const double middle = (line.groundWire1.x + line.groundWire2.x) / 2.0;
    for (int c = 0; c < 2; ++c) {
        const Wire conductor = c == 0 ? Wire::conductor1 : Wire::conductor2;
        const Wire shield = c == 0 ? Wire::groundWire1 : Wire::groundWire2;
        const std::string n = std::to_string(c + 1);
        if (line[conductor].height > line[shield].height) {
            notes.push_back("warning: conductor " + n + " (h" + std::to_string(c + 3) + " " +
                            shortestText(line[conductor].height) + " m) is above ground wire " + n + " (h" +
                            n + " " + shortestText(line[shield].height) + " m), the ground wire of its side");
        }
        // Conductor 1 belongs on ground wire 1's half of the line.
        const bool onShieldSide = (line[shield].x >= middle) == (line[conductor].x >= middle);
        if (!onShieldSide) {
            notes.push_back("warning: conductor " + n + " (x" + std::to_string(c + 3) + " " +
                            shortestText(line[conductor].x) +
                            " m) lies on the other side's half of the line, "
                            "beyond the middle between the ground wires (" +
                            shortestText(middle) + " m)");
        }
    }
    return notes;
}

StrokeTable::StrokeTable(std::vector<double> currents)
    : currents_(std::move(currents)), values_(currents_.size() * kAngleSteps * 4, 0.0)
{
}

std::size_t StrokeTable::offset(std::size_t currentStep, int angleStep) const
{
    if (currentStep >= currents_.size() || angleStep < 0 || angleStep >= kAngleSteps) {
        throw std::out_of_range("stroke table: no stroke at current step " + std::to_string(currentStep) +
                                ", angle step " + std::to_string(angleStep));
    }
    return (currentStep * kAngleSteps + static_cast<std::size_t>(angleStep)) * 4;
}

double StrokeTable::width(std::size_t currentStep, int angleStep, Wire wire) const
{
    return values_[offset(currentStep, angleStep) + static_cast<std::size_t>(wire)];
}

std::array<double, 4> StrokeTable::widths(std::size_t currentStep, int angleStep) const
{
    const double* row = values_.data() + offset(currentStep, angleStep);
    return {row[0], row[1], row[2], row[3]};
}

void StrokeTable::setWidths(std::size_t currentStep, int angleStep, const std::array<double, 4>& widths)
{
    double* row = values_.data() + offset(currentStep, angleStep);
    for (int w = 0; w < 4; ++w) {
        row[w] = widths[w];
    }
}

Result computeRates(const Inputs& inputs, const Options& options)
{
    validate(inputs);
    const Prepared p(inputs);

    Result r;
    r.evaluation = inputs.evaluation;
    r.law = inputs.law;
    r.distribution = inputs.distribution;
    r.notes = layoutNotes(inputs);

    std::vector<double> widths;
    std::vector<double> angleSums;
    std::vector<unsigned char> exposed;
    model::IntegrationRecord record;
    record.widths = options.strokeTable ? &widths : nullptr;
    record.angleSums = options.angleSums ? &angleSums : nullptr;
    record.exposed = options.maxCurrents ? &exposed : nullptr;
    model::IntegrationTotals totals;
    model::integrate(p.c, p.rule, totals, record);

    r.rates.conductor1 = p.swapped ? totals.rateC2 : totals.rateC1;
    r.rates.conductor2 = p.swapped ? totals.rateC1 : totals.rateC2;
    r.rates.total = totals.rateTotal;
    r.terrainFactor = totals.terrainFactor;
    r.collectionWidth = totals.collectionWidth;
    r.currentSteps = totals.steps;
    r.currentFrom = inputs.lowestCurrent;
    r.currentTo = (totals.steps - 1) + inputs.lowestCurrent;

    std::vector<double> currents(static_cast<std::size_t>(totals.steps));
    for (std::size_t j = 0; j < currents.size(); ++j) {
        currents[j] = static_cast<double>(j) + inputs.lowestCurrent;
    }
    const std::array<MaxCurrent, 2> classical =
        options.classicalMaxCurrents ? classicalMaxCurrentsOf(p) : std::array<MaxCurrent, 2>{};
    for (int c = 0; c < 2; ++c) {
        const int user = p.swapped ? 1 - c : c;
        if (options.maxCurrents) {
            r.maxCurrent[user] = maxCurrentOf(p, exposed, c);
        }
        r.classicalMaxCurrent[user] = classical[c];
    }
    if (options.strokeTable) {
        StrokeTable table(currents);
        for (std::size_t j = 0; j < currents.size(); ++j) {
            for (int l = 0; l < kAngleSteps; ++l) {
                const double* row = widths.data() + (j * kAngleSteps + static_cast<std::size_t>(l)) * 4;
                std::array<double, 4> w{};
                for (int i = 0; i < 4; ++i) {
                    w[userWire(i, p.swapped)] = row[i];
                }
                table.setWidths(j, l, w);
            }
        }
        r.strokes = std::move(table);
    }
    if (options.angleSums) {
        AngleSums sums;
        sums.current = currents;
        for (std::size_t j = 0; j < currents.size(); ++j) {
            const double* s = angleSums.data() + j * 3;
            sums.total.push_back(s[0]);
            sums.conductor1.push_back(p.swapped ? s[2] : s[1]);
            sums.conductor2.push_back(p.swapped ? s[1] : s[2]);
        }
        r.angleSums = std::move(sums);
    }
    return r;
}

std::vector<std::array<double, 4>> strokesAtCurrent(const Inputs& inputs, double current)
{
    validate(inputs);
    requireCurrent(current);
    const Prepared p(inputs);
    model::StrokeExposure widths[kAngleSteps];
    model::strokesAt(p.c, p.rule, current, widths);
    std::vector<std::array<double, 4>> rows(kAngleSteps);
    for (int l = 0; l < kAngleSteps; ++l) {
        for (int i = 0; i < 4; ++i) {
            rows[l][userWire(i, p.swapped)] = widths[l][i];
        }
    }
    return rows;
}

bool conductorExposed(const Inputs& inputs, double current, Wire conductor)
{
    validate(inputs);
    requireCurrent(current);
    if (conductor != Wire::conductor1 && conductor != Wire::conductor2) {
        throw std::invalid_argument("conductorExposed: a conductor, not a ground wire");
    }
    const Prepared p(inputs);
    const int c = conductor == Wire::conductor1 ? 0 : 1;
    return exposedAt(p, current, p.swapped ? 1 - c : c);
}

StrokeGeometry strokeGeometry(const Inputs& inputs, double current, double theta)
{
    validate(inputs);
    requireCurrent(current);
    if (!(theta > 0.0 && theta <= model::kPi)) {
        throw InputError("angle " + shortestText(theta) + " rad: must lie in (0, pi], 0 to 180 degrees");
    }
    const Prepared p(inputs);
    const OneStroke one = evaluateOne(p, current, theta);
    StrokeGeometry g;
    g.current = current;
    g.theta = theta;
    g.groundStrikeHeight = one.groundStrikeHeight;
    for (int i = 0; i < 4; ++i) {
        const int u = userWire(i, p.swapped);
        g.circle[u] = one.circle[i];
        g.arc[u] = one.arc[i];
        g.silhouette[u] = {StrokeGeometry::Point{one.shadows.u[i].x, one.shadows.u[i].y},
                           StrokeGeometry::Point{one.shadows.v[i].x, one.shadows.v[i].y}};
        g.shadow[u] = {one.shadows.shadow[i].left, one.shadows.shadow[i].right};
        g.width[u] = one.widths[i];
    }
    return g;
}

std::vector<CaseOutcome> computeMany(const std::vector<Inputs>& cases, const Options& options,
                                     unsigned threads, const Progress& progress)
{
    const std::size_t total = cases.size();
    std::vector<CaseOutcome> outcomes(total);
    if (threads == 0) {
        threads = std::max(1u, std::thread::hardware_concurrency());
    }
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(1, total)));
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    const auto work = [&] {
        for (std::size_t k = next++; k < total; k = next++) {
            try {
                outcomes[k].result = computeRates(cases[k], options);
            } catch (const std::exception& e) {
                outcomes[k].error = e.what();
            }
            ++done;
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < threads; ++t) {
        workers.emplace_back(work);
    }
    if (progress) {
        // The calling thread reports while the others work.
        std::thread last(work);
        while (done < total) {
            progress(done, total);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        last.join();
        progress(total, total);
    } else {
        work();
    }
    for (std::thread& t : workers) {
        t.join();
    }
    return outcomes;
}

std::string_view version()
{
    return EGM_VERSION;
}

} // namespace egm
