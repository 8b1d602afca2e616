// Catalogue strings in buffers from a heap the caller names.
#pragma once

#include "platform/Platform.h"

// A new terminated text from `heap`, which its owner gives back to that
// heap; an empty owner when no memory was available.
platform::HeapBlock<char16_t> LoadCatalogString(HMODULE module, HANDLE heap, UINT id);
