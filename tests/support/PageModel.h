// A plain model of the Job Settings dialog for the page logic's tests, the
// allocation sweeps and the fuzz target: the template's controls with a
// check state, an enabled flag and a text each, user actions that behave as
// the dialog manager's controls do, and one ordered log of what the page
// tells the sheet and the property-sheet service. What the page should never
// do (touch an id the template lacks, set a null text) is noted, not fatal.
#pragma once

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "frame/JobSettings.h"
#include "frame/PluginContext.h"
#include "page/CharFilters.h"
#include "page/JobSettingsLogic.h"
#include "page/PageControls.h"
#include "platform/Platform.h"
#include "resources/LoadCatalogString.h"
#include "resources/ResourceIds.h"

namespace support {

enum class Kind { CheckBox, Radio, Edit, Label, Group };

// The edit class's own text limit, which a control keeps until the page sets one.
inline constexpr int kUnsetLimit = 30000;

struct ModelControl {
    Kind kind;
    bool checked = false;
    bool enabled = true;
    std::u16string text = u"(template)";
    int limit = kUnsetLimit;
    CharFilter filter = CharFilter::None;
};

// The plug-in's module as the driver names it; a null module is the
// process's executable, which holds no catalogue.
inline const HMODULE kPluginModule = reinterpret_cast<HMODULE>(0x10000);

// A catalogue text as the page would get it: what LoadCatalogString gives,
// a missing buffer being the empty text.
inline std::u16string Catalog(UINT id) {
    const auto text = LoadCatalogString(kPluginModule, platform::ProcessHeap(), id);
    return text ? text.get() : u"";
}

class ControlModel final : public PageControls {
public:
    std::map<int, ModelControl> controls;
    std::vector<std::string> events;
    std::vector<int> strayIds;        // ids the page touched that the template lacks
    int nullTexts = 0;                // texts the page set or showed as null
    LONG_PTR notifyResult = -1;       // the last DWLP_MSGRESULT
    std::vector<int> filterOrder;     // ids in the order filters were attached
    std::vector<std::pair<std::u16string, std::u16string>> warnings;  // text, caption
    std::function<std::string()> probe;  // appended to PSM_UNCHANGED events

    ControlModel() {
        for (int id : {IDC_ACCESS_GROUP, IDC_STATIC, IDC_RESERVE_PASSWORD_GROUP, IDC_RESERVE_USER_NAME_GROUP,
                       IDC_RESERVE_JOB_NAME_GROUP})
            controls[id] = {Kind::Group};
        for (int id : {IDC_ACCESS_DESCRIPTION, IDC_ACCESS_USER_NAME_LABEL, IDC_ACCESS_PASSWORD_LABEL})
            controls[id] = {Kind::Label};
        for (int id : {IDC_SAVE_ACCESS_CONTROL, IDC_RESERVE_JOB}) controls[id] = {Kind::CheckBox};
        for (int id : {IDC_RESERVE_REPRINT, IDC_RESERVE_VERIFY, IDC_RESERVE_CONFIDENTIAL})
            controls[id] = {Kind::Radio};
        for (int id : {IDC_ACCESS_USER_NAME, IDC_ACCESS_PASSWORD, IDC_RESERVE_PASSWORD, IDC_RESERVE_USER_NAME,
                       IDC_RESERVE_JOB_NAME})
            controls[id] = {Kind::Edit, false, true, u""};
    }

    ModelControl& At(int id) {
        auto it = controls.find(id);
        if (it != controls.end()) return it->second;
        strayIds.push_back(id);
        static ModelControl nowhere{Kind::Label};
        return nowhere;
    }

    // How many times the page did `event` ("PSM_CHANGED", "MessageBox", ...).
    int Count(const std::string& event) const {
        return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const std::string& e) {
            return e == event || e.rfind(event + " ", 0) == 0;
        }));
    }

    bool IsChecked(int id) override { return At(id).checked; }
    void SetChecked(int id, bool checked) override { At(id).checked = checked; }
    void Enable(int id, bool enabled) override { At(id).enabled = enabled; }
    void SetText(int id, const char16_t* text) override {
        nullTexts += text == nullptr;
        At(id).text = text ? text : u"";
    }
    size_t GetText(int id, char16_t* buffer, size_t capacity) override {
        const std::u16string& text = At(id).text;
        if (capacity == 0) return 0;
        size_t n = std::min(text.size(), capacity - 1);
        text.copy(buffer, n);
        buffer[n] = 0;
        return n;
    }
    void SetTextLimit(int id, int limit) override { At(id).limit = limit; }
    void AttachFilter(int id, CharFilter filter) override {
        At(id).filter = filter;
        filterOrder.push_back(id);
    }
    void MarkChanged() override { events.push_back("PSM_CHANGED"); }
    void MarkUnchanged() override { events.push_back("PSM_UNCHANGED" + (probe ? " " + probe() : std::string())); }
    void SetNotifyResult(LONG_PTR result) override {
        notifyResult = result;
        events.push_back("DWLP_MSGRESULT " + std::to_string(result));
    }
    void ShowWarning(const char16_t* text, const char16_t* caption) override {
        nullTexts += (text == nullptr) + (caption == nullptr);
        warnings.emplace_back(text ? text : u"", caption ? caption : u"");
        events.push_back("MessageBox");
    }
};

// The property-sheet service of the tests: it appends what it is asked to
// the log of the page under test.
inline std::vector<std::string>* g_serviceLog = nullptr;
inline const HANDLE kSheet = reinterpret_cast<HANDLE>(0x5E1);
inline const HANDLE kPage = reinterpret_cast<HANDLE>(0x9A6E);

inline LONG_PTR CALLBACK FakeService(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM lParam2) {
    if (g_serviceLog)
        g_serviceLog->push_back("service " + std::string(sheet == kSheet ? "sheet" : "other-sheet") + " " +
                                std::to_string(function) + " " +
                                (reinterpret_cast<HANDLE>(lParam1) == kPage ? "page" : "other-page") + " " +
                                std::to_string(lParam2));
    return 0;
}

// A page shown from a context that CommonUIProp filled with a module, a heap
// and a record; the user acts on the model as on the real controls.
class PageHarness {
public:
    JOBSETTINGS record;
    OEMCUIPPARAM param = {};
    PluginContext context;
    ControlModel page;

    PageHarness() {
        std::memset(&record, 0xAB, sizeof record);  // padding shows whether anything wrote it
        SetDefaultJobSettings(&record);
        param.hModule = kPluginModule;
        param.hOEMHeap = platform::ProcessHeap();
        param.pOEMDM = &record;
        context.commonUiParam = &param;
        context.propSheetHandle = kSheet;
        context.pageHandle = kPage;
        context.propSheetCallback = FakeService;
        g_serviceLog = &page.events;
    }
    ~PageHarness() { g_serviceLog = nullptr; }
    PageHarness(const PageHarness&) = delete;
    PageHarness& operator=(const PageHarness&) = delete;

    void Open() {
        InitializePage(page, context);
        page.events.clear();
    }

    // A click as the dialog manager makes it: a disabled control takes none;
    // a check box toggles; an automatic radio button checks itself and
    // unchecks the others of its group. False when the click did not land.
    bool Click(int id) {
        ModelControl& control = page.At(id);
        if (!control.enabled) return false;
        if (control.kind == Kind::CheckBox) {
            control.checked = !control.checked;
        } else if (control.kind == Kind::Radio) {
            for (auto& [otherId, other] : page.controls)
                if (other.kind == Kind::Radio) other.checked = otherId == id;
        } else {
            return false;
        }
        OnPageCommand(page, id, kButtonClicked);
        return true;
    }

    // Typed characters, each as one WM_CHAR through the edit's filter, then
    // the edit's own handling: backspace, and the text limit.
    void Type(int id, const std::u16string& chars) {
        ModelControl& control = page.At(id);
        for (char16_t c : chars) {
            if (!control.enabled || FilterSwallows(control.filter, kCharMessage, c)) continue;
            const std::u16string before = control.text;
            if (c == 0x08) {
                if (!control.text.empty()) control.text.pop_back();
            } else if (static_cast<int>(control.text.size()) < control.limit) {
                control.text.push_back(c);
            }
            if (control.text != before) OnPageCommand(page, id, kEditChanged);
        }
    }

    bool Notify(int code) { return OnPageNotify(page, context, code); }

    std::u16string Text(int id) { return page.At(id).text; }
    bool Checked(int id) { return page.At(id).checked; }
    bool Enabled(int id) { return page.At(id).enabled; }
};

}  // namespace support
