#include "frame/win32/ActivationContext.h"

#include "frame/Module.h"

#if defined(_WIN64)

HANDLE CreateActivationContext(const ACTCTXW* description) { return ::CreateActCtxW(description); }
void ReleaseActivationContext(HANDLE context) { ::ReleaseActCtx(context); }

#else

namespace {

typedef HANDLE(WINAPI* CreateActCtxProc)(const ACTCTXW*);
typedef void(WINAPI* ReleaseActCtxProc)(HANDLE);

CreateActCtxProc g_createActCtx = nullptr;
ReleaseActCtxProc g_releaseActCtx = nullptr;

// The Windows 9x family reports the high bit of GetVersion; there the Unicode
// layer, when loaded, provides the wide functions.
FARPROC FindKernelFunction(const char* name) {
    if (::GetVersion() & 0x80000000u) {
        if (HMODULE unicows = ::GetModuleHandleW(L"Unicows.dll")) {
            if (FARPROC proc = ::GetProcAddress(unicows, name)) return proc;
        }
    }
    HMODULE kernel = ::GetModuleHandleW(L"Kernel32.dll");
    return kernel ? ::GetProcAddress(kernel, name) : nullptr;
}

}  // namespace

HANDLE CreateActivationContext(const ACTCTXW* description) {
    if (!g_createActCtx)
        g_createActCtx = reinterpret_cast<CreateActCtxProc>(
            reinterpret_cast<void*>(FindKernelFunction("CreateActCtxW")));
    return g_createActCtx ? g_createActCtx(description) : INVALID_HANDLE_VALUE;
}

void ReleaseActivationContext(HANDLE context) {
    if (!g_releaseActCtx)
        g_releaseActCtx = reinterpret_cast<ReleaseActCtxProc>(
            reinterpret_cast<void*>(FindKernelFunction("ReleaseActCtx")));
    if (g_releaseActCtx) g_releaseActCtx(context);
}

#endif
