#include "tests/wine/host/DriverUi.h"

namespace host {

DriverUi::DriverUi(const PluginModule& module, HANDLE printer, const std::vector<hostitems::OutlineFeature>& outline)
    : module_(module), printer_(printer), outline_(outline) {
    uiObject.cbSize = sizeof uiObject;
}

bool DriverUi::CreatePlugin() {
    plugin = const_cast<PluginModule&>(module_).CreatePlugin();
    return plugin && plugin->PublishDriverInterface(&helper) == S_OK;
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
    param.hOEMHeap = ::GetProcessHeap();
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

ULONG DriverUi::ReleasePlugin() {
    if (!plugin) return 0;
    const ULONG left = plugin->Release();
    plugin = nullptr;
    return left;
}

std::string HostKeywordOf(const OPTITEM& item) {
    if (!item.UserData) return "";
    const char* keyword = reinterpret_cast<const char* const*>(item.UserData)[2];
    return keyword ? keyword : "";
}

std::string Utf8(const std::u16string& text) {
    std::string out;
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.c_str()),
                                           static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    out.resize(size);
    ::WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.c_str()), static_cast<int>(text.size()),
                          out.data(), size, nullptr, nullptr);
    return out;
}

std::set<std::string> WarningMarks(hostitems::ItemArray& items) {
    std::set<std::string> marks;
    for (DWORD i = 0; i < items.Count(); ++i)
        for (size_t j = 0; j < items.OptionCount(i); ++j)
            if (items.Option(i, j).Flags & OPTPF_OVERLAY_WARNING_ICON)
                marks.insert(HostKeywordOf(items.Item(i)) + ":" +
                             Utf8(hostitems::ItemArray::Text(items.Option(i, j).pData)));
    return marks;
}

std::string SamplePpdPath() { return CORVINA_SAMPLES_DIR "/norvane-c5.ppd"; }

}  // namespace host
