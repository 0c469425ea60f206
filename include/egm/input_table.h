// The inputs of a computation by name: one table that gives each input its
// name (the command-line flag without "--", the JSON key, the CSV column),
// unit, default, help text, allowed range and how it is read and set. The
// programs and the Python package build their flags, columns, keys and
// chart labels from it.
#pragma once

#include <limits>
#include <span>
#include <string>
#include <string_view>

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
// law does not apply: set it to 0 unless it was given on purpose.
void settleVoltageTerm(Inputs& inputs, bool voltageTermGiven);

// Shortest decimal text that reads back to the same double; "nan", "inf",
// "-inf" for the non-finite values.
std::string shortestText(double x);

} // namespace egm
