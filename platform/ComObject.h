// COM objects of the plug-in's own, and references to the host's: the
// reference count and the allocation written once for every class that
// implements an interface, and an owner of one reference.
#pragma once

#include <atomic>
#include <cstddef>
#include <new>

#include "platform/HostAbi.h"
#include "platform/Runtime.h"
#include "platform/UniqueAny.h"

namespace platform {

// AddRef and Release for a final class `Derived` that implements
// `Interface`: the count starts at 1 and changes atomically, and the Release
// that brings it to 0 deletes the object. Objects come from the platform's
// allocator, so that a failed allocation is a null object (and tests can make
// one fail); only `new (std::nothrow)` makes them.
template <typename Derived, typename Interface>
class ComObject : public Interface {
public:
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refCount_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG count = --refCount_;
        if (count == 0) delete static_cast<Derived*>(this);
        return static_cast<ULONG>(count);
    }

    static void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return MemAlloc(bytes); }
    // A plain new would throw where nothing may, and hand MemFree a block it did not allocate.
    static void* operator new(std::size_t) = delete;
    // Its pair is the nothrow new; cert-dcl54-cpp would count only a plain new, which is deleted.
    static void operator delete(void* block) noexcept { MemFree(block); }  // NOLINT(cert-dcl54-cpp)
    static void operator delete(void* block, const std::nothrow_t&) noexcept { MemFree(block); }

private:
    std::atomic<LONG> refCount_{1};
};

inline void ReleaseInterface(IUnknown* object) { object->Release(); }

// One reference of a COM interface.
template <typename T>
using UniqueInterface = UniqueAny<T*, &ReleaseInterface>;

}  // namespace platform
