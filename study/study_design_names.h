// The design's variables and targets by name, unit and wording, for the
// solver and its reports (study_design.cpp, study_design_report.cpp).
#pragma once

#include <string>

#include "study_design.h"

namespace study {

struct VariableInfo {
    DesignVariable variable;
    const char* name;  // "ground-wire-height"
    const char* label; // "height of both ground wires"
    const char* unit;  // "m" or "degrees"
};
const VariableInfo& infoOf(DesignVariable v);

struct TargetInfo {
    DesignTarget target;
    const char* name;     // "total", "conductor", "each", "perfect", "flashover-total", ...
    const char* text;     // "total rate at most"
    const char* response; // "total rate": what the response is, for legends
    const char* column;   // "response": the CSV column of the response
};
const TargetInfo& infoOf(DesignTarget t);

// "kA" for perfect shielding, "flashovers per 100 km per year" for a
// flashover rate, else "strokes per 100 km per year".
std::string unitOf(DesignTarget t);

} // namespace study
