// Lightning shielding failure rate of an overhead line, by the
// electrogeometric model: the public interface. A tower is a list of ground
// wires and conductors; the four-wire line (two ground wires above two
// conductors) is one such tower.
//
// Units: lengths in metres, currents in kA, angles in radians, the ground
// slope alone in degrees. x runs across the line. The ground at the tower
// slopes by the slope angle: a positive slope falls towards +x.
//
// Every entry validates its inputs and reports an unusable one by throwing
// egm::InputError, whose message is one line naming the input, its value and
// the allowed range. Nothing else is thrown but std::bad_alloc.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "egm/types.h"

namespace egm {

// Throws TowerError: no conductor, more than kMaxTowerWires wires, a
// non-finite x, height or voltage term, |x| above kMaxCoordinate, a height
// not above 0 or above kMaxCoordinate, a voltage term on a ground wire, two
// wires of the same name. The message names the wire ("wire 3
// (conductor1): height -2 m: must be greater than 0 m").
void validate(const Tower& tower);

// Throws InputError for the first unusable input, the tower's included.
void validate(const Inputs& inputs);

// Remarks about the tower that do not stop the computation, one line each:
// two wires at the same place (the tie goes to the conductor, then to the
// earlier wire), a conductor above every ground wire; for the compat
// evaluation a line given with ground wire 1 on the -x side.
std::vector<std::string> layoutNotes(const Inputs& inputs);

// The largest current (kA) at which a conductor still has a width, resolved
// to kCurrentResolution and rounded to it; none when it never has one.
// exposedAtTop: still exposed at the top of the range searched, so the true
// figure lies above current.
struct MaxCurrent {
    std::optional<double> current;
    bool exposedAtTop = false;
};

// Each stroke's width per wire (m), measured across the stroke direction:
// the paths the wire catches. One row of kAngleSteps strokes per current.
class StrokeTable {
  public:
    StrokeTable() = default;
    StrokeTable(std::vector<double> currents, std::size_t wireCount);

    std::size_t currentCount() const { return currents_.size(); }
    std::size_t wireCount() const { return wires_; }
    double current(std::size_t currentStep) const { return currents_.at(currentStep); }
    const std::vector<double>& currents() const { return currents_; }
    // wire: index in the tower's order.
    double width(std::size_t currentStep, int angleStep, std::size_t wire) const;
    std::vector<double> widths(std::size_t currentStep, int angleStep) const;
    void setWidths(std::size_t currentStep, int angleStep, const double* widths);
    // currentCount x kAngleSteps x wireCount, wire fastest, then angle step;
    // from a table about to go, the storage itself.
    const std::vector<double>& values() const& { return values_; }
    std::vector<double> values() && { return std::move(values_); }

  private:
    std::size_t offset(std::size_t currentStep, int angleStep) const;

    std::vector<double> currents_;
    std::size_t wires_ = 0;
    std::vector<double> values_;
};

// Per current step, the conductors' angle-weighted share of the exposure
// summed over the incidence angles, before the current density.
struct AngleSums {
    std::vector<double> current;                // kA
    std::vector<std::vector<double>> conductor; // per conductor, tower order
    std::vector<double> total;
};

// What computeRates works out besides the rates.
struct Options {
    bool maxCurrents = true;          // ConductorResult::maxCurrent
    bool classicalMaxCurrents = true; // ConductorResult::classicalMaxCurrent
    bool strokeTable = false;         // Result::strokes
    bool angleSums = false;           // Result::angleSums
};

struct ConductorResult {
    std::size_t wire = 0; // index in the tower
    std::string name;
    double rate = 0.0; // strokes per 100 km per year, by Result::rateMethod
    // Largest current of the integrated range at which the conductor has a
    // width for some incidence angle; exposedAtTop at the range's top.
    MaxCurrent maxCurrent;
    // Largest current from kClassicalSearchFrom to kClassicalSearchTo at
    // which the conductor has a width for vertical strokes (incidence
    // verticalIncidence(slope) in the ground's frame).
    MaxCurrent classicalMaxCurrent;
    // kA, from the conductor's insulation; none: no flashover figures.
    std::optional<double> criticalCurrent = {};
    // Strokes per 100 km per year whose current exceeds the critical
    // current, by Result::rateMethod: the rate integrated from the critical
    // current up (over kCurrentSpan), the conductor's own lowest current.
    std::optional<double> flashoverRate = {};
    // No stroke from the critical current up reaches the conductor, at any
    // incidence angle: its flashover rate is 0.
    bool perfectlyShielded = false;
};

struct Result {
    std::vector<ConductorResult> conductors; // in the tower's order
    double totalRate = 0.0;                  // strokes per 100 km per year
    // The conductors' flashover rates added in the tower's order (when they
    // share one critical current, that integration's own total); none when
    // no conductor has a critical current.
    std::optional<double> flashoverTotal;
    RateMethod rateMethod = RateMethod::share; // how rate and totalRate were formed
    std::vector<std::string> wireNames;        // every wire, tower order
    // m, the heights computed with: at the tower less 2/3 of the sag.
    std::vector<double> heights;
    double terrainFactor = 0.0;   // 1/6 or 1/3
    double collectionWidth = 0.0; // m
    double currentFrom = 0.0;     // kA
    double currentTo = 0.0;       // kA
    int currentSteps = 0;
    Evaluation evaluation = Evaluation::firstContact;
    StrikingLaw law;
    CurrentDistribution distribution;
    std::vector<std::string> notes; // layoutNotes of the inputs
    std::optional<StrokeTable> strokes;
    std::optional<AngleSums> angleSums;
};

// Validates and integrates. Throws InputError, also for inputs within their
// ranges whose rates still come out not finite.
Result computeRates(const Inputs& inputs, const Options& options = {});

// The widths per wire (tower order) of each of the kAngleSteps strokes of
// one current (kA), by the inputs' evaluation. Throws InputError.
std::vector<std::vector<double>> strokesAtCurrent(const Inputs& inputs, double current);

// Whether the conductor (its index in the tower) has a width at the current
// for some incidence angle of the grid. Throws InputError.
bool conductorExposed(const Inputs& inputs, double current, std::size_t conductor);

// One stroke in the frame of the sloped ground (the ground is y = 0; over a
// ground profile the true vertical is up and y = 0 the tower's base), for
// pictures and checks; wires in the tower's order.
struct StrokeGeometry {
    struct Circle {
        double x = 0.0; // m, turned centre
        double y = 0.0;
        double r = 0.0; // striking distance
    };
    struct Point {
        double x = 0.0;
        double y = 0.0;
    };
    // A band of parallel stroke paths with one catcher, given by where its
    // edge paths meet the ground line y = 0 (left < right).
    struct Band {
        double left = 0.0; // m
        double right = 0.0;
        std::optional<std::size_t> wire; // the catcher; none: the ground
    };
    // compat only: each wire's exposed arc, silhouette and shadow.
    struct Arc {
        bool exposed = false; // false: the wire has no exposed arc
        double start = 0.0;   // rad, counter-clockwise from +x
        double end = 0.0;
    };
    struct Shadow {
        double left = 0.0; // m, on the ground line
        double right = 0.0;
    };
    double current = 0.0; // kA
    double theta = 0.0;   // rad
    double groundStrikeHeight = 0.0;
    std::vector<Circle> circle;
    std::vector<double> width; // m
    // first-contact: the bands from left to right across the line's
    // silhouette, the ground's bands between the wires'.
    std::vector<Band> bands;
    // first-contact over a ground profile that is not level: the surface
    // (heights above the tower's base) and the boundary of the ground's
    // striking region (the points within G of it), across the circles.
    std::vector<Point> surface;
    std::vector<Point> groundBoundary;
    // compat: after the trim at the ground's striking line.
    std::vector<Arc> arc;
    // compat: the two points of each wire's striking circle whose stroke
    // paths bound its shadow.
    std::vector<std::array<Point, 2>> silhouette;
    std::vector<Shadow> shadow; // compat: the conductors' after the cut
};
// Throws InputError; theta must lie in (0, pi].
StrokeGeometry strokeGeometry(const Inputs& inputs, double current, double theta);

// Many cases at once on threads (0: one per core), results in the cases'
// order. A case that cannot be computed gets the InputError's message and
// every other case is still computed; a case that arrives with an error
// keeps it and is not computed. progress, when set, is called now and then
// with the cases done so far, from the calling thread.
struct CaseInputs {
    Inputs inputs;
    std::string error; // not empty: the case could not be read
};
struct CaseOutcome {
    std::optional<Result> result;
    std::string error;
};
using Progress = std::function<void(std::size_t done, std::size_t total)>;
std::vector<CaseOutcome> computeMany(const std::vector<CaseInputs>& cases, const Options& options = {},
                                     unsigned threads = 0, const Progress& progress = {});
std::vector<CaseOutcome> computeMany(const std::vector<Inputs>& cases, const Options& options = {},
                                     unsigned threads = 0, const Progress& progress = {});

// The rates of egm-shielding's four-wire line, exactly as that program
// computes them: the compat evaluation, to the last bit. The tower is read
// as a four-wire line (lineOf: ground wire 1, ground wire 2, conductor 1,
// conductor 2) with conductor 1's voltage term; the law is the built-in one
// and the current distribution the built-in one with the inputs' scale and
// exponent, whatever kinds they name; the evaluation and the rate method
// are not read. Nothing is validated: NaN and infinities flow into the
// rates. Throws std::out_of_range for a tower of fewer than four wires.
struct FourWireRates {
    double conductor1 = 0.0; // strokes per 100 km per year
    double conductor2 = 0.0;
    double total = 0.0;
    // Current steps integrated; 0 when the lowest current cannot be stepped
    // through in steps of 1 kA, and then every rate is NaN.
    int currentSteps = 0;
};
FourWireRates fourWireRates(const Inputs& inputs);

// The library's version, "major.minor.patch".
std::string_view version();

} // namespace egm
