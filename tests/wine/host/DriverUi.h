// The PostScript driver's user-interface module as the plug-in meets it: one
// plug-in object per use, its helper published, the job settings record sized
// and defaulted, and both calls of CommonUIProp for each sheet over item
// arrays built from the printer's PPD. The tests, the end-to-end run and the
// demo all drive the plug-in through this one stand-in.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "frame/JobSettings.h"
#include "tests/optree/HostItemArrays.h"
#include "tests/wine/host/PluginHost.h"

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
    // The object's last reference; 0 when nothing else held it.
    ULONG ReleasePlugin();

    JOBSETTINGS* Record() { return reinterpret_cast<JOBSETTINGS*>(record.data()); }
    OPTITEM* RenderingItem();

    DriverHelper helper;
    IPrintOemUI2* plugin = nullptr;
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

// "Keyword:option text" (UTF-8) of every option carrying the warning overlay.
std::set<std::string> WarningMarks(hostitems::ItemArray& items);
// The 8-bit PPD keyword the host keeps behind an item, or empty.
std::string HostKeywordOf(const OPTITEM& item);
std::string Utf8(const std::u16string& text);

// The sample PPD's path as the build knows it.
std::string SamplePpdPath();

}  // namespace host
