// The C runtime and code-page services the portable core takes from the
// system: memory, 8-bit text, files and the thread's last error. Plain C++ types only, so that code
// which reads no host record (the PPD model) sees no Windows header in any
// build. The Windows builds bind them to the platform (platform/win32); the
// native build has stand-ins that tests can steer (platform/portable).
// Each function keeps the contract of the platform call it stands for.
#pragma once

#include <cstddef>
#include <cstdio>

#include <cstdint>

namespace platform {

// The thread's last-error code, as the host reads it after a refused call.
void SetLastErrorCode(uint32_t code);
uint32_t LastErrorCode();

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

// _wfopen(path, L"r"): text mode, so CR LF arrives as LF.
FILE* OpenForRead(const char16_t* path);

}  // namespace platform
