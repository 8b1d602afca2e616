// How the plug-in reads the host's option items: resource ids in place of
// texts, and the PPD keyword the host keeps behind each item.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/HostAbi.h"

// The host's item that carries the vendor rendering feature.
inline constexpr char kRenderingHostKeyword[] = "QZRendering";

// The common property-sheet service takes a value below 0x10000 in a text
// field as the id of one of the host's string resources.
inline bool IsResourceId(const void* text) { return reinterpret_cast<uintptr_t>(text) < 0x10000; }

// UTF-16 text of an item or option field (wchar_t on Windows, of the same size
// and representation).
template <typename Char>
inline const char16_t* HostText(const Char* text) {
    static_assert(sizeof(Char) == sizeof(char16_t));
    return reinterpret_cast<const char16_t*>(text);
}

// For an item made from a PPD feature, UserData points to a host record of
// pointer-sized fields whose third one is the feature's 8-bit keyword without
// '*'. Null when the item has none.
inline const char* HostKeyword(const OPTITEM& item) {
    if (item.UserData == 0) return nullptr;
    const auto* fields = reinterpret_cast<const char* const*>(item.UserData);
    return fields[2];
}

inline bool IsRenderingItem(const OPTITEM& item) {
    const char* keyword = HostKeyword(item);
    return keyword && std::strcmp(keyword, kRenderingHostKeyword) == 0;
}
