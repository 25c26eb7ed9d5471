// Y4M input: the stream header parser, and a whole source reading every frame,
// both from a file (which seeks) and from a stream read forward (as a pipe is).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "io/y4m_source.h"

namespace {

// Larger frames are opened but not read: a fuzzing input holds few bytes of them anyway.
constexpr uint64_t kMaxLumaSamples = 1 << 20;
constexpr int64_t kMaxFrames = 256;

std::unique_ptr<ByteStream> fileWith(const std::string& bytes) {
    FILE* file = tmpfile();
    if (file == nullptr) return nullptr;
    if (fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || fseeko(file, 0, SEEK_SET) != 0) {
        fclose(file);
        return nullptr;
    }
    return std::make_unique<ByteStream>(file, true);
}

// A FILE without a descriptor: the stream cannot seek and reads forward.
std::unique_ptr<ByteStream> forwardStreamWith(std::string& bytes) {
    if (bytes.empty()) return nullptr;
    FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    if (file == nullptr) return nullptr;
    return std::make_unique<ByteStream>(file, true);
}

void readEveryFrame(std::unique_ptr<ByteStream> stream, int64_t first) {
    if (!stream) return;
    auto opened = Y4mSource::open(std::move(stream), "input");
    auto* source = std::get_if<std::unique_ptr<Y4mSource>>(&opened);
    if (source == nullptr) return;
    const SourceInfo& info = (*source)->info();
    if (uint64_t{info.width} * info.height > kMaxLumaSamples) return;
    std::vector<uint8_t> samples(std::size_t{info.width} * info.height);
    Image luma = makeImage(info.width, info.height, samples.data());
    int64_t index = first;
    while (index < first + kMaxFrames && (*source)->read(index, luma).status == ReadResult::Frame) ++index;
    // A plane of another size is refused, not written past.
    Image small = makeImage(1, 1, samples.data());
    (*source)->read(index + 1, small);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    Y4mFormat format;
    parseY4mHeader(bytes.substr(0, bytes.find('\n')), format);

    for (int64_t first : {0, 2}) {
        readEveryFrame(fileWith(bytes), first);
        readEveryFrame(forwardStreamWith(bytes), first);
    }
    return 0;
}
