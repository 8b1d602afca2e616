// Module-wide state of the plug-in DLL.
#pragma once

#include "platform/HostAbi.h"
#include "platform/UniqueAny.h"

extern HMODULE g_moduleHandle;  // stored at process attach

// ReleaseActCtx (looked up by name in the x86 build); the native build has
// no activation contexts and releases nothing.
void ReleaseActivationContext(HANDLE context);

// The Job Settings page's activation context, one for the process:
// INVALID_HANDLE_VALUE until made, released at process detach.
using UniqueActivationContext =
    platform::UniqueAny<HANDLE, &ReleaseActivationContext, static_cast<intptr_t>(-1)>;
extern UniqueActivationContext g_activationContext;

// g_activationContext, made with `create` when it is INVALID_HANDLE_VALUE and
// stored whatever the result, so a failed attempt is repeated next time.
HANDLE PrepareActivationContext(HANDLE (*create)());
bool UsableActivationContext(HANDLE context);
