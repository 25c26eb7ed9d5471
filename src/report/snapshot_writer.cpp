#include "report/snapshot_writer.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "analysis/run_record.h"
#include "indicators/registry.h"
#include "output/output_file.h"
#include "output/whole_file.h"
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

// Each file is whole or absent.
void SnapshotWriter::write(const std::string& name, const Thumbnail& picture) const {
    writeWholeFile((std::filesystem::path(folder_) / name).string(), encodeGreyPng(picture.image()));
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
