// The string catalogue as data: what the native stand-in of LoadStringW
// reads, and what tests compare the DLL's string tables with.
#pragma once

#include <cstdint>
#include <span>

namespace resources {

// Text of catalogue string `id` in the block of `languageId`, or null when
// that block does not hold it.
const char16_t* FindCatalogText(uint16_t languageId, uint32_t id);

// Whether the catalogue has a block for `languageId`.
bool HasLanguageBlock(uint16_t languageId);

// Every identifier of the catalogue, ascending; each block holds all of them.
std::span<const uint32_t> CatalogIds();

// The language ids of the blocks, the neutral one (0x0400) first.
std::span<const uint16_t> CatalogLanguages();

}  // namespace resources
