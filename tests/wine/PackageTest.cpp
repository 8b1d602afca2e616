// The driver packages of this width read by the platform's own parsers:
// setupapi opens their INF the way the printer class installer does, and
// GetPrivateProfileStringW reads their plug-in configuration files. Each
// check also runs on copies of a package with one planted mistake, which it
// must find; and make package must refuse each family with a planted mistake
// in its PPDs.
//
// CORVINA_PACKAGE_DIR names the package folder of `make package`, the sample
// printer's; CORVINA_TEST_PACKAGES the folder of tests/wine/test-packages.sh
// (`make test-packages`): a family of two models and the other attempts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
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
// The INF of the sample printer's packages, and of the family, whose first
// model is the sample printer.
const wchar_t kInfName[] = L"NORVC5.INF";
const wchar_t kSumsName[] = L"SHA256SUMS";
const wchar_t kDllName[] = L"corvina.dll";

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towupper(c));
    return text;
}

bool EndsWith(const std::wstring& name, const std::wstring& upperEnd) {
    return name.size() >= upperEnd.size() && Upper(name.substr(name.size() - upperEnd.size())) == upperEnd;
}

std::wstring EnvironmentPath(const char* variable) {
    const char* dir = std::getenv(variable);
    return dir && *dir ? host::WindowsPath(dir) : std::wstring();
}

std::wstring PackageDir() { return EnvironmentPath("CORVINA_PACKAGE_DIR"); }

// Every file of a package but its sums.
std::set<std::wstring> PackageFiles(const std::wstring& dir) {
    std::set<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        const std::wstring name = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != kSumsName) files.insert(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return files;
}

// The files the package ships for installation: all but the INF and the sums.
std::set<std::wstring> ShippedFiles(const std::wstring& dir) {
    std::set<std::wstring> files;
    for (const std::wstring& name : PackageFiles(dir))
        if (!EndsWith(name, L".INF")) files.insert(name);
    return files;
}

// The package's INF files: one, when it is right.
std::vector<std::wstring> InfFiles(const std::wstring& dir) {
    std::vector<std::wstring> infs;
    for (const std::wstring& name : PackageFiles(dir))
        if (EndsWith(name, L".INF")) infs.push_back(name);
    return infs;
}

std::wstring InfPath(const std::wstring& dir) {
    const std::vector<std::wstring> infs = InfFiles(dir);
    return infs.size() == 1 ? dir + L"\\" + infs[0] : std::wstring();
}

// The plug-in configuration file of a model: its PPD's stem, .INI.
std::wstring IniOf(const std::wstring& ppd) {
    const size_t dot = ppd.rfind(L'.');
    return (dot == std::wstring::npos ? ppd : ppd.substr(0, dot)) + L".INI";
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
    const std::vector<std::wstring> infs = InfFiles(dir);
    if (infs.size() != 1) return {"", "the package holds " + std::to_string(infs.size()) + " INF files, not one"};
    OpenInf inf(dir + L"\\" + infs[0]);
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
    v.read = Utf8(infs[0]) + ": no error line; Class=" + Utf8(infClass) + ", DriverVer=" + Utf8(driverVer[0][1]) + "," +
             Utf8(version) + " (corvina.dll: " + Utf8(dllVersion) + ")";
    if (Upper(infClass) != L"PRINTER" || Upper(guid) != kPrinterClassGuid)
        v.failure = "not a printer INF: Class=" + Utf8(infClass) + ", ClassGuid=" + Utf8(guid);
    else if (version != dllVersion)
        v.failure = "DriverVer's version " + Utf8(version) + " is not corvina.dll's " + Utf8(dllVersion);
    return v;
}

struct Model {
    std::wstring name;     // as setupapi reads it
    std::wstring section;  // its install section
};

// The models of this width's models sections, in their order, or none with
// the reason in `failure`. Every manufacturer's models section must be
// decorated for this width alone.
std::vector<Model> Models(const OpenInf& inf, std::string& read, std::string& failure) {
    const auto manufacturers = inf.Lines(L"Manufacturer");
    if (manufacturers.empty()) {
        failure = "[Manufacturer] names no models section";
        return {};
    }
    std::vector<Model> models;
    for (const std::vector<std::wstring>& m : manufacturers) {
        if (m.size() < 2) {
            failure = "[Manufacturer] has a line without a models section";
            return {};
        }
        std::set<std::wstring> decorations;
        std::string listed;
        for (size_t i = 2; i < m.size(); ++i) {
            decorations.insert(Upper(m[i]));
            listed += " " + Utf8(m[i]);
        }
        if (decorations != std::set<std::wstring>{Upper(kDecoration)}) {
            failure = "[Manufacturer] decorates " + Utf8(m[1]) + " for" + (listed.empty() ? " none" : listed) +
                      ", and must for " + Utf8(kDecoration) + " alone";
            return {};
        }
        const std::wstring section = m[1] + L"." + kDecoration;
        const auto lines = inf.Lines(section);
        if (lines.empty()) {
            failure = "[" + Utf8(section) + "] holds no model";
            return {};
        }
        for (const std::vector<std::wstring>& line : lines) {
            if (line.size() < 2 || line[1].empty()) {
                failure = "[" + Utf8(section) + "] has a model without an install section";
                return {};
            }
            read += (read.empty() ? "[" : "; [") + Utf8(section) + "] \"" + Utf8(line[0]) + "\" = " + Utf8(line[1]);
            models.push_back({line[0], line[1]});
        }
    }
    return models;
}

// The INF of a package open, with the models of this width; none, with the
// reason in `failure`, when it does not open or they are not right.
struct InfModels {
    explicit InfModels(const std::wstring& dir) : inf(InfPath(dir)) {
        if (inf.ok())
            models = Models(inf, read, failure);
        else
            failure = "the INF does not open";
    }
    OpenInf inf;
    std::vector<Model> models;
    std::string read, failure;
};

// Each model of this width copies its PPD, its INI and the DLL as dependent
// files of the driver, and pulls in the PostScript driver; every shipped file
// is copied by a model, from a source disk.
Verdict EachModelCopiesItsFiles(const std::wstring& dir) {
    const InfModels m(dir);
    if (m.models.empty()) return {m.read, m.failure};
    const OpenInf& inf = m.inf;
    Verdict v{m.read, ""};

    std::set<std::wstring> copiedByAny;
    for (const Model& model : m.models) {
        std::set<std::wstring> copied;
        std::string list;
        for (const auto& line : inf.Lines(model.section, L"CopyFiles"))
            for (size_t i = 1; i < line.size(); ++i) {
                if (!list.empty()) list += ',';
                list += Utf8(line[i]);
                if (!line[i].empty() && line[i][0] == L'@') copied.insert(Upper(line[i].substr(1)));
            }
        copiedByAny.insert(copied.begin(), copied.end());
        const std::wstring section = model.section, needs = Upper(inf.Value(section, L"Needs"));
        const std::wstring dataFile = inf.Value(section, L"DataFile");
        v.read += "; [" + Utf8(section) + "] CopyFiles=" + list + ", DataSection=" +
                  Utf8(inf.Value(section, L"DataSection")) + ", Include=" + Utf8(inf.Value(section, L"Include")) +
                  ", Needs=" + Utf8(needs);
        for (const std::wstring& own : {dataFile, IniOf(dataFile), std::wstring(kDllName)})
            if (!copied.count(Upper(own))) v.failure += "[" + Utf8(section) + "] CopyFiles lacks @" + Utf8(own) + ". ";
        if (Upper(inf.Value(section, L"Include")) != L"NTPRINT.INF" ||
            needs.find(L"PSCRIPT.OEM") == std::wstring::npos ||
            Upper(inf.Value(section, L"DataSection")) != L"PSCRIPT_DATA")
            v.failure += "[" + Utf8(section) + "] does not install the PostScript driver from NTPRINT.INF (Include, "
                         "Needs=PSCRIPT.OEM, DataSection=PSCRIPT_DATA). ";
    }
    for (const std::wstring& file : ShippedFiles(dir)) {
        if (!copiedByAny.count(Upper(file))) v.failure += "no model copies @" + Utf8(file) + ". ";
        if (!inf.OnSourceDisk(file)) v.failure += Utf8(file) + " has no source disk. ";
    }
    return v;
}

// Each model's DataFile names a shipped PPD, and each shipped PPD is the
// DataFile of one model.
Verdict DataFileIsThePpd(const std::wstring& dir) {
    const InfModels m(dir);
    if (m.models.empty()) return {"", m.failure};
    Verdict v;
    std::map<std::wstring, int> dataFileOf;
    for (const std::wstring& file : ShippedFiles(dir))
        if (EndsWith(file, L".PPD")) dataFileOf[Upper(file)] = 0;
    for (const Model& model : m.models) {
        const std::wstring dataFile = m.inf.Value(model.section, L"DataFile");
        const std::string head = FileBytes(dir + L"\\" + dataFile).substr(0, 10);
        v.read += (v.read.empty() ? "" : "; ") + Utf8(model.section) + ": DataFile=" + Utf8(dataFile) +
                  ", which starts \"" + head + "\"";
        if (dataFile.empty() || !ShippedFiles(dir).count(dataFile) || head != "*PPD-Adobe")
            v.failure += "DataFile=" + Utf8(dataFile) + " of [" + Utf8(model.section) + "] is not a shipped PPD. ";
        else
            ++dataFileOf[Upper(dataFile)];
    }
    for (const auto& [ppd, count] : dataFileOf)
        if (count != 1)
            v.failure += Utf8(ppd) + " is the DataFile of " + std::to_string(count) + " models, not one. ";
    return v;
}

// [OEMFiles] of the shipped INI names the DLL as the user-interface plug-in.
// GetPrivateProfileStringW forgives blanks around '=', the driver does not,
// so the entry it reads must also stand in the file as written.
Verdict IniNamesThePlugin(const std::wstring& dir) {
    Verdict v;
    for (const std::wstring& ini : ShippedFiles(dir)) {
        if (!EndsWith(ini, L".INI")) continue;
        wchar_t value[MAX_PATH] = {};
        ::GetPrivateProfileStringW(L"OEMFiles", L"OEMConfigFile1", L"", value, MAX_PATH, (dir + L"\\" + ini).c_str());
        const std::string entry = "OEMConfigFile1=" + Utf8(value);
        v.read += (v.read.empty() ? "" : "; ") + Utf8(ini) + " [OEMFiles] " + entry;
        if (std::wstring(value) != kDllName || !ShippedFiles(dir).count(value))
            v.failure += Utf8(ini) + ": OEMConfigFile1 reads \"" + Utf8(value) + "\", not the shipped corvina.dll. ";
        else if (("\n" + FileBytes(dir + L"\\" + ini)).find("\n" + entry + "\r\n") == std::string::npos)
            v.failure += Utf8(ini) + ": the file does not hold the line " + entry + " as written (blanks around '='?). ";
    }
    if (v.read.empty()) return {"", "no INI in the package"};
    return v;
}

// A main keyword's value in a PPD: between its quotes, else the rest of its
// line; empty without one.
std::string PpdValue(const std::string& bytes, const std::string& keyword) {
    const std::string key = "*" + keyword + ":";
    size_t at = bytes.compare(0, key.size(), key) == 0 ? 0 : bytes.find("\n" + key);
    if (at == std::string::npos) return "";
    at = bytes.find_first_not_of(" \t", at + (at ? 1 : 0) + key.size());
    if (at == std::string::npos) return "";
    if (bytes[at] == '"') {
        const size_t end = bytes.find('"', at + 1);
        return end == std::string::npos ? "" : bytes.substr(at + 1, end - at - 1);
    }
    const size_t end = bytes.find_first_of("\r\n", at);
    return bytes.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// The name a PPD gives its model, *NickName or else *ModelName, read through
// the platform's code page for its *LanguageEncoding (US-ASCII without one
// of these), so that a byte the package read otherwise shows.
std::wstring PpdModelName(const std::string& bytes) {
    const std::string encoding = PpdValue(bytes, "LanguageEncoding");
    const UINT codePage = encoding == "ISOLatin1"     ? 28591
                          : encoding == "WindowsANSI" ? 1252
                          : encoding == "UTF-8"       ? CP_UTF8
                          : encoding == "JIS83-RKSJ"  ? 932
                                                      : 20127;
    std::string name = PpdValue(bytes, "NickName");
    if (name.find_first_not_of(' ') == std::string::npos) name = PpdValue(bytes, "ModelName");
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    std::wstring wide(name.size(), L'\0');
    const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()),
                                        wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? n : 0);
    return wide;
}

// Each model is named as its PPD names itself, and no two alike (the spooler
// takes driver names without regard to case).
Verdict EachModelIsNamedByItsPpd(const std::wstring& dir) {
    const InfModels m(dir);
    if (m.models.empty()) return {"", m.failure};
    Verdict v;
    std::map<std::wstring, std::wstring> sectionOf;
    for (const Model& model : m.models) {
        const std::wstring dataFile = m.inf.Value(model.section, L"DataFile");
        const std::wstring own = PpdModelName(FileBytes(dir + L"\\" + dataFile));
        v.read += (v.read.empty() ? "\"" : "; \"") + Utf8(model.name) + "\" for " + Utf8(dataFile);
        if (model.name != own)
            v.failure += "[" + Utf8(model.section) + "] names its model \"" + Utf8(model.name) + "\", its PPD " +
                         Utf8(dataFile) + " \"" + Utf8(own) + "\". ";
        const auto [earlier, fresh] = sectionOf.emplace(Upper(model.name), model.section);
        if (!fresh)
            v.failure += "[" + Utf8(earlier->second) + "] and [" + Utf8(model.section) + "] give one model name \"" +
                         Utf8(model.name) + "\". ";
    }
    return v;
}

struct Check {
    const char* name;
    Verdict (*run)(const std::wstring& dir);
};
const Check kChecks[] = {
    {"INF opens", InfOpens},
    {"each model copies its files", EachModelCopiesItsFiles},
    {"DataFile is the PPD", DataFileIsThePpd},
    {"INI names the plug-in", IniNamesThePlugin},
    {"each model is named by its PPD", EachModelIsNamedByItsPpd},
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

void ExpectEachCheckPasses(const std::wstring& dir) {
    std::printf("[ package  ] %s: %zu files to install\n", Utf8(dir).c_str(), ShippedFiles(dir).size());
    for (const Check& check : kChecks) {
        const Verdict v = check.run(dir);
        std::printf("[ read     ] %s: %s\n", check.name, v.read.c_str());
        EXPECT_EQ(v.failure, "") << check.name;
    }
}

TEST_F(DriverPackage, PassesEachCheckOfThePlatformsParsers) { ExpectEachCheckPasses(dir); }

// A copy of the package with one text replaced in one of its files.
class PlantedCopy {
public:
    PlantedCopy(const std::wstring& package, const wchar_t* file, const std::string& from, const std::string& to) {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        dir_ = std::wstring(temp) + L"corvina-planted-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(dir_.c_str(), nullptr);
        for (const std::wstring& name : PackageFiles(package)) files_.push_back(name);
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

// One mistake a driver team could make, planted in a copy of a package; the
// check named must report it.
struct PlantedMistake {
    const char* mistake;
    const wchar_t* file;
    std::string from, to;
    const char* check;
};

void ExpectEachPlantedMistakeFound(const std::wstring& package, const std::vector<PlantedMistake>& rows) {
    for (const PlantedMistake& row : rows) {
        SCOPED_TRACE(row.mistake);
        const PlantedCopy copy(package, row.file, row.from, row.to);
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

TEST_F(DriverPackage, EachCheckFailsOnItsPlantedMistake) {
    const std::string decoration = Utf8(kDecoration), other = Utf8(kOtherDecoration);
    ExpectEachPlantedMistakeFound(dir, {
        {"a section header without its ']'", kInfName, "[Version]", "[Version", "INF opens"},
        {"DriverVer of another version", kInfName, "DriverVer=", "DriverVer=01/01/2020,1.0.0.0,", "INF opens"},
        {"the models section decorated for the other width", kInfName, "Norvane," + decoration,
         "Norvane," + other, "each model copies its files"},
        {"both widths in one INF", kInfName, "Norvane," + decoration, "Norvane," + decoration + "," + other,
         "each model copies its files"},
        {"a shipped file missing from CopyFiles", kInfName, ",@NORVC5.INI", "", "each model copies its files"},
        {"a shipped file without a source disk", kInfName, "corvina.dll=1\r\n", "", "each model copies its files"},
        {"a Unidrv model", kInfName, "Needs=PSCRIPT.OEM", "Needs=UNIDRV.OEM", "each model copies its files"},
        {"DataFile naming the INI", kInfName, "DataFile=NORVC5.PPD", "DataFile=NORVC5.INI", "DataFile is the PPD"},
        {"a blank before '='", L"NORVC5.INI", "OEMConfigFile1=", "OEMConfigFile1 =", "INI names the plug-in"},
        {"a blank after '='", L"NORVC5.INI", "=corvina.dll", "= corvina.dll", "INI names the plug-in"},
        {"a path in the file name", L"NORVC5.INI", "=corvina.dll", "=C:\\corvina.dll", "INI names the plug-in"},
        {"a misspelt section", L"NORVC5.INI", "[OEMFiles]", "[OEMFile]", "INI names the plug-in"},
    });
}

// The packages of tests/wine/test-packages.sh, each made by make package's
// script from the sample's PPD and tests/wine/norvane-c7.ppd or copies of it.
class TestPackages : public testing::Test {
protected:
    void SetUp() override {
        root = EnvironmentPath("CORVINA_TEST_PACKAGES");
        ASSERT_FALSE(root.empty()) << "CORVINA_TEST_PACKAGES is not set";
        ASSERT_FALSE(PackageDir().empty()) << "CORVINA_PACKAGE_DIR is not set";
        ASSERT_NE(::GetFileAttributesW((Package("family") + L"\\" + kInfName).c_str()), INVALID_FILE_ATTRIBUTES)
            << Utf8(root) << " holds no family package: run make test-packages";
    }
    std::wstring Attempt(const char* name) const { return root + L"\\" + host::WindowsPath(name); }
    // The attempt's package of this width: its folder has the name of make package's.
    std::wstring Package(const char* attempt) const {
        const std::wstring own = PackageDir();
        return Attempt(attempt) + L"\\packages\\" + own.substr(own.find_last_of(L"\\/") + 1);
    }
    std::wstring root;
};

// "name = install section" of each model of this width, as setupapi reads them.
std::vector<std::wstring> ModelLines(const std::wstring& dir) {
    const InfModels m(dir);
    std::printf("[ read     ] %s\n", m.read.c_str());
    std::vector<std::wstring> lines;
    for (const Model& model : m.models) lines.push_back(model.name + L" = " + model.section);
    return lines;
}

TEST_F(TestPackages, AFamilyOfTwoModelsPassesEachCheckOfThePlatformsParsers) {
    const std::wstring dir = Package("family");
    ExpectEachCheckPasses(dir);
    EXPECT_EQ(ModelLines(dir),
              (std::vector<std::wstring>{L"Norvane C5 PS = NORVC5.PPD", L"Norvane C7 PS = NORVC7.PPD"}));
    EXPECT_EQ(ShippedFiles(dir), (std::set<std::wstring>{L"NORVC5.INI", L"NORVC5.PPD", L"NORVC7.INI", L"NORVC7.PPD",
                                                         kDllName}));
}

TEST_F(TestPackages, EachCheckFailsOnItsPlantedMistakeInTheFamily) {
    ExpectEachPlantedMistakeFound(Package("family"), {
        {"a second model whose INI is missing from CopyFiles", kInfName, ",@NORVC7.INI", "",
         "each model copies its files"},
        {"a second model that copies the first model's INI", kInfName, ",@NORVC7.INI", ",@NORVC5.INI",
         "each model copies its files"},
        {"a second model with the first's name", kInfName, "\"Norvane C7 PS\" =", "\"Norvane C5 PS\" =",
         "each model is named by its PPD"},
        {"a second model under another name than its PPD's", kInfName, "\"Norvane C7 PS\" =",
         "\"Norvane C7\" =", "each model is named by its PPD"},
        {"a second PPD renamed after packaging", L"NORVC7.PPD", "*NickName: \"Norvane C7 PS\"",
         "*NickName: \"Norvane C5 PS\"", "each model is named by its PPD"},
        {"a second model whose DataFile is the first's PPD", kInfName, "DataFile=NORVC7.PPD", "DataFile=NORVC5.PPD",
         "DataFile is the PPD"},
        {"a second INI with a blank before '='", L"NORVC7.INI", "OEMConfigFile1=", "OEMConfigFile1 =",
         "INI names the plug-in"},
    });
}

// A name outside ASCII makes the INF UTF-16LE with a byte order mark, which
// setupapi reads back as the PPDs wrote the names (ISOLatin1 and UTF-8); an
// INF of ASCII names stays 8-bit.
TEST_F(TestPackages, NamesOutsideAsciiMakeTheInfUtf16) {
    const std::wstring dir = Package("names-outside-ascii");
    ExpectEachCheckPasses(dir);
    const std::string bytes = FileBytes(InfPath(dir));
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "no UTF-16LE byte order mark";
    EXPECT_EQ(ModelLines(dir), (std::vector<std::wstring>{L"Imprimante S\u00E9rie C7 = NORVC7FR.PPD",
                                                           L"\u30CE\u30EB\u30F4\u30A1\u30F3 C7 PS = NORVC7JA.PPD"}));
    for (const std::wstring& ascii : {InfPath(PackageDir()), InfPath(Package("family"))}) {
        const std::string text = FileBytes(ascii);
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; }))
            << Utf8(ascii) << " is not ASCII";
    }
}

// PROVIDER=, MANUFACTURER= and INF= stand for the PPDs' names; a '%' in them
// and in a model's name reads back as written.
TEST_F(TestPackages, SettingsNameTheProviderTheManufacturerAndTheInf) {
    const std::wstring dir = Package("settings");
    ExpectEachCheckPasses(dir);
    EXPECT_EQ(InfFiles(dir), std::vector<std::wstring>{L"NORVANE.INF"});
    OpenInf inf(InfPath(dir));
    EXPECT_EQ(inf.Value(L"Version", L"Provider"), L"Norvane Imaging");
    EXPECT_EQ(inf.Value(L"Version", L"CatalogFile"), L"NORVANE.CAT");
    const auto manufacturers = inf.Lines(L"Manufacturer");
    ASSERT_EQ(manufacturers.size(), 1u);
    EXPECT_EQ(manufacturers[0][0], L"Norvane Europe (100% Norvane)");
    EXPECT_EQ(ModelLines(dir), (std::vector<std::wstring>{L"Norvane C5 PS = NORVC5.PPD",
                                                           L"Norvane C7 PS (100% recycled) = NORVC7.PPD"}));
}

// What make package did with each family of tests/wine/test-packages.sh: it
// packages the right ones, and refuses each family with a planted mistake in
// one line that names it, writing no package.
Verdict MakePackageAcceptsThePpds(const std::wstring& attempt, const std::wstring& package) {
    const std::string status = FileBytes(attempt + L"\\status"), output = FileBytes(attempt + L"\\output");
    if (status.empty()) return {"", "no status: the attempt was not made"};
    std::string refusal;
    for (size_t at = 0; (at = output.find("package: ", at)) != std::string::npos; at += 9)
        if (at == 0 || output[at - 1] == '\n') refusal = output.substr(at, output.find('\n', at) - at);
    const bool packaged = ::GetFileAttributesW(InfPath(package).c_str()) != INVALID_FILE_ATTRIBUTES;
    Verdict v{"exit status " + status.substr(0, status.find('\n')) + (packaged ? ", packaged" : ", no package"), ""};
    if (std::stoi(status) != 0)
        v.failure = refusal.empty() ? "refused without a line saying why" : refusal;
    else if (!packaged)
        v.failure = "exit status 0, and no package";
    if (!v.failure.empty() && packaged) v.failure += " (and it wrote a package)";
    return v;
}

TEST_F(TestPackages, MakePackageRefusesEachPlantedMistakeInThePpds) {
    struct Row {
        const char* mistake;
        const char* attempt;
        const char* refusal;  // a piece of the refusal's line; null: packaged
        const char* shown;    // a piece of what the script printed
    };
    const Row rows[] = {
        {"the family", "family", nullptr, "NORVC5.INF: 2 models, provider Norvane"},
        {"names outside ASCII", "names-outside-ascii", nullptr, "model \"Imprimante S\u00E9rie C7\""},
        {"the settings", "settings", nullptr, "NORVANE.INF: 2 models, provider Norvane Imaging"},
        {"two PPDs with one model name", "one-model-name", "give one model name, \"Norvane C5 PS\"", nullptr},
        {"two PPDs with one file name", "one-file-name", "both ship as NORVC5.PPD (its *PCFileName)", nullptr},
        {"a PPD with a lint error", "lint-error", "has lint errors (above): fix them, or package anyway with LINT=warn",
         ": error: block-unclosed: the block of *QZTrayUnit"},
        {"a PPD with a lint error, under LINT=warn", "lint-error-warned", nullptr,
         ": error: block-unclosed: the block of *QZTrayUnit"},
        {"a PPD without a model name", "no-usable-name", "no usable model name", nullptr},
        {"a name outside ASCII without *LanguageEncoding", "no-encoding",
         "*NickName has bytes outside ASCII, and no *LanguageEncoding says how to read them", nullptr},
        {"a file name with a blank", "file-name", "the INF cannot carry the file name \"NORV C7.PPD\"", nullptr},
        {"a model name of 256 characters", "name-too-long", "is 256 characters long; an INF holds at most 255", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mistake);
        const Verdict v = MakePackageAcceptsThePpds(Attempt(row.attempt), Package(row.attempt));
        const std::string output = FileBytes(Attempt(row.attempt) + L"\\output");
        if (row.refusal) {
            std::printf("[ planted  ] %s: \"make package accepts the PPDs\" fails: %s\n", row.mistake,
                        v.failure.c_str());
            EXPECT_NE(v.failure.find(row.refusal), std::string::npos) << "refused otherwise: " << v.failure;
            EXPECT_EQ(v.failure.find("wrote a package"), std::string::npos) << v.failure;
        } else {
            std::printf("[ read     ] %s: %s\n", row.mistake, v.read.c_str());
            EXPECT_EQ(v.failure, "") << output;
        }
        if (row.shown) {
            EXPECT_NE(output.find(row.shown), std::string::npos) << output;
        }
    }
    // The package made despite the lint's errors is a package all the same.
    ExpectEachCheckPasses(Package("lint-error-warned"));
}

}  // namespace
