#include "indicators/slice.h"

#include <cmath>

#include "kernels/kernels.h"
#include "tools/workspace.h"

namespace {

struct SliceWorkspace {
    Reusable<int32_t> verticalCounts, horizontalCounts;
    Reusable<double> verticalFractions, horizontalFractions, ratios;
};

void fractions(Image32 counts, ImageDouble dest, uint32_t bandSamples) {
    const double divisor = static_cast<int32_t>(bandSamples);
    for (uint64_t i = 0; i < counts.h; ++i) dest.data[i] = counts.data[i] / divisor;
}

// The smallest ratio, as the first of an ascending sort that places NaN after
// every number: NaN (the bands' own) only when every ratio is NaN.
double smallestRatio(ImageDouble ratios) {
    double smallest = ratios.data[0];
    for (uint64_t i = 0; i < ratios.w * ratios.h; ++i) {
        const double r = ratios.data[i];
        if (!std::isnan(r) && (std::isnan(smallest) || r < smallest)) smallest = r;
    }
    return smallest;
}

}  // namespace

void compareShifted(Image src, Image dest, int32_t shift) {
    for (uint64_t y = 0; y < dest.h; ++y) {
        const uint8_t* a = src.data + y * src.w;
        const uint8_t* b = a + shift;
        uint8_t* out = dest.data + y * dest.w;
        for (uint64_t x = 0; x < dest.w; ++x) out[x] = a[x] == b[x] ? 1 : 0;
    }
}

void divideDouble(ImageDouble a, ImageDouble b, ImageDouble dest) {
    const int32_t n = static_cast<int32_t>(static_cast<uint32_t>(a.w) * static_cast<uint32_t>(a.h));
    for (int32_t i = 0; i < n; ++i) dest.data[i] = a.data[i] / b.data[i];
}

int32_t compare_Double_asc(const void* p, const void* q) {
    const double a = *static_cast<const double*>(p);
    const double b = *static_cast<const double*>(q);
    if (b > a) return -1;
    if (a > b) return 1;
    return 0;
}

std::optional<double> slice(const Image& frame) {
    constexpr uint64_t S = kSliceBlockSize;
    const uint64_t h = frame.h;
    if (h < 48) return std::nullopt;
    const uint32_t w = static_cast<uint32_t>(frame.w);
    // No column has a partner 16 to its right: every horizontal fraction is 0/0,
    // computed at run time so the NaN prints as the platform's division makes it.
    if (w <= S) {
        volatile double noSamples = 0.0;
        return 1.0 / (0.0 / noSamples);
    }

    // Of the h / S bands the last has no band below it and takes no part in the
    // ratios, so only the nV bands that have one are counted.
    const uint64_t nV = (h - S) / S;
    thread_local SliceWorkspace ws;
    const Image32 verticalCounts = planeIn(ws.verticalCounts, 1, nV);
    const Image32 horizontalCounts = planeIn(ws.horizontalCounts, 1, nV);
    const ImageDouble verticalFractions = planeIn(ws.verticalFractions, 1, nV);
    const ImageDouble horizontalFractions = planeIn(ws.horizontalFractions, 1, nV);
    const ImageDouble ratios = planeIn(ws.ratios, 1, nV);

    activeKernels().bandRepeats(planeOf(frame), static_cast<uint32_t>(nV), verticalCounts.data,
                                horizontalCounts.data);
    fractions(verticalCounts, verticalFractions, static_cast<uint32_t>(S) * w);
    fractions(horizontalCounts, horizontalFractions, static_cast<uint32_t>(S) * (w - static_cast<uint32_t>(S)));
    divideDouble(verticalFractions, horizontalFractions, ratios);
    return 1.0 / smallestRatio(ratios);
}
