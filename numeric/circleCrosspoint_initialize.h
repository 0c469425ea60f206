// Start of the numeric layer: installs the non-finite constants. It runs once
// before any computation; a second call writes the same values again.
#pragma once

void circleCrosspoint_initialize();
