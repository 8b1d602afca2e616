// The PostScript driver's user-interface module as the plug-in meets it: one
// plug-in object per use, its helper published, the job settings record sized
// and defaulted, and both calls of CommonUIProp for each sheet over item
// arrays built from the printer's PPD. The tests, the end-to-end run and the
// demo all drive the plug-in through this one stand-in.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "frame/JobSettings.h"
#include "tests/support/ItemArrays.h"
#include "tests/wine/host/PluginHost.h"
#include "tests/wine/host/PropertySheetHost.h"

namespace host {

// Feature keyword without '*' -> option keyword, as DrvGetDriverSetting answers.
using Configuration = std::map<std::string, std::string>;

// One sheet as the driver keeps it between its two CommonUIProp calls: the
// items and the parameter block, at addresses that stay put for the sheet's
// life since the plug-in keeps pointers to both.
struct Sheet {
    explicit Sheet(const std::vector<hostitems::ItemSpec>& specs) : items(specs) {}
    hostitems::ItemArray items;
    OEMCUIPPARAM param = {};
    OPTITEM pluginItems[1] = {};  // where the plug-in's items would go; it adds none
    HRESULT firstCall = E_FAIL;
    HRESULT secondCall = E_FAIL;
};

// Stands between the driver and the plug-in object: passes every call on and
// writes it into a log, so the order of the driver's calls can be checked.
class CallRecorder final : public IPrintOemUI2 {
public:
    IPrintOemUI2* target = nullptr;
    std::vector<std::string> log;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size, DWORD* needed) override;
    HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, POEMDMPARAM param) override;
    HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* helper) override;
    HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD mode, POEMCUIPPARAM param) override;
    HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE DevQueryPrintEx(POEMUIOBJ object, PDEVQUERYPRINT_INFO info, DEVMODEW* publicDm,
                                              PVOID oemDm) override;
    HRESULT STDMETHODCALLTYPE DeviceCapabilities(POEMUIOBJ object, HANDLE printer, PWSTR device, WORD capability,
                                                 PVOID output, DEVMODEW* publicDm, PVOID oemDm, DWORD old,
                                                 DWORD* result) override;
    HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD level, BYTE* info) override;
    HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR printer, INT event, DWORD flags, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE DriverEvent(DWORD event, DWORD level, BYTE* info, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE printer, POEMUIOBJ object, DEVMODEW* publicDm, PVOID oemDm,
                                                ULONG queryMode, void* profile, ULONG* profileSize,
                                                FLONG* profileFlags) override;
    HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE printer, HANDLE heap, PWSTR cartridges) override;
    HRESULT STDMETHODCALLTYPE QueryJobAttributes(HANDLE printer, DEVMODEW* devmode, DWORD level,
                                                 BYTE* attributes) override;
    HRESULT STDMETHODCALLTYPE HideStandardUI(DWORD mode) override;
    HRESULT STDMETHODCALLTYPE DocumentEvent(HANDLE printer, HDC dc, INT escape, ULONG inSize, PVOID in,
                                            ULONG outSize, PVOID out, INT* result) override;
};

// A reserve job as the user types it, one WM_CHAR per unit, so the page's
// filters see every keystroke.
struct TypedJob {
    std::wstring userName;
    std::wstring jobName;
    std::wstring password;
};

// The user's part on the open sheet: ticks Reserve Job, picks Confidential,
// types the three fields and presses OK. Empty on success, else what failed.
std::string FillConfidentialJobAndPressOk(SheetDriver& driver, const TypedJob& job);

class DriverUi {
public:
    // `module` is loaded and `printer` a spooler handle; both outlive this.
    DriverUi(const PluginModule& module, HANDLE printer, const std::vector<hostitems::OutlineFeature>& outline);
    ~DriverUi() { ReleasePlugin(); }
    DriverUi(const DriverUi&) = delete;
    DriverUi& operator=(const DriverUi&) = delete;

    // Factory, object and PublishDriverInterface, in the driver's order.
    bool CreatePlugin();
    // DevMode with OEMDM_SIZE, then OEMDM_DEFAULT into a record of that size.
    HRESULT SizeRecord();
    HRESULT DefaultRecord();
    // First and second CommonUIProp of a sheet, each over fresh items.
    Sheet& OpenDocumentSheet(hostitems::ColourItem colour = hostitems::ColourItem::beforeFeatures, LONG colourSel = 1);
    Sheet& OpenPrinterSheet();
    // The user picks option `sel` of the colour item: the driver updates the
    // item and calls the callback installed in the document sheet's block.
    LONG SelectColour(LONG sel);
    // The document properties through Wine's CommonPropertySheetUIW with the
    // plug-in's page, `script` playing the user.
    SheetRun ShowDocumentProperties(const std::function<void(SheetDriver&)>& script);
    // The object's last reference; 0 when nothing else held it.
    ULONG ReleasePlugin();

    JOBSETTINGS* Record() { return reinterpret_cast<JOBSETTINGS*>(record.data()); }
    OPTITEM* RenderingItem();

    DriverHelper helper;
    CallRecorder recorder;
    IPrintOemUI2* plugin = nullptr;  // the recorder in front of the object
    HANDLE heap = ::GetProcessHeap();  // handed to the plug-in as hOEMHeap
    OEMUIOBJ uiObject = {};
    DWORD recordSize = 0;
    std::vector<BYTE> record;
    std::unique_ptr<Sheet> document;
    std::unique_ptr<Sheet> printerSheet;

private:
    void PrepareParam(OEMCUIPPARAM& param);
    void CallTwice(DWORD mode, Sheet& sheet);

    const PluginModule& module_;
    HANDLE printer_;
    std::vector<hostitems::OutlineFeature> outline_;
};

// The sample PPD's path as the build knows it.
std::string SamplePpdPath();

}  // namespace host
