// Controls of the native stand-ins behind platform/Platform.h, for tests and
// tools: the ANSI code page, the UI language that string loading follows,
// string overrides, allocation failure, and the spooler's printers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HostAbi.h"

namespace platform::portable {

// 1252 (Western, the default) or 932 (Japanese). Returns false for others.
bool SetAnsiCodePage(unsigned codePage);
unsigned AnsiCodePage();

// Language id whose catalogue block LoadStringText reads (0x0400 neutral by
// default); a language without a block falls back to the neutral one.
void SetUiLanguage(uint16_t languageId);
uint16_t UiLanguage();

// Replaces (or, with remove, hides) one string for every language, so tests
// can load texts of chosen lengths or a catalogue with gaps.
void OverrideString(UINT id, std::u16string_view text);
void RemoveString(UINT id);
void ResetStrings();

// Capacity of every LoadStringText call since the last ResetStrings(), in
// order, so tests can see how often and with how much room a text was loaded.
std::vector<int> LoadStringCapacities();

// Allocation failure: the allocation numbered `ordinal` (1-based, counted
// over HeapAllocZero, MemAlloc and MemRealloc from now on) and every later
// one fail when `persistent`, else only that one. 0 turns injection off.
void FailAllocation(long ordinal, bool persistent = false);
long AllocationsSoFar();

// Blocks from HeapAllocZero, MemAlloc and MemRealloc not yet released, so a
// test can see that everything a call made was given back.
long LiveAllocations();

// Called from inside every allocation that is made to fail, with the address
// the failing call returns to, so a test can tell allocation sites apart.
// Null stops the calls.
void ObserveFailedAllocations(void (*observer)(const void* returnAddress));

// Printers of the stand-in spooler: a handle answers GetPrinterDriverInfo
// level 3 with this data file.
void AddPrinter(HANDLE printer, std::u16string_view dataFile);
void RemoveAllPrinters();

}  // namespace platform::portable
