// Sections of program-specific and service information carried in transport packets
// (ISO/IEC 13818-1, 2.4.4): gathered from packet payloads, whole sections handed on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The CRC_32 of the MPEG-2 sections (polynomial 0x04C11DB7, no reflection); a whole
// section including its CRC gives 0.
uint32_t sectionCrc(const uint8_t* data, std::size_t size);

// Whether a section of this table carries a CRC that TR 101 290's CRC_error covers:
// PAT, CAT, PMT, NIT, SDT, BAT, EIT and TOT.
bool checkedTable(uint8_t tableId);

class SectionAssembler {
public:
    using Handler = std::function<void(const uint8_t* section, std::size_t size)>;
    // `payload` is a packet's payload; `unitStart` its payload_unit_start_indicator.
    void add(const uint8_t* payload, std::size_t size, bool unitStart, const Handler& handler);
    // A packet of the PID was lost: a section begun is dropped.
    void reset() { pending_.clear(); }

private:
    // Hands over the whole sections at the front of `data`; keeps a section begun.
    void sections(const uint8_t* data, std::size_t size, const Handler& handler);
    void complete(const Handler& handler);
    std::vector<uint8_t> pending_;  // a section begun in an earlier packet
};
