// The lint on PPDs made for each finding, and its claims held against the
// model: an entry it says never counts can go without any flag changing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "LintFixtures.h"
#include "optree/FeatureNames.h"
#include "tests/support/PpdSource.h"

using namespace linttest;

namespace {

std::string Describe(const LintFinding& f) {
    return std::to_string(f.line) + " " + LintClassName(f.kind) + ": " + f.reason;
}

TEST(Lint, EachTestPpdGivesExactlyTheFindingsItMarks) {
    ppdtest::PlatformGuard guard;
    std::vector<Fixture> fixtures = LoadFixtures();
    ASSERT_GE(fixtures.size(), 19u);
    for (const Fixture& fixture : fixtures) {
        SCOPED_TRACE(fixture.name);
        LintResult result = LintPpd(fixture.bytes);
        ASSERT_TRUE(result.modelBuilt);
        EXPECT_EQ(result.unplaced, 0);
        // Small files lack most of the feature name table; only the files
        // about it say which.
        bool tableMatters = fixture.Expects("table-missing") || fixture.name == "clean.ppd";
        std::vector<LintFinding> actual;
        for (const LintFinding& f : result.findings)
            if (tableMatters || f.kind != LintClass::TableMissing) actual.push_back(f);
        std::vector<bool> used(actual.size(), false);
        for (const Expected& e : fixture.expected) {
            bool found = false;
            for (size_t i = 0; i < actual.size() && !found; ++i) {
                if (used[i] || actual[i].line != e.line || e.kind != LintClassName(actual[i].kind)) continue;
                found = actual[i].reason.find(e.text) != std::string::npos;
                used[i] = found;
            }
            EXPECT_TRUE(found) << "missing at line " << e.line << ": " << e.kind << " ... " << e.text;
        }
        for (size_t i = 0; i < actual.size(); ++i)
            EXPECT_TRUE(used[i]) << "unexpected: " << Describe(actual[i]);
        for (const LintFinding& f : result.findings) {
            EXPECT_EQ(f.reason.find('\n'), std::string::npos) << Describe(f);
            EXPECT_EQ(f.line == 0, f.kind == LintClass::TableMissing) << Describe(f);
        }
        OptionLineCounts counts;
        EXPECT_EQ(CountOptionLines(fixture.bytes, result, counts), std::vector<int>{})
            << "option lines neither read by the model nor found";
    }
}

TEST(Lint, EveryFindingClassHasItsTestPpdAndTheCleanOneHasNone) {
    ppdtest::PlatformGuard guard;
    std::set<std::string> covered;
    bool sawClean = false;
    for (const Fixture& fixture : LoadFixtures()) {
        for (const Expected& e : fixture.expected) covered.insert(e.kind);
        if (fixture.name != "clean.ppd") continue;
        sawClean = true;
        EXPECT_TRUE(fixture.expected.empty());
        LintResult result = LintPpd(fixture.bytes);
        for (const LintFinding& f : result.findings) ADD_FAILURE() << Describe(f);
    }
    EXPECT_TRUE(sawClean);
    std::set<std::string> names;
    for (int k = 0; k < kLintClassCount; ++k) names.insert(LintClassName(static_cast<LintClass>(k)));
    EXPECT_EQ(names.size(), static_cast<size_t>(kLintClassCount));
    EXPECT_EQ(covered, names);
    for (int k = 0; k < kLintClassCount; ++k) {
        const char* name = LintClassName(static_cast<LintClass>(k));
        EXPECT_TRUE(std::filesystem::exists(std::string(CORVINA_LINT_PPDS) + "/" + name + ".ppd")) << name;
    }
}

// The constrained flag of every option under one installed configuration.
using Flags = std::vector<uint8_t>;

// Flags under every configuration of the installable features (every
// combination of their options, at most 1024).
std::vector<Flags> FlagsUnderEveryConfiguration(const std::string& bytes) {
    std::unique_ptr<PpdDocument> doc(ppdtest::Parse(bytes));
    std::vector<const PpdFeature*> installables;
    for (int32_t i = 0; i < doc->featureCount; ++i) {
        const PpdFeature* f = doc->GetFeature(i);
        for (int32_t k = 0; k < doc->installableCount; ++k)
            if (doc->installables[k]->keyword.SameAs(f->keyword) && f->optionCount > 0) installables.push_back(f);
    }
    std::vector<Flags> all;
    std::vector<int32_t> choice(installables.size(), 0);
    for (int round = 0; round < 1024; ++round) {
        for (size_t k = 0; k < installables.size(); ++k)
            doc->SetInstallableOption(installables[k]->keyword.text, installables[k]->options[choice[k]]->keyword.text,
                                      false);
        doc->EvaluateConstraints();
        all.push_back(ppdtest::ConstrainedFlags(*doc));
        size_t k = 0;
        for (; k < choice.size(); ++k) {
            if (++choice[k] < installables[k]->optionCount) break;
            choice[k] = 0;
        }
        if (k == choice.size()) break;
    }
    return all;
}

std::string WithoutLine(const std::string& bytes, int line) {
    std::string out;
    int number = 1;
    for (char c : bytes) {
        if (number != line || c == '\n') out.push_back(c);
        if (c == '\n') ++number;
    }
    return out;
}

// What the findings about constraint entries claim, checked by taking the
// entry out: an entry that never counts changes no flag; one that names an
// option nobody has never sets a flag (it can still clear one, by making its
// installable feature the one that decides).
TEST(Lint, EntriesSaidNotToCountChangeNoFlagWhenTakenOut) {
    ppdtest::PlatformGuard guard;
    std::vector<Fixture> files = LoadFixtures();
    files.push_back(LoadFixture(CORVINA_SAMPLES_DIR "/norvane-c5.ppd"));
    files.push_back(LoadFixture(CORVINA_SAMPLES_DIR "/lint-example.ppd"));
    int checked = 0;
    for (const Fixture& file : files) {
        SCOPED_TRACE(file.name);
        std::vector<Flags> before = FlagsUnderEveryConfiguration(file.bytes);
        for (const LintFinding& f : LintPpd(file.bytes).findings) {
            bool neverCounts = f.kind == LintClass::ConstraintDirection || f.kind == LintClass::ConstraintOrdinary ||
                               f.kind == LintClass::ConstraintInstallable ||
                               f.kind == LintClass::ConstraintOverridden;
            if (!neverCounts && f.kind != LintClass::ConstraintUndeclared) continue;
            SCOPED_TRACE(Describe(f));
            std::vector<Flags> after = FlagsUnderEveryConfiguration(WithoutLine(file.bytes, f.line));
            ASSERT_EQ(before.size(), after.size());
            ++checked;
            for (size_t c = 0; c < before.size(); ++c) {
                ASSERT_EQ(before[c].size(), after[c].size());
                for (size_t o = 0; o < before[c].size(); ++o) {
                    if (neverCounts)
                        EXPECT_EQ(before[c][o], after[c][o]) << "configuration " << c << ", option " << o;
                    else
                        EXPECT_LE(before[c][o], after[c][o]) << "configuration " << c << ", option " << o;
                }
            }
        }
    }
    EXPECT_GE(checked, 10);
}

int LineWith(const std::string& bytes, const std::string& text) {
    size_t at = bytes.find(text);
    return at == std::string::npos ? 0 : 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + at, '\n'));
}

// The overridden entries do count once the installable feature that decides
// is gone: the finding names a real rule, not a dead one.
TEST(Lint, OverriddenRulesCountWithoutTheLaterInstallable) {
    ppdtest::PlatformGuard guard;
    Fixture file = LoadFixture(CORVINA_LINT_PPDS "/constraint-overridden.ppd");
    int decider = LineWith(file.bytes, "*UIConstraints: *QZTrayUnit None *Resolution 1200dpi");
    ASSERT_GT(decider, 0);
    for (bool withDecider : {true, false}) {
        SCOPED_TRACE(withDecider);
        std::unique_ptr<PpdDocument> doc(ppdtest::Parse(withDecider ? file.bytes : WithoutLine(file.bytes, decider)));
        doc->SetInstallableOption(u"*QZTrayUnit", u"1Tray", false);
        doc->EvaluateConstraints();
        const PpdFeature* resolution = doc->GetFeature(2);
        ASSERT_TRUE(resolution->keyword.Equals(u"*Resolution"));
        ASSERT_TRUE(resolution->options[1]->keyword.Equals(u"1200dpi"));
        // 64MB, the default, rules 1200dpi out only while *QZTrayUnit has no say.
        EXPECT_EQ(resolution->options[1]->constrained, withDecider ? 0 : 1);
    }
}

TEST(Lint, LinesFollowCrLfAndLoneCrLineEnds) {
    ppdtest::PlatformGuard guard;
    Fixture file = LoadFixture(CORVINA_LINT_PPDS "/constraint-direction.ppd");
    std::vector<LintFinding> lf = LintPpd(file.bytes).findings;
    ASSERT_FALSE(lf.empty());
    for (const char* ending : {"\r\n", "\r"}) {
        SCOPED_TRACE(ending[1] ? "CR LF" : "CR");
        std::string converted;
        for (char c : file.bytes) converted += c == '\n' ? std::string(ending) : std::string(1, c);
        std::vector<LintFinding> other = LintPpd(converted).findings;
        ASSERT_EQ(other.size(), lf.size());
        for (size_t i = 0; i < lf.size(); ++i) {
            EXPECT_EQ(other[i].line, lf[i].line);
            EXPECT_EQ(other[i].kind, lf[i].kind);
        }
    }
}

TEST(Lint, NearlyEmptyFiles) {
    ppdtest::PlatformGuard guard;
    struct Row {
        const char* name;
        const char* text;
        std::vector<LintClass> besidesTheTable;
        size_t tableLines;  // one for a file without any of the vendor's features, else one per missing feature
    };
    const Row rows[] = {
        {"Empty", "", {}, 1},
        {"CommentsOnly", "*% nothing\n%also nothing\n", {}, 1},
        {"OpenUIAtTheEnd", "*OpenUI", {LintClass::ParseEnd}, 1},
        {"OpenUIWithoutType", "*OpenUI *QZToner/Toner Save:", {LintClass::ParseEnd}, kFeatureNameCount - 1},
        {"ShortEntryAtTheEnd", "*UIConstraints: *A a", {LintClass::ConstraintUndeclared}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LintResult result = LintPpd(row.text);
        ASSERT_TRUE(result.modelBuilt);
        EXPECT_EQ(result.unplaced, 0);
        std::vector<LintClass> others;
        size_t table = 0;
        for (const LintFinding& f : result.findings) {
            if (f.kind == LintClass::TableMissing)
                ++table;
            else
                others.push_back(f.kind);
        }
        EXPECT_EQ(table, row.tableLines);
        EXPECT_EQ(others, row.besidesTheTable);
    }
}

// Memory that runs out for the document, before the parse or within it:
// a model cut short is not the plug-in's reading of the file.
TEST(Lint, OutOfMemoryForTheModelIsNoResult) {
    ppdtest::PlatformGuard guard;
    const std::string ppd = inspector::ReadWhole(CORVINA_LINT_PPDS "/constraint-overridden.ppd");
    for (long k : {1L, 2L, 4L, 12L, 40L}) {
        SCOPED_TRACE(k);
        platform::portable::FailAllocation(k, true);
        LintResult result = LintPpd(ppd);
        platform::portable::FailAllocation(0);
        EXPECT_FALSE(result.modelBuilt);
        EXPECT_TRUE(result.findings.empty());
    }
}

// Every kind of finding shows in the sample made for the README.
TEST(Lint, TheExampleSampleCarriesOneFindingOfEachKind) {
    ppdtest::PlatformGuard guard;
    LintResult result = LintPpd(inspector::ReadWhole(CORVINA_SAMPLES_DIR "/lint-example.ppd"));
    EXPECT_EQ(result.unplaced, 0);
    std::map<std::string, int> counts;
    for (const LintFinding& f : result.findings) ++counts[LintClassName(f.kind)];
    for (int k = 0; k < kLintClassCount; ++k) {
        const char* name = LintClassName(static_cast<LintClass>(k));
        EXPECT_EQ(counts[name], 1) << name;
    }
}

}  // namespace
