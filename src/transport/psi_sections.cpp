#include "transport/psi_sections.h"

#include <array>

namespace {

constexpr std::size_t kMostSectionBytes = 4096;  // private sections' limit; PSI's is 1024

std::array<uint32_t, 256> crcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int bit = 0; bit < 8; ++bit) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        table[i] = c;
    }
    return table;
}

std::size_t sectionSize(const uint8_t* header) { return 3 + (((header[1] & 0x0Fu) << 8) | header[2]); }

}  // namespace

uint32_t sectionCrc(const uint8_t* data, std::size_t size) {
    static const std::array<uint32_t, 256> table = crcTable();
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ data[i]) & 0xFFu];
    return crc;
}

bool checkedTable(uint8_t id) {
    return id == 0x00 || id == 0x01 || id == 0x02 || id == 0x40 || id == 0x41 || id == 0x42 || id == 0x46 ||
           id == 0x4A || (id >= 0x4E && id <= 0x6F) || id == 0x73;
}

void SectionAssembler::add(const uint8_t* payload, std::size_t size, bool unitStart, const Handler& handler) {
    if (size == 0) return;
    if (!unitStart) {
        if (pending_.empty()) return;  // the rest of a section whose start was not seen
        pending_.insert(pending_.end(), payload, payload + size);
        complete(handler);
        return;
    }
    // pointer_field: the bytes before the new section end the one begun.
    const std::size_t pointer = payload[0];
    if (1 + pointer > size) {
        pending_.clear();
        return;
    }
    if (!pending_.empty()) {
        pending_.insert(pending_.end(), payload + 1, payload + 1 + pointer);
        complete(handler);
        pending_.clear();
    }
    sections(payload + 1 + pointer, size - 1 - pointer, handler);
}

void SectionAssembler::sections(const uint8_t* data, std::size_t size, const Handler& handler) {
    while (size >= 1 && data[0] != 0xFF) {  // 0xFF: stuffing to the end of the packet
        if (size < 3) {
            pending_.assign(data, data + size);
            return;
        }
        const std::size_t whole = sectionSize(data);
        if (whole > size) {
            pending_.assign(data, data + size);
            return;
        }
        handler(data, whole);
        data += whole;
        size -= whole;
    }
}

void SectionAssembler::complete(const Handler& handler) {
    if (pending_.size() < 3) return;
    const std::size_t whole = sectionSize(pending_.data());
    if (whole > kMostSectionBytes) {
        pending_.clear();
        return;
    }
    if (pending_.size() < whole) return;
    handler(pending_.data(), whole);
    pending_.clear();
}
