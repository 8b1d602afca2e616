#include "resources/Catalog.h"

// Not built yet: the catalogue is empty.
namespace resources {
const char16_t* FindCatalogText(uint16_t, uint32_t) { return nullptr; }
bool HasLanguageBlock(uint16_t languageId) { return languageId == 0x0400; }
}  // namespace resources
