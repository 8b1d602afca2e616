#include <gtest/gtest.h>

#include "page/CharFilters.h"

namespace {

struct FilterCase {
    const char* name;
    WPARAM code;
    bool name_, password, digit;
};

class CharFilters : public testing::TestWithParam<FilterCase> {};

TEST_P(CharFilters, AcceptOrRefuseTheTypedCode) {
    const FilterCase& c = GetParam();
    EXPECT_EQ(NameCharAccepted(c.code), c.name_);
    EXPECT_EQ(PasswordCharAccepted(c.code), c.password);
    EXPECT_EQ(DigitCharAccepted(c.code), c.digit);
    EXPECT_EQ(CharAccepted(CharFilter::Name, c.code), c.name_);
    EXPECT_EQ(CharAccepted(CharFilter::Password, c.code), c.password);
    EXPECT_EQ(CharAccepted(CharFilter::Digit, c.code), c.digit);
}

constexpr WPARAM kHighBits = static_cast<WPARAM>(1) << (sizeof(WPARAM) * 8 - 1);

INSTANTIATE_TEST_SUITE_P(
    Codes, CharFilters,
    testing::Values(FilterCase{"Nul", 0x00, false, false, false},
                    FilterCase{"Backspace", 0x08, true, true, true},
                    FilterCase{"Tab", 0x09, false, false, false},
                    FilterCase{"Return", 0x0D, false, false, false},
                    FilterCase{"Escape", 0x1B, false, false, false},
                    FilterCase{"Space", 0x20, true, false, false},
                    FilterCase{"Exclamation", 0x21, true, true, false},
                    FilterCase{"DoubleQuote", 0x22, false, true, false},
                    FilterCase{"Percent", 0x25, false, true, false},
                    FilterCase{"Zero", 0x30, true, true, true},
                    FilterCase{"LetterA", 0x41, true, true, false},
                    FilterCase{"Tilde", 0x7E, true, true, false},
                    FilterCase{"Delete", 0x7F, false, false, false},
                    FilterCase{"EAcute", 0xE9, false, false, false},
                    FilterCase{"Hiragana", 0x3042, false, false, false},
                    FilterCase{"DigitAboveSixteenBits", 0x10030, false, false, false},
                    FilterCase{"DigitWithTopBit", kHighBits | 0x30, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CharFilterSets, AcceptedCountsOverTheWholeUnitRange) {
    int name = 0, password = 0, digit = 0;
    for (WPARAM code = 0; code <= 0xFFFF; ++code) {
        name += NameCharAccepted(code);
        password += PasswordCharAccepted(code);
        digit += DigitCharAccepted(code);
    }
    EXPECT_EQ(name, 94);      // 0x20..0x7E without '"' and '%', and backspace
    EXPECT_EQ(password, 95);  // 0x21..0x7E, and backspace
    EXPECT_EQ(digit, 11);     // '0'..'9', and backspace
}

TEST(CharFilterMessages, OnlyTypedCharactersAreJudged) {
    const struct {
        const char* name;
        CharFilter filter;
        UINT message;
        WPARAM wParam;
        bool swallowed;
    } rows[] = {
        // The host's numbers, not the header's: WM_CHAR is 0x0102.
        {"RefusedChar", CharFilter::Digit, 0x0102, 'a', true},
        {"AcceptedChar", CharFilter::Digit, 0x0102, '5', false},
        {"KeyDown", CharFilter::Digit, 0x0100, 'A', false},
        {"SetText", CharFilter::Name, 0x000C, 0, false},
        {"Paste", CharFilter::Password, 0x0302, 0, false},
        {"SysChar", CharFilter::Name, 0x0106, '"', false},
        {"Unfiltered", CharFilter::None, 0x0102, 0x1B, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FilterSwallows(row.filter, row.message, row.wParam), row.swallowed);
    }
}

}  // namespace
