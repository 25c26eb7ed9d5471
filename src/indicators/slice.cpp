#include "indicators/slice.h"

std::optional<double> slice(const Image& /*frame*/) { return std::nullopt; }
