// corvina-ppd --lint: text and JSON carry the library's findings, and the exit
// code says whether there were any.
#include <gtest/gtest.h>

#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "LintFixtures.h"
#include "tests/support/InspectorCheck.h"

using namespace linttest;

namespace {

inspector::RunResult RunLint(const std::vector<std::string>& args) {
    return inspector::RunTool(CORVINA_PPD_TOOL, args, "/tmp/corvina-lint-test-" + std::to_string(getpid()));
}

std::string FixturePath(const char* name) { return std::string(CORVINA_LINT_PPDS) + "/" + name; }

TEST(LintTool, TextIsOneLinePerFindingWithFileAndLine) {
    ppdtest::PlatformGuard guard;
    std::string path = FixturePath("block-unclosed.ppd");
    inspector::RunResult run = RunLint({"--lint", path});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err, "");
    std::string expected;
    for (const LintFinding& f : LintPpd(inspector::ReadWhole(path)).findings)
        expected += path + (f.line ? ":" + std::to_string(f.line) : "") + ": " + LintClassName(f.kind) + ": " +
                    f.reason + "\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_NE(run.out.find(path + ":17: block-unclosed: the block of *QZToner runs on"), std::string::npos)
        << run.out;
}

TEST(LintTool, JsonCarriesTheSameFindingsAndTheirCounts) {
    ppdtest::PlatformGuard guard;
    for (const char* name : {"parse-end.ppd", "translation-slash.ppd", "clean.ppd"}) {
        SCOPED_TRACE(name);
        std::string path = FixturePath(name);
        inspector::RunResult run = RunLint({"--json", "--lint", path});
        std::vector<LintFinding> findings = LintPpd(inspector::ReadWhole(path)).findings;
        EXPECT_EQ(run.exitCode, findings.empty() ? 0 : 3);
        inspector::Json root;
        inspector::JsonParser parser(run.out);
        ASSERT_TRUE(parser.Parse(root)) << "invalid JSON near byte " << parser.Position() << "\n" << run.out;
        ASSERT_NE(root.Member("file"), nullptr);
        EXPECT_EQ(root.Member("file")->text, path);
        const inspector::Json* list = root.Member("findings");
        const inspector::Json* counts = root.Member("counts");
        ASSERT_TRUE(list && counts);
        ASSERT_EQ(list->items.size(), findings.size());
        std::map<std::string, double> expectedCounts;
        for (size_t i = 0; i < findings.size(); ++i) {
            const inspector::Json& item = list->items[i];
            ASSERT_TRUE(item.Member("line") && item.Member("class") && item.Member("reason"));
            EXPECT_EQ(item.Member("line")->number, findings[i].line);
            EXPECT_EQ(item.Member("class")->text, LintClassName(findings[i].kind));
            EXPECT_EQ(item.Member("reason")->text, findings[i].reason);
            ++expectedCounts[LintClassName(findings[i].kind)];
        }
        std::map<std::string, double> actualCounts;
        for (const auto& [key, value] : counts->members) actualCounts[key] = value.number;
        EXPECT_EQ(actualCounts, expectedCounts);
    }
}

TEST(LintTool, ExitCodes) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Row rows[] = {
        {"Clean", {"--lint", FixturePath("clean.ppd")}, 0, ""},
        {"CleanUnderTheJapaneseCodePage", {"--lint", "--codepage", "932", FixturePath("clean.ppd")}, 0, ""},
        {"Findings", {"--lint", FixturePath("default-empty.ppd")}, 3, ""},
        {"MissingFile", {"--lint", FixturePath("nothing.ppd")}, 1, "cannot read"},
        {"Directory", {"--lint", CORVINA_LINT_PPDS}, 1, "cannot read"},
        {"NoFile", {"--lint"}, 2, "usage: corvina-ppd"},
        {"WithInstalled", {"--lint", "--installed", "*QZTrayUnit=None", FixturePath("clean.ppd")}, 2, "--installed"},
        {"OtherCodePage", {"--lint", "--codepage", "437", FixturePath("clean.ppd")}, 2, "usage: corvina-ppd"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        inspector::RunResult run = RunLint(row.args);
        EXPECT_EQ(run.exitCode, row.exitCode);
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        if (row.exitCode == 0) {
            EXPECT_EQ(run.out, "");
        }
        if (row.exitCode == 1) {
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        }
    }
}

}  // namespace
