#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/Module.h"
#include "page/JobSettingsLogic.h"
#include "resources/ResourceIds.h"
#include "tests/support/PageModel.h"

namespace {

using support::Catalog;
using support::PageHarness;

void Store(char16_t* field, const std::u16string& text) { std::memcpy(field, text.data(), text.size() * 2); }

// ---- Opening the page --------------------------------------------------------

TEST(PageOpening, EveryLabelShowsItsCatalogueText) {
    PageHarness h;
    h.Open();
    const struct {
        int id;
        UINT textId;
    } rows[] = {
        {IDC_SAVE_ACCESS_CONTROL, 15005}, {IDC_ACCESS_USER_NAME_LABEL, 15002}, {IDC_ACCESS_DESCRIPTION, 20147},
        {IDC_ACCESS_PASSWORD_LABEL, 15004}, {IDC_ACCESS_GROUP, 15006},         {IDC_STATIC, 25004},
        {IDC_RESERVE_JOB, 25004},           {IDC_RESERVE_REPRINT, 25005},      {IDC_RESERVE_VERIFY, 25006},
        {IDC_RESERVE_CONFIDENTIAL, 25007},  {IDC_RESERVE_PASSWORD_GROUP, 15004},
        {IDC_RESERVE_USER_NAME_GROUP, 15002}, {IDC_RESERVE_JOB_NAME_GROUP, 15003},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_FALSE(Catalog(row.textId).empty());
        EXPECT_EQ(h.Text(row.id), Catalog(row.textId));
    }
    EXPECT_TRUE(h.page.strayIds.empty());
}

TEST(PageOpening, EditsGetTheirLimitsAndFiltersInOrder) {
    PageHarness h;
    h.Open();
    const struct {
        int id;
        int limit;
        CharFilter filter;
    } rows[] = {
        {IDC_ACCESS_USER_NAME, 14, CharFilter::Name},  {IDC_ACCESS_PASSWORD, 20, CharFilter::Password},
        {IDC_RESERVE_USER_NAME, 14, CharFilter::Name}, {IDC_RESERVE_PASSWORD, 4, CharFilter::Digit},
        {IDC_RESERVE_JOB_NAME, 14, CharFilter::Name},
    };
    std::vector<int> order;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(h.page.At(row.id).limit, row.limit);
        EXPECT_EQ(h.page.At(row.id).filter, row.filter);
        order.push_back(row.id);
    }
    EXPECT_EQ(h.page.filterOrder, order);
}

struct MappingCase {
    const char* name;
    DWORD reserveJobType;
    BYTE saveAccessControl;
    bool reserveJob, reprint, verify, confidential, saveAccess;
};

class RecordToPage : public testing::TestWithParam<MappingCase> {};

TEST_P(RecordToPage, ChecksTheBoxesTheRecordNames) {
    const MappingCase& c = GetParam();
    PageHarness h;
    h.record.dwReserveJobType = c.reserveJobType;
    h.record.bSaveAccessControl = c.saveAccessControl;
    h.Open();
    EXPECT_EQ(h.Checked(IDC_RESERVE_JOB), c.reserveJob);
    EXPECT_EQ(h.Checked(IDC_RESERVE_REPRINT), c.reprint);
    EXPECT_EQ(h.Checked(IDC_RESERVE_VERIFY), c.verify);
    EXPECT_EQ(h.Checked(IDC_RESERVE_CONFIDENTIAL), c.confidential);
    EXPECT_EQ(h.Checked(IDC_SAVE_ACCESS_CONTROL), c.saveAccess);
    // The fields open enabled exactly as the boxes say.
    EXPECT_EQ(h.Enabled(IDC_ACCESS_USER_NAME), c.saveAccess);
    EXPECT_EQ(h.Enabled(IDC_ACCESS_PASSWORD), c.saveAccess);
    for (int id : {IDC_RESERVE_REPRINT, IDC_RESERVE_VERIFY, IDC_RESERVE_CONFIDENTIAL, IDC_RESERVE_USER_NAME,
                   IDC_RESERVE_JOB_NAME})
        EXPECT_EQ(h.Enabled(id), c.reserveJob) << id;
    EXPECT_EQ(h.Enabled(IDC_RESERVE_PASSWORD), c.reserveJob && c.confidential);
}

INSTANTIATE_TEST_SUITE_P(
    Types, RecordToPage,
    testing::Values(MappingCase{"NoneShowsVerify", 0, 0, false, false, true, false, false},
                    MappingCase{"Reprint", 1, 0, true, true, false, false, false},
                    MappingCase{"Verify", 2, 0, true, false, true, false, false},
                    MappingCase{"ThreeIsNoKind", 3, 0, false, false, true, false, false},
                    MappingCase{"Confidential", 4, 1, true, false, false, true, true},
                    MappingCase{"UnknownLarge", 0xFFFFFFFF, 0, false, false, true, false, false},
                    MappingCase{"AnyNonZeroFlagTicks", 2, 0xFF, true, false, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PageOpening, EditsShowTheRecordTexts) {
    PageHarness h;
    Store(h.record.szReserveUserName, u"ruser");
    Store(h.record.szReserveJobName, u"rjob");
    Store(h.record.szReservePassword, u"12");
    Store(h.record.szAccessUserName, u"auser");
    Store(h.record.szAccessPassword, u"a pass\u00E9");  // characters typing would refuse are shown as stored
    h.Open();
    EXPECT_EQ(h.Text(IDC_RESERVE_USER_NAME), u"ruser");
    EXPECT_EQ(h.Text(IDC_RESERVE_JOB_NAME), u"rjob");
    EXPECT_EQ(h.Text(IDC_RESERVE_PASSWORD), u"12");
    EXPECT_EQ(h.Text(IDC_ACCESS_USER_NAME), u"auser");
    EXPECT_EQ(h.Text(IDC_ACCESS_PASSWORD), u"a pass\u00E9");
}

// A stored field that fills its whole width has no terminator: the page reads
// no further than the field, whatever follows it in the record.
TEST(PageOpening, UnterminatedFieldsStopAtTheirEnd) {
    const struct {
        const char* name;
        int id;
        size_t offset;
        size_t capacity;
    } rows[] = {
        {"ReserveUserName", IDC_RESERVE_USER_NAME, offsetof(JOBSETTINGS, szReserveUserName), 15},
        {"ReserveJobName", IDC_RESERVE_JOB_NAME, offsetof(JOBSETTINGS, szReserveJobName), 15},
        {"ReservePassword", IDC_RESERVE_PASSWORD, offsetof(JOBSETTINGS, szReservePassword), 5},
        {"AccessUserName", IDC_ACCESS_USER_NAME, offsetof(JOBSETTINGS, szAccessUserName), 15},
        {"AccessPassword", IDC_ACCESS_PASSWORD, offsetof(JOBSETTINGS, szAccessPassword), 21},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PageHarness h;
        // Every byte of the record nonzero, so no terminator comes before the end.
        std::memset(&h.record, 0x41, sizeof h.record);
        h.record.dwReserveJobType = 0;
        h.Open();
        EXPECT_EQ(h.Text(row.id), std::u16string(row.capacity, char16_t{0x4141}));
    }
}

TEST(PageOpening, WithoutCommonUiPropShowsTheDefaults) {
    PageHarness h;
    h.context.commonUiParam = nullptr;
    h.page.SetText(IDC_RESERVE_USER_NAME, u"left over");
    g_moduleHandle = support::kPluginModule;  // as the process attach stores it
    h.Open();
    g_moduleHandle = nullptr;
    EXPECT_FALSE(h.Checked(IDC_RESERVE_JOB));
    EXPECT_TRUE(h.Checked(IDC_RESERVE_VERIFY));
    EXPECT_FALSE(h.Checked(IDC_SAVE_ACCESS_CONTROL));
    for (int id : {IDC_ACCESS_USER_NAME, IDC_ACCESS_PASSWORD, IDC_RESERVE_PASSWORD, IDC_RESERVE_USER_NAME,
                   IDC_RESERVE_JOB_NAME})
        EXPECT_EQ(h.Text(id), u"") << id;
    EXPECT_EQ(h.Text(IDC_RESERVE_JOB), Catalog(25004));
}

// ---- Enabling rules ------------------------------------------------------------

TEST(EnablingRules, FieldsFollowTheBoxesAndTheKind) {
    PageHarness h;
    h.Open();
    const std::vector<int> labels = {IDC_ACCESS_GROUP, IDC_ACCESS_DESCRIPTION, IDC_ACCESS_USER_NAME_LABEL,
                                     IDC_ACCESS_PASSWORD_LABEL, IDC_STATIC, IDC_RESERVE_PASSWORD_GROUP,
                                     IDC_RESERVE_USER_NAME_GROUP, IDC_RESERVE_JOB_NAME_GROUP};
    const struct {
        const char* step;
        int click;
        bool accessFields, kinds, names, password;
    } rows[] = {
        {"TickSaveAccess", IDC_SAVE_ACCESS_CONTROL, true, false, false, false},
        {"TickReserveJobVerify", IDC_RESERVE_JOB, true, true, true, false},
        {"PickConfidential", IDC_RESERVE_CONFIDENTIAL, true, true, true, true},
        {"PickReprint", IDC_RESERVE_REPRINT, true, true, true, false},
        {"PickConfidentialAgain", IDC_RESERVE_CONFIDENTIAL, true, true, true, true},
        {"UntickReserveJob", IDC_RESERVE_JOB, true, false, false, false},
        {"UntickSaveAccess", IDC_SAVE_ACCESS_CONTROL, false, false, false, false},
        {"TickReserveJobConfidential", IDC_RESERVE_JOB, false, true, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        ASSERT_TRUE(h.Click(row.click));
        EXPECT_EQ(h.Enabled(IDC_ACCESS_USER_NAME), row.accessFields);
        EXPECT_EQ(h.Enabled(IDC_ACCESS_PASSWORD), row.accessFields);
        for (int id : {IDC_RESERVE_REPRINT, IDC_RESERVE_VERIFY, IDC_RESERVE_CONFIDENTIAL})
            EXPECT_EQ(h.Enabled(id), row.kinds) << id;
        EXPECT_EQ(h.Enabled(IDC_RESERVE_USER_NAME), row.names);
        EXPECT_EQ(h.Enabled(IDC_RESERVE_JOB_NAME), row.names);
        EXPECT_EQ(h.Enabled(IDC_RESERVE_PASSWORD), row.password);
        for (int id : labels) EXPECT_TRUE(h.Enabled(id)) << id;
    }
}

// ---- What the page tells the sheet on commands --------------------------------

TEST(PageCommands, ClicksAndEditsMarkThePageChanged) {
    const struct {
        const char* name;
        int id;
        int notification;
        bool marks;
    } rows[] = {
        {"ReserveJobClicked", IDC_RESERVE_JOB, kButtonClicked, true},
        {"ReprintClicked", IDC_RESERVE_REPRINT, kButtonClicked, true},
        {"VerifyClicked", IDC_RESERVE_VERIFY, kButtonClicked, true},
        {"ConfidentialClicked", IDC_RESERVE_CONFIDENTIAL, kButtonClicked, true},
        {"SaveAccessClicked", IDC_SAVE_ACCESS_CONTROL, kButtonClicked, true},
        {"AccessUserChanged", IDC_ACCESS_USER_NAME, kEditChanged, true},
        {"AccessPasswordChanged", IDC_ACCESS_PASSWORD, kEditChanged, true},
        {"ReservePasswordChanged", IDC_RESERVE_PASSWORD, kEditChanged, true},
        {"ReserveUserChanged", IDC_RESERVE_USER_NAME, kEditChanged, true},
        {"ReserveJobNameChanged", IDC_RESERVE_JOB_NAME, kEditChanged, true},
        {"EditClicked", IDC_ACCESS_USER_NAME, kButtonClicked, false},
        {"CheckBoxChanged", IDC_SAVE_ACCESS_CONTROL, kEditChanged, false},
        {"GroupClicked", IDC_ACCESS_GROUP, kButtonClicked, false},
        {"EditFocused", IDC_ACCESS_USER_NAME, 0x0100, false},
        {"SheetButton", 1, kButtonClicked, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PageHarness h;
        h.Open();
        OnPageCommand(h.page, row.id, row.notification);
        EXPECT_EQ(h.page.events, row.marks ? std::vector<std::string>{"PSM_CHANGED"} : std::vector<std::string>{});
    }
}

// ---- Validation ----------------------------------------------------------------

struct ValidationCase {
    const char* name;
    bool reserveJob;
    int kind;  // 0: no kind checked
    const char16_t* user;
    const char16_t* job;
    const char16_t* password;
    UINT message;  // 0: valid
};

class Validation : public testing::TestWithParam<ValidationCase> {};

TEST_P(Validation, WarnsWithTheRightMessageOrPasses) {
    const ValidationCase& c = GetParam();
    PageHarness h;
    h.Open();
    h.page.SetChecked(IDC_RESERVE_JOB, c.reserveJob);
    for (int id : {IDC_RESERVE_REPRINT, IDC_RESERVE_VERIFY, IDC_RESERVE_CONFIDENTIAL})
        h.page.SetChecked(id, id == c.kind);
    h.page.SetText(IDC_RESERVE_USER_NAME, c.user);
    h.page.SetText(IDC_RESERVE_JOB_NAME, c.job);
    h.page.SetText(IDC_RESERVE_PASSWORD, c.password);

    const bool valid = ValidateReserveJob(h.page, ResolvePageSource(h.context));

    EXPECT_EQ(valid, c.message == 0);
    if (c.message == 0) {
        EXPECT_TRUE(h.page.warnings.empty());
    } else {
        ASSERT_EQ(h.page.warnings.size(), 1u);
        EXPECT_EQ(h.page.warnings[0].first, Catalog(c.message));
        EXPECT_EQ(h.page.warnings[0].second, u"Error");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Validation,
    testing::Values(
        ValidationCase{"ReserveJobUnticked", false, IDC_RESERVE_REPRINT, u"", u"", u"", 0},
        ValidationCase{"ReprintComplete", true, IDC_RESERVE_REPRINT, u"u", u"j", u"", 0},
        ValidationCase{"ReprintWithoutJobName", true, IDC_RESERVE_REPRINT, u"user", u"", u"", 25010},
        ValidationCase{"VerifyWithoutUserName", true, IDC_RESERVE_VERIFY, u"", u"job", u"1234", 25010},
        ValidationCase{"VerifyComplete", true, IDC_RESERVE_VERIFY, u"user", u"job", u"", 0},
        ValidationCase{"ConfidentialWithoutPassword", true, IDC_RESERVE_CONFIDENTIAL, u"user", u"job", u"", 25011},
        ValidationCase{"ConfidentialWithoutJobName", true, IDC_RESERVE_CONFIDENTIAL, u"user", u"", u"1", 25011},
        ValidationCase{"ConfidentialOneDigit", true, IDC_RESERVE_CONFIDENTIAL, u"user", u"job", u"7", 0},
        ValidationCase{"ConfidentialFourDigits", true, IDC_RESERVE_CONFIDENTIAL, u"user", u"job", u"1234", 0},
        ValidationCase{"NoKindChecked", true, 0, u"", u"", u"", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Apply and kill-active -------------------------------------------------------

class ApplySequence : public testing::TestWithParam<int> {};

TEST_P(ApplySequence, ReportsToTheServiceAndWritesTheRecordBetweenTheUnchangedMarks) {
    PageHarness h;
    h.Open();
    const JOBSETTINGS before = h.record;
    h.page.probe = [&] { return std::memcmp(&before, &h.record, sizeof before) == 0 ? "record-old" : "record-new"; };
    ASSERT_TRUE(h.Click(IDC_SAVE_ACCESS_CONTROL));
    h.Type(IDC_ACCESS_USER_NAME, u"me");
    h.page.events.clear();

    EXPECT_TRUE(h.Notify(GetParam()));

    EXPECT_EQ(h.page.events, (std::vector<std::string>{"service sheet 9 page 1", "PSM_UNCHANGED record-old",
                                                       "DWLP_MSGRESULT 0", "PSM_UNCHANGED record-new"}));
    EXPECT_EQ(h.record.bSaveAccessControl, 1);
    EXPECT_EQ(std::u16string(h.record.szAccessUserName), u"me");
}

TEST_P(ApplySequence, InvalidInputKeepsThePageAndWritesNothing) {
    PageHarness h;
    h.Open();
    ASSERT_TRUE(h.Click(IDC_RESERVE_JOB));
    ASSERT_TRUE(h.Click(IDC_RESERVE_REPRINT));
    h.Type(IDC_RESERVE_USER_NAME, u"me");
    h.page.events.clear();
    JOBSETTINGS before = h.record;

    EXPECT_TRUE(h.Notify(GetParam()));

    EXPECT_EQ(h.page.events, (std::vector<std::string>{"MessageBox", "DWLP_MSGRESULT 2"}));
    EXPECT_EQ(std::memcmp(&before, &h.record, sizeof before), 0);
}

INSTANTIATE_TEST_SUITE_P(Notifications, ApplySequence, testing::Values(kSheetApply, kSheetKillActive),
                         [](const auto& info) { return info.param == kSheetApply ? "Apply" : "KillActive"; });

TEST(OtherNotifications, ResetAndTheRestChangeNothing) {
    const struct {
        const char* name;
        int code;
        bool answer;
    } rows[] = {{"Reset", kSheetReset, false}, {"SetActive", -200, true}, {"Help", -205, true}, {"Click", -2, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PageHarness h;
        h.Open();
        const JOBSETTINGS before = h.record;
        EXPECT_EQ(h.Notify(row.code), row.answer);
        EXPECT_TRUE(h.page.events.empty());
        EXPECT_EQ(std::memcmp(&before, &h.record, sizeof before), 0);
    }
}

TEST(ApplyWithoutRecord, ReportsButWritesNothing) {
    for (bool commonUiProp : {false, true}) {
        SCOPED_TRACE(commonUiProp ? "ParameterBlockWithoutRecord" : "NoCommonUiProp");
        PageHarness h;
        if (commonUiProp)
            h.param.pOEMDM = nullptr;
        else
            h.context.commonUiParam = nullptr;
        h.Open();
        ASSERT_TRUE(h.Click(IDC_SAVE_ACCESS_CONTROL));
        h.Type(IDC_ACCESS_USER_NAME, u"me");
        h.page.events.clear();
        const JOBSETTINGS before = h.record;
        EXPECT_TRUE(h.Notify(kSheetApply));
        EXPECT_EQ(h.page.events, (std::vector<std::string>{"service sheet 9 page 1", "PSM_UNCHANGED",
                                                           "DWLP_MSGRESULT 0", "PSM_UNCHANGED"}));
        EXPECT_EQ(std::memcmp(&before, &h.record, sizeof before), 0);
    }
}

// ---- Saving ------------------------------------------------------------------------

TEST(Saving, ConfidentialJobIsStoredFieldByField) {
    PageHarness h;
    h.Open();
    ASSERT_TRUE(h.Click(IDC_RESERVE_JOB));
    ASSERT_TRUE(h.Click(IDC_RESERVE_CONFIDENTIAL));
    h.Type(IDC_RESERVE_USER_NAME, u"Alice Smith");
    h.Type(IDC_RESERVE_JOB_NAME, u"Q3 report");
    h.Type(IDC_RESERVE_PASSWORD, u"7");
    ASSERT_TRUE(h.Click(IDC_SAVE_ACCESS_CONTROL));
    h.Type(IDC_ACCESS_USER_NAME, u"alice");
    h.Type(IDC_ACCESS_PASSWORD, u"p\"w%d!");
    ASSERT_TRUE(h.Notify(kSheetApply));

    JOBSETTINGS expected;
    std::memset(&expected, 0xAB, sizeof expected);
    SetDefaultJobSettings(&expected);
    expected.bSaveAccessControl = 1;
    expected.dwReserveJobType = 4;
    Store(expected.szReserveUserName, u"Alice Smith");
    Store(expected.szReserveJobName, u"Q3 report");
    Store(expected.szReservePassword, u"7");
    Store(expected.szAccessUserName, u"alice");
    Store(expected.szAccessPassword, u"p\"w%d!");
    // The padding after the flag and before dwReserved2 stays as it was.
    EXPECT_EQ(std::memcmp(&expected, &h.record, sizeof expected), 0);
    EXPECT_EQ(h.record.padding1[0], 0xAB);
    EXPECT_EQ(h.record.padding2[1], 0xAB);
}

TEST(Saving, ReserveJobWithoutAKindKeepsTheStoredType) {
    PageHarness h;
    h.record.dwReserveJobType = 3;
    h.Open();
    h.page.SetChecked(IDC_RESERVE_JOB, true);
    h.page.SetChecked(IDC_RESERVE_VERIFY, false);
    SaveToRecord(h.page, h.record);
    EXPECT_EQ(h.record.dwReserveJobType, 3u);
}

TEST(Saving, TypeThreeOpenedAndAppliedUnchangedStoresZero) {
    PageHarness h;
    h.record.dwReserveJobType = 3;
    h.Open();
    ASSERT_TRUE(h.Notify(kSheetApply));
    EXPECT_EQ(h.record.dwReserveJobType, 0u);
}

TEST(Saving, UntickedGroupsKeepTheirStoredTexts) {
    PageHarness h;
    h.record.dwReserveJobType = 1;
    h.record.bSaveAccessControl = 1;
    Store(h.record.szReserveUserName, u"ruser");
    Store(h.record.szReserveJobName, u"rjob");
    Store(h.record.szReservePassword, u"99");
    Store(h.record.szAccessUserName, u"auser");
    Store(h.record.szAccessPassword, u"apass");
    h.Open();
    h.Type(IDC_RESERVE_USER_NAME, u"\bX");
    h.Type(IDC_ACCESS_PASSWORD, u"\bX");
    ASSERT_TRUE(h.Click(IDC_RESERVE_JOB));
    ASSERT_TRUE(h.Click(IDC_SAVE_ACCESS_CONTROL));
    ASSERT_TRUE(h.Notify(kSheetApply));

    EXPECT_EQ(h.record.dwReserveJobType, 0u);
    EXPECT_EQ(h.record.bSaveAccessControl, 0);
    EXPECT_EQ(std::u16string(h.record.szReserveUserName), u"ruser");
    EXPECT_EQ(std::u16string(h.record.szReserveJobName), u"rjob");
    EXPECT_EQ(std::u16string(h.record.szReservePassword), u"99");
    EXPECT_EQ(std::u16string(h.record.szAccessUserName), u"auser");
    EXPECT_EQ(std::u16string(h.record.szAccessPassword), u"apass");
}

TEST(Saving, DisabledPasswordIsStillSaved) {
    PageHarness h;
    Store(h.record.szReservePassword, u"12");
    h.Open();
    ASSERT_TRUE(h.Click(IDC_RESERVE_JOB));
    ASSERT_TRUE(h.Click(IDC_RESERVE_CONFIDENTIAL));
    h.Type(IDC_RESERVE_PASSWORD, u"\b\b4321");
    ASSERT_TRUE(h.Click(IDC_RESERVE_VERIFY));
    ASSERT_FALSE(h.Enabled(IDC_RESERVE_PASSWORD));
    h.Type(IDC_RESERVE_USER_NAME, u"u");
    h.Type(IDC_RESERVE_JOB_NAME, u"j");
    ASSERT_TRUE(h.Notify(kSheetKillActive));
    EXPECT_EQ(h.record.dwReserveJobType, 2u);
    EXPECT_EQ(std::u16string(h.record.szReservePassword), u"4321");
}

// Texts set from a record or by other means are not cut by the typing limit;
// saving bounds them by the field and always terminates.
TEST(Saving, OverlongTextsAreCutToTheFieldAndTerminated) {
    PageHarness h;
    h.Open();
    h.page.SetChecked(IDC_RESERVE_JOB, true);
    h.page.SetChecked(IDC_SAVE_ACCESS_CONTROL, true);
    const std::u16string longText(40, u'x');
    for (int id : {IDC_ACCESS_USER_NAME, IDC_ACCESS_PASSWORD, IDC_RESERVE_PASSWORD, IDC_RESERVE_USER_NAME,
                   IDC_RESERVE_JOB_NAME})
        h.page.SetText(id, longText.c_str());
    SaveToRecord(h.page, h.record);
    EXPECT_EQ(std::u16string(h.record.szReserveUserName, 15), std::u16string(14, u'x') + u'\0');
    EXPECT_EQ(std::u16string(h.record.szReserveJobName, 15), std::u16string(14, u'x') + u'\0');
    EXPECT_EQ(std::u16string(h.record.szReservePassword, 5), std::u16string(4, u'x') + u'\0');
    EXPECT_EQ(std::u16string(h.record.szAccessUserName, 15), std::u16string(14, u'x') + u'\0');
    EXPECT_EQ(std::u16string(h.record.szAccessPassword, 21), std::u16string(20, u'x') + u'\0');
    EXPECT_EQ(h.record.dwReserved2, 0u);
}

TEST(Saving, ShorterTextLeavesNoTailOfTheOldOne) {
    PageHarness h;
    h.record.dwReserveJobType = 4;
    Store(h.record.szReservePassword, u"1234");
    h.Open();
    h.Type(IDC_RESERVE_PASSWORD, u"\b\b\b");
    SaveToRecord(h.page, h.record);
    EXPECT_EQ(std::u16string(h.record.szReservePassword, 5), std::u16string(u"1\0\0\0\0", 5));
}

}  // namespace
