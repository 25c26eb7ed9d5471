// The JSON Lines reader that merge trusts with other machines' files: any bytes give a
// run or a RecordedRunError, never a crash or another exception.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "output/jsonl_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // The reader takes a path: the bytes go to a file in memory, named through /proc.
    const int fd = memfd_create("part.jsonl", 0);
    if (fd < 0) return 0;
    for (std::size_t written = 0; written < size;) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) {
            close(fd);
            return 0;
        }
        written += static_cast<std::size_t>(n);
    }
    try {
        const RecordedRun run = readJsonlRun("/proc/self/fd/" + std::to_string(fd));
        // What merge reads of a part first: its rows against its frame numbers.
        if (run.rows.size() != run.frames.size()) __builtin_trap();
    } catch (const RecordedRunError&) {
    }
    close(fd);
    return 0;
}
