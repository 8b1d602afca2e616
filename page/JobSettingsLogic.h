// The Job Settings page on the model of its controls: what it shows, what it
// enables, what it refuses and what it writes into the job settings record.
#pragma once

#include "frame/JobSettings.h"
#include "frame/PluginContext.h"
#include "page/PageControls.h"
#include "platform/HostAbi.h"

// Notification codes the page's dialog procedure acts on.
constexpr int kButtonClicked = 0;      // BN_CLICKED
constexpr int kEditChanged = 0x0300;   // EN_CHANGE
constexpr int kSheetKillActive = -201; // PSN_KILLACTIVE
constexpr int kSheetApply = -202;      // PSN_APPLY
constexpr int kSheetReset = -203;      // PSN_RESET

// Where the page takes its texts from and what record it fills. Without a
// CommonUIProp call the texts come from the module itself and the process
// heap, and there is no record: the page shows the defaults, writes nothing.
struct PageSource {
    HMODULE module;
    HANDLE heap;
    JOBSETTINGS* record;
};
PageSource ResolvePageSource(const PluginContext& context);

// The steps, in the order the page takes them at initialisation.
void LoadControlTexts(PageControls& controls, const PageSource& source);
void SetTextLimits(PageControls& controls);
void AttachTextFilters(PageControls& controls);
void LoadFromRecord(PageControls& controls, const JOBSETTINGS& record);
void UpdateAccessControlState(PageControls& controls);
void UpdateReserveJobState(PageControls& controls);

// Valid or not; when not, the user has seen and closed the warning box.
bool ValidateReserveJob(PageControls& controls, const PageSource& source);
void SaveToRecord(PageControls& controls, JOBSETTINGS& record);

// The dialog procedure's cases.
void InitializePage(PageControls& controls, const PluginContext& context);
void OnPageCommand(PageControls& controls, int id, int notification);
// The answer the dialog procedure returns for the notification.
bool OnPageNotify(PageControls& controls, const PluginContext& context, int code);
// PSN_APPLY and PSN_KILLACTIVE alike.
void ApplyPage(PageControls& controls, const PluginContext& context);
