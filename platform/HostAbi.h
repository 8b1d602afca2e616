// The host's records, interfaces and constants as the plug-in sees them.
//
// In the Windows builds the platform headers supply the common property-sheet
// records, and this file adds the printer plug-in interfaces and records that
// mingw-w64 does not ship. In the native build plain records with the same
// names, fields and layout stand in, so the portable core compiles unchanged
// against either.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <objbase.h>
#include <unknwn.h>
#include <winspool.h>
#include <commctrl.h>
#include <prsht.h>
#include <compstui.h>

#else  // native stand-ins

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t UINT;
typedef int32_t INT;
typedef int32_t BOOL;
typedef int32_t HRESULT;
typedef uint32_t FLONG;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef intptr_t LRESULT;
typedef void* PVOID;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void* HINSTANCE;
typedef void* HWND;
typedef void* HDC;
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef WCHAR* LPTSTR;
typedef const WCHAR* LPCWSTR;
typedef const char* PCSTR;

#define STDMETHODCALLTYPE
#define APIENTRY
#define CALLBACK
#define WINAPI

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);

constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;
};

struct DEVMODEW;  // only ever passed through
struct _DEVQUERYPRINT_INFO;

// Common property-sheet records (same fields and layout as the platform's).
struct OPTPARAM {
    WORD cbSize;
    BYTE Flags;
    BYTE Style;
    LPTSTR pData;
    ULONG_PTR IconID;
    LPARAM lParam;
    ULONG_PTR dwReserved[2];
};
typedef OPTPARAM* POPTPARAM;

struct OPTTYPE {
    WORD cbSize;
    BYTE Type;
    BYTE Flags;
    WORD Count;
    WORD BegCtrlID;
    POPTPARAM pOptParam;
    WORD Style;
    WORD wReserved[3];
    ULONG_PTR dwReserved[3];
};
typedef OPTTYPE* POPTTYPE;

struct OPTITEM {
    WORD cbSize;
    BYTE Level;
    BYTE DlgPageIdx;
    DWORD Flags;
    ULONG_PTR UserData;
    LPTSTR pName;
    union {
        LONG Sel;
        LPTSTR pSel;
    };
    union {
        void* pExtChkBox;
        void* pExtPush;
    };
    POPTTYPE pOptType;
    DWORD HelpIndex;
    BYTE DMPubID;
    BYTE UserItemID;
    WORD wReserved;
    void* pOIExt;
    ULONG_PTR dwReserved[3];
};
typedef OPTITEM* POPTITEM;

struct CPSUICBPARAM {
    WORD cbSize;
    WORD Reason;
    HWND hDlg;
    POPTITEM pOptItem;
    WORD cOptItem;
    WORD Flags;
    POPTITEM pCurItem;
    union {
        LONG OldSel;
        LPTSTR pOldSel;
    };
    ULONG_PTR UserData;
    ULONG_PTR Result;
};
typedef CPSUICBPARAM* PCPSUICBPARAM;

typedef LONG_PTR(CALLBACK* PFNCOMPROPSHEET)(HANDLE hComPropSheet, UINT Function, LPARAM lParam1, LPARAM lParam2);

struct PROPSHEETUI_INFO {
    WORD cbSize;
    WORD Version;
    WORD Flags;
    WORD Reason;
    HANDLE hComPropSheet;
    PFNCOMPROPSHEET pfnComPropSheet;
    LPARAM lParamInit;
    ULONG_PTR UserData;
    ULONG_PTR Result;
};
typedef PROPSHEETUI_INFO* PPROPSHEETUI_INFO;

struct PROPSHEETUI_INFO_HEADER {
    WORD cbSize;
    WORD Flags;
    LPTSTR pTitle;
    HWND hWndParent;
    HINSTANCE hInst;
    union {
        void* hIcon;
        ULONG_PTR IconID;
    };
};

struct SETRESULT_INFO {
    WORD cbSize;
    WORD wReserved;
    HANDLE hSetResult;
    LRESULT Result;
};

struct DRIVER_INFO_3W {
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
    LPWSTR pHelpFile;
    LPWSTR pDependentFiles;
    LPWSTR pMonitorName;
    LPWSTR pDefaultDataType;
};

constexpr DWORD OPTIF_HIDE = 0x00000002;
constexpr DWORD OPTIF_CHANGED = 0x00000008;
constexpr DWORD OPTIF_DISABLED = 0x00000020;
constexpr DWORD OPTIF_INITIAL_TVITEM = 0x00008000;
constexpr BYTE OPTPF_HIDE = 0x01;
constexpr BYTE OPTPF_OVERLAY_WARNING_ICON = 0x08;

constexpr BYTE DMPUB_DEFSOURCE = 4;
constexpr BYTE DMPUB_PRINTQUALITY = 5;
constexpr BYTE DMPUB_COLOR = 6;
constexpr BYTE DMPUB_DUPLEX = 7;
constexpr BYTE DMPUB_FORMNAME = 9;
constexpr BYTE DMPUB_MEDIATYPE = 12;
constexpr BYTE DMPUB_USER = 100;

constexpr WORD CPSUICB_REASON_SEL_CHANGED = 0;
constexpr WORD CPSUICB_REASON_APPLYNOW = 6;
constexpr LONG CPSUICB_ACTION_NONE = 0;
constexpr LONG CPSUICB_ACTION_OPTIF_CHANGED = 1;
constexpr LONG CPSUICB_ACTION_REINIT_ITEMS = 2;
constexpr LONG CPSUICB_ACTION_NO_APPLY_EXIT = 3;
constexpr LONG CPSUICB_ACTION_ITEMS_APPLIED = 4;

constexpr UINT CPSFUNC_ADD_PROPSHEETPAGEW = 1;
constexpr UINT CPSFUNC_SET_RESULT = 9;
constexpr LPARAM CPSUI_CANCEL = 0;
constexpr LPARAM CPSUI_OK = 1;

constexpr WORD PROPSHEETUI_REASON_INIT = 0;
constexpr WORD PROPSHEETUI_REASON_GET_INFO_HEADER = 1;
constexpr WORD PROPSHEETUI_REASON_DESTROY = 2;
constexpr WORD PROPSHEETUI_REASON_SET_RESULT = 3;
constexpr WORD PROPSHEETUI_REASON_GET_ICON = 4;
constexpr WORD PROPSHEETUI_INFO_VERSION = 0x0100;
constexpr WORD PSUIINFO_UNICODE = 0x0001;

#endif  // native stand-ins

typedef struct _DEVQUERYPRINT_INFO* PDEVQUERYPRINT_INFO;

// Printer plug-in records: no platform header ships these.
struct OEM_DMEXTRAHEADER {
    DWORD dwSize;
    DWORD dwSignature;
    DWORD dwVersion;
};

struct OEMUIOBJ {
    DWORD cbSize;
    void* pOemUIProcs;
};
typedef OEMUIOBJ* POEMUIOBJ;

struct OEMDMPARAM {
    DWORD cbSize;
    PVOID pdriverobj;
    HANDLE hPrinter;
    HANDLE hModule;
    DEVMODEW* pPublicDMIn;
    DEVMODEW* pPublicDMOut;
    PVOID pOEMDMIn;
    PVOID pOEMDMOut;
    DWORD cbBufSize;
};
typedef OEMDMPARAM* POEMDMPARAM;

struct OEMCUIPPARAM;
typedef LONG(APIENTRY* OEMCUIPCALLBACK)(CPSUICBPARAM*, OEMCUIPPARAM*);

struct OEMCUIPPARAM {
    DWORD cbSize;
    POEMUIOBJ poemuiobj;
    HANDLE hPrinter;
    PWSTR pPrinterName;
    HANDLE hModule;
    HANDLE hOEMHeap;
    DEVMODEW* pPublicDM;
    PVOID pOEMDM;
    DWORD dwFlags;
    POPTITEM pDrvOptItems;
    DWORD cDrvOptItems;
    POPTITEM pOEMOptItems;
    DWORD cOEMOptItems;
    PVOID pOEMUserData;
    OEMCUIPCALLBACK OEMCUIPCallback;
};
typedef OEMCUIPPARAM* POEMCUIPPARAM;

constexpr DWORD OEMCUIP_DOCPROP = 1;
constexpr DWORD OEMCUIP_PRNPROP = 2;
constexpr DWORD OEMGI_GETSIGNATURE = 1;
constexpr DWORD OEMGI_GETINTERFACEVERSION = 2;
constexpr DWORD OEMGI_GETVERSION = 3;
constexpr DWORD OEMDM_SIZE = 1;
constexpr DWORD OEMDM_DEFAULT = 2;
constexpr DWORD OEMDM_CONVERT = 3;
constexpr DWORD OEMDM_MERGE = 4;

inline constexpr CLSID CLSID_OEMUI = {0xABCE80D7, 0x9F46, 0x11D1, {0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC}};
inline constexpr IID IID_IPrintOemCommon = {0x7F42285E, 0x91D5, 0x11D1, {0x88, 0x20, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC}};
inline constexpr IID IID_IPrintOemUI = {0xC6A7A9D0, 0x774C, 0x11D1, {0x94, 0x7F, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};
inline constexpr IID IID_IPrintOemUI2 = {0x292515F9, 0xB54B, 0x489B, {0x92, 0x75, 0xBA, 0xB5, 0x68, 0x21, 0x39, 0x5E}};
inline constexpr IID IID_IPrintOemDriverUI = {0x92B05D50, 0x78BC, 0x11D1, {0x94, 0x80, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};

struct IPrintOemCommon : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, DWORD* pcbNeeded) = 0;
    virtual HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) = 0;
};

struct IPrintOemUI : IPrintOemCommon {
    virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* pIUnknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE DevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE DevQueryPrintEx(POEMUIOBJ poemuiobj, PDEVQUERYPRINT_INFO pDQPInfo,
                                                      DEVMODEW* pPublicDM, PVOID pOEMDM) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeviceCapabilities(POEMUIOBJ poemuiobj, HANDLE hPrinter, PWSTR pDeviceName,
                                                         WORD wCapability, PVOID pOutput, DEVMODEW* pPublicDM,
                                                         PVOID pOEMDM, DWORD dwOld, DWORD* dwResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD dwLevel, BYTE* pDriverUpgradeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags,
                                                   LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE DriverEvent(DWORD dwDriverEvent, DWORD dwLevel, BYTE* pDriverInfo,
                                                  LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE hPrinter, POEMUIOBJ poemuiobj, DEVMODEW* pPublicDM,
                                                        PVOID pOEMDM, ULONG ulQueryMode, void* pvProfileData,
                                                        ULONG* pcbProfileData, FLONG* pflProfileData) = 0;
    virtual HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND hWnd, UINT usMsg, WPARAM wParam, LPARAM lParam) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE hPrinter, HANDLE hHeap, PWSTR pwstrCartridges) = 0;
};

struct IPrintOemUI2 : IPrintOemUI {
    virtual HRESULT STDMETHODCALLTYPE QueryJobAttributes(HANDLE hPrinter, DEVMODEW* pDevmode, DWORD dwLevel,
                                                         BYTE* lpAttributeInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE HideStandardUI(DWORD dwMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE DocumentEvent(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG cbIn, PVOID pvIn,
                                                    ULONG cbOut, PVOID pvOut, INT* piResult) = 0;
};

struct IPrintOemDriverUI : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pci, PCSTR Feature, PVOID pOutput, DWORD cbSize,
                                                          DWORD* pcbNeeded, DWORD* pdwOptionsReturned) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE hPrinter, PCSTR pFeature, PCSTR pOption) = 0;
    virtual HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID pci, PVOID pOptItem, DWORD dwPreviousSelection,
                                                         DWORD dwMode) = 0;
};

#include "platform/HostAbiLayout.h"
