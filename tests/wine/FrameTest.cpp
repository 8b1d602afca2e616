// The frame through the real DLL and its real vtables, as the driver calls it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>

#include "frame/JobSettings.h"
#include "tests/wine/host/PluginHost.h"

namespace {

class FrameTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.Load()) << "LoadLibraryW failed: " << ::GetLastError();
        plugin = module.CreatePlugin();
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override {
        if (plugin) {
            EXPECT_EQ(plugin->Release(), 0u);
        }
        plugin = nullptr;
        if (module.handle) {
            EXPECT_EQ(module.canUnloadNow(), S_OK);
        }
    }

    // Slot N of the object's table, called with a signature written out here
    // rather than taken from the shared header, so a slot or calling-convention
    // mistake in that header shows (on x86 a wrong pop count breaks the stack).
    template <typename Fn>
    Fn Slot(int index) {
        void** table = *reinterpret_cast<void***>(plugin);
        return reinterpret_cast<Fn>(table[index]);
    }

    host::PluginModule module;
    IPrintOemUI2* plugin = nullptr;
};

typedef HRESULT(STDMETHODCALLTYPE* GetInfoSlot)(void*, DWORD, PVOID, DWORD, DWORD*);
typedef HRESULT(STDMETHODCALLTYPE* DevModeSlot)(void*, DWORD, OEMDMPARAM*);
typedef HRESULT(STDMETHODCALLTYPE* HideStandardUISlot)(void*, DWORD);
typedef HRESULT(STDMETHODCALLTYPE* DocumentEventSlot)(void*, HANDLE, HDC, INT, ULONG, PVOID, ULONG, PVOID, INT*);
typedef HRESULT(STDMETHODCALLTYPE* DeviceCapabilitiesSlot)(void*, void*, HANDLE, PWSTR, WORD, PVOID, void*, PVOID,
                                                          DWORD, DWORD*);

typedef HRESULT(STDMETHODCALLTYPE* QueryInterfaceSlot)(void*, const GUID*, void**);
typedef ULONG(STDMETHODCALLTYPE* RefCountSlot)(void*);
typedef HRESULT(STDMETHODCALLTYPE* PublishDriverInterfaceSlot)(void*, IUnknown*);
typedef HRESULT(STDMETHODCALLTYPE* CommonUIPropSlot)(void*, DWORD, OEMCUIPPARAM*);
typedef HRESULT(STDMETHODCALLTYPE* PropertySheetsSlot)(void*, PROPSHEETUI_INFO*, LPARAM);
typedef HRESULT(STDMETHODCALLTYPE* DevQueryPrintExSlot)(void*, void*, void*, DEVMODEW*, PVOID);
typedef HRESULT(STDMETHODCALLTYPE* UpgradePrinterSlot)(void*, DWORD, BYTE*);
typedef HRESULT(STDMETHODCALLTYPE* PrinterEventSlot)(void*, PWSTR, INT, DWORD, LPARAM);
typedef HRESULT(STDMETHODCALLTYPE* DriverEventSlot)(void*, DWORD, DWORD, BYTE*, LPARAM);
typedef HRESULT(STDMETHODCALLTYPE* QueryColorProfileSlot)(void*, HANDLE, void*, DEVMODEW*, PVOID, ULONG, void*, ULONG*,
                                                         ULONG*);
typedef HRESULT(STDMETHODCALLTYPE* FontInstallerDlgProcSlot)(void*, HWND, UINT, WPARAM, LPARAM);
typedef HRESULT(STDMETHODCALLTYPE* UpdateExternalFontsSlot)(void*, HANDLE, HANDLE, PWSTR);
typedef HRESULT(STDMETHODCALLTYPE* QueryJobAttributesSlot)(void*, HANDLE, DEVMODEW*, DWORD, BYTE*);

// Every slot of the table, 0 to 19, through the signatures above, each with
// an answer that tells it from its neighbours: two methods swapped in the
// shared header, or a wrong parameter list, fail here.
TEST_F(FrameTest, EverySlotAnswersThroughItsOwnSignature) {
    host::DriverHelper refusing;
    refusing.refuseQuery = true;
    DWORD value = 0, needed = 0;
    OEMDMPARAM devMode = {};
    devMode.cbSize = sizeof devMode;
    INT result = 0;
    DWORD capability = 0;
    ULONG profileSize = 0, profileFlags = 0;
    const struct {
        int slot;
        const char* name;
        std::function<LONG()> call;
        LONG answer;
    } rows[] = {
        {0, "QueryInterface", [&] {
             void* out = nullptr;
             const HRESULT hr = Slot<QueryInterfaceSlot>(0)(plugin, &IID_IPrintOemUI2, &out);
             if (out) plugin->Release();
             return hr == S_OK && out == plugin ? S_OK : E_UNEXPECTED;
         }, S_OK},
        {1, "AddRef", [&] { return static_cast<LONG>(Slot<RefCountSlot>(1)(plugin)); }, 2},
        {2, "Release", [&] { return static_cast<LONG>(Slot<RefCountSlot>(2)(plugin)); }, 1},
        {3, "GetInfo", [&] {
             const HRESULT hr = Slot<GetInfoSlot>(3)(plugin, OEMGI_GETVERSION, &value, 4, &needed);
             return hr == S_OK && value == 2 ? S_OK : E_UNEXPECTED;
         }, S_OK},
        {4, "DevMode", [&] {
             const HRESULT hr = Slot<DevModeSlot>(4)(plugin, OEMDM_SIZE, &devMode);
             return hr == S_OK && devMode.cbBufSize == 172 ? S_OK : E_UNEXPECTED;
         }, S_OK},
        {5, "PublishDriverInterface", [&] { return Slot<PublishDriverInterfaceSlot>(5)(plugin, &refusing); }, E_FAIL},
        {6, "CommonUIProp", [&] { return Slot<CommonUIPropSlot>(6)(plugin, OEMCUIP_DOCPROP, nullptr); }, S_OK},
        {7, "DocumentPropertySheets", [&] { return Slot<PropertySheetsSlot>(7)(plugin, nullptr, 0); }, E_FAIL},
        {8, "DevicePropertySheets", [&] { return Slot<PropertySheetsSlot>(8)(plugin, nullptr, 0); }, E_NOTIMPL},
        {9, "DevQueryPrintEx", [&] { return Slot<DevQueryPrintExSlot>(9)(plugin, nullptr, nullptr, nullptr, nullptr); },
         E_NOTIMPL},
        {10, "DeviceCapabilities", [&] {
             return Slot<DeviceCapabilitiesSlot>(10)(plugin, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0,
                                                     &capability);
         }, E_NOTIMPL},
        {11, "UpgradePrinter", [&] { return Slot<UpgradePrinterSlot>(11)(plugin, 1, nullptr); }, E_NOTIMPL},
        {12, "PrinterEvent", [&] { return Slot<PrinterEventSlot>(12)(plugin, nullptr, 1, 0, 0); }, E_NOTIMPL},
        {13, "DriverEvent", [&] { return Slot<DriverEventSlot>(13)(plugin, 1, 3, nullptr, 0); }, E_NOTIMPL},
        {14, "QueryColorProfile", [&] {
             return Slot<QueryColorProfileSlot>(14)(plugin, nullptr, nullptr, nullptr, nullptr, 0, nullptr, &profileSize,
                                                    &profileFlags);
         }, E_NOTIMPL},
        {15, "FontInstallerDlgProc", [&] { return Slot<FontInstallerDlgProcSlot>(15)(plugin, nullptr, 0, 0, 0); },
         E_NOTIMPL},
        {16, "UpdateExternalFonts", [&] { return Slot<UpdateExternalFontsSlot>(16)(plugin, nullptr, nullptr, nullptr); },
         E_NOTIMPL},
        {17, "QueryJobAttributes", [&] { return Slot<QueryJobAttributesSlot>(17)(plugin, nullptr, nullptr, 1, nullptr); },
         E_NOTIMPL},
        {18, "HideStandardUI", [&] { return Slot<HideStandardUISlot>(18)(plugin, OEMCUIP_DOCPROP); }, E_NOTIMPL},
        {19, "DocumentEvent", [&] {
             return Slot<DocumentEventSlot>(19)(plugin, nullptr, nullptr, 1, 0, nullptr, 0, nullptr, &result);
         }, E_NOTIMPL},
    };
    static_assert(std::size(rows) == 20);
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "slot " << row.slot << " " << row.name);
        EXPECT_EQ(row.call(), row.answer);
    }
    EXPECT_EQ(refusing.refs, 1) << "a refused helper is not kept";
}

TEST_F(FrameTest, GetInfoAnswersSignatureAndVersionThroughSlotThree) {
    auto getInfo = Slot<GetInfoSlot>(3);
    DWORD value = 0xDEADBEEF, needed = 0xDEADBEEF;
    EXPECT_EQ(getInfo(plugin, OEMGI_GETSIGNATURE, &value, 4, &needed), S_OK);
    EXPECT_EQ(value, 0x515A5053u);
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(getInfo(plugin, OEMGI_GETVERSION, &value, 4, &needed), S_OK);
    EXPECT_EQ(value, 2u);

    ::SetLastError(0);
    value = 0xDEADBEEF;
    EXPECT_EQ(getInfo(plugin, OEMGI_GETINTERFACEVERSION, &value, 4, &needed), E_FAIL);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(value, 0xDEADBEEFu);

    ::SetLastError(0);
    EXPECT_EQ(getInfo(plugin, OEMGI_GETSIGNATURE, &value, 3, &needed), E_FAIL);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4u);
}

TEST_F(FrameTest, DevModeSizesDefaultsAndConvertsTheRecord) {
    auto devMode = Slot<DevModeSlot>(4);
    OEMDMPARAM param;
    std::memset(&param, 0, sizeof param);
    param.cbSize = sizeof param;
    EXPECT_EQ(devMode(plugin, OEMDM_SIZE, &param), S_OK);
    EXPECT_EQ(param.cbBufSize, 172u);

    unsigned char out[172 + 16];
    std::memset(out, 0xEE, sizeof out);
    param.pOEMDMOut = out;
    EXPECT_EQ(devMode(plugin, OEMDM_DEFAULT, &param), S_OK);
    const JOBSETTINGS* record = reinterpret_cast<const JOBSETTINGS*>(out);
    EXPECT_EQ(record->dwSize, 172u);
    EXPECT_EQ(record->dwSignature, 0x515A5053u);
    EXPECT_EQ(record->dwVersion, 2u);
    EXPECT_EQ(record->dwReserved1, 1u);
    EXPECT_EQ(out[17], 0xEE) << "padding is not the defaults' business";
    for (size_t i = 172; i < sizeof out; ++i) ASSERT_EQ(out[i], 0xEE) << "wrote past the record at " << i;

    JOBSETTINGS in = *record;
    in.dwReserveJobType = kReserveJobConfidential;
    in.dwSize = 0xFFFFFFFF;  // a hostile size copies one record at most
    param.pOEMDMIn = &in;
    EXPECT_EQ(devMode(plugin, OEMDM_CONVERT, &param), S_OK);
    EXPECT_EQ(record->dwReserveJobType, kReserveJobConfidential);
    EXPECT_EQ(record->dwSize, 172u);
    for (size_t i = 172; i < sizeof out; ++i) ASSERT_EQ(out[i], 0xEE) << "wrote past the record at " << i;

    ::SetLastError(0);
    EXPECT_EQ(devMode(plugin, 5, &param), E_FAIL);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FrameTest, PublishDriverInterfaceKeepsTheFirstHelperUntilRelease) {
    host::DriverHelper first, second;
    EXPECT_EQ(plugin->PublishDriverInterface(&first), S_OK);
    EXPECT_EQ(first.refs, 2);
    EXPECT_EQ(plugin->PublishDriverInterface(&second), S_OK);
    EXPECT_EQ(second.refs, 1);
    EXPECT_EQ(plugin->Release(), 0u);
    plugin = nullptr;
    EXPECT_EQ(first.refs, 1) << "the object gives its reference back when it dies";
}

TEST_F(FrameTest, RefusedHelperQueryFails) {
    host::DriverHelper refusing;
    refusing.refuseQuery = true;
    EXPECT_EQ(plugin->PublishDriverInterface(&refusing), E_FAIL);
    EXPECT_EQ(refusing.refs, 1);
}

TEST_F(FrameTest, OlderInterfaceIsRefused) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(plugin->QueryInterface(IID_IPrintOemUI, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(plugin->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(plugin));
    EXPECT_EQ(unknown->Release(), 1u);
}

TEST_F(FrameTest, UnprovidedSlotsAnswerNotImplementedWithTheirOwnArguments) {
    EXPECT_EQ(Slot<HideStandardUISlot>(18)(plugin, OEMCUIP_DOCPROP), E_NOTIMPL);
    INT result = 0x5A5A;
    EXPECT_EQ(Slot<DocumentEventSlot>(19)(plugin, nullptr, nullptr, 1, 0, nullptr, 0, nullptr, &result), E_NOTIMPL);
    EXPECT_EQ(result, 0x5A5A);
    DWORD dwResult = 7;
    EXPECT_EQ(Slot<DeviceCapabilitiesSlot>(10)(plugin, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0,
                                               &dwResult),
              E_NOTIMPL);
    EXPECT_EQ(dwResult, 7u);
    EXPECT_EQ(plugin->DevicePropertySheets(nullptr, 0), E_NOTIMPL);
    EXPECT_EQ(plugin->QueryJobAttributes(nullptr, nullptr, 0, nullptr), E_NOTIMPL);
}

TEST(FrameModule, ExportsRefuseOtherClassesAndTrackLocksAndObjects) {
    host::PluginModule module;
    ASSERT_TRUE(module.Load());
    EXPECT_EQ(module.canUnloadNow(), S_OK);

    const CLSID other = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
    // Pre-filled, so that the null a failure must leave shows.
    void* const unwritten = reinterpret_cast<void*>(ULONG_PTR{0xDEADBEEF});
    void* out = unwritten;
    EXPECT_EQ(module.getClassObject(other, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    out = unwritten;
    EXPECT_EQ(module.getClassObject(CLSID_OEMUI, IID_IPrintOemUI2, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(module.canUnloadNow(), S_OK) << "a refused interface leaves no factory";

    IClassFactory* factory = nullptr;
    ASSERT_EQ(module.getClassObject(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(module.canUnloadNow(), S_FALSE) << "locked";
    ASSERT_EQ(module.getClassObject(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    IUnknown* aggregate = reinterpret_cast<IUnknown*>(factory);
    out = unwritten;
    EXPECT_EQ(factory->CreateInstance(aggregate, IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    factory->Release();
    EXPECT_EQ(module.canUnloadNow(), S_OK);

    IPrintOemUI2* plugin = module.CreatePlugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(module.canUnloadNow(), S_FALSE) << "a live object keeps the module";
    EXPECT_EQ(plugin->Release(), 0u);
    EXPECT_EQ(module.canUnloadNow(), S_OK);
}

}  // namespace
