// Command line: the positional form's conversions and size checks, and the
// option form's parser, on argument vectors cut from the input at NUL bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/options.h"
#include "driver/command_line.h"
#include "driver/legacy_run.h"

namespace {

constexpr std::size_t kMaxArguments = 32;

std::vector<std::string> argumentsOf(const uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments{"frameprobe"};
    std::string current;
    for (std::size_t i = 0; i < size && arguments.size() < kMaxArguments; ++i) {
        if (data[i] != 0) {
            current.push_back(static_cast<char>(data[i]));
            continue;
        }
        arguments.push_back(current);
        current.clear();
    }
    if (arguments.size() < kMaxArguments) arguments.push_back(current);
    return arguments;
}

void convertPositional(int argc, char** argv) {
    const auto line = splitCommandLine(argc, argv);
    if (!line) return;
    checkGeometry(parseInt32(line->width), parseInt32(line->height));
    if (line->requestedVQIs) parseMask(line->requestedVQIs);
    if (line->fps) parseFps(line->fps);
    if (line->numberOfFrames) parseInt32(line->numberOfFrames);
    if (line->startFrame) parseInt32(line->startFrame);
    positionalAsOptions(argc, argv);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The parsers print usage and messages; only crashes and sanitizer reports count.
    if (freopen("/dev/null", "w", stdout) == nullptr) perror("fuzz_command_line: /dev/null");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments = argumentsOf(data, size);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(arguments.size());

    convertPositional(argc, argv.data());
    usesOptionForm(argc, argv.data());
    parseOptions(argc, argv.data());
    std::string error;
    for (std::size_t i = 1; i < arguments.size(); ++i) parseIndicatorList(arguments[i], error);
    return 0;
}
