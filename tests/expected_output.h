// What egm-shielding must print for a set of inputs: the rate EGMs2x gives
// for them, with "%f".
#pragma once

#include <cstdio>
#include <string>

#include "EGMs2x.h"
#include "egm/shielding.h"

inline std::string printedTotal(const egm::Inputs& in)
{
    const egm::Line l = egm::lineOf(in.tower);
    const egm::model::LineGeometry g = {l.groundWire1.x,     l.groundWire2.x,      l.conductor1.x,
                                        l.conductor2.x,      l.groundWire1.height, l.groundWire2.height,
                                        l.conductor1.height, l.conductor2.height};
    double c1 = 0.0;
    double c2 = 0.0;
    double total = 0.0;
    egm::model::EGMs2x(in.flashDensity, in.slope, in.lowestCurrent, g, in.tower.wires[2].voltageTerm,
                       in.distribution.scale, in.distribution.exponent, c1, c2, total);
    char text[512]; // "%f" of a huge rate runs to 300 digits and more
    std::snprintf(text, sizeof text, "%f", total);
    return text;
}
