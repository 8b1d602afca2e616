#include "platform/Platform.h"

namespace platform {

void* HeapAllocZero(HANDLE heap, size_t bytes) { return ::HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes); }
void HeapRelease(HANDLE heap, void* block) { ::HeapFree(heap, 0, block); }
HANDLE ProcessHeap() { return ::GetProcessHeap(); }

int LoadStringText(HMODULE module, UINT id, char16_t* buffer, int capacity) {
    return ::LoadStringW(static_cast<HINSTANCE>(module), id, reinterpret_cast<wchar_t*>(buffer), capacity);
}

bool GetPrinterDriverInfo(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed) {
    return ::GetPrinterDriverW(printer, nullptr, level, buffer, size, needed) != FALSE;
}

}  // namespace platform
