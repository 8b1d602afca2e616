// Works on the host's option tree for one CommonUIProp call.
#pragma once

#include "frame/PluginContext.h"
#include "platform/HostAbi.h"

HRESULT CustomizeOptionTree(DWORD mode, OEMCUIPPARAM* param, PluginContext* context);
