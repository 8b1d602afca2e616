// corvina-ppd --lint: text and JSON carry the library's findings with their
// severities, the text leaves the notes to one line unless --all, and the exit
// code says whether there were any, or any of the --fail-on severity.
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

std::string TextLine(const std::string& path, const LintFinding& f) {
    return path + (f.line ? ":" + std::to_string(f.line) : "") + ": " +
           LintSeverityName(LintClassSeverity(f.kind)) + ": " + LintClassName(f.kind) + ": " + f.reason + "\n";
}

TEST(LintTool, TextIsOneLinePerFindingWithFileAndLine) {
    ppdtest::PlatformGuard guard;
    std::string path = FixturePath("block-unclosed.ppd");
    inspector::RunResult run = RunLint({"--lint", "--all", path});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err, "");
    std::string expected;
    for (const LintFinding& f : LintPpd(inspector::ReadWhole(path)).findings) expected += TextLine(path, f);
    EXPECT_EQ(run.out, expected);
    EXPECT_NE(run.out.find(path + ":17: error: block-unclosed: the block of *QZToner runs on"), std::string::npos)
        << run.out;
}

// Without --all the notes' lines give way to one line that counts them per
// class; errors and warnings keep their lines, in the same order.
TEST(LintTool, TextCountsTheNotesInOneLineUnlessAll) {
    ppdtest::PlatformGuard guard;
    struct Row {
        const char* name;
        const char* notesLine;  // after the file name; empty: no such line
    };
    const Row rows[] = {
        {"block-unclosed.ppd", ": 25 notes not shown (--all shows them): 25 table-missing\n"},
        {"constraint-ordinary.ppd", ": 2 notes not shown (--all shows them): 1 constraint-ordinary, 1 table-missing\n"},
        {"feature-unknown.ppd", ": 2 notes not shown (--all shows them): 1 table-missing, 1 feature-unknown\n"},
        {"table-missing.ppd", ": 1 note not shown (--all shows them): 1 table-missing\n"},
        {"clean.ppd", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = FixturePath(row.name);
        inspector::RunResult run = RunLint({"--lint", path});
        std::string expected;
        for (const LintFinding& f : LintPpd(inspector::ReadWhole(path)).findings)
            if (LintClassSeverity(f.kind) != LintSeverity::Note) expected += TextLine(path, f);
        if (*row.notesLine) expected += path + row.notesLine;
        EXPECT_EQ(run.out, expected);
        EXPECT_EQ(run.err, "");
    }
}

// The sample printer's PPD is what `make package` ships by default: it passes
// the package's gate, and shows nothing but the count of its notes.
TEST(LintTool, TheSamplePrinterPassesThePackageGate) {
    ppdtest::PlatformGuard guard;
    std::string path = CORVINA_SAMPLES_DIR "/norvane-c5.ppd";
    inspector::RunResult run = RunLint({"--lint", "--fail-on", "error", path});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, path + ": 6 notes not shown (--all shows them): 5 table-missing, 1 feature-unknown\n");
    run = RunLint({"--lint", "--fail-on", "warning", path});
    EXPECT_EQ(run.exitCode, 0) << run.out;
}

TEST(LintTool, JsonCarriesTheSameFindingsAndTheirCounts) {
    ppdtest::PlatformGuard guard;
    for (const char* name : {"parse-end.ppd", "translation-slash.ppd", "clean.ppd", "constraint-ordinary.ppd"}) {
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
        std::map<std::string, double> expectedSeverities{{"error", 0}, {"warning", 0}, {"note", 0}};
        for (size_t i = 0; i < findings.size(); ++i) {
            const inspector::Json& item = list->items[i];
            ASSERT_TRUE(item.Member("line") && item.Member("class") && item.Member("severity") &&
                        item.Member("reason"));
            EXPECT_EQ(item.Member("line")->number, findings[i].line);
            EXPECT_EQ(item.Member("class")->text, LintClassName(findings[i].kind));
            const char* severity = LintSeverityName(LintClassSeverity(findings[i].kind));
            EXPECT_EQ(item.Member("severity")->text, severity);
            EXPECT_EQ(item.Member("reason")->text, findings[i].reason);
            ++expectedCounts[LintClassName(findings[i].kind)];
            ++expectedSeverities[severity];
        }
        std::map<std::string, double> actualCounts;
        for (const auto& [key, value] : counts->members) actualCounts[key] = value.number;
        EXPECT_EQ(actualCounts, expectedCounts);
        // Every severity is counted, the absent ones as 0.
        const inspector::Json* severities = root.Member("severities");
        ASSERT_TRUE(severities);
        std::map<std::string, double> actualSeverities;
        for (const auto& [key, value] : severities->members) actualSeverities[key] = value.number;
        EXPECT_EQ(actualSeverities, expectedSeverities);
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
        {"OnlyNotes", {"--lint", FixturePath("constraint-ordinary.ppd")}, 3, ""},
        {"OnlyNotesFailingOnWarnings", {"--lint", "--fail-on", "warning", FixturePath("constraint-ordinary.ppd")}, 0, ""},
        {"WarningsFailingOnWarnings", {"--lint", "--fail-on=warning", FixturePath("default-empty.ppd")}, 3, ""},
        {"WarningsFailingOnErrors", {"--lint", "--fail-on", "error", FixturePath("default-empty.ppd")}, 0, ""},
        {"ErrorsFailingOnErrors", {"--lint", "--fail-on", "error", FixturePath("parse-end.ppd")}, 3, ""},
        {"ErrorsInJsonFailingOnErrors", {"--lint", "--json", "--fail-on", "error", FixturePath("not-read.ppd")}, 3, ""},
        {"NotesFailingOnNotes", {"--lint", "--fail-on", "note", FixturePath("constraint-ordinary.ppd")}, 3, ""},
        {"OtherSeverity", {"--lint", "--fail-on", "fatal", FixturePath("clean.ppd")}, 2, "--fail-on"},
        {"FailOnWithoutLint", {"--fail-on", "error", FixturePath("clean.ppd")}, 2, "--lint"},
        {"FailOnNoteWithoutLint", {"--fail-on", "note", FixturePath("clean.ppd")}, 2, "--lint"},
        {"AllWithoutLint", {"--all", FixturePath("clean.ppd")}, 2, "--lint"},
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
        // A clean file prints nothing; findings below the --fail-on severity still print, and none is an error.
        if (row.exitCode == 0 && row.args.back() == FixturePath("clean.ppd")) {
            EXPECT_EQ(run.out, "");
        }
        if (row.exitCode == 0) {
            EXPECT_EQ(run.out.find(": error: "), std::string::npos) << run.out;
        }
        if (row.exitCode == 1) {
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        }
    }
}

}  // namespace
