// The model of every PPD of the corpus: built without a fault (ASan and
// UBSan watch, LeakSanitizer checks at exit), consistent, and what the
// inspector prints of the largest one is the model.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>

#include "CorpusSupport.h"
#include "tests/support/InspectorCheck.h"

namespace {

bool Terminated(const PpdString& s) {
    return s.length >= 0 && s.length < kPpdStringCapacity && s.text[s.length] == 0 &&
           std::char_traits<char16_t>::length(s.text) == static_cast<size_t>(s.length);
}

// What must hold of any model, whatever the file held.
void ExpectConsistent(const PpdDocument& doc, const std::string& path) {
    SCOPED_TRACE(path);
    ASSERT_GE(doc.featureCount, 0);
    ASSERT_GE(doc.constraintCount, 0);
    ASSERT_GE(doc.installableCount, 0);
    EXPECT_LE(doc.installableCount, doc.featureCount);
    for (const PpdString* s : {&doc.modelName, &doc.product, &doc.manufacturer, &doc.languageEncoding,
                               &doc.languageVersion})
        EXPECT_TRUE(Terminated(*s));
    int32_t installableFeatures = 0;
    for (int32_t i = 0; i < doc.featureCount; ++i) {
        const PpdFeature* f = doc.GetFeature(i);
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(Terminated(f->keyword) && Terminated(f->translation) && Terminated(f->defaultOption) &&
                    Terminated(f->group) && Terminated(f->groupTranslation));
        ASSERT_GE(f->optionCount, 0);
        bool installable = f->group.Equals(u"InstallableOptions");
        installableFeatures += installable;
        for (int32_t o = 0; o < f->optionCount; ++o) {
            const PpdOption* option = f->options[o];
            ASSERT_NE(option, nullptr);
            EXPECT_TRUE(Terminated(option->keyword) && Terminated(option->translation));
            EXPECT_LE(option->constrained, 1);
            if (installable) {
                EXPECT_EQ(option->constrained, 0);
            }
        }
    }
    EXPECT_LE(doc.installableCount, installableFeatures);
    for (int32_t i = 0; i < doc.installableCount; ++i) {
        ASSERT_NE(doc.installables[i], nullptr);
        EXPECT_TRUE(doc.installables[i]->keyword.length > 0 || doc.installables[i]->keyword.text[0] == 0);
    }
    for (int32_t i = 0; i < doc.constraintCount; ++i) ASSERT_NE(doc.constraints[i], nullptr);
}

TEST(Corpus, EveryPpdBuildsAConsistentModel) {
    const std::vector<std::string> files = corpus::Files();
    auto start = std::chrono::steady_clock::now();
    long features = 0, options = 0, constraints = 0, installables = 0, empty = 0;
    std::map<unsigned, int> byCodePage;
    for (const std::string& path : files) {
        unsigned codePage = corpus::CodePageFor(path);
        ++byCodePage[codePage];
        const long before = platform::portable::LiveAllocations();
        auto doc = corpus::BuildModel(path, codePage);
        ASSERT_NE(doc, nullptr) << path;
        // What the build left allocated is the model: the token buffer and the stream are gone.
        EXPECT_EQ(platform::portable::LiveAllocations() - before, ppdtest::ModelBlocks(*doc)) << path;
        ExpectConsistent(*doc, path);
        // Every installable option set to its feature's last option, as a
        // host would; the constraint pass itself ran in the constructor.
        for (int32_t i = 0; i < doc->featureCount; ++i) {
            const PpdFeature* f = doc->GetFeature(i);
            features += 1;
            options += f->optionCount;
            if (f->optionCount && f->group.Equals(u"InstallableOptions"))
                doc->SetInstallableOption(f->keyword.text, f->options[f->optionCount - 1]->keyword.text, false);
        }
        ExpectConsistent(*doc, path);
        constraints += doc->constraintCount;
        installables += doc->installableCount;
        empty += doc->featureCount == 0;
        if (HasFatalFailure()) return;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "corpus: " << files.size() << " PPDs (" << byCodePage[1252] << " in code page 1252, "
              << byCodePage[932] << " in 932) in " << seconds << " s: " << features << " features, " << options
              << " options, " << installables << " installable options, " << constraints << " constraints; "
              << empty << " without features\n";
}

TEST(Corpus, InspectorJsonOfTheLargestPpdIsTheModel) {
    std::string largest;
    uintmax_t largestSize = 0;
    for (const std::string& path : corpus::Files()) {
        uintmax_t size = std::filesystem::file_size(path);
        if (size > largestSize) largestSize = size, largest = path;
    }
    ASSERT_FALSE(largest.empty());
    unsigned codePage = corpus::CodePageFor(largest);
    auto doc = corpus::BuildModel(largest, codePage);
    std::vector<std::string> args = {"--json", "--codepage", std::to_string(codePage)};
    // The first installable option takes its feature's last option, as a host would set it.
    for (int32_t i = 0; i < doc->featureCount; ++i) {
        const PpdFeature* f = doc->GetFeature(i);
        if (!f->optionCount || !f->group.Equals(u"InstallableOptions")) continue;
        const PpdString& last = f->options[f->optionCount - 1]->keyword;
        args.push_back("--installed=" + ppdtest::Utf8(f->keyword.text) + "=" + ppdtest::Utf8(last.text));
        doc->SetInstallableOption(f->keyword.text, last.text, false);
        break;
    }
    doc->EvaluateConstraints();
    args.push_back(largest);
    std::cout << "largest PPD: " << largest << " (" << largestSize << " bytes, " << doc->featureCount
              << " features, " << doc->constraintCount << " constraints)\n";

    inspector::RunResult run = inspector::RunTool(CORVINA_PPD_TOOL, args,
                                                  testing::TempDir() + "corvina-corpus-inspector");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    inspector::Json root;
    inspector::JsonParser parser(run.out);
    ASSERT_TRUE(parser.Parse(root)) << "invalid JSON near byte " << parser.Position();
    inspector::ModelComparison comparison;
    comparison.Compare(root, *doc);
    for (const std::string& difference : comparison.differences) ADD_FAILURE() << difference;
}

}  // namespace
