// Test fixtures made by the ffmpeg program; tests that need one skip when it is absent.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sample/sample_video.h"
#include "test_support.h"

// Full path of the ffmpeg program, or empty when it is not installed.
inline std::string ffmpegProgram() {
    static const std::string path = [] {
        std::string found;
        if (FILE* which = popen("command -v ffmpeg 2>/dev/null", "r")) {
            char line[4096] = {};
            if (fgets(line, sizeof line, which)) found = line;
            pclose(which);
        }
        while (!found.empty() && (found.back() == '\n' || found.back() == '\r')) found.pop_back();
        return found;
    }();
    return path;
}

#define SKIP_WITHOUT_FFMPEG() \
    if (ffmpegProgram().empty()) GTEST_SKIP() << "the ffmpeg program is not installed"

// Runs ffmpeg quietly in `dir`; true when it succeeded.
inline bool runFfmpeg(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    std::vector<std::string> all{"-hide_banner", "-loglevel", "error", "-y"};
    all.insert(all.end(), args.begin(), args.end());
    const ProcessResult result = runProcess(ffmpegProgram(), all, dir);
    if (result.status != 0) ADD_FAILURE() << "ffmpeg failed: " << result.err;
    return result.status == 0;
}

// Encodes the raw clip `raw` of `spec` (4:2:0 unless `layout` says otherwise) into `output`
// with the given codec options.
inline bool encodeSample(const std::filesystem::path& dir, const SampleSpec& spec, const std::string& raw,
                         const std::string& output, const std::vector<std::string>& codec,
                         const std::string& layout = "yuv420p") {
    std::vector<std::string> args{"-f", "rawvideo", "-pix_fmt", layout, "-s",
                                  std::to_string(spec.width) + "x" + std::to_string(spec.height),
                                  "-r", "25", "-i", raw};
    args.insert(args.end(), codec.begin(), codec.end());
    args.push_back(output);
    return runFfmpeg(dir, args);
}
