// The pictures of a channel's alarms (--snapshots DIR): the luma of the frame where each
// pending alarm's defect began, kept until the alarm is raised and then written as a PNG
// file, whole or absent, named CHANNEL-EVENT-TIME.png.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/image.h"

class AlarmSnapshots {
public:
    // No folder: nothing is kept or written.
    AlarmSnapshots(std::optional<std::string> folder, std::string channel, uint32_t width, uint32_t height);

    bool wanted() const { return folder_.has_value(); }
    // The luma of the latest frame, copied.
    void keep(const Image& luma);
    // An alarm is pending: the latest frame is where its defect began.
    void pending(std::string_view event);
    // Writes the picture where the raised alarm began; its path, or empty (none kept, or
    // writing failed, which is said on standard error).
    std::string write(std::string_view event);

private:
    std::optional<std::string> folder_;
    std::string channel_;
    uint32_t width_, height_;
    std::vector<uint8_t> last_;
    std::map<std::string, std::vector<uint8_t>, std::less<>> starts_;  // by event type
};
