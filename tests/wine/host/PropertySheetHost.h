// The driver's part around the plug-in's page, played through Wine's own
// common property-sheet service: CommonUIProp with a parameter block, then
// CommonPropertySheetUIW with a callback that adds a page of the host's and
// forwards every reason to the plug-in's DocumentPropertySheets.
//
// The sheet is modal, so a script drives it from a second thread with window
// messages, the way a user's input would reach it, while the test's thread
// sits inside CommonPropertySheetUIW.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "frame/JobSettings.h"
#include "platform/HostAbi.h"

namespace host {

// Tab title of the host's own page, the second tab of the sheet unless the
// host puts it first.
extern const wchar_t kHostPageTitle[];

// A warning box found on the sheet's thread, read and closed by the script.
struct MessageBoxSeen {
    bool shown = false;
    std::wstring caption;
    std::wstring text;
    bool ownedBySheet = false;
    bool warningIcon = false;  // the platform's exclamation icon
    bool okOnly = false;       // an OK button and no other
};

// What a script can do with the open sheet. Every call is bounded in time: a
// sheet or box that does not turn up is reported, never waited for forever.
class SheetDriver {
public:
    SheetDriver(DWORD sheetThread, HANDLE sheetReturned);

    // Waits for the sheet to show its first page.
    bool WaitForSheet();
    HWND sheet() const { return sheet_; }

    // The page in front, its tab index, and the tabs' titles.
    HWND CurrentPage() const;
    int CurrentTab() const;
    int TabCount() const;
    std::wstring TabTitle(int index) const;
    std::wstring Caption() const;
    bool ApplyEnabled() const;

    // Controls of the page in front, by id.
    HWND Control(int id) const;
    std::wstring Text(int id) const;
    bool IsEnabled(int id) const;
    bool IsChecked(int id) const;
    void SetText(int id, const std::wstring& text) const;
    // One WM_CHAR per unit after the field's text, as typing delivers them.
    void Type(int id, const std::wstring& units) const;
    void Click(int id) const;

    // Posted, not sent: the sheet may open a message box before it is done.
    void PostSelectTab(int index) const;
    void PostPressButton(int button) const;

    // Waits for a message box on the sheet's thread, reads it, closes it with
    // OK, and waits until the sheet is back in its own loop.
    MessageBoxSeen CloseMessageBox();
    // True when a message box is open now (checked once, no waiting).
    bool MessageBoxOpen() const;
    // Waits for a condition checked on the script's thread.
    bool WaitUntil(const std::function<bool()>& condition) const;
    // Returns once the sheet's thread has handled everything sent before.
    void Sync() const;
    // After OK or Cancel: waits for CommonPropertySheetUIW to return.
    bool WaitForSheetReturn() const;
    // Whether it has returned (checked once, no waiting).
    bool SheetReturned() const;

    // The sheet window as a 24-bit BMP file.
    bool Screenshot(const std::wstring& path) const;

    // Closes boxes and cancels the sheet, for a script that left it open.
    void Abandon();

private:
    HWND FindMessageBox() const;

    DWORD sheetThread_;
    HANDLE sheetReturned_;
    HWND sheet_ = nullptr;
};

// One call the plug-in made to the property-sheet service, seen on its way
// through the host to Wine's service.
struct ServiceCall {
    UINT function = 0;
    LPARAM lParam1 = 0, lParam2 = 0;
    LONG_PTR answer = 0;
    // CPSFUNC_ADD_PROPSHEETPAGEW: the descriptor's bytes and title as handed over.
    std::vector<BYTE> descriptor;
    std::wstring title;
};

struct SheetRun {
    HRESULT commonUiProp = E_FAIL;
    LONG status = 0;             // CommonPropertySheetUIW's answer
    DWORD result = 0xDEADBEEF;   // its pResult
    std::vector<WORD> reasons;   // forwarded to the plug-in, in order
    std::vector<HRESULT> answers;
    std::wstring infoHeaderTitle;  // what the plug-in put into the header
    std::vector<ServiceCall> serviceCalls;  // made by the plug-in, in order
    bool scriptLeftSheetOpen = false;
    bool scriptFinished = false;
    bool hostPageActivated = false;
};

class PropertySheetHost {
public:
    // The plug-in object, its loaded module and the heap the driver lends it,
    // all owned by the caller.
    PropertySheetHost(IPrintOemUI2* plugin, HMODULE pluginModule, HANDLE pluginHeap);
    PropertySheetHost(const PropertySheetHost&) = delete;
    PropertySheetHost& operator=(const PropertySheetHost&) = delete;

    // Opens the document-properties sheet over `record` (owned by the caller,
    // written by the page) and runs `script` against it on a second thread.
    // First it makes the document sheet's CommonUIProp with a parameter block
    // of its own, unless the caller plays the driver and has made its calls.
    enum class ParamBlock { Host, Caller };
    SheetRun Run(JOBSETTINGS* record, const std::function<void(SheetDriver&)>& script,
                 ParamBlock paramBlock = ParamBlock::Host);

    // Where the host's own page goes: after the plug-in's (the plug-in's page
    // is shown first), or before it, so that the plug-in's page is only made
    // when the user turns to it.
    enum class HostPage { After, Before };
    HostPage hostPage = HostPage::After;

private:
    static LONG CALLBACK SheetCallback(PROPSHEETUI_INFO* info, LPARAM lParam);
    static LONG_PTR CALLBACK PluginService(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM lParam2);
    static INT_PTR CALLBACK HostPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
    LONG OnSheetReason(PROPSHEETUI_INFO* info, LPARAM lParam);
    void AddHostPage(const PROPSHEETUI_INFO& info);

    IPrintOemUI2* plugin_;
    HMODULE module_;
    HANDLE heap_;
    OEMUIOBJ uiObject_ = {};
    OEMCUIPPARAM param_ = {};
    std::vector<WORD> hostTemplate_;
    SheetRun* run_ = nullptr;
    PFNCOMPROPSHEET service_ = nullptr;  // Wine's, behind PluginService
};

}  // namespace host
