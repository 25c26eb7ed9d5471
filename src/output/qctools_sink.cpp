#include "output/qctools_sink.h"

#include <zlib.h>

#include <cmath>
#include <cstdio>

#include "indicators/signal_levels.h"
#include "tools/frame_rate.h"

struct QctoolsSink::Compressor {
    z_stream stream{};
    bool ready = false;
    ~Compressor() {
        if (ready) deflateEnd(&stream);
    }
};

namespace {

std::string timeText(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

std::string statText(int stat, double value) {
    char text[64];
    if (isWholeStat(stat))
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(std::llround(value)));
    else
        std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

QctoolsSink::QctoolsSink(OutputFile& out) : out_(out), zip_(std::make_unique<Compressor>()) {
    // 15 + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&zip_->stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw WriteError("cannot start compressing " + out.name());
    zip_->ready = true;
}

QctoolsSink::~QctoolsSink() = default;

void QctoolsSink::write(const std::string& text, bool finish) {
    z_stream& z = zip_->stream;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    char buffer[16384];
    int status = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        status = deflate(&z, finish ? Z_FINISH : Z_NO_FLUSH);
        if (status == Z_STREAM_ERROR) throw WriteError("cannot compress " + out_.name());
        out_.append(std::string_view(buffer, sizeof buffer - z.avail_out));
    } while (z.avail_out == 0 || (finish && status != Z_STREAM_END));
    out_.commit();
}

void QctoolsSink::begin(const RunInfo& info) {
    fps_ = info.fps > 0 ? info.fps : kDefaultFps;
    const std::string pixelFormat = info.picture.pixelFormat.empty() ? "gray" : info.picture.pixelFormat;
    frameAttributes_ = " width=\"" + std::to_string(info.width) + "\" height=\"" + std::to_string(info.height) +
                       "\" pix_fmt=\"" + pixelFormat + "\"";
    write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ffprobe>\n    <frames>\n", false);
}

void QctoolsSink::row(int64_t frame, const Results& values) {
    const double time = values.time.value_or(static_cast<double>(frame) / fps_);
    // Time stamps count frames of the run's rate (time base 1/fps).
    const long long pts = std::isfinite(time) ? std::llround(time * fps_) : frame;
    const std::string at = std::to_string(pts), seconds = timeText(time), duration = timeText(1 / fps_);
    text_ = "        <frame media_type=\"video\" stream_index=\"0\" key_frame=\"1\" pts=\"" + at + "\" pts_time=\"" +
            seconds + "\" pkt_pts=\"" + at + "\" pkt_pts_time=\"" + seconds + "\" best_effort_timestamp=\"" + at +
            "\" best_effort_timestamp_time=\"" + seconds + "\" pkt_duration=\"1\" pkt_duration_time=\"" + duration +
            "\"" + frameAttributes_;
    if (!values.signal) {
        text_ += "/>\n";
    } else {
        text_ += ">\n";
        const SignalStats& s = *values.signal;
        for (int k = 0; k < kSignalStatCount; ++k)
            text_ += std::string("            <tag key=\"lavfi.signalstats.") +
                     kSignalStatNames[static_cast<std::size_t>(k)] + "\" value=\"" +
                     statText(k, s.values[static_cast<std::size_t>(k)]) + "\"/>\n";
        const std::string depth = std::to_string(s.bitDepth);
        for (const char* plane : {"Y", "U", "V"})
            text_ += std::string("            <tag key=\"lavfi.signalstats.") + plane + "BITDEPTH\" value=\"" + depth +
                     "\"/>\n";
        text_ += "        </frame>\n";
    }
    write(text_, false);
}

void QctoolsSink::end(const RunEnd&) {
    if (finished_) return;
    finished_ = true;
    write("    </frames>\n</ffprobe>\n", true);
}

// A stream that a reader already takes in ends as a whole document, which says no more.
void QctoolsSink::abandon(const std::string&) { end(RunEnd{}); }
