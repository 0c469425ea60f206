#include "circleCrosspoint_initialize.h"

#include "rt_nonfinite.h"

namespace egm::numeric {

void circleCrosspoint_initialize()
{
    rt_InitInfAndNaN(8U);
}

} // namespace egm::numeric
