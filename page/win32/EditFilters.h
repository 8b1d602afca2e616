// The filters in front of the page's edit controls.
#pragma once

#include "page/PageControls.h"
#include "platform/HostAbi.h"

// The edit class's own window procedure, to which every filter passes on
// what it lets through. Taken from the first edit when a page initialises;
// one value for the process, since every edit shares its class's procedure.
extern WNDPROC g_previousEditProc;

LRESULT CALLBACK NameCharFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PasswordCharFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK DigitCharFilter(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Stores the edit's current procedure in g_previousEditProc, unless there is
// no edit or it is already one of the filters (which would then call itself).
void CaptureEditProc(HWND edit);

// Puts the filter in front of the edit for the rest of the edit's life.
void AttachEditFilter(HWND edit, CharFilter filter);
