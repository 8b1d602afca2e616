// The driver package of this width read by the platform's own parsers:
// setupapi opens its INF the way the printer class installer does, and
// GetPrivateProfileStringW reads its plug-in configuration file. Each check
// also runs on copies of the package with one planted mistake, which it must
// find.
//
// CORVINA_PACKAGE_DIR names the package folder (`make package`).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/wine/host/PluginHost.h"
// After <windows.h>, which the line above brings in.
#include <setupapi.h>

namespace {

using host::Utf8;

#if defined(_WIN64)
const std::wstring kDecoration = L"NTamd64", kOtherDecoration = L"NTx86";
#else
const std::wstring kDecoration = L"NTx86", kOtherDecoration = L"NTamd64";
#endif
const wchar_t kPrinterClassGuid[] = L"{4D36E979-E325-11CE-BFC1-08002BE10318}";
const wchar_t kInfName[] = L"NORVC5.INF";
const wchar_t kSumsName[] = L"SHA256SUMS";

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towupper(c));
    return text;
}

std::wstring PackageDir() {
    const char* dir = std::getenv("CORVINA_PACKAGE_DIR");
    return dir && *dir ? host::WindowsPath(dir) : std::wstring();
}

// The files the package ships for installation: all but the INF and the sums.
std::set<std::wstring> ShippedFiles(const std::wstring& dir) {
    std::set<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        const std::wstring name = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && Upper(name) != kInfName && name != kSumsName)
            files.insert(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return files;
}

std::string FileBytes(const std::wstring& path) {
    std::ifstream in(Utf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The packaged DLL's FILEVERSION as "a.b.c.d".
std::wstring DllVersion(const std::wstring& dll) {
    DWORD ignored = 0;
    std::vector<BYTE> block(::GetFileVersionInfoSizeW(dll.c_str(), &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    if (block.empty() || !::GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size))
        return L"(no version block)";
    const DWORD high = fixed->dwFileVersionMS, low = fixed->dwFileVersionLS;
    return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." + std::to_wstring(HIWORD(low)) +
           L"." + std::to_wstring(LOWORD(low));
}

class OpenInf {
public:
    explicit OpenInf(const std::wstring& path)
        : handle_(::SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, &errorLine_)), error_(::GetLastError()) {}
    ~OpenInf() {
        if (ok()) ::SetupCloseInfFile(handle_);
    }
    OpenInf(const OpenInf&) = delete;
    OpenInf& operator=(const OpenInf&) = delete;

    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    UINT errorLine() const { return errorLine_; }
    DWORD error() const { return error_; }

    // Field 0 (the key) and the fields of one line, %strings% substituted.
    static std::vector<std::wstring> Fields(INFCONTEXT& line) {
        std::vector<std::wstring> fields;
        const DWORD count = ::SetupGetFieldCount(&line);
        for (DWORD i = 0; i <= count; ++i) {
            wchar_t text[512] = {};
            fields.push_back(::SetupGetStringFieldW(&line, i, text, 512, nullptr) ? text : L"");
        }
        return fields;
    }
    // Every line of `section` whose key is `key` (every line when null).
    std::vector<std::vector<std::wstring>> Lines(const std::wstring& section, const wchar_t* key = nullptr) const {
        std::vector<std::vector<std::wstring>> lines;
        INFCONTEXT line;
        for (BOOL more = ::SetupFindFirstLineW(handle_, section.c_str(), key, &line); more;
             more = key ? ::SetupFindNextMatchLineW(&line, key, &line) : ::SetupFindNextLine(&line, &line))
            lines.push_back(Fields(line));
        return lines;
    }
    // Field 1 of the first line with `key`, or empty.
    std::wstring Value(const std::wstring& section, const wchar_t* key) const {
        const auto lines = Lines(section, key);
        return lines.empty() || lines[0].size() < 2 ? std::wstring() : lines[0][1];
    }
    bool OnSourceDisk(const std::wstring& file) const {
        UINT disk = 0;
        DWORD needed = 0;
        return ::SetupGetSourceFileLocationW(handle_, nullptr, file.c_str(), &disk, nullptr, 0, &needed) != FALSE;
    }

private:
    UINT errorLine_ = 0;
    HINF handle_;
    DWORD error_;
};

// What a check read, and what it found wrong (empty when the check holds).
struct Verdict {
    std::string read;
    std::string failure;
};

// The INF opens without an error line, as a printer INF whose DriverVer
// carries the packaged DLL's version.
Verdict InfOpens(const std::wstring& dir) {
    OpenInf inf(dir + L"\\" + kInfName);
    if (!inf.ok())
    {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", inf.error());
        return {"", std::string("SetupOpenInfFileW refused it: error ") + code + " at line " +
                        std::to_string(inf.errorLine())};
    }
    const std::wstring infClass = inf.Value(L"Version", L"Class");
    const std::wstring guid = inf.Value(L"Version", L"ClassGuid");
    // DriverVer=date,version: fields 1 and 2.
    auto driverVer = inf.Lines(L"Version", L"DriverVer");
    driverVer.resize(1);
    driverVer[0].resize(3);
    const std::wstring& version = driverVer[0][2];
    const std::wstring dllVersion = DllVersion(dir + L"\\corvina.dll");
    Verdict v;
    v.read = "no error line; Class=" + Utf8(infClass) + ", DriverVer=" + Utf8(driverVer[0][1]) + "," +
             Utf8(version) + " (corvina.dll: " + Utf8(dllVersion) + ")";
    if (Upper(infClass) != L"PRINTER" || Upper(guid) != kPrinterClassGuid)
        v.failure = "not a printer INF: Class=" + Utf8(infClass) + ", ClassGuid=" + Utf8(guid);
    else if (version != dllVersion)
        v.failure = "DriverVer's version " + Utf8(version) + " is not corvina.dll's " + Utf8(dllVersion);
    return v;
}

// The install section of the one model of this width's models section, or
// empty with the reason in `failure`.
std::wstring InstallSection(const OpenInf& inf, std::string& read, std::string& failure) {
    const auto manufacturers = inf.Lines(L"Manufacturer");
    if (manufacturers.size() != 1 || manufacturers[0].size() < 2) {
        failure = "[Manufacturer] should name one models section";
        return L"";
    }
    const std::vector<std::wstring>& m = manufacturers[0];
    std::set<std::wstring> decorations;
    std::string listed;
    for (size_t i = 2; i < m.size(); ++i) {
        decorations.insert(Upper(m[i]));
        listed += " " + Utf8(m[i]);
    }
    if (decorations != std::set<std::wstring>{Upper(kDecoration)}) {
        failure = "[Manufacturer] decorates " + Utf8(m[1]) + " for" + (listed.empty() ? " none" : listed) +
                  ", and must for " + Utf8(kDecoration) + " alone";
        return L"";
    }
    const std::wstring models = m[1] + L"." + kDecoration;
    const auto lines = inf.Lines(models);
    if (lines.size() != 1 || lines[0].size() < 2) {
        failure = "[" + Utf8(models) + "] should hold one model, holds " + std::to_string(lines.size());
        return L"";
    }
    read = "[" + Utf8(models) + "] \"" + Utf8(lines[0][0]) + "\" = " + Utf8(lines[0][1]);
    return lines[0][1];
}

// The model of this width copies every shipped file as a dependent file of
// the driver, each from a source disk, and pulls in the PostScript driver.
Verdict ModelNamesEveryFile(const std::wstring& dir) {
    OpenInf inf(dir + L"\\" + kInfName);
    Verdict v;
    if (!inf.ok()) return {"", "the INF does not open"};
    const std::wstring section = InstallSection(inf, v.read, v.failure);
    if (section.empty()) return v;

    std::set<std::wstring> copied;
    std::string list;
    for (const auto& line : inf.Lines(section, L"CopyFiles"))
        for (size_t i = 1; i < line.size(); ++i) {
            if (!list.empty()) list += ',';
            list += Utf8(line[i]);
            if (!line[i].empty() && line[i][0] == L'@') copied.insert(Upper(line[i].substr(1)));
        }
    const std::wstring needs = Upper(inf.Value(section, L"Needs"));
    v.read += "; [" + Utf8(section) + "] CopyFiles=" + list + ", DataSection=" +
              Utf8(inf.Value(section, L"DataSection")) + ", Include=" + Utf8(inf.Value(section, L"Include")) +
              ", Needs=" + Utf8(needs);
    for (const std::wstring& file : ShippedFiles(dir)) {
        if (!copied.count(Upper(file))) v.failure += "CopyFiles lacks @" + Utf8(file) + ". ";
        if (!inf.OnSourceDisk(file)) v.failure += Utf8(file) + " has no source disk. ";
    }
    if (Upper(inf.Value(section, L"Include")) != L"NTPRINT.INF" || needs.find(L"PSCRIPT.OEM") == std::wstring::npos ||
        Upper(inf.Value(section, L"DataSection")) != L"PSCRIPT_DATA")
        v.failure += "it does not install the PostScript driver from NTPRINT.INF (Include, Needs=PSCRIPT.OEM, "
                     "DataSection=PSCRIPT_DATA).";
    return v;
}

// DataFile names the shipped PPD.
Verdict DataFileIsThePpd(const std::wstring& dir) {
    OpenInf inf(dir + L"\\" + kInfName);
    Verdict v;
    if (!inf.ok()) return {"", "the INF does not open"};
    std::string ignored;
    const std::wstring section = InstallSection(inf, ignored, v.failure);
    if (section.empty()) return v;
    const std::wstring dataFile = inf.Value(section, L"DataFile");
    const std::string head = FileBytes(dir + L"\\" + dataFile).substr(0, 10);
    v.read = "DataFile=" + Utf8(dataFile) + ", which starts \"" + head + "\"";
    if (dataFile.empty() || !ShippedFiles(dir).count(dataFile) || head != "*PPD-Adobe")
        v.failure = "DataFile=" + Utf8(dataFile) + " is not the shipped PPD";
    return v;
}

// [OEMFiles] of the shipped INI names the DLL as the user-interface plug-in.
// GetPrivateProfileStringW forgives blanks around '=', the driver does not,
// so the entry it reads must also stand in the file as written.
Verdict IniNamesThePlugin(const std::wstring& dir) {
    std::wstring ini;
    for (const std::wstring& file : ShippedFiles(dir))
        if (Upper(file).size() > 4 && Upper(file).substr(file.size() - 4) == L".INI") ini = file;
    if (ini.empty()) return {"", "no INI in the package"};
    wchar_t value[MAX_PATH] = {};
    ::GetPrivateProfileStringW(L"OEMFiles", L"OEMConfigFile1", L"", value, MAX_PATH, (dir + L"\\" + ini).c_str());
    const std::string entry = "OEMConfigFile1=" + Utf8(value);
    Verdict v{Utf8(ini) + " [OEMFiles] " + entry, ""};
    if (std::wstring(value) != L"corvina.dll" || !ShippedFiles(dir).count(value))
        v.failure = "OEMConfigFile1 reads \"" + Utf8(value) + "\", not the shipped corvina.dll";
    else if (("\n" + FileBytes(dir + L"\\" + ini)).find("\n" + entry + "\r\n") == std::string::npos)
        v.failure = "the file does not hold the line " + entry + " as written (blanks around '='?)";
    return v;
}

struct Check {
    const char* name;
    Verdict (*run)(const std::wstring& dir);
};
const Check kChecks[] = {
    {"INF opens", InfOpens},
    {"model names every file", ModelNamesEveryFile},
    {"DataFile is the PPD", DataFileIsThePpd},
    {"INI names the plug-in", IniNamesThePlugin},
};

class DriverPackage : public testing::Test {
protected:
    void SetUp() override {
        dir = PackageDir();
        ASSERT_FALSE(dir.empty()) << "CORVINA_PACKAGE_DIR is not set";
        ASSERT_NE(::GetFileAttributesW((dir + L"\\" + kInfName).c_str()), INVALID_FILE_ATTRIBUTES)
            << Utf8(dir) << " holds no package: run make package";
    }
    std::wstring dir;
};

TEST_F(DriverPackage, PassesEachCheckOfThePlatformsParsers) {
    std::printf("[ package  ] %s: %zu files to install\n", Utf8(dir).c_str(), ShippedFiles(dir).size());
    for (const Check& check : kChecks) {
        const Verdict v = check.run(dir);
        std::printf("[ read     ] %s: %s\n", check.name, v.read.c_str());
        EXPECT_EQ(v.failure, "") << check.name;
    }
}

// A copy of the package with one text replaced in one of its files.
class PlantedCopy {
public:
    PlantedCopy(const std::wstring& package, const wchar_t* file, const std::string& from, const std::string& to) {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        dir_ = std::wstring(temp) + L"corvina-planted-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(dir_.c_str(), nullptr);
        for (const std::wstring& name : ShippedFiles(package)) files_.push_back(name);
        files_.push_back(kInfName);
        for (const std::wstring& name : files_)
            ::CopyFileW((package + L"\\" + name).c_str(), (dir_ + L"\\" + name).c_str(), FALSE);
        std::string text = FileBytes(dir_ + L"\\" + file);
        const size_t at = text.find(from);
        planted_ = at != std::string::npos;
        if (!planted_) return;
        text.replace(at, from.size(), to);
        std::ofstream(Utf8(dir_ + L"\\" + file), std::ios::binary | std::ios::trunc) << text;
    }
    ~PlantedCopy() {
        for (const std::wstring& name : files_) ::DeleteFileW((dir_ + L"\\" + name).c_str());
        ::RemoveDirectoryW(dir_.c_str());
    }
    const std::wstring& dir() const { return dir_; }
    bool planted() const { return planted_; }

private:
    std::wstring dir_;
    std::vector<std::wstring> files_;
    bool planted_ = false;
};

// Each planted mistake is one a driver team could make; the check named in
// its row must report it.
TEST_F(DriverPackage, EachCheckFailsOnItsPlantedMistake) {
    const std::string decoration = Utf8(kDecoration), other = Utf8(kOtherDecoration);
    struct Row {
        const char* mistake;
        const wchar_t* file;
        std::string from, to;
        const char* check;
    };
    const Row rows[] = {
        {"a section header without its ']'", kInfName, "[Version]", "[Version", "INF opens"},
        {"DriverVer of another version", kInfName, "DriverVer=", "DriverVer=01/01/2020,1.0.0.0,", "INF opens"},
        {"the models section decorated for the other width", kInfName, "Norvane," + decoration,
         "Norvane," + other, "model names every file"},
        {"both widths in one INF", kInfName, "Norvane," + decoration, "Norvane," + decoration + "," + other,
         "model names every file"},
        {"a shipped file missing from CopyFiles", kInfName, ",@NORVC5.INI", "", "model names every file"},
        {"a shipped file without a source disk", kInfName, "corvina.dll=1\r\n", "", "model names every file"},
        {"a Unidrv model", kInfName, "Needs=PSCRIPT.OEM", "Needs=UNIDRV.OEM", "model names every file"},
        {"DataFile naming the INI", kInfName, "DataFile=NORVC5.PPD", "DataFile=NORVC5.INI", "DataFile is the PPD"},
        {"a blank before '='", L"NORVC5.INI", "OEMConfigFile1=", "OEMConfigFile1 =", "INI names the plug-in"},
        {"a blank after '='", L"NORVC5.INI", "=corvina.dll", "= corvina.dll", "INI names the plug-in"},
        {"a path in the file name", L"NORVC5.INI", "=corvina.dll", "=C:\\corvina.dll", "INI names the plug-in"},
        {"a misspelt section", L"NORVC5.INI", "[OEMFiles]", "[OEMFile]", "INI names the plug-in"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mistake);
        const PlantedCopy copy(dir, row.file, row.from, row.to);
        ASSERT_TRUE(copy.planted()) << "\"" << row.from << "\" is not in " << Utf8(row.file);
        std::string failed;
        for (const Check& check : kChecks) {
            const Verdict v = check.run(copy.dir());
            if (v.failure.empty()) continue;
            if (std::string(check.name) == row.check) failed = v.failure;
            std::printf("[ planted  ] %s: \"%s\" fails: %s\n", row.mistake, check.name, v.failure.c_str());
        }
        EXPECT_NE(failed, "") << "\"" << row.check << "\" did not notice";
    }
}

}  // namespace
