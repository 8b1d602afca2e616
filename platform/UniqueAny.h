// Owners of one resource each, in the manner of WIL's unique_any: the type
// says what frees the resource, and the owner frees it on every path. No
// exception is thrown; moving and releasing cannot fail.
#pragma once

#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "platform/Runtime.h"

namespace platform {

// `Close(value)` frees a value other than `Invalid` (0 by default; -1 for
// handles whose failure value is INVALID_HANDLE_VALUE).
template <typename T, auto Close, intptr_t Invalid = 0>
class UniqueAny {
public:
    UniqueAny() noexcept = default;
    explicit UniqueAny(T value) noexcept : value_(value) {}
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    static T InvalidValue() noexcept {
        if constexpr (std::is_pointer_v<T>)
            return reinterpret_cast<T>(Invalid);
        else
            return static_cast<T>(Invalid);
    }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != InvalidValue(); }
    T operator->() const noexcept
        requires std::is_pointer_v<T>
    {
        return value_;
    }
    auto& operator*() const noexcept
        requires std::is_pointer_v<T>
    {
        return *value_;
    }

    // Gives the value up without freeing it.
    T release() noexcept {
        const T value = value_;
        value_ = InvalidValue();
        return value;
    }

    // Frees what is held, then holds `value`.
    void reset(T value = InvalidValue()) noexcept {
        const T old = value_;
        value_ = value;
        if (old != InvalidValue()) Close(old);
    }

    // For an out parameter: frees what is held and gives the address the
    // callee stores the new value at.
    T* put() noexcept {
        reset();
        return &value_;
    }

private:
    T value_ = InvalidValue();
};

// The files owned here are only read, so a failed close loses nothing.
inline void CloseFile(FILE* file) { (void)std::fclose(file); }

// A block from MemAlloc / MemRealloc.
template <typename T>
using UniqueMem = UniqueAny<T*, &MemFree>;

// A file from OpenForRead (or fopen).
using UniqueFile = UniqueAny<FILE*, &CloseFile>;

}  // namespace platform
