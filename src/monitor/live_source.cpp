#include "monitor/live_source.h"

#include <algorithm>
#include <cmath>
#include <thread>

int64_t steadyNanosecondsNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

LiveSource::LiveSource(FrameSource& input, double fps, bool paced, bool adaptive, int64_t firstStreamFrame,
                       std::atomic<int64_t>& lastPictureNanoseconds)
    : input_(input),
      fps_(fps),
      paced_(paced),
      adaptive_(adaptive),
      streamFrame_(firstStreamFrame),
      lastPicture_(lastPictureNanoseconds),
      started_(Clock::now()),
      lastAdapted_(started_) {}

void LiveSource::adapt(Clock::time_point now) {
    // Decided every two seconds from the smoothed cost: the fewest frames skipped
    // that leave a quarter of each frame interval spare.
    if (!adaptive_ || now - lastAdapted_ < std::chrono::seconds(2)) return;
    lastAdapted_ = now;
    const double needed = cost_ * fps_ * 1.25;
    every_ = static_cast<int>(std::clamp(std::ceil(needed), 1.0, std::max(1.0, std::round(fps_))));
}

ReadResult LiveSource::readFrame(int64_t index, Frame& frame) {
    Clock::time_point now = Clock::now();
    if (returned_) {
        const double gap = std::chrono::duration<double>(now - lastReturn_).count();
        cost_ = cost_ == 0 ? gap : 0.9 * cost_ + 0.1 * gap;
        adapt(now);
    }
    const int every = every_;
    for (int k = 0; k < every; ++k) {
        if (paced_) std::this_thread::sleep_until(started_ + std::chrono::duration_cast<Clock::duration>(
                                                                 std::chrono::duration<double>(inputIndex_ / fps_)));
        ReadResult result = input_.readFrame(inputIndex_, frame);
        if (result.status != ReadResult::Frame) return result;
        ++inputIndex_;
        ++streamFrame_;
        lastPicture_.store(steadyNanosecondsNow());
        const StreamStatus seen = input_.takeStreamStatus();
        pending_.hasAudio = pending_.hasAudio || seen.hasAudio;
        pending_.audioPeak = std::max(pending_.audioPeak, seen.audioPeak);
        pending_.audioSeconds += seen.audioSeconds;
        pending_.decodeErrors += seen.decodeErrors;
        pending_.transport = pending_.transport || seen.transport;
        if (seen.momentary) pending_.momentary = seen.momentary;
        if (seen.shortTerm) pending_.shortTerm = seen.shortTerm;
        if (seen.truePeak) pending_.truePeak = std::max(seen.truePeak, pending_.truePeak);
        for (std::size_t i = 0; i < seen.transportErrors.size(); ++i)
            pending_.transportErrors[i] += seen.transportErrors[i];
    }
    skipped_ += every - 1;
    ring_[static_cast<std::size_t>(index) % ring_.size()] = FrameOrigin{streamFrame_ - 1, pending_};
    pending_ = StreamStatus{};
    returned_ = true;
    lastReturn_ = Clock::now();
    return ReadResult{};
}
