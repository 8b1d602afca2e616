#include "platform/Platform.h"

#include <cstdlib>

namespace platform {

void SetLastErrorCode(DWORD code) { ::SetLastError(code); }
DWORD LastErrorCode() { return ::GetLastError(); }

void* HeapAllocZero(HANDLE heap, size_t bytes) { return ::HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes); }
void HeapRelease(HANDLE heap, void* block) { ::HeapFree(heap, 0, block); }
HANDLE ProcessHeap() { return ::GetProcessHeap(); }

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

int LoadStringText(HMODULE module, UINT id, char16_t* buffer, int capacity) {
    return ::LoadStringW(static_cast<HINSTANCE>(module), id, reinterpret_cast<wchar_t*>(buffer), capacity);
}

bool GetPrinterDriverInfo(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed) {
    return ::GetPrinterDriverW(printer, nullptr, level, buffer, size, needed) != FALSE;
}

FILE* OpenForRead(const char16_t* path) { return ::_wfopen(reinterpret_cast<const wchar_t*>(path), L"r"); }

}  // namespace platform
