#include "platform/Runtime.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/portable/PortableRuntime.h"

namespace {

thread_local uint32_t lastError = 0;

unsigned codePage = 1252;

// The counts are shared by every thread that allocates (the plug-in's objects
// are made and dropped on several); the failure settings are set by a test
// while no other thread allocates.
std::atomic<long> allocationCount{0};
long failOrdinal = 0;
bool failPersistent = false;
std::atomic<long> liveBlocks{0};
void (*failureObserver)(const void*) = nullptr;

constexpr uint32_t kInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER

[[gnu::noinline]] bool FailsAt(long ordinal, const void* returnAddress) {
    const bool fails = failPersistent ? ordinal >= failOrdinal : ordinal == failOrdinal;
    if (fails && failureObserver) failureObserver(returnAddress);
    return fails;
}

// Counts one allocation, true when it is to fail. Every allocation of a
// model build passes here, so only the failure check is out of line.
inline bool CountAllocation(const void* returnAddress) {
    const long ordinal = allocationCount.fetch_add(1, std::memory_order_relaxed) + 1;
    return failOrdinal > 0 && FailsAt(ordinal, returnAddress);
}

// Windows-1252 maps 0x80..0x9F to these; the five holes map to themselves,
// as MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::u16string DecodeCp1252(const char* text) {
    std::u16string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        out.push_back(*p >= 0x80 && *p < 0xA0 ? kCp1252High[*p - 0x80] : char16_t(*p));
    return out;
}

std::optional<std::string> EncodeCp1252(const char16_t* text) {
    std::string out;
    for (const char16_t* p = text; *p; ++p) {
        char16_t c = *p;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i)
            if (kCp1252High[i] == c) found = i;
        out.push_back(found >= 0 ? static_cast<char>(0x80 + found) : '?');
    }
    return out;
}

// Code page 932 goes through iconv; bytes it cannot decode become the
// replacement the platform uses for them (U+30FB is what Windows shows, '?'
// keeps the stand-in simple and visible). Opening a converter costs more than
// most conversions, so each thread keeps its own.
struct Cp932Decoder {
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    ~Cp932Decoder() {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
};

std::u16string IconvDecode(const char* text) {
    thread_local Cp932Decoder decoder;
    iconv_t cd = decoder.cd;
    if (cd == reinterpret_cast<iconv_t>(-1)) return DecodeCp1252(text);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::u16string out;
    size_t inLeft = std::strlen(text);
    char* in = const_cast<char*>(text);
    while (inLeft > 0) {
        char16_t buf[256];
        char* outp = reinterpret_cast<char*>(buf);
        size_t outLeft = sizeof buf;
        size_t r = iconv(cd, &in, &inLeft, &outp, &outLeft);
        out.append(buf, (sizeof buf - outLeft) / 2);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out.push_back(u'?');
            ++in;
            --inLeft;
        }
    }
    return out;
}

std::string IconvEncode(const char16_t* text, const char* toCode) {
    std::string out;
    iconv_t cd = iconv_open(toCode, "UTF-16LE");
    size_t n = 0;
    while (text[n]) ++n;
    size_t inLeft = n * 2;
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text));
    while (inLeft > 0) {
        char buf[512];
        char* outp = buf;
        size_t outLeft = sizeof buf;
        size_t r = iconv(cd, &in, &inLeft, &outp, &outLeft);
        out.append(buf, sizeof buf - outLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out.push_back('?');
            in += 2;
            inLeft -= 2;
        }
    }
    iconv_close(cd);
    return out;
}

std::u16string Decode(const char* text) {
    return codePage == 932 ? IconvDecode(text) : DecodeCp1252(text);
}

std::string Encode(const char16_t* text) {
    return codePage == 932 ? IconvEncode(text, "CP932") : *EncodeCp1252(text);
}

std::string Utf8(const char16_t* text) {
    return IconvEncode(text, "UTF-8");
}

}  // namespace

namespace platform {

void SetLastErrorCode(uint32_t code) { lastError = code; }
uint32_t LastErrorCode() { return lastError; }

void* MemAlloc(size_t bytes) {
    if (CountAllocation(__builtin_return_address(0))) return nullptr;
    return portable::CountBlock(std::malloc(bytes == 0 ? 1 : bytes));
}

void* MemRealloc(void* block, size_t bytes) {
    if (CountAllocation(__builtin_return_address(0))) return nullptr;
    void* grown = std::realloc(block, bytes == 0 ? 1 : bytes);
    return block ? grown : portable::CountBlock(grown);
}

void MemFree(void* block) {
    portable::UncountBlock(block);
    std::free(block);
}

int AnsiToWide(const char* text, char16_t* dest, int capacity) {
    if (!text || capacity < 0) return 0;
    // 1252 maps byte for unit and 932 leaves ASCII as it is, so most texts
    // convert straight into dest; the PPD model converts every text it keeps.
    const size_t n = std::strlen(text);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (codePage == 932 && std::find_if(bytes, bytes + n, [](unsigned char b) { return b >= 0x80; }) != bytes + n) {
        std::u16string wide = Decode(text);
        int needed = static_cast<int>(wide.size()) + 1;
        if (capacity == 0) return needed;
        if (!dest || needed > capacity) {
            SetLastErrorCode(kInsufficientBuffer);
            return 0;
        }
        std::memcpy(dest, wide.c_str(), needed * sizeof(char16_t));
        return needed;
    }
    const int needed = static_cast<int>(n) + 1;
    if (capacity == 0) return needed;
    if (!dest || needed > capacity) {
        SetLastErrorCode(kInsufficientBuffer);
        return 0;
    }
    unsigned char high = 0;
    size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const unsigned char b0 = bytes[k], b1 = bytes[k + 1], b2 = bytes[k + 2], b3 = bytes[k + 3];
        high |= b0 | b1 | b2 | b3;
        dest[k] = b0;
        dest[k + 1] = b1;
        dest[k + 2] = b2;
        dest[k + 3] = b3;
    }
    for (; k <= n; ++k) {
        high |= bytes[k];
        dest[k] = bytes[k];
    }
    if (high >= 0x80)
        for (size_t k = 0; k < n; ++k)
            if (bytes[k] >= 0x80 && bytes[k] < 0xA0) dest[k] = kCp1252High[bytes[k] - 0x80];
    return needed;
}

int WideToAnsi(const char16_t* text, char* dest, int capacity) {
    if (!text || capacity < 0) return 0;
    std::string narrow = Encode(text);
    int needed = static_cast<int>(narrow.size()) + 1;
    if (capacity == 0) return needed;
    if (!dest || needed > capacity) {
        SetLastErrorCode(kInsufficientBuffer);
        return 0;
    }
    std::memcpy(dest, narrow.c_str(), needed);
    return needed;
}

FILE* OpenForRead(const char16_t* path) {
    if (!path) return nullptr;
    return std::fopen(Utf8(path).c_str(), "r");
}

}  // namespace platform

namespace platform::portable {

bool SetAnsiCodePage(unsigned cp) {
    if (cp != 1252 && cp != 932) return false;
    codePage = cp;
    return true;
}

void FailAllocation(long ordinal, bool persistent) {
    allocationCount = 0;
    failOrdinal = ordinal;
    failPersistent = persistent;
}
long AllocationsSoFar() { return allocationCount; }
long LiveAllocations() { return liveBlocks; }
void ObserveFailedAllocations(void (*observer)(const void*)) { failureObserver = observer; }

bool NextAllocationFails(const void* returnAddress) { return CountAllocation(returnAddress); }

void* CountBlock(void* block) {
    if (block) liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void UncountBlock(void* block) {
    if (block) liveBlocks.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace platform::portable
