// What egm-shielding must print for a set of inputs: the library's total
// rate with "%f".
#pragma once

#include <cstdio>
#include <string>

#include "EGMs2x.h"

inline std::string printedTotal(const RateInputs& in)
{
    RateResult r;
    integrateShieldingFailure(in, StrokeEvaluation::split, r);
    char text[512]; // "%f" of a huge rate runs to 300 digits and more
    std::snprintf(text, sizeof text, "%f", r.rateTotal);
    return text;
}
