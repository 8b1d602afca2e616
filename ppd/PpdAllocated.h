// Base of the model's heap records: every record comes from the platform's
// malloc, so a failed allocation gives a null pointer (the model never
// throws) and tests can inject failure at every site.
#pragma once

#include <cstddef>

#include "platform/Runtime.h"

struct PpdAllocated {
    static void* operator new(std::size_t bytes) noexcept { return platform::MemAlloc(bytes); }
    static void operator delete(void* block) noexcept { platform::MemFree(block); }
};
