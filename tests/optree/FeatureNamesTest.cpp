#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>

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

// Every table as "keyword=id" pairs in table order, written out here from the
// tables' description rather than read from them, so that a pair given the
// wrong id, or two pairs swapped, shows.
const std::pair<uint32_t, const char*> kOptionNames[] = {
    {1, "MSI=20005 LC1=20006 LC2=20007 LC3=20008 LC4=20009"},
    {2, "1200dpi=20010 600dpi=20011 300dpi=20012"},
    {3, "Unspecified=20013 Plain=20014 Plain_Back=20015 Transparency=20016 Thin=20144 Thick=20017 Thick_Narrow=20018 Thick_Back=20019 Thick_Narrow_Back=20020 Extra_Thick=20021 Extra_Thick_Back=20022 Coated=20023 Coated_Back=20024 Preprinted=20025 Preprinted_Back=20026 Semi_Thick=20027 Semi_Thick_Back=20028 Super_Thick=20029 Super_Thick_Back=20030 Labels=20031 Letterhead=20032 Letterhead_Back=20033 Recycled=20034 Recycled_Back=20037 Recycled2=20035 Recycled2_Back=20038 Recycled3=20036 Recycled3_Back=20039 Color=20040 Color_Back=20041 Postcard=20042 Postcard_Back=20043 Envelope=20044 Special=20045"},
    {4, "A3W=20050 A3F=20051 SRA3=20052 A3=20130 A4=20131 A5.Transverse=20132 A6=20133 Letter=20053 Legal=20054 Postcard=20055 B4=20056 B5.Transverse=20057 B6=20134 IB5=20135 Tabloid=20058 FanFoldGermanLegal=20059 GLT=20060 Statement=20061 Executive=20062 EnvMonarch=20063 Env10=20064 EnvDL=20065 EnvC5=20066 EnvC6=20067 EnvChou3Rotated=20068 EnvYou4=20069 EnvYou6=20070 EnvChou3=20071 EnvKaku2=20072 DoublePostcard=20073 4Postcard=20074 Chouzyaku=20075 Chouzyaku1=20076 Chouzyaku2=20077 Folio=20136"},
    {5, "None=20127 DuplexTumble=20128 DuplexNoTumble=20129"},
    {33, "None=20046 1Tray=20047 2Tray=20048 3Tray=20049 False=20004 True=20003"},
    {34, "False=20004 True=20003"},
    {35, "False=20004 True=20003"},
    {36, "False=20004 True=20003"},
    {64, "0=20078 1=20079 2=20080 3=20081 10=20082"},
    {65, "PBoff=20002 PBall=20001"},
    {66, "False=20002 True=20001"},
    {67, "False=20002 True=20001"},
    {68, "False=20002 True=20001"},
    {77, "False=20002 True=20001"},
    {80, "False=20002 True=20001"},
    {69, "None=20083 CMYK=20084"},
    {70, "0=20085 6=20086 7=20087 8=20088 9=20089 10=20090 11=20091"},
    {71, "1=20092 2=20093 3=20094 0=20095 On=20001 Off=20002"},
    {72, "0=20137 1=20096 5=20097 6=20098 7=20099 8=20100 9=20101"},
    {73, "0=20102 1=20103 3=20104 2=20105 7=20106"},
    {74, "None=20107 DeviceCMYK=20108 DeviceCMY=20109 Cyan=20110 Magenta=20111 Yellow=20112 Black=20113"},
    {75, "None=20114 FaceUp=20115 Stacker=20116"},
    {76, "DLightest=20117 DLight=20118 DMedium=20119 DDark=20120 DDarkest=20121"},
    {78, "Off=20122 Rotate90=20123 Rotate0=20124"},
    {79, "False=20125 True=20126"},
    {81, "0=20138 1=20139 2=20140 3=20141 4=20142 5=20143"},
};

TEST(OptionNameTables, EachFeatureHasItsPairsInOrder) {
    for (const auto& [featureId, pairs] : kOptionNames) {
        SCOPED_TRACE(featureId);
        const OptionNameEntry* option = FindOptionNames(featureId);
        ASSERT_NE(option, nullptr);
        std::string actual;
        for (; option->keyword[0]; ++option) {
            if (!actual.empty()) actual += ' ';
            for (const char16_t* k = option->keyword; *k; ++k) actual += static_cast<char>(*k);
            actual += '=' + std::to_string(option->stringId);
        }
        EXPECT_EQ(actual, pairs);
    }
    EXPECT_EQ(std::size(kOptionNames), static_cast<size_t>(kOptionNameIndexCount));
}

}  // namespace
