// How egm-study writes results: a readable table, JSON and CSV, every number
// in the shortest form that reads back to the same double.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "egm/shielding.h"

namespace study {

// A number for JSON; NaN and infinities, which JSON lacks, as the strings
// "nan", "inf", "-inf" (null means "none").
nlohmann::json jsonNumber(double x);

// Every input by its name in the input table, with the control file (null
// when none).
nlohmann::json inputsJson(const egm::Inputs& inputs, const std::string& control);

// The rates, maximum currents and working values of one case.
nlohmann::json resultJson(const egm::Inputs& inputs, const egm::Result& result, const std::string& control);
std::string resultText(const egm::Result& result);

// "evaluation: sound; striking-distance law: built-in; current
// distribution: built-in": how a result was computed, for text and legends.
std::string computationNote(const egm::Result& result);

// A maximum current as text: "74.47 kA", "223.5 kA or more (still exposed
// at the top of the range)", "none".
std::string maxCurrentText(const egm::MaxCurrent& m);

// The result columns of a case in CSV, their names and the fields of one
// case; errorFields() is the same number of empty fields.
std::string resultCsvHeader();
std::string resultCsvFields(const egm::Result& result);
std::string resultCsvEmptyFields();

// One CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(std::string_view text);

} // namespace study
