#include "driver/report.h"

#include <cmath>
#include <limits>

void printBanner(const char* videoPath, int32_t width, int32_t height, double fps, int32_t numberOfFrames,
                 int32_t startFrame) {
    printf("Video file %s opened successfully!\n\n", videoPath);
    printf("Width = %d, Height = %d, FPS = %2.2f, Number of Frames = %d, Start Frame = %d\n\n", width, height, fps,
           numberOfFrames, startFrame);
}

void printConsoleHeader() {
    puts("Frame: \tBlockiness: \tSpatial Activity: \tLetterbox: \tPillarbox: \tBlockloss: \tBlur: \t\tTemporalAct: "
         "\tBlackout: \tFreezing: \tExposure(bri): \tContrast: \tInterlace: \tNoise: \t\tSlice: \t\tFlickering:");
}

void writeLogHeader(FILE* log) {
    fputs("Frame: \tBlockiness: \tSA: \tLetterbox: \tPillarbox: \tBlockloss: \tBlur: \tTA: \tBlackout: \tFreezing: "
          "\tExposure(bri): \tContrast: \tInterlace: \tNoise: \tSlice: \tFlickering:\n",
          log);
}

int32_t exposureAsInteger(double exposure) {
    // Exposure is a mean of samples and always lies in 0..255; anything else is
    // printed as the x86 conversion would give it, never through undefined behaviour.
    if (!(std::fabs(exposure) < 2147483648.0)) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(exposure);
}

void printConsoleRow(int32_t frameIndex, const FrameValues& v) {
    const Results& r = v.results;
    printf("%05i \t%-5.5f \t%-5.5f \t\t%-5.5f \t%-5.5f \t%-5.5f \t%-7.3f \t%-5.5f \t%-d \t\t%-d \t\t%-6i \t\t%-5.5f "
           "\t%-5.5f \t%-8.2f \t%-7.3f \t%-5.5f\n",
           frameIndex, r.blockiness, r.spatialActivity, r.letterbox, r.pillarbox, r.blockLoss, r.blur,
           v.temporalActivity, r.blackout, v.freezing, exposureAsInteger(r.exposure), r.contrastRMS, r.interlace,
           r.noise, r.slice, v.flickering);
}

void writeLogRow(FILE* log, int32_t frameIndex, const FrameValues& v) {
    const Results& r = v.results;
    fprintf(log,
            "%05i \t%-5.5f \t%-5.5f \t%-5.5f \t%-5.5f \t%-5.5f \t%-5.3f \t%-5.5f \t%-d \t%-d \t%-6i \t%-5.5f \t%-5.5f "
            "\t%-8.4f \t%-7.3f \t%-5.5f\n",
            frameIndex, r.blockiness, r.spatialActivity, r.letterbox, r.pillarbox, r.blockLoss, r.blur,
            v.temporalActivity, r.blackout, v.freezing, exposureAsInteger(r.exposure), r.contrastRMS, r.interlace,
            r.noise, r.slice, v.flickering);
}
