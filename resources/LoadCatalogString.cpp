#include "resources/LoadCatalogString.h"

// Not built yet.
char16_t* LoadCatalogString(HMODULE, HANDLE, UINT) { return nullptr; }
