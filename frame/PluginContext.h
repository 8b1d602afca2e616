// Per-object state that the option tree handler, its callback and the Job
// Settings page share; its address is the one pointer they receive.
#pragma once

#include "platform/HostAbi.h"

class PpdDocument;

struct PluginContext {
    PpdDocument* ppdDocument = nullptr;  // owned; deleted with the object
    HANDLE propSheetHandle = nullptr;
    HANDLE pageHandle = nullptr;
    OEMCUIPPARAM* commonUiParam = nullptr;  // the host's; latest CommonUIProp
    PFNCOMPROPSHEET propSheetCallback = nullptr;
    IPrintOemDriverUI* driverHelper = nullptr;  // one reference owned
    // Tab title handed to the host with the page; kept until the next page
    // creation or the object's end, so the host never holds a stale pointer.
    char16_t* pageTitle = nullptr;
    HANDLE pageTitleHeap = nullptr;
};
