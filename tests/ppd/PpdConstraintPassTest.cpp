// The constraint pass indexes the whole model in one heap block, or works in
// pieces of a smaller block without memory for it; its flags must be those
// of the walk of every constraint per (option, installable option)
// (WalkConstraints) on models built to collide: installable and
// ordinary features sharing keywords, options named alike across features,
// rules in either direction, repeated, naming nothing, and installed values
// no rule names. Flags start random, so flags no rule reaches keep them.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/PpdSource.h"

using namespace ppdtest;

namespace {

using DocumentPtr = std::unique_ptr<PpdDocument>;

// Few names, so that texts meet: keywords and options drawn from small sets.
std::string GeneratedPpd(std::mt19937& random) {
    const char* keywords[] = {"*A", "*B", "*C", "*Memory", "*Tray", "*A "};
    const char* options[] = {"x", "y", "None", "True", "False", ""};
    auto pick = [&](const auto& from) { return std::string(from[random() % std::size(from)]); };
    std::string ppd;
    const int features = 1 + static_cast<int>(random() % 8);
    for (int f = 0; f < features; ++f) {
        const bool installable = random() % 3 == 0;
        const std::string keyword = pick(keywords);
        if (installable) ppd += "*OpenGroup: InstallableOptions/Installed\n";
        ppd += "*OpenUI " + keyword + ": PickOne\n";
        if (random() % 4) ppd += "*Default" + keyword.substr(1) + ": " + pick(options) + "\n";
        for (int o = static_cast<int>(random() % 5); o > 0; --o) ppd += keyword + " " + pick(options) + ": \"\"\n";
        ppd += "*CloseUI: " + keyword + "\n";
        if (installable) ppd += "*CloseGroup: InstallableOptions\n";
    }
    for (int c = static_cast<int>(random() % 25); c > 0; --c)
        ppd += "*UIConstraints: " + pick(keywords) + " " + pick(options) + " " + pick(keywords) + " " + pick(options) +
               "\n";
    return ppd;
}

std::vector<uint8_t> RandomFlags(PpdDocument& doc, std::mt19937& random) {
    std::vector<uint8_t> start;
    for (size_t k = ConstrainedFlagsOf(doc).size(); k > 0; --k) start.push_back(random() & 1);
    return start;
}

// The flags `pass` leaves when they start as `start`.
template <typename Pass>
std::string FlagsAfter(PpdDocument& doc, const std::vector<uint8_t>& start, Pass pass) {
    const std::vector<uint8_t*> flags = ConstrainedFlagsOf(doc);
    for (size_t k = 0; k < flags.size(); ++k) *flags[k] = start[k];
    pass();
    std::string result;
    for (uint8_t* flag : flags) result += char('0' + *flag);
    return result;
}

// Installed values named by rules or not, on some of the installable options.
void SetRandomValues(PpdDocument& doc, std::mt19937& random) {
    const char16_t* values[] = {u"x", u"y", u"None", u"", u"Unnamed"};
    for (int32_t i = 0; i < doc.installableCount; ++i)
        if (random() % 2)
            doc.SetInstallableOption(doc.installables[i]->keyword.text, values[random() % std::size(values)], false);
}

// Generated models, each under installed configurations: `check(doc,
// start, reference)` with the random flags a pass starts from and the walk's
// flags from there.
template <typename Check>
void ForGeneratedConfigurations(uint32_t seed, int models, int configurations, Check check) {
    std::mt19937 random(seed);
    for (int model = 0; model < models; ++model) {
        const std::string ppd = GeneratedPpd(random);
        SCOPED_TRACE(ppd);
        DocumentPtr doc(Parse(ppd));
        ASSERT_NE(doc, nullptr);
        for (int configuration = 0; configuration < configurations; ++configuration) {
            SetRandomValues(*doc, random);
            const std::vector<uint8_t> start = RandomFlags(*doc, random);
            const std::string reference = FlagsAfter(*doc, start, [&] { WalkConstraints(*doc); });
            check(*doc, start, reference);
            if (testing::Test::HasFatalFailure()) return;
        }
    }
}

TEST(ConstraintPass, IndexedPassIsTheWalkOnGeneratedModels) {
    PlatformGuard guard;
    ForGeneratedConfigurations(11, 3000, 4, [](PpdDocument& doc, const std::vector<uint8_t>& start,
                                               const std::string& reference) {
        ASSERT_EQ(FlagsAfter(doc, start, [&] { doc.EvaluateConstraints(); }), reference);
    });
}

// Scratch blocks from the least, where every piece holds one ordinary
// feature or one option of it and every run one installable option, to the
// stack's; each block is exactly as long as said, so that a write past it
// shows under ASan.
TEST(ConstraintPass, PiecesOfAnyScratchAreTheWalkOnGeneratedModels) {
    PlatformGuard guard;
    ForGeneratedConfigurations(17, 1500, 3, [](PpdDocument& doc, const std::vector<uint8_t>& start,
                                               const std::string& reference) {
        for (size_t words : {PpdDocument::kConstraintScratchWordsAtLeast, size_t{24}, size_t{64},
                             PpdDocument::kConstraintScratchWords}) {
            SCOPED_TRACE(testing::Message() << words << " words");
            std::vector<uint32_t> scratch(words);
            ASSERT_EQ(FlagsAfter(doc, start, [&] { doc.EvaluateConstraintsInPieces(scratch.data(), words); }),
                      reference);
        }
    });
}

TEST(ConstraintPass, WithoutMemoryForTheIndexTheWalkGivesTheFlags) {
    PlatformGuard guard;
    std::mt19937 random(5);
    for (int model = 0; model < 200; ++model) {
        const std::string ppd = GeneratedPpd(random);
        SCOPED_TRACE(ppd);
        DocumentPtr doc(Parse(ppd));
        ASSERT_NE(doc, nullptr);
        const std::vector<uint8_t*> flags = ConstrainedFlagsOf(*doc);
        std::string expected;
        for (uint8_t* flag : flags) expected += char('0' + *flag);
        for (uint8_t* flag : flags) *flag = 0;
        // The pass's one allocation, if it makes one, fails.
        platform::portable::FailAllocation(1);
        doc->EvaluateConstraints();
        const long allocations = platform::portable::AllocationsSoFar();
        platform::portable::FailAllocation(0);
        EXPECT_LE(allocations, 1);
        std::string flagsAfter;
        for (uint8_t* flag : flags) flagsAfter += char('0' + *flag);
        EXPECT_EQ(flagsAfter, expected);
    }
}

// Without memory for the index, on models larger than a print dialog should
// wait a walk for: the flags are the walk's, and the work (slots probed,
// records visited) a small multiple of the model's size where the walk's is
// options x installables x constraints. The fallback asks for no memory, so
// every allocation from the index's on fails.
TEST(ConstraintPass, WithoutMemoryTheWorkStaysInProportionToTheModel) {
    PlatformGuard guard;
    struct Case {
        const char* what;
        ModelShape shape;
    };
    const Case cases[] = {
        {"600 features, 300 installable, 20,000 rules, scaled by a tenth", {60, 30, 2000, 4}},
        {"more features than a piece holds", {2600, 2, 800, 2}},
        {"more installable options than a run holds", {1100, 1050, 150, 2}},
        {"one feature of many options, many conflicts", {2, 1, 3000, 3000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DocumentPtr doc(Parse(GeneratedModelPpd(c.shape)));
        ASSERT_NE(doc, nullptr);
        ASSERT_EQ(doc->constraintCount, c.shape.constraints);
        std::mt19937 random(3);
        const std::vector<uint8_t> start = RandomFlags(*doc, random);
        const std::string reference = FlagsAfter(*doc, start, [&] { WalkConstraints(*doc); });
        const std::string indexed = FlagsAfter(*doc, start, [&] { doc->EvaluateConstraints(); });
        const int64_t indexedWork = doc->constraintPassWork;
        const std::string fallback = FlagsAfter(*doc, start, [&] {
            platform::portable::FailAllocation(1, true);
            doc->EvaluateConstraints();
            EXPECT_EQ(platform::portable::AllocationsSoFar(), 1);
            platform::portable::FailAllocation(0);
        });
        EXPECT_EQ(indexed, reference);
        EXPECT_EQ(fallback, reference);
        EXPECT_NE(reference.find('1'), std::string::npos);
        EXPECT_LE(doc->constraintPassWork, 8 * c.shape.Size());
        const int64_t fallbackWork = doc->constraintPassWork;
        // In a small block, where a feature's options span pieces.
        std::vector<uint32_t> scratch(256);
        EXPECT_EQ(FlagsAfter(*doc, start, [&] { doc->EvaluateConstraintsInPieces(scratch.data(), scratch.size()); }),
                  reference);
        std::printf("[ figures  ] %s: size %ld, work %lld without the index, %lld with it\n", c.what,
                    c.shape.Size(), static_cast<long long>(fallbackWork), static_cast<long long>(indexedWork));
    }
}

TEST(ConstraintPass, LastInstallableOfARepeatedKeywordDecides) {
    // Two installable features named *Memory: SetInstallableOption reaches the
    // first only, and the second, later in the file, decides.
    const std::string ppd =
        "*OpenGroup: InstallableOptions\n"
        "*OpenUI *Memory: PickOne\n*DefaultMemory: Small\n*Memory Small: \"\"\n*Memory Large: \"\"\n*CloseUI: *Memory\n"
        "*OpenUI *Memory: PickOne\n*DefaultMemory: Large\n*Memory Small: \"\"\n*Memory Large: \"\"\n*CloseUI: *Memory\n"
        "*CloseGroup: InstallableOptions\n"
        "*OpenUI *Res: PickOne\n*Res Low: \"\"\n*Res High: \"\"\n*CloseUI: *Res\n"
        "*UIConstraints: *Memory Small *Res High\n*UIConstraints: *Memory Large *Res Low\n";
    DocumentPtr doc(Parse(ppd));
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->installableCount, 2);
    const PpdFeature& res = *doc->features[2];
    EXPECT_EQ(res.options[0]->constrained, 1);
    EXPECT_EQ(res.options[1]->constrained, 0);
    doc->SetInstallableOption(u"*Memory", u"Large", true);
    EXPECT_EQ(res.options[0]->constrained, 1);
    EXPECT_EQ(res.options[1]->constrained, 0);
}

}  // namespace
