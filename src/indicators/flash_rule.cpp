#include "indicators/flash_rule.h"

#include <cmath>
#include <numeric>

double Swing::feed(double value, bool flag, bool strict, double step, double& darker, bool& extremeFlag) {
    if (!started_) {
        started_ = true;
        low_ = high_ = value;
        lowFlag_ = highFlag_ = flag;
        return 0;
    }
    const auto reaches = [&](double move) { return strict ? move > step : move >= step; };
    const auto turn = [&](int trend, double size, double dark, bool leftFlag) {
        trend_ = trend;
        low_ = high_ = value;
        lowFlag_ = highFlag_ = flag;
        darker = dark;
        extremeFlag = leftFlag;
        return size;
    };
    if (trend_ == 0) {
        if (value < low_) low_ = value, lowFlag_ = flag;
        if (value > high_) high_ = value, highFlag_ = flag;
        if (reaches(value - low_)) return turn(+1, value - low_, low_, lowFlag_);
        if (reaches(high_ - value)) return turn(-1, value - high_, value, highFlag_);
        return 0;
    }
    if (trend_ > 0) {
        if (value >= high_) {
            high_ = value, highFlag_ = flag;
            return 0;
        }
        return reaches(high_ - value) ? turn(-1, value - high_, value, highFlag_) : 0;
    }
    if (value <= low_) {
        low_ = value, lowFlag_ = flag;
        return 0;
    }
    return reaches(value - low_) ? turn(+1, value - low_, low_, lowFlag_) : 0;
}

void FlashRule::Window::add(Transition t) {
    if (count == ring.size()) {
        // Full: unroll into a larger ring, oldest first.
        std::vector<Transition> larger(std::max<std::size_t>(16, ring.size() * 2));
        for (std::size_t i = 0; i < count; ++i) larger[i] = ring[(head + i) % ring.size()];
        ring = std::move(larger);
        head = 0;
    }
    ring[(head + count) % ring.size()] = t;
    ++count;
}

double FlashRule::Window::flashesUntil(double time) {
    // The second ending at `time` holds what is shown after time - 1 s: transitions exactly
    // a second apart are not in one second, so a steady 3 Hz flash passes.
    while (count > 0 && time - ring[head].time >= 1.0 - 1e-9) {
        head = (head + 1) % ring.size();
        --count;
    }
    return static_cast<double>(count) / 2.0;
}

FlashRule::FlashRule(std::vector<uint32_t> pixels, const FlashSettings& settings)
    : pixels_(std::move(pixels)),
      total_(static_cast<double>(std::accumulate(pixels_.begin(), pixels_.end(), uint64_t{0}))),
      general_(pixels_.size()),
      red_(pixels_.size()),
      settings_(settings) {}

FlashStep FlashRule::feed(int64_t frame, double time, const std::vector<CellState>& cells) {
    FlashStep step;
    uint64_t flashing = 0, redFlashing = 0;
    double change = 0;
    for (std::size_t i = 0; i < cells.size() && i < pixels_.size(); ++i) {
        const CellState& c = cells[i];
        double darker = 0;
        bool leftFlag = false;
        const double size = general_[i].feed(c.luminance, false, false, kFlashStep, darker, leftFlag);
        if (size != 0 && darker < kFlashDarkerBelow) {
            flashing += pixels_[i];
            change += std::fabs(size) * pixels_[i];
        }
        const double red = red_[i].feed(c.redness, c.saturatedRed, true, kRedStep, darker, leftFlag);
        if (red != 0 && (leftFlag || c.saturatedRed)) redFlashing += pixels_[i];
    }
    if (total_ <= 0) return step;
    step.area = static_cast<double>(flashing) / total_;
    step.redArea = static_cast<double>(redFlashing) / total_;
    if (flashing > 0) step.luminanceChange = change / static_cast<double>(flashing);
    const double needed = settings_.area * total_;
    if (flashing > 0 && static_cast<double>(flashing) >= needed) generalWindow_.add({time, frame});
    if (redFlashing > 0 && static_cast<double>(redFlashing) >= needed) redWindow_.add({time, frame});
    step.generalFlashes = generalWindow_.flashesUntil(time);
    step.redFlashes = redWindow_.flashesUntil(time);
    const bool redMore = step.redFlashes > step.generalFlashes;
    step.flashes = redMore ? step.redFlashes : step.generalFlashes;
    step.windowStart = redMore ? redWindow_.first() : generalWindow_.first();
    return step;
}
