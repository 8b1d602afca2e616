// The PPD file as tokens: bytes through a read-byte function, one byte of
// look-ahead, tokens without blanks and comments, the keywords the model acts
// on, and 8-bit text to UTF-16 through the ANSI code page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "ppd/PpdAllocated.h"

// Next byte of the input as 0..255, or -1 at end of input or on a read error.
using PpdReadByteProc = int (*)(void* source);

// The read-byte function over a FILE* opened in text mode; a null source reads
// as an empty file, so a file that failed to open gives an empty model.
int PpdReadFileByte(void* source);

// A FILE* read ahead a block at a time: the bytes and the end of input of
// PpdReadFileByte over the same file, without a call and a lock per byte.
// The document reads its file through one of these, on its own stack, when
// it is given PpdReadFileByte; the file is then read past where a parse
// that ends early stopped, which its caller, about to close it, never sees.
struct PpdFileReader {
    explicit PpdFileReader(FILE* file) : file(file) {}
    PpdFileReader(const PpdFileReader&) = delete;
    PpdFileReader& operator=(const PpdFileReader&) = delete;

    // Starts a new block; false at end of input or on a read error.
    bool Refill();

    FILE* file;
    const unsigned char* next = block;
    const unsigned char* end = block;
    unsigned char block[8192];
};

// The read-byte function over a PpdFileReader.
int PpdReadBufferedByte(void* reader);

class PpdByteStream : public PpdAllocated {
public:
    PpdByteStream(PpdReadByteProc readByte, void* source) : readByte(readByte), source(source) {}
    virtual ~PpdByteStream();
    PpdByteStream(const PpdByteStream&) = delete;
    PpdByteStream& operator=(const PpdByteStream&) = delete;

    int Peek();
    int Get();

    PpdReadByteProc readByte;
    int32_t pending = -1;
    void* source;
};

struct PpdParseReport;

// Where a token, or an entry from its first token on, stands in the source:
// the line (from 1; LF, CR LF or a lone CR ends one) and the byte offset of
// its first byte (a quoted token's opening quote), and the offset after the
// last byte read for it.
struct PpdSourceSpan : PpdAllocated {
    int32_t line = 0;
    size_t begin = 0;
    size_t end = 0;
};

// A read-byte function and its source, read by ReadToken with the place of
// each token: a stream over PpdReadCountedByte and one of these notes in
// `token` where the token it read last stands. A parse reads through one
// only for a report, so that no other parse counts lines.
struct PpdPlaceCounter {
    PpdPlaceCounter(PpdReadByteProc readByte, void* source, PpdParseReport* report)
        : readByte(readByte), source(source), report(report) {}

    PpdReadByteProc readByte;
    void* source;
    PpdParseReport* report;  // what the places are for
    size_t offset = 0;       // bytes consumed
    int32_t line = 1;        // of the next byte
    int previous = -1;       // the byte consumed last
    PpdSourceSpan token;
};

// The read-byte function over a PpdPlaceCounter: its source's bytes.
int PpdReadCountedByte(void* counter);

// Longest token; the token buffer holds this many units plus the NUL.
constexpr int32_t kPpdTokenCapacity = 0x100000;

// Reads the next token into buffer (capacity units plus the NUL, capacity at
// least 1), one input byte per unit. False at end of input with an empty
// buffer. allowBlanks lets SPACE and TAB stand inside an unquoted token.
bool ReadToken(PpdByteStream& stream, char16_t* buffer, int32_t capacity, int32_t* length,
               bool allowBlanks);

enum PpdCharClass : uint8_t { ccOther = 0, ccBlank = 1, ccDelimiter = 2 };

constexpr std::array<uint8_t, 256> MakePpdCharClass() {
    std::array<uint8_t, 256> table{};
    for (unsigned char b : {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20}) table[b] = ccBlank;
    for (unsigned char b : {0x22, 0x3A}) table[b] = ccDelimiter;
    return table;
}
inline constexpr std::array<uint8_t, 256> ppdCharClass = MakePpdCharClass();

enum PpdKeywordId : int32_t {
    kwNone = 0,
    kwQuery,
    kwCloseGroup,
    kwCloseUI,
    kwDefault,
    kwEnd,
    kwFileVersion,
    kwFormatVersion,
    kwLanguageEncoding,
    kwLanguageVersion,
    kwManufacturer,
    kwModelName,
    kwNickName,
    kwOpenGroup,
    kwOpenUI,
    kwOrderDependency,
    kwPCFileName,
    kwPPDAdobe,
    kwPSVersion,
    kwProduct,
    kwShortNickName,
    kwUIConstraints,
};

struct PpdKeywordEntry {
    PpdKeywordId id;
    const char16_t* keyword;
};

// Sorted by UTF-16 code units for the binary search of ClassifyKeyword.
inline constexpr PpdKeywordEntry ppdKeywordTable[] = {
    {kwNone, u""},
    {kwQuery, u"*?"},
    {kwCloseGroup, u"*CloseGroup"},
    {kwCloseUI, u"*CloseUI"},
    {kwDefault, u"*Default"},
    {kwEnd, u"*End"},
    {kwFileVersion, u"*FileVersion"},
    {kwFormatVersion, u"*FormatVersion"},
    {kwLanguageEncoding, u"*LanguageEncoding"},
    {kwLanguageVersion, u"*LanguageVersion"},
    {kwManufacturer, u"*Manufacturer"},
    {kwModelName, u"*ModelName"},
    {kwNickName, u"*NickName"},
    {kwOpenGroup, u"*OpenGroup"},
    {kwOpenUI, u"*OpenUI"},
    {kwOrderDependency, u"*OrderDependency"},
    {kwPCFileName, u"*PCFileName"},
    {kwPPDAdobe, u"*PPD-Adobe"},
    {kwPSVersion, u"*PSVersion"},
    {kwProduct, u"*Product"},
    {kwShortNickName, u"*ShortNickName"},
    {kwUIConstraints, u"*UIConstraints"},
};
static_assert(std::size(ppdKeywordTable) == 22);

// Unit-by-unit comparison as unsigned 16-bit values, the NUL taking part.
constexpr int ComparePpdText(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
        if (*a == 0) return 0;
    }
}

constexpr bool PpdKeywordTableIsSorted() {
    for (size_t i = 0; i < std::size(ppdKeywordTable); ++i) {
        if (ppdKeywordTable[i].id != static_cast<PpdKeywordId>(i)) return false;
        if (i > 0 && ComparePpdText(ppdKeywordTable[i - 1].keyword, ppdKeywordTable[i].keyword) >= 0)
            return false;
    }
    return true;
}
static_assert(PpdKeywordTableIsSorted());

// Exact, case-sensitive match of the whole token; kwNone for anything else.
PpdKeywordId ClassifyKeyword(const char16_t* token);

// Narrows each unit to its low byte and converts through the ANSI code page
// into dest. Units written without the NUL; 0 (nothing written) without
// memory; -1 when the conversion failed, as when it does not fit.
int32_t ConvertToWide(const char16_t* text, char16_t* dest, int32_t capacity);
