#include "ffmpeg/start_timecode.h"

#include <string>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/timecode.h>
}

namespace {

const char* timecodeTag(const AVDictionary* metadata) {
    const AVDictionaryEntry* tag = av_dict_get(metadata, "timecode", nullptr, 0);
    return tag != nullptr && tag->value != nullptr && *tag->value != '\0' ? tag->value : nullptr;
}

bool dropsFrameNumbers(AVRational rate) {
    return av_cmp_q(rate, AVRational{30000, 1001}) == 0 || av_cmp_q(rate, AVRational{60000, 1001}) == 0;
}

}  // namespace

std::optional<StartTimecode> startTimecode(const AVFormatContext& format, int videoStream) {
    const AVStream* video = format.streams[videoStream];
    const char* tag = timecodeTag(video->metadata);
    if (tag == nullptr) tag = timecodeTag(format.metadata);
    for (unsigned i = 0; tag == nullptr && i < format.nb_streams; ++i) tag = timecodeTag(format.streams[i]->metadata);
    if (tag == nullptr) return std::nullopt;

    AVRational rate = video->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = video->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0 || av_timecode_check_frame_rate(rate) < 0) return std::nullopt;
    // A drop-frame separator (";" or ".") counts only at 29.97 and 59.94 frames per second.
    std::string text = tag;
    if (!dropsFrameNumbers(rate))
        for (char& c : text)
            if (c == ';' || c == '.') c = ':';
    AVTimecode tc{};
    if (av_timecode_init_from_string(&tc, rate, text.c_str(), nullptr) < 0 || tc.start < 0) return std::nullopt;
    char buffer[AV_TIMECODE_STR_SIZE];
    StartTimecode out;
    out.start = av_timecode_make_string(&tc, buffer, 0);
    out.fps = static_cast<int>(tc.fps);
    out.dropFrame = (tc.flags & AV_TIMECODE_FLAG_DROPFRAME) != 0;
    return out;
}
