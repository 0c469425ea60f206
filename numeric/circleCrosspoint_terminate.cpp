#include "circleCrosspoint_terminate.h"

namespace egm::numeric {

void circleCrosspoint_terminate() {}

} // namespace egm::numeric
