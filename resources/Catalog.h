// The string catalogue as data, for builds without Windows resources.
#pragma once

#include <cstdint>

namespace resources {

// Text of catalogue string `id` in the block of `languageId`, or null when
// that block does not hold it.
const char16_t* FindCatalogText(uint16_t languageId, uint32_t id);

// Whether the catalogue has a block for `languageId`.
bool HasLanguageBlock(uint16_t languageId);

}  // namespace resources
