// Exhausted memory at every allocation of a parse: the model keeps what was
// read, stays consistent, and frees all it made (leaks show under ASan).
#include <gtest/gtest.h>

#include <string>

#include "tests/support/PpdSource.h"

using namespace ppdtest;

namespace {

const char kSmallPpd[] =
    "*PPD-Adobe: \"4.3\"\n*ModelName: \"Small\"\n*Product: \"(Small)\"\n*Manufacturer: \"Maker\"\n"
    "*LanguageEncoding: ISOLatin1\n*LanguageVersion: English\n"
    "*OpenGroup: InstallableOptions/Options Installed\n"
    "*OpenUI *InstalledMemory/Memory: PickOne\n*DefaultInstalledMemory: 64MB\n"
    "*InstalledMemory 64MB/64 MB: \"\"\n*InstalledMemory 128MB/128 MB: \"\"\n"
    "*?InstalledMemory: \"query\"\n*End\n*CloseUI: *InstalledMemory\n"
    "*OpenUI *Tray/Tray: Boolean\n*DefaultTray: False\n*Tray True: \"\"\n*Tray False: \"\"\n*CloseUI: *Tray\n"
    "*CloseGroup: InstallableOptions\n"
    "*OpenUI *Resolution/Resolution: PickOne\n*OrderDependency: 20 AnySetup *Resolution\n"
    "*DefaultResolution: 600dpi\n*Resolution 600dpi/600 dpi: \"a\"\n*Resolution 1200dpi/1200 dpi: \"b\"\n"
    "*CloseUI: *Resolution\n"
    "*UIConstraints: *InstalledMemory 64MB *Resolution 1200dpi\n"
    "*UIConstraints: *Tray True *Resolution 600dpi\n";

// `liveBefore`: the live block count before the build.
void ExpectConsistent(const PpdDocument& doc, const PpdDocument& full, long liveBefore) {
    EXPECT_LE(doc.featureCount, full.featureCount);
    EXPECT_LE(doc.constraintCount, full.constraintCount);
    EXPECT_LE(doc.installableCount, full.installableCount);
    EXPECT_LE(doc.installableCount, doc.featureCount);
    EXPECT_EQ(platform::portable::LiveAllocations() - liveBefore, ModelBlocks(doc));
    for (int32_t i = 0; i < doc.featureCount; ++i) {
        const PpdFeature* f = doc.GetFeature(i);
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(f->optionCount == 0 || f->options != nullptr);
        for (int32_t o = 0; o < f->optionCount; ++o) ASSERT_NE(f->options[o], nullptr);
    }
    for (int32_t i = 0; i < doc.constraintCount; ++i) ASSERT_NE(doc.constraints[i], nullptr);
    for (int32_t i = 0; i < doc.installableCount; ++i) ASSERT_NE(doc.installables[i], nullptr);
    for (const PpdString* s : {&doc.modelName, &doc.product, &doc.manufacturer}) {
        EXPECT_GE(s->length, 0);
        EXPECT_LT(s->length, kPpdStringCapacity);
        EXPECT_EQ(s->text[s->length], 0);
    }
}

// The small model built without a failure; `allocations` its build made.
PpdDocument* FullModel(long& allocations) {
    platform::portable::FailAllocation(0);
    PpdDocument* full = Parse(kSmallPpd);
    allocations = platform::portable::AllocationsSoFar();
    return full;
}

TEST(AllocationFailure, EveryAllocationOfAParseMayFail) {
    PlatformGuard guard;
    long total;
    PpdDocument* full = FullModel(total);
    ASSERT_NE(full, nullptr);
    ASSERT_EQ(full->featureCount, 3);
    ASSERT_EQ(full->constraintCount, 2);
    ASSERT_GT(total, 40);

    for (bool persistent : {false, true}) {
        for (long k = 1; k <= total + 1; ++k) {
            SCOPED_TRACE(testing::Message() << "allocation " << k << (persistent ? " onwards" : ""));
            const long before = platform::portable::LiveAllocations();
            platform::portable::FailAllocation(k, persistent);
            PpdDocument* doc = Parse(kSmallPpd);
            platform::portable::FailAllocation(0);
            if (k == 1) {
                // The document itself.
                EXPECT_EQ(doc, nullptr);
                continue;
            }
            ASSERT_NE(doc, nullptr);
            ExpectConsistent(*doc, *full, before);
            if (k == total + 1) {
                EXPECT_EQ(doc->featureCount, full->featureCount);
            }
            // The model stays usable after any failure.
            doc->SetInstallableOption(u"*InstalledMemory", u"128MB", true);
            delete doc;
        }
    }
    delete full;
}

// With a report, its own blocks may fail too: it says OutOfMemory exactly
// when the parse was cut short, and places what the model kept (a feature
// dropped for want of memory leaves its options' places).
TEST(AllocationFailure, AReportSaysOutOfMemoryExactlyWhenTheParseIsCutShort) {
    PlatformGuard guard;
    long total;
    PpdDocument* full = FullModel(total);
    ASSERT_NE(full, nullptr);
    for (long k = 1; k <= 3 * total; ++k) {
        SCOPED_TRACE(testing::Message() << "allocation " << k);
        PpdParseReport report;
        platform::portable::FailAllocation(k);
        PpdDocument* doc = Parse(kSmallPpd, &report);
        platform::portable::FailAllocation(0);
        auto queries = [](const PpdDocument& d) {
            int32_t n = 0;
            for (int32_t f = 0; f < d.featureCount; ++f) n += d.GetFeature(f)->queryCode != nullptr;
            return n;
        };
        const bool cut = !doc || doc->featureCount < full->featureCount ||
                         doc->constraintCount < full->constraintCount || queries(*doc) < queries(*full);
        EXPECT_EQ(report.end, cut ? PpdParseEnd::OutOfMemory : PpdParseEnd::Complete);
        if (!doc) continue;
        int32_t options = 0;
        for (int32_t f = 0; f < doc->featureCount; ++f) options += doc->GetFeature(f)->optionCount;
        EXPECT_EQ(report.features.Count(), doc->featureCount);
        if (cut)
            EXPECT_GE(report.options.Count(), options);
        else
            EXPECT_EQ(report.options.Count(), options);
        EXPECT_EQ(report.constraints.Count(), doc->constraintCount);
        delete doc;
    }
    delete full;
}

long g_liveWhenFailing = -1;
void NoteLiveBlocks(const void*) { g_liveWhenFailing = platform::portable::LiveAllocations(); }

// The constraint pass's index is a build's last allocation: when it is made,
// only the model's own blocks may be held (the 2 MB token buffer and the
// byte stream are given back), and without it the flags are the same.
TEST(AllocationFailure, TheConstraintPassFindsOnlyTheModelHeld) {
    PlatformGuard guard;
    long total;
    PpdDocument* full = FullModel(total);
    ASSERT_NE(full, nullptr);
    const long before = platform::portable::LiveAllocations();
    g_liveWhenFailing = -1;
    platform::portable::ObserveFailedAllocations(NoteLiveBlocks);
    platform::portable::FailAllocation(total);
    PpdDocument* doc = Parse(kSmallPpd);
    platform::portable::FailAllocation(0);
    platform::portable::ObserveFailedAllocations(nullptr);
    ASSERT_NE(doc, nullptr);
    ASSERT_NE(g_liveWhenFailing, -1);
    EXPECT_EQ(g_liveWhenFailing - before, ModelBlocks(*doc));
    EXPECT_EQ(ConstrainedFlags(*doc), ConstrainedFlags(*full));
    delete doc;
    delete full;
}

TEST(AllocationFailure, MissingTokenBufferOrStreamGivesAnEmptyModel) {
    PlatformGuard guard;
    for (long k : {2L, 3L}) {
        SCOPED_TRACE(k);
        platform::portable::FailAllocation(k);
        PpdDocument* doc = Parse(kSmallPpd);
        platform::portable::FailAllocation(0);
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->featureCount, 0);
        EXPECT_EQ(doc->constraintCount, 0);
        EXPECT_EQ(Text(doc->modelName), u"");
        delete doc;
    }
}

// The model's pointer arrays double as they fill: 32 features, 64 options of
// a feature, 512 constraints and 32 installable keywords to start with, so
// an array grows for the item after each power of two from its start and
// not for the one after half the start or three times it, where a smaller
// start or a fixed step would grow it. Growth shows as one more allocation
// per array than the item itself costs; an installable feature fills two.
TEST(ArrayGrowth, ArraysDoubleFromTheirStartingCapacity) {
    PlatformGuard guard;
    const struct {
        const char* kind;
        std::string (*ppd)(int count);
        int start;
        int arrays = 1;
    } kinds[] = {
        {"features", [](int n) {
             std::string ppd;
             for (int i = 0; i < n; ++i) ppd += "*OpenUI *F" + std::to_string(i) + ": PickOne\n*CloseUI: *F\n";
             return ppd;
         }, 32},
        {"options of a feature", [](int n) {
             std::string ppd = "*OpenUI *F: PickOne\n";
             for (int i = 0; i < n; ++i) ppd += "*F o" + std::to_string(i) + ": \"\"\n";
             return ppd + "*CloseUI: *F\n";
         }, 64},
        {"constraints", [](int n) {
             std::string ppd;
             for (int i = 0; i < n; ++i) ppd += "*UIConstraints: *A 1 *B 2\n";
             return ppd;
         }, 512},
        {"installable features", [](int n) {
             std::string ppd = "*OpenGroup: InstallableOptions\n";
             for (int i = 0; i < n; ++i) ppd += "*OpenUI *F" + std::to_string(i) + ": Boolean\n*CloseUI: *F\n";
             return ppd;
         }, 32, 2},
    };
    auto allocations = [](const std::string& ppd) {
        platform::portable::FailAllocation(0);
        delete Parse(ppd);
        return platform::portable::AllocationsSoFar();
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.kind);
        const long perItem = allocations(kind.ppd(kind.start + 2)) - allocations(kind.ppd(kind.start + 1));
        for (int filled : {kind.start / 2, kind.start, 2 * kind.start, 3 * kind.start, 4 * kind.start}) {
            SCOPED_TRACE(testing::Message() << "one past " << filled);
            const bool grows = filled != 3 * kind.start && filled != kind.start / 2;
            EXPECT_EQ(allocations(kind.ppd(filled + 1)) - allocations(kind.ppd(filled)),
                      perItem + (grows ? kind.arrays : 0));
        }
    }
}

}  // namespace
