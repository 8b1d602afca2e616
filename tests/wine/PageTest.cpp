// The Job Settings page of the real DLL inside Wine's own common
// property-sheet service, driven with the window messages a user's input
// produces: what it shows, what each field lets through, what the check
// boxes and radio buttons enable, how it refuses an incomplete reserve job,
// and the bytes it leaves in the job settings record.
//
// Each run names its UI language in CORVINA_UI_LANGUAGE (hex language id;
// unset means the neutral block) and sets LANG to match.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "frame/JobSettings.h"
#include "resources/Catalog.h"
#include "resources/ResourceIds.h"
#include "tests/wine/host/PluginHost.h"
#include "tests/wine/host/PropertySheetHost.h"

namespace {

constexpr uint16_t kNeutral = 0x0400;
constexpr int kPluginTab = 0;
constexpr int kHostTab = 1;

uint16_t UiLanguage() {
    const char* value = std::getenv("CORVINA_UI_LANGUAGE");
    return value && *value ? static_cast<uint16_t>(std::strtoul(value, nullptr, 16)) : kNeutral;
}

std::wstring Catalog(UINT id) {
    const char16_t* text = resources::FindCatalogText(UiLanguage(), id);
    return text ? std::wstring(reinterpret_cast<const wchar_t*>(text)) : L"<not in the catalogue>";
}

void Put(char16_t* field, size_t capacity, const wchar_t* text) {
    size_t n = 0;
    for (; text[n] && n + 1 < capacity; ++n) field[n] = static_cast<char16_t>(text[n]);
    for (; n < capacity; ++n) field[n] = 0;
}

#define PUT(record, field, text) Put((record).field, std::size((record).field), text)

// A stored record whose bytes outside the page's fields are not what the
// defaults write, so that any write there shows.
JOBSETTINGS StoredRecord() {
    JOBSETTINGS record;
    std::memset(&record, 0, sizeof record);
    record.dwSize = kJobSettingsSize;
    record.dwSignature = kJobSettingsSignature;
    record.dwVersion = kJobSettingsVersion;
    record.dwReserved1 = 0xA1A2A3A4;
    std::memset(record.padding1, 0xEE, sizeof record.padding1);
    std::memset(record.padding2, 0xEE, sizeof record.padding2);
    record.dwReserved2 = 0xB1B2B3B4;
    return record;
}

// Fills a field to its last unit, terminator after the text included, so a
// field the page must keep shows any write.
void Scribble(char16_t* field, size_t capacity, const wchar_t* text) {
    Put(field, capacity, text);
    for (size_t n = std::wcslen(text) + 1; n < capacity; ++n) field[n] = u'#';
}

#define SCRIBBLE(record, field, text) Scribble((record).field, std::size((record).field), text)

testing::AssertionResult SameBytes(const JOBSETTINGS& want, const JOBSETTINGS& got) {
    const auto* a = reinterpret_cast<const unsigned char*>(&want);
    const auto* b = reinterpret_cast<const unsigned char*>(&got);
    testing::AssertionResult result = testing::AssertionSuccess();
    int differences = 0;
    for (size_t i = 0; i < sizeof want; ++i) {
        if (a[i] == b[i]) continue;
        if (differences++ == 0) result = testing::AssertionFailure() << "bytes differ:";
        if (differences <= 12) {
            char line[64];
            std::snprintf(line, sizeof line, "\n  offset %zu: want 0x%02x, got 0x%02x", i, a[i], b[i]);
            result << line;
        }
    }
    if (differences > 12) result << "\n  ... " << differences << " bytes in all";
    return result;
}

std::vector<host::ServiceCall> CallsOf(const host::SheetRun& run, UINT function) {
    std::vector<host::ServiceCall> calls;
    for (const host::ServiceCall& call : run.serviceCalls)
        if (call.function == function) calls.push_back(call);
    return calls;
}

// Each successful apply reports CPSUI_OK for the page handle the service gave.
void ExpectResultsReported(const host::SheetRun& run, size_t applies) {
    const auto added = CallsOf(run, CPSFUNC_ADD_PROPSHEETPAGEW);
    const auto results = CallsOf(run, CPSFUNC_SET_RESULT);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(results.size(), applies);
    for (const host::ServiceCall& call : results) {
        EXPECT_EQ(call.lParam1, added[0].answer);
        EXPECT_EQ(call.lParam2, CPSUI_OK);
    }
}

// The control ids of the page, as the dependent fields and the rest.
const int kDependentFields[] = {IDC_ACCESS_USER_NAME, IDC_ACCESS_PASSWORD,      IDC_RESERVE_REPRINT,
                                IDC_RESERVE_VERIFY,   IDC_RESERVE_CONFIDENTIAL, IDC_RESERVE_PASSWORD,
                                IDC_RESERVE_USER_NAME, IDC_RESERVE_JOB_NAME};
const int kAlwaysEnabled[] = {IDC_ACCESS_GROUP,           IDC_ACCESS_DESCRIPTION,     IDC_SAVE_ACCESS_CONTROL,
                              IDC_ACCESS_USER_NAME_LABEL, IDC_ACCESS_PASSWORD_LABEL,  IDC_STATIC,
                              IDC_RESERVE_JOB,            IDC_RESERVE_PASSWORD_GROUP, IDC_RESERVE_USER_NAME_GROUP,
                              IDC_RESERVE_JOB_NAME_GROUP};
const int kEdits[] = {IDC_ACCESS_USER_NAME, IDC_ACCESS_PASSWORD, IDC_RESERVE_USER_NAME, IDC_RESERVE_JOB_NAME,
                      IDC_RESERVE_PASSWORD};

class PageTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.Load()) << "LoadLibraryW failed: " << ::GetLastError();
        plugin = module.CreatePlugin();
        ASSERT_NE(plugin, nullptr);
        heap = ::HeapCreate(0, 0, 0);
        ASSERT_NE(heap, nullptr);
    }
    void TearDown() override {
        if (plugin) {
            EXPECT_EQ(plugin->Release(), 0u);
        }
        if (heap) ::HeapDestroy(heap);
    }

    // One opening of the document properties over `record`.
    host::SheetRun Show(JOBSETTINGS& record, const std::function<void(host::SheetDriver&)>& script,
                        host::PropertySheetHost::HostPage hostPage = host::PropertySheetHost::HostPage::After) {
        host::PropertySheetHost sheet(plugin, module.handle, heap);
        sheet.hostPage = hostPage;
        host::SheetRun run = sheet.Run(&record, [&](host::SheetDriver& driver) {
            if (!driver.WaitForSheet()) {
                ADD_FAILURE() << "the sheet did not show";
                return;
            }
            script(driver);
        });
        EXPECT_EQ(run.commonUiProp, S_OK);
        EXPECT_TRUE(run.scriptFinished);
        EXPECT_FALSE(run.scriptLeftSheetOpen) << "the script's last step did not close the sheet";
        return run;
    }

    static void Cancel(host::SheetDriver& driver) {
        driver.PostPressButton(PSBTN_CANCEL);
        EXPECT_TRUE(driver.WaitForSheetReturn());
    }

    host::PluginModule module;
    IPrintOemUI2* plugin = nullptr;
    HANDLE heap = nullptr;
};

// The tab and every control text come from the catalogue block of the UI
// language, and the page's font draws every character of them (a missing
// glyph would show as a box in the screenshots).
TEST_F(PageTest, ShowsTheCatalogueTextsOfTheUiLanguageWithRealGlyphs) {
    struct Row {
        int control;
        UINT text;
    };
    const Row rows[] = {
        {IDC_SAVE_ACCESS_CONTROL, IDS_SAVE_ACCESS_CONTROL}, {IDC_ACCESS_USER_NAME_LABEL, IDS_USER_NAME},
        {IDC_ACCESS_DESCRIPTION, IDS_ACCESS_DESCRIPTION},   {IDC_ACCESS_PASSWORD_LABEL, IDS_PASSWORD},
        {IDC_ACCESS_GROUP, IDS_ACCESS_GROUP},               {IDC_STATIC, IDS_RESERVE_JOB},
        {IDC_RESERVE_JOB, IDS_RESERVE_JOB},                 {IDC_RESERVE_REPRINT, IDS_RESERVE_REPRINT},
        {IDC_RESERVE_VERIFY, IDS_RESERVE_VERIFY},           {IDC_RESERVE_CONFIDENTIAL, IDS_RESERVE_CONFIDENTIAL},
        {IDC_RESERVE_PASSWORD_GROUP, IDS_PASSWORD},         {IDC_RESERVE_USER_NAME_GROUP, IDS_USER_NAME},
        {IDC_RESERVE_JOB_NAME_GROUP, IDS_JOB_NAME},
    };
    JOBSETTINGS record = StoredRecord();
    const host::SheetRun run = Show(record, [&](host::SheetDriver& driver) {
        EXPECT_EQ(driver.TabCount(), 2);
        EXPECT_EQ(driver.CurrentTab(), kPluginTab);
        EXPECT_EQ(driver.TabTitle(kPluginTab), Catalog(IDS_PAGE_TITLE));
        EXPECT_EQ(driver.TabTitle(kHostTab), host::kHostPageTitle);
        EXPECT_EQ(driver.Caption(), L"OEM UI Page");

        HWND page = driver.CurrentPage();
        HDC dc = ::GetDC(page);
        HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(page, WM_GETFONT, 0, 0)));
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << "control " << row.control);
            const std::wstring text = driver.Text(row.control);
            EXPECT_EQ(text, Catalog(row.text));
            std::vector<WORD> glyphs(text.size() + 1);
            ASSERT_NE(::GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                                         GGI_MARK_NONEXISTING_GLYPHS),
                      GDI_ERROR);
            for (size_t i = 0; i < text.size(); ++i)
                EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for U+" << std::hex << int(text[i]) << " in the page's font";
        }
        ::SelectObject(dc, previous);
        ::ReleaseDC(page, dc);
        for (int edit : kEdits) EXPECT_EQ(driver.Text(edit), L"") << "edit " << edit;
        Cancel(driver);
    });
    EXPECT_EQ(run.infoHeaderTitle, L"OEM UI Page");
}

// The page reaches the sheet through the service with the descriptor the
// driver expects, and its activation context brings in common controls 6
// (in the x86 build through the functions it looks up at run time). The
// context is made once: a second sheet gets the same one.
TEST_F(PageTest, AddsOnePageWithItsTemplateTitleAndActivationContext) {
    JOBSETTINGS record = StoredRecord();
    HANDLE firstContext = nullptr;
    for (int sheet = 1; sheet <= 2; ++sheet) {
        SCOPED_TRACE(testing::Message() << "sheet " << sheet);
        const host::SheetRun run = Show(record, Cancel);
        const auto added = CallsOf(run, CPSFUNC_ADD_PROPSHEETPAGEW);
        ASSERT_EQ(added.size(), 1u);
        EXPECT_NE(added[0].answer, 0) << "Wine's service refused the page";
        ASSERT_EQ(added[0].descriptor.size(), sizeof(PROPSHEETPAGEW));
        PROPSHEETPAGEW page;
        std::memcpy(&page, added[0].descriptor.data(), sizeof page);
        EXPECT_EQ(page.dwFlags, static_cast<DWORD>(PSP_USETITLE | PSP_USEFUSIONCONTEXT));
        EXPECT_EQ(page.hInstance, module.handle);
        EXPECT_EQ(page.pszTemplate, MAKEINTRESOURCEW(IDD_JOB_SETTINGS));
        EXPECT_EQ(added[0].title, Catalog(IDS_PAGE_TITLE));
        EXPECT_NE(page.pfnDlgProc, nullptr);
        EXPECT_NE(page.lParam, 0);
        EXPECT_EQ(page.pfnCallback, nullptr);
        EXPECT_EQ(page.pcRefParent, nullptr);

        ULONG_PTR cookie = 0;
        ASSERT_TRUE(::ActivateActCtx(page.hActCtx, &cookie)) << ::GetLastError();
        ACTCTX_SECTION_KEYED_DATA data = {};
        data.cbSize = sizeof data;
        EXPECT_TRUE(::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_WINDOW_CLASS_REDIRECTION, L"Button", &data))
            << "the page's context does not bring in common controls 6";
        ::DeactivateActCtx(0, cookie);

        if (sheet == 1) firstContext = page.hActCtx;
        EXPECT_EQ(page.hActCtx, firstContext);
        ExpectResultsReported(run, 0);
    }
}

// What the record holds is what the controls show, and the fields it
// enables follow from it; a kind the page does not know shows as Verify
// with Reserve Job unticked. Stored texts bypass the typing filters.
TEST_F(PageTest, ShowsTheRecord) {
    struct Row {
        const char* name;
        BYTE saveAccess;
        DWORD reserveType;
        bool reserveTicked, reprint, verify, confidential;
    };
    const Row rows[] = {
        {"nothing set", 0, kReserveJobNone, false, false, true, false},
        {"re-print, access saved", 1, kReserveJobReprint, true, true, false, false},
        {"verify", 0, kReserveJobVerify, true, false, true, false},
        {"confidential, access saved", 1, kReserveJobConfidential, true, false, false, true},
        {"unknown kind 3", 1, 3, false, false, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        JOBSETTINGS record = StoredRecord();
        record.bSaveAccessControl = row.saveAccess;
        record.dwReserveJobType = row.reserveType;
        PUT(record, szAccessUserName, L"Zo\u00eb \"%");
        PUT(record, szAccessPassword, L"pass word");
        PUT(record, szReserveUserName, L"Mika");
        PUT(record, szReserveJobName, L"Quarterly 4");
        PUT(record, szReservePassword, L"0042");
        Show(record, [&](host::SheetDriver& driver) {
            EXPECT_EQ(driver.IsChecked(IDC_SAVE_ACCESS_CONTROL), row.saveAccess != 0);
            EXPECT_EQ(driver.IsChecked(IDC_RESERVE_JOB), row.reserveTicked);
            EXPECT_EQ(driver.IsChecked(IDC_RESERVE_REPRINT), row.reprint);
            EXPECT_EQ(driver.IsChecked(IDC_RESERVE_VERIFY), row.verify);
            EXPECT_EQ(driver.IsChecked(IDC_RESERVE_CONFIDENTIAL), row.confidential);
            EXPECT_EQ(driver.Text(IDC_ACCESS_USER_NAME), L"Zo\u00eb \"%");
            EXPECT_EQ(driver.Text(IDC_ACCESS_PASSWORD), L"pass word");
            EXPECT_EQ(driver.Text(IDC_RESERVE_USER_NAME), L"Mika");
            EXPECT_EQ(driver.Text(IDC_RESERVE_JOB_NAME), L"Quarterly 4");
            EXPECT_EQ(driver.Text(IDC_RESERVE_PASSWORD), L"0042");
            EXPECT_EQ(driver.IsEnabled(IDC_ACCESS_USER_NAME), row.saveAccess != 0);
            EXPECT_EQ(driver.IsEnabled(IDC_ACCESS_PASSWORD), row.saveAccess != 0);
            EXPECT_EQ(driver.IsEnabled(IDC_RESERVE_VERIFY), row.reserveTicked);
            EXPECT_EQ(driver.IsEnabled(IDC_RESERVE_JOB_NAME), row.reserveTicked);
            EXPECT_EQ(driver.IsEnabled(IDC_RESERVE_PASSWORD), row.reserveTicked && row.confidential);
            Cancel(driver);
        });
    }
}

// Typed characters reach each edit only as its filter says; the limits cap
// typing; backspace works everywhere; a code beyond 16 bits is refused, not
// cut down to a letter; text set by message passes unfiltered.
TEST_F(PageTest, EachEditTakesOnlyWhatItsFilterAccepts) {
    // Letters, digits, space, tilde, the two quote-like signs, control codes,
    // delete, and letters beyond ASCII (Latin-1, hiragana, full-width A).
    const std::wstring probe = L"aZ09 ~!\"%-_\t\r\x1b\x7f\x01\x00e9\x3042\xff21";
    const std::wstring names = L"aZ09 ~!-_";
    const std::wstring passwords = L"aZ09~!\"%-_";
    struct Row {
        int edit;
        std::wstring typed, shown;
    };
    const Row rows[] = {
        {IDC_ACCESS_USER_NAME, probe, names},
        {IDC_RESERVE_USER_NAME, probe, names},
        {IDC_RESERVE_JOB_NAME, probe, names},
        {IDC_ACCESS_PASSWORD, probe, passwords},
        {IDC_RESERVE_PASSWORD, probe, L"09"},
        {IDC_ACCESS_USER_NAME, L"ab\bc", L"ac"},
        {IDC_ACCESS_PASSWORD, L"ab\bc", L"ac"},
        {IDC_RESERVE_PASSWORD, L"12\b3", L"13"},
        {IDC_ACCESS_USER_NAME, std::wstring(20, L'n'), std::wstring(14, L'n')},
        {IDC_RESERVE_USER_NAME, std::wstring(20, L'u'), std::wstring(14, L'u')},
        {IDC_RESERVE_JOB_NAME, std::wstring(20, L'j'), std::wstring(14, L'j')},
        {IDC_ACCESS_PASSWORD, std::wstring(30, L'p'), std::wstring(20, L'p')},
        {IDC_RESERVE_PASSWORD, L"123456", L"1234"},
    };
    JOBSETTINGS record = StoredRecord();
    Show(record, [&](host::SheetDriver& driver) {
        driver.Click(IDC_SAVE_ACCESS_CONTROL);
        driver.Click(IDC_RESERVE_JOB);
        driver.Click(IDC_RESERVE_CONFIDENTIAL);
        for (const Row& row : rows) {
            SCOPED_TRACE(testing::Message() << "edit " << row.edit << ", " << row.typed.size() << " units typed");
            ASSERT_TRUE(driver.IsEnabled(row.edit));
            driver.SetText(row.edit, L"");
            driver.Type(row.edit, row.typed);
            EXPECT_EQ(driver.Text(row.edit), row.shown);
        }
        for (int edit : kEdits) {
            SCOPED_TRACE(testing::Message() << "edit " << edit);
            driver.SetText(edit, L"");
            ::SendMessageW(driver.Control(edit), WM_CHAR, 0x10000 + L'7', 1);
            EXPECT_EQ(driver.Text(edit), L"");
            driver.SetText(edit, L"\"%\u00e9 \x3042");
            EXPECT_EQ(driver.Text(edit), L"\"%\u00e9 \x3042");
        }
        Cancel(driver);
    });
}

// Each click changes what can be edited, at once, and marks the page as
// changed for the sheet's Apply button; labels and group boxes stay enabled.
TEST_F(PageTest, ClicksEnableAndDisableTheDependentFields) {
    struct Step {
        const char* name;
        int click;  // 0: the page as it opened
        std::set<int> enabled;
    };
    const std::set<int> access = {IDC_ACCESS_USER_NAME, IDC_ACCESS_PASSWORD};
    const std::set<int> reserve = {IDC_RESERVE_REPRINT, IDC_RESERVE_VERIFY, IDC_RESERVE_CONFIDENTIAL,
                                   IDC_RESERVE_USER_NAME, IDC_RESERVE_JOB_NAME};
    auto with = [](std::set<int> a, const std::set<int>& b) {
        a.insert(b.begin(), b.end());
        return a;
    };
    const Step steps[] = {
        {"as opened", 0, {}},
        {"save access control ticked", IDC_SAVE_ACCESS_CONTROL, access},
        {"reserve job ticked (verify)", IDC_RESERVE_JOB, with(access, reserve)},
        {"confidential", IDC_RESERVE_CONFIDENTIAL, with(with(access, reserve), {IDC_RESERVE_PASSWORD})},
        {"re-print", IDC_RESERVE_REPRINT, with(access, reserve)},
        {"confidential again", IDC_RESERVE_CONFIDENTIAL, with(with(access, reserve), {IDC_RESERVE_PASSWORD})},
        {"reserve job unticked", IDC_RESERVE_JOB, access},
        {"save access control unticked", IDC_SAVE_ACCESS_CONTROL, {}},
    };
    JOBSETTINGS record = StoredRecord();
    Show(record, [&](host::SheetDriver& driver) {
        for (const Step& step : steps) {
            SCOPED_TRACE(step.name);
            if (step.click) driver.Click(step.click);
            for (int id : kDependentFields)
                EXPECT_EQ(driver.IsEnabled(id), step.enabled.count(id) == 1) << "control " << id;
            for (int id : kAlwaysEnabled) EXPECT_TRUE(driver.IsEnabled(id)) << "control " << id;
            if (step.click) {
                EXPECT_TRUE(driver.ApplyEnabled());
            }
        }
        // The radio buttons are one group: the last click left only Confidential.
        EXPECT_FALSE(driver.IsChecked(IDC_RESERVE_REPRINT));
        EXPECT_FALSE(driver.IsChecked(IDC_RESERVE_VERIFY));
        EXPECT_TRUE(driver.IsChecked(IDC_RESERVE_CONFIDENTIAL));
        Cancel(driver);
    });
}

// An incomplete reserve job, on OK or on leaving the page: the warning box
// with the catalogue's caption and message, the page stays in front and
// changed, and the record is untouched.
TEST_F(PageTest, IncompleteReserveJobWarnsAndKeepsThePage) {
    enum class Leave { Ok, OtherTab, ApplyNow };
    struct Row {
        const char* name;
        int kind;
        const wchar_t *user, *job, *password;
        Leave leave;
        UINT message;
    };
    const Row rows[] = {
        {"re-print without job name, OK", IDC_RESERVE_REPRINT, L"Mika", L"", L"", Leave::Ok, IDS_NEED_USER_AND_JOB},
        {"verify without user name, other tab", IDC_RESERVE_VERIFY, L"", L"Q4", L"", Leave::OtherTab,
         IDS_NEED_USER_AND_JOB},
        {"confidential without password, OK", IDC_RESERVE_CONFIDENTIAL, L"Mika", L"Q4", L"", Leave::Ok,
         IDS_NEED_PASSWORD_USER_AND_JOB},
        {"confidential without user name, apply", IDC_RESERVE_CONFIDENTIAL, L"", L"Q4", L"1", Leave::ApplyNow,
         IDS_NEED_PASSWORD_USER_AND_JOB},
        {"confidential without job name, other tab", IDC_RESERVE_CONFIDENTIAL, L"Mika", L"", L"1", Leave::OtherTab,
         IDS_NEED_PASSWORD_USER_AND_JOB},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        JOBSETTINGS record = StoredRecord();
        SCRIBBLE(record, szReserveUserName, L"stored");
        const JOBSETTINGS before = record;
        const host::SheetRun run = Show(record, [&](host::SheetDriver& driver) {
            driver.Click(IDC_RESERVE_JOB);
            driver.Click(row.kind);
            driver.SetText(IDC_RESERVE_USER_NAME, L"");
            driver.Type(IDC_RESERVE_USER_NAME, row.user);
            driver.Type(IDC_RESERVE_JOB_NAME, row.job);
            driver.Type(IDC_RESERVE_PASSWORD, row.password);
            switch (row.leave) {
                case Leave::Ok: driver.PostPressButton(PSBTN_OK); break;
                case Leave::OtherTab: driver.PostSelectTab(kHostTab); break;
                case Leave::ApplyNow: driver.PostPressButton(PSBTN_APPLYNOW); break;
            }
            const host::MessageBoxSeen box = driver.CloseMessageBox();
            ASSERT_TRUE(box.shown) << "no warning box";
            EXPECT_EQ(box.caption, Catalog(IDS_ERROR_CAPTION));
            EXPECT_EQ(box.text, Catalog(row.message));
            EXPECT_TRUE(box.warningIcon);
            EXPECT_TRUE(box.okOnly);
            EXPECT_TRUE(box.ownedBySheet);

            EXPECT_FALSE(driver.MessageBoxOpen()) << "a second box";
            EXPECT_EQ(driver.CurrentTab(), kPluginTab);
            EXPECT_TRUE(driver.ApplyEnabled()) << "the page must stay marked as changed";
            EXPECT_EQ(driver.Text(IDC_RESERVE_JOB_NAME), row.job);
            EXPECT_TRUE(SameBytes(before, record)) << "written despite the warning";
            Cancel(driver);
        });
        EXPECT_TRUE(SameBytes(before, record)) << "cancel wrote the record";
        ExpectResultsReported(run, 0);
    }
}

// Leaving the page for the host's page with valid input writes the record
// at once, before OK; cancelling the sheet afterwards leaves it written. A
// one-digit password is enough.
TEST_F(PageTest, LeavingThePageWithValidInputWritesTheRecord) {
    JOBSETTINGS record = StoredRecord();
    JOBSETTINGS want = record;
    want.dwReserveJobType = kReserveJobConfidential;
    PUT(want, szReserveUserName, L"Mika");
    PUT(want, szReserveJobName, L"Q4 draft");
    PUT(want, szReservePassword, L"7");

    const host::SheetRun run = Show(record, [&](host::SheetDriver& driver) {
        driver.Click(IDC_RESERVE_JOB);
        driver.Click(IDC_RESERVE_CONFIDENTIAL);
        driver.Type(IDC_RESERVE_USER_NAME, L"Mika");
        driver.Type(IDC_RESERVE_JOB_NAME, L"Q4 draft");
        driver.Type(IDC_RESERVE_PASSWORD, L"7");
        driver.PostSelectTab(kHostTab);
        EXPECT_TRUE(driver.WaitUntil([&] { return driver.CurrentTab() == kHostTab || driver.MessageBoxOpen(); }));
        EXPECT_FALSE(driver.MessageBoxOpen());
        EXPECT_EQ(driver.CurrentTab(), kHostTab);
        EXPECT_TRUE(SameBytes(want, record)) << "not written on leaving the page";
        Cancel(driver);
    });
    EXPECT_TRUE(run.hostPageActivated);
    EXPECT_TRUE(SameBytes(want, record));
    ExpectResultsReported(run, 1);
}

// OK writes exactly the page's fields: the flag byte and the kind, and the
// texts only of the ticked groups (terminated, zero-filled); unticked groups
// keep their stored texts to the last unit, and nothing else changes.
TEST_F(PageTest, OkWritesTheRecordByteByByte) {
    struct Row {
        const char* name;
        std::function<void(JOBSETTINGS&)> stored;
        std::function<void(host::SheetDriver&)> user;
        std::function<void(JOBSETTINGS&)> written;
    };
    const Row rows[] = {
        {"everything entered",
         [](JOBSETTINGS&) {},
         [](host::SheetDriver& d) {
             d.Click(IDC_SAVE_ACCESS_CONTROL);
             d.Type(IDC_ACCESS_USER_NAME, L"Ann Lee~");
             d.Type(IDC_ACCESS_PASSWORD, L"p\"%w!rd");
             d.Click(IDC_RESERVE_JOB);
             d.Click(IDC_RESERVE_REPRINT);
             d.Type(IDC_RESERVE_USER_NAME, L"Ann");
             d.Type(IDC_RESERVE_JOB_NAME, L"Budget 2024");
         },
         [](JOBSETTINGS& r) {
             r.bSaveAccessControl = 1;
             r.dwReserveJobType = kReserveJobReprint;
             PUT(r, szAccessUserName, L"Ann Lee~");
             PUT(r, szAccessPassword, L"p\"%w!rd");
             PUT(r, szReserveUserName, L"Ann");
             PUT(r, szReserveJobName, L"Budget 2024");
         }},
        {"both groups unticked keep their texts",
         [](JOBSETTINGS& r) {
             r.bSaveAccessControl = 1;
             r.dwReserveJobType = kReserveJobVerify;
             SCRIBBLE(r, szAccessUserName, L"kept");
             SCRIBBLE(r, szAccessPassword, L"kept too");
             SCRIBBLE(r, szReserveUserName, L"Mika");
             SCRIBBLE(r, szReserveJobName, L"Q4");
             SCRIBBLE(r, szReservePassword, L"9");
         },
         [](host::SheetDriver& d) {
             d.Click(IDC_SAVE_ACCESS_CONTROL);
             d.Click(IDC_RESERVE_JOB);
         },
         [](JOBSETTINGS& r) {
             r.bSaveAccessControl = 0;
             r.dwReserveJobType = kReserveJobNone;
         }},
        {"unknown kind stored as none",
         [](JOBSETTINGS& r) { r.dwReserveJobType = 3; },
         [](host::SheetDriver&) {},
         [](JOBSETTINGS& r) { r.dwReserveJobType = kReserveJobNone; }},
        {"disabled password still saved",
         [](JOBSETTINGS& r) {
             r.dwReserveJobType = kReserveJobConfidential;
             PUT(r, szReserveUserName, L"Mika");
             PUT(r, szReserveJobName, L"Q4");
             PUT(r, szReservePassword, L"12");
         },
         [](host::SheetDriver& d) {
             d.Type(IDC_RESERVE_PASSWORD, L"3");
             d.Click(IDC_RESERVE_VERIFY);
         },
         [](JOBSETTINGS& r) {
             r.dwReserveJobType = kReserveJobVerify;
             PUT(r, szReservePassword, L"123");
         }},
        {"stored texts with untypable characters saved unchanged",
         [](JOBSETTINGS& r) {
             r.bSaveAccessControl = 1;
             r.dwReserveJobType = kReserveJobReprint;
             PUT(r, szAccessUserName, L"Zo\u00eb \"%");
             PUT(r, szAccessPassword, L"\x3042 pass");
             PUT(r, szReserveUserName, L"\"Mika\"");
             PUT(r, szReserveJobName, L"50% off");
         },
         [](host::SheetDriver&) {},
         [](JOBSETTINGS&) {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        JOBSETTINGS record = StoredRecord();
        row.stored(record);
        JOBSETTINGS want = record;
        row.written(want);
        const host::SheetRun run = Show(record, [&](host::SheetDriver& driver) {
            row.user(driver);
            driver.PostPressButton(PSBTN_OK);
            EXPECT_TRUE(driver.WaitUntil([&] { return driver.MessageBoxOpen() || driver.SheetReturned(); }));
            EXPECT_FALSE(driver.MessageBoxOpen()) << "a warning on valid input";
        });
        EXPECT_EQ(run.status, CPSUI_OK);
        EXPECT_TRUE(SameBytes(want, record));
        ExpectResultsReported(run, 2);  // OK first leaves the page, then applies it
    }
}

// The record's texts set into the edits when the page initialises are no
// change of the user's: Apply stays off until one, whether the page opens in
// front or is only made when the user turns to it on a later tab.
TEST_F(PageTest, ApplyStaysOffUntilTheUserChangesSomething) {
    using HostPage = host::PropertySheetHost::HostPage;
    const struct {
        const char* name;
        HostPage hostPage;
        int pluginTab;
    } rows[] = {{"first tab", HostPage::After, 0}, {"later tab", HostPage::Before, 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        JOBSETTINGS record = StoredRecord();
        record.bSaveAccessControl = 1;
        PUT(record, szAccessUserName, L"op");
        record.dwReserveJobType = kReserveJobVerify;
        PUT(record, szReserveUserName, L"Ana");
        PUT(record, szReserveJobName, L"Q3");
        Show(record, [&](host::SheetDriver& driver) {
            if (driver.CurrentTab() != row.pluginTab) {
                EXPECT_FALSE(driver.ApplyEnabled());
                driver.PostSelectTab(row.pluginTab);
                EXPECT_TRUE(driver.WaitUntil([&] { return driver.CurrentTab() == row.pluginTab; }));
                driver.Sync();
            }
            EXPECT_EQ(driver.Text(IDC_ACCESS_USER_NAME), L"op");
            EXPECT_EQ(driver.Text(IDC_RESERVE_JOB_NAME), L"Q3");
            EXPECT_FALSE(driver.ApplyEnabled()) << "the page's own texts were taken for a change";
            driver.Type(IDC_ACCESS_PASSWORD, L"x");
            EXPECT_TRUE(driver.ApplyEnabled());
            Cancel(driver);
        }, row.hostPage);
    }
}

// Apply with valid input writes the record and reports the page unchanged,
// so the sheet disables Apply until the next change.
TEST_F(PageTest, ApplyWritesAndMarksThePageUnchanged) {
    JOBSETTINGS record = StoredRecord();
    JOBSETTINGS want = record;
    want.bSaveAccessControl = 1;
    PUT(want, szAccessUserName, L"op");
    const host::SheetRun run = Show(record, [&](host::SheetDriver& driver) {
        driver.Click(IDC_SAVE_ACCESS_CONTROL);
        driver.Type(IDC_ACCESS_USER_NAME, L"op");
        EXPECT_TRUE(driver.ApplyEnabled());
        driver.PostPressButton(PSBTN_APPLYNOW);
        EXPECT_TRUE(driver.WaitUntil([&] { return !driver.ApplyEnabled() || driver.MessageBoxOpen(); }));
        driver.Sync();  // the button goes grey halfway through applying
        EXPECT_FALSE(driver.MessageBoxOpen());
        EXPECT_TRUE(SameBytes(want, record));
        driver.Type(IDC_ACCESS_PASSWORD, L"x");
        EXPECT_TRUE(driver.ApplyEnabled()) << "a change after apply marks the page again";
        Cancel(driver);
    });
    EXPECT_TRUE(SameBytes(want, record)) << "cancel after apply changed the record";
    ExpectResultsReported(run, 2);
}

}  // namespace
