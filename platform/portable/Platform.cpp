#include "platform/Platform.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/portable/PortablePlatform.h"

namespace {

uint16_t uiLanguage = 0x0400;
std::map<UINT, std::optional<std::u16string>> stringOverrides;
std::vector<int> loadCapacities;
platform::portable::StringCatalog catalog = {};

std::map<HANDLE, std::optional<std::u16string>> printers;

char fakeProcessHeap;

// The blocks each live heap holds, and the heaps destroyed so far; heaps are
// used from several threads, as the platform's are.
std::mutex heapLock;
std::map<HANDLE, std::set<void*>> heapBlocks;
std::set<HANDLE> destroyedHeaps;
long destroyedHeapUses = 0;
uintptr_t nextHeap = 0x4EA70000;

bool Destroyed(HANDLE heap) {
    if (!destroyedHeaps.count(heap)) return false;
    ++destroyedHeapUses;
    return true;
}

}  // namespace

namespace platform {

void* HeapAllocZero(HANDLE heap, size_t bytes) {
    const std::lock_guard<std::mutex> lock(heapLock);
    if (Destroyed(heap) || portable::NextAllocationFails(__builtin_return_address(0))) return nullptr;
    void* block = portable::CountBlock(std::calloc(1, bytes == 0 ? 1 : bytes));
    if (block) heapBlocks[heap].insert(block);
    return block;
}

void HeapRelease(HANDLE heap, void* block) {
    const std::lock_guard<std::mutex> lock(heapLock);
    if (Destroyed(heap)) return;
    heapBlocks[heap].erase(block);
    portable::UncountBlock(block);
    std::free(block);
}

HANDLE ProcessHeap() { return &fakeProcessHeap; }

int LoadStringText(HMODULE module, UINT id, char16_t* buffer, int capacity) {
    loadCapacities.push_back(capacity);
    if (!buffer || capacity <= 0) return 0;
    // A null module is the process's executable, which holds no catalogue.
    if (!module) {
        buffer[0] = 0;
        return 0;
    }
    const char16_t* text = nullptr;
    std::u16string overridden;
    if (auto it = stringOverrides.find(id); it != stringOverrides.end()) {
        if (it->second) {
            overridden = *it->second;
            text = overridden.c_str();
        }
    } else {
        if (catalog.find) {
            const uint16_t lang = catalog.hasBlock(uiLanguage) ? uiLanguage : 0x0400;
            text = catalog.find(lang, id);
        }
    }
    int n = 0;
    if (text)
        while (text[n] && n < capacity - 1) {
            buffer[n] = text[n];
            ++n;
        }
    buffer[n] = 0;
    return n;
}

bool GetPrinterDriverInfo(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed) {
    auto it = printers.find(printer);
    if (it == printers.end() || level != 3) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::optional<std::u16string>& path = it->second;
    const size_t units = path ? path->size() + 1 : 0;
    DWORD want = static_cast<DWORD>(sizeof(DRIVER_INFO_3W) + units * sizeof(char16_t));
    if (needed) *needed = want;
    if (!buffer || size < want) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    std::memset(buffer, 0, want);
    auto* info = reinterpret_cast<DRIVER_INFO_3W*>(buffer);
    info->cVersion = 3;
    if (path) {
        auto* text = reinterpret_cast<char16_t*>(buffer + sizeof(DRIVER_INFO_3W));
        std::memcpy(text, path->c_str(), units * sizeof(char16_t));
        info->pDataFile = text;
    }
    return true;
}

}  // namespace platform

namespace platform::portable {

void UseStringCatalog(StringCatalog strings) { catalog = strings; }

void SetUiLanguage(uint16_t languageId) { uiLanguage = languageId; }

void OverrideString(UINT id, std::u16string_view text) { stringOverrides[id] = std::u16string(text); }
void RemoveString(UINT id) { stringOverrides[id] = std::nullopt; }
void ResetStrings() {
    stringOverrides.clear();
    loadCapacities.clear();
}
std::vector<int> LoadStringCapacities() { return loadCapacities; }

HANDLE CreateHeap() {
    const std::lock_guard<std::mutex> lock(heapLock);
    return reinterpret_cast<HANDLE>(nextHeap += 0x10);
}

void DestroyHeap(HANDLE heap) {
    const std::lock_guard<std::mutex> lock(heapLock);
    if (Destroyed(heap)) return;
    for (void* block : heapBlocks[heap]) {
        UncountBlock(block);
        std::free(block);
    }
    heapBlocks.erase(heap);
    destroyedHeaps.insert(heap);
}

long BlocksIn(HANDLE heap) {
    const std::lock_guard<std::mutex> lock(heapLock);
    auto it = heapBlocks.find(heap);
    return it == heapBlocks.end() ? 0 : static_cast<long>(it->second.size());
}

long UsesOfDestroyedHeaps() {
    const std::lock_guard<std::mutex> lock(heapLock);
    return destroyedHeapUses;
}

void AddPrinter(HANDLE printer, std::u16string_view dataFile) { printers[printer] = std::u16string(dataFile); }
void AddPrinter(HANDLE printer, std::nullptr_t) { printers[printer] = std::nullopt; }
void RemoveAllPrinters() { printers.clear(); }

}  // namespace platform::portable
