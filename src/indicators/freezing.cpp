#include "indicators/freezing.h"

uint8_t freezing(FreezingState& /*state*/, uint8_t /*blackout*/, double /*temporalActivity*/, double /*fps*/) {
    return 0;
}
