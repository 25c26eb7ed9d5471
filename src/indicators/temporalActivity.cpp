#include "indicators/temporalActivity.h"

double temporalActivity(const Image& /*current*/, const Image& /*previous*/) { return 0.0; }
