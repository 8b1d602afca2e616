#include "page/JobSettingsLogic.h"

#include <cstddef>
#include <iterator>

#include "frame/Module.h"
#include "platform/Platform.h"
#include "resources/LoadCatalogString.h"
#include "resources/ResourceIds.h"

namespace {

// ---- The controls as data --------------------------------------------------

struct ControlText {
    int id;
    UINT textId;
};

// In the order the page sets them; the record's edits are filled from the record.
constexpr ControlText kControlTexts[] = {
    {IDC_SAVE_ACCESS_CONTROL, IDS_SAVE_ACCESS_CONTROL},
    {IDC_ACCESS_USER_NAME_LABEL, IDS_USER_NAME},
    {IDC_ACCESS_DESCRIPTION, IDS_ACCESS_DESCRIPTION},
    {IDC_ACCESS_PASSWORD_LABEL, IDS_PASSWORD},
    {IDC_ACCESS_GROUP, IDS_ACCESS_GROUP},
    {IDC_STATIC, IDS_RESERVE_JOB},
    {IDC_RESERVE_JOB, IDS_RESERVE_JOB},
    {IDC_RESERVE_REPRINT, IDS_RESERVE_REPRINT},
    {IDC_RESERVE_VERIFY, IDS_RESERVE_VERIFY},
    {IDC_RESERVE_CONFIDENTIAL, IDS_RESERVE_CONFIDENTIAL},
    {IDC_RESERVE_PASSWORD_GROUP, IDS_PASSWORD},
    {IDC_RESERVE_USER_NAME_GROUP, IDS_USER_NAME},
    {IDC_RESERVE_JOB_NAME_GROUP, IDS_JOB_NAME},
};
static_assert(std::size(kControlTexts) == 13);

// A text field of the record: where it lies and how many units it holds,
// its terminator included.
struct RecordText {
    size_t offset;
    size_t capacity;
};
#define RECORD_TEXT(field) RecordText{offsetof(JOBSETTINGS, field), sizeof(JOBSETTINGS::field) / sizeof(char16_t)}

struct EditField {
    int id;
    int limit;
    CharFilter filter;
    RecordText field;
};

// In the order the page limits and filters them.
constexpr EditField kEditFields[] = {
    {IDC_ACCESS_USER_NAME, 14, CharFilter::Name, RECORD_TEXT(szAccessUserName)},
    {IDC_ACCESS_PASSWORD, 20, CharFilter::Password, RECORD_TEXT(szAccessPassword)},
    {IDC_RESERVE_USER_NAME, 14, CharFilter::Name, RECORD_TEXT(szReserveUserName)},
    {IDC_RESERVE_PASSWORD, 4, CharFilter::Digit, RECORD_TEXT(szReservePassword)},
    {IDC_RESERVE_JOB_NAME, 14, CharFilter::Name, RECORD_TEXT(szReserveJobName)},
};
static_assert(std::size(kEditFields) == 5);

#undef RECORD_TEXT

constexpr size_t kLongestField = 21;

consteval bool LimitsLeaveRoomForTerminator() {
    for (const EditField& edit : kEditFields)
        if (static_cast<size_t>(edit.limit) + 1 != edit.field.capacity || edit.field.capacity > kLongestField)
            return false;
    return true;
}
static_assert(LimitsLeaveRoomForTerminator());

constexpr int kLoadOrder[] = {IDC_RESERVE_USER_NAME, IDC_RESERVE_PASSWORD, IDC_RESERVE_JOB_NAME,
                              IDC_ACCESS_USER_NAME, IDC_ACCESS_PASSWORD};
constexpr int kSavedWithReserveJob[] = {IDC_RESERVE_PASSWORD, IDC_RESERVE_USER_NAME, IDC_RESERVE_JOB_NAME};
constexpr int kSavedWithAccessControl[] = {IDC_ACCESS_PASSWORD, IDC_ACCESS_USER_NAME};
static_assert(std::size(kLoadOrder) == std::size(kEditFields));
static_assert(std::size(kSavedWithReserveJob) + std::size(kSavedWithAccessControl) == std::size(kEditFields));

struct ReserveKind {
    int id;
    DWORD type;
};

// The radio buttons in the order SaveToRecord asks them.
constexpr ReserveKind kReserveKinds[] = {
    {IDC_RESERVE_REPRINT, kReserveJobReprint},
    {IDC_RESERVE_VERIFY, kReserveJobVerify},
    {IDC_RESERVE_CONFIDENTIAL, kReserveJobConfidential},
};
static_assert(std::size(kReserveKinds) == 3);

enum class EnabledWhen { AccessControlTicked, ReserveJobTicked, ConfidentialReserveJob };

struct EnableRule {
    int id;
    EnabledWhen when;
};

constexpr EnableRule kEnableRules[] = {
    {IDC_ACCESS_USER_NAME, EnabledWhen::AccessControlTicked},
    {IDC_ACCESS_PASSWORD, EnabledWhen::AccessControlTicked},
    {IDC_RESERVE_REPRINT, EnabledWhen::ReserveJobTicked},
    {IDC_RESERVE_VERIFY, EnabledWhen::ReserveJobTicked},
    {IDC_RESERVE_CONFIDENTIAL, EnabledWhen::ReserveJobTicked},
    {IDC_RESERVE_JOB_NAME, EnabledWhen::ReserveJobTicked},
    {IDC_RESERVE_USER_NAME, EnabledWhen::ReserveJobTicked},
    {IDC_RESERVE_PASSWORD, EnabledWhen::ConfidentialReserveJob},
};
static_assert(std::size(kEnableRules) == 8);

struct ClickRule {
    int id;
    void (*update)(PageControls&);
};

constexpr ClickRule kClickRules[] = {
    {IDC_RESERVE_JOB, UpdateReserveJobState},
    {IDC_RESERVE_REPRINT, UpdateReserveJobState},
    {IDC_RESERVE_VERIFY, UpdateReserveJobState},
    {IDC_RESERVE_CONFIDENTIAL, UpdateReserveJobState},
    {IDC_SAVE_ACCESS_CONTROL, UpdateAccessControlState},
};
static_assert(std::size(kClickRules) == 5);

constexpr const EditField& EditFieldOf(int id) {
    for (const EditField& edit : kEditFields)
        if (edit.id == id) return edit;
    return kEditFields[0];  // unreachable for the ids of the tables above
}

consteval bool OrdersNameEditFields() {
    auto named = [](int id) { return EditFieldOf(id).id == id; };
    for (int id : kLoadOrder)
        if (!named(id)) return false;
    for (int id : kSavedWithReserveJob)
        if (!named(id)) return false;
    for (int id : kSavedWithAccessControl)
        if (!named(id)) return false;
    return true;
}
static_assert(OrdersNameEditFields());

// ---- Helpers ---------------------------------------------------------------

char16_t* FieldOf(JOBSETTINGS& record, const RecordText& text) {
    return reinterpret_cast<char16_t*>(reinterpret_cast<BYTE*>(&record) + text.offset);
}

const char16_t* FieldOf(const JOBSETTINGS& record, const RecordText& text) {
    return reinterpret_cast<const char16_t*>(reinterpret_cast<const BYTE*>(&record) + text.offset);
}

// A catalogue text; a missing buffer reads as the empty text.
const char16_t* TextOf(const platform::HeapBlock<char16_t>& text) { return text ? text.get() : u""; }

bool IsEnabled(PageControls& controls, EnabledWhen when) {
    switch (when) {
        case EnabledWhen::AccessControlTicked: return controls.IsChecked(IDC_SAVE_ACCESS_CONTROL);
        case EnabledWhen::ReserveJobTicked: return controls.IsChecked(IDC_RESERVE_JOB);
        case EnabledWhen::ConfidentialReserveJob:
            return controls.IsChecked(IDC_RESERVE_JOB) && controls.IsChecked(IDC_RESERVE_CONFIDENTIAL);
    }
    return false;
}

void ApplyEnableRules(PageControls& controls, bool accessRules) {
    for (const EnableRule& rule : kEnableRules)
        if ((rule.when == EnabledWhen::AccessControlTicked) == accessRules)
            controls.Enable(rule.id, IsEnabled(controls, rule.when));
}

// Copies at most capacity - 1 units, terminates, and clears the rest of the
// field so no tail of an older, longer text stays in the record.
void CopyIntoField(char16_t* field, size_t capacity, const char16_t* text) {
    size_t n = 0;
    for (; n + 1 < capacity && text[n]; ++n) field[n] = text[n];
    for (; n < capacity; ++n) field[n] = 0;
}

void SaveEditText(PageControls& controls, int id, JOBSETTINGS& record) {
    const RecordText& field = EditFieldOf(id).field;
    char16_t text[kLongestField] = {};
    controls.GetText(id, text, field.capacity);
    text[field.capacity - 1] = 0;
    CopyIntoField(FieldOf(record, field), field.capacity, text);
}

bool HasText(PageControls& controls, int id) {
    // The page reads each reserve text as at most 14 characters.
    char16_t text[15] = {};
    controls.GetText(id, text, std::size(text));
    return text[0] != 0;
}

}  // namespace

PageSource ResolvePageSource(const PluginContext& context) {
    if (const OEMCUIPPARAM* param = context.commonUiParam)
        return {static_cast<HMODULE>(param->hModule), param->hOEMHeap, static_cast<JOBSETTINGS*>(param->pOEMDM)};
    return {g_moduleHandle, platform::ProcessHeap(), nullptr};
}

void LoadControlTexts(PageControls& controls, const PageSource& source) {
    for (const ControlText& control : kControlTexts)
        controls.SetText(control.id, TextOf(LoadCatalogString(source.module, source.heap, control.textId)));
}

void SetTextLimits(PageControls& controls) {
    for (const EditField& edit : kEditFields) controls.SetTextLimit(edit.id, edit.limit);
}

void AttachTextFilters(PageControls& controls) {
    for (const EditField& edit : kEditFields) controls.AttachFilter(edit.id, edit.filter);
}

void LoadFromRecord(PageControls& controls, const JOBSETTINGS& record) {
    controls.SetChecked(IDC_RESERVE_JOB, false);
    for (const ReserveKind& kind : kReserveKinds) controls.SetChecked(kind.id, false);

    const ReserveKind* storedKind = nullptr;
    for (const ReserveKind& kind : kReserveKinds)
        if (!storedKind && kind.type == record.dwReserveJobType) storedKind = &kind;
    if (storedKind) {
        controls.SetChecked(IDC_RESERVE_JOB, true);
        controls.SetChecked(storedKind->id, true);
    } else {
        // With no reserve job set the page still shows a kind: Verify.
        controls.SetChecked(IDC_RESERVE_VERIFY, true);
    }

    controls.SetChecked(IDC_SAVE_ACCESS_CONTROL, record.bSaveAccessControl != 0);

    for (int id : kLoadOrder) {
        // A stored field need not hold its terminator; read no further than its end.
        const RecordText& field = EditFieldOf(id).field;
        const char16_t* stored = FieldOf(record, field);
        char16_t text[kLongestField + 1] = {};
        for (size_t n = 0; n < field.capacity && stored[n]; ++n) text[n] = stored[n];
        controls.SetText(id, text);
    }
}

void UpdateAccessControlState(PageControls& controls) { ApplyEnableRules(controls, true); }

void UpdateReserveJobState(PageControls& controls) { ApplyEnableRules(controls, false); }

bool ValidateReserveJob(PageControls& controls, const PageSource& source) {
    if (!controls.IsChecked(IDC_RESERVE_JOB)) return true;

    const bool userName = HasText(controls, IDC_RESERVE_USER_NAME);
    const bool jobName = HasText(controls, IDC_RESERVE_JOB_NAME);
    const bool password = HasText(controls, IDC_RESERVE_PASSWORD);

    UINT message;
    if (controls.IsChecked(IDC_RESERVE_REPRINT) || controls.IsChecked(IDC_RESERVE_VERIFY)) {
        if (userName && jobName) return true;
        message = IDS_NEED_USER_AND_JOB;
    } else if (controls.IsChecked(IDC_RESERVE_CONFIDENTIAL)) {
        if (userName && jobName && password) return true;
        message = IDS_NEED_PASSWORD_USER_AND_JOB;
    } else {
        return true;
    }

    const auto caption = LoadCatalogString(source.module, source.heap, IDS_ERROR_CAPTION);
    const auto text = LoadCatalogString(source.module, source.heap, message);
    controls.ShowWarning(TextOf(text), TextOf(caption));
    return false;
}

void SaveToRecord(PageControls& controls, JOBSETTINGS& record) {
    if (controls.IsChecked(IDC_RESERVE_JOB)) {
        for (const ReserveKind& kind : kReserveKinds) {
            if (controls.IsChecked(kind.id)) {
                record.dwReserveJobType = kind.type;
                break;
            }
        }
        for (int id : kSavedWithReserveJob) SaveEditText(controls, id, record);
    } else {
        record.dwReserveJobType = kReserveJobNone;
    }

    if (controls.IsChecked(IDC_SAVE_ACCESS_CONTROL)) {
        record.bSaveAccessControl = 1;
        for (int id : kSavedWithAccessControl) SaveEditText(controls, id, record);
    } else {
        record.bSaveAccessControl = 0;
    }
}

void InitializePage(PageControls& controls, const PluginContext& context) {
    const PageSource source = ResolvePageSource(context);
    LoadControlTexts(controls, source);
    SetTextLimits(controls);
    AttachTextFilters(controls);
    if (source.record) {
        LoadFromRecord(controls, *source.record);
    } else {
        JOBSETTINGS defaults = {};
        SetDefaultJobSettings(&defaults);
        LoadFromRecord(controls, defaults);
    }
    UpdateAccessControlState(controls);
    UpdateReserveJobState(controls);
}

void OnPageCommand(PageControls& controls, int id, int notification) {
    if (notification == kButtonClicked) {
        for (const ClickRule& rule : kClickRules) {
            if (rule.id == id) {
                controls.MarkChanged();
                rule.update(controls);
                return;
            }
        }
    } else if (notification == kEditChanged) {
        for (const EditField& edit : kEditFields) {
            if (edit.id == id) {
                controls.MarkChanged();
                return;
            }
        }
    }
}

bool OnPageNotify(PageControls& controls, const PluginContext& context, int code) {
    switch (code) {
        case kSheetReset: return false;
        case kSheetApply:
        case kSheetKillActive: ApplyPage(controls, context); return true;
        default: return true;  // the stored notification result stays as it is
    }
}

void ApplyPage(PageControls& controls, const PluginContext& context) {
    const PageSource source = ResolvePageSource(context);
    if (!ValidateReserveJob(controls, source)) {
        // The page stays, still marked as changed; nothing is written.
        controls.SetNotifyResult(kNotifyInvalidStay);
        return;
    }
    if (context.propSheetCallback)
        context.propSheetCallback(context.propSheetHandle, CPSFUNC_SET_RESULT,
                                  reinterpret_cast<LPARAM>(context.pageHandle), CPSUI_OK);
    controls.MarkUnchanged();
    controls.SetNotifyResult(kNotifyNoError);
    if (source.record) SaveToRecord(controls, *source.record);
    controls.MarkUnchanged();
}
