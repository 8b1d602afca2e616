// The option tree handler and the rendering callback through the real DLL:
// the PPD found through Wine's spooler, the installed configuration read from
// the driver's helper, and item arrays built as the driver builds them.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/wine/SamplePrinter.h"

namespace {

using hostitems::ColourItem;

using sample_printer::kDefaultConfiguration;
using sample_printer::kDefaultMarks;
using sample_printer::kEverythingConfiguration;
using sample_printer::kSmallFullConfiguration;
using sample_printer::kSmallFullMarks;

const std::vector<std::string> kInstallableFeatures = {"InstalledMemory", "QZTrayUnit", "QZDuplexOption",
                                                       "QZStackerOption", "QZCompactFlash"};

std::string Bytes(const std::string& path) { return hostitems::ReadWholeFile(path.c_str()); }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(static_cast<char>(c));
    return out;
}

class WineOptionTree : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(sample_printer::Handle(), nullptr) << sample_printer::Current()->error();
        ASSERT_TRUE(module.Load()) << "LoadLibraryW failed: " << ::GetLastError();
        outline = hostitems::ReadPpdOutline(Bytes(host::SamplePpdPath()));
        ASSERT_FALSE(outline.empty());
        ui = std::make_unique<host::DriverUi>(module, sample_printer::Handle(), outline);
        ASSERT_TRUE(ui->CreatePlugin());
        ui->helper.installed = kDefaultConfiguration;
    }
    void TearDown() override {
        if (ui) {
            EXPECT_EQ(ui->ReleasePlugin(), 0u);
            EXPECT_EQ(ui->helper.refs, 1) << "the object gives the helper back";
        }
        ui.reset();
    }

    host::PluginModule module;
    std::vector<hostitems::OutlineFeature> outline;
    std::unique_ptr<host::DriverUi> ui;
};

TEST_F(WineOptionTree, SpoolerAnswersTheSamplePpdCopiedIntoTheDriverDirectory) {
    const std::wstring dataFile = host::DriverDataFile(sample_printer::Handle());
    EXPECT_NE(dataFile.find(L"\\spool\\drivers\\"), std::wstring::npos) << Narrow(dataFile);
    EXPECT_EQ(Bytes(Narrow(dataFile)), Bytes(host::SamplePpdPath()));
}

// One object opened again and again, as the user reopens the document
// properties after the installed hardware changed.
TEST_F(WineOptionTree, WarningMarksFollowTheInstalledConfigurationAtEachOpening) {
    struct Row {
        const char* name;
        const host::Configuration* installed;
        std::set<std::string> marks;
    };
    const Row rows[] = {
        {"PPD defaults: no cassette unit, no duplex unit, no stacker, no CompactFlash",
         &kDefaultConfiguration,
         kDefaultMarks},
        {"64 MB with two cassette units and everything else installed",
         &kSmallFullConfiguration,
         kSmallFullMarks},
        {"everything installed", &kEverythingConfiguration, {}},
        {"back to the defaults",
         &kDefaultConfiguration,
         kDefaultMarks},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui->helper.installed = *row.installed;
        ui->helper.settingQueries.clear();
        host::Sheet& sheet = ui->OpenDocumentSheet();
        EXPECT_EQ(sheet.firstCall, S_OK);
        EXPECT_EQ(sheet.secondCall, S_OK);
        EXPECT_EQ(sheet.param.cOEMOptItems, 0u);
        EXPECT_EQ(ui->helper.QueriedFeatures(), kInstallableFeatures);
        EXPECT_EQ(hostitems::WarningMarks(sheet.items), row.marks);
    }
}

TEST_F(WineOptionTree, PrinterSheetKeepsThePpdDefaultsAndMarksNothing) {
    ui->helper.installed = kSmallFullConfiguration;
    host::Sheet& sheet = ui->OpenPrinterSheet();
    EXPECT_EQ(sheet.firstCall, S_OK);
    EXPECT_EQ(sheet.secondCall, S_OK);
    EXPECT_TRUE(ui->helper.settingQueries.empty());
    EXPECT_TRUE(hostitems::WarningMarks(sheet.items).empty());
    EXPECT_EQ(sheet.param.pOEMUserData, nullptr);
    EXPECT_EQ(sheet.param.OEMCUIPCallback, nullptr);
}

TEST_F(WineOptionTree, RenderingItemIsDisabledOnlyAfterAMonochromeColourItem) {
    struct Row {
        const char* name;
        ColourItem colour;
        LONG colourSel;
        bool disabled;
    };
    const Row rows[] = {
        {"monochrome before the rendering item", ColourItem::beforeFeatures, 0, true},
        {"colour before the rendering item", ColourItem::beforeFeatures, 1, false},
        {"monochrome after the rendering item", ColourItem::afterFeatures, 0, false},
        {"no colour item", ColourItem::none, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui->OpenDocumentSheet(row.colour, row.colourSel);
        const OPTITEM* rendering = ui->RenderingItem();
        ASSERT_NE(rendering, nullptr);
        EXPECT_EQ(rendering->Flags, row.disabled ? static_cast<DWORD>(OPTIF_DISABLED) : 0u);
        EXPECT_EQ(rendering->Sel, 0) << "the document pass leaves the selection to the callback";
    }
}

bool InsideModule(HMODULE module, const void* address) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto* at = static_cast<const BYTE*>(address);
    return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
}

TEST_F(WineOptionTree, DocumentPassInstallsTheCallbackAndTheObjectsContext) {
    host::Sheet& sheet = ui->OpenDocumentSheet();
    ASSERT_NE(sheet.param.OEMCUIPCallback, nullptr);
    EXPECT_TRUE(InsideModule(module.handle, reinterpret_cast<const void*>(sheet.param.OEMCUIPCallback)))
        << "the callback is corvina.dll's own code";
    EXPECT_NE(sheet.param.pOEMUserData, nullptr);
    EXPECT_FALSE(InsideModule(module.handle, sheet.param.pOEMUserData)) << "context lives in the object, not a global";

    host::DriverUi other(module, sample_printer::Handle(), outline);
    ASSERT_TRUE(other.CreatePlugin());
    other.helper.installed = kDefaultConfiguration;
    host::Sheet& otherSheet = other.OpenDocumentSheet();
    EXPECT_NE(otherSheet.param.pOEMUserData, sheet.param.pOEMUserData) << "one context per object";
    EXPECT_EQ(otherSheet.param.OEMCUIPCallback, sheet.param.OEMCUIPCallback);
    EXPECT_EQ(other.ReleasePlugin(), 0u);
}

TEST_F(WineOptionTree, InstalledCallbackKeepsTheRenderingItemInStepAndTellsTheDriverOnce) {
    ui->OpenDocumentSheet(ColourItem::beforeFeatures, 1);
    OPTITEM* rendering = ui->RenderingItem();
    ASSERT_NE(rendering, nullptr);
    ASSERT_EQ(rendering->Flags, 0u);

    struct Row {
        const char* name;
        LONG colourSel;
        DWORD flags;
    };
    const Row rows[] = {
        {"monochrome", 0, OPTIF_DISABLED},
        {"colour", 1, 0},
        {"monochrome again", 0, OPTIF_DISABLED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui->helper.updates.clear();
        rendering->Sel = 7;
        EXPECT_EQ(ui->SelectColour(row.colourSel), CPSUICB_ACTION_OPTIF_CHANGED);
        EXPECT_EQ(rendering->Flags, row.flags);
        EXPECT_EQ(rendering->Sel, row.colourSel);
        ASSERT_EQ(ui->helper.updates.size(), 1u);
        const auto& update = ui->helper.updates[0];
        EXPECT_EQ(update.pci, &ui->uiObject);
        EXPECT_EQ(update.item, rendering);
        EXPECT_EQ(update.previousSelection, 0u);
        EXPECT_EQ(update.mode, OEMCUIP_DOCPROP);
    }
}

TEST_F(WineOptionTree, CallbackAnswersOtherReasonsWithoutTouchingAnything) {
    host::Sheet& sheet = ui->OpenDocumentSheet(ColourItem::beforeFeatures, 1);
    OPTITEM* rendering = ui->RenderingItem();
    ASSERT_NE(rendering, nullptr);
    const int colourIndex = sheet.items.IndexOfDmPub(DMPUB_COLOR);
    struct Row {
        const char* name;
        WORD reason;
        OPTITEM* current;
        LONG action;
    };
    const Row rows[] = {
        {"apply now", CPSUICB_REASON_APPLYNOW, &sheet.items.Item(colourIndex), CPSUICB_ACTION_ITEMS_APPLIED},
        {"push button", CPSUICB_REASON_PUSHBUTTON, &sheet.items.Item(colourIndex), CPSUICB_ACTION_OPTIF_CHANGED},
        {"selection of the rendering item itself", CPSUICB_REASON_SEL_CHANGED, rendering,
         CPSUICB_ACTION_OPTIF_CHANGED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.current->Sel = 0;
        CPSUICBPARAM change = {};
        change.cbSize = sizeof change;
        change.Reason = row.reason;
        change.pCurItem = row.current;
        EXPECT_EQ(sheet.param.OEMCUIPCallback(&change, &sheet.param), row.action);
        EXPECT_EQ(rendering->Flags, 0u);
        EXPECT_TRUE(ui->helper.updates.empty());
        row.current->Sel = 1;
    }
}

TEST_F(WineOptionTree, PrinterSheetGetsItsInitialItemAndHidesTheBranch64798) {
    host::Sheet& sheet = ui->OpenPrinterSheet();
    ASSERT_EQ(sheet.secondCall, S_OK);
    hostitems::ItemArray& items = sheet.items;
    bool seenBranch = false, seenChild = false, seenAfter = false;
    for (DWORD i = 0; i < items.Count(); ++i) {
        const OPTITEM& item = items.Item(i);
        const uintptr_t id = reinterpret_cast<uintptr_t>(item.pName);
        SCOPED_TRACE("item " + std::to_string(i) + " id " + std::to_string(id));
        DWORD itemFlags = 0;
        BYTE optionFlags = 0;
        if (id == hostitems::kInitialPrinterItemId) {
            itemFlags = OPTIF_INITIAL_TVITEM;
        } else if (id == hostitems::kHiddenPrinterBranchId) {
            itemFlags = OPTIF_HIDE;
            seenBranch = true;
        } else if (seenBranch && !seenChild && item.Level > 1) {
            itemFlags = OPTIF_HIDE;
            optionFlags = OPTPF_HIDE;
            seenChild = true;
        } else if (seenChild) {
            seenAfter = true;
        }
        EXPECT_EQ(item.Flags, itemFlags);
        for (size_t j = 0; j < items.OptionCount(i); ++j) EXPECT_EQ(items.Option(i, j).Flags, optionFlags);
    }
    EXPECT_TRUE(seenBranch && seenChild && seenAfter) << "the tree holds the branch, its child and a later item";
}

}  // namespace
