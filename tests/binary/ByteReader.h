// Little-endian reads over a byte range that refuse to leave it: a damaged
// file makes the reader fail, never read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace pe {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes, size_t offset = 0) : bytes_(bytes), offset_(offset) {}

    bool ok() const { return ok_; }
    size_t offset() const { return offset_; }
    size_t remaining() const { return ok_ && offset_ <= bytes_.size() ? bytes_.size() - offset_ : 0; }
    void Seek(size_t offset) {
        if (offset > bytes_.size()) ok_ = false;
        offset_ = offset;
    }
    void Skip(size_t count) { Seek(offset_ + count); }
    // Aligns the offset, relative to the start of the range, to `alignment`.
    void Align(size_t alignment) { Seek((offset_ + alignment - 1) / alignment * alignment); }

    uint8_t U8() { return static_cast<uint8_t>(Read(1)); }
    uint16_t U16() { return static_cast<uint16_t>(Read(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Read(4)); }
    uint64_t U64() { return Read(8); }
    int16_t I16() { return static_cast<int16_t>(U16()); }

    // A NUL-terminated UTF-16 text; the terminator is consumed.
    std::u16string Utf16z() {
        std::u16string text;
        while (ok_) {
            char16_t c = U16();
            if (!ok_ || c == 0) break;
            text.push_back(c);
        }
        return text;
    }
    std::u16string Utf16(size_t units) {
        std::u16string text;
        for (size_t i = 0; i < units && ok_; ++i) text.push_back(U16());
        return text;
    }
    std::span<const uint8_t> Bytes(size_t count) {
        if (!ok_ || count > remaining()) {
            ok_ = false;
            return {};
        }
        auto out = bytes_.subspan(offset_, count);
        offset_ += count;
        return out;
    }

private:
    uint64_t Read(size_t size) {
        if (!ok_ || size > remaining()) {
            ok_ = false;
            return 0;
        }
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i) value |= uint64_t(bytes_[offset_ + i]) << (8 * i);
        offset_ += size;
        return value;
    }

    std::span<const uint8_t> bytes_;
    size_t offset_;
    bool ok_ = true;
};

}  // namespace pe
