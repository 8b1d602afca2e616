#include "page/JobSettingsPage.h"

#include <cstring>
#include <utility>

#include "page/JobSettingsLogic.h"
#include "page/PageBinding.h"
#include "platform/Platform.h"
#include "resources/LoadCatalogString.h"
#include "resources/ResourceIds.h"

namespace {

// A fixed text of the module; the host only reads it.
char16_t kInfoHeaderTitle[] = u"OEM UI Page";
const char16_t kNoTitle[] = u"";

// The host's heap may be destroyed before the object is released, and the
// next sheet may come with another: the title goes back to the heap within
// this call, and the host is shown a copy the plug-in owns. Empty without
// memory for either.
platform::UniqueMem<char16_t> LoadPageTitle(const PageSource& source) {
    const auto loaded = LoadCatalogString(source.module, source.heap, IDS_PAGE_TITLE);
    if (!loaded) return {};
    size_t units = 1;
    while (loaded.get()[units - 1]) ++units;
    platform::UniqueMem<char16_t> copy(static_cast<char16_t*>(platform::MemAlloc(units * sizeof(char16_t))));
    if (copy) std::memcpy(copy.get(), loaded.get(), units * sizeof(char16_t));
    return copy;
}

void RegisterPage(const PROPSHEETUI_INFO& info, PluginContext& context) {
    platform::UniqueMem<char16_t> title = LoadPageTitle(ResolvePageSource(context));
    context.propSheetHandle = info.hComPropSheet;
    context.propSheetCallback = info.pfnComPropSheet;
    context.pageHandle = AddPageToSheet(context, title ? title.get() : kNoTitle);
    // The previous sheet's title goes only now: the host held it until this call.
    context.pageTitle = std::move(title);
}

}  // namespace

HRESULT JobSettingsPropertySheets(PROPSHEETUI_INFO* info, LPARAM param, PluginContext* context) {
    if (!info || info->Version != PROPSHEETUI_INFO_VERSION || !context) {
        platform::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    switch (info->Reason) {
        case PROPSHEETUI_REASON_INIT:
            RegisterPage(*info, *context);
            info->Result = 0;
            break;
        case PROPSHEETUI_REASON_GET_INFO_HEADER:
            if (auto* header = reinterpret_cast<PROPSHEETUI_INFO_HEADER*>(param))
                header->pTitle = reinterpret_cast<LPTSTR>(kInfoHeaderTitle);
            info->Result = 1;
            break;
        case PROPSHEETUI_REASON_DESTROY: info->Result = 1; break;
        case PROPSHEETUI_REASON_SET_RESULT: {
            const auto* result = reinterpret_cast<const SETRESULT_INFO*>(param);
            info->Result = result ? static_cast<ULONG_PTR>(result->Result) : 0;
            break;
        }
        default: info->Result = 0; break;
    }
    return S_OK;
}
