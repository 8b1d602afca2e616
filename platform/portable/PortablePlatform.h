// Controls of the native stand-ins behind platform/Platform.h, for tests and
// tools: the string catalogue and the UI language that string loading
// follows, string overrides, and the spooler's printers; with those of the
// runtime's stand-ins (code page, allocation failure).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HostAbi.h"
#include "platform/portable/PortableRuntime.h"

namespace platform::portable {

// Where LoadStringText finds its texts: the text of `id` in the block of
// `languageId` (null when that block lacks it), and whether a block exists.
// The stand-in knows no catalogue of its own: until one is given, every
// string loads as missing. As on the platform, a null module (the process's
// executable) holds none either.
struct StringCatalog {
    const char16_t* (*find)(uint16_t languageId, uint32_t id);
    bool (*hasBlock)(uint16_t languageId);
};
void UseStringCatalog(StringCatalog catalog);

// Language id whose catalogue block LoadStringText reads (0x0400 neutral by
// default); a language without a block falls back to the neutral one.
void SetUiLanguage(uint16_t languageId);

// Replaces (or, with remove, hides) one string for every language, so tests
// can load texts of chosen lengths or a catalogue with gaps.
void OverrideString(UINT id, std::u16string_view text);
void RemoveString(UINT id);
void ResetStrings();

// Capacity of every LoadStringText call since the last ResetStrings(), in
// order, so tests can see how often and with how much room a text was loaded.
std::vector<int> LoadStringCapacities();

// Heaps a host makes and destroys of its own, as it may for hOEMHeap (the
// process heap and these are the stand-in's heaps). Each counts the blocks it
// holds; destroying one frees what it holds, and any later use of it is
// counted, not carried out, since the platform would corrupt memory there.
HANDLE CreateHeap();
void DestroyHeap(HANDLE heap);
long BlocksIn(HANDLE heap);
long UsesOfDestroyedHeaps();

// Printers of the stand-in spooler: a handle answers GetPrinterDriverInfo
// level 3 with this data file, or with none (pDataFile null).
void AddPrinter(HANDLE printer, std::u16string_view dataFile);
void AddPrinter(HANDLE printer, std::nullptr_t noDataFile);
void RemoveAllPrinters();

}  // namespace platform::portable
