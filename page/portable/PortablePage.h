// What stands in for the page descriptor where there is no dialog manager:
// the native build hands this to the property-sheet service with
// CPSFUNC_ADD_PROPSHEETPAGEW, so a test's service sees what the page asks for.
#pragma once

#include "frame/PluginContext.h"

struct PortablePageDescriptor {
    const char16_t* title;
    PluginContext* context;  // the page's creation parameter
};
