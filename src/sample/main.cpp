// frameprobe-sample: writes a deterministic synthetic YUV 4:2:0 clip, raw or Y4M.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sample/sample_video.h"

namespace {

void usage(const char* program) {
    printf("Usage: %s OUTPUT.yuv|OUTPUT.y4m WIDTH HEIGHT FRAMES [DEFECT[:FIRST-LAST]]...\n", program);
    printf("Defects:");
    for (const std::string& name : sampleDefectNames()) printf(" %s", name.c_str());
    printf("\nWithout a frame range a defect covers every frame.\n");
}

bool parseNumber(const char* text, long low, long high, int32_t& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool parseDefect(const std::string& text, SampleDefect& defect) {
    const size_t colon = text.find(':');
    defect.name = text.substr(0, colon);
    bool known = false;
    for (const std::string& name : sampleDefectNames()) known |= name == defect.name;
    if (!known) return false;
    if (colon == std::string::npos) return true;
    const std::string range = text.substr(colon + 1);
    const size_t dash = range.find('-');
    if (dash == std::string::npos) return false;
    return parseNumber(range.substr(0, dash).c_str(), 0, INT32_MAX, defect.first) &&
           parseNumber(range.substr(dash + 1).c_str(), 0, INT32_MAX, defect.last) && defect.first <= defect.last;
}

}  // namespace

int main(int argc, char** argv) {
    SampleSpec spec;
    if (argc < 5 || !parseNumber(argv[2], 2, 16384, spec.width) || !parseNumber(argv[3], 2, 16384, spec.height) ||
        !parseNumber(argv[4], 0, 1000000, spec.frames)) {
        usage(argv[0]);
        return 1;
    }
    for (int i = 5; i < argc; ++i) {
        SampleDefect defect;
        if (!parseDefect(argv[i], defect)) {
            printf("Unknown defect or bad frame range: %s\n", argv[i]);
            usage(argv[0]);
            return 1;
        }
        spec.defects.push_back(defect);
    }
    if (!writeSampleVideo(spec, argv[1])) {
        printf("Could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
