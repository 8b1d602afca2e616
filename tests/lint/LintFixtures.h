// The lint's test PPDs: each marks the findings it must give with a comment
// line "*%lint CLASS [TEXT]" above the line the finding is about (several may
// stack), or "*%lint-file CLASS [TEXT]" for the file as a whole. TEXT is a
// piece of the reason.
#pragma once

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
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

}  // namespace linttest
