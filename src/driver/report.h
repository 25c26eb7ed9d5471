// Banner, table headers and report rows, for the console and for the log file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "indicators/registry.h"

void printBanner(const char* videoPath, int32_t width, int32_t height, double fps, int32_t numberOfFrames,
                 int32_t startFrame);
void printConsoleHeader();
void writeLogHeader(FILE* log);
void printConsoleRow(int32_t frameIndex, const FrameValues& values);
void writeLogRow(FILE* log, int32_t frameIndex, const FrameValues& values);

// Exposure is printed as an integer, truncated toward zero.
int32_t exposureAsInteger(double exposure);
