// End of the numeric layer. Nothing is held, so nothing is released.
#pragma once

void circleCrosspoint_terminate();
