// The public interface over the model: towers, validation, the
// integration by either evaluation, maximum shielding failure currents and
// the stroke table.
#include "egm/shielding.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "EGM_DQ.h"
#include "EGMs2x.h"
#include "egm/input_table.h"
#include "egm_constants.h"
#include "first_contact.h"
#include "integration.h"
#include "rt_safe_math.h"
#include "striking_law.h"

#ifndef EGM_VERSION
#define EGM_VERSION "0.0.0"
#endif

namespace egm {

namespace {

using model::IntegrationCase;

[[noreturn]] void refuse(const InputField& field, double value)
{
    throw InputError(std::string(field.name) + " " + field.valueText(value) + ": " + field.rangeText());
}

const InputField& fieldNamed(std::string_view name)
{
    return *inputField(name);
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

// Ground wire, ground wire, conductor, conductor in this order: the layout
// the compat evaluation computes.
bool twoPlusTwo(const Tower& tower)
{
    return tower.size() == 4 && tower.wires[0].kind == WireKind::groundWire &&
           tower.wires[1].kind == WireKind::groundWire && tower.wires[2].kind == WireKind::conductor &&
           tower.wires[3].kind == WireKind::conductor;
}

// The four-wire line of a two-plus-two tower, for the compat evaluation.
IntegrationCase caseOf(const Inputs& in)
{
    IntegrationCase c;
    c.flashDensity = in.flashDensity;
    c.slopeAngle = in.slope;
    c.minCurrent = in.lowestCurrent;
    c.geometry = model::geometryOf(lineOf(in.tower));
    c.voltageTerm = in.tower.wires[2].voltageTerm;
    c.distribution = in.distribution;
    c.law = in.law;
    return c;
}

bool compat(const Inputs& in)
{
    return in.evaluation == Evaluation::compat;
}

// The widths of every wire for one stroke; geometry, when not null, also
// receives what was drawn to get them.
std::vector<double> evaluateOne(const Inputs& in, double current, double theta, StrokeGeometry* geometry)
{
    const model::StrokeAngle angle = model::strokeAngle(theta);
    if (compat(in)) {
        const IntegrationCase c = caseOf(in);
        model::CurrentStep step;
        model::prepareCurrentStep(model::distancesAt(c, current), c.slopeAngle, c.geometry, step);
        model::StrokeExposure widths;
        model::StrokeShadows shadows;
        model::evaluateStroke(step, angle, widths, &shadows);
        if (geometry != nullptr) {
            geometry->groundStrikeHeight = step.groundStrikeHeight;
            for (int i = 0; i < 4; ++i) {
                geometry->circle.push_back({step.x[i], step.y[i], step.r[i]});
                geometry->arc.push_back({step.a[i] != step.b[i], step.a[i], step.b[i]});
                geometry->silhouette.push_back({StrokeGeometry::Point{shadows.u[i].x, shadows.u[i].y},
                                                StrokeGeometry::Point{shadows.v[i].x, shadows.v[i].y}});
                geometry->shadow.push_back({shadows.shadow[i].left, shadows.shadow[i].right});
            }
        }
        return {widths.begin(), widths.end()};
    }
    model::ContactCurrentStep step;
    model::prepareTowerCurrent(in, current, step);
    std::vector<double> widths(in.tower.size());
    std::vector<model::ContactBand> bands;
    model::evaluateContactStroke(step, angle, widths.data(), model::ContactWidths::all,
                                 geometry != nullptr ? &bands : nullptr);
    if (geometry != nullptr) {
        geometry->groundStrikeHeight = step.groundStrikeHeight;
        for (const model::ContactDisk& d : step.disk) {
            geometry->circle.push_back({d.x, d.y, d.r});
        }
        // A path at offset s across the stroke meets y = 0 at x = s / sin(theta).
        for (const model::ContactBand& b : bands) {
            geometry->bands.push_back({b.from / angle.sinTheta, b.to / angle.sinTheta, b.wire});
        }
    }
    return widths;
}

// Whether conductor k (tower order of the conductors) has a width at the
// current for some angle of the grid.
bool exposedAt(const Inputs& in, double current, std::size_t k)
{
    const std::size_t wire = in.tower.conductors()[k];
    if (compat(in)) {
        model::StrokeExposure widths[kAngleSteps];
        model::strokesAt(caseOf(in), current, widths);
        return std::any_of(std::begin(widths), std::end(widths),
                           [&](const model::StrokeExposure& w) { return hasWidth(w[wire]); });
    }
    return model::towerWireCatchesAt(in, current, wire);
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

MaxCurrent maxCurrentOf(const Inputs& in, const std::vector<std::uint32_t>& exposedSteps, std::size_t k)
{
    const int steps = static_cast<int>(exposedSteps.size());
    int highest = -1;
    for (int j = steps - 1; j >= 0; --j) {
        if (exposedSteps[j] & (std::uint32_t{1} << k)) {
            highest = j;
            break;
        }
    }
    MaxCurrent m;
    if (highest < 0) {
        return m;
    }
    const double exposed = highest + in.lowestCurrent;
    if (highest == steps - 1) {
        m.current = exposed;
        m.exposedAtTop = true;
        return m;
    }
    m.current = bisect(exposed, (highest + 1) + in.lowestCurrent,
                       [&](double current) { return exposedAt(in, current, k); });
    return m;
}

// Decades between the classical search's ends, and its grid of eight
// currents a decade, both ends included.
constexpr int decadesBetween(double from, double to)
{
    int n = 0;
    for (double x = from; x < to * (1.0 - 1e-9); x *= 10.0) {
        ++n;
    }
    return n;
}
constexpr int kPointsPerDecade = 8;
constexpr int kClassicalPoints =
    kPointsPerDecade * decadesBetween(kClassicalSearchFrom, kClassicalSearchTo) + 1;

// Vertical strokes searched on that grid, from the top down, one evaluation a current for every conductor;
// each conductor's highest exposed current is then bracketed by bisection.
std::vector<MaxCurrent> classicalMaxCurrentsOf(const Inputs& in)
{
    const auto gridCurrent = [](int k) {
        return k == kClassicalPoints - 1
                   ? kClassicalSearchTo
                   : kClassicalSearchFrom * std::pow(10.0, k / double(kPointsPerDecade));
    };
    constexpr int kPoints = kClassicalPoints;
    const std::vector<std::size_t> conductors = in.tower.conductors();
    const std::size_t nc = conductors.size();
    const double vertical = verticalIncidence(in.slope);
    std::vector<int> highest(nc, -1);
    const auto unresolved = [&] {
        return std::any_of(highest.begin(), highest.end(), [](int h) { return h < 0; });
    };
    for (int k = kPoints - 1; k >= 0 && unresolved(); --k) {
        const std::vector<double> widths = evaluateOne(in, gridCurrent(k), vertical, nullptr);
        for (std::size_t c = 0; c < nc; ++c) {
            if (highest[c] < 0 && hasWidth(widths[conductors[c]])) {
                highest[c] = k;
            }
        }
    }
    std::vector<MaxCurrent> m(nc);
    for (std::size_t c = 0; c < nc; ++c) {
        if (highest[c] < 0) {
            continue;
        }
        if (highest[c] == kPoints - 1) {
            m[c].current = kClassicalSearchTo;
            m[c].exposedAtTop = true;
            continue;
        }
        m[c].current = bisect(gridCurrent(highest[c]), gridCurrent(highest[c] + 1), [&](double current) {
            return hasWidth(evaluateOne(in, current, vertical, nullptr)[conductors[c]]);
        });
    }
    return m;
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

Integrated integrateEither(const Inputs& in, const Options& options)
{
    Integrated out;
    if (compat(in)) {
        std::vector<unsigned char> exposed;
        model::IntegrationRecord record;
        record.widths = options.strokeTable ? &out.widths : nullptr;
        record.angleSums = options.angleSums ? &out.angleSums : nullptr;
        record.exposed = options.maxCurrents ? &exposed : nullptr;
        model::IntegrationTotals totals;
        model::integrate(caseOf(in), model::StrokeRule::compat, totals, record);
        out.rate = {totals.rateC1, totals.rateC2};
        out.rateTotal = totals.rateTotal;
        out.terrainFactor = totals.terrainFactor;
        out.collectionWidth = totals.collectionWidth;
        out.steps = totals.steps;
        out.exposed.assign(exposed.begin(), exposed.end());
        if (in.rateMethod == RateMethod::exposure) {
            model::integrateVerticalExposure(in, out.rate, out.rateTotal);
        }
        return out;
    }
    model::TowerRecord record;
    record.widths = options.strokeTable ? &out.widths : nullptr;
    record.angleSums = options.angleSums ? &out.angleSums : nullptr;
    record.exposed = options.maxCurrents ? &out.exposed : nullptr;
    model::TowerTotals totals;
    model::integrateTower(in, totals, record);
    const bool exposure = in.rateMethod == RateMethod::exposure;
    out.rate = std::move(exposure ? totals.exposureRate : totals.rate);
    out.rateTotal = exposure ? totals.exposureTotal : totals.rateTotal;
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

bool samePlace(const TowerWire& a, const TowerWire& b)
{
    return a.x == b.x && a.height == b.height;
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

std::string_view rateMethodName(RateMethod method)
{
    return method == RateMethod::share ? "share" : "exposure";
}

std::optional<RateMethod> rateMethodNamed(std::string_view name)
{
    if (name == "share") {
        return RateMethod::share;
    }
    if (name == "exposure") {
        return RateMethod::exposure;
    }
    return std::nullopt;
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

std::string_view wireKindName(WireKind kind)
{
    return kind == WireKind::groundWire ? "ground wire" : "conductor";
}

std::optional<WireKind> wireKindNamed(std::string_view name)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "ground wire") {
        return WireKind::groundWire;
    }
    if (lower == "conductor") {
        return WireKind::conductor;
    }
    return std::nullopt;
}

std::string Tower::nameOf(std::size_t wire) const
{
    const TowerWire& w = wires.at(wire);
    if (!w.name.empty()) {
        return w.name;
    }
    std::size_t count = 0;
    for (std::size_t i = 0; i <= wire; ++i) {
        count += wires[i].kind == w.kind ? 1 : 0;
    }
    return (w.kind == WireKind::groundWire ? "groundWire" : "conductor") + std::to_string(count);
}

std::vector<std::string> Tower::names() const
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < wires.size(); ++i) {
        out.push_back(nameOf(i));
    }
    return out;
}

std::vector<std::size_t> Tower::conductors() const
{
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < wires.size(); ++i) {
        if (wires[i].kind == WireKind::conductor) {
            out.push_back(i);
        }
    }
    return out;
}

std::vector<std::size_t> Tower::groundWires() const
{
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < wires.size(); ++i) {
        if (wires[i].kind == WireKind::groundWire) {
            out.push_back(i);
        }
    }
    return out;
}

Tower towerOf(const Line& line, double voltageTerm)
{
    return Tower{
        {TowerWire{WireKind::groundWire, line.groundWire1.x, line.groundWire1.height, 0.0, {}},
         TowerWire{WireKind::groundWire, line.groundWire2.x, line.groundWire2.height, 0.0, {}},
         TowerWire{WireKind::conductor, line.conductor1.x, line.conductor1.height, voltageTerm, {}},
         TowerWire{WireKind::conductor, line.conductor2.x, line.conductor2.height, -voltageTerm, {}}}};
}

bool isFourWireLine(const Tower& tower)
{
    if (!twoPlusTwo(tower)) {
        return false;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        if (!tower.wires[i].name.empty() &&
            tower.wires[i].name !=
                std::string(i < 2 ? "groundWire" : "conductor") + std::to_string(i % 2 + 1)) {
            return false;
        }
    }
    return tower.wires[0].voltageTerm == 0.0 && tower.wires[1].voltageTerm == 0.0 &&
           tower.wires[3].voltageTerm == -tower.wires[2].voltageTerm;
}

Line lineOf(const Tower& tower)
{
    const auto at = [&](std::size_t i) {
        return WirePosition{tower.wires.at(i).x, tower.wires.at(i).height};
    };
    return Line{at(0), at(1), at(2), at(3)};
}

std::string_view evaluationName(Evaluation evaluation)
{
    return evaluation == Evaluation::firstContact ? "first-contact" : "compat";
}

std::optional<Evaluation> evaluationNamed(std::string_view name)
{
    if (name == "first-contact") {
        return Evaluation::firstContact;
    }
    if (name == "compat") {
        return Evaluation::compat;
    }
    return std::nullopt;
}

void validate(const Tower& tower)
{
    if (tower.size() > kMaxTowerWires) {
        throw TowerError("the tower has " + std::to_string(tower.size()) + " wires: at most " +
                             std::to_string(kMaxTowerWires) + " can be computed",
                         std::nullopt);
    }
    for (std::size_t i = 0; i < tower.size(); ++i) {
        const TowerWire& w = tower.wires[i];
        const std::string who = "wire " + std::to_string(i + 1) + " (" + tower.nameOf(i) + "): ";
        const auto fail = [&](const std::string& what) { throw TowerError(who + what, i); };
        if (!(std::isfinite(w.x) && std::fabs(w.x) <= kMaxCoordinate)) {
            fail("x " + shortestText(w.x) + " m: must lie between -" + shortestText(kMaxCoordinate) +
                 " and " + shortestText(kMaxCoordinate) + " m");
        }
        if (!(std::isfinite(w.height) && w.height > 0.0 && w.height <= kMaxCoordinate)) {
            fail("height " + shortestText(w.height) + " m: must be greater than 0 m and at most " +
                 shortestText(kMaxCoordinate) + " m");
        }
        if (!(std::fabs(w.voltageTerm) <= kMaxVoltageTerm)) {
            fail("voltage term " + shortestText(w.voltageTerm) + ": must lie between -" +
                 shortestText(kMaxVoltageTerm) + " and " + shortestText(kMaxVoltageTerm));
        }
        if (!(w.sag >= 0.0 && w.sag < 1.5 * w.height)) {
            fail("sag " + shortestText(w.sag) +
                 " m: must be 0 m or more and less than 1.5 times the height (" +
                 shortestText(1.5 * w.height) + " m), so that the average height stays above the ground");
        }
        if (w.kind == WireKind::groundWire && w.voltageTerm != 0.0) {
            fail("voltage term " + shortestText(w.voltageTerm) + ": only conductors have one");
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (tower.nameOf(j) == tower.nameOf(i)) {
                fail("the name '" + tower.nameOf(i) + "' is already wire " + std::to_string(j + 1) + "'s");
            }
        }
    }
    if (tower.conductors().empty()) {
        throw TowerError("the tower has no conductor: at least one is needed", std::nullopt);
    }
}

void validate(const Inputs& in)
{
    const bool fourWire = isFourWireLine(in.tower);
    for (const InputField& f : inputFields()) {
        if (f.kind == InputField::Kind::number && f.appliesTo(in) && !f.allows(f.get(in))) {
            refuse(f, f.get(in));
        }
    }
    validate(in.tower);
    std::int32_t loop = 0;
    std::int32_t storage = 0;
    if (!model::integrationStepCounts(in.lowestCurrent, loop, storage)) {
        refuse(fieldNamed("min-current"), in.lowestCurrent);
    }
    if (compat(in) &&
        !(twoPlusTwo(in.tower) && in.tower.wires[3].voltageTerm == -in.tower.wires[2].voltageTerm)) {
        throw InputError(
            "evaluation compat: computes two ground wires then two conductors with opposite voltage "
            "terms (ground wire 1, ground wire 2, conductor 1, conductor 2); this tower has " +
            std::to_string(in.tower.groundWires().size()) + " ground wires and " +
            std::to_string(in.tower.conductors().size()) + " conductors; use the first-contact evaluation");
    }
    const std::vector<std::size_t> conductors = in.tower.conductors();
    // Each conductor's bracket 5.015 I^0.578 + U must not go below 0 at the
    // lowest current, where it is smallest.
    const double p = numeric::rt_powd_snf(in.lowestCurrent, 0.578) * 5.015;
    for (std::size_t k = 0; k < conductors.size(); ++k) {
        const double u = in.tower.wires[conductors[k]].voltageTerm;
        const std::string subject = fourWire
                                        ? "voltage-term " + shortestText(in.tower.wires[2].voltageTerm)
                                        : in.tower.nameOf(conductors[k]) + " voltage-term " + shortestText(u);
        if (in.law.kind != StrikingLaw::Kind::builtIn) {
            if (u != 0.0) {
                throw InputError(subject + ": belongs to the built-in law; must be 0 with law " +
                                 std::string(lawName(in.law.kind)));
            }
            continue;
        }
        if (!(p + u >= 0.0)) {
            const std::string whose = fourWire ? "conductor " + std::to_string(k + 1) + "'s" : "its";
            throw InputError(subject + ": makes " + whose +
                             " striking distance undefined at the lowest current " +
                             shortestText(in.lowestCurrent) + " kA; must lie between -" + roughly(p) +
                             " and " + roughly(p) + " there (5.015 I^0.578)");
        }
    }
}

std::vector<std::string> layoutNotes(const Inputs& in)
{
    std::vector<std::string> notes;
    const Tower& tower = in.tower;
    for (std::size_t i = 0; i < tower.size(); ++i) {
        for (std::size_t j = i + 1; j < tower.size(); ++j) {
            if (samePlace(tower.wires[i], tower.wires[j])) {
                notes.push_back(
                    "note: " + tower.nameOf(i) + " and " + tower.nameOf(j) + " stand at the same place (x " +
                    shortestText(tower.wires[i].x) + " m, height " + shortestText(tower.wires[i].height) +
                    " m): a stroke reaching both goes to the conductor, else to the earlier wire");
            }
        }
    }
    if (!compat(in) || !twoPlusTwo(tower)) {
        return notes;
    }
    const Line line = lineOf(tower);
    if (line.groundWire1.x < line.groundWire2.x) {
        notes.push_back("warning: ground wire 1 lies on the -x side (x1 " + shortestText(line.groundWire1.x) +
                        " m < x2 " + shortestText(line.groundWire2.x) +
                        " m); the compat evaluation expects ground wire 1 and conductor 1 on the +x side");
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

StrokeTable::StrokeTable(std::vector<double> currents, std::size_t wireCount)
    : currents_(std::move(currents)), wires_(wireCount),
      values_(currents_.size() * kAngleSteps * wireCount, 0.0)
{
}

std::size_t StrokeTable::offset(std::size_t currentStep, int angleStep) const
{
    if (currentStep >= currents_.size() || angleStep < 0 || angleStep >= kAngleSteps) {
        throw std::out_of_range("stroke table: no stroke at current step " + std::to_string(currentStep) +
                                ", angle step " + std::to_string(angleStep));
    }
    return (currentStep * kAngleSteps + static_cast<std::size_t>(angleStep)) * wires_;
}

double StrokeTable::width(std::size_t currentStep, int angleStep, std::size_t wire) const
{
    if (wire >= wires_) {
        throw std::out_of_range("stroke table: no wire " + std::to_string(wire));
    }
    return values_[offset(currentStep, angleStep) + wire];
}

std::vector<double> StrokeTable::widths(std::size_t currentStep, int angleStep) const
{
    const auto row = values_.begin() + static_cast<std::ptrdiff_t>(offset(currentStep, angleStep));
    return {row, row + static_cast<std::ptrdiff_t>(wires_)};
}

void StrokeTable::setWidths(std::size_t currentStep, int angleStep, const double* widths)
{
    std::copy(widths, widths + wires_,
              values_.begin() + static_cast<std::ptrdiff_t>(offset(currentStep, angleStep)));
}

Result computeRates(const Inputs& given, const Options& options)
{
    validate(given);
    const Inputs inputs = averaged(given);
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

    Integrated in = integrateEither(inputs, options);
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
                                                  ? classicalMaxCurrentsOf(inputs)
                                                  : std::vector<MaxCurrent>(conductors.size());
    for (std::size_t k = 0; k < conductors.size(); ++k) {
        ConductorResult c;
        c.wire = conductors[k];
        c.name = r.wireNames[conductors[k]];
        c.rate = in.rate[k];
        if (options.maxCurrents) {
            c.maxCurrent = maxCurrentOf(inputs, in.exposed, k);
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

std::vector<std::vector<double>> strokesAtCurrent(const Inputs& given, double current)
{
    validate(given);
    requireCurrent(current);
    const Inputs inputs = averaged(given);
    std::vector<std::vector<double>> rows(kAngleSteps);
    if (compat(inputs)) {
        model::StrokeExposure widths[kAngleSteps];
        model::strokesAt(caseOf(inputs), current, widths);
        for (int l = 0; l < kAngleSteps; ++l) {
            rows[l].assign(widths[l].begin(), widths[l].end());
        }
        return rows;
    }
    std::vector<double> widths;
    model::towerStrokesAt(inputs, current, widths);
    const std::size_t wires = inputs.tower.size();
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
    return exposedAt(inputs, current, static_cast<std::size_t>(k - conductors.begin()));
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
    g.width = evaluateOne(inputs, current, theta, &g);
    return g;
}

std::vector<CaseOutcome> computeMany(const std::vector<CaseInputs>& cases, const Options& options,
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
    std::mutex finishing;
    std::condition_variable finished;
    const auto work = [&] {
        for (std::size_t k = next++; k < total; k = next++) {
            if (!cases[k].error.empty()) {
                outcomes[k].error = cases[k].error;
            } else {
                try {
                    outcomes[k].result = computeRates(cases[k].inputs, options);
                } catch (const std::exception& e) {
                    outcomes[k].error = e.what();
                }
            }
            if (++done == total) {
                // The reporter returns at once, not at its next report.
                const std::lock_guard<std::mutex> lock(finishing);
                finished.notify_all();
            }
        }
    };
    {
        // Joined on every way out: a thread that fails to start or a
        // progress report that throws hands out no further case, lets the
        // others finish theirs, and passes the exception on.
        std::vector<std::jthread> workers;
        try {
            for (unsigned t = 1; t < threads; ++t) {
                workers.emplace_back(work);
            }
            if (progress) {
                // The calling thread reports while the others work.
                workers.emplace_back(work);
                while (done < total) {
                    progress(done, total);
                    std::unique_lock<std::mutex> lock(finishing);
                    finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done == total; });
                }
                progress(total, total);
            } else {
                work();
            }
        } catch (...) {
            next = total;
            throw;
        }
    }
    return outcomes;
}

std::vector<CaseOutcome> computeMany(const std::vector<Inputs>& cases, const Options& options,
                                     unsigned threads, const Progress& progress)
{
    std::vector<CaseInputs> rows;
    rows.reserve(cases.size());
    for (const Inputs& in : cases) {
        rows.push_back(CaseInputs{in, {}});
    }
    return computeMany(rows, options, threads, progress);
}

std::string_view version()
{
    return EGM_VERSION;
}

} // namespace egm
