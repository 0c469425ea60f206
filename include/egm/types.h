// The value types of the public interface: towers and the four-wire line,
// striking-distance laws, current distributions, the inputs of one
// computation and the errors that refuse them. Units: lengths in metres,
// currents in kA, angles in radians, the ground slope alone in degrees.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "egm/current_table.h"
#include "egm/ground_profile.h"

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

// Incidence angle of angle step l, radians from +x in the frame of the
// sloped ground: below pi/2 strokes come down from the +x side, above pi/2
// from the -x side.
double incidenceAngle(int angleStep);

// The incidence angle of vertical strokes in the frame of ground sloped by
// slope degrees: pi/2 + alpha, alpha the slope in radians; pi/2 on flat
// ground.
double verticalIncidence(double slope);

// The built-in example line's four wires, the four-wire line of egm-shielding.
enum class Wire { groundWire1, groundWire2, conductor1, conductor2 };

struct WirePosition {
    double x = 0.0;      // m, across the line
    double height = 0.0; // m, above the ground at the tower
};

// The four-wire line: two ground wires above two conductors, ground wire 1
// and conductor 1 on the +x side. The defaults are the built-in example line.
struct Line {
    WirePosition groundWire1{9.89, 57.0};
    WirePosition groundWire2{-9.89, 57.0};
    WirePosition conductor1{11.2, 42.0};
    WirePosition conductor2{-11.2, 42.0};

    WirePosition& operator[](Wire wire);
    const WirePosition& operator[](Wire wire) const;
};

// An other wire belongs to a neighbouring line (or is an earthed catenary,
// a messenger): it catches strokes with a conductor's striking distance
// (its voltage term included) but is not rated, and the strokes it catches
// are not the line's.
enum class WireKind { groundWire, conductor, otherWire };
std::string_view wireKindName(WireKind kind); // "ground wire", "conductor", "other wire"
// "ground wire", "conductor" or "other wire" in any letter case; none for
// anything else.
std::optional<WireKind> wireKindNamed(std::string_view name);

// A conductor's insulation as lightning meets it, from which its critical
// current Ic follows: the lowest peak current of a stroke to it whose surge
// I Z / 2 reaches the insulation's critical flashover voltage CFO, so that
// Ic = 2 CFO / Z. Given in this order of precedence: the critical current
// itself; the CFO (or the insulation's length) with the surge impedance;
// the CFO with the conductor's radius (and for a bundle the number of
// subconductors and the bundle's radius), Z then being the conductor's
// surge impedance under corona. Nothing given: no critical current.
struct Insulation {
    std::optional<double> criticalCurrent;  // kA, above 0, at most 1000
    std::optional<double> cfo;              // kV, negative lightning impulse; above 0, at most 10000
    std::optional<double> insulationLength; // m, CFO = 605 kV/m length; above 0, at most 20
    std::optional<double> surgeImpedance;   // ohm, above 0, at most 2000
    std::optional<double> conductorRadius;  // m, of one subconductor; above 0, below 1 and the height
    std::optional<double> subconductors;    // a whole number from 1 to 16
    std::optional<double> bundleRadius;     // m, the circle the subconductors stand on; above 0, at most 2

    bool given() const
    {
        return criticalCurrent || cfo || insulationLength || surgeImpedance || conductorRadius ||
               subconductors || bundleRadius;
    }
};

// One wire of a tower.
struct TowerWire {
    WireKind kind = WireKind::conductor;
    double x = 0.0; // m, across the line, at most kMaxCoordinate either way
    // m, above the ground at the tower (over a ground profile, above the
    // tower's base); greater than 0 (an other wire's: above the ground
    // under it, at most kMaxCoordinate either way)
    double height = 0.0;
    // The conductor's voltage term U of the built-in law: striking distance
    // 1.63 (5.015 I^0.578 + U)^1.125. 0 for ground wires and other laws.
    // At most kMaxVoltageTerm either way.
    double voltageTerm = 0.0;
    std::string name; // empty: the default name (see Tower::nameOf)
    // m, how far the wire hangs below its height at the tower at mid-span,
    // 0 or more and less than 1.5 height. The computation takes the span's
    // average height, height - 2/3 sag.
    double sag = 0.0;
    // Conductors only: what gives its critical current, if anything.
    Insulation insulation = {};
};

inline constexpr std::size_t kMaxTowerWires = 16;
inline constexpr double kMaxCoordinate = 1000.0; // m, |x| and height
inline constexpr double kMaxVoltageTerm = 100.0; // |U|

// A tower: its wires in the tower's order, at least one conductor and at
// most kMaxTowerWires wires. Results come per conductor in this order.
struct Tower {
    std::vector<TowerWire> wires;

    std::size_t size() const { return wires.size(); }
    // The wire's own name, or groundWire1, groundWire2, ... and conductor1,
    // conductor2, ..., counted by kind in the tower's order.
    std::string nameOf(std::size_t wire) const;
    std::vector<std::string> names() const;
    // Indices of the conductors, in the tower's order.
    std::vector<std::size_t> conductors() const;
    std::vector<std::size_t> groundWires() const;
};

// The four-wire line as a tower: ground wire 1, ground wire 2, conductor 1
// with voltage term +voltageTerm, conductor 2 with -voltageTerm, default
// names.
Tower towerOf(const Line& line, double voltageTerm);
// Whether the tower is a four-wire line: ground wire, ground wire,
// conductor, conductor in this order, default names, opposite voltage terms.
bool isFourWireLine(const Tower& tower);
// Its line; the tower must be a four-wire line.
Line lineOf(const Tower& tower);

// How each stroke's exposure is evaluated.
//  firstContact: a stroke is caught by the first striking disk its path
//                enters, or by the ground when it meets the ground's
//                striking line first; any tower.
//  compat:       exactly as egm-shielding computes it, to the last bit; two
//                ground wires and two conductors only.
enum class Evaluation { firstContact, compat };
std::string_view evaluationName(Evaluation evaluation); // "first-contact", "compat"
std::optional<Evaluation> evaluationNamed(std::string_view name);

// How the conductors' exposure becomes strokes per 100 km per year.
//  share:    the conductors' share of the width of stroke paths the wires
//            catch, over every incidence angle (weighted 0.75 sin^3 theta)
//            and current, times the ground flash density, the line's
//            collection width 28 h^0.6 + b and the terrain factor.
//  exposure: the line-design guides' method: for each conductor
//            0.1 N_g sum over the current grid of f(I) D(I) 1 kA, D(I) the
//            conductor's first-contact width for vertical strokes (m), f the
//            current's probability density per kA; the total is the sum.
enum class RateMethod { share, exposure };
std::string_view rateMethodName(RateMethod method); // "share", "exposure"
std::optional<RateMethod> rateMethodNamed(std::string_view name);

// Striking-distance law: for a peak current I (kA) the striking distance (m)
// of each wire by its kind, and the height G (m) of the ground's striking
// line. k_g = 0.36 + 0.17 ln(43 - h) for h < 40 m, else 0.55, with h the
// mean height of the ground wires (of the conductors when there are none).
//  builtIn:            r = 1.63 (5.015 I^0.578 + U)^1.125 (U, the voltage
//                      term, 0 for ground wires), G = k_g r of a ground wire
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
    std::vector<double> wire;        // m, per wire in the tower's order
    double groundStrikeHeight = 0.0; // G, m
};
// Of the law for the tower; the inputs are not validated.
StrikingDistances strikingDistances(const StrikingLaw& law, double current, const Tower& tower);

// Distribution of the lightning's peak current; its probability density
// weights each current step.
//  builtIn:   P(> I) = 1 / (1 + (I / scale)^exponent)
//  logNormal: ln I normal with median ln(median) and standard deviation sigma
//  cigre:     the CIGRE two-part log-normal of first negative strokes: median
//             61.1 kA, sigma(ln I) 1.33 below 20 kA; 33.3 kA, 0.605 from 20 kA
//  table:     P(> I) from a table (a lightning location system's), see
//             CurrentTable
struct CurrentDistribution {
    enum class Kind { builtIn, logNormal, cigre, table };
    Kind kind = Kind::builtIn;
    double scale = 31.0;   // kA, built-in
    double exponent = 2.8; // built-in
    double median = 31.1;  // kA, log-normal
    double sigma = 0.484;  // of ln I, log-normal
    CurrentTable table;    // table: at least two points
};
std::string_view
distributionName(CurrentDistribution::Kind kind); // "built-in", "log-normal", "cigre", "table"
std::optional<CurrentDistribution::Kind> distributionNamed(std::string_view name);
// Probability density per kA at current I (kA); not validated.
double currentDensity(const CurrentDistribution& distribution, double current);

// Which inputs were given on purpose rather than left at their defaults, by
// name: an input of the input table (as inputField reads the name), or
// "tower" for a tower given whole, its conductors' voltage terms with it.
// resolveInputs adds the names each layer gives and reads those of the
// layers below (see input_table.h); the computation does not look at it.
class GivenInputs {
  public:
    // Throws InputError for a name that is no input and not "tower".
    bool has(std::string_view name) const;
    void add(std::string_view name);
    // Whether nothing was given.
    bool empty() const { return bits_ == 0; }
    bool operator==(const GivenInputs&) const = default;

  private:
    std::uint64_t bits_ = 0; // bit k: input k of the input table; the top bit: a tower
};

// Everything one computation needs; the defaults are the built-in line
// with a voltage term of 0.8.
// The ranges are those validate enforces; the input table states them too.
struct Inputs {
    Tower tower = towerOf(Line{}, 0.8);
    double flashDensity = 2.8; // ground flashes per km^2 per year, above 0 and at most 100
    // Thunder days a year (above 0, at most 365) when the flash density was
    // derived from them: flashDensity = 0.04 thunderDays^1.25.
    std::optional<double> thunderDays;
    double slope = 0.0; // degrees, strictly between -90 and 90; positive: the ground falls towards +x
    // The ground across the line instead of the plane; empty: the plane.
    // Not with a slope nor with the compat evaluation.
    GroundProfile ground;
    double lowestCurrent = 23.5; // kA, first current of the integration, above 0 and at most 1000
    CurrentDistribution distribution;
    StrikingLaw law;
    Evaluation evaluation = Evaluation::firstContact;
    RateMethod rateMethod = RateMethod::share;
    // The inputs the layers resolved so far gave; none for the defaults.
    GivenInputs given;
};

// An input that cannot be computed. what(): one line, for example
// "slope 95 degrees: must lie strictly between -90 and 90 degrees".
class InputError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// A tower that cannot be computed; wire: the index of the wire at fault,
// none for the tower as a whole (no conductor, too many wires).
class TowerError : public InputError {
  public:
    TowerError(const std::string& message, std::optional<std::size_t> wire) : InputError(message), wire_(wire)
    {
    }
    std::optional<std::size_t> wire() const { return wire_; }

  private:
    std::optional<std::size_t> wire_;
};

} // namespace egm
