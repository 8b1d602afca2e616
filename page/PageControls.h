// What the page logic needs of its dialog: a check state, an enabled flag and
// a text per control id, plus the few things it tells the sheet. The Win32
// binding implements it over the dialog manager; tests over a plain model.
#pragma once

#include <cstddef>

#include "platform/HostAbi.h"

enum class CharFilter { None, Name, Password, Digit };

// Results the page leaves for the sheet after a notification.
constexpr LONG_PTR kNotifyNoError = 0;         // PSNRET_NOERROR
constexpr LONG_PTR kNotifyInvalidStay = 2;     // PSNRET_INVALID_NOCHANGEPAGE

class PageControls {
public:
    virtual bool IsChecked(int id) = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    virtual void SetText(int id, const char16_t* text) = 0;
    // WM_GETTEXT: at most capacity - 1 units and a terminator; the units copied.
    virtual size_t GetText(int id, char16_t* buffer, size_t capacity) = 0;
    virtual void SetTextLimit(int id, int limit) = 0;
    virtual void AttachFilter(int id, CharFilter filter) = 0;

    // PSM_CHANGED / PSM_UNCHANGED to the sheet that holds the page.
    virtual void MarkChanged() = 0;
    virtual void MarkUnchanged() = 0;
    // The notification result (DWLP_MSGRESULT).
    virtual void SetNotifyResult(LONG_PTR result) = 0;
    // A modal warning box owned by the page, closed before this returns.
    virtual void ShowWarning(const char16_t* text, const char16_t* caption) = 0;

protected:
    ~PageControls() = default;
};
