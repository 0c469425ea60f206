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
    const char* name; // "total", "conductor", "each", "perfect"
    const char* text; // "total rate at most"
};
const TargetInfo& infoOf(DesignTarget t);

// "kA" for perfect shielding, else "strokes per 100 km per year".
std::string unitOf(DesignTarget t);

} // namespace study
