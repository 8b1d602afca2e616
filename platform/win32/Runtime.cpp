#include "platform/Runtime.h"

#include <windows.h>

#include <cstdlib>

namespace platform {

void SetLastErrorCode(uint32_t code) { ::SetLastError(code); }
uint32_t LastErrorCode() { return ::GetLastError(); }

void* MemAlloc(size_t bytes) { return std::malloc(bytes); }
void* MemRealloc(void* block, size_t bytes) { return std::realloc(block, bytes); }
void MemFree(void* block) { std::free(block); }

int AnsiToWide(const char* text, char16_t* dest, int capacity) {
    return ::MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(dest), capacity);
}

int WideToAnsi(const char16_t* text, char* dest, int capacity) {
    return ::WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text), -1, dest, capacity, nullptr,
                                 nullptr);
}

FILE* OpenForRead(const char16_t* path) { return ::_wfopen(reinterpret_cast<const wchar_t*>(path), L"r"); }

}  // namespace platform
