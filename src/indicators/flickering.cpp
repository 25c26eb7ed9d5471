#include "indicators/flickering.h"

double flickering(const Image& /*current*/, const Image& /*previous*/, FlickeringState& /*state*/) {
    return 0.0;
}
