// The interface of the module that reads containers with FFmpeg's libraries.
// The program loads the module only for inputs that need it, so that raw and
// Y4M runs neither map those libraries (and their many dependencies) nor pay
// for linking them at start-up. Program and module come from one build, so C++
// types may cross the boundary; the version and size refuse a module of another.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "io/frame_source.h"

// Raise it whenever the table or a type it passes (FrameSource, SourceInfo, ReadResult) changes.
inline constexpr uint32_t kFfmpegModuleVersion = 8;

// How a live stream is opened: reads give up when `stop` is set or when no
// packet came for `timeoutSeconds`, and the first audio stream is decoded for its level.
struct LiveOpenOptions {
    const std::atomic<bool>* stop = nullptr;
    double timeoutSeconds = 5;
};

struct ContainerRequest {
    std::string path;  // in messages; the file opened unless `read` is given
    int stream = -1;   // the first video stream when negative
    // A pipe's bytes, from its first on, for containers on standard input.
    std::function<std::size_t(uint8_t*, std::size_t)> read;
    // "quiet", "summary" (the first messages and a count) or an FFmpeg level name.
    std::string log = "summary";
    // The decoder's threads, as the run's (ffmpeg's -threads N) up to the machine's CPUs; 0: as many as those.
    unsigned threads = 0;
    // Decoder threads asked for by name, frame threads whatever the codec; 0: the rule in openStream.
    unsigned decoderThreads = 0;
};

struct FfmpegModule {
    uint32_t version;  // kFfmpegModuleVersion of the module's build
    uint32_t size;     // sizeof(FfmpegModule) of the module's build
    // True when FFmpeg recognises a container from the first bytes of the file named `path`.
    bool (*probe)(const std::string& path, const std::string& firstBytes);
    // Opens the stream a request names.
    std::variant<std::unique_ptr<FrameSource>, std::string> (*open)(const ContainerRequest& request);
    // Opens the first video stream of a URL or file as a live stream.
    std::variant<std::unique_ptr<FrameSource>, std::string> (*openLive)(const std::string& url,
                                                                       const LiveOpenOptions& options);
};

// The module's one exported function, looked up by this name.
inline constexpr const char* kFfmpegModuleEntry = "frameprobe_ffmpeg_module";
extern "C" const FfmpegModule* frameprobe_ffmpeg_module();
