#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/JobSettings.h"
#include "frame/UiPlugin.h"
#include "platform/ComObject.h"
#include "platform/Platform.h"
#include "platform/portable/PortablePlatform.h"
#include "tests/support/FakeDriverHelper.h"

namespace {

using support::FakeDriverHelper;

constexpr IID kOtherId = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
// An out pointer's value before the call, so that a write of null shows.
void* const kUnwritten = reinterpret_cast<void*>(uintptr_t{0xDEADBEEF});

IPrintOemUI2* NewPlugin() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(GetPluginClassObject(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    IPrintOemUI2* plugin = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, reinterpret_cast<void**>(&plugin)), S_OK);
    factory->Release();
    return plugin;
}

struct GetInfoCase {
    const char* name;
    DWORD mode;
    bool buffer;
    DWORD size;
    HRESULT result;
    DWORD lastError;  // 0: not set
    DWORD needed;
    DWORD value;  // written value, or the poison when nothing is written
};

class PluginGetInfo : public testing::TestWithParam<GetInfoCase> {};

TEST_P(PluginGetInfo, ChecksNeededThenBufferThenMode) {
    const GetInfoCase& c = GetParam();
    IPrintOemUI2* plugin = NewPlugin();
    DWORD value = 0xDEADBEEF;
    DWORD needed = 0xDEADBEEF;
    platform::SetLastErrorCode(0);
    EXPECT_EQ(plugin->GetInfo(c.mode, c.buffer ? &value : nullptr, c.size, &needed), c.result);
    EXPECT_EQ(platform::LastErrorCode(), c.lastError);
    EXPECT_EQ(needed, c.needed);
    EXPECT_EQ(value, c.value);
    plugin->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PluginGetInfo,
    testing::Values(
        GetInfoCase{"Signature", OEMGI_GETSIGNATURE, true, 4, S_OK, 0, 4, 0x515A5053},
        GetInfoCase{"Version", OEMGI_GETVERSION, true, 4, S_OK, 0, 4, 2},
        GetInfoCase{"LargerBuffer", OEMGI_GETVERSION, true, 64, S_OK, 0, 4, 2},
        GetInfoCase{"InterfaceVersionUnsupported", OEMGI_GETINTERFACEVERSION, true, 4, E_FAIL, 50, 0, 0xDEADBEEF},
        GetInfoCase{"UnknownMode", 99, true, 4, E_FAIL, 50, 0, 0xDEADBEEF},
        GetInfoCase{"ShortBufferBeforeMode", OEMGI_GETSIGNATURE, true, 3, E_FAIL, 122, 4, 0xDEADBEEF},
        GetInfoCase{"ShortBufferUnsupportedMode", OEMGI_GETINTERFACEVERSION, true, 3, E_FAIL, 122, 4, 0xDEADBEEF},
        GetInfoCase{"NullBuffer", OEMGI_GETSIGNATURE, false, 4, E_FAIL, 122, 4, 0xDEADBEEF}),
    [](const testing::TestParamInfo<GetInfoCase>& info) { return std::string(info.param.name); });

TEST(PluginGetInfoArgs, NullNeededFailsWithInvalidParameterAndWritesNothing) {
    IPrintOemUI2* plugin = NewPlugin();
    DWORD value = 0xDEADBEEF;
    platform::SetLastErrorCode(0);
    EXPECT_EQ(plugin->GetInfo(OEMGI_GETSIGNATURE, &value, 4, nullptr), E_FAIL);
    EXPECT_EQ(platform::LastErrorCode(), 87u);
    EXPECT_EQ(value, 0xDEADBEEFu);
    plugin->Release();
}

TEST(PluginQueryInterface, AcceptsUnknownAndUi2Only) {
    IPrintOemUI2* plugin = NewPlugin();
    void* unknown = nullptr;
    void* ui2 = nullptr;
    ASSERT_EQ(plugin->QueryInterface(IID_IUnknown, &unknown), S_OK);
    ASSERT_EQ(plugin->QueryInterface(IID_IPrintOemUI2, &ui2), S_OK);
    EXPECT_EQ(unknown, ui2);
    EXPECT_EQ(unknown, static_cast<void*>(plugin));
    for (const IID* refused : {&IID_IPrintOemUI, &IID_IPrintOemCommon, &IID_IClassFactory, &kOtherId}) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(plugin->QueryInterface(*refused, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
    // COM's answer for a missing out pointer.
    EXPECT_EQ(plugin->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(plugin->Release(), 2u);
    EXPECT_EQ(plugin->Release(), 1u);
    EXPECT_EQ(plugin->Release(), 0u);
}

TEST(PluginFactory, RefusesOtherClassesAggregationAndInterfaces) {
    void* out = kUnwritten;
    EXPECT_EQ(GetPluginClassObject(kOtherId, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_componentCount, 0);

    out = kUnwritten;
    EXPECT_EQ(GetPluginClassObject(CLSID_OEMUI, kOtherId, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_componentCount, 0) << "a refused interface leaves no factory alive";

    IClassFactory* factory = nullptr;
    ASSERT_EQ(GetPluginClassObject(CLSID_OEMUI, IID_IUnknown, reinterpret_cast<void**>(&factory)), S_OK);
    void* plugin = kUnwritten;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IPrintOemUI2, &plugin),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(plugin, nullptr);
    plugin = kUnwritten;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI, &plugin), E_NOINTERFACE);
    EXPECT_EQ(plugin, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, nullptr), E_POINTER);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(g_componentCount, 1) << "only the factory lives";
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(g_componentCount, 0);
}

TEST(PluginFactory, MissingOutPointerOrMemoryLeavesNothingAlive) {
    EXPECT_EQ(GetPluginClassObject(CLSID_OEMUI, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(g_componentCount, 0);

    void* out = kUnwritten;
    platform::portable::FailAllocation(1);
    EXPECT_EQ(GetPluginClassObject(CLSID_OEMUI, IID_IClassFactory, &out), E_OUTOFMEMORY);
    platform::portable::FailAllocation(0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_componentCount, 0);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(GetPluginClassObject(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    out = kUnwritten;
    platform::portable::FailAllocation(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, &out), E_OUTOFMEMORY);
    platform::portable::FailAllocation(0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(g_componentCount, 1) << "only the factory lives";
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(platform::portable::LiveAllocations(), 0);
}

TEST(PluginModule, CanUnloadOnlyWithoutLocksAndLiveObjects) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(GetPluginClassObject(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(CanUnloadPlugin(), S_FALSE) << "factory alive";
    IPrintOemUI2* plugin = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IPrintOemUI2, reinterpret_cast<void**>(&plugin)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(CanUnloadPlugin(), S_FALSE);
    plugin->Release();
    EXPECT_EQ(CanUnloadPlugin(), S_FALSE) << "still locked";
    // The lock outlives the factory that took it, as COM allows.
    ASSERT_EQ(GetPluginClassObject(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(CanUnloadPlugin(), S_OK);
}

TEST(PluginPublishDriverInterface, KeepsTheFirstHelperAndReleasesItOnce) {
    FakeDriverHelper first, second;
    IPrintOemUI2* plugin = NewPlugin();
    EXPECT_EQ(plugin->PublishDriverInterface(&first), S_OK);
    EXPECT_EQ(first.refs, 2);
    EXPECT_EQ(plugin->PublishDriverInterface(&second), S_OK);
    EXPECT_EQ(second.queries, 0) << "a second helper is not even asked";
    EXPECT_EQ(second.refs, 1);
    EXPECT_EQ(plugin->Release(), 0u);
    EXPECT_EQ(first.refs, 1);
    EXPECT_EQ(first.releases, 1);
    EXPECT_EQ(second.releases, 0);
}

TEST(PluginPublishDriverInterface, RefusedQueryLeavesRoomForALaterTry) {
    FakeDriverHelper refusing, good, odd, broken;
    refusing.refuseQuery = true;
    odd.queryStatus = S_FALSE;
    broken.queryStatus = E_NOINTERFACE;  // fails, yet writes a pointer
    IPrintOemUI2* plugin = NewPlugin();
    EXPECT_EQ(plugin->PublishDriverInterface(&refusing), E_FAIL);
    EXPECT_EQ(plugin->PublishDriverInterface(&odd), E_FAIL);
    EXPECT_EQ(odd.refs, 1) << "a reference handed out with S_FALSE is given back";
    EXPECT_EQ(plugin->PublishDriverInterface(&broken), E_FAIL);
    EXPECT_EQ(broken.releases, 0) << "what a failed query leaves is no reference";
    EXPECT_EQ(plugin->PublishDriverInterface(nullptr), E_FAIL);
    EXPECT_EQ(plugin->PublishDriverInterface(&good), S_OK);
    EXPECT_EQ(good.refs, 2);
    plugin->Release();
    EXPECT_EQ(good.refs, 1);
}

TEST(PluginOwners, PutReleasesTheHeldReferenceBeforeTheCalleeWrites) {
    FakeDriverHelper first, second;
    platform::UniqueInterface<IPrintOemDriverUI> helper(&first);
    ASSERT_EQ(second.QueryInterface(IID_IPrintOemDriverUI, reinterpret_cast<void**>(helper.put())), S_OK);
    EXPECT_EQ(first.releases, 1);
    EXPECT_EQ(helper.get(), &second);
}

TEST(PluginDevMode, RefusesBadModesAndNullBlock) {
    IPrintOemUI2* plugin = NewPlugin();
    OEMDMPARAM param{};
    param.cbBufSize = 0xDEADBEEF;
    for (DWORD mode : {0u, 5u, 0xFFFFFFFFu}) {
        platform::SetLastErrorCode(0);
        EXPECT_EQ(plugin->DevMode(mode, &param), E_FAIL) << mode;
        EXPECT_EQ(platform::LastErrorCode(), 87u);
    }
    platform::SetLastErrorCode(0);
    EXPECT_EQ(plugin->DevMode(OEMDM_SIZE, nullptr), E_FAIL);
    EXPECT_EQ(platform::LastErrorCode(), 87u);
    EXPECT_EQ(param.cbBufSize, 0xDEADBEEFu);
    plugin->Release();
}

TEST(PluginDevMode, SizeDefaultConvertAndMerge) {
    IPrintOemUI2* plugin = NewPlugin();
    JOBSETTINGS in, out;
    std::memset(&in, 0xAB, sizeof in);
    std::memset(&out, 0xCD, sizeof out);
    OEMDMPARAM param{};
    param.pOEMDMIn = &in;
    param.pOEMDMOut = &out;

    EXPECT_EQ(plugin->DevMode(OEMDM_SIZE, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 172u);
    EXPECT_EQ(in.dwSize, 0xABABABABu) << "size touches no record";
    EXPECT_EQ(out.dwSize, 0xCDCDCDCDu);

    EXPECT_EQ(plugin->DevMode(OEMDM_DEFAULT, &param), S_OK);
    EXPECT_EQ(out.dwSignature, kJobSettingsSignature);
    EXPECT_EQ(out.dwReserved1, 1u);

    SetDefaultJobSettings(&in);
    in.dwReserveJobType = kReserveJobReprint;
    EXPECT_EQ(plugin->DevMode(OEMDM_CONVERT, &param), S_OK);
    EXPECT_EQ(out.dwReserveJobType, kReserveJobReprint);
    in.dwReserveJobType = kReserveJobVerify;
    EXPECT_EQ(plugin->DevMode(OEMDM_MERGE, &param), S_OK);
    EXPECT_EQ(out.dwReserveJobType, kReserveJobVerify);

    // Missing blocks are the record's business; the host still hears S_OK.
    param.pOEMDMOut = nullptr;
    EXPECT_EQ(plugin->DevMode(OEMDM_DEFAULT, &param), S_OK);
    EXPECT_EQ(plugin->DevMode(OEMDM_CONVERT, &param), S_OK);
    plugin->Release();
}

TEST(PluginUnprovidedMethods, AnswerNotImplemented) {
    IPrintOemUI2* plugin = NewPlugin();
    EXPECT_EQ(plugin->DevicePropertySheets(nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(plugin->DevQueryPrintEx(nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(plugin->DeviceCapabilities(nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr),
              E_NOTIMPL);
    EXPECT_EQ(plugin->UpgradePrinter(0, nullptr), E_NOTIMPL);
    EXPECT_EQ(plugin->PrinterEvent(nullptr, 0, 0, 0), E_NOTIMPL);
    EXPECT_EQ(plugin->DriverEvent(0, 0, nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(plugin->QueryColorProfile(nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(plugin->FontInstallerDlgProc(nullptr, 0, 0, 0), E_NOTIMPL);
    EXPECT_EQ(plugin->UpdateExternalFonts(nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(plugin->QueryJobAttributes(nullptr, nullptr, 0, nullptr), E_NOTIMPL);
    EXPECT_EQ(plugin->HideStandardUI(OEMCUIP_DOCPROP), E_NOTIMPL);
    EXPECT_EQ(plugin->DocumentEvent(nullptr, nullptr, 0, 0, nullptr, 0, nullptr, nullptr), E_NOTIMPL);
    plugin->Release();
}

// The driver's block reaches the tree: its first call learns the plug-in
// adds no items of its own.
TEST(PluginCommonUIProp, HandsTheDriversBlockToTheTree) {
    IPrintOemUI2* plugin = NewPlugin();
    OEMCUIPPARAM param = {};
    param.cbSize = sizeof param;
    param.cOEMOptItems = 7;
    EXPECT_EQ(plugin->CommonUIProp(OEMCUIP_DOCPROP, &param), S_OK);
    EXPECT_EQ(param.cOEMOptItems, 0u);
    plugin->Release();
}

TEST(PluginRelease, ObjectWithoutHostCallsIsFreedCleanly) {
    IPrintOemUI2* plugin = NewPlugin();
    EXPECT_EQ(g_componentCount, 1);
    EXPECT_EQ(plugin->Release(), 0u);
    EXPECT_EQ(g_componentCount, 0);
}

}  // namespace
