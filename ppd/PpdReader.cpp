#include "ppd/PpdReader.h"

#include <cstdio>

#include "platform/Platform.h"

int PpdReadFileByte(void* source) {
    if (!source) return -1;
    int b = std::fgetc(static_cast<FILE*>(source));
    return b == EOF ? -1 : b;
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

bool ReadToken(PpdByteStream& stream, char16_t* buffer, int32_t capacity, int32_t* length,
               bool allowBlanks) {
    bool inComment = false;
    int b;
    for (;;) {
        b = stream.Get();
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
        if ((b == '*' && stream.Peek() == '%') || b == '%') {
            inComment = true;
            continue;
        }
        if (ppdCharClass[b] == ccBlank) continue;
        break;
    }

    int32_t i = 0;
    if (b == '"') {
        for (;;) {
            int x = stream.Get();
            if (x < 0 || i >= capacity || x == '"') break;
            buffer[i++] = static_cast<char16_t>(x);
        }
    } else {
        buffer[i++] = static_cast<char16_t>(b);
        for (;;) {
            int x = stream.Get();
            if (x < 0 || i >= capacity) break;
            if (ppdCharClass[x] != ccOther && !(allowBlanks && (x == '\t' || x == ' '))) break;
            buffer[i++] = static_cast<char16_t>(x);
        }
    }
    buffer[i] = 0;
    *length = i;
    return true;
}

PpdKeywordId ClassifyKeyword(const char16_t* token) {
    int lo = -1;
    int hi = static_cast<int>(std::size(ppdKeywordTable));
    while (hi - lo > 1) {
        int mid = (lo + hi) / 2;
        int order = ComparePpdText(ppdKeywordTable[mid].keyword, token);
        if (order < 0)
            lo = mid;
        else if (order > 0)
            hi = mid;
        else
            return ppdKeywordTable[mid].id;
    }
    return kwNone;
}

int32_t ConvertToWide(const char16_t* text, char16_t* dest, int32_t capacity) {
    size_t n = 0;
    while (text[n]) ++n;
    auto* bytes = static_cast<char*>(platform::MemAlloc(n + 1));
    if (!bytes) return 0;
    for (size_t k = 0; k < n; ++k) bytes[k] = static_cast<char>(text[k] & 0xFF);
    bytes[n] = 0;
    int32_t written = platform::AnsiToWide(bytes, dest, capacity);
    platform::MemFree(bytes);
    return written - 1;
}
