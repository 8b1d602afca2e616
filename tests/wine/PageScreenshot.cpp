// Opens the document-properties sheet with the Job Settings page in front,
// in the UI language Wine was started with, and writes the sheet as a BMP.
//
//   page_screenshot.exe OUT.bmp
//
// The page shows a filled-in record with Reserve Job and Confidential ticked,
// so that every control is enabled and every text is in view.
#include <cstdio>
#include <cwchar>

#include "frame/JobSettings.h"
#include "tests/wine/host/PluginHost.h"
#include "tests/wine/host/PropertySheetHost.h"

namespace {

void Put(char16_t* field, const char16_t* text) {
    while ((*field++ = *text++)) {
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: page_screenshot OUT.bmp\n");
        return 2;
    }
    host::PluginModule module;
    if (!module.Load()) {
        std::fprintf(stderr, "page_screenshot: corvina.dll did not load (%lu)\n", ::GetLastError());
        return 1;
    }
    IPrintOemUI2* plugin = module.CreatePlugin();
    if (!plugin) {
        std::fprintf(stderr, "page_screenshot: no plug-in object\n");
        return 1;
    }

    JOBSETTINGS record = {};
    record.dwSize = kJobSettingsSize;
    record.dwSignature = kJobSettingsSignature;
    record.dwVersion = kJobSettingsVersion;
    record.bSaveAccessControl = 1;
    record.dwReserveJobType = kReserveJobConfidential;
    Put(record.szAccessUserName, u"operator");
    Put(record.szAccessPassword, u"secret");
    Put(record.szReserveUserName, u"Mika");
    Put(record.szReserveJobName, u"Quarterly");
    Put(record.szReservePassword, u"4711");

    bool written = false;
    HANDLE heap = ::HeapCreate(0, 0, 0);
    host::PropertySheetHost sheet(plugin, module.handle, heap);
    const host::SheetRun run = sheet.Run(&record, [&](host::SheetDriver& driver) {
        if (!driver.WaitForSheet()) return;
        written = driver.Screenshot(argv[1]);
        driver.PostPressButton(PSBTN_CANCEL);
        driver.WaitForSheetReturn();
    });
    plugin->Release();
    ::HeapDestroy(heap);

    if (!written) {
        std::fprintf(stderr, "page_screenshot: no screenshot (sheet status %ld)\n", static_cast<long>(run.status));
        return 1;
    }
    return 0;
}
