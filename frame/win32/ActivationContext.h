// CreateActCtxW, imported by the x64 build and looked up by name on first
// use by the x86 build (older x86 systems lack it), like ReleaseActCtx
// behind ReleaseActivationContext (frame/Module.h).
#pragma once

#include "platform/HostAbi.h"

HANDLE CreateActivationContext(const ACTCTXW* description);  // INVALID_HANDLE_VALUE on failure
