// A printer in Wine's real spooler whose driver data file is a PPD, so the
// plug-in finds its PPD the way it does under the PostScript driver: through
// GetPrinterDriverW, level 3, on the printer handle the host hands it.
#pragma once

#include <string>

#include "tests/wine/host/PluginHost.h"

namespace host {

// The driver is added with Wine's own wineps.drv as driver and configuration
// file and the PPD as data file, copied into the spooler's driver directory as
// a driver package's files are; then a printer on that driver. Names carry the
// build's width, since x64 and x86 drivers live apart but printers do not.
class SpooledPrinter {
public:
    SpooledPrinter() = default;
    ~SpooledPrinter() { Remove(); }
    SpooledPrinter(const SpooledPrinter&) = delete;
    SpooledPrinter& operator=(const SpooledPrinter&) = delete;

    // Removes a leftover of an interrupted run first. On failure error()
    // says which step refused and why.
    bool Install(const std::string& ppdPath);
    // Deletes the printer, the driver and the copied PPD; safe to repeat.
    void Remove();

    HANDLE handle() const { return handle_; }
    const std::wstring& printerName() const { return printerName_; }
    const std::wstring& driverName() const { return driverName_; }
    // DRIVER_INFO_3W.pDataFile as the spooler answers it.
    const std::wstring& dataFile() const { return dataFile_; }
    const std::string& error() const { return error_; }

private:
    bool Fail(const char* step);
    void RemoveLeftovers();

    HANDLE handle_ = nullptr;
    bool installed_ = false;
    std::wstring printerName_;
    std::wstring driverName_;
    std::wstring dataFile_;
    std::wstring copiedFile_;
    std::string error_;
};

// The spooler's answer for `printer`: DRIVER_INFO_3W.pDataFile, or empty.
std::wstring DriverDataFile(HANDLE printer);

}  // namespace host
