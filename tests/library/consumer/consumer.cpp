// A client of the C++ API: three pushed frames, then the values of the last.
#include <frameprobe/frameprobe.hpp>

#include <cstdio>
#include <vector>

int main() {
    frameprobe::Settings settings;
    settings.width = 64;
    settings.height = 48;
    settings.indicators = "spatial_activity,freezing";
    frameprobe::Analysis analysis(settings);
    std::vector<uint8_t> plane(64 * 48), chroma(32 * 24, 128);
    for (int f = 0; f < 3; ++f) {
        for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<uint8_t>(16 + (i * 7 + f * 5) % 200);
        if (f < 2)
            analysis.push(plane.data(), 64);
        else
            analysis.push(plane.data(), 64, chroma.data(), 32, chroma.data(), 32);
    }
    analysis.finish();
    int frames = 0;
    std::optional<frameprobe::FrameResult> last;
    while (auto frame = analysis.next()) {
        last = frame;
        ++frames;
    }
    const int freezing = *frameprobe::indicatorIndex("freezing");
    std::printf("frameprobe %s: %d frames, freezing of the last: %g\n", frameprobe::version(), frames,
                last->value(freezing).value_or(-1));
    return frames == 3 && last->value(*frameprobe::indicatorIndex("spatial_activity")) &&
                   !last->value(*frameprobe::indicatorIndex("blockiness")) &&
                   frameprobe::versionNumber() == FRAMEPROBE_VERSION_NUMBER
               ? 0
               : 1;
}
