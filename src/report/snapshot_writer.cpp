#include "report/snapshot_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "analysis/run_record.h"
#include "indicators/registry.h"
#include "output/output_file.h"
#include "report/png_writer.h"

namespace {

std::string frameName(int64_t frame) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%06lld", static_cast<long long>(frame));
    return digits;
}

}  // namespace

SnapshotWriter::SnapshotWriter(std::string folder, const RunRecord& record)
    : folder_(std::move(folder)), record_(record) {}

void SnapshotWriter::begin(const RunInfo& info) {
    // Made now, so that a folder that cannot be made stops the run before it measures.
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error || !std::filesystem::is_directory(folder_))
        throw WriteError(writeFailure(folder_, error ? error.value() : ENOTDIR));
    thumbnails_.begin(info, record_.eventOptions());
}

// Written under a temporary name and renamed: a file is whole or absent.
void SnapshotWriter::write(const std::string& name, const Thumbnail& picture) const {
    const std::string path = (std::filesystem::path(folder_) / name).string();
    const std::string partial = path + ".partial";
    const std::string png = encodeGreyPng(picture.image());
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw WriteError(writeFailure(path, errno));
    std::size_t done = 0;
    while (done < png.size()) {
        const ssize_t n = ::write(fd, png.data() + done, png.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(partial.c_str());
            throw WriteError(writeFailure(path, error));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 || std::rename(partial.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(partial.c_str());
        throw WriteError(writeFailure(path, error));
    }
}

void SnapshotWriter::end(const RunEnd&) {
    for (int i = 0; i < kIndicatorCount; ++i) {
        const Thumbnail* t = record_.requested(i) ? thumbnails_.worst(i) : nullptr;
        if (t != nullptr)
            write("frame-" + frameName(t->frame) + "-worst-" + indicatorRegistry()[static_cast<std::size_t>(i)].key +
                      ".png",
                  *t);
    }
    for (const Event& e : record_.events()) {
        const Thumbnail* t = thumbnails_.eventStart(e.type, e.startFrame);
        if (t != nullptr) write("frame-" + frameName(t->frame) + "-" + e.type + "-start.png", *t);
    }
}
