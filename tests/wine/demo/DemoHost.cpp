// corvina demo: the plug-in inside a stand-in for the PostScript driver's
// user-interface module, run the way a user meets it, with a readable account
// of every step.
//
//   corvina_demo.exe [--ppd FILE] [--installed *Keyword=Option]... [--interactive]
//                    [--screenshot FILE.bmp]
//
// Without --interactive nobody needs to be at the display: the demo types a
// confidential job into the real page and presses OK itself.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/ResourceIds.h"
#include "tests/wine/host/DriverUi.h"
#include "tests/wine/host/Spooler.h"

namespace {

using hostitems::ItemArray;
using hostitems::OutlineFeature;

struct Options {
    std::string ppd = host::SamplePpdPath();
    std::vector<std::pair<std::string, std::string>> installed;
    bool interactive = false;
    std::wstring screenshot;
};

// ---- What the demo reads from the PPD itself, to explain the marks ----------

struct Constraint {
    std::string feature1, option1, feature2, option2;  // keywords without '*'
};

struct PpdFacts {
    std::vector<OutlineFeature> outline;
    std::map<std::string, std::string> defaults;  // feature keyword -> default option
    std::vector<Constraint> constraints;
};

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
        size_t end = at;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
        if (end > at) words.push_back(text.substr(at, end - at));
        at = end;
    }
    return words;
}

PpdFacts ReadFacts(const std::string& bytes) {
    PpdFacts facts;
    facts.outline = hostitems::ReadPpdOutline(bytes);
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string head = line.substr(0, colon);
        const std::vector<std::string> value = Words(line.substr(colon + 1));
        if (head.rfind("*Default", 0) == 0 && value.size() == 1) {
            facts.defaults[head.substr(8)] = value[0];
        } else if ((head == "*UIConstraints" || head == "*NonUIConstraints") && value.size() == 4 &&
                   value[0][0] == '*' && value[2][0] == '*') {
            facts.constraints.push_back({value[0].substr(1), value[1], value[2].substr(1), value[3]});
        }
    }
    return facts;
}

const OutlineFeature* FeatureOf(const PpdFacts& facts, const std::string& keyword) {
    for (const OutlineFeature& feature : facts.outline)
        if (feature.keyword == keyword) return &feature;
    return nullptr;
}

std::string OptionTranslation(const PpdFacts& facts, const std::string& feature, const std::string& option) {
    if (const OutlineFeature* f = FeatureOf(facts, feature))
        for (const auto& o : f->options)
            if (o.keyword == option) return host::Utf8(o.translation);
    return option;
}

// ---- Output ------------------------------------------------------------------

void Heading(const char* text) { std::printf("\n== %s\n", text); }

std::string Narrow(const std::wstring& text) {
    return host::Utf8(std::u16string(reinterpret_cast<const char16_t*>(text.c_str()), text.size()));
}

const char* Status(HRESULT hr) {
    switch (hr) {
        case S_OK: return "S_OK";
        case E_FAIL: return "E_FAIL";
        case E_NOTIMPL: return "E_NOTIMPL";
        default: return "other";
    }
}

// The driver's own strings stand behind ids below 0x10000; the demo's driver
// knows what it meant by each.
std::string HostName(uintptr_t id) {
    switch (id) {
        case hostitems::kDocumentRootId: return "Document Options";
        case hostitems::kPrinterFeaturesId: return "Printer Features";
        case hostitems::kColourItemId: return "Color";
        case hostitems::kMonochromeOptionId: return "Monochrome";
        case hostitems::kColourOptionId: return "Color";
        case hostitems::kStandardNameIdBase + 4: return "Paper Source";
        case hostitems::kStandardNameIdBase + 5: return "Print Quality";
        case hostitems::kStandardNameIdBase + 7: return "Print on Both Sides";
        case hostitems::kStandardNameIdBase + 9: return "Paper Size";
        case hostitems::kStandardNameIdBase + 12: return "Media Type";
        case hostitems::kInstallableOptionsId: return "Installable Options";
        case hostitems::kInitialPrinterItemId: return "#400 (a host item)";
        case hostitems::kHiddenPrinterBranchId: return "#64798 (a host branch)";
        case 0x2030: return "#0x2030 (a host item inside it)";
        case 0x2031: return "#0x2031 (a host item after it)";
        case 0x2020:
        case 0x2021: return "host option";
        default: return "host string #" + std::to_string(id);
    }
}

std::string TextOf(const wchar_t* text) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(text);
    if (value < 0x10000) return HostName(value);
    return host::Utf8(ItemArray::Text(text));
}

std::string ItemFlags(DWORD flags) {
    std::string out;
    if (flags & OPTIF_HIDE) out += " hidden";
    if (flags & OPTIF_DISABLED) out += " disabled";
    if (flags & OPTIF_INITIAL_TVITEM) out += " initial-item";
    return out.empty() ? " -" : out;
}

std::string OptionFlags(BYTE flags) {
    std::string out;
    if (flags & OPTPF_HIDE) out += " hidden";
    if (flags & OPTPF_OVERLAY_WARNING_ICON) out += " WARNING";
    return out.empty() ? " -" : out;
}

std::string Padded(std::string text, size_t width) {
    // Width in characters, the UTF-8 continuation bytes not counted.
    size_t shown = 0;
    for (unsigned char c : text) shown += (c & 0xC0) != 0x80;
    if (shown < width) text.append(width - shown, ' ');
    return text;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// Flags of every item and option, to show what the plug-in changed.
struct Snapshot {
    std::vector<DWORD> items;
    std::vector<std::vector<BYTE>> options;
};

Snapshot Take(ItemArray& items) {
    Snapshot snapshot;
    for (DWORD i = 0; i < items.Count(); ++i) {
        snapshot.items.push_back(items.Item(i).Flags);
        snapshot.options.emplace_back();
        for (size_t j = 0; j < items.OptionCount(i); ++j) snapshot.options.back().push_back(items.Option(i, j).Flags);
    }
    return snapshot;
}

// Why an option carries the warning mark: the installed options that rule
// it out, with the PPD's constraint behind each.
std::vector<std::string> Reasons(const PpdFacts& facts, const host::Configuration& installed,
                                 const std::string& feature, const std::string& optionText) {
    std::vector<std::string> reasons;
    const OutlineFeature* f = FeatureOf(facts, feature);
    if (!f) return reasons;
    std::string option;
    for (const auto& o : f->options)
        if (host::Utf8(o.translation) == optionText) {
            option = o.keyword;
            break;
        }
    for (const Constraint& c : facts.constraints) {
        if (c.feature2 != feature || c.option2 != option) continue;
        auto current = installed.find(c.feature1);
        if (current == installed.end() || current->second != c.option1) continue;
        const OutlineFeature* hardware = FeatureOf(facts, c.feature1);
        reasons.push_back((hardware ? host::Utf8(hardware->translation) : c.feature1) + " is " +
                          OptionTranslation(facts, c.feature1, c.option1) + "  (*UIConstraints: *" + c.feature1 +
                          " " + c.option1 + " *" + c.feature2 + " " + c.option2 + ")");
    }
    return reasons;
}

// One line per item with its flags before -> after; options listed one per
// line where something changed, inline otherwise.
void PrintTree(ItemArray& items, const Snapshot& before, const PpdFacts& facts, const host::Configuration& installed,
               const std::string& note) {
    std::printf("   %s flags before -> after\n", Padded("item [PPD keyword]", 58).c_str());
    for (DWORD i = 0; i < items.Count(); ++i) {
        const OPTITEM& item = items.Item(i);
        const std::string keyword = hostitems::HostKeywordOf(item);
        std::string label(2 * item.Level, ' ');
        label += TextOf(item.pName);
        if (!keyword.empty()) label += " [" + keyword + "]";
        if (item.DMPubID == DMPUB_COLOR) label += " = " + TextOf(item.pOptType->pOptParam[item.Sel].pData);
        std::string line = "   " + Padded(label, 58);
        if (before.items[i] != item.Flags) {
            line += ItemFlags(before.items[i]) + " ->" + ItemFlags(item.Flags);
            if (keyword == "QZRendering" && (item.Flags & OPTIF_DISABLED)) line += "   " + note;
        }
        std::printf("%s\n", Trimmed(line).c_str());

        bool changed = false;
        for (size_t j = 0; j < items.OptionCount(i); ++j) changed |= before.options[i][j] != items.Option(i, j).Flags;
        if (!changed) {
            if (items.OptionCount(i) == 0 || keyword.empty()) continue;
            std::string inline_;
            for (size_t j = 0; j < items.OptionCount(i); ++j)
                inline_ += (j ? " | " : "") + TextOf(items.Option(i, j).pData);
            std::printf("   %s   %s\n", std::string(2 * item.Level, ' ').c_str(), inline_.c_str());
            continue;
        }
        for (size_t j = 0; j < items.OptionCount(i); ++j) {
            const BYTE flags = items.Option(i, j).Flags;
            const std::string text = TextOf(items.Option(i, j).pData);
            std::string optionLine = "   " + Padded(std::string(2 * item.Level + 4, ' ') + text, 58);
            if (before.options[i][j] != flags) optionLine += OptionFlags(before.options[i][j]) + " ->" + OptionFlags(flags);
            std::printf("%s\n", Trimmed(optionLine).c_str());
            if (flags & OPTPF_OVERLAY_WARNING_ICON)
                for (const std::string& reason : Reasons(facts, installed, keyword, text))
                    std::printf("   %s ruled out: %s\n", std::string(2 * item.Level + 6, ' ').c_str(), reason.c_str());
        }
    }
}

// ---- The record ----------------------------------------------------------------

std::string Units(const char16_t* field, size_t capacity) {
    std::u16string text;
    for (size_t i = 0; i < capacity && field[i]; ++i) text.push_back(field[i]);
    return "\"" + host::Utf8(text) + "\"";
}

void PrintRecord(const std::vector<BYTE>& bytes) {
    JOBSETTINGS r;
    std::memcpy(&r, bytes.data(), sizeof r);
    auto hex = [&bytes](size_t from, size_t count) {
        std::string out;
        char piece[4];
        for (size_t i = from; i < from + count; ++i) {
            std::snprintf(piece, sizeof piece, "%02X ", bytes[i]);
            out += piece;
        }
        return out;
    };
    static const char* const kKinds[] = {"none", "Re-Print Job", "Verify Job", "?", "Confidential Job"};
    struct Row {
        size_t offset, size;
        const char* field;
        std::string value;
    };
    const Row rows[] = {
        {0, 4, "dwSize", std::to_string(r.dwSize)},
        {4, 4, "dwSignature", "0x" + hex(7, 1).substr(0, 2) + hex(6, 1).substr(0, 2) + hex(5, 1).substr(0, 2) +
                                  hex(4, 1).substr(0, 2) + " ('QZPS')"},
        {8, 4, "dwVersion", std::to_string(r.dwVersion)},
        {12, 4, "dwReserved1", std::to_string(r.dwReserved1)},
        {16, 1, "bSaveAccessControl", std::to_string(r.bSaveAccessControl)},
        {17, 3, "(padding)", hex(17, 3) + "(the driver's fill, untouched)"},
        {20, 4, "dwReserveJobType",
         std::to_string(r.dwReserveJobType) + " (" + (r.dwReserveJobType < 5 ? kKinds[r.dwReserveJobType] : "?") + ")"},
        {24, 30, "szReserveUserName", Units(r.szReserveUserName, 15)},
        {54, 30, "szReserveJobName", Units(r.szReserveJobName, 15)},
        {84, 10, "szReservePassword", Units(r.szReservePassword, 5)},
        {94, 30, "szAccessUserName", Units(r.szAccessUserName, 15)},
        {124, 42, "szAccessPassword", Units(r.szAccessPassword, 21)},
        {166, 2, "(padding)", hex(166, 2) + "(the driver's fill, untouched)"},
        {168, 4, "dwReserved2", std::to_string(r.dwReserved2)},
    };
    std::printf("   offset size  field               value\n");
    for (const Row& row : rows)
        std::printf("   %6zu %4zu  %-19s %s\n", row.offset, row.size, row.field, row.value.c_str());
    std::printf("   bytes:\n");
    for (size_t at = 0; at < bytes.size(); at += 16)
        std::printf("   %04zX  %s\n", at, Trimmed(hex(at, std::min<size_t>(16, bytes.size() - at))).c_str());
}

// ---- The run ---------------------------------------------------------------------

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? Narrow(argv[++i]) : std::string(); };
        if (arg == L"--ppd") {
            options.ppd = next();
        } else if (arg == L"--installed") {
            std::string pair = next();
            if (!pair.empty() && pair[0] == '*') pair.erase(0, 1);
            const size_t equals = pair.find('=');
            if (equals == std::string::npos || equals == 0) {
                std::fprintf(stderr, "corvina demo: --installed takes '*Keyword=Option', got '%s'\n", pair.c_str());
                return false;
            }
            options.installed.push_back({pair.substr(0, equals), pair.substr(equals + 1)});
        } else if (arg == L"--interactive") {
            options.interactive = true;
        } else if (arg == L"--screenshot" && i + 1 < argc) {
            options.screenshot = argv[++i];
        } else {
            std::fprintf(stderr, "corvina demo: unknown option '%s'\n", Narrow(arg).c_str());
            return false;
        }
    }
    return true;
}

const host::TypedJob kJob = {L"Ana \"Lopez%\"", L"Q3 report\t\u00E9", L"12ab345"};

std::string Visible(const std::wstring& typed) {
    std::string out;
    for (wchar_t c : typed) {
        if (c == L'\t') out += "<TAB>";
        else out += Narrow(std::wstring(1, c));
    }
    return out;
}

int Run(const Options& options) {
    const std::string bytes = hostitems::ReadWholeFile(options.ppd.c_str());
    if (bytes.empty()) {
        std::fprintf(stderr, "corvina demo: cannot read the PPD '%s'\n", options.ppd.c_str());
        return 2;
    }
    const PpdFacts facts = ReadFacts(bytes);
    std::printf("corvina demo: the plug-in inside a stand-in for the PostScript driver's UI module\n");

    // What the driver reports as installed: the PPD's defaults, overridden
    // by the command line.
    host::Configuration installed;
    for (const OutlineFeature& feature : facts.outline) {
        if (feature.group != "InstallableOptions") continue;
        auto d = facts.defaults.find(feature.keyword);
        if (d != facts.defaults.end()) installed[feature.keyword] = d->second;
    }
    for (const auto& [keyword, option] : options.installed) {
        if (!installed.count(keyword))
            std::printf("note: %s is not an installable option of this PPD; passed on as given\n", keyword.c_str());
        installed[keyword] = option;
    }

    host::PluginModule module;
    if (!module.Load()) {
        std::fprintf(stderr, "corvina demo: corvina.dll did not load (error %lu)\n", ::GetLastError());
        return 1;
    }
    std::printf("   plug-in    %s (%s)\n", Narrow(host::PluginPath()).c_str(), sizeof(void*) == 8 ? "x64" : "x86");

    host::SpooledPrinter printer;
    if (!printer.Install(options.ppd)) {
        std::fprintf(stderr, "corvina demo: %s\n", printer.error().c_str());
        return 1;
    }
    std::printf("   printer    \"%s\" in Wine's spooler, driver \"%s\"\n", Narrow(printer.printerName()).c_str(),
                Narrow(printer.driverName()).c_str());
    std::printf("   PPD        %s\n              (the driver's data file, copied from %s)\n",
                Narrow(printer.dataFile()).c_str(), options.ppd.c_str());
    std::printf("   code page  %u (the ANSI code page, in which the plug-in reads the PPD's bytes)\n", ::GetACP());
    std::printf("   installed ");
    for (const auto& [keyword, option] : installed) std::printf(" *%s=%s", keyword.c_str(), option.c_str());
    std::printf("\n");

    host::DriverUi ui(module, printer.handle(), facts.outline);
    ui.helper.installed = installed;

    Heading("1. The driver creates the plug-in object and sizes and defaults its record");
    if (!ui.CreatePlugin()) {
        std::fprintf(stderr, "corvina demo: no plug-in object\n");
        return 1;
    }
    std::printf("   DllGetClassObject, CreateInstance(IUnknown), QueryInterface(IPrintOemUI2): object made\n");
    std::printf("   PublishDriverInterface: the object keeps the driver's helper (references now %ld)\n",
                ui.helper.refs);
    const HRESULT sized = ui.SizeRecord();
    std::printf("   DevMode(OEMDM_SIZE): %s, %lu bytes\n", Status(sized), ui.recordSize);
    const HRESULT defaulted = ui.DefaultRecord();
    std::printf("   DevMode(OEMDM_DEFAULT): %s, into a buffer the driver filled with 0xEE\n", Status(defaulted));

    Heading("2. Document properties: CommonUIProp, first and second call");
    // The stored settings print in monochrome, so the rendering item starts disabled.
    const std::vector<hostitems::ItemSpec> documentSpecs =
        hostitems::DocumentItemSpecs(facts.outline, hostitems::ColourItem::beforeFeatures, 0);
    ItemArray pristine(documentSpecs);
    const Snapshot documentBefore = Take(pristine);
    host::Sheet& document = ui.OpenDocumentSheet(hostitems::ColourItem::beforeFeatures, 0);
    std::printf("   first call: %s, the plug-in adds %lu items; it read the PPD through GetPrinterDriverW and asked\n"
                "   the driver (DrvGetDriverSetting) for:",
                Status(document.firstCall), document.param.cOEMOptItems);
    for (const std::string& query : ui.helper.QueriedFeatures())
        std::printf(" %s=%s", query.c_str(), installed.count(query) ? installed.at(query).c_str() : "(no answer)");
    if (ui.helper.settingQueries.empty()) std::printf(" nothing (the PPD has no InstallableOptions group)");
    std::printf("\n   second call: %s; callback installed: %s, context handed over: %s\n",
                Status(document.secondCall), document.param.OEMCUIPCallback ? "yes" : "no",
                document.param.pOEMUserData ? "yes" : "no");
    std::printf("\n   The document tree; flags show where the plug-in changed something:\n");
    PrintTree(document.items, documentBefore, facts, installed,
              "(the Color item before it selects Monochrome)");
    const std::set<std::string> marks = hostitems::WarningMarks(document.items);
    std::printf("\n   %zu options carry the warning mark.\n", marks.size());

    Heading("3. Printer properties: CommonUIProp, first and second call");
    ItemArray pristinePrinter(hostitems::PrinterItemSpecs(facts.outline));
    const Snapshot printerBefore = Take(pristinePrinter);
    host::Sheet& printerSheet = ui.OpenPrinterSheet();
    std::printf("   first call: %s (no installed options asked for), second call: %s\n\n",
                Status(printerSheet.firstCall), Status(printerSheet.secondCall));
    PrintTree(printerSheet.items, printerBefore, facts, installed, "");
    std::printf("\n   #400 becomes the item the tree shows selected at first; #64798 is hidden with its branch:\n"
                "   the items after it up to the next one at its own level, and their options.\n");

    Heading("4. The document properties in Wine's CommonPropertySheetUIW, with the Job Settings page");
    std::string failure;
    std::vector<std::pair<std::string, std::string>> typed;
    bool screenshotWritten = false;
    const host::SheetRun run = ui.ShowDocumentProperties([&](host::SheetDriver& driver) {
        if (!driver.WaitForSheet()) {
            failure = "the sheet did not show";
            return;
        }
        if (options.interactive) {
            std::printf("   the sheet is up on the display; fill it in and press OK or Cancel\n");
            std::fflush(stdout);
            while (!driver.WaitForSheetReturn()) {
            }
            return;
        }
        driver.Click(IDC_RESERVE_JOB);
        driver.Click(IDC_RESERVE_CONFIDENTIAL);
        const std::pair<int, const std::wstring*> fields[] = {
            {IDC_RESERVE_USER_NAME, &kJob.userName}, {IDC_RESERVE_JOB_NAME, &kJob.jobName},
            {IDC_RESERVE_PASSWORD, &kJob.password}};
        for (const auto& [id, text] : fields) {
            driver.Type(id, *text);
            typed.push_back({Visible(*text), Narrow(driver.Text(id))});
        }
        if (!options.screenshot.empty()) screenshotWritten = driver.Screenshot(options.screenshot);
        driver.PostPressButton(PSBTN_OK);
        const HWND sheet = driver.sheet();
        if (!driver.WaitUntil([&] { return driver.MessageBoxOpen() || !::IsWindow(sheet); })) {
            failure = "the sheet did not close";
        } else if (driver.MessageBoxOpen()) {
            failure = "the page refused the input: " + Narrow(driver.CloseMessageBox().text);
        } else if (!driver.WaitForSheetReturn()) {
            failure = "CommonPropertySheetUIW did not return";
        }
    });
    if (!failure.empty()) {
        std::fprintf(stderr, "corvina demo: %s\n", failure.c_str());
        return 1;
    }
    std::printf("   the sheet's reasons, passed to DocumentPropertySheets:");
    for (WORD reason : run.reasons) std::printf(" %u", reason);
    std::printf("  (5 before-init, 0 init, 1 info header, 2 destroy)\n");
    if (!options.interactive) {
        std::printf("   ticked Reserve Job, picked Confidential Job, then typed one keystroke at a time:\n");
        const char* const names[] = {"user name", "job name", "password"};
        for (size_t i = 0; i < typed.size(); ++i)
            std::printf("     %-9s typed %-16s the field holds \"%s\"\n", names[i],
                        ("\"" + typed[i].first + "\"").c_str(), typed[i].second.c_str());
        std::printf("   (the filters refuse '\"', '%%', tab and letters outside ASCII in names, all but digits in the\n"
                    "   password, whose field takes four)\n");
        if (!options.screenshot.empty() && !screenshotWritten) std::printf("   (no screenshot of the filled page)\n");
        std::printf("   pressed OK\n");
    }

    Heading("5. The record the driver keeps after OK");
    PrintRecord(ui.record);

    Heading("6. The user switches the Color item; the driver calls the installed callback");
    OPTITEM* rendering = ui.RenderingItem();
    if (!rendering) {
        std::printf("   this PPD has no QZRendering item: nothing to keep in step\n");
    } else {
        const LONG steps[] = {1, 0};
        for (LONG sel : steps) {
            const DWORD flagsBefore = rendering->Flags;
            const LONG selBefore = rendering->Sel;
            ui.helper.updates.clear();
            const LONG action = ui.SelectColour(sel);
            std::printf("   Color item set to %-11s callback answers %ld (OPTIF_CHANGED); Color Mode item:%s ->%s,"
                        " Sel %ld -> %ld; DrvUpdateUISetting calls: %zu\n",
                        sel ? "Color:" : "Monochrome:", static_cast<long>(action), ItemFlags(flagsBefore).c_str(),
                        ItemFlags(rendering->Flags).c_str(), static_cast<long>(selBefore),
                        static_cast<long>(rendering->Sel), ui.helper.updates.size());
        }
    }

    Heading("7. The driver releases the object");
    const ULONG left = ui.ReleasePlugin();
    std::printf("   Release: %lu references left; the driver's helper is back to %ld reference; DllCanUnloadNow: %s\n",
                left, ui.helper.refs, module.canUnloadNow() == S_OK ? "S_OK" : "S_FALSE");
    printer.Remove();
    std::printf("   the test printer and its driver are removed from Wine's spooler\n");
    return left == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;
    const int status = Run(options);
    std::fflush(stdout);
    return status;
}
