#include "ffmpeg/container_probe.h"

extern "C" {
#include <libavformat/avformat.h>
}

bool probeContainer(const std::string& path, const std::string& firstBytes) {
    // The probe reads up to AVPROBE_PADDING_SIZE bytes past the end, which must be zeros.
    std::string bytes = firstBytes;
    bytes.append(AVPROBE_PADDING_SIZE, '\0');
    AVProbeData probe{};
    probe.filename = path.c_str();
    probe.buf = reinterpret_cast<unsigned char*>(bytes.data());
    probe.buf_size = static_cast<int>(firstBytes.size());
    int score = 0;
    return av_probe_input_format3(&probe, 1, &score) != nullptr && score > AVPROBE_SCORE_RETRY;
}
