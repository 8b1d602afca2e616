// The character rules of the page's edit fields, on one typed code.
#pragma once

#include "page/PageControls.h"
#include "platform/HostAbi.h"

constexpr UINT kCharMessage = 0x0102;  // WM_CHAR

// The code is compared in its full width, so no high bits sneak a character in.
bool NameCharAccepted(WPARAM code);
bool PasswordCharAccepted(WPARAM code);
bool DigitCharAccepted(WPARAM code);

bool CharAccepted(CharFilter filter, WPARAM code);

// Whether a filter in front of an edit swallows this message: only typed
// characters are judged; every other message passes unchanged.
bool FilterSwallows(CharFilter filter, UINT message, WPARAM wParam);
