// The model's arrays of pointers to records: one pointer-sized member, as the
// records' layout has it, over a block of pointers from the platform's malloc
// that grows by doubling, each pointing to a record allocated singly.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "platform/Runtime.h"

template <typename T>
class PpdRecordArray {
public:
    PpdRecordArray() = default;
    PpdRecordArray(const PpdRecordArray&) = delete;
    PpdRecordArray& operator=(const PpdRecordArray&) = delete;
    // The count is a field of the record that holds the array, apart from it
    // (the document's layout puts both counts before the arrays), so the block
    // goes here and the records when that record's destructor hands it in.
    ~PpdRecordArray() { platform::MemFree(items_); }
    void DeleteRecords(int32_t count) {
        for (int32_t i = 0; i < count; ++i) delete items_[i];
    }

    // Gives an empty array room for `capacity` pointers; false without memory.
    bool Allocate(int32_t capacity) {
        items_ = static_cast<T**>(platform::MemAlloc(static_cast<size_t>(capacity) * sizeof(T*)));
        return items_ != nullptr;
    }
    // Room for the record after the first `count`: a full block doubles with
    // `capacity`. On failure both stay, so what it holds is still freed.
    bool MakeRoom(int32_t count, int32_t& capacity) {
        if (count < capacity) return true;
        if (capacity > INT32_MAX / 2 || static_cast<size_t>(capacity) * 2 > SIZE_MAX / sizeof(T*)) return false;
        void* grown = platform::MemRealloc(items_, static_cast<size_t>(capacity) * 2 * sizeof(T*));
        if (!grown) return false;
        items_ = static_cast<T**>(grown);
        capacity *= 2;
        return true;
    }

    T*& operator[](size_t i) { return items_[i]; }
    T* operator[](size_t i) const { return items_[i]; }
    explicit operator bool() const { return items_ != nullptr; }
    friend bool operator==(const PpdRecordArray& array, std::nullptr_t) { return !array.items_; }

private:
    T** items_ = nullptr;
};
static_assert(sizeof(PpdRecordArray<int>) == sizeof(int**));
