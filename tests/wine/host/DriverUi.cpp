#include "tests/wine/host/DriverUi.h"

#include "resources/ResourceIds.h"

namespace host {

// ---------------------------------------------------------------- CallRecorder

HRESULT STDMETHODCALLTYPE CallRecorder::QueryInterface(REFIID riid, void** ppv) {
    log.push_back("QueryInterface");
    return target->QueryInterface(riid, ppv);
}
ULONG STDMETHODCALLTYPE CallRecorder::AddRef() {
    log.push_back("AddRef");
    return target->AddRef();
}
ULONG STDMETHODCALLTYPE CallRecorder::Release() {
    log.push_back("Release");
    return target->Release();
}
HRESULT STDMETHODCALLTYPE CallRecorder::GetInfo(DWORD mode, PVOID buffer, DWORD size, DWORD* needed) {
    log.push_back("GetInfo " + std::to_string(mode));
    return target->GetInfo(mode, buffer, size, needed);
}
HRESULT STDMETHODCALLTYPE CallRecorder::DevMode(DWORD mode, POEMDMPARAM param) {
    static const char* const kModes[] = {"?", "SIZE", "DEFAULT", "CONVERT", "MERGE"};
    log.push_back(std::string("DevMode ") + (mode < 5 ? kModes[mode] : "?"));
    return target->DevMode(mode, param);
}
HRESULT STDMETHODCALLTYPE CallRecorder::PublishDriverInterface(IUnknown* helper) {
    log.push_back("PublishDriverInterface");
    return target->PublishDriverInterface(helper);
}
HRESULT STDMETHODCALLTYPE CallRecorder::CommonUIProp(DWORD mode, POEMCUIPPARAM param) {
    std::string entry = std::string("CommonUIProp ") + (mode == OEMCUIP_DOCPROP ? "document" : "printer") +
                        (param && param->pOEMOptItems ? " second" : " first");
    log.push_back(entry);
    return target->CommonUIProp(mode, param);
}
HRESULT STDMETHODCALLTYPE CallRecorder::DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
    log.push_back("DocumentPropertySheets reason " + std::to_string(info ? info->Reason : -1));
    return target->DocumentPropertySheets(info, lParam);
}
HRESULT STDMETHODCALLTYPE CallRecorder::DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
    log.push_back("DevicePropertySheets");
    return target->DevicePropertySheets(info, lParam);
}
HRESULT STDMETHODCALLTYPE CallRecorder::DevQueryPrintEx(POEMUIOBJ object, PDEVQUERYPRINT_INFO info,
                                                        DEVMODEW* publicDm, PVOID oemDm) {
    log.push_back("DevQueryPrintEx");
    return target->DevQueryPrintEx(object, info, publicDm, oemDm);
}
HRESULT STDMETHODCALLTYPE CallRecorder::DeviceCapabilities(POEMUIOBJ object, HANDLE printer, PWSTR device,
                                                           WORD capability, PVOID output, DEVMODEW* publicDm,
                                                           PVOID oemDm, DWORD old, DWORD* result) {
    log.push_back("DeviceCapabilities");
    return target->DeviceCapabilities(object, printer, device, capability, output, publicDm, oemDm, old, result);
}
HRESULT STDMETHODCALLTYPE CallRecorder::UpgradePrinter(DWORD level, BYTE* info) {
    log.push_back("UpgradePrinter");
    return target->UpgradePrinter(level, info);
}
HRESULT STDMETHODCALLTYPE CallRecorder::PrinterEvent(PWSTR printer, INT event, DWORD flags, LPARAM lParam) {
    log.push_back("PrinterEvent");
    return target->PrinterEvent(printer, event, flags, lParam);
}
HRESULT STDMETHODCALLTYPE CallRecorder::DriverEvent(DWORD event, DWORD level, BYTE* info, LPARAM lParam) {
    log.push_back("DriverEvent");
    return target->DriverEvent(event, level, info, lParam);
}
HRESULT STDMETHODCALLTYPE CallRecorder::QueryColorProfile(HANDLE printer, POEMUIOBJ object, DEVMODEW* publicDm,
                                                          PVOID oemDm, ULONG queryMode, void* profile,
                                                          ULONG* profileSize, FLONG* profileFlags) {
    log.push_back("QueryColorProfile");
    return target->QueryColorProfile(printer, object, publicDm, oemDm, queryMode, profile, profileSize,
                                     profileFlags);
}
HRESULT STDMETHODCALLTYPE CallRecorder::FontInstallerDlgProc(HWND window, UINT message, WPARAM wParam,
                                                             LPARAM lParam) {
    log.push_back("FontInstallerDlgProc");
    return target->FontInstallerDlgProc(window, message, wParam, lParam);
}
HRESULT STDMETHODCALLTYPE CallRecorder::UpdateExternalFonts(HANDLE printer, HANDLE heap, PWSTR cartridges) {
    log.push_back("UpdateExternalFonts");
    return target->UpdateExternalFonts(printer, heap, cartridges);
}
HRESULT STDMETHODCALLTYPE CallRecorder::QueryJobAttributes(HANDLE printer, DEVMODEW* devmode, DWORD level,
                                                           BYTE* attributes) {
    log.push_back("QueryJobAttributes");
    return target->QueryJobAttributes(printer, devmode, level, attributes);
}
HRESULT STDMETHODCALLTYPE CallRecorder::HideStandardUI(DWORD mode) {
    log.push_back("HideStandardUI");
    return target->HideStandardUI(mode);
}
HRESULT STDMETHODCALLTYPE CallRecorder::DocumentEvent(HANDLE printer, HDC dc, INT escape, ULONG inSize, PVOID in,
                                                      ULONG outSize, PVOID out, INT* result) {
    log.push_back("DocumentEvent");
    return target->DocumentEvent(printer, dc, escape, inSize, in, outSize, out, result);
}

// -------------------------------------------------------------------- the user

std::string FillConfidentialJobAndPressOk(SheetDriver& driver, const TypedJob& job) {
    if (!driver.WaitForSheet()) return "the sheet did not show";
    if (!driver.Control(IDC_RESERVE_JOB)) return "the Job Settings page is not in front";
    driver.Click(IDC_RESERVE_JOB);
    driver.Click(IDC_RESERVE_CONFIDENTIAL);
    if (!driver.IsEnabled(IDC_RESERVE_PASSWORD)) return "the password field stayed disabled";
    driver.Type(IDC_RESERVE_USER_NAME, job.userName);
    driver.Type(IDC_RESERVE_JOB_NAME, job.jobName);
    driver.Type(IDC_RESERVE_PASSWORD, job.password);
    driver.PostPressButton(PSBTN_OK);
    const HWND sheet = driver.sheet();
    if (!driver.WaitUntil([&] { return driver.MessageBoxOpen() || !::IsWindow(sheet); }))
        return "the sheet did not close";
    if (driver.MessageBoxOpen()) {
        const MessageBoxSeen box = driver.CloseMessageBox();
        std::string text;
        for (wchar_t c : box.text) text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return "the page refused the input: \"" + text + "\"";
    }
    return driver.WaitForSheetReturn() ? std::string() : "CommonPropertySheetUIW did not return";
}

// -------------------------------------------------------------------- DriverUi

DriverUi::DriverUi(const PluginModule& module, HANDLE printer, const std::vector<hostitems::OutlineFeature>& outline)
    : module_(module), printer_(printer), outline_(outline) {
    uiObject.cbSize = sizeof uiObject;
}

bool DriverUi::CreatePlugin() {
    recorder.log.clear();
    recorder.target = const_cast<PluginModule&>(module_).CreatePlugin();
    if (!recorder.target) return false;
    plugin = &recorder;
    return plugin->PublishDriverInterface(&helper) == S_OK;
}

HRESULT DriverUi::SizeRecord() {
    OEMDMPARAM param = {};
    param.cbSize = sizeof param;
    param.hPrinter = printer_;
    param.hModule = module_.handle;
    const HRESULT hr = plugin->DevMode(OEMDM_SIZE, &param);
    recordSize = param.cbBufSize;
    return hr;
}

HRESULT DriverUi::DefaultRecord() {
    // Filled with a pattern so what the plug-in leaves untouched shows.
    record.assign(recordSize, 0xEE);
    OEMDMPARAM param = {};
    param.cbSize = sizeof param;
    param.hPrinter = printer_;
    param.hModule = module_.handle;
    param.pOEMDMOut = record.data();
    param.cbBufSize = recordSize;
    return plugin->DevMode(OEMDM_DEFAULT, &param);
}

void DriverUi::PrepareParam(OEMCUIPPARAM& param) {
    param = OEMCUIPPARAM{};
    param.cbSize = sizeof param;
    param.poemuiobj = &uiObject;
    param.hPrinter = printer_;
    param.hModule = module_.handle;
    param.hOEMHeap = heap;
    param.pOEMDM = record.empty() ? nullptr : record.data();
}

void DriverUi::CallTwice(DWORD mode, Sheet& sheet) {
    PrepareParam(sheet.param);
    sheet.firstCall = plugin->CommonUIProp(mode, &sheet.param);
    // The driver makes room for the plug-in's items, hands over its own, and
    // calls again.
    sheet.param.pDrvOptItems = sheet.items.Items();
    sheet.param.cDrvOptItems = sheet.items.Count();
    sheet.param.pOEMOptItems = sheet.pluginItems;
    sheet.secondCall = plugin->CommonUIProp(mode, &sheet.param);
}

Sheet& DriverUi::OpenDocumentSheet(hostitems::ColourItem colour, LONG colourSel) {
    document = std::make_unique<Sheet>(hostitems::DocumentItemSpecs(outline_, colour, colourSel));
    CallTwice(OEMCUIP_DOCPROP, *document);
    return *document;
}

Sheet& DriverUi::OpenPrinterSheet() {
    printerSheet = std::make_unique<Sheet>(hostitems::PrinterItemSpecs(outline_));
    CallTwice(OEMCUIP_PRNPROP, *printerSheet);
    return *printerSheet;
}

OPTITEM* DriverUi::RenderingItem() {
    if (!document) return nullptr;
    const int index = document->items.IndexOfKeyword("QZRendering");
    return index < 0 ? nullptr : &document->items.Item(index);
}

LONG DriverUi::SelectColour(LONG sel) {
    if (!document || !document->param.OEMCUIPCallback) return -1;
    const int index = document->items.IndexOfDmPub(DMPUB_COLOR);
    if (index < 0) return -1;
    OPTITEM& colour = document->items.Item(index);
    CPSUICBPARAM change = {};
    change.cbSize = sizeof change;
    change.Reason = CPSUICB_REASON_SEL_CHANGED;
    change.pOptItem = document->items.Items();
    change.cOptItem = static_cast<WORD>(document->items.Count());
    change.pCurItem = &colour;
    change.OldSel = colour.Sel;
    colour.Sel = sel;
    return document->param.OEMCUIPCallback(&change, &document->param);
}

SheetRun DriverUi::ShowDocumentProperties(const std::function<void(SheetDriver&)>& script) {
    PropertySheetHost sheet(plugin, module_.handle, heap);
    return sheet.Run(Record(), script, PropertySheetHost::ParamBlock::Caller);
}

ULONG DriverUi::ReleasePlugin() {
    if (!plugin) return 0;
    const ULONG left = plugin->Release();
    plugin = nullptr;
    return left;
}

std::string SamplePpdPath() { return CORVINA_SAMPLES_DIR "/norvane-c5.ppd"; }

}  // namespace host
