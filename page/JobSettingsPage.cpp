#include "page/JobSettingsPage.h"

#include "frame/Module.h"
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
    char16_t* title = LoadCatalogString(source.module, source.heap, IDS_PAGE_TITLE);
    context.propSheetHandle = info.hComPropSheet;
    context.propSheetCallback = info.pfnComPropSheet;
    context.pageHandle = AddPageToSheet(context, title ? title : kNoTitle);
    // The previous sheet's title goes only now: the host held it until this call.
    ReleasePageResources(&context);
    context.pageTitle = title;
    context.pageTitleHeap = source.heap;
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

void ReleasePageResources(PluginContext* context) {
    if (!context || !context->pageTitle) return;
    platform::HeapRelease(context->pageTitleHeap, context->pageTitle);
    context->pageTitle = nullptr;
    context->pageTitleHeap = nullptr;
}

HANDLE PrepareActivationContext(HANDLE (*create)()) {
    if (g_activationContext == INVALID_HANDLE_VALUE) g_activationContext = create();
    return g_activationContext;
}

bool UsableActivationContext(HANDLE context) { return context != nullptr && context != INVALID_HANDLE_VALUE; }
