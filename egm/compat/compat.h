// The four-wire program's own operations, names kept: EGMs2x (the rates of
// the line), EGM_DQ (one stroke, whole or in its current and angle halves)
// and the geometry under them (EGMcircle, circleCrosspoint, incircle,
// distance, Dqtrans, shadow_on_x, cut_x_section). The rest of the library
// includes this header alone; the units include each other.
#pragma once

#include "EGM_DQ.h"
#include "EGMs2x.h"
