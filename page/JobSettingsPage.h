// The Job Settings page: its registration with the host's property-sheet
// service and the state it keeps in the plug-in's context (its tab title
// among them, which the context frees).
#pragma once

#include "frame/PluginContext.h"
#include "platform/HostAbi.h"

// IPrintOemUI2::DocumentPropertySheets for the plug-in object's context.
HRESULT JobSettingsPropertySheets(PROPSHEETUI_INFO* info, LPARAM param, PluginContext* context);
