#include "indicators/contrastRMS.h"

double contrastRMS(const Image& /*frame*/) { return {}; }
