#include "optree/OptionTree.h"

#include <cstring>

#include "optree/FeatureNames.h"
#include "optree/HostItems.h"
#include "platform/Platform.h"
#include "ppd/PpdDocument.h"

namespace {

// The host reads at most this many bytes of an option keyword; the buffer
// keeps room for a NUL the host may not write.
constexpr DWORD kDriverSettingBytes = 256;

bool IsStandardSetting(BYTE dmPubId) {
    switch (dmPubId) {
        case DMPUB_DEFSOURCE:
        case DMPUB_PRINTQUALITY:
        case DMPUB_DUPLEX:
        case DMPUB_FORMNAME:
        case DMPUB_MEDIATYPE: return true;
        default: return false;
    }
}

// Builds the model once per plug-in object. A file that does not open leaves
// no model, so that the next sheet tries again.
void BuildDocument(const OEMCUIPPARAM& param, PluginContext& context) {
    char16_t path[kSettingTextCapacity] = {};
    if (!LocatePpdFile(param.hOEMHeap, param.hPrinter, path)) return;
    const platform::UniqueFile file(platform::OpenForRead(path));
    if (!file) return;
    context.ppdDocument.reset(new PpdDocument(PpdReadFileByte, file.get()));
}

// Each opening of the document properties sees the installed configuration
// as the host has it now.
void UpdateInstallableOptions(const OEMCUIPPARAM& param, PluginContext& context) {
    PpdDocument& document = *context.ppdDocument;
    for (int i = 0; i < document.featureCount; ++i) {
        const PpdFeature* feature = document.GetFeature(i);
        if (!feature || !feature->group.Equals(kInstallableGroup)) continue;
        char16_t value[kSettingTextCapacity] = {};
        if (ReadDriverSetting(param.poemuiobj, &context, feature->keyword.text, value) == S_OK)
            document.SetInstallableOption(feature->keyword.text, value, false);
    }
    document.EvaluateConstraints();
}

void FirstCall(DWORD mode, OEMCUIPPARAM& param, PluginContext& context) {
    param.cOEMOptItems = 0;
    if (!context.ppdDocument) BuildDocument(param, context);
    if (mode == OEMCUIP_DOCPROP && context.ppdDocument) UpdateInstallableOptions(param, context);
}

// Sets the warning overlay on the item's options whose first PPD option of
// the same translation the installed configuration rules out.
void MarkConstrainedOptions(const OPTITEM& item, const PpdFeature& feature) {
    const OPTTYPE* type = item.pOptType;
    if (!type || !type->pOptParam) return;
    for (WORD j = 0; j < type->Count; ++j) {
        OPTPARAM& option = type->pOptParam[j];
        if (IsResourceId(option.pData)) continue;
        const char16_t* text = HostText(option.pData);
        for (int k = 0; k < feature.optionCount; ++k) {
            const PpdOption* ppdOption = feature.options[k];
            if (!ppdOption || !ppdOption->translation.Equals(text)) continue;
            if (ppdOption->constrained) option.Flags |= OPTPF_OVERLAY_WARNING_ICON;
            break;
        }
    }
}

void DocumentItemPass(OEMCUIPPARAM& param, PluginContext& context) {
    param.pOEMUserData = &context;
    param.OEMCUIPCallback = RenderingDependencyCallback;
    if (!param.pDrvOptItems) return;

    const HMODULE module = static_cast<HMODULE>(param.hModule);
    LONG colourSelection = 1;
    for (DWORD i = 0; i < param.cDrvOptItems; ++i) {
        OPTITEM& item = param.pDrvOptItems[i];
        if (item.DMPubID == DMPUB_COLOR) {
            colourSelection = item.Sel;
            continue;
        }
        const PpdDocument* document = context.ppdDocument.get();
        if (!document) continue;

        FeatureDisplayName name = {};
        HRESULT status;
        int featureIndex;
        if (IsStandardSetting(item.DMPubID)) {
            status = LoadFeatureName(module, &name, nullptr, item.DMPubID);
            featureIndex = FindFeatureByKeyword(document, FeatureKeywordById(name.featureId));
        } else {
            if (IsResourceId(item.pName)) continue;
            const char16_t* itemName = HostText(item.pName);
            status = LoadFeatureName(module, &name, FeatureKeywordByTranslation(document, itemName), 0);
            featureIndex = FindFeatureByTranslation(document, itemName);
        }
        if (status != S_OK) continue;

        if (featureIndex >= 0) MarkConstrainedOptions(item, *document->GetFeature(featureIndex));
        if (colourSelection == 0 && IsRenderingItem(item)) item.Flags |= OPTIF_DISABLED;
    }
}

// The branch under the host's item 64798 stays out of sight: that item and
// everything after it up to the next item of its own level.
void PrinterItemPass(OEMCUIPPARAM& param) {
    if (!param.pDrvOptItems) return;
    bool hiding = false;
    BYTE hideLevel = 0;
    for (DWORD i = 0; i < param.cDrvOptItems; ++i) {
        OPTITEM& item = param.pDrvOptItems[i];
        if (hiding) {
            if (item.Level == hideLevel) {
                hiding = false;
            } else {
                if (item.pOptType && item.pOptType->pOptParam)
                    for (WORD j = 0; j < item.pOptType->Count; ++j)
                        item.pOptType->pOptParam[j].Flags |= OPTPF_HIDE;
                item.Flags |= OPTIF_HIDE;
            }
        }
        if (!IsResourceId(item.pName)) continue;
        const uintptr_t id = reinterpret_cast<uintptr_t>(item.pName);
        if (id == kInitialPrinterItemId) {
            item.Flags |= OPTIF_INITIAL_TVITEM;
        } else if (id == kHiddenPrinterBranchId) {
            item.Flags |= OPTIF_HIDE;
            hideLevel = item.Level;
            hiding = true;
        }
    }
}

}  // namespace

HRESULT CustomizeOptionTree(DWORD mode, OEMCUIPPARAM* param, PluginContext* context) {
    if (!param || !context) return S_OK;
    if (!param->pOEMOptItems) {
        FirstCall(mode, *param, *context);
    } else if (mode == OEMCUIP_DOCPROP) {
        DocumentItemPass(*param, *context);
    } else if (mode == OEMCUIP_PRNPROP) {
        PrinterItemPass(*param);
    }
    return S_OK;
}

bool LocatePpdFile(HANDLE heap, HANDLE printer, char16_t path[kSettingTextCapacity]) {
    DWORD needed = 0;
    platform::GetPrinterDriverInfo(printer, 3, nullptr, 0, &needed);
    if (needed == 0) return false;
    const auto block = platform::HeapBlock<BYTE>::Allocate(heap, needed);
    if (!block || !platform::GetPrinterDriverInfo(printer, 3, block.get(), needed, &needed)) return false;
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(block.get());
    const char16_t* dataFile = HostText(info->pDataFile);
    size_t length = 0;
    if (dataFile)
        while (length < kSettingTextCapacity && dataFile[length]) ++length;
    // A path that does not fit would be opened cut short, so it counts as
    // not found.
    if (!dataFile || length == kSettingTextCapacity) return false;
    std::memcpy(path, dataFile, (length + 1) * sizeof(char16_t));
    return true;
}

HRESULT ReadDriverSetting(POEMUIOBJ uiObject, const PluginContext* context, const char16_t* featureKeyword,
                          char16_t value[kSettingTextCapacity]) {
    if (!context || !context->driverHelper || !featureKeyword) return E_FAIL;
    char feature[kSettingTextCapacity] = {};
    char option[kSettingTextCapacity] = {};
    // The host names features without the '*' of the PPD.
    const char16_t* name = featureKeyword[0] ? featureKeyword + 1 : featureKeyword;
    if (platform::WideToAnsi(name, feature, kSettingTextCapacity) == 0) return E_FAIL;
    DWORD needed = 0;
    DWORD returned = 0;
    const HRESULT status =
        context->driverHelper->DrvGetDriverSetting(uiObject, feature, option, kDriverSettingBytes, &needed, &returned);
    if (status != S_OK) return status;
    // An answer with no text names no option: the installable option keeps
    // the one it had, as for an answer that does not convert.
    return platform::AnsiToWide(option, value, kSettingTextCapacity) <= 1 ? E_FAIL : S_OK;
}

int FindFeatureByKeyword(const PpdDocument* document, const char16_t* text) {
    if (!document || !text) return -1;
    for (int i = 0; i < document->featureCount; ++i) {
        const PpdFeature* feature = document->GetFeature(i);
        if (feature && feature->keyword.Equals(text)) return i;
    }
    return -1;
}

int FindFeatureByTranslation(const PpdDocument* document, const char16_t* text) {
    if (!document || !text) return -1;
    for (int i = 0; i < document->featureCount; ++i) {
        const PpdFeature* feature = document->GetFeature(i);
        if (feature && feature->translation.Equals(text)) return i;
    }
    return -1;
}

const char16_t* FeatureKeywordByTranslation(const PpdDocument* document, const char16_t* text) {
    const int index = FindFeatureByTranslation(document, text);
    return index < 0 ? nullptr : document->GetFeature(index)->keyword.text;
}
