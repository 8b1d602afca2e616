#include "HeapCounter.h"

#include <cstdint>
#include <cstring>

// glibc's own entry points, which the wrappers below forward to.
extern "C" void* __libc_malloc(size_t bytes);
extern "C" void* __libc_calloc(size_t count, size_t bytes);
extern "C" void* __libc_realloc(void* block, size_t bytes);
extern "C" void __libc_free(void* block);

namespace {

// Block address -> requested size, open addressing with linear probing and
// backward-shift deletion, so no memory of its own is allocated while counting.
constexpr size_t kSlotBits = 20;
constexpr size_t kSlots = size_t(1) << kSlotBits;

struct Slot {
    void* block;
    size_t bytes;
};

Slot slots[kSlots];
bool counting = false;
size_t tracked = 0;
size_t liveBytes = 0;
size_t peakBytes = 0;
long allocations = 0;

size_t Home(const void* block) {
    return static_cast<size_t>((reinterpret_cast<uintptr_t>(block) >> 4) * 0x9E3779B97F4A7C15ull >>
                               (64 - kSlotBits));
}

void Track(void* block, size_t bytes) {
    ++allocations;
    liveBytes += bytes;
    if (liveBytes > peakBytes) peakBytes = liveBytes;
    if (tracked + 1 >= kSlots / 2) return;  // the figure stays a lower bound
    size_t i = Home(block);
    while (slots[i].block) i = (i + 1) & (kSlots - 1);
    slots[i] = {block, bytes};
    ++tracked;
}

void Untrack(void* block) {
    size_t i = Home(block);
    while (slots[i].block != block) {
        if (!slots[i].block) return;  // allocated before counting began
        i = (i + 1) & (kSlots - 1);
    }
    liveBytes -= slots[i].bytes;
    --tracked;
    // Pull later entries of the probe run back into the hole.
    size_t hole = i;
    for (size_t j = (i + 1) & (kSlots - 1); slots[j].block; j = (j + 1) & (kSlots - 1)) {
        // Movable when its home is no nearer to j than the hole is.
        if (((j - Home(slots[j].block)) & (kSlots - 1)) >= ((j - hole) & (kSlots - 1))) {
            slots[hole] = slots[j];
            hole = j;
        }
    }
    slots[hole] = {nullptr, 0};
}

}  // namespace

extern "C" void* malloc(size_t bytes) noexcept {
    void* block = __libc_malloc(bytes);
    if (counting && block) Track(block, bytes);
    return block;
}

extern "C" void* calloc(size_t count, size_t bytes) noexcept {
    void* block = __libc_calloc(count, bytes);
    if (counting && block) Track(block, count * bytes);
    return block;
}

extern "C" void* realloc(void* block, size_t bytes) noexcept {
    void* moved = __libc_realloc(block, bytes);
    if (counting) {
        if (block && (moved || bytes == 0)) Untrack(block);
        if (moved) Track(moved, bytes);
    }
    return moved;
}

extern "C" void free(void* block) noexcept {
    if (counting && block) Untrack(block);
    __libc_free(block);
}

namespace heapcount {

void Start() {
    std::memset(slots, 0, sizeof slots);
    tracked = liveBytes = peakBytes = 0;
    allocations = 0;
    counting = true;
}

void Stop() { counting = false; }

size_t PeakBytes() { return peakBytes; }
size_t LiveBytes() { return liveBytes; }
long Allocations() { return allocations; }

}  // namespace heapcount
