#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "optree/OptionTree.h"
#include "platform/Platform.h"
#include "platform/portable/PortablePlatform.h"
#include "platform/portable/Utf8.h"
#include "ppd/PpdDocument.h"
#include "tests/optree/OptreeTestSupport.h"
#include "tests/support/FakeDriverHelper.h"
#include "tests/support/ItemArrays.h"
#include "tests/support/PpdSource.h"

namespace {

using hostitems::ColourItem;
using hostitems::ItemArray;
using hostitems::ItemSpec;
using ppdtest::TempPpd;
using support::FakeDriverHelper;
using optree_test::Wide;

const std::map<std::string, std::string> kDefaultConfiguration = {
    {"InstalledMemory", "128MB"}, {"QZTrayUnit", "None"},     {"QZDuplexOption", "False"},
    {"QZStackerOption", "False"}, {"QZCompactFlash", "False"},
};
const std::map<std::string, std::string> kSmallFullConfiguration = {
    {"InstalledMemory", "64MB"}, {"QZTrayUnit", "2Tray"},   {"QZDuplexOption", "True"},
    {"QZStackerOption", "True"}, {"QZCompactFlash", "True"},
};

// What the default configuration of the sample printer rules out, among the
// features the plug-in knows.
const std::set<std::string> kDefaultMarks = {
    "InputSlot:Cassette 2", "InputSlot:Cassette 3",     "InputSlot:Cassette 4", "Duplex:Long Edge Binding",
    "Duplex:Short Edge Binding", "OutputBin:Stacker", "QZOUTPUTID:Stored Job", "PageSize:A3 297\u00D7420 mm",
};
const std::set<std::string> kSmallFullMarks = {
    "Resolution:1200 dpi",
    "QZImageProtect:On",
    "InputSlot:Cassette 4",
};

class OptionTreeTest : public testing::Test {
public:
    void SetUp() override {
        helper.installed = kDefaultConfiguration;
        context.driverHelper.reset(&helper);
        param.cbSize = sizeof param;
        param.poemuiobj = &uiObject;
        param.hPrinter = &printer;
        param.hModule = optree_test::TestModule();
        param.hOEMHeap = platform::ProcessHeap();
        platform::portable::AddPrinter(param.hPrinter, Wide(optree_test::SamplePpdPath()));
        outline = hostitems::ReadPpdOutline(hostitems::ReadWholeFile(optree_test::SamplePpdPath().c_str()));
    }
    void TearDown() override {
        platform::portable::ResetStrings();
        platform::portable::RemoveAllPrinters();
        platform::portable::FailAllocation(0);
    }

    void FirstCall(DWORD mode) {
        param.pOEMOptItems = nullptr;
        param.pDrvOptItems = nullptr;
        param.cDrvOptItems = 0;
        param.cOEMOptItems = 7;
        EXPECT_EQ(CustomizeOptionTree(mode, &param, &context), S_OK);
        EXPECT_EQ(param.cOEMOptItems, 0u);
    }
    void SecondCall(DWORD mode, ItemArray& items) {
        param.pOEMOptItems = &pluginItem;
        param.pDrvOptItems = items.Items();
        param.cDrvOptItems = items.Count();
        EXPECT_EQ(CustomizeOptionTree(mode, &param, &context), S_OK);
    }

    std::vector<ItemSpec> DocumentSpecs(ColourItem colour = ColourItem::beforeFeatures, LONG colourSel = 1) {
        return hostitems::DocumentItemSpecs(outline, colour, colourSel);
    }

    // Both calls of the document sheet over the sample's items.
    std::set<std::string> OpenDocumentSheet(ItemArray& items) {
        FirstCall(OEMCUIP_DOCPROP);
        SecondCall(OEMCUIP_DOCPROP, items);
        return Marks(items);
    }

    static std::set<std::string> Marks(ItemArray& items) { return hostitems::WarningMarks(items); }

    static int IndexOfKeyword(const std::vector<ItemSpec>& specs, const std::string& keyword) {
        for (size_t i = 0; i < specs.size(); ++i)
            if (specs[i].hostKeyword == keyword) return static_cast<int>(i);
        return -1;
    }

    FakeDriverHelper helper;
    PluginContext context;
    OEMCUIPPARAM param = {};
    OEMUIOBJ uiObject = {};
    char printer = 0;
    OPTITEM pluginItem = {};
    std::vector<hostitems::OutlineFeature> outline;
};

const std::vector<std::string> kInstallableFeatures = {"InstalledMemory", "QZTrayUnit", "QZDuplexOption",
                                                       "QZStackerOption", "QZCompactFlash"};

// ---- First call of a sheet ---------------------------------------------------

TEST_F(OptionTreeTest, FirstDocumentCallBuildsTheModelAndAsksTheHostForEachInstallableOption) {
    FirstCall(OEMCUIP_DOCPROP);
    ASSERT_NE(context.ppdDocument.get(), nullptr);
    EXPECT_EQ(helper.QueriedFeatures(), kInstallableFeatures);
    for (const auto& query : helper.settingQueries) EXPECT_EQ(query.size, 256u);
}

TEST_F(OptionTreeTest, FirstPrinterCallBuildsTheModelButKeepsThePpdDefaults) {
    helper.installed = kSmallFullConfiguration;
    FirstCall(OEMCUIP_PRNPROP);
    ASSERT_NE(context.ppdDocument.get(), nullptr);
    EXPECT_TRUE(helper.settingQueries.empty());

    ItemArray items(DocumentSpecs());
    SecondCall(OEMCUIP_DOCPROP, items);
    EXPECT_EQ(Marks(items), kDefaultMarks);

    ItemArray reopened(DocumentSpecs());
    EXPECT_EQ(OpenDocumentSheet(reopened), kSmallFullMarks);
}

TEST_F(OptionTreeTest, EachOpeningOfTheDocumentSheetSeesTheCurrentConfiguration) {
    ItemArray first(DocumentSpecs());
    EXPECT_EQ(OpenDocumentSheet(first), kDefaultMarks);
    PpdDocument* model = context.ppdDocument.get();

    helper.installed = kSmallFullConfiguration;
    ItemArray second(DocumentSpecs());
    EXPECT_EQ(OpenDocumentSheet(second), kSmallFullMarks);
    EXPECT_EQ(context.ppdDocument.get(), model) << "built once per object";

    helper.installed = {{"InstalledMemory", "512MB"}, {"QZTrayUnit", "3Tray"}, {"QZDuplexOption", "True"},
                        {"QZStackerOption", "True"},  {"QZCompactFlash", "True"}};
    ItemArray third(DocumentSpecs());
    EXPECT_EQ(OpenDocumentSheet(third), std::set<std::string>());
}

TEST_F(OptionTreeTest, AnInstallableOptionTheHostCannotReportKeepsWhatItHad) {
    helper.installed = kSmallFullConfiguration;
    ItemArray first(DocumentSpecs());
    OpenDocumentSheet(first);

    helper.installed = kDefaultConfiguration;
    helper.installed.erase("InstalledMemory");
    ItemArray second(DocumentSpecs());
    const std::set<std::string> marks = OpenDocumentSheet(second);
    EXPECT_EQ(marks.count("Resolution:1200 dpi"), 1u) << "64MB kept";
    EXPECT_EQ(marks.count("OutputBin:Stacker"), 1u) << "stacker updated";

    helper.installed["InstalledMemory"] = "";
    ItemArray emptyAnswer(DocumentSpecs());
    EXPECT_EQ(OpenDocumentSheet(emptyAnswer), marks) << "an empty answer keeps 64MB too";

    helper.failWith = E_FAIL;
    context.driverHelper.release();
    helper.settingQueries.clear();
    ItemArray third(DocumentSpecs());
    EXPECT_EQ(OpenDocumentSheet(third), marks);
    EXPECT_TRUE(helper.settingQueries.empty()) << "no helper, no call";
}

TEST_F(OptionTreeTest, APpdWithoutInstallableOptionsAsksTheHostNothing) {
    TempPpd ppd("*PPD-Adobe: \"4.3\"\n*OpenUI *QZToner/Toner Save: Boolean\n*DefaultQZToner: False\n"
                "*QZToner False/Off: \"\"\n*QZToner True/On: \"\"\n*CloseUI: *QZToner\n");
    platform::portable::AddPrinter(param.hPrinter, Wide(ppd.path()));
    FirstCall(OEMCUIP_DOCPROP);
    ASSERT_NE(context.ppdDocument.get(), nullptr);
    EXPECT_EQ(context.ppdDocument->featureCount, 1);
    EXPECT_TRUE(helper.settingQueries.empty());
}

TEST_F(OptionTreeTest, WithoutAPpdFileTheModelStaysUnbuiltAndTheNextSheetTriesAgain) {
    struct Case {
        const char* name;
        std::function<void(OptionTreeTest&)> breakIt;
    };
    const Case cases[] = {
        {"printer unknown to the spooler", [](OptionTreeTest&) { platform::portable::RemoveAllPrinters(); }},
        {"data file missing",
         [](OptionTreeTest& t) { platform::portable::AddPrinter(t.param.hPrinter, u"/nonexistent/norvane.ppd"); }},
        {"no memory for the driver info", [](OptionTreeTest&) { platform::portable::FailAllocation(1); }},
        {"no memory for the model", [](OptionTreeTest&) { platform::portable::FailAllocation(2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.breakIt(*this);
        FirstCall(OEMCUIP_DOCPROP);
        EXPECT_EQ(context.ppdDocument.get(), nullptr);
        EXPECT_TRUE(helper.settingQueries.empty());

        platform::portable::FailAllocation(0);
        platform::portable::AddPrinter(param.hPrinter, Wide(optree_test::SamplePpdPath()));
        FirstCall(OEMCUIP_PRNPROP);
        EXPECT_NE(context.ppdDocument.get(), nullptr);
        context.ppdDocument.reset();
    }
}

TEST_F(OptionTreeTest, LocatePpdFileTakesPathsThatFitAndRefusesLongerOnes) {
    struct Case {
        const char* name;
        size_t length;
        bool found;
    };
    const Case cases[] = {{"259 units", 259, true}, {"260 units", 260, false}, {"600 units", 600, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string dataFile = u"/" + std::u16string(c.length - 1, u'p');
        platform::portable::AddPrinter(param.hPrinter, dataFile);
        char16_t path[kSettingTextCapacity + 8];
        std::fill(std::begin(path), std::end(path), u'#');
        EXPECT_EQ(LocatePpdFile(param.hOEMHeap, param.hPrinter, path), c.found);
        if (c.found) {
            EXPECT_EQ(std::u16string(path), dataFile);
        } else {
            EXPECT_EQ(path[0], u'#') << "nothing written";
        }
        EXPECT_EQ(path[kSettingTextCapacity], u'#');
    }

    SCOPED_TRACE("a driver that names no data file");
    platform::portable::AddPrinter(param.hPrinter, nullptr);
    char16_t path[kSettingTextCapacity];
    std::fill(std::begin(path), std::end(path), u'#');
    EXPECT_FALSE(LocatePpdFile(param.hOEMHeap, param.hPrinter, path));
    EXPECT_EQ(path[0], u'#') << "nothing written";
}

// ---- Reading the host's settings ----------------------------------------------

TEST_F(OptionTreeTest, ReadDriverSettingAsksWithoutTheStarAndConvertsTheAnswer) {
    helper.installed = {{"QZTrayUnit", "2Tray"}, {"Fach", "Unterf\xE4" "cher"}, {"", "nothing"}, {"QZTrayEmpty", ""}};
    struct Case {
        const char* name;
        const char16_t* keyword;
        HRESULT status;
        std::u16string value;
        std::string asked;
    };
    const Case cases[] = {
        {"plain keyword", u"*QZTrayUnit", S_OK, u"2Tray", "QZTrayUnit"},
        {"answer in the ANSI code page", u"*Fach", S_OK, u"Unterf\u00E4cher", "Fach"},
        {"unknown to the host: its status", u"*QZFinisher", E_INVALIDARG, u"", "QZFinisher"},
        {"empty keyword reads nothing beyond it", u"", S_OK, u"nothing", ""},
        {"an empty answer names no option", u"*QZTrayEmpty", E_FAIL, u"", "QZTrayEmpty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        helper.settingQueries.clear();
        char16_t value[kSettingTextCapacity] = {};
        EXPECT_EQ(ReadDriverSetting(&uiObject, &context, c.keyword, value), c.status);
        if (c.status == S_OK) {
            EXPECT_EQ(std::u16string(value), c.value);
        }
        ASSERT_EQ(helper.settingQueries.size(), 1u);
        EXPECT_EQ(helper.settingQueries[0].feature, c.asked);
        EXPECT_EQ(helper.settingQueries[0].size, 256u);
    }
}

TEST_F(OptionTreeTest, ReadDriverSettingFailsWithoutCallingWhenItCannotAsk) {
    char16_t value[kSettingTextCapacity] = {};
    const std::u16string fits = u"*" + std::u16string(259, u'K');
    const std::u16string tooLong = u"*" + std::u16string(260, u'K');
    helper.installed[std::string(259, 'K')] = "Yes";

    EXPECT_EQ(ReadDriverSetting(&uiObject, &context, fits.c_str(), value), S_OK);
    EXPECT_EQ(std::u16string(value), u"Yes");
    EXPECT_EQ(ReadDriverSetting(&uiObject, &context, tooLong.c_str(), value), E_FAIL);
    EXPECT_EQ(ReadDriverSetting(&uiObject, &context, nullptr, value), E_FAIL);
    context.driverHelper.release();
    EXPECT_EQ(ReadDriverSetting(&uiObject, &context, u"*QZTrayUnit", value), E_FAIL);
    EXPECT_EQ(helper.settingQueries.size(), 1u);
}

// ---- Lookups over the model ---------------------------------------------------------

TEST_F(OptionTreeTest, FeatureLookupsTakeTheFirstExactMatch) {
    TempPpd ppd("*OpenUI *QZToner/Toner: Boolean\n*CloseUI: *QZToner\n"
                "*OpenUI *QZDensity/Toner: PickOne\n*CloseUI: *QZDensity\n"
                "*OpenUI *QZToner/Second: Boolean\n*CloseUI: *QZToner\n");
    platform::portable::AddPrinter(param.hPrinter, Wide(ppd.path()));
    FirstCall(OEMCUIP_PRNPROP);
    const PpdDocument* model = context.ppdDocument.get();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(FindFeatureByKeyword(model, u"*QZToner"), 0);
    EXPECT_EQ(FindFeatureByKeyword(model, u"*QZDensity"), 1);
    EXPECT_EQ(FindFeatureByKeyword(model, u"QZToner"), -1);
    EXPECT_EQ(FindFeatureByKeyword(model, nullptr), -1);
    EXPECT_EQ(FindFeatureByTranslation(model, u"Toner"), 0);
    EXPECT_EQ(FindFeatureByTranslation(model, u"Second"), 2);
    EXPECT_EQ(FindFeatureByTranslation(model, u"toner"), -1);
    EXPECT_EQ(FindFeatureByTranslation(model, nullptr), -1);
    const char16_t* first = FeatureKeywordByTranslation(model, u"Toner");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::u16string(first), u"*QZToner");
    EXPECT_EQ(std::u16string(FeatureKeywordByTranslation(model, u"Second")), u"*QZToner");
    EXPECT_EQ(FeatureKeywordByTranslation(model, u"Toner Save"), nullptr);
    EXPECT_EQ(FindFeatureByKeyword(nullptr, u"*QZToner"), -1);
}

// ---- Second call of the document sheet ---------------------------------------------

TEST_F(OptionTreeTest, OverlaysGoExactlyOnOptionsTheConfigurationRulesOut) {
    ItemArray items(DocumentSpecs());
    EXPECT_EQ(OpenDocumentSheet(items), kDefaultMarks);
    EXPECT_EQ(param.pOEMUserData, &context);
    EXPECT_EQ(param.OEMCUIPCallback, &RenderingDependencyCallback);
    for (DWORD i = 0; i < items.Count(); ++i) {
        SCOPED_TRACE(hostitems::HostKeywordOf(items.Item(i)));
        EXPECT_EQ(items.Item(i).Flags, 0u) << "colour is on: no item disabled";
    }
}

TEST_F(OptionTreeTest, ItemsAreIdentifiedByStandardIdOrByTranslation) {
    struct Case {
        const char* name;
        std::function<void(std::vector<ItemSpec>&, OptionTreeTest&)> change;
        std::set<std::string> marks;
    };
    auto without = [](std::set<std::string> marks, std::initializer_list<const char*> gone) {
        for (const char* mark : gone) marks.erase(mark);
        return marks;
    };
    auto at = [](std::vector<ItemSpec>& specs, const char* keyword) -> ItemSpec& {
        return specs[IndexOfKeyword(specs, keyword)];
    };
    const Case cases[] = {
        {"as the driver builds them", [](std::vector<ItemSpec>&, OptionTreeTest&) {}, kDefaultMarks},
        {"standard item with a text name: found by id",
         [&](std::vector<ItemSpec>& s, OptionTreeTest&) {
             at(s, "InputSlot").nameId = 0;
             at(s, "InputSlot").name = u"Anything";
         },
         kDefaultMarks},
        {"standard feature as a plain item named by resource id",
         [&](std::vector<ItemSpec>& s, OptionTreeTest&) { at(s, "InputSlot").dmPubId = 0; },
         without(kDefaultMarks, {"InputSlot:Cassette 2", "InputSlot:Cassette 3", "InputSlot:Cassette 4"})},
        {"standard feature as a plain item named by its translation",
         [&](std::vector<ItemSpec>& s, OptionTreeTest&) {
             at(s, "InputSlot").dmPubId = 0;
             at(s, "InputSlot").nameId = 0;
             at(s, "InputSlot").name = u"Paper Source";
         },
         without(kDefaultMarks, {"InputSlot:Cassette 2", "InputSlot:Cassette 3", "InputSlot:Cassette 4"})},
        {"vendor item named by resource id",
         [&](std::vector<ItemSpec>& s, OptionTreeTest&) { at(s, "OutputBin").nameId = 0x3000; },
         without(kDefaultMarks, {"OutputBin:Stacker"})},
        {"vendor item whose name is no PPD translation",
         [&](std::vector<ItemSpec>& s, OptionTreeTest&) { at(s, "OutputBin").name = u"Output Tray"; },
         without(kDefaultMarks, {"OutputBin:Stacker"})},
        {"vendor item named after another known feature: that feature's options decide",
         [&](std::vector<ItemSpec>& s, OptionTreeTest&) { at(s, "OutputBin").name = u"Screen"; },
         without(kDefaultMarks, {"OutputBin:Stacker"})},
        {"display name missing from the catalogue",
         [](std::vector<ItemSpec>&, OptionTreeTest&) { platform::portable::RemoveString(10019); },
         without(kDefaultMarks, {"OutputBin:Stacker"})},
        {"standard display name missing from the catalogue",
         [](std::vector<ItemSpec>&, OptionTreeTest&) { platform::portable::RemoveString(10025); },
         without(kDefaultMarks, {"Duplex:Long Edge Binding", "Duplex:Short Edge Binding"})},
        {"no module handle", [](std::vector<ItemSpec>&, OptionTreeTest& t) { t.param.hModule = nullptr; }, {}},
        {"option texts as resource ids",
         [&](std::vector<ItemSpec>& s, OptionTreeTest&) {
             for (auto& option : at(s, "Duplex").options) option.resourceId = 0x3100;
         },
         without(kDefaultMarks, {"Duplex:Long Edge Binding", "Duplex:Short Edge Binding"})},
        {"item without options",
         [&](std::vector<ItemSpec>& s, OptionTreeTest&) { at(s, "Duplex").hasOptType = false; },
         without(kDefaultMarks, {"Duplex:Long Edge Binding", "Duplex:Short Edge Binding"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ItemSpec> specs = DocumentSpecs();
        c.change(specs, *this);
        ItemArray items(specs);
        EXPECT_EQ(OpenDocumentSheet(items), c.marks);
        platform::portable::ResetStrings();
        param.hModule = optree_test::TestModule();
    }
}

TEST_F(OptionTreeTest, AFeatureTheTableDoesNotKnowGetsNoMarks) {
    ItemArray items(DocumentSpecs());
    const int offsetStack = items.IndexOfKeyword("QZOffsetStack");
    ASSERT_GE(offsetStack, 0);
    OpenDocumentSheet(items);
    ASSERT_NE(context.ppdDocument.get(), nullptr);
    const PpdFeature* feature = context.ppdDocument->GetFeature(FindFeatureByKeyword(context.ppdDocument.get(), u"*QZOffsetStack"));
    ASSERT_NE(feature, nullptr);
    EXPECT_EQ(feature->options[1]->constrained, 1) << "the model does rule it out";
    for (size_t j = 0; j < items.OptionCount(offsetStack); ++j)
        EXPECT_EQ(items.Option(offsetStack, j).Flags, 0);
}

TEST_F(OptionTreeTest, OverlaysAreOnlyEverAdded) {
    std::vector<ItemSpec> specs = DocumentSpecs();
    ItemArray items(specs);
    const int slot = items.IndexOfKeyword("InputSlot");
    items.Option(slot, 1).Flags = OPTPF_OVERLAY_WARNING_ICON | OPTPF_HIDE;  // Cassette 1, not ruled out
    OpenDocumentSheet(items);
    EXPECT_EQ(items.Option(slot, 1).Flags, OPTPF_OVERLAY_WARNING_ICON | OPTPF_HIDE);
}

TEST_F(OptionTreeTest, OfTwoPpdOptionsWithOneTranslationTheFirstDecides) {
    const char* head =
        "*OpenGroup: InstallableOptions/Options Installed\n"
        "*OpenUI *InstalledMemory/Memory: PickOne\n*DefaultInstalledMemory: 64MB\n"
        "*InstalledMemory 64MB/64 MB: \"\"\n*CloseUI: *InstalledMemory\n"
        "*CloseGroup: InstallableOptions\n"
        "*UIConstraints: *InstalledMemory 64MB *QZToner Eco\n"
        "*OpenUI *QZToner/Toner Save: PickOne\n*DefaultQZToner: False\n";
    struct Case {
        const char* name;
        const char* options;
        bool marked;
    };
    const Case cases[] = {
        {"allowed option first", "*QZToner False/Off: \"\"\n*QZToner Eco/Off: \"\"\n", false},
        {"ruled-out option first", "*QZToner Eco/Off: \"\"\n*QZToner False/Off: \"\"\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempPpd ppd(std::string(head) + c.options + "*QZToner True/On: \"\"\n*CloseUI: *QZToner\n");
        platform::portable::AddPrinter(param.hPrinter, Wide(ppd.path()));
        helper.installed = {{"InstalledMemory", "64MB"}};
        ItemSpec toner;
        toner.name = u"Toner Save";
        toner.hostKeyword = "QZToner";
        toner.options = {{u"Off", 0}, {u"On", 0}};
        ItemArray items({toner});
        OpenDocumentSheet(items);
        EXPECT_EQ((items.Option(0, 0).Flags & OPTPF_OVERLAY_WARNING_ICON) != 0, c.marked);
        EXPECT_EQ(items.Option(0, 1).Flags, 0);
        context.ppdDocument.reset();
    }
}

TEST_F(OptionTreeTest, TheRenderingItemIsDisabledOnlyAfterAMonochromeColourItem) {
    struct Case {
        const char* name;
        ColourItem colour;
        LONG colourSel;
        DWORD presetFlags;
        bool disabled;
    };
    const Case cases[] = {
        {"monochrome before it", ColourItem::beforeFeatures, 0, 0, true},
        {"colour before it", ColourItem::beforeFeatures, 1, 0, false},
        {"monochrome after it", ColourItem::afterFeatures, 0, 0, false},
        {"no colour item", ColourItem::none, 0, 0, false},
        {"already disabled, colour before it: stays", ColourItem::beforeFeatures, 1, OPTIF_DISABLED, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ItemSpec> specs = DocumentSpecs(c.colour, c.colourSel);
        specs[IndexOfKeyword(specs, "QZRendering")].flags = c.presetFlags;
        ItemArray items(specs);
        OpenDocumentSheet(items);
        const OPTITEM& rendering = items.Item(items.IndexOfKeyword("QZRendering"));
        EXPECT_EQ((rendering.Flags & OPTIF_DISABLED) != 0, c.disabled);
        for (DWORD i = 0; i < items.Count(); ++i)
            if (&items.Item(i) != &rendering) {
                EXPECT_EQ(items.Item(i).Flags & OPTIF_DISABLED, 0u);
            }
    }
}

TEST_F(OptionTreeTest, TheRenderingItemIsKnownByItsExactHostKeyword) {
    struct Case {
        const char* name;
        const char* keyword;
        bool record;
        bool disabled;
    };
    const Case cases[] = {
        {"exact", "QZRendering", true, true},
        {"one character short", "QZRenderin", true, false},
        {"one character more", "QZRenderings", true, false},
        {"other case", "qzrendering", true, false},
        {"with the star", "*QZRendering", true, false},
        {"record without a keyword", "", true, false},
        {"no UserData", "", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ItemSpec> specs = DocumentSpecs(ColourItem::beforeFeatures, 0);
        ItemSpec& rendering = specs[IndexOfKeyword(specs, "QZRendering")];
        rendering.hostKeyword = c.keyword;
        rendering.keywordRecord = c.record;
        rendering.name = u"Color Mode";
        ItemArray items(specs);
        OpenDocumentSheet(items);
        bool anyDisabled = false;
        for (DWORD i = 0; i < items.Count(); ++i) anyDisabled |= (items.Item(i).Flags & OPTIF_DISABLED) != 0;
        EXPECT_EQ(anyDisabled, c.disabled);
    }
}

TEST_F(OptionTreeTest, TheRenderingItemMustAlsoBeAKnownFeature) {
    struct Case {
        const char* name;
        std::function<void(std::vector<ItemSpec>&)> change;
    };
    const Case cases[] = {
        {"named other than its PPD translation",
         [](std::vector<ItemSpec>& s) { s[IndexOfKeyword(s, "QZRendering")].name = u"Colour Mode"; }},
        {"named by resource id", [](std::vector<ItemSpec>& s) { s[IndexOfKeyword(s, "QZRendering")].nameId = 0x3000; }},
        {"display name missing", [](std::vector<ItemSpec>&) { platform::portable::RemoveString(10013); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ItemSpec> specs = DocumentSpecs(ColourItem::beforeFeatures, 0);
        c.change(specs);
        ItemArray items(specs);
        OpenDocumentSheet(items);
        EXPECT_EQ(items.Item(items.IndexOfKeyword("QZRendering")).Flags & OPTIF_DISABLED, 0u);
        platform::portable::ResetStrings();
    }
}

TEST_F(OptionTreeTest, ASecondDocumentCallInstallsTheCallbackEvenWithoutItemsOrModel) {
    FirstCall(OEMCUIP_DOCPROP);
    param.pOEMOptItems = &pluginItem;
    param.pDrvOptItems = nullptr;
    param.cDrvOptItems = 0;
    EXPECT_EQ(CustomizeOptionTree(OEMCUIP_DOCPROP, &param, &context), S_OK);
    EXPECT_EQ(param.pOEMUserData, &context);
    EXPECT_EQ(param.OEMCUIPCallback, &RenderingDependencyCallback);

    context.ppdDocument.reset();
    param.pOEMUserData = nullptr;
    param.OEMCUIPCallback = nullptr;
    ItemArray items(DocumentSpecs(ColourItem::beforeFeatures, 0));
    SecondCall(OEMCUIP_DOCPROP, items);
    EXPECT_EQ(param.pOEMUserData, &context);
    EXPECT_EQ(param.OEMCUIPCallback, &RenderingDependencyCallback);
    EXPECT_EQ(Marks(items), std::set<std::string>()) << "no model, nothing marked";
    for (DWORD i = 0; i < items.Count(); ++i) EXPECT_EQ(items.Item(i).Flags, 0u);
}

TEST_F(OptionTreeTest, SecondCallsOfOtherModesChangeNothing) {
    std::vector<ItemSpec> specs = DocumentSpecs(ColourItem::beforeFeatures, 0);
    ItemSpec branch;
    branch.nameId = 64798;
    specs.insert(specs.begin() + 1, branch);
    ItemArray items(specs);
    FirstCall(OEMCUIP_DOCPROP);
    SecondCall(3, items);
    EXPECT_EQ(param.pOEMUserData, nullptr);
    EXPECT_EQ(param.OEMCUIPCallback, nullptr);
    EXPECT_EQ(Marks(items), std::set<std::string>());
    for (DWORD i = 0; i < items.Count(); ++i) EXPECT_EQ(items.Item(i).Flags, 0u);
}

TEST_F(OptionTreeTest, ANullParameterBlockOrContextIsAnsweredWithSuccess) {
    EXPECT_EQ(CustomizeOptionTree(OEMCUIP_DOCPROP, nullptr, &context), S_OK);
    EXPECT_EQ(context.ppdDocument.get(), nullptr);

    // Without a context nothing is built, installed or marked.
    param.cOEMOptItems = 7;
    EXPECT_EQ(CustomizeOptionTree(OEMCUIP_DOCPROP, &param, nullptr), S_OK);
    EXPECT_EQ(param.cOEMOptItems, 7u);
    ItemArray items(DocumentSpecs());
    param.pOEMOptItems = &pluginItem;
    param.pDrvOptItems = items.Items();
    param.cDrvOptItems = items.Count();
    EXPECT_EQ(CustomizeOptionTree(OEMCUIP_DOCPROP, &param, nullptr), S_OK);
    EXPECT_EQ(param.pOEMUserData, nullptr);
    EXPECT_EQ(param.OEMCUIPCallback, nullptr);
    EXPECT_TRUE(Marks(items).empty());
}

// ---- Second call of the printer sheet ------------------------------------------------

struct PrinterRow {
    const char* name;
    std::vector<int> levels;
    std::vector<uintptr_t> ids;  // 0: a text name
    std::set<int> hiddenItems;
    std::set<int> hiddenOptions;
    std::set<int> initialItems;
};

void PrintTo(const PrinterRow& row, std::ostream* out) { *out << row.name; }

class PrinterSheetTest : public OptionTreeTest, public testing::WithParamInterface<PrinterRow> {};

TEST_P(PrinterSheetTest, HidesTheBranchUnderItem64798AndSelectsItem400) {
    const PrinterRow& row = GetParam();
    std::vector<ItemSpec> specs;
    for (size_t i = 0; i < row.levels.size(); ++i) {
        ItemSpec entry;
        entry.level = static_cast<BYTE>(row.levels[i]);
        entry.nameId = row.ids[i];
        entry.name = u"Item";
        entry.keywordRecord = false;
        entry.options = {{u"A", 0}, {u"B", 0}};
        specs.push_back(entry);
    }
    ItemArray items(specs);
    SecondCall(OEMCUIP_PRNPROP, items);
    for (DWORD i = 0; i < items.Count(); ++i) {
        SCOPED_TRACE(testing::Message() << "item " << i);
        const DWORD flags = items.Item(i).Flags;
        EXPECT_EQ((flags & OPTIF_HIDE) != 0, row.hiddenItems.count(i) == 1);
        EXPECT_EQ((flags & OPTIF_INITIAL_TVITEM) != 0, row.initialItems.count(i) == 1);
        EXPECT_EQ(flags & ~(OPTIF_HIDE | OPTIF_INITIAL_TVITEM), 0u);
        for (size_t j = 0; j < items.OptionCount(i); ++j)
            EXPECT_EQ(items.Option(i, j).Flags, row.hiddenOptions.count(i) ? OPTPF_HIDE : 0);
    }
    EXPECT_EQ(param.pOEMUserData, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PrinterSheetTest,
    testing::Values(
        PrinterRow{"SecondItemOfLevels123321", {1, 2, 3, 3, 2, 1}, {0, 64798, 0, 0, 0, 0}, {1, 2, 3}, {2, 3}, {}},
        PrinterRow{"LastItem", {1, 2, 1}, {400, 0, 64798}, {2}, {}, {0}},
        PrinterRow{"Level2ThenLevels1And3", {1, 2, 1, 3, 2, 1}, {400, 64798, 0, 0, 0, 0}, {1, 2, 3}, {2, 3}, {0}},
        PrinterRow{"AnotherRunStartsInsideARun", {1, 2, 3, 1, 3, 2}, {64798, 0, 64798, 0, 0, 0}, {0, 1, 2, 3}, {1, 2, 3}, {}},
        PrinterRow{"Item400InsideTheRun", {1, 2, 2, 1}, {64798, 400, 0, 400}, {0, 1, 2}, {1, 2}, {1, 3}},
        PrinterRow{"NeitherId", {1, 2, 3}, {0, 0, 0x3000}, {}, {}, {}}),
    [](const testing::TestParamInfo<PrinterRow>& info) { return std::string(info.param.name); });

TEST_F(OptionTreeTest, ThePrinterSheetOfTheSamplePrinter) {
    ItemArray items(hostitems::PrinterItemSpecs(outline));
    FirstCall(OEMCUIP_PRNPROP);
    SecondCall(OEMCUIP_PRNPROP, items);
    std::vector<int> hidden;
    for (DWORD i = 0; i < items.Count(); ++i)
        if (items.Item(i).Flags & OPTIF_HIDE) hidden.push_back(static_cast<int>(i));
    const int branch = static_cast<int>(items.Count()) - 3;
    EXPECT_EQ(hidden, (std::vector<int>{branch, branch + 1}));
    EXPECT_EQ(items.Item(0).Flags, OPTIF_INITIAL_TVITEM);
    EXPECT_EQ(Marks(items), std::set<std::string>()) << "no marks on the printer sheet";
}

}  // namespace
