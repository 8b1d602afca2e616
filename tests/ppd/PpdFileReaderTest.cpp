// The document reads its file a block at a time (PpdFileReader); that must
// give exactly the tokens of reading byte by byte with fgetc, as
// PpdReadFileByte does: across block boundaries, at every kind of end of input, with
// small capacities and with a byte left pending by a Peek.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/PpdSource.h"

using namespace ppdtest;

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

FilePtr FileWith(const std::string& bytes) {
    FilePtr file(std::tmpfile());
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        std::rewind(file.get());
    }
    return file;
}

// fgetc itself, through a function the reader has no fast path for.
int ReadWithFgetc(void* source) {
    int b = std::fgetc(static_cast<FILE*>(source));
    return b == EOF ? -1 : b;
}

struct Token {
    bool read;
    std::u16string units;
    bool operator==(const Token&) const = default;
};

// One reading of the whole input; the calls' capacities, allowBlanks and
// Peeks come from the seed, so every way of reading makes the same calls.
std::vector<Token> ReadAll(PpdByteStream& stream, unsigned seed) {
    std::mt19937 random(seed);
    const int32_t capacities[] = {1, 2, 3, 5, 8, 64, kPpdTokenCapacity};
    std::vector<char16_t> buffer(kPpdTokenCapacity + 1);
    std::vector<Token> tokens;
    for (int trailing = 0; trailing < 3;) {
        const int32_t capacity = capacities[random() % std::size(capacities)];
        const bool allowBlanks = random() % 4 == 0;
        if (random() % 16 == 0) stream.Peek();
        int32_t length = -1;
        const bool read = ReadToken(stream, buffer.data(), capacity, &length, allowBlanks);
        tokens.push_back({read, std::u16string(buffer.data(), static_cast<size_t>(length))});
        if (!read) ++trailing;
    }
    return tokens;
}

void ExpectSameTokens(const std::string& bytes, unsigned seed) {
    FilePtr reference = FileWith(bytes), perByte = FileWith(bytes), buffered = FileWith(bytes);
    ASSERT_TRUE(reference && perByte && buffered);
    PpdByteStream byFgetc(ReadWithFgetc, reference.get());
    PpdByteStream byReadFileByte(PpdReadFileByte, perByte.get());
    PpdFileReader reader(buffered.get());
    PpdByteStream byBlock(PpdReadBufferedByte, &reader);

    const std::vector<Token> expected = ReadAll(byFgetc, seed);
    EXPECT_EQ(ReadAll(byReadFileByte, seed), expected);
    EXPECT_EQ(ReadAll(byBlock, seed), expected);
}

// PPD-like text: keywords, comments that open only where a token may begin,
// quoted values over several lines, blanks of every class, NULs and high bytes.
std::string RandomPpdText(std::mt19937& random, size_t size) {
    const char* pieces[] = {"*OpenUI", " *PageSize/Page Size:", " PickOne", "\n", "\r\n", "\r", "*%comment\n",
                            "%x", "*", "\"", "\"value\nover lines\"", ":", "/", " ", "\t", "\f", "\v", "A4",
                            "*UIConstraints:", "abc%def", "<8EE8>", "\xe9\x80"};
    std::string text;
    while (text.size() < size) {
        const size_t pick = random() % (std::size(pieces) + 2);
        if (pick == std::size(pieces))
            text.push_back('\0');
        else if (pick > std::size(pieces))
            text.append(random() % 300, static_cast<char>('a' + random() % 26));  // long tokens
        else
            text += pieces[pick];
    }
    return text;
}

TEST(PpdFileReader, GivesTheTokensOfReadingByteByByte) {
    const std::string sample =
        "*PPD-Adobe: \"4.3\"\n*% comment\n*OpenUI *InputSlot/Paper Source: PickOne\n"
        "*DefaultInputSlot: Tray1\n*InputSlot Tray1/Tray 1: \"<</MediaPosition 0>>\nsetpagedevice\"\n"
        "*CloseUI: *InputSlot\n*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n";
    struct Row {
        const char* name;
        std::string bytes;
    };
    const Row rows[] = {
        {"Empty", ""},
        {"Sample", sample},
        {"EndsInsideAToken", "*OpenUI *Duplex"},
        {"EndsAfterAStar", "abc *"},
        {"EndsInsideAComment", "a %comment without end"},
        {"EndsInsideStarComment", "a *%"},
        {"EndsInsideQuotes", "*Value: \"never closed\nat all"},
        {"EmptyQuotes", "\"\"\"\"x"},
        {"StarAtABlockEnd", std::string(8191, ' ') + "*%c\nnext"},
        {"QuoteAcrossABlock", std::string(8000, ' ') + "\"" + std::string(500, 'q') + "\" after"},
        {"TokenAcrossABlock", std::string(8190, ' ') + "*OpenUI *X: PickOne"},
        {"CommentAcrossABlock", std::string(8100, ' ') + "%" + std::string(300, 'c') + "\rtoken"},
        {"ManyBlocks", sample + std::string(20000, '\n') + sample},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (unsigned seed : {1u, 2u, 3u}) ExpectSameTokens(row.bytes, seed);
    }
}

TEST(PpdFileReader, GivesTheTokensOfReadingByteByByteOnRandomText) {
    std::mt19937 random(20240607);
    for (int round = 0; round < 40; ++round) {
        std::string text = RandomPpdText(random, 1 + random() % 40000);
        // Cut anywhere, so every kind of token meets the end of input.
        text.resize(random() % (text.size() + 1));
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << text.size() << " bytes");
        ExpectSameTokens(text, round);
        if (HasFailure()) return;
    }
}

TEST(PpdFileReader, ModelOfAFileIsTheModelOfItsBytes) {
    // The document takes the block reader for PpdReadFileByte; any other
    // read-byte function gets the bytes one call at a time.
    std::mt19937 random(7);
    std::string ppd = "*OpenGroup: InstallableOptions\n*OpenUI *Memory: PickOne\n*DefaultMemory: 64MB\n"
                      "*Memory 64MB: \"\"\n*Memory 128MB: \"\"\n*CloseUI: *Memory\n*CloseGroup: InstallableOptions\n";
    for (int i = 0; i < 400; ++i)
        ppd += "*OpenUI *F" + std::to_string(i) + "/Feature " + std::to_string(i) + ": PickOne\n*F" +
               std::to_string(i) + " A/A: \"" + std::string(random() % 100, 'x') + "\"\n*F" + std::to_string(i) +
               " B: \"\"\n*CloseUI: *F" + std::to_string(i) + "\n*UIConstraints: *Memory 64MB *F" +
               std::to_string(i) + (i % 2 ? " A\n" : " B\n");
    FilePtr file = FileWith(ppd);
    ASSERT_TRUE(file);
    std::unique_ptr<PpdDocument> fromFile(new PpdDocument(PpdReadFileByte, file.get()));
    MemorySource source(ppd);
    std::unique_ptr<PpdDocument> fromBytes(new PpdDocument(ReadMemoryByte, &source));
    ASSERT_TRUE(fromFile && fromBytes);
    ASSERT_EQ(fromFile->featureCount, 401);
    ASSERT_EQ(fromFile->featureCount, fromBytes->featureCount);
    ASSERT_EQ(fromFile->constraintCount, fromBytes->constraintCount);
    for (int32_t f = 0; f < fromFile->featureCount; ++f) {
        const PpdFeature& a = *fromFile->features[f];
        const PpdFeature& b = *fromBytes->features[f];
        EXPECT_EQ(Text(a.keyword), Text(b.keyword));
        EXPECT_EQ(Text(a.translation), Text(b.translation));
        ASSERT_EQ(a.optionCount, b.optionCount);
        for (int32_t o = 0; o < a.optionCount; ++o) {
            EXPECT_EQ(Text(a.options[o]->keyword), Text(b.options[o]->keyword));
            EXPECT_EQ(std::u16string(a.options[o]->invocation), std::u16string(b.options[o]->invocation));
            EXPECT_EQ(a.options[o]->constrained, b.options[o]->constrained);
        }
    }
}

}  // namespace
