// The lint over every PPD of the openprinting-ppds corpus: each file lints,
// and every feature, option and constraint of the model is found on a line of
// the file, so the scan and the model read the files alike; and every option
// line of a feature block is read by the model as an option of that block's
// feature, or has a finding. Prints the findings per class and the files with
// the most.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "LintFixtures.h"
#include "tests/corpus/CorpusSupport.h"
#include "tests/support/InspectorCheck.h"
#include "tools/corvina-ppd/Lint.h"

namespace {

// A Japanese PPD is read on a machine whose ANSI code page is 932.
unsigned CodePageOf(const std::string& bytes) {
    size_t at = bytes.find("*LanguageEncoding:");
    if (at == std::string::npos) return 1252;
    return bytes.substr(at, bytes.find('\n', at) - at).find("JIS83-RKSJ") != std::string::npos ? 932 : 1252;
}

TEST(LintCorpus, EveryPpdLintsWithEveryModelEntryOnItsLine) {
    std::vector<std::string> files = corpus::Files();
    ASSERT_FALSE(files.empty());
    std::map<std::string, long> byClass;
    std::map<std::string, long> filesWithClass;
    std::vector<std::pair<long, std::string>> perFile;
    long clean = 0, unplacedFiles = 0;
    for (const std::string& path : files) {
        std::string bytes = inspector::ReadWhole(path);
        platform::portable::SetAnsiCodePage(CodePageOf(bytes));
        LintResult result = LintPpd(bytes);
        ASSERT_TRUE(result.modelBuilt) << path;
        if (result.unplaced) {
            ++unplacedFiles;
            ADD_FAILURE() << path << ": " << result.unplaced << " model entries not found on a line";
        }
        std::map<std::string, bool> seen;
        for (const LintFinding& f : result.findings) {
            ++byClass[LintClassName(f.kind)];
            seen[LintClassName(f.kind)] = true;
            EXPECT_EQ(f.line == 0, f.kind == LintClass::TableMissing) << path << ": " << f.reason;
        }
        for (const auto& [kind, yes] : seen) filesWithClass[kind] += yes;
        clean += result.findings.empty();
        perFile.emplace_back(static_cast<long>(result.findings.size()), path);
    }
    platform::portable::SetAnsiCodePage(1252);
    std::printf("lint corpus: %zu files, %ld without findings, %ld with unplaced model entries\n", files.size(),
                clean, unplacedFiles);
    for (int k = 0; k < kLintClassCount; ++k) {
        const char* name = LintClassName(static_cast<LintClass>(k));
        std::printf("  %-24s %9ld findings in %5ld files\n", name, byClass[name], filesWithClass[name]);
    }
    std::sort(perFile.begin(), perFile.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (size_t i = 0; i < perFile.size() && i < 5; ++i)
        std::printf("  most: %6ld %s\n", perFile[i].first, perFile[i].second.c_str());
}

// Every option line of a feature block is read by the model as an option of
// that block's feature, or has a finding (see CountOptionLines).
TEST(LintCorpus, EveryOptionLineOfADeclaredFeatureIsReadOrHasAFinding) {
    std::vector<std::string> files = corpus::Files();
    ASSERT_FALSE(files.empty());
    linttest::OptionLineCounts total;
    for (const std::string& path : files) {
        std::string bytes = inspector::ReadWhole(path);
        platform::portable::SetAnsiCodePage(CodePageOf(bytes));
        LintResult result = LintPpd(bytes);
        ASSERT_TRUE(result.modelBuilt) << path;
        std::vector<int> unexplained = linttest::CountOptionLines(bytes, result, total);
        std::string lines;
        for (size_t i = 0; i < unexplained.size() && i < 20; ++i) lines += " " + std::to_string(unexplained[i]);
        EXPECT_TRUE(unexplained.empty()) << path << ": option lines neither read nor found:" << lines;
    }
    platform::portable::SetAnsiCodePage(1252);
    std::printf("option lines of feature blocks: %ld in %zu files: %ld read by the model as their block's, %ld with a "
                "finding on the line, %ld on their block's *OpenUI line, %ld after a parse-end; %ld neither\n",
                total.lines, files.size(), total.read, total.onTheLine, total.forTheFeature, total.afterTheEnd,
                total.unexplained);
}

}  // namespace
