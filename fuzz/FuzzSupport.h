// Shared by the fuzz targets: a check that ends the run (libFuzzer and the
// corpus replay both see the abort), and a reader that turns the input into
// the values a target needs, giving zeros once the input is used up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FUZZ_CHECK(condition)                                                              \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (false)

namespace fuzz {

class InputReader {
public:
    InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }
    size_t remaining() const { return empty() ? 0 : size_ - position_; }

    uint8_t Byte() { return empty() ? 0 : data_[position_++]; }

    uint16_t Word() {
        uint16_t low = Byte();
        return static_cast<uint16_t>(low | (Byte() << 8));
    }

    uint32_t Dword() {
        uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }

    // Copies up to `count` bytes into `out`, zero-filling what the input lacks.
    void Bytes(void* out, size_t count) {
        const size_t n = count < remaining() ? count : remaining();
        if (n) std::memcpy(out, data_ + position_, n);
        std::memset(static_cast<uint8_t*>(out) + n, 0, count - n);
        position_ += n;
    }

    // A value in [0, bound) (bound > 0).
    uint32_t Below(uint32_t bound) { return bound <= 256 ? Byte() % bound : Dword() % bound; }

    // A text of at most `maxUnits` units, one input byte per unit, ended by a
    // zero byte or by the input.
    std::u16string ByteText(size_t maxUnits) {
        std::u16string text;
        while (!empty() && text.size() < maxUnits) {
            const uint8_t b = Byte();
            if (b == 0) break;
            text.push_back(b);
        }
        return text;
    }

    // A text of at most `maxUnits` arbitrary 16-bit units (no NUL), length first.
    std::u16string WideText(size_t maxUnits) {
        const size_t length = Below(static_cast<uint32_t>(maxUnits) + 1);
        std::u16string text;
        for (size_t i = 0; i < length && !empty(); ++i) {
            const char16_t unit = Word();
            text.push_back(unit ? unit : u'?');
        }
        return text;
    }

    // The rest of the input.
    std::string Rest() {
        std::string rest(reinterpret_cast<const char*>(data_ + position_), remaining());
        position_ = size_;
        return rest;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

}  // namespace fuzz
