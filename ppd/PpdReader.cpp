#include "ppd/PpdReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Runtime.h"
#include "platform/UniqueAny.h"

int PpdReadFileByte(void* source) {
    if (!source) return -1;
    int b = std::fgetc(static_cast<FILE*>(source));
    return b == EOF ? -1 : b;
}

bool PpdFileReader::Refill() {
    size_t n = file ? std::fread(block, 1, sizeof block, file) : 0;
    next = block;
    end = block + n;
    return n > 0;
}

int PpdReadBufferedByte(void* reader) {
    if (!reader) return -1;
    auto& r = *static_cast<PpdFileReader*>(reader);
    if (r.next == r.end && !r.Refill()) return -1;
    return *r.next++;
}

int PpdReadCountedByte(void* counter) {
    auto* places = static_cast<PpdPlaceCounter*>(counter);
    return places && places->readByte ? places->readByte(places->source) : -1;
}

PpdByteStream::~PpdByteStream() = default;

int PpdByteStream::Peek() {
    // Without a read-byte function the input is empty, as for a file that failed to open.
    if (pending < 0) pending = readByte ? readByte(source) : -1;
    return pending;
}

int PpdByteStream::Get() {
    int b = Peek();
    pending = -1;
    return b;
}

namespace {

// The stream's bytes through its read-byte function, one call per byte.
struct StreamBytes {
    PpdByteStream& stream;
    int Peek() { return stream.Peek(); }
    int Get() { return stream.Get(); }
    void TokenBegins() {}
};

// The stream's bytes with the place of each: the line of a byte counts the
// line ends consumed before it.
struct CountedBytes {
    PpdByteStream& stream;
    PpdPlaceCounter& places;
    size_t lastOffset = 0;
    int32_t lastLine = 0;
    int Peek() { return stream.Peek(); }
    int Get() {
        const int b = stream.Get();
        if (b < 0) return b;
        lastOffset = places.offset++;
        lastLine = places.line;
        if (b == '\r' || (b == '\n' && places.previous != '\r')) ++places.line;
        places.previous = b;
        return b;
    }
    void TokenBegins() {
        places.token.line = lastLine;
        places.token.begin = lastOffset;
    }
};

template <typename Bytes>
bool ReadTokenFrom(Bytes& bytes, char16_t* buffer, int32_t capacity, int32_t* length, bool allowBlanks) {
    bool inComment = false;
    int b;
    for (;;) {
        b = bytes.Get();
        if (b < 0) {
            buffer[0] = 0;
            *length = 0;
            return false;
        }
        if (inComment) {
            if (b == '\n' || b == '\r') inComment = false;
            continue;
        }
        // '*%' and '%' open a comment only where a token may begin.
        if ((b == '*' && bytes.Peek() == '%') || b == '%') {
            inComment = true;
            continue;
        }
        if (ppdCharClass[b] == ccBlank) continue;
        break;
    }
    bytes.TokenBegins();

    int32_t i = 0;
    if (b == '"') {
        for (;;) {
            int x = bytes.Get();
            if (x < 0 || i >= capacity || x == '"') break;
            buffer[i++] = static_cast<char16_t>(x);
        }
    } else {
        buffer[i++] = static_cast<char16_t>(b);
        for (;;) {
            int x = bytes.Get();
            if (x < 0 || i >= capacity) break;
            if (ppdCharClass[x] != ccOther && !(allowBlanks && (x == '\t' || x == ' '))) break;
            buffer[i++] = static_cast<char16_t>(x);
        }
    }
    buffer[i] = 0;
    *length = i;
    return true;
}

constexpr std::array<bool, 256> MakeTokenStops(bool allowBlanks) {
    std::array<bool, 256> stops{};
    for (int b = 0; b < 256; ++b)
        stops[b] = ppdCharClass[b] != ccOther && !(allowBlanks && (b == '\t' || b == ' '));
    return stops;
}
// Bytes that end an unquoted token, without and with allowBlanks.
constexpr std::array<bool, 256> kTokenStops[2] = {MakeTokenStops(false), MakeTokenStops(true)};

bool EndOfInput(char16_t* buffer, int32_t* length) {
    buffer[0] = 0;
    *length = 0;
    return false;
}

// Copies bytes of p to out up to the first that ends the token, of at most
// n; the count copied. Unrolled: most of a PPD's bytes pass through here.
size_t CopyUntilStop(const unsigned char* p, size_t n, const bool* stops, char16_t* out) {
    size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        if (stops[p[k]]) return k;
        out[k] = p[k];
        if (stops[p[k + 1]]) return k + 1;
        out[k + 1] = p[k + 1];
        if (stops[p[k + 2]]) return k + 2;
        out[k + 2] = p[k + 2];
        if (stops[p[k + 3]]) return k + 3;
        out[k + 3] = p[k + 3];
    }
    for (; k < n; ++k) {
        if (stops[p[k]]) return k;
        out[k] = p[k];
    }
    return k;
}

// Copies bytes of p to out up to the first double quote, of at most n; the
// count copied.
size_t CopyUntilQuote(const unsigned char* p, size_t n, char16_t* out) {
    auto* quote = static_cast<const unsigned char*>(std::memchr(p, '"', n));
    const size_t copied = quote ? static_cast<size_t>(quote - p) : n;
    for (size_t k = 0; k < copied; ++k) out[k] = p[k];
    return copied;
}

// Drops bytes up to and with the next LF or CR; false at end of input.
bool SkipComment(PpdFileReader& r) {
    for (;;) {
        if (r.next == r.end && !r.Refill()) return false;
        const size_t n = static_cast<size_t>(r.end - r.next);
        auto* lf = static_cast<const unsigned char*>(std::memchr(r.next, '\n', n));
        const size_t beforeLf = lf ? static_cast<size_t>(lf - r.next) : n;
        auto* cr = static_cast<const unsigned char*>(std::memchr(r.next, '\r', beforeLf));
        if (const unsigned char* stop = cr ? cr : lf) {
            r.next = stop + 1;
            return true;
        }
        r.next = r.end;
    }
}

// The reader's bytes one at a time, for the rare call that finds a byte
// pending in the stream.
struct ReaderBytes {
    PpdFileReader& r;
    int pending;
    int Peek() {
        if (pending < 0) pending = PpdReadBufferedByte(&r);
        return pending;
    }
    int Get() {
        int b = Peek();
        pending = -1;
        return b;
    }
    void TokenBegins() {}
};

// Moves p to the start of the reader's next block; false at end of input,
// with p at the (empty) block's end.
bool NextBlock(PpdFileReader& r, const unsigned char*& p) {
    bool more = r.Refill();
    p = r.next;
    return more;
}

// The rest of a token from p on, block after block, with copy finding where
// it ends (one instance per kind of token, so each loop keeps its own scan):
// the byte that ends it is consumed and dropped, and when the buffer is full
// the next byte is consumed and lost, whatever it is.
template <typename Copy>
void CopyTokenRest(PpdFileReader& r, const unsigned char*& p, char16_t* buffer, int32_t& i, int32_t capacity,
                   Copy copy) {
    for (;;) {
        const size_t n = std::min(static_cast<size_t>(r.end - p), static_cast<size_t>(capacity - i));
        const size_t copied = copy(p, n, buffer + i);
        i += static_cast<int32_t>(copied);
        p += copied;
        if (copied < n) {
            ++p;
            return;
        }
        if (p == r.end && !NextBlock(r, p)) return;
        if (i >= capacity) {
            ++p;
            return;
        }
    }
}

// ReadToken over a PpdFileReader, a block at a time: the same tokens and the
// same bytes consumed as reading byte by byte. The look-ahead after a '*' is
// the next byte left in the block, so nothing is left pending.
bool ReadBufferedToken(PpdFileReader& r, char16_t* buffer, int32_t capacity, int32_t* length, bool allowBlanks) {
    const unsigned char* p = r.next;
    int b;
    for (;;) {
        while (p < r.end && ppdCharClass[*p] == ccBlank) ++p;
        if (p == r.end) {
            if (!NextBlock(r, p)) return EndOfInput(buffer, length);
            continue;
        }
        b = *p++;
        bool comment = b == '%';
        if (b == '*') comment = (p < r.end || NextBlock(r, p)) && *p == '%';
        if (!comment) break;
        r.next = p;
        if (!SkipComment(r)) return EndOfInput(buffer, length);
        p = r.next;
    }

    // A quoted token runs up to its closing quote, any other up to a byte
    // that ends it.
    int32_t i = 0;
    if (b == '"') {
        CopyTokenRest(r, p, buffer, i, capacity, CopyUntilQuote);
    } else {
        const bool* stops = kTokenStops[allowBlanks].data();
        buffer[i++] = static_cast<char16_t>(b);
        CopyTokenRest(r, p, buffer, i, capacity,
                      [stops](const unsigned char* from, size_t n, char16_t* out) { return CopyUntilStop(from, n, stops, out); });
    }
    r.next = p;
    buffer[i] = 0;
    *length = i;
    return true;
}

// A byte at a time through the stream, counting places for a report. Out
// of line, so that the plug-in's reading a block at a time is compiled as if
// alone.
[[gnu::noinline]] bool ReadStreamToken(PpdByteStream& stream, char16_t* buffer, int32_t capacity, int32_t* length,
                                       bool allowBlanks) {
    if (stream.readByte != PpdReadCountedByte || !stream.source) {
        StreamBytes bytes{stream};
        return ReadTokenFrom(bytes, buffer, capacity, length, allowBlanks);
    }
    auto& places = *static_cast<PpdPlaceCounter*>(stream.source);
    CountedBytes bytes{stream, places};
    const bool read = ReadTokenFrom(bytes, buffer, capacity, length, allowBlanks);
    places.token.end = places.offset;
    return read;
}

}  // namespace

bool ReadToken(PpdByteStream& stream, char16_t* buffer, int32_t capacity, int32_t* length,
               bool allowBlanks) {
    if (stream.readByte == PpdReadBufferedByte && stream.source) {
        auto& reader = *static_cast<PpdFileReader*>(stream.source);
        if (stream.pending < 0) return ReadBufferedToken(reader, buffer, capacity, length, allowBlanks);
        ReaderBytes bytes{reader, stream.pending};
        bool read = ReadTokenFrom(bytes, buffer, capacity, length, allowBlanks);
        stream.pending = bytes.pending;
        return read;
    }
    return ReadStreamToken(stream, buffer, capacity, length, allowBlanks);
}

namespace {

// Entries of ppdKeywordTable whose second unit is c lie in [first[c], last[c]):
// the table is sorted, so they are neighbours.
struct KeywordRanges {
    uint8_t first[128];
    uint8_t last[128];
};

// The ranges hold the table's indices, and one past the last, in a byte.
static_assert(std::size(ppdKeywordTable) <= UINT8_MAX);

constexpr KeywordRanges MakeKeywordRanges() {
    KeywordRanges ranges{};
    for (size_t i = 1; i < std::size(ppdKeywordTable); ++i) {
        auto c = static_cast<uint8_t>(ppdKeywordTable[i].keyword[1]);
        if (ranges.last[c] == 0) ranges.first[c] = static_cast<uint8_t>(i);
        ranges.last[c] = static_cast<uint8_t>(i + 1);
    }
    return ranges;
}
constexpr KeywordRanges kKeywordRanges = MakeKeywordRanges();

}  // namespace

// The binary search over the sorted table ends on an entry only when it is
// equal to the token; the entries that can be equal are those with the
// token's first two units, so only they are compared.
PpdKeywordId ClassifyKeyword(const char16_t* token) {
    // Every keyword but the empty entry's begins with '*'.
    if (token[0] != '*' || token[1] >= 128) return kwNone;
    for (int i = kKeywordRanges.first[token[1]]; i < kKeywordRanges.last[token[1]]; ++i)
        if (ComparePpdText(ppdKeywordTable[i].keyword, token) == 0) return ppdKeywordTable[i].id;
    return kwNone;
}

int32_t ConvertToWide(const char16_t* text, char16_t* dest, int32_t capacity) {
    size_t n = std::char_traits<char16_t>::length(text);
    const platform::UniqueMem<char> block(static_cast<char*>(platform::MemAlloc(n + 1)));
    if (!block) return 0;
    char* bytes = block.get();
    size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        bytes[k] = static_cast<char>(text[k]);
        bytes[k + 1] = static_cast<char>(text[k + 1]);
        bytes[k + 2] = static_cast<char>(text[k + 2]);
        bytes[k + 3] = static_cast<char>(text[k + 3]);
    }
    for (; k <= n; ++k) bytes[k] = static_cast<char>(text[k]);
    return platform::AnsiToWide(bytes, dest, capacity) - 1;
}
