#include "indicators/spatialActivity.h"

double spatialActivity(const Image& /*frame*/) { return {}; }
