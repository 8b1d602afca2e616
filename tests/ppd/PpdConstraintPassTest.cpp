// The constraint pass indexes the constraints for each call; its flags must
// be those of the walk of every constraint per (option, installable option)
// (EvaluateConstraintsReference) on models built to collide: installable and
// ordinary features sharing keywords, options named alike across features,
// rules in either direction, repeated, naming nothing, and installed values
// no rule names. Flags start random, so flags no rule reaches keep them.
#include <gtest/gtest.h>

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

// The flags each pass leaves, both started from the same random flags.
std::pair<std::string, std::string> BothPasses(PpdDocument& doc, std::mt19937& random) {
    const std::vector<uint8_t*> flags = ConstrainedFlagsOf(doc);
    std::vector<uint8_t> start;
    for (size_t k = 0; k < flags.size(); ++k) start.push_back(random() & 1);
    auto run = [&](void (PpdDocument::*pass)()) {
        for (size_t k = 0; k < flags.size(); ++k) *flags[k] = start[k];
        (doc.*pass)();
        std::string result;
        for (uint8_t* flag : flags) result += char('0' + *flag);
        return result;
    };
    std::string reference = run(&PpdDocument::EvaluateConstraintsReference);
    return {run(&PpdDocument::EvaluateConstraints), reference};
}

TEST(ConstraintPass, IndexedPassIsTheWalkOnGeneratedModels) {
    PlatformGuard guard;
    std::mt19937 random(11);
    const char16_t* values[] = {u"x", u"y", u"None", u"", u"Unnamed"};
    for (int model = 0; model < 3000; ++model) {
        const std::string ppd = GeneratedPpd(random);
        SCOPED_TRACE(ppd);
        DocumentPtr doc(Parse(ppd));
        ASSERT_NE(doc, nullptr);
        for (int configuration = 0; configuration < 4; ++configuration) {
            for (int32_t i = 0; i < doc->installableCount; ++i)
                if (random() % 2)
                    doc->SetInstallableOption(doc->installables[i]->keyword.text, values[random() % std::size(values)],
                                              false);
            auto [indexed, reference] = BothPasses(*doc, random);
            ASSERT_EQ(indexed, reference);
        }
    }
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
