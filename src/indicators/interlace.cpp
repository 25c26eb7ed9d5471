#include "indicators/interlace.h"

double interlace(const Image& /*frame*/) { return {}; }
