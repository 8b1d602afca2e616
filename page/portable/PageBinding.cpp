#include "page/PageBinding.h"

#include "page/portable/PortablePage.h"

HANDLE AddPageToSheet(PluginContext& context, const char16_t* title) {
    if (!context.propSheetCallback) return nullptr;
    PortablePageDescriptor page{title, &context};
    return reinterpret_cast<HANDLE>(context.propSheetCallback(context.propSheetHandle, CPSFUNC_ADD_PROPSHEETPAGEW,
                                                              reinterpret_cast<LPARAM>(&page), 0));
}
