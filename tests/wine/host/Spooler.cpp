#include "tests/wine/host/Spooler.h"

#include <vector>

namespace host {

namespace {

#if defined(_WIN64)
const wchar_t kWidth[] = L"x64";
#else
const wchar_t kWidth[] = L"x86";
#endif

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

}  // namespace

std::wstring DriverDataFile(HANDLE printer) {
    DWORD needed = 0;
    ::GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
    if (needed == 0) return std::wstring();
    std::vector<BYTE> block(needed);
    if (!::GetPrinterDriverW(printer, nullptr, 3, block.data(), needed, &needed)) return std::wstring();
    const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(block.data());
    return info->pDataFile ? std::wstring(info->pDataFile) : std::wstring();
}

bool SpooledPrinter::Fail(const char* step) {
    const DWORD code = ::GetLastError();
    error_ = std::string(step) + " failed, error " + std::to_string(code);
    Remove();
    return false;
}

void SpooledPrinter::RemoveLeftovers() {
    PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE stale = nullptr;
    if (::OpenPrinterW(const_cast<LPWSTR>(printerName_.c_str()), &stale, &access)) {
        ::DeletePrinter(stale);
        ::ClosePrinter(stale);
    }
    ::DeletePrinterDriverW(nullptr, nullptr, const_cast<LPWSTR>(driverName_.c_str()));
}

bool SpooledPrinter::Install(const std::string& ppdPath) {
    Remove();
    error_.clear();
    printerName_ = std::wstring(L"corvina test printer (") + kWidth + L")";
    driverName_ = std::wstring(L"corvina test driver (") + kWidth + L")";
    RemoveLeftovers();

    wchar_t directory[MAX_PATH];
    DWORD size = 0;
    if (!::GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory,
                                      &size))
        return Fail("GetPrinterDriverDirectoryW");
    // Version 3 drivers live in the "3" subdirectory, where Wine keeps wineps.drv.
    const std::wstring driverDirectory = std::wstring(directory) + L"\\3\\";
    const std::wstring wineps = driverDirectory + L"wineps.drv";
    const std::wstring source = WindowsPath(ppdPath);
    if (::GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) return Fail("finding the PPD");
    // A copy from an earlier run with other contents must not survive.
    copiedFile_ = driverDirectory + FileName(source);
    if (::lstrcmpiW(copiedFile_.c_str(), source.c_str()) == 0)
        copiedFile_.clear();  // already in place: not ours to delete
    else
        ::DeleteFileW(copiedFile_.c_str());

    DRIVER_INFO_3W driver = {};
    driver.cVersion = 3;
    driver.pName = const_cast<LPWSTR>(driverName_.c_str());
    driver.pDriverPath = const_cast<LPWSTR>(wineps.c_str());
    driver.pConfigFile = const_cast<LPWSTR>(wineps.c_str());
    driver.pDataFile = const_cast<LPWSTR>(source.c_str());
    // Wine copies the data file into the driver directory only with this flag.
    if (!::AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver), APD_COPY_FROM_DIRECTORY))
        return Fail("AddPrinterDriverExW");
    installed_ = true;

    PRINTER_INFO_2W printer = {};
    printer.pPrinterName = const_cast<LPWSTR>(printerName_.c_str());
    printer.pPortName = const_cast<LPWSTR>(L"FILE:");
    printer.pDriverName = driver.pName;
    printer.pPrintProcessor = const_cast<LPWSTR>(L"winprint");
    printer.pDatatype = const_cast<LPWSTR>(L"RAW");
    HANDLE added = ::AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&printer));
    if (!added) return Fail("AddPrinterW");
    ::ClosePrinter(added);

    PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!::OpenPrinterW(printer.pPrinterName, &handle_, &access)) {
        handle_ = nullptr;
        return Fail("OpenPrinterW");
    }
    dataFile_ = DriverDataFile(handle_);
    if (dataFile_.empty()) return Fail("GetPrinterDriverW");
    if (::GetFileAttributesW(dataFile_.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return Fail(("finding the copied PPD " + Narrow(dataFile_)).c_str());
    }
    return true;
}

void SpooledPrinter::Remove() {
    if (handle_) {
        ::DeletePrinter(handle_);
        ::ClosePrinter(handle_);
        handle_ = nullptr;
    }
    if (installed_) {
        RemoveLeftovers();
        installed_ = false;
    }
    if (!copiedFile_.empty()) ::DeleteFileW(copiedFile_.c_str());
    copiedFile_.clear();
    dataFile_.clear();
}

}  // namespace host
