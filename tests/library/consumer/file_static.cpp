// A static client that measures a container: FFmpeg's module must be found from the
// installed prefix, which only the run path its CMake package gave it knows.
#include <frameprobe/frameprobe.hpp>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    try {
        const frameprobe::FileResult result = frameprobe::analyzeFile({.input = argv[1]});
        std::printf("%s: %lld frames\n", argv[1], static_cast<long long>(result.summary.frames));
        return result.summary.frames > 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "file_static: %s\n", e.what());
        return 1;
    }
}
