// Per-object state that the option tree handler, its callback and the Job
// Settings page share; its address is the one pointer they receive. The
// context owns what the plug-in acquires for the object, and frees it when
// the object ends.
#pragma once

#include "platform/ComObject.h"
#include "platform/HostAbi.h"
#include "platform/Platform.h"
#include "ppd/PpdDocument.h"

struct PluginContext {
    UniquePpdDocument ppdDocument;  // built by the option tree's first call
    HANDLE propSheetHandle = nullptr;
    HANDLE pageHandle = nullptr;
    OEMCUIPPARAM* commonUiParam = nullptr;  // the host's; latest CommonUIProp
    PFNCOMPROPSHEET propSheetCallback = nullptr;
    platform::UniqueInterface<IPrintOemDriverUI> driverHelper;  // one reference
    // Tab title handed to the host with the page, a copy of the plug-in's
    // own: kept until the next page creation or the object's end, so the
    // host never holds a stale pointer, and never freed into a host heap
    // that may be gone by then.
    platform::UniqueMem<char16_t> pageTitle;
};
