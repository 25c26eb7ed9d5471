#include "sample/sample_video.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

namespace {

using Plane = std::vector<uint8_t>;

uint8_t clampSample(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// Small deterministic hash, so that every frame can be made on its own.
uint32_t hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Smooth gradients, a moving bright square and a mild texture.
Plane baseLuma(int w, int h, int t) {
    Plane p(static_cast<size_t>(w) * h);
    const int squareX = (t * 5) % std::max(1, w);
    const int squareY = (t * 3) % std::max(1, h);
    const int side = std::max(4, std::min(w, h) / 5);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int v = 40 + (x * 120) / std::max(1, w) + (y * 60) / std::max(1, h);
            v += static_cast<int>(hash(static_cast<uint32_t>(y * 7919 + x)) % 9) - 4;
            if (x >= squareX && x < squareX + side && y >= squareY && y < squareY + side) v = 220;
            p[static_cast<size_t>(y) * w + x] = clampSample(v);
        }
    }
    return p;
}

struct Context {
    const SampleSpec& spec;
    int w, h, index;
};

using Defect = std::function<void(const Context&, Plane&)>;

void flatten(Plane& p, int w, int x0, int y0, int bw, int bh, uint8_t level) {
    for (int y = y0; y < y0 + bh; ++y)
        for (int x = x0; x < x0 + bw; ++x) p[static_cast<size_t>(y) * w + x] = level;
}

const std::map<std::string, Defect>& defects() {
    static const std::map<std::string, Defect> table = {
        {"black", [](const Context& c, Plane& p) { flatten(p, c.w, 0, 0, c.w, c.h, 0); }},
        {"flat", [](const Context& c, Plane& p) { flatten(p, c.w, 0, 0, c.w, c.h, 128); }},
        {"letterbox",
         [](const Context& c, Plane& p) {
             const int bar = c.h / 8;
             flatten(p, c.w, 0, 0, c.w, bar, 0);
             flatten(p, c.w, 0, c.h - bar, c.w, bar, 0);
         }},
        {"pillarbox",
         [](const Context& c, Plane& p) {
             const int bar = c.w / 8;
             flatten(p, c.w, 0, 0, bar, c.h, 0);
             flatten(p, c.w, c.w - bar, 0, bar, c.h, 0);
         }},
        {"blocky",
         [](const Context& c, Plane& p) {
             for (int by = 0; by + 8 <= c.h; by += 8)
                 for (int bx = 0; bx + 8 <= c.w; bx += 8) {
                     int sum = 0;
                     for (int y = by; y < by + 8; ++y)
                         for (int x = bx; x < bx + 8; ++x) sum += p[static_cast<size_t>(y) * c.w + x];
                     flatten(p, c.w, bx, by, 8, 8, static_cast<uint8_t>(sum / 64));
                 }
         }},
        {"blur",
         [](const Context& c, Plane& p) {
             const Plane src = p;
             for (int y = 0; y < c.h; ++y)
                 for (int x = 0; x < c.w; ++x) {
                     int sum = 0, n = 0;
                     for (int dy = -3; dy <= 3; ++dy)
                         for (int dx = -3; dx <= 3; ++dx) {
                             const int yy = y + dy, xx = x + dx;
                             if (yy < 0 || yy >= c.h || xx < 0 || xx >= c.w) continue;
                             sum += src[static_cast<size_t>(yy) * c.w + xx];
                             ++n;
                         }
                     p[static_cast<size_t>(y) * c.w + x] = static_cast<uint8_t>(sum / n);
                 }
         }},
        {"noise",
         [](const Context& c, Plane& p) {
             for (size_t i = 0; i < p.size(); ++i) {
                 const int delta = static_cast<int>(hash(static_cast<uint32_t>(i) * 31 + c.index * 1000003U) % 41) - 20;
                 p[i] = clampSample(p[i] + delta);
             }
         }},
        {"interlace",
         [](const Context& c, Plane& p) {
             // The odd field comes from a moment with strong motion: combing.
             const Plane other = baseLuma(c.w, c.h, c.index + 7);
             for (int y = 1; y < c.h; y += 2)
                 for (int x = 0; x < c.w; ++x) {
                     const size_t i = static_cast<size_t>(y) * c.w + x;
                     p[i] = static_cast<uint8_t>(255 - other[i]);
                 }
         }},
        {"lostblocks",
         [](const Context& c, Plane& p) {
             for (int by = 16; by + 16 <= c.h; by += 64)
                 for (int bx = 16; bx + 16 <= c.w; bx += 80) flatten(p, c.w, bx, by, 16, 16, 0);
         }},
        {"flicker",
         [](const Context& c, Plane& p) {
             // One 8x8 block alternates between two levels on every frame.
             if (c.w >= 16 && c.h >= 16) flatten(p, c.w, 8, 8, 8, 8, c.index % 2 ? 200 : 30);
         }},
    };
    return table;
}

}  // namespace

const std::vector<std::string>& sampleDefectNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all{"freeze"};
        for (const auto& entry : defects()) all.push_back(entry.first);
        return all;
    }();
    return names;
}

std::vector<uint8_t> sampleLuma(const SampleSpec& spec, int32_t index) {
    // A frozen stretch repeats the picture of its first frame.
    int32_t moment = index;
    for (const SampleDefect& d : spec.defects)
        if (d.name == "freeze" && index >= d.first && index <= d.last) moment = d.first;
    Plane p = baseLuma(spec.width, spec.height, moment);
    const Context context{spec, spec.width, spec.height, index};
    // Black and flat pictures replace everything else, so they come last.
    for (const bool replacing : {false, true}) {
        for (const SampleDefect& d : spec.defects) {
            const auto found = defects().find(d.name);
            if (found == defects().end() || index < d.first || index > d.last) continue;
            if ((d.name == "black" || d.name == "flat") == replacing) found->second(context, p);
        }
    }
    return p;
}

bool writeSampleVideo(const SampleSpec& spec, const std::string& path) {
    FILE* out = fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool y4m = path.size() >= 4 && path.compare(path.size() - 4, 4, ".y4m") == 0;
    const size_t lumaSize = static_cast<size_t>(spec.width) * spec.height;
    // Raw clips keep their historical size of 1.5 bytes a pixel; Y4M rounds
    // odd chroma planes up, as its readers expect.
    const size_t chromaBytes = y4m ? 2 * (static_cast<size_t>(spec.width + 1) / 2) * ((spec.height + 1) / 2)
                                   : static_cast<size_t>(3) * spec.width * spec.height / 2 - lumaSize;
    const std::vector<uint8_t> chroma(chromaBytes, 128);
    bool ok = !y4m || fprintf(out, "YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C420jpeg\n", spec.width, spec.height) > 0;
    for (int32_t i = 0; i < spec.frames && ok; ++i) {
        const Plane luma = sampleLuma(spec, i);
        ok = (!y4m || fputs("FRAME\n", out) >= 0) && fwrite(luma.data(), 1, luma.size(), out) == luma.size() &&
             fwrite(chroma.data(), 1, chroma.size(), out) == chroma.size();
    }
    return fclose(out) == 0 && ok;
}
