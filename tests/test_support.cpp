#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "io/program_location.h"

// Tests that read containers in this process find FFmpeg's module where the program does.
[[maybe_unused]] static const bool moduleBesideProgram = (rememberProgramPath(FRAMEPROBE_BINARY), true);

OwnedImage::OwnedImage(uint64_t w, uint64_t h, uint8_t fill) : samples(w * h, fill) {
    image = makeImage(w, h, samples.data());
}

OwnedImage::OwnedImage(uint64_t w, uint64_t h, std::initializer_list<int> rowMajor) : samples(w * h, 0) {
    if (rowMajor.size() != w * h) throw std::invalid_argument("sample count does not match the plane");
    uint64_t i = 0;
    for (int v : rowMajor) samples[i++] = static_cast<uint8_t>(v);
    image = makeImage(w, h, samples.data());
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "frameprobe-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

ProcessResult runProcess(const std::string& binary, const std::vector<std::string>& args,
                         const std::filesystem::path& workDir, const std::vector<std::string>& env) {
    TempDir capture;
    const auto outPath = capture.path / "out";
    const auto errPath = capture.path / "err";
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (chdir(workDir.c_str()) != 0) _exit(127);
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr)) _exit(127);
        for (const std::string& assignment : env) putenv(const_cast<char*>(assignment.c_str()));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(binary.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    int raw = 0;
    waitpid(pid, &raw, 0);
    ProcessResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

std::string decodeBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int held = 0;
    for (char c : text) {
        if (c == '=') break;
        bits = bits << 6 | static_cast<uint32_t>(digits.find(c));
        held += 6;
        if (held >= 8) {
            held -= 8;
            out += static_cast<char>((bits >> held) & 0xFF);
        }
    }
    return out;
}
