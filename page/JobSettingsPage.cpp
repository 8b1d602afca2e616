#include "page/JobSettingsPage.h"

// Not built yet: no page is added.
HRESULT JobSettingsPropertySheets(PROPSHEETUI_INFO*, LPARAM, PluginContext*) { return S_OK; }
void ReleasePageResources(PluginContext*) {}
