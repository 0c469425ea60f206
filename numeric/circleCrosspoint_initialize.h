// Start of the numeric layer: installs the non-finite constants. It runs once
// before any computation; a second call writes the same values again.
#pragma once

namespace egm::numeric {

void circleCrosspoint_initialize();

} // namespace egm::numeric
