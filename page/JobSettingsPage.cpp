#include "page/JobSettingsPage.h"

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

void RegisterPage(const PROPSHEETUI_INFO& info, PluginContext& context) {
    const PageSource source = ResolvePageSource(context);
    platform::HeapBlock<char16_t> title(source.heap, LoadCatalogString(source.module, source.heap, IDS_PAGE_TITLE));
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
