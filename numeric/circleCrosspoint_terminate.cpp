#include "circleCrosspoint_terminate.h"

void circleCrosspoint_terminate() {}
