// The printer features the plug-in knows, and the catalogue names of them
// and of their options.
#pragma once

#include <cstdint>

#include "platform/HostAbi.h"

// One known feature: the host shows the first five as standard settings and
// names them by id; all others are found by their PPD main keyword.
struct FeatureNameEntry {
    uint32_t dmPubId;        // DMPUB_* of the host's item, 0 to find by keyword
    uint32_t featureId;      // 0 only in the terminator
    uint32_t stringId;       // catalogue id of the display name
    const char16_t* keyword; // PPD main keyword with its '*'; never null
};

inline constexpr int kFeatureNameCount = 28;

// Search order: the first matching row wins. Ends with a row whose featureId
// is 0 and whose keyword is empty.
extern const FeatureNameEntry g_featureNameTable[kFeatureNameCount + 1];

inline constexpr int kFeatureDisplayNameCapacity = 256;

struct FeatureDisplayName {
    uint32_t featureId;
    char16_t text[kFeatureDisplayNameCapacity];
};

// Finds the row for `dmPubId` (when not 0) or else for `keyword`, and loads
// its display name from the catalogue of `module`.
// S_OK: found and loaded. E_INVALIDARG: no module, no out, or neither key
// given (out untouched). E_FAIL: no row (out untouched), or the string did not
// load (out->featureId already set).
HRESULT LoadFeatureName(HMODULE module, FeatureDisplayName* out, const char16_t* keyword, uint32_t dmPubId);

// Keyword of the first row with `featureId`, or null.
const char16_t* FeatureKeywordById(uint32_t featureId);

// Catalogue names of a feature's options, keyed by the PPD option keyword
// (without '*'). Nothing in the option tree reads these today: the host's
// names stay as they are.
struct OptionNameEntry {
    uint32_t stringId;        // 0 only in the terminator
    const char16_t* keyword;  // empty text in the terminator
};

struct OptionNameIndexEntry {
    uint32_t featureId;             // 0 in the terminator
    const OptionNameEntry* options; // null in the terminator
};

inline constexpr int kOptionNameIndexCount = 27;

extern const OptionNameIndexEntry g_optionNameIndex[kOptionNameIndexCount + 1];

// The option table of `featureId`, or null when the feature has none.
const OptionNameEntry* FindOptionNames(uint32_t featureId);
