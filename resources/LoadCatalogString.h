// Catalogue strings in buffers from a heap the caller names.
#pragma once

#include "platform/HostAbi.h"

// A new terminated text from `heap`, owned by the caller (release it to the
// same heap); null when no memory was available.
char16_t* LoadCatalogString(HMODULE module, HANDLE heap, UINT id);
