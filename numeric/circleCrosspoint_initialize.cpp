#include "circleCrosspoint_initialize.h"

#include "rt_nonfinite.h"

void circleCrosspoint_initialize()
{
    rt_InitInfAndNaN(8U);
}
