#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/Module.h"
#include "page/JobSettingsPage.h"
#include "page/PageBinding.h"
#include "page/portable/PortablePage.h"
#include "platform/portable/PortablePlatform.h"
#include "tests/support/PageModel.h"

namespace {

using support::Catalog;

const HANDLE kSheet = reinterpret_cast<HANDLE>(0x5E1);
const HANDLE kAddedPage = reinterpret_cast<HANDLE>(0x77);

// The service's view of each page it was asked to add, copied while the call lasts.
struct AddedPage {
    HANDLE sheet;
    UINT function;
    std::u16string title;
    const char16_t* titlePointer;
    PluginContext* context;
    LPARAM lParam2;
};
std::vector<AddedPage> g_added;
LONG_PTR g_serviceAnswer = 0;

LONG_PTR CALLBACK RecordingService(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM lParam2) {
    const auto* page = reinterpret_cast<const PortablePageDescriptor*>(lParam1);
    g_added.push_back({sheet, function, page->title, page->title, page->context, lParam2});
    return g_serviceAnswer;
}

class DocumentPropertySheets : public testing::Test {
protected:
    PluginContext context;
    JOBSETTINGS record = {};
    OEMCUIPPARAM param = {};
    PROPSHEETUI_INFO info = {};

    void SetUp() override {
        g_added.clear();
        g_serviceAnswer = reinterpret_cast<LONG_PTR>(kAddedPage);
        SetDefaultJobSettings(&record);
        param.hModule = support::kPluginModule;
        param.hOEMHeap = platform::ProcessHeap();
        param.pOEMDM = &record;
        context.commonUiParam = &param;
        info.cbSize = sizeof info;
        info.Version = PROPSHEETUI_INFO_VERSION;
        info.hComPropSheet = kSheet;
        info.pfnComPropSheet = RecordingService;
        info.Result = 0xDEADBEEF;
    }
    void TearDown() override { platform::portable::FailAllocation(0); }

    HRESULT Call(WORD reason, LPARAM param = 0) {
        info.Reason = reason;
        return JobSettingsPropertySheets(&info, param, &context);
    }
};

TEST_F(DocumentPropertySheets, RefusesAMissingOrForeignInfoRecord) {
    platform::SetLastErrorCode(0);
    EXPECT_EQ(JobSettingsPropertySheets(nullptr, 0, &context), E_FAIL);
    EXPECT_EQ(platform::LastErrorCode(), 87u);
    platform::SetLastErrorCode(0);
    info.Reason = PROPSHEETUI_REASON_INIT;
    EXPECT_EQ(JobSettingsPropertySheets(&info, 0, nullptr), E_FAIL) << "no context";
    EXPECT_EQ(platform::LastErrorCode(), 87u);
    EXPECT_EQ(info.Result, 0xDEADBEEFu);
    EXPECT_TRUE(g_added.empty());

    for (WORD version : {WORD{0}, WORD{0x0101}, WORD{0x0001}}) {
        SCOPED_TRACE(version);
        platform::SetLastErrorCode(0);
        info.Version = version;
        EXPECT_EQ(Call(PROPSHEETUI_REASON_INIT), E_FAIL);
        EXPECT_EQ(platform::LastErrorCode(), 87u);
        EXPECT_EQ(info.Result, 0xDEADBEEFu);
        EXPECT_TRUE(g_added.empty());
    }
}

TEST_F(DocumentPropertySheets, ReasonsOtherThanInitAnswerWithoutAddingAPage) {
    info.cbSize = 3;  // not checked
    PROPSHEETUI_INFO_HEADER header = {};
    EXPECT_EQ(Call(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)), S_OK);
    EXPECT_EQ(info.Result, 1u);
    ASSERT_NE(header.pTitle, nullptr);
    EXPECT_EQ(std::u16string(header.pTitle), u"OEM UI Page");

    SETRESULT_INFO result = {};
    result.cbSize = sizeof result;
    result.Result = 7;
    EXPECT_EQ(Call(PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)), S_OK);
    EXPECT_EQ(info.Result, 7u);

    const struct {
        const char* name;
        WORD reason;
        ULONG_PTR result;
    } rows[] = {{"Destroy", PROPSHEETUI_REASON_DESTROY, 1}, {"GetIcon", PROPSHEETUI_REASON_GET_ICON, 0},
                {"BeforeInit", 5, 0}, {"Unknown", 0x99, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        info.Result = 0xDEADBEEF;
        EXPECT_EQ(Call(row.reason), S_OK);
        EXPECT_EQ(info.Result, row.result);
    }
    EXPECT_TRUE(g_added.empty());
    EXPECT_EQ(context.propSheetCallback, nullptr);
}

TEST_F(DocumentPropertySheets, InitAddsThePageThroughTheService) {
    EXPECT_EQ(Call(PROPSHEETUI_REASON_INIT), S_OK);
    EXPECT_EQ(info.Result, 0u);
    ASSERT_EQ(g_added.size(), 1u);
    EXPECT_EQ(g_added[0].sheet, kSheet);
    EXPECT_EQ(g_added[0].function, CPSFUNC_ADD_PROPSHEETPAGEW);
    EXPECT_EQ(g_added[0].lParam2, 0);
    EXPECT_EQ(g_added[0].title, Catalog(15001));
    EXPECT_EQ(g_added[0].context, &context);
    EXPECT_EQ(context.propSheetHandle, kSheet);
    EXPECT_EQ(context.propSheetCallback, &RecordingService);
    EXPECT_EQ(context.pageHandle, kAddedPage);
}

TEST_F(DocumentPropertySheets, FailedAddIsStoredUnexaminedAndStillSucceeds) {
    context.pageHandle = reinterpret_cast<HANDLE>(0x1);
    g_serviceAnswer = 0;
    EXPECT_EQ(Call(PROPSHEETUI_REASON_INIT), S_OK);
    EXPECT_EQ(info.Result, 0u);
    EXPECT_EQ(context.pageHandle, nullptr);
}

TEST_F(DocumentPropertySheets, InitWithoutCommonUiPropStillAddsThePage) {
    context.commonUiParam = nullptr;
    g_moduleHandle = support::kPluginModule;  // as the process attach stores it
    EXPECT_EQ(Call(PROPSHEETUI_REASON_INIT), S_OK);
    g_moduleHandle = nullptr;
    ASSERT_EQ(g_added.size(), 1u);
    EXPECT_EQ(g_added[0].title, Catalog(15001));
    EXPECT_EQ(platform::portable::BlocksIn(platform::ProcessHeap()), 0) << "the title's block went back at once";
}

// A host may destroy its heap before it releases the object, and open the
// next sheet with a new one: the title the host holds is the plug-in's own
// copy, and nothing of it is ever freed into a host heap after the call.
TEST_F(DocumentPropertySheets, TitleOutlivesTheHostHeapItCameFrom) {
    const HANDLE first = platform::portable::CreateHeap();
    param.hOEMHeap = first;
    ASSERT_EQ(Call(PROPSHEETUI_REASON_INIT), S_OK);
    EXPECT_EQ(platform::portable::BlocksIn(first), 0);
    platform::portable::DestroyHeap(first);
    EXPECT_EQ(std::u16string(g_added.at(0).titlePointer), Catalog(15001));

    const HANDLE second = platform::portable::CreateHeap();
    param.hOEMHeap = second;
    ASSERT_EQ(Call(PROPSHEETUI_REASON_INIT), S_OK);
    EXPECT_EQ(platform::portable::BlocksIn(second), 0);
    platform::portable::DestroyHeap(second);
    context.pageTitle.reset();  // as the object's release does
    EXPECT_EQ(platform::portable::UsesOfDestroyedHeaps(), 0);
}

// The host holds the title pointer while its sheet is up: it stays valid
// until the next INIT on the same object, and is freed then or at release.
TEST_F(DocumentPropertySheets, TitleLivesUntilTheNextInit) {
    platform::portable::OverrideString(15001, u"First title");
    ASSERT_EQ(Call(PROPSHEETUI_REASON_INIT), S_OK);
    const char16_t* first = g_added.at(0).titlePointer;
    EXPECT_EQ(context.pageTitle.get(), first);

    PROPSHEETUI_INFO_HEADER header = {};
    Call(PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header));
    Call(PROPSHEETUI_REASON_DESTROY);
    EXPECT_EQ(std::u16string(first), Catalog(15001));

    platform::portable::OverrideString(15001, u"Second title");
    ASSERT_EQ(Call(PROPSHEETUI_REASON_INIT), S_OK);
    ASSERT_EQ(g_added.size(), 2u);
    EXPECT_EQ(std::u16string(g_added[1].titlePointer), Catalog(15001));

    context.pageTitle.reset();
    EXPECT_EQ(context.pageTitle.get(), nullptr);
    context.pageTitle.reset();  // a second release finds nothing to free
    platform::portable::ResetStrings();
}

TEST_F(DocumentPropertySheets, TitleWithoutMemoryIsEmptyNotNull) {
    platform::portable::FailAllocation(1, true);
    EXPECT_EQ(Call(PROPSHEETUI_REASON_INIT), S_OK);
    platform::portable::FailAllocation(0);
    ASSERT_EQ(g_added.size(), 1u);
    ASSERT_NE(g_added[0].titlePointer, nullptr);
    EXPECT_EQ(g_added[0].title, u"");
    EXPECT_EQ(context.pageTitle.get(), nullptr);
}

// ---- Activation context --------------------------------------------------------

int g_creations = 0;
HANDLE g_creationResult = nullptr;

HANDLE CountingCreate() {
    ++g_creations;
    return g_creationResult;
}

class ActivationContextCache : public testing::Test {
protected:
    void SetUp() override {
        g_activationContext.reset();
        g_creations = 0;
    }
    void TearDown() override { g_activationContext.reset(); }
};

TEST_F(ActivationContextCache, MadeOncePerProcess) {
    g_creationResult = reinterpret_cast<HANDLE>(0xAC7);
    EXPECT_EQ(PrepareActivationContext(CountingCreate), g_creationResult);
    EXPECT_EQ(PrepareActivationContext(CountingCreate), g_creationResult);
    EXPECT_EQ(g_creations, 1);
    EXPECT_EQ(g_activationContext.get(), g_creationResult);
    EXPECT_TRUE(UsableActivationContext(g_activationContext.get()));
}

TEST_F(ActivationContextCache, FailedCreationIsRepeatedAtTheNextPage) {
    g_creationResult = INVALID_HANDLE_VALUE;
    EXPECT_EQ(PrepareActivationContext(CountingCreate), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(UsableActivationContext(g_activationContext.get()));
    EXPECT_FALSE(UsableActivationContext(nullptr));
    g_creationResult = reinterpret_cast<HANDLE>(0xAC7);
    EXPECT_EQ(PrepareActivationContext(CountingCreate), g_creationResult);
    EXPECT_EQ(g_creations, 2);
}


// ---- The module's path for the activation context ---------------------------------

// GetModuleFileNameW over a path of a given length: copies what fits, and
// answers the capacity when the path was cut short.
struct FakeModulePath {
    size_t length;
    std::vector<DWORD>* capacities;
    bool fails = false;

    DWORD operator()(char16_t* buffer, DWORD capacity) const {
        capacities->push_back(capacity);
        if (fails) return 0;
        const size_t copied = std::min<size_t>(length, capacity);
        for (size_t i = 0; i < copied; ++i) buffer[i] = u'a' + i % 26;
        if (copied < capacity) {
            buffer[copied] = 0;
            return static_cast<DWORD>(copied);
        }
        return capacity;  // cut short, unterminated as older systems leave it
    }
};

TEST(ModulePath, CapacityDoublesUntilThePathFits) {
    std::vector<DWORD> all = {260, 520, 1040, 2080, 4160, 8320, 16640, 33280, 66560, 133120};
    const struct {
        const char* name;
        size_t length;
        size_t attempts;
        size_t readLength;
    } rows[] = {
        {"Short", 40, 1, 40},
        {"JustFits", 259, 1, 259},
        {"FillsTheFirstBuffer", 260, 2, 260},
        {"ThirdAttempt", 600, 3, 600},
        {"TenthAttempt", 133119, 10, 133119},
        {"StillCutAfterTen", 200000, 10, 133119},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<DWORD> capacities;
        const auto path = ReadModulePath(platform::ProcessHeap(), FakeModulePath{row.length, &capacities});
        ASSERT_NE(path.get(), nullptr);
        EXPECT_EQ(capacities, std::vector<DWORD>(all.begin(), all.begin() + row.attempts));
        EXPECT_EQ(std::char_traits<char16_t>::length(path.get()), row.readLength);
    }
}

TEST(ModulePath, FailuresGiveNoPath) {
    std::vector<DWORD> capacities;
    FakeModulePath failing{10, &capacities, true};
    EXPECT_EQ(ReadModulePath(platform::ProcessHeap(), failing).get(), nullptr);
    EXPECT_EQ(capacities, std::vector<DWORD>{260});

    capacities.clear();
    platform::portable::FailAllocation(1);
    EXPECT_EQ(ReadModulePath(platform::ProcessHeap(), FakeModulePath{10, &capacities}).get(), nullptr);
    EXPECT_TRUE(capacities.empty());

    capacities.clear();
    platform::portable::FailAllocation(2);
    EXPECT_EQ(ReadModulePath(platform::ProcessHeap(), FakeModulePath{1000, &capacities}).get(), nullptr);
    EXPECT_EQ(capacities, std::vector<DWORD>{260});
    platform::portable::FailAllocation(0);
}

TEST(ModulePath, ByteCountSaturates) {
    EXPECT_EQ(PathBufferBytes(260), 520u);
    EXPECT_EQ(PathBufferBytes(SIZE_MAX / 2), SIZE_MAX - 1);
    EXPECT_EQ(PathBufferBytes(SIZE_MAX / 2 + 1), SIZE_MAX);
}

}  // namespace
