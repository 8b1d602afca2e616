// Works on the host's option tree for one CommonUIProp call: builds the PPD
// model, marks what the installed hardware rules out, keeps the rendering
// feature in step with the colour setting, and arranges the printer sheet.
#pragma once

#include <cstdint>

#include "frame/PluginContext.h"
#include "platform/HostAbi.h"

class PpdDocument;

// Host resource ids of two printer-properties items.
inline constexpr uintptr_t kInitialPrinterItemId = 400;
inline constexpr uintptr_t kHiddenPrinterBranchId = 64798;

// Units of a path or option keyword, the NUL included.
inline constexpr int kSettingTextCapacity = 260;

// Always S_OK: the host hears of no failure here.
HRESULT CustomizeOptionTree(DWORD mode, OEMCUIPPARAM* param, PluginContext* context);

// The driver's data file (the PPD) of `printer`, through the spooler. False
// when the spooler has no answer, memory runs out, or the path does not fit.
bool LocatePpdFile(HANDLE heap, HANDLE printer, char16_t path[kSettingTextCapacity]);

// The option the host driver has set for `featureKeyword` (with its '*').
// E_FAIL without a driver helper, when a text does not convert, or when the
// answer is empty; otherwise the helper's status when it is not S_OK.
HRESULT ReadDriverSetting(POEMUIOBJ uiObject, const PluginContext* context, const char16_t* featureKeyword,
                          char16_t value[kSettingTextCapacity]);

// Index of the first feature whose keyword (translation) equals `text`, or -1.
int FindFeatureByKeyword(const PpdDocument* document, const char16_t* text);
int FindFeatureByTranslation(const PpdDocument* document, const char16_t* text);

// Keyword of the first feature whose translation equals `text`, or null.
const char16_t* FeatureKeywordByTranslation(const PpdDocument* document, const char16_t* text);

// Installed by the document pass as the sheet's OEMCUIPCALLBACK.
LONG APIENTRY RenderingDependencyCallback(CPSUICBPARAM* callbackParam, OEMCUIPPARAM* param);
