// The test host's side of the plug-in contract: it loads corvina.dll the way
// the driver's UI module does and plays the driver's part through the real
// COM vtables.
#pragma once

#include <string>

#include "platform/HostAbi.h"
#include "tests/support/FakeDriverHelper.h"

namespace host {

// corvina.dll beside the running test program, or the one CORVINA_PLUGIN_DLL
// names (a packaged build, given as a Unix or a Windows path).
std::wstring PluginPath();

// A path as a Windows program takes it: Unix paths (what the scripts pass)
// become the DOS name Wine maps them to; Windows paths stay as they are.
std::wstring WindowsPath(const std::string& path);

// For messages and printed output.
std::string Utf8(const std::u16string& text);
std::string Utf8(const std::wstring& text);

class PluginModule {
public:
    typedef HRESULT(STDAPICALLTYPE* GetClassObjectProc)(REFCLSID, REFIID, void**);
    typedef HRESULT(STDAPICALLTYPE* CanUnloadNowProc)();

    bool Load(const std::wstring& path = PluginPath());
    void Unload();
    ~PluginModule() { Unload(); }

    HMODULE handle = nullptr;
    GetClassObjectProc getClassObject = nullptr;
    CanUnloadNowProc canUnloadNow = nullptr;

    // Factory, then the object asked for IUnknown and queried for
    // IPrintOemUI2, as the driver does. Null on any failure.
    IPrintOemUI2* CreatePlugin();
};

// The driver's helper interface, as every test plays it.
using DriverHelper = support::FakeDriverHelper;

}  // namespace host
