// What a display shows for a picture's samples: screen luminance in cd/m² from the
// input's transfer function and range, and its linear red, green and blue for the
// saturated-red rule. The display is a model with settings, not a measured screen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The display the rule assumes. An SDR picture is shown on a BT.1886 display (ITU-R
// BT.1886 Annex 1: L = a * max(V + b, 0)^2.4) whose white and black are these; 200 cd/m²
// makes the rule's 20 and 160 cd/m² a tenth and four fifths of white, as guidance for
// computer screens states them. PQ is absolute (SMPTE ST 2084); HLG is shown on a
// display of `hlgPeak` with the BT.2100 system gamma for that peak.
struct DisplayModel {
    double white = 200.0;    // cd/m² of SDR peak white
    double black = 0.0;      // cd/m² of SDR black
    double hlgPeak = 1000.0;  // cd/m² of an HLG display's peak
};

enum class TransferKind { Sdr, Pq, Hlg };

// The input's samples and colour description, by FFmpeg's names; empty where the input says nothing.
struct ColourDescription {
    int bitDepth = 8;
    std::optional<std::string> range;     // "tv", "pc"
    std::optional<std::string> matrix;    // "bt709", "smpte170m", "bt470bg", "bt2020nc", ...
    std::optional<std::string> transfer;  // "bt709", "smpte2084", "arib-std-b67", ...
};

TransferKind transferKind(const std::optional<std::string>& transfer);

// The normalised signal (0 black .. 1 white, clamped) of a sample of `depth` bits: limited
// range puts black at 16 and white at 235 (luma) scaled to the depth; full range at 0 and
// 2^depth - 1. Chroma (`chroma`) is centred: -0.5 .. 0.5, limited to 16..240.
double normalisedSignal(double code, int depth, bool fullRange, bool chroma = false);

// Screen luminance in cd/m² of a normalised signal.
double screenLuminance(double signal, TransferKind kind, const DisplayModel& display);

// Luma and chroma weights of the matrix (Kr, Kb); an unstated matrix is BT.709's from 720
// rows up and BT.601's below, as players assume.
struct MatrixWeights {
    double kr;
    double kb;
};
MatrixWeights matrixWeights(const std::optional<std::string>& matrix, uint32_t height);

// Fixed point of the luminance tables: sums of whole cells stay exact in 32 bits for PQ's
// 10000 cd/m² (64 samples of 640000).
inline constexpr double kLuminanceScale = 64.0;

// The screen luminance of every sample value of `depth` bits, in 1/kLuminanceScale cd/m².
std::vector<uint32_t> luminanceTable(int depth, bool fullRange, TransferKind kind, const DisplayModel& display);

// Linear red, green and blue (relative to white) of a Y'CbCr colour given as normalised signals.
struct LinearRgb {
    double r;
    double g;
    double b;
};
LinearRgb linearRgb(double y, double cb, double cr, MatrixWeights weights, TransferKind kind,
                    const DisplayModel& display);
