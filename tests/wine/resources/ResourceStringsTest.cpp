// The catalogue through the real DLL under Wine: LoadStringW picks the block
// of the UI language the run was started under, and every block holds every
// string with the catalogue's text.
//
// Each run names the block it expects in CORVINA_UI_LANGUAGE (hex language
// id; unset means the neutral block) and sets LANG to match.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "resources/Catalog.h"
#include "resources/ResourceIds.h"
#include "tests/wine/host/PluginHost.h"

namespace {

constexpr uint16_t kNeutral = 0x0400;

uint16_t ExpectedBlock() {
    const char* value = std::getenv("CORVINA_UI_LANGUAGE");
    return value && *value ? static_cast<uint16_t>(std::strtoul(value, nullptr, 16)) : kNeutral;
}

class ResourceStrings : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module.Load()) << "LoadLibraryW failed: " << ::GetLastError(); }

    // The text as LoadStringW gives it, read in place (capacity 0 hands out
    // a pointer to the resource itself, so no length limit applies).
    std::u16string Load(UINT id) const {
        const wchar_t* text = nullptr;
        const int length = ::LoadStringW(module.handle, id, reinterpret_cast<LPWSTR>(&text), 0);
        return length > 0 ? std::u16string(reinterpret_cast<const char16_t*>(text), length) : u"";
    }

    host::PluginModule module;
};

// Wine takes its UI language from LANG; a locale the machine lacks leaves it
// at English, and the run would silently test the neutral fallback instead.
TEST_F(ResourceStrings, RunsUnderTheExpectedUiLanguage) {
    const uint16_t expected = ExpectedBlock();
    if (expected == kNeutral) {
        EXPECT_FALSE(resources::HasLanguageBlock(::GetUserDefaultUILanguage()))
            << "the neutral run needs a UI language without a block of its own";
    } else {
        EXPECT_EQ(::GetUserDefaultUILanguage(), expected)
            << "is the locale of LANG=" << (std::getenv("LANG") ? std::getenv("LANG") : "") << " installed?";
    }
}

// A sample the page and the tables use, then every identifier: each comes
// from the block of the UI language.
TEST_F(ResourceStrings, LoadStringFollowsTheUiLanguage) {
    const uint16_t expected = ExpectedBlock();
    const UINT sample[] = {IDS_PAGE_TITLE, IDS_USER_NAME,    IDS_JOB_NAME,          IDS_PASSWORD,
                           IDS_SAVE_ACCESS_CONTROL,          IDS_ACCESS_GROUP,      10013 /* Color Mode */,
                           10021 /* Rotate By 180° */,       20083 /* Monochrome */,
                           IDS_ACCESS_DESCRIPTION,           IDS_NEED_PASSWORD_USER_AND_JOB};
    for (UINT id : sample) {
        SCOPED_TRACE(id);
        const std::u16string text = Load(id);
        EXPECT_EQ(text, resources::FindCatalogText(expected, id)) << host::Utf8(text);
    }
    if (expected != kNeutral) {
        EXPECT_NE(Load(IDS_PAGE_TITLE), resources::FindCatalogText(kNeutral, IDS_PAGE_TITLE))
            << "neutral text in a translated run";
    }

    for (uint32_t id : resources::CatalogIds()) {
        const std::u16string text = Load(id);
        EXPECT_EQ(text, resources::FindCatalogText(expected, id)) << id << ": " << host::Utf8(text);
    }
    EXPECT_EQ(Load(25008), u"") << "there is no 25008";
}

// Over the resources themselves, whatever the UI language: every block of
// every language holds exactly the catalogue's strings.
TEST_F(ResourceStrings, EveryLanguageBlockHoldsEveryString) {
    std::set<UINT> blocks;
    for (uint32_t id : resources::CatalogIds()) blocks.insert(id / 16 + 1);

    for (uint16_t language : resources::CatalogLanguages()) {
        SCOPED_TRACE(testing::Message() << "language " << std::hex << language);
        std::map<uint32_t, std::u16string> found;
        for (UINT block : blocks) {
            HRSRC resource = ::FindResourceExW(module.handle, RT_STRING, MAKEINTRESOURCEW(block), language);
            ASSERT_NE(resource, nullptr) << "block " << block;
            const auto* units = static_cast<const char16_t*>(::LockResource(::LoadResource(module.handle, resource)));
            const DWORD size = ::SizeofResource(module.handle, resource) / 2;
            ASSERT_NE(units, nullptr);
            DWORD at = 0;
            for (UINT i = 0; i < 16; ++i) {
                ASSERT_LT(at, size) << "block " << block << " cut short";
                const DWORD length = units[at++];
                ASSERT_LE(at + length, size);
                if (length) found[(block - 1) * 16 + i] = std::u16string(units + at, length);
                at += length;
            }
        }
        EXPECT_EQ(found.size(), resources::CatalogIds().size());
        for (uint32_t id : resources::CatalogIds())
            EXPECT_EQ(found[id], resources::FindCatalogText(language, id)) << id << ": " << host::Utf8(found[id]);
    }
}

}  // namespace
