// Every indicator through the engine, on two or three frames of a random size
// (1 to 300 each way) with a random mask and frame rate. Values may be NaN;
// crashes, sanitizer reports and rows out of order are findings.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "indicators/registry.h"
#include "pipeline/engine.h"

namespace {

class MemoryFrames final : public FrameSource {
public:
    MemoryFrames(uint32_t width, uint32_t height, std::vector<std::vector<uint8_t>> frames)
        : frames_(std::move(frames)) {
        info_.format = "raw";
        info_.width = width;
        info_.height = height;
        info_.frameCount = static_cast<int64_t>(frames_.size());
    }

    const SourceInfo& info() const override { return info_; }

    // Luma only: the engine's fuzzed indicators read no other plane.
    ReadResult readFrame(int64_t index, Frame& into) override {
        Image& luma = into.luma;
        into.picture.planeCount = 0;
        ReadResult result;
        if (index < 0 || static_cast<std::size_t>(index) >= frames_.size()) {
            result.status = ReadResult::End;
            return result;
        }
        if (luma.w != info_.width || luma.h != info_.height) std::abort();
        const std::vector<uint8_t>& frame = frames_[static_cast<std::size_t>(index)];
        std::memcpy(luma.data, frame.data(), frame.size());
        result.bytesRead = frame.size();
        return result;
    }

private:
    SourceInfo info_;
    std::vector<std::vector<uint8_t>> frames_;
};

// Rows must come once per frame, in order; reading every value lets the
// sanitizers see values that were never written.
class CheckingSink final : public RowSink {
public:
    explicit CheckingSink(int64_t first) : next_(first) {}
    void begin(const RunInfo&) override {}
    void row(int64_t frame, const Results& values) override {
        if (frame != next_++) std::abort();
        for (int i = 0; i < kIndicatorCount; ++i)
            if (values.has(i)) sum_ = sum_ + values[i];
    }
    void end(const RunEnd&) override {}
    int64_t rows(int64_t first) const { return next_ - first; }

private:
    int64_t next_;
    volatile double sum_ = 0;
};

// Frames that reach the indicators' corner cases: flat, repeated, extreme, noisy.
std::vector<uint8_t> makeFrame(FuzzedDataProvider& input, std::size_t samples, const std::vector<uint8_t>* previous) {
    std::vector<uint8_t> frame(samples);
    switch (input.ConsumeIntegralInRange<int>(0, 4)) {
        case 0:  // flat
            std::memset(frame.data(), input.ConsumeIntegral<uint8_t>(), samples);
            break;
        case 1:  // the previous frame again, with a few samples changed
            if (previous != nullptr) frame = *previous;
            for (int n = input.ConsumeIntegralInRange<int>(0, 8); n > 0; --n)
                frame[input.ConsumeIntegralInRange<std::size_t>(0, samples - 1)] = input.ConsumeIntegral<uint8_t>();
            break;
        case 2: {  // the input's bytes, tiled
            const std::vector<uint8_t> tile =
                input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<std::size_t>(1, 4096));
            for (std::size_t i = 0; i < samples; ++i) frame[i] = tile.empty() ? 0 : tile[i % tile.size()];
            break;
        }
        case 3: {  // two levels, in stripes or blocks
            const uint8_t low = input.ConsumeIntegral<uint8_t>(), high = input.ConsumeIntegral<uint8_t>();
            const std::size_t period = input.ConsumeIntegralInRange<std::size_t>(1, 64);
            for (std::size_t i = 0; i < samples; ++i) frame[i] = (i / period) % 2 ? high : low;
            break;
        }
        default: {  // noise
            uint32_t state = input.ConsumeIntegral<uint32_t>() | 1u;
            for (uint8_t& sample : frame) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                sample = static_cast<uint8_t>(state);
            }
            break;
        }
    }
    return frame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto width = input.ConsumeIntegralInRange<uint32_t>(1, 300);
    const auto height = input.ConsumeIntegralInRange<uint32_t>(1, 300);
    EngineSettings settings;
    settings.mask = input.ConsumeIntegral<uint32_t>();
    // The positional form takes any number as the frame rate, 0 and negative ones included.
    settings.fps =
        input.ConsumeBool() ? input.ConsumeFloatingPoint<double>() : input.ConsumeIntegralInRange<int>(-1, 60);
    settings.threads = input.ConsumeIntegralInRange<unsigned>(1, 2);
    settings.window = input.ConsumeIntegralInRange<unsigned>(0, 3);
    const int frameCount = input.ConsumeIntegralInRange<int>(2, 3);
    const auto first = input.ConsumeIntegralInRange<int64_t>(0, 1);

    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < frameCount; ++i)
        frames.push_back(makeFrame(input, std::size_t{width} * height, frames.empty() ? nullptr : &frames.back()));
    MemoryFrames source(width, height, std::move(frames));

    Engine engine(settings, width, height);
    CheckingSink sink(first);
    // Without a count the run ends at the source's end; with one, frames past it read as the end.
    const std::optional<int64_t> count =
        input.ConsumeBool() ? std::nullopt : std::optional<int64_t>(input.ConsumeIntegralInRange<int64_t>(0, 4));
    const EngineOutcome outcome = engine.run(source, first, count, sink);
    if (outcome.rows != sink.rows(first)) std::abort();
    return 0;
}
