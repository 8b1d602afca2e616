#include "resources/LoadCatalogString.h"

platform::HeapBlock<char16_t> LoadCatalogString(HMODULE module, HANDLE heap, UINT id) {
    // LoadStringW cannot tell a text that fits exactly from one it cut, so a
    // text that fills the buffer to capacity - 1 units is loaded again into
    // one about twice as large: 257, 513, 1025, ... units.
    size_t capacity = 257;
    for (;;) {
        auto buffer = platform::HeapBlock<char16_t>::Allocate(heap, capacity * sizeof(char16_t));
        if (!buffer) return buffer;
        int loaded = platform::LoadStringText(module, id, buffer.get(), static_cast<int>(capacity));
        if (static_cast<size_t>(loaded) != capacity - 1) return buffer;
        capacity = 2 * (capacity - 1) + 1;
    }
}
