#include "tests/wine/host/PropertySheetHost.h"

#include <cstdio>
#include <cstring>

namespace host {

const wchar_t kHostPageTitle[] = L"Layout";

namespace {

// Generous for a loaded machine; only a broken sheet ever waits this long.
constexpr DWORD kPatienceMs = 20000;
constexpr DWORD kPollMs = 10;

// Control ids of the platform's sheet and message box.
constexpr int kApplyButtonId = 0x3021;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconId = 1088;

typedef LONG(APIENTRY* CommonPropertySheetUIProc)(HWND, PFNPROPSHEETUI, LPARAM, DWORD*);

// mingw-w64 ships no import library for compstui.
CommonPropertySheetUIProc LoadCommonPropertySheetUI() {
    HMODULE compstui = ::LoadLibraryW(L"compstui.dll");
    if (!compstui) return nullptr;
    return reinterpret_cast<CommonPropertySheetUIProc>(
        reinterpret_cast<void*>(::GetProcAddress(compstui, "CommonPropertySheetUIW")));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

std::wstring WindowText(HWND window) {
    if (!window) return L"";
    const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

struct ThreadWindows {
    std::vector<HWND> windows;
    static BOOL CALLBACK Collect(HWND window, LPARAM self) {
        reinterpret_cast<ThreadWindows*>(self)->windows.push_back(window);
        return TRUE;
    }
};

std::vector<HWND> WindowsOfThread(DWORD thread) {
    ThreadWindows found;
    ::EnumThreadWindows(thread, ThreadWindows::Collect, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

// A dialog template in memory: one static text on a page smaller than the
// plug-in's, so the sheet keeps the plug-in's size.
std::vector<WORD> BuildHostPageTemplate() {
    std::vector<WORD> t;
    auto dword = [&t](DWORD value) {
        t.push_back(LOWORD(value));
        t.push_back(HIWORD(value));
    };
    auto text = [&t](const wchar_t* s) {
        do t.push_back(static_cast<WORD>(*s)); while (*s++);
    };
    dword(WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT);
    dword(0);
    t.push_back(1);  // one control
    t.push_back(0); t.push_back(0); t.push_back(200); t.push_back(100);
    t.push_back(0);  // no menu
    t.push_back(0);  // the dialog class
    text(kHostPageTitle);
    t.push_back(8);
    text(L"MS Shell Dlg");
    if (t.size() % 2) t.push_back(0);  // items start on a DWORD
    dword(WS_CHILD | WS_VISIBLE | SS_LEFT);
    dword(0);
    t.push_back(10); t.push_back(10); t.push_back(180); t.push_back(10);
    t.push_back(100);  // id
    t.push_back(0xFFFF); t.push_back(0x0082);  // STATIC
    text(L"The host driver's own page.");
    t.push_back(0);  // no creation data
    return t;
}

bool WriteBmp(const std::wstring& path, int width, int height, const std::vector<BYTE>& bottomUpRows) {
    const DWORD imageBytes = static_cast<DWORD>(bottomUpRows.size());
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + imageBytes;
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = imageBytes;
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(bottomUpRows.data(), 1, imageBytes, out) == imageBytes;
    return std::fclose(out) == 0 && ok;
}

}  // namespace

// ---------------------------------------------------------------- SheetDriver

SheetDriver::SheetDriver(DWORD sheetThread, HANDLE sheetReturned)
    : sheetThread_(sheetThread), sheetReturned_(sheetReturned) {}

bool SheetDriver::WaitUntil(const std::function<bool()>& condition) const {
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > kPatienceMs) return false;
        ::Sleep(kPollMs);
    }
    return true;
}

bool SheetDriver::WaitForSheet() {
    return WaitUntil([this] {
        if (::WaitForSingleObject(sheetReturned_, 0) == WAIT_OBJECT_0) return true;
        for (HWND window : WindowsOfThread(sheetThread_)) {
            if (ClassOf(window) != L"#32770" || !::IsWindowVisible(window)) continue;
            if (!::FindWindowExW(window, nullptr, L"SysTabControl32", nullptr)) continue;
            sheet_ = window;
            return CurrentPage() != nullptr;
        }
        return false;
    }) && sheet_ != nullptr && ::WaitForSingleObject(sheetReturned_, 0) != WAIT_OBJECT_0;
}

HWND SheetDriver::CurrentPage() const {
    return sheet_ ? reinterpret_cast<HWND>(::SendMessageW(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0)) : nullptr;
}

int SheetDriver::CurrentTab() const {
    HWND page = CurrentPage();
    return page ? static_cast<int>(::SendMessageW(sheet_, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(page), 0)) : -1;
}

int SheetDriver::TabCount() const {
    HWND tabs = reinterpret_cast<HWND>(::SendMessageW(sheet_, PSM_GETTABCONTROL, 0, 0));
    return tabs ? static_cast<int>(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0)) : 0;
}

std::wstring SheetDriver::TabTitle(int index) const {
    HWND tabs = reinterpret_cast<HWND>(::SendMessageW(sheet_, PSM_GETTABCONTROL, 0, 0));
    if (!tabs) return L"";
    wchar_t text[256] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 256;
    if (!::SendMessageW(tabs, TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item))) return L"";
    return text;
}

std::wstring SheetDriver::Caption() const { return WindowText(sheet_); }

bool SheetDriver::ApplyEnabled() const { return ::IsWindowEnabled(::GetDlgItem(sheet_, kApplyButtonId)) != FALSE; }

HWND SheetDriver::Control(int id) const { return ::GetDlgItem(CurrentPage(), id); }

std::wstring SheetDriver::Text(int id) const { return WindowText(Control(id)); }

bool SheetDriver::IsEnabled(int id) const { return ::IsWindowEnabled(Control(id)) != FALSE; }

bool SheetDriver::IsChecked(int id) const { return ::SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SheetDriver::SetText(int id, const std::wstring& text) const {
    ::SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SheetDriver::Type(int id, const std::wstring& units) const {
    HWND edit = Control(id);
    // At the end of what the field holds, where a user clicking in would type.
    const WPARAM end = static_cast<WPARAM>(::SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0));
    ::SendMessageW(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
    for (wchar_t unit : units) ::SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(unit), 1);
}

void SheetDriver::Click(int id) const { ::SendMessageW(Control(id), BM_CLICK, 0, 0); }

void SheetDriver::PostSelectTab(int index) const { ::PostMessageW(sheet_, PSM_SETCURSEL, index, 0); }

void SheetDriver::PostPressButton(int button) const { ::PostMessageW(sheet_, PSM_PRESSBUTTON, button, 0); }

HWND SheetDriver::FindMessageBox() const {
    for (HWND window : WindowsOfThread(sheetThread_)) {
        if (window == sheet_ || ClassOf(window) != L"#32770" || !::IsWindowVisible(window)) continue;
        if (::GetDlgItem(window, kMessageBoxTextId)) return window;
    }
    return nullptr;
}

bool SheetDriver::MessageBoxOpen() const { return FindMessageBox() != nullptr; }

MessageBoxSeen SheetDriver::CloseMessageBox() {
    MessageBoxSeen seen;
    HWND box = nullptr;
    if (!WaitUntil([&] { return (box = FindMessageBox()) != nullptr; })) return seen;
    seen.shown = true;
    seen.caption = WindowText(box);
    seen.text = WindowText(::GetDlgItem(box, kMessageBoxTextId));
    seen.ownedBySheet = ::GetWindow(box, GW_OWNER) == sheet_;
    const HICON shown = reinterpret_cast<HICON>(::SendDlgItemMessageW(box, kMessageBoxIconId, STM_GETICON, 0, 0));
    seen.warningIcon = shown && shown == ::LoadIconW(nullptr, IDI_WARNING);
    seen.okOnly = ::GetDlgItem(box, IDOK) && !::GetDlgItem(box, IDCANCEL) && !::GetDlgItem(box, IDYES) &&
                  !::GetDlgItem(box, IDNO) && !::GetDlgItem(box, IDRETRY);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
    WaitUntil([box] { return !::IsWindow(box); });
    Sync();
    return seen;
}

void SheetDriver::Sync() const {
    // Answered only from a message loop, so the sheet's thread has left the
    // box's loop and finished the posted request that opened it.
    DWORD_PTR ignored = 0;
    if (sheet_) ::SendMessageTimeoutW(sheet_, WM_NULL, 0, 0, SMTO_NORMAL, kPatienceMs, &ignored);
}

bool SheetDriver::WaitForSheetReturn() const {
    return ::WaitForSingleObject(sheetReturned_, kPatienceMs) == WAIT_OBJECT_0;
}

bool SheetDriver::SheetReturned() const { return ::WaitForSingleObject(sheetReturned_, 0) == WAIT_OBJECT_0; }

bool SheetDriver::Screenshot(const std::wstring& path) const {
    if (!sheet_) return false;
    ::RedrawWindow(sheet_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sync();
    // The client area only: without a window manager nobody draws the frame.
    RECT client = {};
    ::GetClientRect(sheet_, &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return false;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC window = ::GetDC(sheet_);
    HDC memory = ::CreateCompatibleDC(window);
    HBITMAP bitmap = ::CreateDIBSection(window, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ previous = ::SelectObject(memory, bitmap);
        ok = ::BitBlt(memory, 0, 0, width, height, window, 0, 0, SRCCOPY) != FALSE;
        ::GdiFlush();
        ::SelectObject(memory, previous);
        const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
        const BYTE* first = static_cast<const BYTE*>(bits);
        std::vector<BYTE> rows(first, first + stride * height);
        ok = ok && WriteBmp(path, width, height, rows);
    }
    if (bitmap) ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(sheet_, window);
    return ok;
}

void SheetDriver::Abandon() {
    for (int attempt = 0; attempt < 5 && ::WaitForSingleObject(sheetReturned_, 0) != WAIT_OBJECT_0; ++attempt) {
        while (HWND box = FindMessageBox()) {
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            WaitUntil([box] { return !::IsWindow(box); });
        }
        if (sheet_) ::PostMessageW(sheet_, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        if (::WaitForSingleObject(sheetReturned_, 2000) == WAIT_OBJECT_0) return;
    }
}

// ---------------------------------------------------------- PropertySheetHost

namespace {

// The service function has no context of its own; one sheet is open at a time.
PropertySheetHost* g_openSheetHost = nullptr;

struct ScriptStart {
    DWORD sheetThread;
    HANDLE sheetReturned;
    const std::function<void(SheetDriver&)>* script;
    SheetRun* run;
};

DWORD WINAPI ScriptThread(void* argument) {
    auto* start = static_cast<ScriptStart*>(argument);
    SheetDriver driver(start->sheetThread, start->sheetReturned);
    (*start->script)(driver);
    start->run->scriptFinished = true;
    if (::WaitForSingleObject(start->sheetReturned, 0) != WAIT_OBJECT_0) {
        start->run->scriptLeftSheetOpen = true;
        driver.Abandon();
    }
    return 0;
}

}  // namespace

PropertySheetHost::PropertySheetHost(IPrintOemUI2* plugin, HMODULE pluginModule, HANDLE pluginHeap)
    : plugin_(plugin), module_(pluginModule), heap_(pluginHeap), hostTemplate_(BuildHostPageTemplate()) {}

SheetRun PropertySheetHost::Run(JOBSETTINGS* record, const std::function<void(SheetDriver&)>& script,
                                ParamBlock paramBlock) {
    SheetRun run;
    run_ = &run;

    uiObject_ = {};
    uiObject_.cbSize = sizeof uiObject_;
    param_ = {};
    param_.cbSize = sizeof param_;
    param_.poemuiobj = &uiObject_;
    param_.hModule = module_;
    param_.hOEMHeap = heap_;
    param_.pOEMDM = record;
    run.commonUiProp = paramBlock == ParamBlock::Host ? plugin_->CommonUIProp(OEMCUIP_DOCPROP, &param_) : S_OK;

    static const CommonPropertySheetUIProc commonPropertySheetUI = LoadCommonPropertySheetUI();
    if (!commonPropertySheetUI) {
        run.status = -1;
        run_ = nullptr;
        return run;
    }

    HANDLE sheetReturned = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ScriptStart start = {::GetCurrentThreadId(), sheetReturned, &script, &run};
    HANDLE scriptThread = ::CreateThread(nullptr, 0, ScriptThread, &start, 0, nullptr);

    g_openSheetHost = this;
    // mingw-w64 declares the callback type without its calling convention.
    run.status = commonPropertySheetUI(nullptr, reinterpret_cast<PFNPROPSHEETUI>(&SheetCallback),
                                       reinterpret_cast<LPARAM>(this), &run.result);
    g_openSheetHost = nullptr;
    ::SetEvent(sheetReturned);
    if (scriptThread) {
        ::WaitForSingleObject(scriptThread, INFINITE);
        ::CloseHandle(scriptThread);
    }
    ::CloseHandle(sheetReturned);
    run_ = nullptr;
    return run;
}

LONG CALLBACK PropertySheetHost::SheetCallback(PROPSHEETUI_INFO* info, LPARAM lParam) {
    auto* self = info ? reinterpret_cast<PropertySheetHost*>(info->lParamInit) : nullptr;
    return self ? self->OnSheetReason(info, lParam) : 0;
}

LONG_PTR CALLBACK PropertySheetHost::PluginService(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM lParam2) {
    PropertySheetHost* self = g_openSheetHost;
    if (!self || !self->service_) return 0;
    ServiceCall call;
    call.function = function;
    call.lParam1 = lParam1;
    call.lParam2 = lParam2;
    if (function == CPSFUNC_ADD_PROPSHEETPAGEW && lParam1) {
        const auto* page = reinterpret_cast<const PROPSHEETPAGEW*>(lParam1);
        const auto* bytes = reinterpret_cast<const BYTE*>(page);
        call.descriptor.assign(bytes, bytes + page->dwSize);
        if ((page->dwFlags & PSP_USETITLE) && page->pszTitle && !IS_INTRESOURCE(page->pszTitle))
            call.title = page->pszTitle;
    }
    call.answer = self->service_(sheet, function, lParam1, lParam2);
    self->run_->serviceCalls.push_back(call);
    return call.answer;
}

void PropertySheetHost::AddHostPage(const PROPSHEETUI_INFO& info) {
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
    page.pResource = reinterpret_cast<const DLGTEMPLATE*>(hostTemplate_.data());
    page.pszTitle = kHostPageTitle;
    page.pfnDlgProc = HostPageProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
    info.pfnComPropSheet(info.hComPropSheet, CPSFUNC_ADD_PROPSHEETPAGEW, reinterpret_cast<LPARAM>(&page), 0);
}

LONG PropertySheetHost::OnSheetReason(PROPSHEETUI_INFO* info, LPARAM lParam) {
    const bool init = info->Reason == PROPSHEETUI_REASON_INIT;
    if (init && hostPage == HostPage::Before) AddHostPage(*info);
    // The plug-in reaches Wine's service through the host, which records its calls.
    if (info->pfnComPropSheet && info->pfnComPropSheet != PluginService) service_ = info->pfnComPropSheet;
    PROPSHEETUI_INFO forwarded = *info;
    if (forwarded.pfnComPropSheet) forwarded.pfnComPropSheet = PluginService;
    const HRESULT answer = plugin_->DocumentPropertySheets(&forwarded, lParam);
    info->UserData = forwarded.UserData;
    info->Result = forwarded.Result;
    run_->reasons.push_back(info->Reason);
    run_->answers.push_back(answer);

    switch (info->Reason) {
        case PROPSHEETUI_REASON_INIT:
            if (hostPage == HostPage::After) AddHostPage(*info);
            break;
        case PROPSHEETUI_REASON_GET_INFO_HEADER: {
            const auto* header = reinterpret_cast<const PROPSHEETUI_INFO_HEADER*>(lParam);
            if (header && header->pTitle) run_->infoHeaderTitle = reinterpret_cast<const wchar_t*>(header->pTitle);
            break;
        }
        default: break;
    }
    // The service goes on only while the callback answers above zero.
    return SUCCEEDED(answer) ? 1 : -1;
}

INT_PTR CALLBACK PropertySheetHost::HostPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<PropertySheetHost*>(::GetWindowLongPtrW(page, DWLP_USER));
    if (message == WM_NOTIFY && self && self->run_ &&
        reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(PSN_SETACTIVE)) {
        self->run_->hostPageActivated = true;
    }
    return FALSE;
}

}  // namespace host
