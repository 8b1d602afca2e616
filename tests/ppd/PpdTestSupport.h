// Shared by the PPD model tests: an in-memory read-byte source, text helpers
// and a guard that restores the stand-in platform's code page and allocator.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/portable/PortablePlatform.h"
#include "ppd/PpdDocument.h"

namespace ppdtest {

struct MemorySource {
    explicit MemorySource(std::string_view text) : bytes(text) {}
    std::string bytes;
    size_t position = 0;
    long reads = 0;
};

inline int ReadMemoryByte(void* source) {
    auto* memory = static_cast<MemorySource*>(source);
    ++memory->reads;
    if (memory->position >= memory->bytes.size()) return -1;
    return static_cast<unsigned char>(memory->bytes[memory->position++]);
}

// One byte per unit, as the token reader stores them.
inline std::u16string Units(std::string_view bytes) {
    std::u16string units;
    for (unsigned char b : bytes) units.push_back(b);
    return units;
}

inline std::u16string Text(const PpdString& s) { return std::u16string(s.text); }

// UTF-8, a lone surrogate as U+FFFD (as the inspector writes it).
inline std::string Utf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

inline PpdDocument* Parse(std::string_view ppd) {
    MemorySource source(ppd);
    return new PpdDocument(ReadMemoryByte, &source);
}

struct PlatformGuard {
    PlatformGuard() {
        platform::portable::SetAnsiCodePage(1252);
        platform::portable::FailAllocation(0);
    }
    ~PlatformGuard() {
        platform::portable::SetAnsiCodePage(1252);
        platform::portable::FailAllocation(0);
    }
};

}  // namespace ppdtest
