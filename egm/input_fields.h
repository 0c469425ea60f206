// The pieces the input table is built of, for the parts of it that live in
// files of their own.
#pragma once

#include <limits>
#include <string_view>
#include <vector>

#include "egm/input_table.h"

namespace egm::fields {

// A number input; infinite bounds mean none.
InputField number(std::string_view name, std::string_view unit, std::string_view label, std::string_view help,
                  double (*get)(const Inputs&), void (*set)(Inputs&, double),
                  double low = -std::numeric_limits<double>::infinity(), bool lowOpen = false,
                  double high = std::numeric_limits<double>::infinity(), bool highOpen = false);

// The four-wire line's tower, for an input that moves one of its wires.
// Throws InputError for a tower that is not a four-wire line.
Tower& lineTower(Inputs& in, std::string_view name);

// The four-wire line's conductors' insulation: each input for both
// conductors (cfo) and for conductor 1 and 2 alone (cfo3, cfo4, as x3 and
// x4 name them).
void appendInsulationFields(std::vector<InputField>& table);

} // namespace egm::fields
