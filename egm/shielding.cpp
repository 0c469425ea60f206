// The public interface over the model: towers, validation, the
// integration by either evaluation, maximum shielding failure currents and
// the stroke table.
#include "egm/shielding.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "compat/compat.h"
#include "egm/input_table.h"
#include "egm_constants.h"
#include "evaluations.h"
#include "first_contact.h"
#include "integrate_with.h"
#include "integration.h"
#include "max_current.h"
#include "rt_safe_math.h"
#include "striking_law.h"

#ifndef EGM_VERSION
#define EGM_VERSION "0.0.0"
#endif

namespace egm {

namespace {

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
    model::integrateWith(ev, model::rateGridOf(in), model::RateSums{true, exposure && E::kContactWidths},
                         totals, record);
    // The exposure method's widths are the first-contact ones; an evaluation
    // with widths of its own has them worked out apart.
    if (exposure && !E::kContactWidths) {
        model::integrateVerticalExposure(in, totals.exposureRate, totals.exposureTotal);
    }
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
    if (!model::twoPlusTwo(tower)) {
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
    model::withEvaluatorType(in.evaluation, [&]<class E>(std::type_identity<E>) { E::check(in); });
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
    model::withEvaluatorType(in.evaluation, [&]<class E>(std::type_identity<E>) { E::addNotes(in, notes); });
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

namespace {

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

Result computeRates(const Inputs& given, const Options& options)
{
    validate(given);
    const Inputs inputs = averaged(given);
    return model::withEvaluator(inputs, [&](auto& ev) { return computeBy(ev, given, inputs, options); });
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
            ++done;
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
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
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
