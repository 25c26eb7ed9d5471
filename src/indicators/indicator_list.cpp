#include "indicators/indicator_list.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "indicators/registry.h"

std::optional<uint32_t> parseIndicatorList(const std::string& text, std::string& error) {
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
        char* end = nullptr;
        errno = 0;
        const unsigned long long mask = std::strtoull(text.c_str(), &end, 0);
        if (errno != 0 || *end != '\0' || mask > 0xFFFFFFFFull) {
            error = "invalid indicator mask \"" + text + "\"";
            return std::nullopt;
        }
        return static_cast<uint32_t>(mask);
    }
    uint32_t mask = 0;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const std::size_t comma = std::min(text.find(',', begin), text.size());
        std::string name = text.substr(begin, comma - begin);
        for (char& c : name)
            if (c == '-') c = '_';
        if (name == "all") {
            mask |= kAllIndicators;
        } else if (const auto index = findIndicator(name.c_str())) {
            mask |= indicatorRegistry()[static_cast<std::size_t>(*index)].requiredMask;
        } else {
            error = "unknown indicator \"" + text.substr(begin, comma - begin) + "\"";
            return std::nullopt;
        }
        begin = comma + 1;
    }
    return mask;
}
