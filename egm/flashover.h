// Flashovers: the strokes to each conductor whose current exceeds the
// conductor's critical current.
#pragma once

#include "egm/shielding.h"

namespace egm::model {

// Each conductor with a critical current gets it, its flashover rate and
// whether it is perfectly shielded, and the result the total: the inputs'
// rates integrated from each distinct critical current up, one integration
// per distinct current. given: the validated inputs, heights at the tower
// (a conductor's critical current under corona takes its height at the
// span's average, as the computation does); result: their rates.
void addFlashovers(const Inputs& given, Result& result);

} // namespace egm::model
