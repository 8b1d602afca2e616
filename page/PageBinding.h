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

// The module global g_activationContext, made when it is INVALID_HANDLE_VALUE
// and stored whatever the result, so a failed attempt is repeated next time.
HANDLE PrepareActivationContext(HANDLE (*create)());
bool UsableActivationContext(HANDLE context);

constexpr DWORD kModulePathCapacity = 260;
constexpr int kModulePathAttempts = 10;

constexpr size_t PathBufferBytes(size_t units) {
    // Saturates so that an impossible size fails the allocation.
    return units > SIZE_MAX / sizeof(char16_t) ? SIZE_MAX : units * sizeof(char16_t);
}

// The module's own path in a block from `heap` (the caller releases it), or
// null. `read(buffer, capacity)` keeps GetModuleFileNameW's contract: the
// length copied, the capacity when cut short, 0 on failure.
template <typename ReadPath>
char16_t* ReadModulePath(HANDLE heap, ReadPath read) {
    DWORD capacity = kModulePathCapacity;
    for (int attempt = 1;; ++attempt) {
        auto* path = static_cast<char16_t*>(platform::HeapAllocZero(heap, PathBufferBytes(capacity)));
        if (!path) return nullptr;
        const DWORD length = read(path, capacity);
        if (length == 0) {
            platform::HeapRelease(heap, path);
            return nullptr;
        }
        if (length < capacity) return path;
        if (attempt == kModulePathAttempts) {
            // Older systems leave a cut path unterminated.
            path[capacity - 1] = 0;
            return path;
        }
        platform::HeapRelease(heap, path);
        capacity *= 2;
    }
}
