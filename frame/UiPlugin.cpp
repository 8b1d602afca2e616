#include "frame/UiPlugin.h"

#include <cstring>
#include <new>

#include "frame/JobSettings.h"
#include "optree/OptionTree.h"
#include "page/JobSettingsPage.h"
#include "platform/Platform.h"

std::atomic<LONG> g_componentCount{0};
std::atomic<LONG> g_lockCount{0};

namespace {

bool SameId(REFIID a, REFIID b) { return std::memcmp(&a, &b, sizeof(IID)) == 0; }

}  // namespace

// ---- Class factory -------------------------------------------------------

UiPluginFactory::UiPluginFactory() { ++g_componentCount; }
UiPluginFactory::~UiPluginFactory() { --g_componentCount; }

HRESULT STDMETHODCALLTYPE UiPluginFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (SameId(riid, IID_IUnknown) || SameId(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE UiPluginFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    // Null on every failure, for a host that releases what it got back. The
    // owner drops the first reference after the query, so a refused
    // interface leaves no object behind.
    if (ppv) *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    const platform::UniqueInterface<UiPlugin> plugin(new (std::nothrow) UiPlugin);
    return plugin ? plugin->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE UiPluginFactory::LockServer(BOOL lock) {
    if (lock)
        ++g_lockCount;
    else
        --g_lockCount;
    return S_OK;
}

// ---- Plug-in object ------------------------------------------------------

UiPlugin::UiPlugin() { ++g_componentCount; }

UiPlugin::~UiPlugin() {
    // The driver's interface goes first, the model second; the context's
    // other owners follow.
    context.driverHelper.reset();
    context.ppdDocument.reset();
    --g_componentCount;
}

HRESULT STDMETHODCALLTYPE UiPlugin::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (SameId(riid, IID_IUnknown) || SameId(riid, IID_IPrintOemUI2)) {
        *ppv = static_cast<IPrintOemUI2*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE UiPlugin::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, DWORD* pcbNeeded) {
    if (!pcbNeeded) {
        platform::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    *pcbNeeded = sizeof(DWORD);
    if (cbSize < sizeof(DWORD) || !pBuffer) {
        platform::SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return E_FAIL;
    }
    DWORD answer;
    switch (dwMode) {
        case OEMGI_GETSIGNATURE: answer = kJobSettingsSignature; break;
        case OEMGI_GETVERSION: answer = kJobSettingsVersion; break;
        default:
            *pcbNeeded = 0;
            platform::SetLastErrorCode(ERROR_NOT_SUPPORTED);
            return E_FAIL;
    }
    std::memcpy(pBuffer, &answer, sizeof answer);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UiPlugin::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
    if (!pOemDMParam || dwMode < OEMDM_SIZE || dwMode > OEMDM_MERGE) {
        platform::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    auto* in = static_cast<const JOBSETTINGS*>(pOemDMParam->pOEMDMIn);
    auto* out = static_cast<JOBSETTINGS*>(pOemDMParam->pOEMDMOut);
    switch (dwMode) {
        case OEMDM_SIZE: pOemDMParam->cbBufSize = kJobSettingsSize; break;
        case OEMDM_DEFAULT: SetDefaultJobSettings(out); break;
        case OEMDM_CONVERT:
        case OEMDM_MERGE: ConvertJobSettings(in, out); break;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE UiPlugin::PublishDriverInterface(IUnknown* pIUnknown) {
    if (context.driverHelper) return S_OK;
    if (!pIUnknown) return E_FAIL;
    const HRESULT answer =
        pIUnknown->QueryInterface(IID_IPrintOemDriverUI, reinterpret_cast<void**>(context.driverHelper.put()));
    if (answer == S_OK && context.driverHelper) return S_OK;
    // What a failed query leaves behind is no reference; one handed out with
    // another success status is given back, not kept.
    if (answer < 0) context.driverHelper.release();
    context.driverHelper.reset();
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE UiPlugin::CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) {
    context.commonUiParam = pOemCUIPParam;
    return CustomizeOptionTree(dwMode, pOemCUIPParam, &context);
}

HRESULT STDMETHODCALLTYPE UiPlugin::DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
    return JobSettingsPropertySheets(pPSUIInfo, lParam, &context);
}

// The host asks for these too; the plug-in offers none of them.
HRESULT STDMETHODCALLTYPE UiPlugin::DevicePropertySheets(PPROPSHEETUI_INFO, LPARAM) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UiPlugin::DevQueryPrintEx(POEMUIOBJ, PDEVQUERYPRINT_INFO, DEVMODEW*, PVOID) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE UiPlugin::DeviceCapabilities(POEMUIOBJ, HANDLE, PWSTR, WORD, PVOID, DEVMODEW*, PVOID, DWORD,
                                                       DWORD*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE UiPlugin::UpgradePrinter(DWORD, BYTE*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UiPlugin::PrinterEvent(PWSTR, INT, DWORD, LPARAM) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UiPlugin::DriverEvent(DWORD, DWORD, BYTE*, LPARAM) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UiPlugin::QueryColorProfile(HANDLE, POEMUIOBJ, DEVMODEW*, PVOID, ULONG, void*, ULONG*,
                                                      FLONG*) {
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE UiPlugin::FontInstallerDlgProc(HWND, UINT, WPARAM, LPARAM) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UiPlugin::UpdateExternalFonts(HANDLE, HANDLE, PWSTR) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UiPlugin::QueryJobAttributes(HANDLE, DEVMODEW*, DWORD, BYTE*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UiPlugin::HideStandardUI(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE UiPlugin::DocumentEvent(HANDLE, HDC, INT, ULONG, PVOID, ULONG, PVOID, INT*) {
    return E_NOTIMPL;
}

// ---- Module --------------------------------------------------------------

HRESULT GetPluginClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv) *ppv = nullptr;
    if (!SameId(rclsid, CLSID_OEMUI)) return CLASS_E_CLASSNOTAVAILABLE;
    const platform::UniqueInterface<UiPluginFactory> factory(new (std::nothrow) UiPluginFactory);
    return factory ? factory->QueryInterface(riid, ppv) : E_OUTOFMEMORY;
}

HRESULT CanUnloadPlugin() { return (g_componentCount != 0 || g_lockCount != 0) ? S_FALSE : S_OK; }
