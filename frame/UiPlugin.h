// The COM objects the host sees: the class factory and the plug-in object.
#pragma once

#include <atomic>

#include "frame/PluginContext.h"
#include "platform/ComObject.h"
#include "platform/HostAbi.h"

// Live factories and plug-in objects; DllCanUnloadNow refuses while any lives.
extern std::atomic<LONG> g_componentCount;
extern std::atomic<LONG> g_lockCount;

// Both are made with `new (std::nothrow)` from the platform's allocator, so
// that a failed allocation answers E_OUTOFMEMORY.
class UiPluginFactory final : public platform::ComObject<UiPluginFactory, IClassFactory> {
public:
    UiPluginFactory();
    ~UiPluginFactory();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};

class UiPlugin final : public platform::ComObject<UiPlugin, IPrintOemUI2> {
public:
    UiPlugin();
    ~UiPlugin();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

    HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, DWORD* pcbNeeded) override;
    HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) override;

    HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) override;
    HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) override;
    HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE DevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE DevQueryPrintEx(POEMUIOBJ poemuiobj, PDEVQUERYPRINT_INFO pDQPInfo, DEVMODEW* pPublicDM,
                                              PVOID pOEMDM) override;
    HRESULT STDMETHODCALLTYPE DeviceCapabilities(POEMUIOBJ poemuiobj, HANDLE hPrinter, PWSTR pDeviceName,
                                                 WORD wCapability, PVOID pOutput, DEVMODEW* pPublicDM, PVOID pOEMDM,
                                                 DWORD dwOld, DWORD* dwResult) override;
    HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD dwLevel, BYTE* pDriverUpgradeInfo) override;
    HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags,
                                           LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE DriverEvent(DWORD dwDriverEvent, DWORD dwLevel, BYTE* pDriverInfo,
                                          LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE hPrinter, POEMUIOBJ poemuiobj, DEVMODEW* pPublicDM,
                                                PVOID pOEMDM, ULONG ulQueryMode, void* pvProfileData,
                                                ULONG* pcbProfileData, FLONG* pflProfileData) override;
    HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND hWnd, UINT usMsg, WPARAM wParam, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE hPrinter, HANDLE hHeap, PWSTR pwstrCartridges) override;

    HRESULT STDMETHODCALLTYPE QueryJobAttributes(HANDLE hPrinter, DEVMODEW* pDevmode, DWORD dwLevel,
                                                 BYTE* lpAttributeInfo) override;
    HRESULT STDMETHODCALLTYPE HideStandardUI(DWORD dwMode) override;
    HRESULT STDMETHODCALLTYPE DocumentEvent(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut,
                                            PVOID pvOut, INT* piResult) override;

private:
    PluginContext context;
};

// The module's class object and unload test, behind the two exports.
HRESULT GetPluginClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
HRESULT CanUnloadPlugin();
