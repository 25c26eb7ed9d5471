#include "monitor/alarm_snapshots.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "monitor/record_log.h"
#include "output/whole_file.h"
#include "report/png_writer.h"

namespace {

std::string fileTime() {
    std::string t = utcNow();  // 2026-01-31T12:00:00.250Z: no ':' in file names
    for (char& c : t)
        if (c == ':') c = '-';
    return t;
}

}  // namespace

AlarmSnapshots::AlarmSnapshots(std::optional<std::string> folder, std::string channel, uint32_t width, uint32_t height)
    : folder_(std::move(folder)), channel_(std::move(channel)), width_(width), height_(height) {
    if (folder_) last_.resize(std::size_t{width_} * height_);
}

void AlarmSnapshots::keep(const Image& luma) { std::copy_n(luma.data, last_.size(), last_.data()); }

void AlarmSnapshots::pending(std::string_view event) {
    if (!last_.empty()) starts_[std::string(event)] = last_;
}

std::string AlarmSnapshots::write(std::string_view event) {
    const auto it = starts_.find(event);
    if (it == starts_.end() || !folder_) return {};
    const std::string path =
        (std::filesystem::path(*folder_) / (channel_ + "-" + std::string(event) + "-" + fileTime() + ".png")).string();
    try {
        writeWholeFile(path, encodeGreyPng(makeImage(width_, height_, it->second.data())));
        return path;
    } catch (const std::exception& e) {
        fprintf(stderr, "frameprobe: channel %s: no snapshot: %s\n", channel_.c_str(), e.what());
        return {};
    }
}
