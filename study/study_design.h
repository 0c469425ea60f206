// Design: the value of one design variable at which a target is met, every
// other input held.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "egm/shielding.h"
#include "study_charts.h"

namespace study {

extern const char* const kDesignHelp;

enum class DesignVariable { spread, groundWireHeight, conductorHeight, shieldingAngle };
// What the design holds at or below its target value. The stroke rates
// (total, a conductor's, the largest of a conductor) and the flashover rates
// (the same three from each conductor's critical current up) are per 100 km
// per year; perfect is the largest classical maximum shielding failure
// current (kA), perfectCritical the largest of a conductor's classical
// maximum current less its critical current (kA, target 0).
enum class DesignTarget {
    total,
    conductor,
    each,
    perfect,
    flashoverTotal,
    flashoverConductor,
    flashoverEach,
    perfectCritical
};

// Whether the target reads the conductors' critical currents: every
// conductor's (the named one's alone for flashoverConductor) must have one.
bool needsCriticalCurrents(DesignTarget target);

struct DesignRequest {
    std::string variable;
    // total=R, NAME=R (a conductor's name), each=R, perfect=I, and on
    // conductors with insulation flashover-total=R, flashover-NAME=R,
    // flashover-each=R, perfect=critical.
    std::string target;
    std::vector<double> range; // from, to; empty: the variable's default range
    int samples = 11;          // points of the response table, 3 to 101
};

// The variables' names: spread, ground-wire-height, conductor-height,
// shielding-angle.
std::vector<std::string> designVariableNames();

// The inputs with the design variable set to value. The spread: on the
// four-wire line x1 = -x2 = value/2; on another tower with exactly two
// ground wires, the pair placed symmetrically about its middle, value
// apart. The heights move every ground wire (conductor) of the tower
// together. The shielding angle (degrees; four-wire line only) moves each
// ground wire across so that the line from it to its conductor leans that
// far from the vertical, outwards positive. Throws UsageError for a
// variable the tower does not have.
egm::Inputs withDesignValue(const egm::Inputs& base, DesignVariable variable, double value);

struct DesignSample {
    double value = 0.0;
    std::optional<egm::Result> result;
    std::string error;
    double response = 0.0; // the targeted quantity (stroke or flashover rate, or current in kA)
};

// A stretch of the range whose every value meets the target: from and to its
// ends (crossings of the target to 0.01 of the unit, or the range's ends).
struct MetStretch {
    DesignSample from;
    DesignSample to;
    bool fromRangeStart = false; // from is the range's start, not a crossing
    bool toRangeEnd = false;     // to is the range's end
};

struct DesignOutcome {
    DesignVariable variable = DesignVariable::spread;
    DesignTarget target = DesignTarget::total;
    std::string targetConductor; // DesignTarget::conductor, flashoverConductor: its name
    double targetValue = 0.0;
    double from = 0.0;
    double to = 0.0;
    std::vector<DesignSample> table; // evenly over the range
    bool monotone = true;
    // Where the response crosses the target inside the range, each to 0.01
    // of the variable's unit, on the side that meets the target.
    std::vector<DesignSample> crossings;
    // The stretches that meet the target, in order: the answer (a crossing
    // alone is only where one of them ends).
    std::vector<MetStretch> metStretches;
    bool met = false;           // some value of the range meets the target
    bool metEverywhere = false; // every sampled value meets it
    DesignSample best;          // the first crossing, or the sample closest to the target
    int evaluations = 0;
};

// Throws UsageError for an unknown variable or target, a range that is not
// usable, or a flashover or perfect=critical target on conductors without a
// critical current (each one named); egm::InputError for inputs that cannot
// be computed.
DesignOutcome solveDesign(const egm::Inputs& base, const DesignRequest& request);

// text, csv or json.
std::string designReport(const DesignOutcome& outcome, const std::string& format);

// The response against the variable, the target as a line, the solution
// marked; base's inputs stated in the notes.
Chart designChart(const DesignOutcome& outcome, const egm::Inputs& base);

} // namespace study
