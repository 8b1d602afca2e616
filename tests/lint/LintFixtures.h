// The lint's test PPDs: each marks the findings it must give with a comment
// line "*%lint CLASS [TEXT]" above the line the finding is about (several may
// stack), or "*%lint-file CLASS [TEXT]" for the file as a whole. TEXT is a
// piece of the reason. And the lint's promise over any PPD: the lines that
// look like options of declared features each are read by the model or have
// a finding.
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

// A PPD as its author reads it, line by line (LF, CR LF or a lone CR): the
// *OpenUI lines per keyword they declare, and the lines "*Keyword Option...:"
// of a declared keyword, leaving out those inside a quoted value, whose
// quotes count from a line's colon on, as libcups counts them.
struct AuthorView {
    std::map<std::string, std::vector<int>> opens;
    std::vector<std::pair<int, std::string>> optionLines;  // line, keyword
};

inline AuthorView ReadAsAuthor(const std::string& bytes) {
    constexpr size_t npos = std::string_view::npos;
    AuthorView view;
    std::vector<std::pair<int, std::string>> candidates;
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
        size_t blank = std::min(line.find_first_of(" \t"), colon);
        std::string keyword(line.substr(0, blank));
        size_t word = line.find_first_not_of(" \t", blank);
        if (word >= colon) continue;
        if (keyword == "*OpenUI")
            view.opens[std::string(line.substr(word, line.find_first_of("/: \t", word) - word))].push_back(number);
        else
            candidates.emplace_back(number, keyword);
    }
    for (const auto& candidate : candidates)
        if (view.opens.count(candidate.second)) view.optionLines.push_back(candidate);
    return view;
}

struct OptionLineCounts {
    long lines = 0, read = 0, onTheLine = 0, forTheFeature = 0, afterTheEnd = 0, unexplained = 0;
};

// Every line that looks like an option of a declared feature is an option of
// the model, or has a finding: on the line, on the *OpenUI line its feature
// is declared on (the feature is not read, or read under another keyword), or
// a parse-end before it. Adds to the counts; the lines that are neither.
inline std::vector<int> CountOptionLines(const std::string& bytes, const LintResult& result, OptionLineCounts& counts) {
    std::set<int> findingLines, featureFindingLines;
    int parseEnd = 0;
    for (const LintFinding& f : result.findings) {
        findingLines.insert(f.line);
        if (f.kind == LintClass::NotRead || f.kind == LintClass::TranslationSlash) featureFindingLines.insert(f.line);
        if (f.kind == LintClass::ParseEnd && !parseEnd) parseEnd = f.line;
    }
    std::set<int> modelLines(result.optionLines.begin(), result.optionLines.end());
    AuthorView view = ReadAsAuthor(bytes);
    std::vector<int> unexplained;
    for (const auto& [line, keyword] : view.optionLines) {
        ++counts.lines;
        // The feature's block: the last *OpenUI of its keyword before the line, or its first.
        const std::vector<int>& opens = view.opens[keyword];
        auto after = std::upper_bound(opens.begin(), opens.end(), line);
        int open = after == opens.begin() ? opens.front() : *std::prev(after);
        if (modelLines.count(line)) {
            ++counts.read;
        } else if (findingLines.count(line)) {
            ++counts.onTheLine;
        } else if (featureFindingLines.count(open)) {
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
