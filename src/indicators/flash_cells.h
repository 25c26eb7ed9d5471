// The screen as the flash rule sees it: cells of 8x8 luma samples, each with its mean
// screen luminance and, from its mean colour, its red. Luminance is the mean of every
// sample's (light adds up on the screen); red is judged on the cell's mean Y'CbCr, exact
// for the flat fields that flashes are made of.
#pragma once

#include <cstdint>
#include <vector>

#include "indicators/flash_rule.h"
#include "tools/picture.h"
#include "tools/screen_luminance.h"

inline constexpr uint32_t kFlashCell = 8;

class FlashCells {
public:
    FlashCells(uint32_t width, uint32_t height, const ColourDescription& colour, const DisplayModel& display);
    uint32_t columns() const { return columns_; }
    uint32_t rows() const { return rows_; }
    // Pixels of the screen in each cell, row by row.
    const std::vector<uint32_t>& pixels() const { return pixels_; }
    // The cells of a picture; on any thread, into `cells` (sized here) with `sums` as scratch.
    void measure(const Picture& picture, std::vector<CellState>& cells, std::vector<uint32_t>& sums) const;
    // The same from each sample's luminance by its formula: the reference the table is checked against.
    void measurePlain(const Picture& picture, std::vector<CellState>& cells, std::vector<uint32_t>& sums) const;

private:
    template <bool Plain>
    void measureWith(const Picture& picture, std::vector<CellState>& cells, std::vector<uint32_t>& sums) const;
    double linear(double signal) const;

    uint32_t columns_, rows_;
    ColourDescription colour_;
    DisplayModel display_;
    bool fullRange_;
    TransferKind kind_;
    MatrixWeights weights_;
    std::vector<uint32_t> luminance_;  // by luma code, in 1/kLuminanceScale cd/m²
    std::vector<double> linear_;       // relative linear light by signal in steps of 1/4096
    std::vector<uint32_t> pixels_;
};
