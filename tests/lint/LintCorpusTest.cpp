// The lint over every PPD of the openprinting-ppds corpus: each file lints,
// and every feature, option and constraint of the model is found on a line of
// the file, so the scan and the model read the files alike. Prints the
// findings per class and the files with the most.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/corvina-ppd/Lint.h"
#include "platform/portable/PortablePlatform.h"

namespace {

std::string CorpusDirectory() {
    const char* env = std::getenv("CORVINA_PPD_CORPUS");
    return env && *env ? env : CORVINA_LINT_CORPUS;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// This shard's share of the sorted files (CORVINA_CORPUS_SHARD="i/n").
std::vector<std::string> ShardFiles() {
    std::vector<std::string> all;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(CorpusDirectory()))
        if (entry.is_regular_file() && entry.path().extension() == ".ppd") all.push_back(entry.path().string());
    std::sort(all.begin(), all.end());
    unsigned shard = 0, shards = 1;
    if (const char* env = std::getenv("CORVINA_CORPUS_SHARD")) std::sscanf(env, "%u/%u", &shard, &shards);
    std::vector<std::string> mine;
    for (size_t i = shard; shards > 0 && i < all.size(); i += shards) mine.push_back(all[i]);
    return mine;
}

// A Japanese PPD is read on a machine whose ANSI code page is 932.
unsigned CodePageOf(const std::string& bytes) {
    size_t at = bytes.find("*LanguageEncoding:");
    if (at == std::string::npos) return 1252;
    return bytes.substr(at, bytes.find('\n', at) - at).find("JIS83-RKSJ") != std::string::npos ? 932 : 1252;
}

TEST(LintCorpus, EveryPpdLintsWithEveryModelEntryOnItsLine) {
    std::vector<std::string> files = ShardFiles();
    ASSERT_FALSE(files.empty());
    std::map<std::string, long> byClass;
    std::map<std::string, long> filesWithClass;
    std::vector<std::pair<long, std::string>> perFile;
    long clean = 0, unplacedFiles = 0;
    for (const std::string& path : files) {
        std::string bytes = ReadFile(path);
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

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!std::filesystem::is_directory(CorpusDirectory())) {
        std::printf("no corpus at %s (scripts/ppd-corpus.sh unpacks it): skipped\n", CorpusDirectory().c_str());
        return 77;
    }
    return RUN_ALL_TESTS();
}
