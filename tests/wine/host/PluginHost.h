// The test host's side of the plug-in contract: it loads corvina.dll the way
// the driver's UI module does and plays the driver's part through the real
// COM vtables.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/HostAbi.h"

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

// The driver's helper interface: answers DrvGetDriverSetting from a
// configurable installed configuration and records every call.
class DriverHelper final : public IPrintOemDriverUI {
public:
    std::map<std::string, std::string> installed;  // feature keyword (no '*') -> option
    std::vector<std::string> settingQueries;
    struct UpdateCall {
        PVOID pci;
        PVOID item;
        DWORD previousSelection;
        DWORD mode;
    };
    std::vector<UpdateCall> updates;
    LONG refs = 1;
    bool refuseQuery = false;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pci, PCSTR feature, PVOID output, DWORD size, DWORD* needed,
                                                  DWORD* returned) override;
    HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE, PCSTR, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID pci, PVOID item, DWORD previousSelection,
                                                 DWORD mode) override;
};

}  // namespace host
