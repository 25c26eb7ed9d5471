// Helpers for tests: planes built in memory, and runs of the real binaries.
#pragma once

// Built with a sanitizer (GCC says so by macros; Clang 14 by __has_feature): such a program
// reserves terabytes of shadow memory, so tests of its peak memory or address space skip.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FRAMEPROBE_TESTS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FRAMEPROBE_TESTS_SANITIZED 1
#endif
#endif

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "tools/image.h"

// An 8-bit plane that owns its samples.
struct OwnedImage {
    std::vector<uint8_t> samples;
    Image image;
    OwnedImage(uint64_t w, uint64_t h, uint8_t fill = 0);
    OwnedImage(uint64_t w, uint64_t h, std::initializer_list<int> rowMajor);
    OwnedImage(const OwnedImage&) = delete;
    OwnedImage& operator=(const OwnedImage&) = delete;
    uint8_t& at(uint64_t x, uint64_t y) { return samples[y * image.w + x]; }
    operator const Image&() const { return image; }
};

// A fresh temporary directory, removed with the object.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
};

struct ProcessResult {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs `binary` with `args` in `workDir`, with extra environment assignments
// ("NAME=value"), capturing both output streams.
ProcessResult runProcess(const std::string& binary, const std::vector<std::string>& args,
                         const std::filesystem::path& workDir, const std::vector<std::string>& env = {});

std::string readFile(const std::filesystem::path& path);

// The bytes of a base64 text, as the report and the catalogue embed pictures and files.
std::string decodeBase64(const std::string& text);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
