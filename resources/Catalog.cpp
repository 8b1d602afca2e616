#include "resources/Catalog.h"

#include <algorithm>

#include "resources/CatalogData.h"

namespace resources {
namespace {

const CatalogBlock* FindBlock(uint16_t languageId) {
    for (const CatalogBlock& block : kCatalogBlocks)
        if (block.languageId == languageId) return &block;
    return nullptr;
}

}  // namespace

const char16_t* FindCatalogText(uint16_t languageId, uint32_t id) {
    const CatalogBlock* block = FindBlock(languageId);
    if (!block) return nullptr;
    auto it = std::lower_bound(kCatalogIds.begin(), kCatalogIds.end(), id);
    if (it == kCatalogIds.end() || *it != id) return nullptr;
    return block->texts[it - kCatalogIds.begin()];
}

bool HasLanguageBlock(uint16_t languageId) { return FindBlock(languageId) != nullptr; }

std::span<const uint32_t> CatalogIds() { return kCatalogIds; }

std::span<const uint16_t> CatalogLanguages() { return kCatalogLanguages; }

}  // namespace resources
