#include "indicators/flash_cells.h"

#include <algorithm>
#include <cmath>

FlashCells::FlashCells(uint32_t width, uint32_t height, const ColourDescription& colour, const DisplayModel& display)
    : columns_((width + kFlashCell - 1) / kFlashCell),
      rows_((height + kFlashCell - 1) / kFlashCell),
      colour_(colour),
      display_(display),
      fullRange_(colour.range == "pc"),
      kind_(transferKind(colour.transfer)),
      weights_(matrixWeights(colour.matrix, height)),
      luminance_(luminanceTable(std::clamp(colour.bitDepth, 8, 16), fullRange_, kind_, display)),
      linear_(4097),
      pixels_(std::size_t{columns_} * rows_) {
    const double white = screenLuminance(1.0, kind_, display_);
    for (std::size_t i = 0; i < linear_.size(); ++i)
        linear_[i] = screenLuminance(static_cast<double>(i) / 4096.0, kind_, display_) / white;
    for (uint32_t r = 0; r < rows_; ++r)
        for (uint32_t c = 0; c < columns_; ++c)
            pixels_[std::size_t{r} * columns_ + c] = (std::min(width, (c + 1) * kFlashCell) - c * kFlashCell) *
                                                     (std::min(height, (r + 1) * kFlashCell) - r * kFlashCell);
}

double FlashCells::linear(double signal) const {
    return linear_[static_cast<std::size_t>(std::lround(std::clamp(signal, 0.0, 1.0) * 4096.0))];
}

namespace {

// Sums of a plane's samples over the cells into `sums` (columns x rows, zeroed first), and
// with a map, of map(sample) into `mapped` too. `shiftX`/`shiftY`: the plane's subsampling.
template <typename T, typename Map>
void sumPlane(const SamplePlane& plane, uint32_t columns, uint32_t rows, int shiftX, int shiftY, uint32_t top,
              Map map, uint32_t* sums, uint32_t* mapped) {
    std::fill(sums, sums + std::size_t{columns} * rows, 0u);
    if (mapped) std::fill(mapped, mapped + std::size_t{columns} * rows, 0u);
    const uint32_t cellWidth = std::max(1u, kFlashCell >> shiftX);
    for (uint32_t y = 0; y < plane.height; ++y) {
        const auto* row = reinterpret_cast<const T*>(plane.data + static_cast<std::ptrdiff_t>(y) * plane.stride);
        const uint32_t cellRow = std::min(rows - 1, (y << shiftY) / kFlashCell);
        uint32_t* out = sums + std::size_t{cellRow} * columns;
        uint32_t* outMapped = mapped ? mapped + std::size_t{cellRow} * columns : nullptr;
        uint32_t x0 = 0, c = 0;
        // Whole cells of the full size first, with a loop of fixed length the compiler unrolls.
        if (cellWidth == kFlashCell) {
            for (; x0 + kFlashCell <= plane.width && c < columns; x0 += kFlashCell, ++c) {
                uint32_t s = 0, m = 0;
                for (uint32_t k = 0; k < kFlashCell; ++k) {
                    const uint32_t v = sizeof(T) == 1 ? row[x0 + k] : std::min<uint32_t>(row[x0 + k], top);
                    s += v;
                    if (outMapped) m += map(v);
                }
                out[c] += s;
                if (outMapped) outMapped[c] += m;
            }
        }
        for (; x0 < plane.width && c < columns; x0 += cellWidth, ++c) {
            const uint32_t x1 = std::min(plane.width, x0 + cellWidth);
            uint32_t s = 0, m = 0;
            for (uint32_t x = x0; x < x1; ++x) {
                // Bytes never exceed an 8-bit table; deeper samples may exceed their depth.
                const uint32_t v = sizeof(T) == 1 ? row[x] : std::min<uint32_t>(row[x], top);
                s += v;
                if (outMapped) m += map(v);
            }
            out[c] += s;
            if (outMapped) outMapped[c] += m;
        }
    }
}

int shiftOf(uint32_t full, uint32_t sub) {
    for (int s = 0; s < 3; ++s)
        if (((full + (1u << s) - 1) >> s) == sub) return s;
    return 0;
}

}  // namespace

template <bool Plain>
void FlashCells::measureWith(const Picture& picture, std::vector<CellState>& cells, std::vector<uint32_t>& sums) const {
    const std::size_t count = std::size_t{columns_} * rows_;
    cells.assign(count, CellState{});
    sums.resize(4 * count);
    if (picture.planeCount < 1) return;
    const int depth = std::clamp(picture.bitDepth, 8, 16);
    const auto top = static_cast<uint32_t>((1u << depth) - 1);
    const bool deep = depth > 8;
    const auto lum = [&](uint32_t code) -> uint32_t {
        if constexpr (Plain)
            return static_cast<uint32_t>(std::lround(
                screenLuminance(normalisedSignal(code, depth, fullRange_), kind_, display_) * kLuminanceScale));
        else
            return luminance_[code];
    };
    const auto none = [](uint32_t) { return 0u; };
    uint32_t* luminance = sums.data();
    uint32_t* y = luminance + count;
    uint32_t* u = y + count;
    uint32_t* v = u + count;
    const SamplePlane& luma = picture.planes[0];
    if (deep) sumPlane<uint16_t>(luma, columns_, rows_, 0, 0, top, lum, y, luminance);
    else sumPlane<uint8_t>(luma, columns_, rows_, 0, 0, top, lum, y, luminance);
    const bool colour = picture.planeCount >= 3;
    int sx = 0, sy = 0;
    if (colour) {
        sx = shiftOf(luma.width, picture.planes[1].width);
        sy = shiftOf(luma.height, picture.planes[1].height);
        for (int p = 1; p <= 2; ++p) {
            uint32_t* out = p == 1 ? u : v;
            const SamplePlane& plane = picture.planes[static_cast<std::size_t>(p)];
            if (deep) sumPlane<uint16_t>(plane, columns_, rows_, sx, sy, top, none, out, nullptr);
            else sumPlane<uint8_t>(plane, columns_, rows_, sx, sy, top, none, out, nullptr);
        }
    }
    for (uint32_t r = 0; r < rows_; ++r) {
        for (uint32_t c = 0; c < columns_; ++c) {
            const std::size_t i = std::size_t{r} * columns_ + c;
            const double n = pixels_[i];
            CellState& cell = cells[i];
            cell.luminance = luminance[i] / (n * kLuminanceScale);
            if (!colour) continue;
            // Chroma samples of the cell, as sumPlane gathered them.
            const uint32_t cw = std::max(1u, kFlashCell >> sx), ch = std::max(1u, kFlashCell >> sy);
            const SamplePlane& cp = picture.planes[1];
            const auto across = std::min(cp.width, (c + 1) * cw) - std::min(cp.width, c * cw);
            const auto down = std::min(cp.height, (r + 1) * ch) - std::min(cp.height, r * ch);
            const double chroma = std::max(1u, across * down);
            const double cr = normalisedSignal(v[i] / chroma, depth, fullRange_, true);
            // Without a positive Cr, R' is no larger than the other two: no red at all.
            if (cr <= 0) continue;
            const double cb = normalisedSignal(u[i] / chroma, depth, fullRange_, true);
            const double yn = normalisedSignal(y[i] / n, depth, fullRange_);
            const double kg = 1 - weights_.kr - weights_.kb;
            const double rs = yn + 2 * (1 - weights_.kr) * cr, bs = yn + 2 * (1 - weights_.kb) * cb;
            const double gs = (yn - weights_.kr * rs - weights_.kb * bs) / kg;
            const double R = linear(rs), G = linear(gs), B = linear(bs);
            cell.redness = std::max(0.0, R - G - B) * 320.0;
            cell.saturatedRed = R + G + B > 0 && R / (R + G + B) >= kSaturatedRed;
        }
    }
}

void FlashCells::measure(const Picture& picture, std::vector<CellState>& cells, std::vector<uint32_t>& sums) const {
    measureWith<false>(picture, cells, sums);
}

void FlashCells::measurePlain(const Picture& picture, std::vector<CellState>& cells,
                              std::vector<uint32_t>& sums) const {
    measureWith<true>(picture, cells, sums);
}
