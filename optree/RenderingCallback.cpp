#include "frame/PluginContext.h"
#include "optree/HostItems.h"
#include "optree/OptionTree.h"

// Keeps the rendering item in step with the colour item while the document
// properties are open: monochrome disables it, colour enables it, and its
// selection follows the colour item's index for index.
LONG APIENTRY RenderingDependencyCallback(CPSUICBPARAM* callbackParam, OEMCUIPPARAM* param) {
    if (!callbackParam) return CPSUICB_ACTION_OPTIF_CHANGED;
    if (callbackParam->Reason != CPSUICB_REASON_SEL_CHANGED)
        return callbackParam->Reason == CPSUICB_REASON_APPLYNOW ? CPSUICB_ACTION_ITEMS_APPLIED
                                                                 : CPSUICB_ACTION_OPTIF_CHANGED;
    const OPTITEM* changed = callbackParam->pCurItem;
    if (!changed || changed->DMPubID != DMPUB_COLOR) return CPSUICB_ACTION_OPTIF_CHANGED;
    if (!param || !param->pDrvOptItems) return CPSUICB_ACTION_OPTIF_CHANGED;

    OPTITEM* rendering = nullptr;
    for (DWORD i = 0; i < param->cDrvOptItems && !rendering; ++i)
        if (IsRenderingItem(param->pDrvOptItems[i])) rendering = &param->pDrvOptItems[i];
    if (!rendering) return CPSUICB_ACTION_OPTIF_CHANGED;

    if (changed->Sel == 0)
        rendering->Flags |= OPTIF_DISABLED;
    else
        rendering->Flags &= ~OPTIF_DISABLED;
    rendering->Sel = changed->Sel;

    // The host driver re-reads the item only when told.
    const auto* context = static_cast<const PluginContext*>(param->pOEMUserData);
    if (context && context->driverHelper)
        context->driverHelper->DrvUpdateUISetting(param->poemuiobj, rendering, 0, OEMCUIP_DOCPROP);
    return CPSUICB_ACTION_OPTIF_CHANGED;
}
