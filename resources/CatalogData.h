// The tables that generate_catalogue.py writes from catalogue/*.tsv; only
// Catalog.cpp reads them.
#pragma once

#include <cstdint>
#include <span>

namespace resources {

// One language block: its texts, in the order of kCatalogIds.
struct CatalogBlock {
    uint16_t languageId;
    const char16_t* const* texts;
};

extern const std::span<const uint32_t> kCatalogIds;
extern const std::span<const uint16_t> kCatalogLanguages;  // in the order of kCatalogBlocks
extern const std::span<const CatalogBlock> kCatalogBlocks;

}  // namespace resources
