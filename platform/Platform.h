// The few services the portable core takes from the system. The Windows
// builds bind them to the platform (platform/win32); the native build has
// stand-ins that tests can steer (platform/portable, PortablePlatform.h).
// Each function keeps the contract of the platform call it stands for.
#pragma once

#include <cstddef>
#include <cstdio>

#include "platform/HostAbi.h"

namespace platform {

// The thread's last-error code, as the host reads it after a refused call.
void SetLastErrorCode(DWORD code);
DWORD LastErrorCode();

// Blocks from a host heap (HeapAlloc with HEAP_ZERO_MEMORY / HeapFree).
// Returns null when the heap is out of memory.
void* HeapAllocZero(HANDLE heap, size_t bytes);
void HeapRelease(HANDLE heap, void* block);
HANDLE ProcessHeap();

// The C runtime's malloc / realloc / free, through which the PPD model
// allocates; one place so that failure can be injected in tests.
void* MemAlloc(size_t bytes);
void* MemRealloc(void* block, size_t bytes);
void MemFree(void* block);

// MultiByteToWideChar(CP_ACP, 0, text, -1, dest, capacity): units written
// including the NUL; with capacity 0 the units needed; 0 on failure
// (including a destination too small).
int AnsiToWide(const char* text, char16_t* dest, int capacity);

// WideCharToMultiByte(CP_ACP, 0, text, -1, dest, capacity, null, null):
// bytes written including the NUL; with capacity 0 the bytes needed; 0 on
// failure (including a destination too small).
int WideToAnsi(const char16_t* text, char* dest, int capacity);

// LoadStringW(module, id, buffer, capacity): copies at most capacity - 1
// units, terminates, returns the units copied (0 for a missing string).
int LoadStringText(HMODULE module, UINT id, char16_t* buffer, int capacity);

// GetPrinterDriverW(printer, null, level, buffer, size, needed).
bool GetPrinterDriverInfo(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed);

// _wfopen(path, L"r"): text mode, so CR LF arrives as LF.
FILE* OpenForRead(const char16_t* path);

}  // namespace platform
