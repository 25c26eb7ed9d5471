#include "tools/screen_luminance.h"

#include <algorithm>
#include <cmath>

TransferKind transferKind(const std::optional<std::string>& transfer) {
    if (transfer == "smpte2084") return TransferKind::Pq;
    if (transfer == "arib-std-b67") return TransferKind::Hlg;
    return TransferKind::Sdr;
}

double normalisedSignal(double code, int depth, bool fullRange, bool chroma) {
    depth = std::clamp(depth, 8, 16);
    const double scale = static_cast<double>(1u << (depth - 8));
    double v = 0;
    if (fullRange) {
        const double top = static_cast<double>((1u << depth) - 1);
        v = chroma ? (code - static_cast<double>(1u << (depth - 1))) / top : code / top;
    } else {
        v = chroma ? (code - 128 * scale) / (224 * scale) : (code - 16 * scale) / (219 * scale);
    }
    return chroma ? std::clamp(v, -0.5, 0.5) : std::clamp(v, 0.0, 1.0);
}

namespace {

// SMPTE ST 2084 EOTF: cd/m² of a PQ signal.
double pqLuminance(double signal) {
    constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
    constexpr double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(signal, 1 / m2);
    return 10000.0 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

// BT.2100 HLG inverse OETF: relative scene light of a signal.
double hlgSceneLight(double signal) {
    constexpr double a = 0.17883277, b = 1 - 4 * a;
    const double c = 0.5 - a * std::log(4 * a);
    return signal <= 0.5 ? signal * signal / 3 : (std::exp((signal - c) / a) + b) / 12;
}

// BT.2100 HLG system gamma for a display of this peak (1.2 at 1000 cd/m²).
double hlgGamma(double peak) { return 1.2 + 0.42 * std::log10(peak / 1000.0); }

}  // namespace

double screenLuminance(double signal, TransferKind kind, const DisplayModel& display) {
    switch (kind) {
        case TransferKind::Pq: return pqLuminance(signal);
        // Luminance of a grey of this signal: the OOTF on one component is the OOTF on Ys.
        case TransferKind::Hlg: return display.hlgPeak * std::pow(hlgSceneLight(signal), hlgGamma(display.hlgPeak));
        case TransferKind::Sdr: break;
    }
    // BT.1886 Annex 1, with the display's white Lw and black Lb.
    const double w = std::pow(display.white, 1 / 2.4), k = std::pow(std::max(display.black, 0.0), 1 / 2.4);
    const double a = std::pow(w - k, 2.4), b = k / (w - k);
    return a * std::pow(std::max(signal + b, 0.0), 2.4);
}

MatrixWeights matrixWeights(const std::optional<std::string>& matrix, uint32_t height) {
    if (matrix == "bt709") return {0.2126, 0.0722};
    if (matrix == "bt2020nc" || matrix == "bt2020c") return {0.2627, 0.0593};
    if (matrix == "smpte240m") return {0.212, 0.087};
    if (matrix == "fcc") return {0.30, 0.11};
    if (matrix == "smpte170m" || matrix == "bt470bg") return {0.299, 0.114};
    return height >= 720 ? MatrixWeights{0.2126, 0.0722} : MatrixWeights{0.299, 0.114};
}

std::vector<uint32_t> luminanceTable(int depth, bool fullRange, TransferKind kind, const DisplayModel& display) {
    std::vector<uint32_t> table(std::size_t{1} << depth);
    for (std::size_t code = 0; code < table.size(); ++code) {
        const double l = screenLuminance(normalisedSignal(static_cast<double>(code), depth, fullRange), kind, display);
        table[code] = static_cast<uint32_t>(std::lround(l * kLuminanceScale));
    }
    return table;
}

LinearRgb linearRgb(double y, double cb, double cr, MatrixWeights w, TransferKind kind, const DisplayModel& display) {
    const double kg = 1 - w.kr - w.kb;
    const double r = y + 2 * (1 - w.kr) * cr;
    const double b = y + 2 * (1 - w.kb) * cb;
    const double g = (y - w.kr * r - w.kb * b) / kg;
    // Relative to the display's white, so that the share of red does not depend on its peak.
    const double white = screenLuminance(1.0, kind, display);
    const auto linear = [&](double v) { return screenLuminance(std::clamp(v, 0.0, 1.0), kind, display) / white; };
    return {linear(r), linear(g), linear(b)};
}
