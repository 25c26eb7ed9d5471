// A progress line on a terminal: frames done, of how many, speed and time left.
#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "rows/row_sink.h"

bool isTerminal(FILE* stream);

// Whether `display` leads where standard output goes (one terminal, one file):
// rows written there would run into the progress line.
bool sharesStandardOutput(FILE* display);

// "1200 / 5000 frames  48.0 fps  ETA 1:19"; the ETA needs a known total and some speed.
std::string progressText(int64_t done, std::optional<int64_t> total, double seconds);

// Forwards every call to another sink and keeps the progress line up to date.
// The line is a display: a failed write to it stops the display, never the run.
class ProgressSink final : public RowSink {
public:
    ProgressSink(RowSink& inner, FILE* display);
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;
    bool wantsPictures() const override { return inner_.wantsPictures(); }
    void picture(int64_t frame, const Image& luma) override { inner_.picture(frame, luma); }
    // Clears the line before each row, for rows that reach the same place.
    void eraseBeforeRows(bool erase) { eraseBeforeRows_ = erase; }

private:
    void show(const std::string& text);
    void erase();
    RowSink& inner_;
    FILE* display_;
    std::optional<int64_t> total_;
    int64_t done_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastShown_;
    std::size_t shownLength_ = 0;
    bool broken_ = false;
    bool eraseBeforeRows_ = false;
};
