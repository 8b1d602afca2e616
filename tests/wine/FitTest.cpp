// Every text of the Job Settings page fits its control, in each language of
// the catalogue and at 96 and 144 DPI, in the page's own font inside Wine's
// property sheet: DrawTextW (DT_CALCRECT, with the control's own wrapping)
// against the room the control leaves its text. A pseudo-language run, which
// never fails, shows how much room the texts have left.
//
// Wine's UI language is fixed for a session and its DPI for a process, so a
// run (one per language, LANG and CORVINA_UI_LANGUAGE set as for the page
// tests) measures each DPI in a child process started with HKCU\Control
// Panel\Desktop\LogPixels set to it:
//
//   wine_fit_tests.exe --measure REPORT [--pseudo]
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "frame/JobSettings.h"
#include "resources/ResourceIds.h"
#include "tests/wine/host/PluginHost.h"
#include "tests/wine/host/PropertySheetHost.h"

namespace {

using host::Utf8;

struct Language {
    const char* locale;
    uint16_t block;  // the catalogue block the page shows
};
const Language kLanguages[] = {
    {"en_US", 0x0400}, {"de_DE", 0x0407}, {"fr_FR", 0x040C}, {"it_IT", 0x0410},
    {"ja_JP", 0x0411}, {"nl_NL", 0x0413}, {"pt_PT", 0x0816}, {"es_ES", 0x0C0A},
};
const int kDpis[] = {96, 144};

struct Row {
    Language language;
    int dpi;
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.language.locale << " at " << row.dpi << " dpi"; }

// The controls that carry a caption, by the names translators see in the template.
const std::map<int, const char*> kControlNames = {
    {IDC_ACCESS_GROUP, "IDC_ACCESS_GROUP"},
    {IDC_ACCESS_DESCRIPTION, "IDC_ACCESS_DESCRIPTION"},
    {IDC_SAVE_ACCESS_CONTROL, "IDC_SAVE_ACCESS_CONTROL"},
    {IDC_ACCESS_USER_NAME_LABEL, "IDC_ACCESS_USER_NAME_LABEL"},
    {IDC_ACCESS_PASSWORD_LABEL, "IDC_ACCESS_PASSWORD_LABEL"},
    {IDC_STATIC, "the Reserve Job Settings group (IDC_STATIC)"},
    {IDC_RESERVE_JOB, "IDC_RESERVE_JOB"},
    {IDC_RESERVE_REPRINT, "IDC_RESERVE_REPRINT"},
    {IDC_RESERVE_VERIFY, "IDC_RESERVE_VERIFY"},
    {IDC_RESERVE_CONFIDENTIAL, "IDC_RESERVE_CONFIDENTIAL"},
    {IDC_RESERVE_PASSWORD_GROUP, "IDC_RESERVE_PASSWORD_GROUP"},
    {IDC_RESERVE_USER_NAME_GROUP, "IDC_RESERVE_USER_NAME_GROUP"},
    {IDC_RESERVE_JOB_NAME_GROUP, "IDC_RESERVE_JOB_NAME_GROUP"},
};

std::string ControlName(int id) {
    const auto it = kControlNames.find(id);
    return it != kControlNames.end() ? it->second : "control " + std::to_string(id);
}

// ------------------------------------------------------------ measuring side

// One captioned control: the room it leaves its text and what the text needs,
// in pixels: a wrapping text its height at the room's width, and the width
// below which its lines no longer fit that room.
struct Fit {
    int id = 0;
    bool wraps = false;
    bool known = true;  // a control kind the rules below cover
    int roomWidth = 0, roomHeight = 0;
    int needWidth = 0, needHeight = 0;
    std::wstring text;
};

std::wstring WindowText(HWND control) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The room is the client rectangle less what the control draws besides its
// text, as the common controls' buttons lay themselves out: a check box or
// radio button puts a box of 12 px at 96 dpi (plus one) and half a digit's
// width before its label, a group box indents its caption by 7 px on both
// sides, and a button label keeps one pixel on each side for its focus frame.
Fit Measure(HWND control, HDC dc) {
    Fit fit;
    fit.id = ::GetDlgCtrlID(control);
    fit.text = WindowText(control);
    RECT client;
    ::GetClientRect(control, &client);
    fit.roomWidth = client.right;
    fit.roomHeight = client.bottom;

    wchar_t windowClass[32] = {};
    ::GetClassNameW(control, windowClass, 32);
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    UINT flags = DT_CALCRECT;
    int labelMargin = 0;
    if (::lstrcmpiW(windowClass, L"Static") == 0) {
        const LONG type = style & SS_TYPEMASK;
        fit.known = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
        fit.wraps = true;
        flags |= DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    } else if (::lstrcmpiW(windowClass, L"Button") == 0) {
        const LONG type = style & BS_TYPEMASK;
        const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
        int digit = 0;
        ::GetCharWidthW(dc, L'0', L'0', &digit);
        fit.wraps = (style & BS_MULTILINE) != 0;
        flags |= fit.wraps ? DT_WORDBREAK : DT_SINGLELINE;
        labelMargin = 2;
        if (type == BS_GROUPBOX) {
            fit.roomWidth -= 2 * 7;
        } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                   type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE) {
            fit.roomWidth -= 12 * dpi / 96 + 1 + digit / 2;
        } else {
            fit.known = false;
        }
    } else {
        fit.known = false;
    }
    // A wrapping text needs the narrowest width at which its lines still
    // fit the room's height; one that does not fit, the room's width.
    auto extent = [&](int width) {
        RECT need = {0, 0, width - labelMargin, 0};
        ::DrawTextW(dc, fit.text.c_str(), static_cast<int>(fit.text.size()), &need, flags);
        return SIZE{need.right - need.left + labelMargin, need.bottom - need.top + labelMargin};
    };
    SIZE need = extent(fit.wraps ? fit.roomWidth : 0);
    if (fit.wraps && need.cy <= fit.roomHeight && need.cx <= fit.roomWidth) {
        int fits = fit.roomWidth, fails = labelMargin;
        while (fits - fails > 1) {
            const int width = (fits + fails) / 2;
            const SIZE at = extent(width);
            (at.cy <= fit.roomHeight && at.cx <= width ? fits : fails) = width;
        }
        need.cx = fits;
    }
    fit.needWidth = need.cx;
    fit.needHeight = need.cy;
    return fit;
}

// Longer by 30 % and accented, the way translations often come back.
std::wstring Pseudo(const std::wstring& text) {
    static const std::wstring plain = L"aeiouAEIOUcCnNyY";
    static const std::wstring accented = L"\u00E1\u00E9\u00ED\u00F3\u00FA\u00C1\u00C9\u00CD"
                                         L"\u00D3\u00DA\u00E7\u00C7\u00F1\u00D1\u00FD\u00DD";
    const size_t extra = (text.size() * 3 + 9) / 10;
    std::wstring longer = text + L" " + text.substr(0, extra - 1);
    for (wchar_t& c : longer)
        if (const size_t at = plain.find(c); at != std::wstring::npos) c = accented[at];
    return longer;
}

std::vector<Fit> MeasurePage(HWND page, bool pseudo) {
    std::vector<Fit> fits;
    for (HWND control = ::GetWindow(page, GW_CHILD); control; control = ::GetWindow(control, GW_HWNDNEXT)) {
        wchar_t windowClass[32] = {};
        ::GetClassNameW(control, windowClass, 32);
        if (::lstrcmpiW(windowClass, L"Edit") == 0 || ::GetWindowTextLengthW(control) == 0) continue;
        if (pseudo) {
            const std::wstring longer = Pseudo(WindowText(control));
            ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longer.c_str()));
        }
        HDC dc = ::GetDC(control);
        HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
        fits.push_back(Measure(control, dc));
        ::SelectObject(dc, previous);
        ::ReleaseDC(control, dc);
    }
    return fits;
}

// The child's part: the page in the sheet, measured, written to `report` as
// one line for the DPI and one per control.
int MeasureInThisProcess(const wchar_t* report, bool pseudo) {
    host::PluginModule module;
    IPrintOemUI2* plugin = module.Load() ? module.CreatePlugin() : nullptr;
    if (!plugin) {
        std::fprintf(stderr, "wine_fit_tests: no plug-in object from corvina.dll (%lu)\n", ::GetLastError());
        return 1;
    }
    JOBSETTINGS record = {};
    record.dwSize = kJobSettingsSize;
    record.dwSignature = kJobSettingsSignature;
    record.dwVersion = kJobSettingsVersion;
    std::vector<Fit> fits;
    int dpi = 0;
    HANDLE heap = ::HeapCreate(0, 0, 0);
    {
        host::PropertySheetHost sheet(plugin, module.handle, heap);
        sheet.Run(&record, [&](host::SheetDriver& driver) {
            if (!driver.WaitForSheet()) return;
            HDC screen = ::GetDC(nullptr);
            dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
            ::ReleaseDC(nullptr, screen);
            fits = MeasurePage(driver.CurrentPage(), pseudo);
            driver.PostPressButton(PSBTN_CANCEL);
            driver.WaitForSheetReturn();
        });
    }
    plugin->Release();
    ::HeapDestroy(heap);
    if (fits.empty()) {
        std::fprintf(stderr, "wine_fit_tests: the page did not show\n");
        return 1;
    }
    FILE* out = _wfopen(report, L"wb");
    if (!out) return 1;
    std::fprintf(out, "dpi %d\n", dpi);
    for (const Fit& f : fits)
        std::fprintf(out, "%d %d %d %d %d %d %d %s\n", f.id, f.wraps, f.known, f.roomWidth, f.roomHeight, f.needWidth,
                     f.needHeight, Utf8(f.text).c_str());
    return std::fclose(out) == 0 ? 0 : 1;
}

// ---------------------------------------------------------------- test side

// The system DPI that processes started from now on take; the value before
// is put back when this goes (setup-wine.sh also resets it before each run).
class SystemDpi {
public:
    explicit SystemDpi(DWORD dpi) {
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                          nullptr);
        DWORD size = sizeof before_;
        had_ = ::RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&before_), &size) ==
               ERROR_SUCCESS;
        ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~SystemDpi() {
        if (had_)
            ::RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before_), sizeof before_);
        else
            ::RegDeleteValueW(key_, L"LogPixels");
        ::RegCloseKey(key_);
    }
    SystemDpi(const SystemDpi&) = delete;
    SystemDpi& operator=(const SystemDpi&) = delete;

private:
    HKEY key_ = nullptr;
    DWORD before_ = 0;
    bool had_ = false;
};

struct PageReport {
    int dpi = 0;
    std::vector<Fit> fits;
    std::string error;
};

// Starts this program as a child at `dpi` and reads what it measured.
PageReport MeasureInChild(int dpi, bool pseudo) {
    PageReport result;
    wchar_t self[MAX_PATH], temp[MAX_PATH], report[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ::GetTempPathW(MAX_PATH, temp);
    ::GetTempFileNameW(temp, L"fit", 0, report);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --measure \"" + report + L"\"";
    if (pseudo) command += L" --pseudo";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child = {};
    DWORD exitCode = 1;
    {
        const SystemDpi systemDpi(static_cast<DWORD>(dpi));
        if (!::CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
            result.error = "CreateProcessW failed: " + std::to_string(::GetLastError());
            return result;
        }
        // A page shows in seconds; 32-bit Wine through QEMU takes longer.
        if (::WaitForSingleObject(child.hProcess, 240000) == WAIT_TIMEOUT) {
            ::TerminateProcess(child.hProcess, 1);
            result.error = "the measuring child did not finish within 240 s";
        }
        ::GetExitCodeProcess(child.hProcess, &exitCode);
        ::CloseHandle(child.hThread);
        ::CloseHandle(child.hProcess);
    }
    std::ifstream in(Utf8(report));
    std::string line;
    if (std::getline(in, line)) std::sscanf(line.c_str(), "dpi %d", &result.dpi);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Fit f;
        fields >> f.id >> f.wraps >> f.known >> f.roomWidth >> f.roomHeight >> f.needWidth >> f.needHeight;
        std::string text;
        std::getline(fields >> std::ws, text);
        const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
        f.text.resize(units > 0 ? units - 1 : 0);
        if (units > 1) ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, f.text.data(), units);
        result.fits.push_back(f);
    }
    in.close();
    ::DeleteFileW(report);
    if (exitCode != 0 && result.error.empty())
        result.error = "the measuring child exited with " + std::to_string(exitCode);
    return result;
}

// Pixels to spare, negative where the text clips: in height where its lines
// do not fit, else in width.
struct Margin {
    int pixels;
    const char* dimension;
};

Margin MarginOf(const Fit& f) {
    if (f.needHeight > f.roomHeight) return {f.roomHeight - f.needHeight, "height"};
    return {f.roomWidth - f.needWidth, "width"};
}

std::string Describe(const Fit& f) {
    const Margin m = MarginOf(f);
    return ControlName(f.id) + " (\"" + Utf8(f.text) + "\"): needs " + std::to_string(f.needWidth) + "x" +
           std::to_string(f.needHeight) + " px, has " + std::to_string(f.roomWidth) + "x" +
           std::to_string(f.roomHeight) + ": " + std::to_string(m.pixels < 0 ? -m.pixels : m.pixels) + " px " +
           (m.pixels < 0 ? "missing" : "to spare") + " in " + m.dimension;
}

uint16_t SessionBlock() {
    const char* value = std::getenv("CORVINA_UI_LANGUAGE");
    return value && *value ? static_cast<uint16_t>(std::strtoul(value, nullptr, 16)) : 0x0400;
}

// The rows of the table that this run's UI language can measure.
std::vector<Row> RowsOfThisSession() {
    std::vector<Row> rows;
    for (const Language& language : kLanguages)
        if (language.block == SessionBlock())
            for (int dpi : kDpis) rows.push_back({language, dpi});
    return rows;
}

std::string RowName(const testing::TestParamInfo<Row>& info) {
    return std::string(info.param.language.locale) + "_" + std::to_string(info.param.dpi) + "dpi";
}

class TranslationFit : public testing::TestWithParam<Row> {};

TEST_P(TranslationFit, EveryPageTextFitsItsControl) {
    const Row& row = GetParam();
    if (row.language.block != 0x0400) {
        ASSERT_EQ(::GetUserDefaultUILanguage(), row.language.block)
            << "is the locale " << row.language.locale << " installed?";
    }
    const PageReport report = MeasureInChild(row.dpi, false);
    ASSERT_EQ(report.error, "");
    ASSERT_EQ(report.dpi, row.dpi) << "the child did not start at the DPI set for it";
    ASSERT_EQ(report.fits.size(), kControlNames.size()) << "captioned controls measured";

    const Fit* tightest = nullptr;
    for (const Fit& f : report.fits) {
        EXPECT_TRUE(f.known) << "no rule for the kind of " << ControlName(f.id);
        EXPECT_GE(MarginOf(f).pixels, 0) << "clips in " << row.language.locale << " at " << row.dpi << " dpi, "
                                         << Describe(f);
        if (!tightest || MarginOf(f).pixels < MarginOf(*tightest).pixels) tightest = &f;
    }
    std::printf("[ tightest ] %s at %3d dpi: %s\n", row.language.locale, row.dpi, Describe(*tightest).c_str());
}

INSTANTIATE_TEST_SUITE_P(Languages, TranslationFit, testing::ValuesIn(RowsOfThisSession()), RowName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(TranslationFit);

class PseudoLanguage : public testing::TestWithParam<int> {};

// Every page text 30 % longer and accented, set on the live controls: each
// control is listed with the room it has left or the pixels it would miss,
// and none of them fails the run.
TEST_P(PseudoLanguage, ListsTheControlsThatWouldClip) {
    const PageReport report = MeasureInChild(GetParam(), true);
    ASSERT_EQ(report.error, "");
    ASSERT_EQ(report.dpi, GetParam());
    int clipping = 0;
    for (const Fit& f : report.fits) {
        const bool clips = MarginOf(f).pixels < 0;
        clipping += clips;
        std::printf("[ %s ] pseudo at %3d dpi: %s\n", clips ? "clips   " : "fits    ", GetParam(), Describe(f).c_str());
    }
    std::printf("[ pseudo   ] at %3d dpi, %d of %zu captioned controls would clip\n", GetParam(), clipping,
                report.fits.size());
}

INSTANTIATE_TEST_SUITE_P(Dpis, PseudoLanguage, testing::ValuesIn(kDpis),
                         [](const testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "dpi"; });

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wstring(argv[1]) == L"--measure")
        return MeasureInThisProcess(argv[2], argc > 3 && std::wstring(argv[3]) == L"--pseudo");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
