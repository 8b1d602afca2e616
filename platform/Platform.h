// The host services the portable core takes from the system, on top of the
// runtime's (platform/Runtime.h): the host's heaps, string resources and the
// spooler, and owners of what they hand out. The Windows builds bind them to
// the platform (platform/win32); the native build has stand-ins that tests
// can steer (platform/portable, PortablePlatform.h). Each function keeps the
// contract of the platform call it stands for.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/HostAbi.h"
#include "platform/Runtime.h"
#include "platform/UniqueAny.h"

namespace platform {

// Blocks from a host heap (HeapAlloc with HEAP_ZERO_MEMORY / HeapFree).
// Returns null when the heap is out of memory.
void* HeapAllocZero(HANDLE heap, size_t bytes);
void HeapRelease(HANDLE heap, void* block);
HANDLE ProcessHeap();

// LoadStringW(module, id, buffer, capacity): copies at most capacity - 1
// units, terminates, returns the units copied (0 for a missing string).
int LoadStringText(HMODULE module, UINT id, char16_t* buffer, int capacity);

// GetPrinterDriverW(printer, null, level, buffer, size, needed).
bool GetPrinterDriverInfo(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed);

// ---- Owners ----------------------------------------------------------------

// A block of the heap it came from, given back to that heap. Unlike
// UniqueAny it holds two values, the block and its heap.
template <typename T>
class HeapBlock {
public:
    HeapBlock() noexcept = default;
    HeapBlock(HANDLE heap, T* block) noexcept : heap_(heap), block_(block) {}
    HeapBlock(HeapBlock&& other) noexcept : heap_(other.heap_), block_(other.release()) {}
    HeapBlock& operator=(HeapBlock&& other) noexcept {
        if (this != &other) {
            reset();
            heap_ = other.heap_;
            block_ = other.release();
        }
        return *this;
    }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock() { reset(); }

    // `bytes` of zeroes from `heap`; an empty owner when the heap has no memory.
    static HeapBlock Allocate(HANDLE heap, size_t bytes) noexcept {
        return HeapBlock(heap, static_cast<T*>(HeapAllocZero(heap, bytes)));
    }

    T* get() const noexcept { return block_; }
    HANDLE heap() const noexcept { return heap_; }
    explicit operator bool() const noexcept { return block_ != nullptr; }

    // Gives the block up without freeing it; the caller releases it to heap().
    T* release() noexcept { return std::exchange(block_, nullptr); }

    void reset() noexcept {
        if (T* block = release()) HeapRelease(heap_, block);
        heap_ = nullptr;
    }

private:
    HANDLE heap_ = nullptr;
    T* block_ = nullptr;
};

}  // namespace platform
