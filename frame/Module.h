// Module-wide state of the plug-in DLL.
#pragma once

#include "platform/HostAbi.h"

extern HMODULE g_moduleHandle;        // stored at process attach
extern HANDLE g_activationContext;    // the page's; INVALID_HANDLE_VALUE until made
