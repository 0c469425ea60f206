// The inputs of a computation by name: one table that gives each input its
// name (the command-line flag without "--", the JSON key, the CSV column),
// unit, default, help text, allowed range and how it is read and set. The
// programs and the Python package build their flags, columns, keys and
// chart labels from it.
#pragma once

#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "egm/shielding.h"

namespace egm {

struct InputField {
    enum class Kind {
        number, // one real
        choice, // a name out of a list
        group,  // one real that moves several inputs at once (sweeps, batches)
    };
    Kind kind = Kind::number;
    std::string_view name;  // "slope"
    std::string_view unit;  // "degrees"; empty for a pure number
    std::string_view label; // "ground slope": for axes and tables
    std::string_view help;  // one line
    // number and group: the value (a group's mean or spread), and setting it.
    double (*get)(const Inputs&) = nullptr;
    void (*set)(Inputs&, double) = nullptr;
    // choice: the chosen name, and choosing by name (throws InputError for
    // a name not in choices).
    std::string_view (*getChoice)(const Inputs&) = nullptr;
    void (*setChoice)(Inputs&, std::string_view) = nullptr;
    std::string_view choices; // "built-in|log-normal"

    // The allowed range of a number: finite, and low < x (lowOpen) or
    // low <= x, and likewise for high; infinite bounds mean none.
    double low = -std::numeric_limits<double>::infinity();
    bool lowOpen = false;
    double high = std::numeric_limits<double>::infinity();
    bool highOpen = false;

    // An input of the four-wire line (x1 .. h4, the groups, voltage-term):
    // it has a value only when the tower is a four-wire line.
    bool fourWireLine = false;
    // A conductor's insulation input: it has a value only where given
    // (reads NaN where not; setting NaN takes it away).
    bool insulation = false;

    // Whether the input has a value for these inputs: the four-wire line's
    // only on a four-wire line, the custom law's coefficients only under the
    // custom law (c and d, or beta), a distribution's parameters only under
    // that distribution.
    bool appliesTo(const Inputs& inputs) const;

    bool allows(double x) const;
    // "must be greater than 0 m", "must lie strictly between -90 and 90
    // degrees", "must be a finite number".
    std::string rangeText() const;
    // The value as text with its unit: "57 m".
    std::string valueText(double x) const;
};

std::span<const InputField> inputFields();

// The field called name, letter case ignored, "_" taken for "-"; null when
// there is none.
const InputField* inputField(std::string_view name);

// The whole of text as a real, as the C library reads one: decimal, with an
// exponent, hexadecimal, nan, inf. False when anything is left over or the
// text is empty or starts with white space.
bool parseNumber(std::string_view text, double& value);

// One input as a front end has it: a flag, a CSV field or a Python keyword.
struct NamedValue {
    std::string name;             // as inputField reads it
    std::string text;             // the value as text; empty: not given
    std::optional<double> number; // set: the value itself, text unused
};

// The named inputs of one case.
struct NamedInputs {
    std::vector<NamedValue> values;
    std::optional<Tower> tower; // replaces the base's tower
    // Empty, or the custom law's a, b, c, d (G = c I^d) or a, b, beta
    // (G = beta a I^b).
    std::vector<NamedValue> lawCoefficients;
    // The table of distribution table; it goes with that distribution.
    std::optional<CurrentTable> currentTable = {};
    // The ground across the line; replaces the base's ground.
    std::optional<GroundProfile> ground = {};
};

// Inputs are resolved in layers, each laid on top of the one before:
//   the defaults     Inputs{}: the built-in line, law and distribution,
//                    voltage term 0.8
//   a control file   egm-shielding's files (egm::io::loadControlledInputs)
//   the flags        of egm-study, or a Python call's keywords
//   a row            of a case file or a route, one case of a batch or sweep
// A layer changes only the inputs it names, and adds their names to
// Inputs::given; the next layer reads from its base what the layers below
// gave, so no front end has to say it. This matters for the voltage term,
// which belongs to the built-in law:
//  - under another law every conductor's voltage term is 0, unless it was
//    given: voltage-term by name, or a tower with its own voltage terms, in
//    this layer or one below; a voltage term so given is kept, and validate
//    refuses it ("belongs to the built-in law");
//  - back on the built-in law over a base of another law, the four-wire
//    line's voltage term is the built-in default 0.8 again, unless given.

// The inputs of named values as the layer on top of base: the tower, then
// the groups (ground-wire-height, ...), then single inputs, then the law's
// coefficients, then the voltage terms as above; given is base's with this
// layer's names added ("tower" for a tower). Throws InputError, one line
// naming the input: a name no input has, a value that is not a number or no
// choice, an input of the four-wire line (x1 .. h4, the groups,
// voltage-term) with a tower that is not one, coefficients without the
// custom law or of the wrong count. Nothing is range-checked here: validate
// does that.
Inputs resolveInputs(const NamedInputs& named, const Inputs& base = {});
// The same, the error kept with the case instead of thrown (the case's
// inputs are then base).
CaseInputs resolveCase(const NamedInputs& named, const Inputs& base = {});

// Shortest decimal text that reads back to the same double; "nan", "inf",
// "-inf" for the non-finite values.
std::string shortestText(double x);

} // namespace egm
