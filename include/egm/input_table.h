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

// With a law other than the built-in one the voltage term of the built-in
// law does not apply: every conductor's is set to 0 unless it was given on
// purpose.
void settleVoltageTerm(Inputs& inputs, bool voltageTermGiven);

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
};

// The inputs of named values on top of base: the tower, then the groups
// (ground-wire-height, ...), then single inputs, then the law's
// coefficients. With a law other than the built-in one the conductors'
// voltage terms are 0 unless named or baseVoltageTermGiven; with the
// built-in law over a base of another law, the built-in default comes back
// unless the voltage term was given. Throws InputError, one line naming the
// input: a name no input has, a value that is not a number or no choice, an
// input of the four-wire line (x1 .. h4, the groups, voltage-term) with a
// tower that is not one, coefficients without the custom law or of the wrong
// count, a voltage term with another law. Nothing is range-checked here:
// validate does that.
Inputs resolveInputs(const NamedInputs& named, const Inputs& base = {}, bool baseVoltageTermGiven = false);
// The same, the error kept with the case instead of thrown.
CaseInputs resolveCase(const NamedInputs& named, const Inputs& base = {}, bool baseVoltageTermGiven = false);

// Shortest decimal text that reads back to the same double; "nan", "inf",
// "-inf" for the non-finite values.
std::string shortestText(double x);

} // namespace egm
