// How egm-study writes numbers and results.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "study_core.h"

namespace study {

// The shortest decimal that reads back to the same double; "nan", "inf",
// "-inf" for the non-finite values.
std::string shortest(double x);

// The rates, maximum currents and working values of one case, with every
// input echoed by its flag name. NaN and infinities become null.
nlohmann::json caseJson(const RateInputs& inputs, const CaseResult& result, const std::string& control);

// A readable table of the same.
std::string caseText(const CaseResult& result);

// The columns of a case in CSV: rates, maximum currents ("" when none).
std::string caseCsvHeader();
std::string caseCsvFields(const CaseResult& result);

// One CSV field, quoted when it holds a comma, a quote or a line break.
std::string csvField(const std::string& text);

} // namespace study
