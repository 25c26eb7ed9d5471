#include "tools/scratch.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

struct Slot {
    void* data = nullptr;
    std::size_t capacity = 0;
};

struct SlotSet {
    std::vector<Slot> slots;
    ~SlotSet() {
        for (Slot& s : slots) std::free(s.data);
    }
};

thread_local SlotSet threadSlots;

constexpr std::size_t kAlignment = 64;

}  // namespace

void* scratchBytes(unsigned slot, std::size_t bytes) {
    std::vector<Slot>& slots = threadSlots.slots;
    if (slot >= slots.size()) slots.resize(slot + 1);
    Slot& s = slots[slot];
    if (bytes > s.capacity || s.data == nullptr) {
        const std::size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
        if (rounded < bytes) throw std::bad_alloc();
        void* fresh = std::aligned_alloc(kAlignment, rounded == 0 ? kAlignment : rounded);
        if (fresh == nullptr) throw std::bad_alloc();
        std::free(s.data);
        s.data = fresh;
        s.capacity = rounded;
    }
    std::memset(s.data, 0, bytes);
    return s.data;
}
