#include "page/win32/EditFilters.h"

#include "page/CharFilters.h"

WNDPROC g_previousEditProc = nullptr;

static_assert(kCharMessage == WM_CHAR);

namespace {

template <CharFilter filter>
LRESULT FilterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (FilterSwallows(filter, message, wParam)) return 0;
    return ::CallWindowProcW(g_previousEditProc, window, message, wParam, lParam);
}

WNDPROC FilterProc(CharFilter filter) {
    switch (filter) {
        case CharFilter::Name: return NameCharFilter;
        case CharFilter::Password: return PasswordCharFilter;
        case CharFilter::Digit: return DigitCharFilter;
        case CharFilter::None: return nullptr;
    }
    return nullptr;
}

// The x86 build uses the 32-bit slot calls, which every x86 system has.
LONG_PTR GetWindowProc(HWND window) {
#if defined(_WIN64)
    return ::GetWindowLongPtrW(window, GWLP_WNDPROC);
#else
    return ::GetWindowLongW(window, GWL_WNDPROC);
#endif
}

void SetWindowProc(HWND window, WNDPROC proc) {
#if defined(_WIN64)
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
#else
    ::SetWindowLongW(window, GWL_WNDPROC, static_cast<LONG>(reinterpret_cast<LONG_PTR>(proc)));
#endif
}

}  // namespace

LRESULT CALLBACK NameCharFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return FilterMessage<CharFilter::Name>(window, message, wParam, lParam);
}

LRESULT CALLBACK PasswordCharFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return FilterMessage<CharFilter::Password>(window, message, wParam, lParam);
}

LRESULT CALLBACK DigitCharFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return FilterMessage<CharFilter::Digit>(window, message, wParam, lParam);
}

void CaptureEditProc(HWND edit) {
    const auto proc = reinterpret_cast<WNDPROC>(GetWindowProc(edit));
    if (!proc || proc == NameCharFilter || proc == PasswordCharFilter || proc == DigitCharFilter) return;
    g_previousEditProc = proc;
}

void AttachEditFilter(HWND edit, CharFilter filter) {
    if (WNDPROC proc = FilterProc(filter)) SetWindowProc(edit, proc);
}
