// Controls of the native stand-ins behind platform/Runtime.h, for tests and
// tools: the ANSI code page and allocation failure.
#pragma once

namespace platform::portable {

// 1252 (Western, the default) or 932 (Japanese). Returns false for others.
bool SetAnsiCodePage(unsigned codePage);

// Allocation failure: the allocation numbered `ordinal` (1-based, counted
// over MemAlloc, MemRealloc and the host heap's HeapAllocZero from now on)
// and every later one fail when `persistent`, else only that one. 0 turns
// injection off.
void FailAllocation(long ordinal, bool persistent = false);
long AllocationsSoFar();

// Blocks from MemAlloc, MemRealloc and HeapAllocZero not yet released, so a
// test can see that everything a call made was given back.
long LiveAllocations();

// Called from inside every allocation that is made to fail, with the address
// the failing call returns to, so a test can tell allocation sites apart.
// Null stops the calls.
void ObserveFailedAllocations(void (*observer)(const void* returnAddress));

// For the host heap's stand-in, which shares the count and the failures:
// counts one allocation made for `returnAddress`, true when it is to fail;
// and a block given out (null is not counted) or released.
bool NextAllocationFails(const void* returnAddress);
void* CountBlock(void* block);
void UncountBlock(void* block);

}  // namespace platform::portable
