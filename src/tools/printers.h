// Dumps of plane samples to standard output, for inspection.
#pragma once

#include <cstdint>

#include "tools/image.h"

// Prints the samples of columns firstCol ... lastCol on lines firstLine ... lastLine,
// one output line per plane line, each value as "%03i " and each line closed by
// "\n". The range is clamped to the plane first; nothing is printed when no line
// is left, and lines without columns print only their "\n".
void printRange(Image src, int32_t firstCol, int32_t lastCol, int32_t firstLine, int32_t lastLine);

// The same for 32-bit samples, each printed as "%i  ".
void printRange32(Image32 src, int32_t firstCol, int32_t lastCol, int32_t firstLine, int32_t lastLine);
