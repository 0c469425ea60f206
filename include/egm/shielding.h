// Lightning shielding failure rate of an overhead line with two ground wires
// above two conductors, by the electrogeometric model: the public interface.
//
// Units: lengths in metres, currents in kA, angles in radians, the ground
// slope alone in degrees. Wires are ground wire 1 and conductor 1 on the +x
// side of the line, ground wire 2 and conductor 2 on the -x side. The ground
// at the tower slopes by the slope angle: a positive slope falls towards +x,
// so ground wire 1 and conductor 1 stand on the downhill side.
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

namespace egm {

// The integration's grid: incidence angles (l + 1) / 180 * pi for
// l = 0 .. kAngleSteps - 1, currents from the lowest current up to
// kCurrentSpan above it in steps of 1 kA.
inline constexpr int kAngleSteps = 180;
inline constexpr double kCurrentSpan = 200.0; // kA
// Maximum shielding failure currents are resolved to this, kA.
inline constexpr double kCurrentResolution = 0.01;
// The classical maximum shielding failure current is searched up to here, kA.
inline constexpr double kClassicalSearchFrom = 0.1;
inline constexpr double kClassicalSearchTo = 1000.0;

// Incidence angle of angle step l, radians from +x: below pi/2 strokes come
// down from the +x side, above pi/2 from the -x side.
double incidenceAngle(int angleStep);

enum class Wire { groundWire1, groundWire2, conductor1, conductor2 };
inline constexpr std::array<Wire, 4> kWires = {Wire::groundWire1, Wire::groundWire2, Wire::conductor1,
                                               Wire::conductor2};
std::string_view wireName(Wire wire);  // "groundWire1", ...: column and key names
std::string_view wireLabel(Wire wire); // "ground wire 1", ...: for people

struct WirePosition {
    double x = 0.0;      // m, across the line
    double height = 0.0; // m, above the ground at the tower
};

// The line's cross-section; the defaults are the built-in example line.
struct Line {
    WirePosition groundWire1{9.89, 57.0};
    WirePosition groundWire2{-9.89, 57.0};
    WirePosition conductor1{11.2, 42.0};
    WirePosition conductor2{-11.2, 42.0};

    WirePosition& operator[](Wire wire);
    const WirePosition& operator[](Wire wire) const;
};

// How each stroke's exposure is evaluated.
//  sound:  the outward-facing arcs of the wires on both sides, the silhouette
//          of each arc by the general rule, the shielding cut mirrored for
//          strokes from the -x side; a line given with ground wire 1 on the -x
//          side is computed with its sides exchanged and reported under its
//          own labels. Mirror images of a line get mirrored rates.
//  compat: exactly as egm-shielding computes it, to the last bit.
enum class Evaluation { sound, compat };
std::string_view evaluationName(Evaluation evaluation); // "sound", "compat"
std::optional<Evaluation> evaluationNamed(std::string_view name);

// Striking-distance law: for a peak current I (kA) the striking distances
// (m) of the ground wires and of the conductors, and the height G (m) of the
// ground's striking line. k_g = 0.36 + 0.17 ln(43 - h) for h < 40 m, else
// 0.55, with h the mean height of the two ground wires.
//  builtIn:            r = 1.63 (5.015 I^0.578 +- U)^1.125 (U, the voltage
//                      term, only for the conductors), G = k_g r_ground
//  ieee1992:           r = 10 I^0.65, G = k_g r
//  love:               r = 10 I^0.65, G = r
//  brownWhitehead:     r = 7.1 I^0.75, G = 6.4 I^0.75
//  armstrongWhitehead: r = 6.7 I^0.80, G = 6.0 I^0.80
//  custom:             r = a I^b, G = c I^d, or G = beta a I^b when beta is set
struct StrikingLaw {
    enum class Kind { builtIn, ieee1992, love, brownWhitehead, armstrongWhitehead, custom };
    Kind kind = Kind::builtIn;
    // custom only
    double a = 0.0;
    double b = 0.0;
    double c = 0.0;
    double d = 0.0;
    std::optional<double> beta;
};
std::string_view lawName(StrikingLaw::Kind kind); // "built-in", "ieee-1992", ...
std::optional<StrikingLaw::Kind> lawNamed(std::string_view name);
inline constexpr std::array<StrikingLaw::Kind, 6> kLaws = {
    StrikingLaw::Kind::builtIn,        StrikingLaw::Kind::ieee1992,           StrikingLaw::Kind::love,
    StrikingLaw::Kind::brownWhitehead, StrikingLaw::Kind::armstrongWhitehead, StrikingLaw::Kind::custom};

// Striking distances at one current.
struct StrikingDistances {
    double groundWire = 0.0;         // m
    double conductor1 = 0.0;         // m
    double conductor2 = 0.0;         // m
    double groundStrikeHeight = 0.0; // G, m
};
// Of the law, for the line (whose ground wires' mean height sets k_g) and
// voltage term; the inputs are not validated.
StrikingDistances strikingDistances(const StrikingLaw& law, double current, const Line& line,
                                    double voltageTerm);

// Distribution of the lightning's peak current; its probability density
// weights each current step of 1 kA.
//  builtIn:   P(> I) = 1 / (1 + (I / scale)^exponent)
//  logNormal: ln I normal with median ln(median) and standard deviation sigma
struct CurrentDistribution {
    enum class Kind { builtIn, logNormal };
    Kind kind = Kind::builtIn;
    double scale = 31.0;   // kA, built-in
    double exponent = 2.8; // built-in
    double median = 31.1;  // kA, log-normal
    double sigma = 0.484;  // of ln I, log-normal
};
std::string_view distributionName(CurrentDistribution::Kind kind); // "built-in", "log-normal"
std::optional<CurrentDistribution::Kind> distributionNamed(std::string_view name);
// Probability density per kA at current I (kA); not validated.
double currentDensity(const CurrentDistribution& distribution, double current);

// Everything one computation needs; the defaults are the built-in line.
struct Inputs {
    Line line;
    double flashDensity = 2.8;   // ground flashes per km^2 per year
    double slope = 0.0;          // degrees; positive: the ground falls towards +x
    double lowestCurrent = 23.5; // kA, first current of the integration
    // Enters the conductors' striking distances of the built-in law as
    // 1.63 (5.015 I^0.578 + U)^1.125 (conductor 1) and
    // 1.63 (5.015 I^0.578 - U)^1.125 (conductor 2). Other laws need 0.
    double voltageTerm = 0.8;
    CurrentDistribution distribution;
    StrikingLaw law;
    Evaluation evaluation = Evaluation::sound;
};

// An input that cannot be computed. what(): one line, for example
// "slope 95 degrees: must lie strictly between -90 and 90 degrees".
class InputError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// Throws InputError for the first unusable input.
void validate(const Inputs& inputs);

// Remarks about the line's layout that do not stop the computation, one line
// each: a line given with ground wire 1 on the -x side (relabelled by the
// sound evaluation), a conductor above the ground wire of its side, a
// conductor on the other side's half.
std::vector<std::string> layoutNotes(const Inputs& inputs);

// The largest current (kA) at which a conductor still has a width, resolved
// to kCurrentResolution and rounded to it; none when it never has one.
// exposedAtTop: still exposed at the top of the range searched, so the true
// figure lies above current.
struct MaxCurrent {
    std::optional<double> current;
    bool exposedAtTop = false;
};

// Each stroke's four widths (m): the width of each wire's shadow on the
// ground line measured across the stroke direction, the conductors' after
// the shielding cut. One row of kAngleSteps strokes per current.
class StrokeTable {
  public:
    StrokeTable() = default;
    explicit StrokeTable(std::vector<double> currents);

    std::size_t currentCount() const { return currents_.size(); }
    double current(std::size_t currentStep) const { return currents_.at(currentStep); }
    const std::vector<double>& currents() const { return currents_; }
    double width(std::size_t currentStep, int angleStep, Wire wire) const;
    std::array<double, 4> widths(std::size_t currentStep, int angleStep) const;
    void setWidths(std::size_t currentStep, int angleStep, const std::array<double, 4>& widths);
    // currentCount x kAngleSteps x 4, wire fastest, then angle step; from
    // a table about to go, the storage itself.
    const std::vector<double>& values() const& { return values_; }
    std::vector<double> values() && { return std::move(values_); }

  private:
    std::size_t offset(std::size_t currentStep, int angleStep) const;

    std::vector<double> currents_;
    std::vector<double> values_;
};

// Per current step, the conductors' angle-weighted share of the exposure
// summed over the incidence angles, before the current density.
struct AngleSums {
    std::vector<double> current; // kA
    std::vector<double> conductor1;
    std::vector<double> conductor2;
    std::vector<double> total;
};

// What computeRates works out besides the rates.
struct Options {
    bool maxCurrents = true;          // maxCurrent
    bool classicalMaxCurrents = true; // classicalMaxCurrent
    bool strokeTable = false;         // Result::strokes
    bool angleSums = false;           // Result::angleSums
};

struct Rates {
    double conductor1 = 0.0; // strokes per 100 km per year
    double conductor2 = 0.0;
    double total = 0.0;
};

struct Result {
    Rates rates;
    double terrainFactor = 0.0;   // 1/6 or 1/3
    double collectionWidth = 0.0; // m
    double currentFrom = 0.0;     // kA
    double currentTo = 0.0;       // kA
    int currentSteps = 0;
    // Largest current of the integrated range at which the conductor has a
    // width for some incidence angle; exposedAtTop at the range's top.
    std::array<MaxCurrent, 2> maxCurrent;
    // Largest current from kClassicalSearchFrom to kClassicalSearchTo at
    // which the conductor has a width for vertical strokes.
    std::array<MaxCurrent, 2> classicalMaxCurrent;
    Evaluation evaluation = Evaluation::sound;
    StrikingLaw law;
    CurrentDistribution distribution;
    std::vector<std::string> notes; // layoutNotes of the inputs
    std::optional<StrokeTable> strokes;
    std::optional<AngleSums> angleSums;
};

// Validates and integrates. Throws InputError.
Result computeRates(const Inputs& inputs, const Options& options = {});

// The four widths of each of the kAngleSteps strokes of one current (kA),
// by the inputs' evaluation. Throws InputError.
std::vector<std::array<double, 4>> strokesAtCurrent(const Inputs& inputs, double current);

// Whether a conductor (Wire::conductor1 or conductor2) has a width at the
// current for some incidence angle of the grid. Throws InputError.
bool conductorExposed(const Inputs& inputs, double current, Wire conductor);

// One stroke in the frame of the sloped ground (the ground is y = 0), for
// pictures and checks; wires under the caller's labels.
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
    std::array<Circle, 4> circle;
    std::array<Arc, 4> arc; // after the trim at the ground's striking line
    // The two points of each wire's striking circle whose stroke paths bound
    // its shadow.
    std::array<std::array<Point, 2>, 4> silhouette;
    std::array<Shadow, 4> shadow; // the conductors' after the cut
    std::array<double, 4> width;  // m
};
// Throws InputError; theta must lie in (0, pi].
StrokeGeometry strokeGeometry(const Inputs& inputs, double current, double theta);

// Many cases at once on threads (0: one per core), results in the cases'
// order. A case that cannot be computed gets the InputError's message and
// every other case is still computed. progress, when set, is called now and
// then with the cases done so far, from the calling thread.
struct CaseOutcome {
    std::optional<Result> result;
    std::string error;
};
using Progress = std::function<void(std::size_t done, std::size_t total)>;
std::vector<CaseOutcome> computeMany(const std::vector<Inputs>& cases, const Options& options = {},
                                     unsigned threads = 0, const Progress& progress = {});

// The library's version, "major.minor.patch".
std::string_view version();

} // namespace egm
