#include "resources/LoadCatalogString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/portable/PortablePlatform.h"
#include "resources/ResourceIds.h"

namespace {

using platform::portable::LoadStringCapacities;

// A text whose every unit differs from its neighbours, so a cut or a
// shifted copy shows.
std::u16string TextOfLength(size_t length) {
    std::u16string text;
    for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(u'A' + i % 26));
    return text;
}

class LoadCatalogStringTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        EXPECT_EQ(platform::portable::BlocksIn(heap_), 0) << "every buffer goes back to the heap it came from";
        Reset();
    }
    static void Reset() {
        platform::portable::ResetStrings();
        platform::portable::FailAllocation(0);
        platform::portable::SetUiLanguage(0x0400);
    }

    std::u16string Load(UINT id) {
        const auto buffer = LoadCatalogString(kModule, heap(), id);
        EXPECT_TRUE(buffer);
        return buffer ? buffer.get() : u"<null>";
    }

    // A heap of the test's own, so that a buffer given back to another heap
    // stays counted in this one.
    HANDLE heap() const { return heap_; }
    const HANDLE heap_ = platform::portable::CreateHeap();
    static inline const HMODULE kModule = reinterpret_cast<HMODULE>(0x10000);
    static constexpr UINT kId = 15001;
};

struct GrowthRow {
    const char* name;
    size_t length;
    std::vector<int> capacities;  // one per load, in order
};

class LoadCatalogStringGrowth : public LoadCatalogStringTest,
                                public ::testing::WithParamInterface<GrowthRow> {};

// A text is loaded again, into about twice the room, exactly when it filled
// the buffer to capacity - 1 units; every length comes back whole.
TEST_P(LoadCatalogStringGrowth, ReloadsUntilTheTextFitsAndReturnsItWhole) {
    const GrowthRow& row = GetParam();
    const std::u16string text = TextOfLength(row.length);
    platform::portable::OverrideString(kId, text);

    const auto buffer = LoadCatalogString(kModule, heap(), kId);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(std::u16string(buffer.get()), text);
    EXPECT_EQ(LoadStringCapacities(), row.capacities);
    EXPECT_EQ(platform::portable::AllocationsSoFar(), static_cast<long>(row.capacities.size()))
        << "one buffer per load";
    // The buffer of the last load is zero-filled past the text.
    const int capacity = row.capacities.back();
    for (int i = static_cast<int>(row.length); i < capacity; ++i) ASSERT_EQ(buffer.get()[i], 0) << "unit " << i;
    EXPECT_EQ(platform::portable::BlocksIn(heap()), 1) << "earlier buffers went back";
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, LoadCatalogStringGrowth,
    ::testing::Values(GrowthRow{"Empty", 0, {257}}, GrowthRow{"Units255", 255, {257}},
                      GrowthRow{"Units256", 256, {257, 513}}, GrowthRow{"Units257", 257, {257, 513}},
                      GrowthRow{"Units511", 511, {257, 513}}, GrowthRow{"Units512", 512, {257, 513, 1025}},
                      GrowthRow{"Units1024", 1024, {257, 513, 1025, 2049}},
                      GrowthRow{"Units5000", 5000, {257, 513, 1025, 2049, 4097, 8193}}),
    [](const ::testing::TestParamInfo<GrowthRow>& info) { return std::string(info.param.name); });

// Identifiers the catalogue does not hold load as an empty text, not null.
TEST_F(LoadCatalogStringTest, MissingIdentifierGivesAnEmptyText) {
    for (UINT id : {25008u, 0u, 10000u, 20148u, 65535u}) {
        SCOPED_TRACE(id);
        platform::portable::ResetStrings();
        EXPECT_EQ(Load(id), u"");
        EXPECT_EQ(LoadStringCapacities(), std::vector<int>{257});
    }
    platform::portable::RemoveString(kId);
    EXPECT_EQ(Load(kId), u"");
}

// No memory: null, whichever buffer could not be had, and the earlier
// buffer of a reload is not leaked (the sanitizer build checks that).
TEST_F(LoadCatalogStringTest, FailedAllocationGivesNull) {
    struct Row {
        size_t length;
        long failingAllocation;
        size_t loadsBeforeFailure;
    };
    for (const Row& row : {Row{10, 1, 0}, Row{256, 1, 0}, Row{256, 2, 1}, Row{600, 3, 2}}) {
        SCOPED_TRACE(testing::Message() << row.length << " units, allocation " << row.failingAllocation);
        platform::portable::ResetStrings();
        platform::portable::OverrideString(kId, TextOfLength(row.length));
        platform::portable::FailAllocation(row.failingAllocation);
        EXPECT_FALSE(LoadCatalogString(kModule, heap(), kId));
        EXPECT_EQ(LoadStringCapacities().size(), row.loadsBeforeFailure);
    }
}

// The text comes from the block of the UI language; a language without a
// block reads the neutral one.
TEST_F(LoadCatalogStringTest, FollowsTheUiLanguage) {
    struct Row {
        uint16_t language;
        std::u16string title;
    };
    const Row rows[] = {
        {0x0400, u"Extended Settings"},        {0x0407, u"Erweiterte Einstellungen"},
        {0x040C, u"Paramètres avancés"},       {0x0410, u"Impostazioni avanzate"},
        {0x0411, u"拡張設定"},                 {0x0413, u"Uitgebreide instellingen"},
        {0x0816, u"Definições avançadas"},     {0x0C0A, u"Configuración avanzada"},
        {0x0409, u"Extended Settings"},        {0x0809, u"Extended Settings"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.language);
        platform::portable::SetUiLanguage(row.language);
        EXPECT_EQ(Load(IDS_PAGE_TITLE), row.title);
    }
}

}  // namespace
