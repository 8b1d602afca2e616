#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "optree/FeatureNames.h"
#include "platform/portable/PortablePlatform.h"
#include "tests/optree/OptreeTestSupport.h"

namespace {

using optree_test::TestModule;

class FeatureNamesTest : public testing::Test {
protected:
    void TearDown() override { platform::portable::ResetStrings(); }

    // Prefilled so that a test sees exactly what was written.
    static FeatureDisplayName Untouched() {
        FeatureDisplayName name;
        std::memset(&name, 0xA5, sizeof name);
        return name;
    }
    static bool IsUntouched(const FeatureDisplayName& name) {
        const FeatureDisplayName fresh = Untouched();
        return std::memcmp(&name, &fresh, sizeof name) == 0;
    }
};

struct KnownFeature {
    const char* name;
    const char16_t* keyword;  // null: found by dmPubId
    uint32_t dmPubId;
    uint32_t featureId;
    const char16_t* text;
};

// Every known feature, found the way the option tree looks for it.
const KnownFeature kKnownFeatures[] = {
    {"InputSlot", nullptr, 4, 1, u"Input Slot"},
    {"Resolution", nullptr, 5, 2, u"Resolution"},
    {"MediaType", nullptr, 12, 3, u"Media Type"},
    {"PageSize", nullptr, 9, 4, u"Page Size"},
    {"Duplex", nullptr, 7, 5, u"Duplex"},
    {"InstalledMemory", u"*InstalledMemory", 0, 32, u"Installed Memory"},
    {"QZTrayUnit", u"*QZTrayUnit", 0, 33, u"Lower Cassette Unit"},
    {"QZDuplexOption", u"*QZDuplexOption", 0, 34, u"Duplex Unit"},
    {"QZStackerOption", u"*QZStackerOption", 0, 35, u"Stacker Unit"},
    {"QZCompactFlash", u"*QZCompactFlash", 0, 36, u"CompactFlash"},
    {"QZScreens", u"*QZScreens", 0, 64, u"Screen"},
    {"QZPureBlack", u"*QZPureBlack", 0, 65, u"Pure Black Mode"},
    {"QZLumaedge", u"*QZLumaedge", 0, 66, u"Lumaedge"},
    {"QZToner", u"*QZToner", 0, 67, u"Toner Save Mode"},
    {"QZImageProtect", u"*QZImageProtect", 0, 68, u"Image Protect"},
    {"QZRendering", u"*QZRendering", 0, 69, u"Color Mode"},
    {"QZPressSimulation", u"*QZPressSimulation", 0, 70, u"Press Simulation"},
    {"QZCMYKMethod", u"*QZCMYKMethod", 0, 71, u"Simulation Method"},
    {"QZRGBSource", u"*QZRGBSource", 0, 72, u"RGB Source"},
    {"QZRGBIntent", u"*QZRGBIntent", 0, 73, u"Rendering Intent"},
    {"QZSeparations", u"*QZSeparations", 0, 74, u"Separations"},
    {"OutputBin", u"*OutputBin", 0, 75, u"Output Bin"},
    {"QZDensity", u"*QZDensity", 0, 76, u"Density"},
    {"QZRotate180Degrees", u"*QZRotate180Degrees", 0, 77, u"Rotate By 180\u00B0"},
    {"QZRotate90Degrees", u"*QZRotate90Degrees", 0, 78, u"Output Direction"},
    {"QZStartSide", u"*QZStartSide", 0, 79, u"Start Page"},
    {"QZAutoMonoMode", u"*QZAutoMonoMode", 0, 80, u"Auto Mono Mode"},
    {"QZOUTPUTID", u"*QZOUTPUTID", 0, 81, u"Output"},
};

TEST_F(FeatureNamesTest, EveryKnownFeatureLoadsItsNumberAndDisplayName) {
    for (const KnownFeature& row : kKnownFeatures) {
        SCOPED_TRACE(row.name);
        FeatureDisplayName out = Untouched();
        EXPECT_EQ(LoadFeatureName(TestModule(), &out, row.keyword, row.dmPubId), S_OK);
        EXPECT_EQ(out.featureId, row.featureId);
        EXPECT_EQ(std::u16string(out.text), std::u16string(row.text));
        if (row.keyword) {
            EXPECT_EQ(std::u16string(FeatureKeywordById(row.featureId)), std::u16string(row.keyword));
        }
    }
}

struct Refusal {
    const char* name;
    const char16_t* keyword;
    uint32_t dmPubId;
};

TEST_F(FeatureNamesTest, LookupsThatMatchNoRowFailAndLeaveTheResultAlone) {
    const Refusal rows[] = {
        {"colour setting id", nullptr, 6},
        {"id 1", nullptr, 1},
        {"id not in the table", nullptr, 200},
        {"standard feature by keyword", u"*InputSlot", 0},
        {"keyword without its star", u"QZRendering", 0},
        {"keyword in another case", u"*qzrendering", 0},
        {"empty keyword", u"", 0},
    };
    for (const Refusal& row : rows) {
        SCOPED_TRACE(row.name);
        FeatureDisplayName out = Untouched();
        EXPECT_EQ(LoadFeatureName(TestModule(), &out, row.keyword, row.dmPubId), E_FAIL);
        EXPECT_TRUE(IsUntouched(out));
    }
}

TEST_F(FeatureNamesTest, MissingArgumentsAreRefusedBeforeAnyLookup) {
    FeatureDisplayName out = Untouched();
    EXPECT_EQ(LoadFeatureName(nullptr, &out, u"*QZRendering", 0), E_INVALIDARG);
    EXPECT_EQ(LoadFeatureName(TestModule(), nullptr, u"*QZRendering", 0), E_INVALIDARG);
    EXPECT_EQ(LoadFeatureName(TestModule(), &out, nullptr, 0), E_INVALIDARG);
    EXPECT_TRUE(IsUntouched(out));
}

TEST_F(FeatureNamesTest, AGivenIdWinsOverAGivenKeyword) {
    FeatureDisplayName out = Untouched();
    EXPECT_EQ(LoadFeatureName(TestModule(), &out, u"*QZRendering", DMPUB_FORMNAME), S_OK);
    EXPECT_EQ(out.featureId, 4u);
    EXPECT_EQ(LoadFeatureName(TestModule(), &out, u"*QZRendering", DMPUB_COLOR), E_FAIL);
    EXPECT_EQ(out.featureId, 4u);
}

TEST_F(FeatureNamesTest, AMissingCatalogueStringFailsAfterTheNumberIsSet) {
    platform::portable::RemoveString(10013);
    FeatureDisplayName out = Untouched();
    EXPECT_EQ(LoadFeatureName(TestModule(), &out, u"*QZRendering", 0), E_FAIL);
    EXPECT_EQ(out.featureId, 69u);
}

TEST_F(FeatureNamesTest, AnEmptyCatalogueStringCountsAsMissing) {
    platform::portable::OverrideString(10019, u"");
    FeatureDisplayName out = Untouched();
    EXPECT_EQ(LoadFeatureName(TestModule(), &out, u"*OutputBin", 0), E_FAIL);
    EXPECT_EQ(out.featureId, 75u);
}

TEST_F(FeatureNamesTest, ALongDisplayNameIsCutTo255Units) {
    const std::u16string longName(300, u'n');
    platform::portable::OverrideString(10002, longName);
    FeatureDisplayName out = Untouched();
    EXPECT_EQ(LoadFeatureName(TestModule(), &out, nullptr, DMPUB_PRINTQUALITY), S_OK);
    EXPECT_EQ(std::u16string(out.text), longName.substr(0, 255));
}

TEST_F(FeatureNamesTest, KeywordByIdFindsOnlyTableNumbers) {
    EXPECT_EQ(FeatureKeywordById(0), nullptr);
    EXPECT_EQ(FeatureKeywordById(6), nullptr);
    EXPECT_EQ(FeatureKeywordById(82), nullptr);
    EXPECT_EQ(std::u16string(FeatureKeywordById(4)), u"*PageSize");
    EXPECT_EQ(std::u16string(FeatureKeywordById(1)), u"*InputSlot");
    EXPECT_EQ(std::u16string(FeatureKeywordById(69)), u"*QZRendering");
}

TEST(FeatureNameTable, EndsWithAnEmptyTerminator) {
    const FeatureNameEntry& last = g_featureNameTable[kFeatureNameCount];
    EXPECT_EQ(last.featureId, 0u);
    EXPECT_EQ(last.dmPubId, 0u);
    ASSERT_NE(last.keyword, nullptr);
    EXPECT_EQ(last.keyword[0], u'\0');
    for (int i = 0; i < kFeatureNameCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NE(g_featureNameTable[i].featureId, 0u);
        EXPECT_EQ(g_featureNameTable[i].keyword[0], u'*');
    }
}

// ---- Option names ----------------------------------------------------------

TEST(OptionNameTables, CoverEveryOptionNameOfTheCatalogueExceptTheTwoManualFeedTexts) {
    std::set<uint32_t> ids;
    for (const OptionNameIndexEntry* entry = g_optionNameIndex; entry->options; ++entry)
        for (const OptionNameEntry* option = entry->options; option->keyword[0]; ++option) ids.insert(option->stringId);
    std::set<uint32_t> expected;
    for (uint32_t id = 20001; id <= 20144; ++id) expected.insert(id);
    EXPECT_EQ(ids, expected);
}

TEST(OptionNameTables, EveryFeatureButInstalledMemoryHasOneAndEachTableEnds) {
    std::set<uint32_t> indexed;
    int entries = 0;
    for (const OptionNameIndexEntry* entry = g_optionNameIndex; entry->options; ++entry, ++entries) {
        SCOPED_TRACE(entry->featureId);
        EXPECT_NE(FeatureKeywordById(entry->featureId), nullptr);
        EXPECT_TRUE(indexed.insert(entry->featureId).second) << "listed twice";
        int count = 0;
        const OptionNameEntry* option = entry->options;
        for (; option->keyword[0] && count < 64; ++option, ++count) EXPECT_NE(option->stringId, 0u);
        EXPECT_EQ(option->stringId, 0u) << "terminator";
    }
    EXPECT_EQ(entries, kOptionNameIndexCount);
    EXPECT_EQ(g_optionNameIndex[kOptionNameIndexCount].featureId, 0u);
    EXPECT_EQ(indexed.count(32), 0u);
    EXPECT_EQ(indexed.size(), 27u);
    EXPECT_EQ(FindOptionNames(32), nullptr);
    EXPECT_EQ(FindOptionNames(0), nullptr);
    EXPECT_EQ(FindOptionNames(34), FindOptionNames(36)) << "one shared table";
    EXPECT_EQ(FindOptionNames(66), FindOptionNames(80)) << "one shared table";
}

}  // namespace
