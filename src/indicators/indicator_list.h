// Indicators requested by name: the command line's --indicators and the library's lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A list of indicator keys or names ("blur,noise,freezing", "all"), or a mask
// (decimal or 0x hexadecimal). Indicators that a listed one needs are added.
std::optional<uint32_t> parseIndicatorList(const std::string& text, std::string& error);
