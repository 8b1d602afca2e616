#include "resources/Catalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/ResourceIds.h"

namespace {

using resources::FindCatalogText;

constexpr uint16_t kNeutral = 0x0400;
constexpr uint16_t kLanguages[] = {0x0400, 0x0407, 0x040C, 0x0410, 0x0411, 0x0413, 0x0816, 0x0C0A};

std::vector<uint32_t> ExpectedIds() {
    std::vector<uint32_t> ids;
    for (auto [first, last] : {std::pair{10001u, 10028u}, {15001u, 15006u}, {20001u, 20147u},
                               {25001u, 25007u}, {25009u, 25012u}})
        for (uint32_t id = first; id <= last; ++id) ids.push_back(id);
    return ids;
}

std::u16string Text(uint16_t language, uint32_t id) {
    const char16_t* text = FindCatalogText(language, id);
    return text ? std::u16string(text) : u"<missing>";
}

// The catalogue has the eight blocks, each with the same 192 identifiers and
// a non-empty text for every one of them.
TEST(Catalog, EveryBlockHoldsEveryIdentifier) {
    const std::vector<uint32_t> expected = ExpectedIds();
    ASSERT_EQ(expected.size(), 192u);
    auto ids = resources::CatalogIds();
    EXPECT_EQ(std::vector<uint32_t>(ids.begin(), ids.end()), expected);
    auto languages = resources::CatalogLanguages();
    EXPECT_EQ(std::vector<uint16_t>(languages.begin(), languages.end()),
              std::vector<uint16_t>(std::begin(kLanguages), std::end(kLanguages)));

    for (uint16_t language : kLanguages) {
        SCOPED_TRACE(testing::Message() << "language " << std::hex << language);
        EXPECT_TRUE(resources::HasLanguageBlock(language));
        for (uint32_t id : expected) {
            const char16_t* text = FindCatalogText(language, id);
            ASSERT_NE(text, nullptr) << id;
            EXPECT_NE(text[0], u'\0') << id;
        }
    }
}

TEST(Catalog, UnknownIdentifiersAndLanguagesFindNothing) {
    for (uint32_t id : {0u, 10000u, 10029u, 15000u, 15007u, 20000u, 20148u, 25000u, 25008u, 25013u}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(FindCatalogText(kNeutral, id), nullptr);
    }
    for (uint16_t language : {0x0000, 0x0409, 0x0809, 0x0007, 0x0807, 0x0416}) {
        SCOPED_TRACE(testing::Message() << std::hex << language);
        EXPECT_FALSE(resources::HasLanguageBlock(static_cast<uint16_t>(language)));
        EXPECT_EQ(FindCatalogText(static_cast<uint16_t>(language), 15001), nullptr);
    }
}

struct NeutralRow {
    uint32_t id;
    const char16_t* text;
};

// The neutral texts the page, its messages and the feature table show.
TEST(Catalog, NeutralTextsAreTheEnglishOnes) {
    const NeutralRow rows[] = {
        {10001, u"Input Slot"},          {10002, u"Resolution"},
        {10003, u"Media Type"},          {10004, u"Installed Memory"},
        {10005, u"Lower Cassette Unit"}, {10006, u"Duplex Unit"},
        {10007, u"Page Size"},           {10008, u"Screen"},
        {10009, u"Pure Black Mode"},     {10010, u"Lumaedge"},
        {10011, u"Toner Save Mode"},     {10012, u"Image Protect"},
        {10013, u"Color Mode"},          {10014, u"Press Simulation"},
        {10015, u"RGB Source"},          {10016, u"Rendering Intent"},
        {10017, u"Simulation Method"},   {10018, u"Separations"},
        {10019, u"Output Bin"},          {10020, u"Density"},
        {10021, u"Rotate By 180\u00B0"}, {10022, u"Output Direction"},
        {10023, u"Start Page"},          {10024, u"Stacker Unit"},
        {10025, u"Duplex"},              {10026, u"Auto Mono Mode"},
        {10027, u"Output"},              {10028, u"CompactFlash"},
        {15001, u"Extended Settings"},   {15002, u"User Name"},
        {15003, u"Job Name"},            {15004, u"Password"},
        {15005, u"Save Access Control settings"},
        {15006, u"Job Settings"},
        {20147, u"If Access Control is set on the printer, you must enter a password."},
        {25001, u"Error"},
        {25002, u"Enter user and job name."},
        {25003, u"Valid password must be at least 4 digits."},
        {25004, u"Reserve Job Settings"},
        {25005, u"Re-Print Job"},
        {25006, u"Verify Job"},
        {25007, u"Confidential Job"},
        {25009, u"Reserve Job"},
        {25010, u"When saving a print job to the printer, you should specify a user name and job name."},
        {25011, u"To enable password-protected printing, please enter the password, user name and job name"},
        // Option names whose spelling is easy to "correct" by mistake.
        {20025, u"PrePrinted"},          {20058, u"B(Ledger)"},
        {20061, u"HalfLetter"},          {20074, u"4Postcard"},
        {20080, u"Auto(Gradation)"},     {20092, u"GCR(Output)"},
        {20087, u"Custom-1"},            {20139, u"Output-1"},
        {20145, u"Manual Feed 1st Page"},
        {20146, u"Manual Feed Each Page"},
    };
    for (const NeutralRow& row : rows) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(Text(kNeutral, row.id), row.text);
    }
}

// 25012 is a two-line request in every block, and in Japanese in the
// neutral block as well.
TEST(Catalog, AccessControlRequestIsTwoLines) {
    EXPECT_EQ(Text(kNeutral, IDS_SET_ACCESS_CONTROL_CREDENTIALS),
              u"アクセス制御を有効にするには、\nユーザー名とパスワードを設定してください。");
    EXPECT_EQ(Text(0x0411, IDS_SET_ACCESS_CONTROL_CREDENTIALS), Text(kNeutral, IDS_SET_ACCESS_CONTROL_CREDENTIALS));
    for (uint16_t language : kLanguages) {
        SCOPED_TRACE(testing::Message() << std::hex << language);
        const std::u16string text = Text(language, IDS_SET_ACCESS_CONTROL_CREDENTIALS);
        EXPECT_EQ(std::count(text.begin(), text.end(), u'\n'), 1) << "two lines";
        EXPECT_NE(text.front(), u'\n');
        EXPECT_NE(text.back(), u'\n');
    }
}

struct LanguageRow {
    uint16_t language;
    const char16_t* colorMode;   // 10013, a feature name
    const char16_t* monochrome;  // 20083, an option name
    const char16_t* verifyJob;   // 25006, a page label
};

// A sample of each translated block, read back as written.
TEST(Catalog, TranslatedBlocksHoldTheirLanguage) {
    const LanguageRow rows[] = {
        {0x0407, u"Farbmodus", u"Schwarzweiß", u"Prüfauftrag"},
        {0x040C, u"Mode couleur", u"Noir et blanc", u"Travail d'épreuve"},
        {0x0410, u"Modalità colore", u"Bianco e nero", u"Lavoro di verifica"},
        {0x0411, u"カラーモード", u"モノクロ", u"確認印刷ジョブ"},
        {0x0413, u"Kleurmodus", u"Zwart-wit", u"Proeftaak"},
        {0x0816, u"Modo de cor", u"Preto e branco", u"Trabalho de verificação"},
        {0x0C0A, u"Modo de color", u"Blanco y negro", u"Trabajo de verificación"},
    };
    for (const LanguageRow& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.language);
        EXPECT_EQ(Text(row.language, 10013), row.colorMode);
        EXPECT_EQ(Text(row.language, 20083), row.monochrome);
        EXPECT_EQ(Text(row.language, 25006), row.verifyJob);
        for (uint32_t id : {15001u, 15002u, 20147u, 25004u, 25010u, 25011u})
            EXPECT_NE(Text(row.language, id), Text(kNeutral, id)) << id << " left untranslated";
    }
}

// Size, model and colour-model names are the same in every language.
TEST(Catalog, NamesOfSizesAndModelsStayAsTheyAre) {
    for (uint32_t id : {20050u, 20053u, 20056u, 20064u, 20065u, 20108u, 20109u, 20113u, 20131u, 20136u, 10028u}) {
        SCOPED_TRACE(id);
        for (uint16_t language : kLanguages)
            EXPECT_EQ(Text(language, id), Text(kNeutral, id)) << std::hex << language;
    }
}

// The named identifiers the code uses are in the catalogue.
TEST(Catalog, NamedIdentifiersExist) {
    const std::pair<const char*, uint32_t> named[] = {
        {"IDS_FEATURE_FIRST", IDS_FEATURE_FIRST},
        {"IDS_FEATURE_LAST", IDS_FEATURE_LAST},
        {"IDS_PAGE_TITLE", IDS_PAGE_TITLE},
        {"IDS_USER_NAME", IDS_USER_NAME},
        {"IDS_JOB_NAME", IDS_JOB_NAME},
        {"IDS_PASSWORD", IDS_PASSWORD},
        {"IDS_SAVE_ACCESS_CONTROL", IDS_SAVE_ACCESS_CONTROL},
        {"IDS_ACCESS_GROUP", IDS_ACCESS_GROUP},
        {"IDS_OPTION_FIRST", IDS_OPTION_FIRST},
        {"IDS_OPTION_LAST", IDS_OPTION_LAST},
        {"IDS_ACCESS_DESCRIPTION", IDS_ACCESS_DESCRIPTION},
        {"IDS_ERROR_CAPTION", IDS_ERROR_CAPTION},
        {"IDS_ENTER_USER_AND_JOB_NAME", IDS_ENTER_USER_AND_JOB_NAME},
        {"IDS_PASSWORD_FOUR_DIGITS", IDS_PASSWORD_FOUR_DIGITS},
        {"IDS_RESERVE_JOB", IDS_RESERVE_JOB},
        {"IDS_RESERVE_REPRINT", IDS_RESERVE_REPRINT},
        {"IDS_RESERVE_VERIFY", IDS_RESERVE_VERIFY},
        {"IDS_RESERVE_CONFIDENTIAL", IDS_RESERVE_CONFIDENTIAL},
        {"IDS_RESERVE_JOB_SHORT", IDS_RESERVE_JOB_SHORT},
        {"IDS_NEED_USER_AND_JOB", IDS_NEED_USER_AND_JOB},
        {"IDS_NEED_PASSWORD_USER_AND_JOB", IDS_NEED_PASSWORD_USER_AND_JOB},
        {"IDS_SET_ACCESS_CONTROL_CREDENTIALS", IDS_SET_ACCESS_CONTROL_CREDENTIALS},
    };
    for (auto [name, id] : named) EXPECT_NE(FindCatalogText(kNeutral, id), nullptr) << name;
    EXPECT_EQ(IDS_FEATURE_LAST - IDS_FEATURE_FIRST + 1, 28);
    EXPECT_EQ(IDS_OPTION_LAST - IDS_OPTION_FIRST + 1, 146);
}

}  // namespace
