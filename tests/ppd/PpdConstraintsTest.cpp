// Installable options and the pass that marks the options they rule out.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/PpdSource.h"

using namespace ppdtest;

namespace {

using DocumentPtr = std::unique_ptr<PpdDocument>;

const std::string kInstallables =
    "*OpenGroup: InstallableOptions/Options Installed\n"
    "*OpenUI *InstalledMemory/Memory: PickOne\n*DefaultInstalledMemory: 64MB\n"
    "*InstalledMemory 64MB: \"\"\n*InstalledMemory 128MB: \"\"\n*CloseUI: *InstalledMemory\n"
    "*OpenUI *Finisher: PickOne\n*DefaultFinisher: None\n"
    "*Finisher None: \"\"\n*Finisher Stapler: \"\"\n*CloseUI: *Finisher\n"
    "*CloseGroup: InstallableOptions\n";

const std::string kResolution =
    "*OpenUI *Resolution: PickOne\n*DefaultResolution: 600dpi\n"
    "*Resolution 300dpi: \"\"\n*Resolution 600dpi: \"\"\n*Resolution 1200dpi: \"\"\n"
    "*CloseUI: *Resolution\n";

DocumentPtr Build(const std::string& ppd) {
    DocumentPtr document(Parse(ppd));
    EXPECT_NE(document, nullptr);
    return document;
}

// The flags of one feature's options, as "010".
std::string Flags(const PpdDocument& doc, const char16_t* keyword) {
    for (int32_t i = 0; i < doc.featureCount; ++i) {
        const PpdFeature* f = doc.GetFeature(i);
        if (!f->keyword.Equals(keyword)) continue;
        std::string flags;
        for (int32_t o = 0; o < f->optionCount; ++o) flags += char('0' + f->options[o]->constrained);
        return flags;
    }
    return "<no feature>";
}

TEST(Constraints, InstallableFirstMarksTheOrdinaryOption) {
    DocumentPtr doc = Build(kInstallables + kResolution +
                            "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n");
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "001");
    doc->SetInstallableOption(u"*InstalledMemory", u"128MB", true);
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "000");
    doc->SetInstallableOption(u"*InstalledMemory", u"64MB", true);
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "001");
}

TEST(Constraints, OnlyTheInstallableToOrdinaryDirectionCounts) {
    struct Row {
        const char* name;
        std::string entries;
        std::string resolution;
        std::string finisher;
    };
    const Row rows[] = {
        {"Reverse", "*UIConstraints: *Resolution 1200dpi *InstalledMemory 64MB\n", "000", "00"},
        {"BothDirections",
         "*UIConstraints: *Resolution 1200dpi *InstalledMemory 64MB\n"
         "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n",
         "001", "00"},
        {"TwoOrdinary", "*UIConstraints: *Resolution 300dpi *Duplex None\n", "000", "00"},
        {"TwoInstallable", "*UIConstraints: *InstalledMemory 64MB *Finisher Stapler\n", "000", "00"},
        {"OptionKeywordCaseDiffers", "*UIConstraints: *InstalledMemory 64MB *Resolution 1200DPI\n", "000", "00"},
        {"FeatureWithoutStar", "*UIConstraints: InstalledMemory 64MB Resolution 1200dpi\n", "000", "00"},
        {"TwoOptionsRuledOut",
         "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n"
         "*UIConstraints: *InstalledMemory 64MB *Resolution 300dpi\n",
         "101", "00"},
        {"RuleForAnotherValue", "*UIConstraints: *Finisher Stapler *Resolution 300dpi\n", "000", "00"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DocumentPtr doc = Build(kInstallables + kResolution + row.entries);
        EXPECT_EQ(Flags(*doc, u"*Resolution"), row.resolution);
        EXPECT_EQ(Flags(*doc, u"*Finisher"), row.finisher);
        EXPECT_EQ(Flags(*doc, u"*InstalledMemory"), "00");
    }
}

TEST(Constraints, TheLastInstallablePairedWithTheFeatureDecides) {
    // Memory (first) rules 1200dpi out with its default; the finisher (later)
    // has a rule for Resolution too, but not for its current value.
    DocumentPtr doc = Build(kInstallables + kResolution +
                            "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n"
                            "*UIConstraints: *Finisher Stapler *Resolution 300dpi\n");
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "000");
    doc->SetInstallableOption(u"*Finisher", u"Stapler", true);
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "100");
    // A rule of the earlier one shows only when the later one has none for the feature.
    doc = Build(kInstallables + kResolution +
                "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n"
                "*UIConstraints: *Finisher Stapler *Duplex None\n");
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "001");
}

TEST(Constraints, TestConstraintResults) {
    DocumentPtr doc = Build(kInstallables + kResolution +
                            "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n"
                            "*UIConstraints: *Resolution 300dpi *Finisher Stapler\n");
    const PpdFeature& resolution = *doc->GetFeature(2);
    ASSERT_TRUE(resolution.keyword.Equals(u"*Resolution"));
    PpdString memory, finisher, small, large, stapler;
    memory.Assign(u"*InstalledMemory");
    finisher.Assign(u"*Finisher");
    small.Assign(u"64MB");
    large.Assign(u"128MB");
    stapler.Assign(u"Stapler");
    const PpdOption& dpi300 = *resolution.options[0];
    const PpdOption& dpi1200 = *resolution.options[2];
    EXPECT_EQ(doc->TestConstraint(memory, small, resolution, dpi1200), crConflict);
    EXPECT_EQ(doc->TestConstraint(memory, small, resolution, dpi300), crClear);
    EXPECT_EQ(doc->TestConstraint(memory, large, resolution, dpi1200), crClear);
    EXPECT_EQ(doc->TestConstraint(finisher, stapler, resolution, dpi300), crNoRule);
}

TEST(Constraints, ReevaluationOnlyWhenAsked) {
    DocumentPtr doc = Build(kInstallables + kResolution +
                            "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n");
    doc->SetInstallableOption(u"*InstalledMemory", u"128MB", false);
    EXPECT_EQ(Text(doc->installables[0]->currentOption), u"128MB");
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "001");
    doc->EvaluateConstraints();
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "000");
}

TEST(Constraints, SetInstallableOptionMatchesOnlyTheExactKeyword) {
    struct Row {
        const char* name;
        const char16_t* feature;
        const char16_t* option;
        std::u16string memory;  // current option of *InstalledMemory afterwards
        std::string flags;
    };
    const Row rows[] = {
        {"Exact", u"*InstalledMemory", u"128MB", u"128MB", "000"},
        {"CaseDiffers", u"*installedmemory", u"128MB", u"64MB", "001"},
        {"WithoutStar", u"InstalledMemory", u"128MB", u"64MB", "001"},
        {"OrdinaryFeature", u"*Resolution", u"128MB", u"64MB", "001"},
        {"NullFeature", nullptr, u"128MB", u"64MB", "001"},
        {"NullOption", u"*InstalledMemory", nullptr, u"64MB", "001"},
        {"UnknownOptionIsStored", u"*InstalledMemory", u"512MB", u"512MB", "000"},
        {"OptionGoesThroughTheCodePage", u"*InstalledMemory", u"\x80", u"\u20ac", "000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DocumentPtr doc = Build(kInstallables + kResolution +
                                "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n");
        doc->SetInstallableOption(row.feature, row.option, true);
        EXPECT_EQ(Text(doc->installables[0]->currentOption), row.memory);
        EXPECT_EQ(Text(doc->installables[1]->currentOption), u"None");
        EXPECT_EQ(Flags(*doc, u"*Resolution"), row.flags);
    }
}

TEST(Constraints, FlagsStayZeroWithoutRulesOrInstallables) {
    DocumentPtr doc = Build(kResolution + "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n");
    EXPECT_EQ(doc->installableCount, 0);
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "000");
    doc = Build(kInstallables + kResolution);
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "000");
    doc->SetInstallableOption(u"*InstalledMemory", u"128MB", true);
    EXPECT_EQ(Flags(*doc, u"*Resolution"), "000");
}

TEST(Constraints, InstallableFeaturesAreNeverMarked) {
    DocumentPtr doc = Build(kInstallables + kResolution +
                            "*UIConstraints: *InstalledMemory 64MB *Finisher Stapler\n"
                            "*UIConstraints: *Finisher None *InstalledMemory 128MB\n");
    EXPECT_EQ(Flags(*doc, u"*Finisher"), "00");
    EXPECT_EQ(Flags(*doc, u"*InstalledMemory"), "00");
}

TEST(Constraints, MissingDefaultMatchesOnlyAnEmptyOption) {
    // The empty option1 comes from an entry cut short by the end of input.
    DocumentPtr doc = Build(
        "*OpenGroup: InstallableOptions\n*OpenUI *Tray: Boolean\n*CloseUI: *Tray\n*CloseGroup: InstallableOptions\n"
        "*OpenUI *Output: PickOne\n*Output Face: \"\"\n*Output Back: \"\"\n*CloseUI: *Output\n"
        "*UIConstraints: *Tray True *Output Back\n");
    EXPECT_EQ(Text(doc->installables[0]->currentOption), u"");
    EXPECT_EQ(Flags(*doc, u"*Output"), "00");
    doc->SetInstallableOption(u"*Tray", u"True", true);
    EXPECT_EQ(Flags(*doc, u"*Output"), "01");
}

}  // namespace
