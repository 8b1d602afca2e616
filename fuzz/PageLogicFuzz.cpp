// The Job Settings page's logic over an arbitrary record and arbitrary
// control texts and states, driven by a sequence of clicks, edits, commands
// and sheet notifications from the input. Checked: the page touches only
// the template's controls; an apply either refuses (warning shown, record
// untouched, page stays) or writes exactly the fields the page owns, each
// terminated within its width, and nothing beyond the record; enabling
// rules hold after the updates; the character filters judge typed
// characters only.
//
// Input: a flag byte (record, service, failing allocation, catalogue
// overrides), the record, then actions.
#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "frame/JobSettings.h"
#include "frame/PluginContext.h"
#include "page/CharFilters.h"
#include "page/JobSettingsLogic.h"
#include "page/PageControls.h"
#include "platform/Platform.h"
#include "platform/portable/PortablePlatform.h"
#include "resources/ResourceIds.h"
#include "tests/support/Catalogue.h"
#include "tests/support/PageModel.h"

namespace {

// The page loads its texts from the catalogue, as the DLL from its resources.
[[maybe_unused]] const bool g_catalogueInPlace = (support::UseCatalogue(), true);

enum Flags : uint8_t {
    flagNoRecord = 0x01,
    flagNoService = 0x02,
    flagFailAllocation = 0x04,
    flagOverrideStrings = 0x08,
};

constexpr int kEdits[] = {IDC_ACCESS_USER_NAME, IDC_ACCESS_PASSWORD, IDC_RESERVE_USER_NAME, IDC_RESERVE_PASSWORD,
                          IDC_RESERVE_JOB_NAME};
constexpr int kRadios[] = {IDC_RESERVE_REPRINT, IDC_RESERVE_VERIFY, IDC_RESERVE_CONFIDENTIAL};
constexpr int kChecks[] = {IDC_SAVE_ACCESS_CONTROL, IDC_RESERVE_JOB};
constexpr int kOthers[] = {IDC_ACCESS_GROUP, IDC_STATIC, IDC_RESERVE_PASSWORD_GROUP, IDC_RESERVE_USER_NAME_GROUP,
                           IDC_RESERVE_JOB_NAME_GROUP, IDC_ACCESS_DESCRIPTION, IDC_ACCESS_USER_NAME_LABEL,
                           IDC_ACCESS_PASSWORD_LABEL};
constexpr UINT kCatalogueIds[] = {IDS_SAVE_ACCESS_CONTROL, IDS_USER_NAME, IDS_ACCESS_DESCRIPTION, IDS_PASSWORD,
                                  IDS_ACCESS_GROUP, IDS_RESERVE_JOB, IDS_RESERVE_REPRINT, IDS_RESERVE_VERIFY,
                                  IDS_RESERVE_CONFIDENTIAL, IDS_JOB_NAME, IDS_ERROR_CAPTION,
                                  IDS_NEED_USER_AND_JOB, IDS_NEED_PASSWORD_USER_AND_JOB};

using support::ControlModel;

// What the page did to the controls that it never should: ids the template
// lacks, null texts, limits outside the fields' widths.
void CheckControlUse(const ControlModel& controls) {
    FUZZ_CHECK(controls.strayIds.empty());
    FUZZ_CHECK(controls.nullTexts == 0);
    for (const auto& [id, control] : controls.controls)
        FUZZ_CHECK(control.limit == support::kUnsetLimit || (control.limit > 0 && control.limit <= 20));
}

int serviceCalls = 0;
LONG_PTR CALLBACK Service(HANDLE, UINT function, LPARAM, LPARAM result) {
    FUZZ_CHECK(function == CPSFUNC_SET_RESULT && result == CPSUI_OK);
    ++serviceCalls;
    return 0;
}

constexpr size_t kGuard = 32;
constexpr uint8_t kGuardFill = 0x5A;

struct GuardedRecord {
    uint8_t bytes[kGuard + sizeof(JOBSETTINGS) + kGuard];
    JOBSETTINGS* record() { return reinterpret_cast<JOBSETTINGS*>(bytes + kGuard); }
};

struct Field {
    int id;
    size_t offset;
    size_t capacity;
};
#define FIELD(id, name) Field{id, offsetof(JOBSETTINGS, name), sizeof(JOBSETTINGS::name) / sizeof(char16_t)}
constexpr Field kReserveFields[] = {FIELD(IDC_RESERVE_USER_NAME, szReserveUserName),
                                    FIELD(IDC_RESERVE_JOB_NAME, szReserveJobName),
                                    FIELD(IDC_RESERVE_PASSWORD, szReservePassword)};
constexpr Field kAccessFields[] = {FIELD(IDC_ACCESS_USER_NAME, szAccessUserName),
                                   FIELD(IDC_ACCESS_PASSWORD, szAccessPassword)};
#undef FIELD

// The field as SaveToRecord leaves it: the control's text cut to the width
// less one, the rest zeros.
void ExpectField(uint8_t* record, const Field& field, const std::u16string& text) {
    std::vector<char16_t> units(field.capacity, 0);
    for (size_t i = 0; i + 1 < field.capacity && i < text.size(); ++i) units[i] = text[i];
    std::memcpy(record + field.offset, units.data(), field.capacity * sizeof(char16_t));
}

std::u16string StoredText(const uint8_t* record, const Field& field) {
    std::u16string text;
    for (size_t i = 0; i < field.capacity; ++i) {
        char16_t unit;
        std::memcpy(&unit, record + field.offset + i * sizeof unit, sizeof unit);
        if (!unit) break;
        text.push_back(unit);
    }
    return text;
}

void CheckEnablingRules(ControlModel& controls, bool access, bool reserve) {
    const bool accessOn = controls.At(IDC_SAVE_ACCESS_CONTROL).checked;
    const bool reserveOn = controls.At(IDC_RESERVE_JOB).checked;
    if (access) {
        FUZZ_CHECK(controls.At(IDC_ACCESS_USER_NAME).enabled == accessOn);
        FUZZ_CHECK(controls.At(IDC_ACCESS_PASSWORD).enabled == accessOn);
    }
    if (reserve) {
        for (int id : {IDC_RESERVE_REPRINT, IDC_RESERVE_VERIFY, IDC_RESERVE_CONFIDENTIAL, IDC_RESERVE_JOB_NAME,
                       IDC_RESERVE_USER_NAME})
            FUZZ_CHECK(controls.At(id).enabled == reserveOn);
        FUZZ_CHECK(controls.At(IDC_RESERVE_PASSWORD).enabled ==
                   (reserveOn && controls.At(IDC_RESERVE_CONFIDENTIAL).checked));
    }
    for (int id : kOthers) FUZZ_CHECK(controls.At(id).enabled);
}

void Apply(ControlModel& controls, const PluginContext& context, GuardedRecord& guarded, bool withRecord, int code) {
    const GuardedRecord before = guarded;
    const size_t warnings = controls.warnings.size();
    const int calls = serviceCalls;
    controls.notifyResult = -1;

    // What the page must decide, from the controls as they stand.
    auto has = [&](int id) { return !controls.At(id).text.empty(); };
    bool valid = true;
    if (controls.At(IDC_RESERVE_JOB).checked) {
        if (controls.At(IDC_RESERVE_REPRINT).checked || controls.At(IDC_RESERVE_VERIFY).checked)
            valid = has(IDC_RESERVE_USER_NAME) && has(IDC_RESERVE_JOB_NAME);
        else if (controls.At(IDC_RESERVE_CONFIDENTIAL).checked)
            valid = has(IDC_RESERVE_USER_NAME) && has(IDC_RESERVE_JOB_NAME) && has(IDC_RESERVE_PASSWORD);
    }

    FUZZ_CHECK(OnPageNotify(controls, context, code));
    CheckControlUse(controls);

    if (!valid) {
        FUZZ_CHECK(controls.warnings.size() == warnings + 1);
        FUZZ_CHECK(controls.notifyResult == kNotifyInvalidStay);
        FUZZ_CHECK(serviceCalls == calls);
        FUZZ_CHECK(std::memcmp(guarded.bytes, before.bytes, sizeof before.bytes) == 0);
        return;
    }
    FUZZ_CHECK(controls.warnings.size() == warnings);
    FUZZ_CHECK(controls.notifyResult == kNotifyNoError);
    FUZZ_CHECK(serviceCalls == calls + (context.propSheetCallback ? 1 : 0));

    GuardedRecord expected = before;
    if (withRecord) {
        uint8_t* record = expected.bytes + kGuard;
        JOBSETTINGS fields;
        std::memcpy(&fields, record, sizeof fields);
        if (controls.At(IDC_RESERVE_JOB).checked) {
            const DWORD kinds[] = {kReserveJobReprint, kReserveJobVerify, kReserveJobConfidential};
            for (size_t k = 0; k < std::size(kRadios); ++k) {
                if (controls.At(kRadios[k]).checked) {
                    fields.dwReserveJobType = kinds[k];
                    break;
                }
            }
            std::memcpy(record + offsetof(JOBSETTINGS, dwReserveJobType), &fields.dwReserveJobType, sizeof(DWORD));
            for (const Field& field : kReserveFields) ExpectField(record, field, controls.At(field.id).text);
        } else {
            const DWORD none = kReserveJobNone;
            std::memcpy(record + offsetof(JOBSETTINGS, dwReserveJobType), &none, sizeof none);
        }
        const bool access = controls.At(IDC_SAVE_ACCESS_CONTROL).checked;
        record[offsetof(JOBSETTINGS, bSaveAccessControl)] = access ? 1 : 0;
        if (access)
            for (const Field& field : kAccessFields) ExpectField(record, field, controls.At(field.id).text);
    }
    FUZZ_CHECK(std::memcmp(guarded.bytes, expected.bytes, sizeof expected.bytes) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader input(data, size);
    const uint8_t flags = input.Byte();

    GuardedRecord guarded;
    std::memset(guarded.bytes, kGuardFill, sizeof guarded.bytes);
    input.Bytes(guarded.bytes + kGuard, sizeof(JOBSETTINGS));
    const bool withRecord = !(flags & flagNoRecord);

    if (flags & flagOverrideStrings) {
        for (size_t n = input.Byte() % 4; n > 0; --n) {
            const UINT id = kCatalogueIds[input.Below(std::size(kCatalogueIds))];
            if (input.Byte() & 1)
                platform::portable::RemoveString(id);
            else
                platform::portable::OverrideString(id, input.WideText(600));
        }
    }

    char moduleStandIn;
    OEMCUIPPARAM param{};
    param.cbSize = sizeof param;
    param.hModule = &moduleStandIn;
    param.hOEMHeap = platform::ProcessHeap();
    param.pOEMDM = guarded.record();
    PluginContext context;
    context.commonUiParam = withRecord ? &param : nullptr;
    context.propSheetCallback = (flags & flagNoService) ? nullptr : Service;

    ControlModel controls;
    for (auto& [id, control] : controls.controls) control.text = u"(template)";

    // Initialisation shows the record's texts, each read no further than its
    // width, and puts the enabling rules in force.
    const GuardedRecord initial = guarded;
    if (flags & flagFailAllocation) platform::portable::FailAllocation(input.Byte() % 16 + 1, input.Byte() & 1);
    InitializePage(controls, context);
    platform::portable::FailAllocation(0);
    CheckControlUse(controls);
    FUZZ_CHECK(std::memcmp(guarded.bytes, initial.bytes, sizeof initial.bytes) == 0);
    if (withRecord) {
        for (const Field& field : kReserveFields)
            FUZZ_CHECK(controls.At(field.id).text == StoredText(guarded.bytes + kGuard, field));
        for (const Field& field : kAccessFields)
            FUZZ_CHECK(controls.At(field.id).text == StoredText(guarded.bytes + kGuard, field));
    }
    CheckEnablingRules(controls, true, true);

    for (int step = 0; step < 48 && !input.empty(); ++step) {
        const uint8_t action = input.Byte();
        switch (action % 8) {
            case 0: {  // a click, as the dialog manager turns it into states
                const int buttons[] = {IDC_SAVE_ACCESS_CONTROL, IDC_RESERVE_JOB, IDC_RESERVE_REPRINT,
                                       IDC_RESERVE_VERIFY, IDC_RESERVE_CONFIDENTIAL};
                const int id = buttons[input.Below(std::size(buttons))];
                bool radio = false;
                for (int r : kRadios) radio = radio || r == id;
                if (radio)
                    for (int r : kRadios) controls.At(r).checked = r == id;
                else
                    controls.At(id).checked = !controls.At(id).checked;
                const int changed = controls.Count("PSM_CHANGED");
                OnPageCommand(controls, id, kButtonClicked);
                FUZZ_CHECK(controls.Count("PSM_CHANGED") == changed + 1);
                CheckEnablingRules(controls, id == IDC_SAVE_ACCESS_CONTROL, id != IDC_SAVE_ACCESS_CONTROL);
                break;
            }
            case 1: {  // text that reached an edit, typed, pasted or set
                const int id = kEdits[input.Below(std::size(kEdits))];
                controls.At(id).text = input.WideText(input.Byte() & 1 ? 40 : 16);
                const int changed = controls.Count("PSM_CHANGED");
                OnPageCommand(controls, id, kEditChanged);
                FUZZ_CHECK(controls.Count("PSM_CHANGED") == changed + 1);
                break;
            }
            case 2: {  // a state no click could make, such as two radio buttons checked
                const int id = action & 0x80 ? kRadios[input.Below(3)] : kChecks[input.Below(2)];
                controls.At(id).checked = input.Byte() & 1;
                break;
            }
            case 3: {  // any command
                const int id = static_cast<int>(input.Dword());
                const int notification = static_cast<int>(input.Word());
                const auto states = controls.controls;
                OnPageCommand(controls, id, notification);
                CheckControlUse(controls);
                for (const auto& [cid, control] : controls.controls) FUZZ_CHECK(control.text == states.at(cid).text);
                break;
            }
            case 4:
            case 5: {
                const int codes[] = {kSheetApply, kSheetKillActive};
                Apply(controls, context, guarded, withRecord, codes[action & 1]);
                break;
            }
            case 6: {  // any other notification changes nothing
                int code = static_cast<int>(input.Dword());
                if (code == kSheetApply || code == kSheetKillActive) code = kSheetReset;
                const GuardedRecord before = guarded;
                controls.notifyResult = 7;
                const bool answer = OnPageNotify(controls, context, code);
                FUZZ_CHECK(answer == (code != kSheetReset));
                FUZZ_CHECK(controls.notifyResult == 7);
                FUZZ_CHECK(std::memcmp(guarded.bytes, before.bytes, sizeof before.bytes) == 0);
                break;
            }
            default: {  // the filters judge WM_CHAR only
                const UINT message = input.Byte() & 1 ? kCharMessage : input.Word();
                const WPARAM code = input.Byte() & 1 ? input.Byte() : static_cast<WPARAM>(input.Dword()) << (input.Byte() % 33);
                for (CharFilter filter : {CharFilter::None, CharFilter::Name, CharFilter::Password, CharFilter::Digit}) {
                    const bool swallowed = FilterSwallows(filter, message, code);
                    FUZZ_CHECK(swallowed == (message == kCharMessage && !CharAccepted(filter, code)));
                    if (CharAccepted(filter, code) && filter != CharFilter::None)
                        FUZZ_CHECK(code == 0x08 || (code >= 0x20 && code <= 0x7E));
                    if (filter == CharFilter::Digit && CharAccepted(filter, code))
                        FUZZ_CHECK(code == 0x08 || (code >= '0' && code <= '9'));
                }
                break;
            }
        }
    }

    platform::portable::ResetStrings();
    return 0;
}
