// The token reader, the keyword classifier and the code-page conversion.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ppd/PpdReader.h"
#include "tests/support/PpdSource.h"

using namespace ppdtest;

namespace {

struct TokenStream {
    explicit TokenStream(std::string_view text) : source(text), stream(ReadMemoryByte, &source) {}
    MemorySource source;
    PpdByteStream stream;
    std::vector<char16_t> buffer = std::vector<char16_t>(kPpdTokenCapacity + 1, u'#');

    // The stream kept no byte: the next one it gives comes from the source.
    // (The peeked byte stays for the next token, as a byte read ahead would.)
    void ExpectNothingPending() {
        const long reads = source.reads;
        stream.Peek();
        EXPECT_EQ(source.reads, reads + 1);
    }

    // Reads tokens until end of input; the stream never keeps a byte between calls.
    std::vector<std::u16string> ReadAll(std::vector<bool> blanksPerCall = {}, int32_t capacity = 64) {
        std::vector<std::u16string> tokens;
        for (size_t call = 0;; ++call) {
            bool allowBlanks = call < blanksPerCall.size() && blanksPerCall[call];
            int32_t length = -1;
            bool more = ReadToken(stream, buffer.data(), capacity, &length, allowBlanks);
            ExpectNothingPending();
            if (!more) {
                EXPECT_EQ(length, 0);
                EXPECT_EQ(buffer[0], 0);
                return tokens;
            }
            EXPECT_EQ(buffer[length], 0);
            tokens.emplace_back(buffer.data(), length);
        }
    }
};

struct TokenRow {
    const char* name;
    std::string input;
    std::vector<bool> allowBlanks;  // per call; calls beyond the list are plain
    std::vector<std::u16string> tokens;
};

void PrintTo(const TokenRow& row, std::ostream* os) { *os << row.name; }

class ReadTokenRows : public testing::TestWithParam<TokenRow> {};

TEST_P(ReadTokenRows, SplitsInputIntoTokens) {
    const TokenRow& row = GetParam();
    TokenStream input(row.input);
    EXPECT_EQ(input.ReadAll(row.allowBlanks), row.tokens);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ReadTokenRows,
    testing::Values(
        TokenRow{"OpenUiLine", "*OpenUI *InputSlot/Paper Source: PickOne", {false, true, false},
                 {u"*OpenUI", u"*InputSlot/Paper Source", u"PickOne"}},
        TokenRow{"DefaultLine", "*DefaultInputSlot: Cassette", {}, {u"*DefaultInputSlot", u"Cassette"}},
        TokenRow{"OrderDependency", "*OrderDependency: 30 AnySetup *InputSlot", {},
                 {u"*OrderDependency", u"30", u"AnySetup", u"*InputSlot"}},
        TokenRow{"QuotedOverLines", "*Foo: \"line 1\nline *2 %x\n: /line 3\"\n*End\n", {},
                 {u"*Foo", u"line 1\nline *2 %x\n: /line 3", u"*End"}},
        TokenRow{"StarPercentComment", "*% a comment: \"x\"\n*Next", {}, {u"*Next"}},
        TokenRow{"PercentComment", "% comment\rAfter", {}, {u"After"}},
        TokenRow{"BlanksAndCommentsOnly", " \t\n\f\r*% one\n% two\n   ", {}, {}},
        TokenRow{"PercentInsideToken", " abc%def ", {}, {u"abc%def"}},
        TokenRow{"StarPercentInsideToken", "ab*%cd", {}, {u"ab*%cd"}},
        TokenRow{"UnclosedQuoteRunsToEnd", "*X: \"open\nstill open", {}, {u"*X", u"open\nstill open"}},
        TokenRow{"EmptyQuotes", "\"\" next", {}, {u"", u"next"}},
        TokenRow{"LoneStar", "* x", {}, {u"*", u"x"}},
        TokenRow{"StarAtEndOfInput", "*", {}, {u"*"}},
        TokenRow{"VerticalTabInsideFormFeedBetween", "a\vb\fc", {}, {u"a\vb", u"c"}},
        TokenRow{"NulSeparates", std::string("a\0b", 3), {}, {u"a", u"b"}},
        TokenRow{"BlanksAllowed", "*Foo/Bar baz :x", {true}, {u"*Foo/Bar baz ", u"x"}},
        TokenRow{"BlanksNotAllowed", "*Foo/Bar baz :x", {}, {u"*Foo/Bar", u"baz", u":x"}},
        TokenRow{"AllowedBlanksStopAtLineEnd", "a b\nc", {true}, {u"a b", u"c"}},
        TokenRow{"ColonAsFirstByte", " :abc", {}, {u":abc"}},
        TokenRow{"EndingQuoteIsDropped", "a\"b\"", {}, {u"a", u"b"}},
        TokenRow{"HighBytesUnchanged", "\x8e\xe8\xff", {}, {u"\x8e\xe8\xff"}},
        TokenRow{"QuoteAfterColon", "*ModelName:\"Printer X\"", {}, {u"*ModelName", u"Printer X"}}),
    [](const testing::TestParamInfo<TokenRow>& info) { return std::string(info.param.name); });

TEST(ReadToken, StaysAtEndOfInputOnceReached) {
    TokenStream input("last");
    std::vector<char16_t>& buffer = input.buffer;
    int32_t length = -1;
    ASSERT_TRUE(ReadToken(input.stream, buffer.data(), 64, &length, false));
    EXPECT_EQ(length, 4);
    for (int i = 0; i < 2; ++i) {
        length = -1;
        EXPECT_FALSE(ReadToken(input.stream, buffer.data(), 64, &length, false));
        EXPECT_EQ(length, 0);
    }
}

TEST(ReadToken, CutsAtCapacityAndLosesTheByteReadWhenFull) {
    struct Row {
        const char* input;
        std::vector<std::u16string> tokens;
    };
    const Row rows[] = {
        {"abcdefg h", {u"abcd", u"fg", u"h"}},        // 'e' is lost
        {"\"abcdefg\" h", {u"abcd", u"fg", u"h"}},    // quoted: 'e' lost, closing quote ends "fg"
        {"\"abcde\" h", {u"abcd", u" h"}},            // 'e' lost, the closing quote opens a value
        {"abcd h", {u"abcd", u"h"}},                  // the lost byte is the blank
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        TokenStream input(row.input);
        EXPECT_EQ(input.ReadAll({}, 4), row.tokens);
    }
}

TEST(ReadToken, FullCapacityIsOneMebiUnit) {
    std::string text(kPpdTokenCapacity + 3, 'a');
    text += " \"";
    text += std::string(kPpdTokenCapacity + 1, 'q');
    text += "\" z";
    TokenStream input(text);
    auto tokens = input.ReadAll({}, kPpdTokenCapacity);
    ASSERT_EQ(tokens.size(), 4u);
    EXPECT_EQ(tokens[0].size(), 0x100000u);
    EXPECT_EQ(tokens[1], u"aa");
    // The unit after the capacity is lost, so the closing quote opens a value.
    EXPECT_EQ(tokens[2].size(), 0x100000u);
    EXPECT_EQ(tokens[3], u" z");
}

TEST(ByteStream, PeekKeepsTheByteAndGetConsumesIt) {
    MemorySource source("xy");
    PpdByteStream stream(ReadMemoryByte, &source);
    EXPECT_EQ(source.reads, 0) << "a new stream reads nothing ahead";
    EXPECT_EQ(stream.Peek(), 'x');
    EXPECT_EQ(stream.Peek(), 'x');
    EXPECT_EQ(source.reads, 1);
    EXPECT_EQ(stream.Get(), 'x');
    EXPECT_EQ(source.reads, 1);
    EXPECT_EQ(stream.Get(), 'y');
    EXPECT_EQ(source.reads, 2) << "Get keeps no byte: the next is read afresh";
    EXPECT_EQ(stream.Get(), -1);
    EXPECT_EQ(stream.Peek(), -1);
}

TEST(ReadFileByte, ReadsEveryByteThenEndOfInput) {
    EXPECT_EQ(PpdReadFileByte(nullptr), -1);
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(file);
    const unsigned char bytes[] = {'*', 0x00, 0xFF, 0x8E};
    std::fwrite(bytes, 1, sizeof bytes, file.get());
    std::rewind(file.get());
    for (unsigned char b : bytes) EXPECT_EQ(PpdReadFileByte(file.get()), b);
    EXPECT_EQ(PpdReadFileByte(file.get()), -1);
    EXPECT_EQ(PpdReadFileByte(file.get()), -1);
}

TEST(CharClass, BlanksDelimitersAndOthers) {
    const unsigned char blanks[] = {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20};
    const unsigned char delimiters[] = {'"', ':'};
    int counts[3] = {};
    for (int b = 0; b < 256; ++b) ++counts[ppdCharClass[b]];
    EXPECT_EQ(counts[ccBlank], 6);
    EXPECT_EQ(counts[ccDelimiter], 2);
    EXPECT_EQ(counts[ccOther], 248);
    for (unsigned char b : blanks) EXPECT_EQ(ppdCharClass[b], ccBlank) << int(b);
    for (unsigned char b : delimiters) EXPECT_EQ(ppdCharClass[b], ccDelimiter) << int(b);
    for (int b : {0x0B, int('*'), int('%'), int('/'), int('<'), 0x80, 0xFF}) EXPECT_EQ(ppdCharClass[b], ccOther) << b;
}

// The 21 keywords, spelt out here rather than read from the table, so that a
// misspelling there (or two ids swapped) shows.
TEST(ClassifyKeyword, EveryKnownKeywordFindsItsId) {
    const std::pair<const char16_t*, PpdKeywordId> rows[] = {
        {u"*?", kwQuery},
        {u"*CloseGroup", kwCloseGroup},
        {u"*CloseUI", kwCloseUI},
        {u"*Default", kwDefault},
        {u"*End", kwEnd},
        {u"*FileVersion", kwFileVersion},
        {u"*FormatVersion", kwFormatVersion},
        {u"*LanguageEncoding", kwLanguageEncoding},
        {u"*LanguageVersion", kwLanguageVersion},
        {u"*Manufacturer", kwManufacturer},
        {u"*ModelName", kwModelName},
        {u"*NickName", kwNickName},
        {u"*OpenGroup", kwOpenGroup},
        {u"*OpenUI", kwOpenUI},
        {u"*OrderDependency", kwOrderDependency},
        {u"*PCFileName", kwPCFileName},
        {u"*PPD-Adobe", kwPPDAdobe},
        {u"*PSVersion", kwPSVersion},
        {u"*Product", kwProduct},
        {u"*ShortNickName", kwShortNickName},
        {u"*UIConstraints", kwUIConstraints},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(Utf8(rows[i].first));
        EXPECT_EQ(ClassifyKeyword(rows[i].first), rows[i].second);
        EXPECT_EQ(static_cast<size_t>(rows[i].second), i + 1) << "ids run from 1 in this order";
    }
    for (const PpdKeywordEntry& entry : ppdKeywordTable) {
        SCOPED_TRACE(Utf8(entry.keyword));
        EXPECT_EQ(ClassifyKeyword(entry.keyword), entry.id);
    }
}

TEST(ClassifyKeyword, AnythingButAnExactMatchIsNone) {
    const char16_t* rows[] = {u"",          u"*openui",       u"*OPENUI",   u"*OpenU",
                              u"*OpenUI ",  u"OpenUI",        u"*DefaultInputSlot", u"*?InputSlot",
                              u"*UIConstraintsX", u"*A",      u"~",         u"*",
                              u"*Endx",     u"*NonUIConstraints"};
    for (const char16_t* token : rows) {
        SCOPED_TRACE(Utf8(token));
        EXPECT_EQ(ClassifyKeyword(token), kwNone);
    }
    EXPECT_EQ(ClassifyKeyword(u"*UIConstraints"), kwUIConstraints);
    EXPECT_EQ(ClassifyKeyword(u"*Default"), kwDefault);
    EXPECT_EQ(ClassifyKeyword(u"*?"), kwQuery);
}

struct ConvertRow {
    const char* name;
    unsigned codePage;
    std::u16string units;
    std::u16string expected;
};

TEST(ConvertToWide, ConvertsLowBytesThroughTheAnsiCodePage) {
    PlatformGuard guard;
    const ConvertRow rows[] = {
        {"Ascii", 1252, u"Letter", u"Letter"},
        {"Empty", 1252, u"", u""},
        {"Cp1252Euro", 1252, Units("\x80 \xe9"), u"\u20ac \u00e9"},
        {"HighUnitsNarrowed", 1252, u"\u0141\u0262", u"Ab"},
        {"Cp932Kanji", 932, Units("\x8e\xe8"), u"\u624b"},
        {"Cp932Katakana", 932, Units("\x83\x81\x83\x82\x83\x8a"), u"\u30e1\u30e2\u30ea"},
        {"Cp932HalfWidth", 932, Units("\xb1"), u"\uff71"},
    };
    for (const ConvertRow& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(platform::portable::SetAnsiCodePage(row.codePage));
        char16_t dest[260];
        std::fill(std::begin(dest), std::end(dest), u'#');
        int32_t written = ConvertToWide(row.units.c_str(), dest, 260);
        EXPECT_EQ(written, static_cast<int32_t>(row.expected.size()));
        EXPECT_EQ(std::u16string(dest), row.expected);
    }
}

TEST(ConvertToWide, ReportsOverflowAndMissingMemory) {
    PlatformGuard guard;
    char16_t dest[260];
    EXPECT_EQ(ConvertToWide(std::u16string(259, u'x').c_str(), dest, 260), 259);
    EXPECT_EQ(ConvertToWide(std::u16string(260, u'x').c_str(), dest, 260), -1);

    std::fill(std::begin(dest), std::end(dest), u'#');
    platform::portable::FailAllocation(1);
    EXPECT_EQ(ConvertToWide(u"abc", dest, 260), 0);
    EXPECT_EQ(dest[0], u'#');
}

}  // namespace
