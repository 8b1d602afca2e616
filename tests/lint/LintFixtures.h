// The lint's test PPDs: each marks the findings it must give with a comment
// line "*%lint CLASS [TEXT]" above the line the finding is about (several may
// stack), or "*%lint-file CLASS [TEXT]" for the file as a whole. TEXT is a
// piece of the reason. And the lint's promise over any PPD: each option line
// of a feature block is read by the model as an option of that block's
// feature, or has a finding.
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ppd/PpdParseReport.h"
#include "tests/support/InspectorCheck.h"
#include "tools/corvina-ppd/Lint.h"

namespace linttest {

struct Expected {
    int line;
    std::string kind;
    std::string text;
};

struct Fixture {
    std::string name;
    std::string path;
    std::string bytes;
    std::vector<Expected> expected;

    bool Expects(const std::string& kind) const {
        return std::any_of(expected.begin(), expected.end(), [&](const Expected& e) { return e.kind == kind; });
    }
};

inline Fixture LoadFixture(const std::string& path) {
    Fixture fixture{std::filesystem::path(path).filename().string(), path, inspector::ReadWhole(path), {}};
    std::istringstream lines(fixture.bytes);
    std::string line;
    std::vector<Expected> pending;
    for (int number = 1; std::getline(lines, line); ++number) {
        bool fileWide = line.rfind("*%lint-file ", 0) == 0;
        if (fileWide || line.rfind("*%lint ", 0) == 0) {
            std::string rest = line.substr(fileWide ? 12 : 7);
            size_t space = rest.find(' ');
            Expected e{0, rest.substr(0, space), space == std::string::npos ? "" : rest.substr(space + 1)};
            (fileWide ? fixture.expected : pending).push_back(e);
            continue;
        }
        for (Expected& e : pending) {
            e.line = number;
            fixture.expected.push_back(e);
        }
        pending.clear();
    }
    return fixture;
}

inline std::vector<Fixture> LoadFixtures() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(CORVINA_LINT_PPDS))
        if (entry.path().extension() == ".ppd") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    std::vector<Fixture> fixtures;
    for (const std::string& path : paths) fixtures.push_back(LoadFixture(path));
    return fixtures;
}

// The option lines of a PPD as its author reads it, line by line (LF, CR LF
// or a lone CR): each feature block runs from an *OpenUI line to the
// *CloseUI that names its keyword, and its option lines are the lines
// "*Keyword Option...:" of that keyword inside it, leaving out those inside
// a quoted value, whose quotes count from a line's colon on, as libcups
// counts them. Blocks of other keywords may stand inside a block, nested or
// overlapping: a line belongs to the open block of its own keyword. A block
// that never closes runs to the end of the file, unless an *OpenUI of its
// keyword opens it again.
struct AuthorOptionLine {
    int line;
    int open;  // the *OpenUI line of its block
};

inline std::vector<AuthorOptionLine> ReadAsAuthor(const std::string& bytes) {
    constexpr size_t npos = std::string_view::npos;
    std::vector<AuthorOptionLine> optionLines;
    std::map<std::string, int, std::less<>> openBlocks;  // keyword -> *OpenUI line
    auto word = [](std::string_view text, size_t from) {
        from = std::min(text.find_first_not_of(" \t", from), text.size());
        return text.substr(from, text.find_first_of("/: \t", from) - from);
    };
    bool inValue = false;
    int number = 0;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = std::min(bytes.find_first_of("\r\n", start), bytes.size());
        std::string_view line(bytes.data() + start, end - start);
        start = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++number;
        bool wasInValue = inValue;
        size_t colon = line.find(':');
        size_t quotesFrom = inValue ? 0 : colon;
        if (quotesFrom != npos) inValue ^= std::count(line.begin() + quotesFrom, line.end(), '"') % 2;
        if (wasInValue || !line.starts_with('*') || line.starts_with("*%") || colon == npos) continue;
        std::string_view keyword = line.substr(0, std::min(line.find_first_of(" \t"), colon));
        if (keyword == "*CloseUI") {
            if (auto block = openBlocks.find(word(line, colon + 1)); block != openBlocks.end()) openBlocks.erase(block);
            continue;
        }
        if (line.find_first_not_of(" \t", keyword.size()) >= colon) continue;
        if (keyword == "*OpenUI")
            openBlocks[std::string(word(line, keyword.size()))] = number;
        else if (auto block = openBlocks.find(keyword); block != openBlocks.end())
            optionLines.push_back({number, block->second});
    }
    return optionLines;
}

struct OptionLineCounts {
    long lines = 0, read = 0, onTheLine = 0, forTheFeature = 0, afterTheEnd = 0, unexplained = 0;
};

// Every option line of a feature block, as its author reads it, is an
// option of the model's feature of that block (the feature and the option
// that the parse report places on the block's *OpenUI line and on the line),
// or has a finding: not-read on the line; not-read or translation-slash on
// the block's *OpenUI line (the feature is not read, or read under another
// keyword); or a parse-end before it. Adds to the counts; the lines that are
// neither.
inline std::vector<int> CountOptionLines(const std::string& bytes, const LintResult& result, OptionLineCounts& counts) {
    std::set<int> lineFindings, featureFindings;
    int parseEnd = 0;
    for (const LintFinding& f : result.findings) {
        if (f.kind == LintClass::NotRead) lineFindings.insert(f.line);
        if (f.kind == LintClass::NotRead || f.kind == LintClass::TranslationSlash) featureFindings.insert(f.line);
        if (f.kind == LintClass::ParseEnd && !parseEnd) parseEnd = f.line;
    }
    PpdParseReport report;
    const UniquePpdDocument doc = BuildModel(bytes, &report);
    std::set<std::pair<int, int>> read;  // *OpenUI line, option line
    for (int32_t f = 0, o = 0; doc && f < doc->featureCount && f < report.features.Count(); ++f)
        for (int32_t last = o + doc->features[f]->optionCount; o < last && o < report.options.Count(); ++o)
            read.emplace(report.features[f].line, report.options[o].line);
    std::vector<int> unexplained;
    for (const auto& [line, open] : ReadAsAuthor(bytes)) {
        ++counts.lines;
        if (read.count({open, line})) {
            ++counts.read;
        } else if (lineFindings.count(line)) {
            ++counts.onTheLine;
        } else if (featureFindings.count(open)) {
            ++counts.forTheFeature;
        } else if (parseEnd && parseEnd < line) {
            ++counts.afterTheEnd;
        } else {
            ++counts.unexplained;
            unexplained.push_back(line);
        }
    }
    return unexplained;
}

}  // namespace linttest
