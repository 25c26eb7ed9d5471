#include "output/progress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cmath>

namespace {

// A few updates a second read smoothly and cost nothing next to the analysis.
constexpr std::chrono::milliseconds kInterval{250};

std::string oneDecimal(double value) {
    std::array<char, 32> buffer{};
    const auto [end, error] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 1);
    if (error != std::errc()) return "?";
    return std::string(buffer.data(), end);
}

std::string clock(double seconds) {
    const auto total = static_cast<int64_t>(std::llround(seconds));
    const int64_t hours = total / 3600, minutes = total / 60 % 60, secs = total % 60;
    const auto two = [](std::string& out, int64_t v) {
        out += ':';
        if (v < 10) out += '0';
        out += std::to_string(v);
    };
    std::string text;
    if (hours > 0) {
        text = std::to_string(hours);
        two(text, minutes);
    } else {
        text = std::to_string(minutes);
    }
    two(text, secs);
    return text;
}

}  // namespace

bool isTerminal(FILE* stream) { return isatty(fileno(stream)) == 1; }

bool sharesStandardOutput(FILE* display) {
    struct stat out {}, shown {};
    if (fstat(STDOUT_FILENO, &out) != 0 || fstat(fileno(display), &shown) != 0) return false;
    return out.st_dev == shown.st_dev && out.st_ino == shown.st_ino;
}

std::string progressText(int64_t done, std::optional<int64_t> total, double seconds) {
    std::string text = std::to_string(done);
    if (total) {
        text += " / ";
        text += std::to_string(*total);
    }
    text += " frames";
    if (seconds <= 0 || done <= 0) return text;
    const double rate = static_cast<double>(done) / seconds;
    text += "  ";
    text += oneDecimal(rate);
    text += " fps";
    if (total && *total >= done) {
        text += "  ETA ";
        text += clock(static_cast<double>(*total - done) / rate);
    }
    return text;
}

ProgressSink::ProgressSink(RowSink& inner, FILE* display) : inner_(inner), display_(display) {}

void ProgressSink::begin(const RunInfo& info) {
    total_ = info.frameCount;
    done_ = 0;
    start_ = lastShown_ = std::chrono::steady_clock::now();
    inner_.begin(info);
}

void ProgressSink::row(int64_t frame, const Results& values) {
    if (eraseBeforeRows_) erase();
    inner_.row(frame, values);
    ++done_;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastShown_ < kInterval) return;
    lastShown_ = now;
    show(progressText(done_, total_, std::chrono::duration<double>(now - start_).count()));
}

void ProgressSink::end(const RunEnd& end) {
    erase();
    inner_.end(end);
}

void ProgressSink::show(const std::string& text) {
    if (broken_) return;
    // Spaces cover what is left of a longer line before.
    std::string line = "\r";
    line += text;
    if (text.size() < shownLength_) line += std::string(shownLength_ - text.size(), ' ');
    broken_ = std::fputs(line.c_str(), display_) == EOF || std::fflush(display_) != 0;
    shownLength_ = text.size();
}

void ProgressSink::erase() {
    if (shownLength_ == 0 || broken_) return;
    std::string blank(shownLength_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    broken_ = std::fputs(blank.c_str(), display_) == EOF || std::fflush(display_) != 0;
    shownLength_ = 0;
}
