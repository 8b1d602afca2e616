// The Win32 side of the Job Settings page: its descriptor for the
// property-sheet service, its activation context, and a dialog procedure that
// hands each message to the page logic over the real controls.
#include "page/PageBinding.h"

#include "frame/Module.h"
#include "frame/win32/ActivationContext.h"
#include "page/JobSettingsLogic.h"
#include "page/win32/EditFilters.h"
#include "resources/ResourceIds.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t));
static_assert(sizeof(PROPSHEETPAGEW) == (sizeof(void*) == 8 ? 96 : 52));
static_assert(sizeof(ACTCTXW) == (sizeof(void*) == 8 ? 56 : 32));
static_assert(kButtonClicked == BN_CLICKED && kEditChanged == EN_CHANGE);
static_assert(kSheetKillActive == static_cast<int>(PSN_KILLACTIVE) && kSheetApply == static_cast<int>(PSN_APPLY) &&
              kSheetReset == static_cast<int>(PSN_RESET));
static_assert(kNotifyNoError == PSNRET_NOERROR && kNotifyInvalidStay == PSNRET_INVALID_NOCHANGEPAGE);

namespace {

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// DWLP_USER and DWLP_MSGRESULT; the x86 build uses the 32-bit slot calls.
LONG_PTR GetDialogSlot(HWND page, int slot) {
#if defined(_WIN64)
    return ::GetWindowLongPtrW(page, slot);
#else
    return ::GetWindowLongW(page, slot);
#endif
}

void SetDialogSlot(HWND page, int slot, LONG_PTR value) {
#if defined(_WIN64)
    ::SetWindowLongPtrW(page, slot, value);
#else
    ::SetWindowLongW(page, slot, static_cast<LONG>(value));
#endif
}

constexpr int kUserSlot = static_cast<int>(DWLP_USER);
constexpr int kResultSlot = static_cast<int>(DWLP_MSGRESULT);

// The page's controls as the dialog manager holds them.
class DialogControls final : public PageControls {
public:
    explicit DialogControls(HWND page) : page_(page) {}

    bool IsChecked(int id) override {
        return ::SendDlgItemMessageW(page_, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void SetChecked(int id, bool checked) override {
        ::SendDlgItemMessageW(page_, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    void Enable(int id, bool enabled) override { ::EnableWindow(::GetDlgItem(page_, id), enabled ? TRUE : FALSE); }
    void SetText(int id, const char16_t* text) override {
        ::SendDlgItemMessageW(page_, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(text)));
    }
    size_t GetText(int id, char16_t* buffer, size_t capacity) override {
        if (capacity == 0) return 0;
        buffer[0] = 0;  // a missing control copies nothing
        return static_cast<size_t>(
            ::SendDlgItemMessageW(page_, id, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(buffer)));
    }
    void SetTextLimit(int id, int limit) override {
        ::SendDlgItemMessageW(page_, id, EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    }
    void AttachFilter(int id, CharFilter filter) override { AttachEditFilter(::GetDlgItem(page_, id), filter); }
    void MarkChanged() override { ::SendMessageW(::GetParent(page_), PSM_CHANGED, reinterpret_cast<WPARAM>(page_), 0); }
    void MarkUnchanged() override {
        ::SendMessageW(::GetParent(page_), PSM_UNCHANGED, reinterpret_cast<WPARAM>(page_), 0);
    }
    void SetNotifyResult(LONG_PTR result) override { SetDialogSlot(page_, kResultSlot, result); }
    void ShowWarning(const char16_t* text, const char16_t* caption) override {
        ::MessageBoxW(page_, Wide(text), Wide(caption), MB_OK | MB_ICONWARNING);
    }

private:
    HWND page_;
};

INT_PTR OnInitDialog(HWND page, const PROPSHEETPAGEW* descriptor) {
    auto* context = descriptor ? reinterpret_cast<PluginContext*>(descriptor->lParam) : nullptr;
    if (!context) return FALSE;
    // Every filter passes on to this procedure, so it is taken before any edit is filtered.
    CaptureEditProc(::GetDlgItem(page, IDC_ACCESS_USER_NAME));
    DialogControls controls(page);
    InitializePage(controls, *context);
    // Only now: setting the record's texts makes the edits send EN_CHANGE,
    // which must find no context rather than mark the page as changed (on a
    // later tab, the sheet would then offer Apply for nothing).
    SetDialogSlot(page, kUserSlot, reinterpret_cast<LONG_PTR>(context));
    return FALSE;
}

INT_PTR CALLBACK JobSettingsDialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog(page, reinterpret_cast<const PROPSHEETPAGEW*>(lParam));

    // Messages sent before WM_INITDIALOG (WM_SETFONT and the like) find no context.
    auto* context = reinterpret_cast<PluginContext*>(GetDialogSlot(page, kUserSlot));
    if (!context) return FALSE;

    DialogControls controls(page);
    switch (message) {
        case WM_COMMAND: OnPageCommand(controls, LOWORD(wParam), HIWORD(wParam)); return FALSE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (!header) return FALSE;
            return OnPageNotify(controls, *context, static_cast<int>(header->code)) ? TRUE : FALSE;
        }
        default: return FALSE;
    }
}

HANDLE CreatePageActivationContext() {
    const auto path = ReadModulePath(::GetProcessHeap(), [](char16_t* buffer, DWORD capacity) {
        return ::GetModuleFileNameW(g_moduleHandle, reinterpret_cast<wchar_t*>(buffer), capacity);
    });
    if (!path) return INVALID_HANDLE_VALUE;

    ACTCTXW description = {};
    description.cbSize = sizeof description;
    description.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    description.lpSource = Wide(path.get());
    description.lpResourceName = MAKEINTRESOURCEW(IDM_MANIFEST);
    return CreateActivationContext(&description);
}

}  // namespace

HANDLE AddPageToSheet(PluginContext& context, const char16_t* title) {
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE;
    page.hInstance = g_moduleHandle;
    page.pszTemplate = MAKEINTRESOURCEW(IDD_JOB_SETTINGS);
    page.pszTitle = Wide(title);
    page.pfnDlgProc = JobSettingsDialogProc;
    page.lParam = reinterpret_cast<LPARAM>(&context);

    page.hActCtx = PrepareActivationContext(CreatePageActivationContext);
    if (UsableActivationContext(page.hActCtx)) page.dwFlags |= PSP_USEFUSIONCONTEXT;

    if (!context.propSheetCallback) return nullptr;
    return reinterpret_cast<HANDLE>(context.propSheetCallback(context.propSheetHandle, CPSFUNC_ADD_PROPSHEETPAGEW,
                                                              reinterpret_cast<LPARAM>(&page), 0));
}
