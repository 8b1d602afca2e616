// Peak heap of a stretch of code, counted at malloc itself so that blocks the
// C runtime and the platform stand-ins make on the model's behalf count too.
// Single-threaded: only the thread that measures may allocate meanwhile.
#pragma once

#include <cstddef>

namespace heapcount {

// Counts requested bytes of the blocks allocated from now on; blocks that
// were live before Start are not counted when they are freed.
void Start();
void Stop();

size_t PeakBytes();
size_t LiveBytes();
long Allocations();

}  // namespace heapcount
