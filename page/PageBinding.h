// What the page's platform binding provides to the page's registration, and
// the parts of that binding that need no window system.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/PluginContext.h"
#include "platform/HostAbi.h"
#include "platform/Platform.h"

// Fills the page's descriptor, makes the activation context ready and adds
// the page through context.propSheetCallback; the service's answer, unexamined.
HANDLE AddPageToSheet(PluginContext& context, const char16_t* title);

constexpr DWORD kModulePathCapacity = 260;
constexpr int kModulePathAttempts = 10;

constexpr size_t PathBufferBytes(size_t units) {
    // Saturates so that an impossible size fails the allocation.
    return units > SIZE_MAX / sizeof(char16_t) ? SIZE_MAX : units * sizeof(char16_t);
}

// The module's own path in a block from `heap`, or an empty owner.
// `read(buffer, capacity)` keeps GetModuleFileNameW's contract: the length
// copied, the capacity when cut short, 0 on failure.
template <typename ReadPath>
platform::HeapBlock<char16_t> ReadModulePath(HANDLE heap, ReadPath read) {
    DWORD capacity = kModulePathCapacity;
    for (int attempt = 1;; ++attempt) {
        auto path = platform::HeapBlock<char16_t>::Allocate(heap, PathBufferBytes(capacity));
        if (!path) return path;
        const DWORD length = read(path.get(), capacity);
        if (length == 0) return {};
        if (length < capacity) return path;
        if (attempt == kModulePathAttempts) {
            // Older systems leave a cut path unterminated.
            path.get()[capacity - 1] = 0;
            return path;
        }
        capacity *= 2;
    }
}
