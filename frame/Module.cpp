#include "frame/Module.h"

HMODULE g_moduleHandle = nullptr;
UniqueActivationContext g_activationContext;

HANDLE PrepareActivationContext(HANDLE (*create)()) {
    if (!g_activationContext) g_activationContext.reset(create());
    return g_activationContext.get();
}

bool UsableActivationContext(HANDLE context) { return context != nullptr && context != INVALID_HANDLE_VALUE; }
