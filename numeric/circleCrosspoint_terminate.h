// End of the numeric layer. Nothing is held, so nothing is released.
#pragma once

namespace egm::numeric {

void circleCrosspoint_terminate();

} // namespace egm::numeric
