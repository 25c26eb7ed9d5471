// Runs of the real binary that must not, or must, load FFmpeg's module: raw and
// Y4M input never need it; a file only FFmpeg's probe can decide does, and the
// module is found next to the program however the program was started.
#include <gtest/gtest.h>

#include <filesystem>

#include "io/ffmpeg_module_interface.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const std::string kModuleFile = fs::path(FRAMEPROBE_MODULE).filename().string();

class FfmpegModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"clip.yuv", "clip.y4m"})
            ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {name, "64", "48", "3"}, dir.path).status, 0);
        // Raw bytes under a name that does not say so: only FFmpeg's probe can tell it is no container.
        fs::copy_file(dir.path / "clip.yuv", dir.path / "clip.bin");
        fs::create_directory(dir.path / "empty");
    }
    ProcessResult shell(const std::string& command, const std::string& moduleDir = "") {
        std::vector<std::string> env{std::string("PROBE=") + FRAMEPROBE_BINARY};
        if (!moduleDir.empty()) env.push_back("FRAMEPROBE_MODULE_DIR=" + moduleDir);
        return runProcess("/bin/sh", {"-c", command}, dir.path, env);
    }
    TempDir dir;
};

TEST_F(FfmpegModuleTest, RawAndY4mRunsWorkWithoutIt) {
    const std::string empty = (dir.path / "empty").string();
    for (const char* command : {"$PROBE clip.yuv 64 48", "$PROBE -s 64x48 clip.yuv", "$PROBE clip.y4m",
                                "$PROBE clip.y4m 64 48", "$PROBE - < clip.y4m", "cat clip.yuv | $PROBE -s 64x48 -"}) {
        const ProcessResult withModule = shell(command);
        const ProcessResult without = shell(command, empty);
        EXPECT_EQ(without.status, 0) << command << ": " << without.err;
        EXPECT_EQ(without.out, withModule.out) << command;
    }
}

TEST_F(FfmpegModuleTest, AnInputThatNeedsItFailsWithoutItSayingWhatWasTried) {
    const std::string empty = (dir.path / "empty").string();
    const ProcessResult r = shell("$PROBE -s 64x48 clip.bin", empty);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Reading clip.bin needs FFmpeg's libraries, but the module " + kModuleFile +
                         " could not be loaded from FRAMEPROBE_MODULE_DIR: "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find((fs::path(empty) / kModuleFile).string()), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST_F(FfmpegModuleTest, FoundNextToTheProgramWhateverNameStartedIt) {
    // A symbolic link elsewhere, started by a relative path and by a bare name found along PATH.
    fs::create_directory(dir.path / "bin");
    fs::create_symlink(FRAMEPROBE_BINARY, dir.path / "bin" / "frameprobe");
    const std::string expected = shell("$PROBE clip.bin 64 48").out;  // the positional form reads it as raw
    for (const char* command :
         {"bin/frameprobe -s 64x48 clip.bin", "PATH=\"$PWD/bin:$PATH\" frameprobe -s 64x48 clip.bin"}) {
        const ProcessResult r = shell(command);
        EXPECT_EQ(r.status, 0) << command << ": " << r.err;
        EXPECT_EQ(r.out, expected) << command;
    }
}

TEST_F(FfmpegModuleTest, AModuleOfAnotherBuildIsRefused) {
    const ProcessResult r = shell("$PROBE -s 64x48 clip.bin", FRAMEPROBE_STALE_MODULE_DIR);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("a module of another build of frameprobe (interface " +
                         std::to_string(kFfmpegModuleVersion - 1) + ", this program needs " +
                         std::to_string(kFfmpegModuleVersion) + ")"),
              std::string::npos)
        << r.err;
}

}  // namespace
