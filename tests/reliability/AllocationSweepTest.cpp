// Exhausted memory at every allocation a build makes: the model of the sample
// PPD, of one large PPD of the openprinting corpus and of a PPD that grows
// every array, the option tree's first call, and the Job Settings page. Each
// is run once to count its allocations, then again failing allocation k
// (alone, and from k on) for every k: never a crash, every block given back,
// and what survives is consistent and what the input holds. Each sweep prints
// its figures.
#include <execinfo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame/JobSettings.h"
#include "frame/PluginContext.h"
#include "optree/OptionTree.h"
#include "page/JobSettingsLogic.h"
#include "page/PageControls.h"
#include "platform/Platform.h"
#include "platform/portable/PortablePlatform.h"
#include "ppd/PpdDocument.h"
#include "resources/ResourceIds.h"
#include "tests/support/FakeDriverHelper.h"
#include "tests/support/PageModel.h"
#include "tests/support/PpdSource.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using platform::portable::FailAllocation;
using platform::portable::LiveAllocations;

// ---- Where allocations fail ------------------------------------------------

// A site is the allocating call and the call above it, so that the shared
// record allocator of the model counts once per record kind.
using Site = std::pair<const void*, const void*>;
std::set<Site>* g_sites = nullptr;

void RecordSite(const void* returnAddress) {
    if (!g_sites) return;
    void* frames[24];
    const int depth = backtrace(frames, static_cast<int>(std::size(frames)));
    for (int i = 0; i < depth; ++i) {
        if (frames[i] == returnAddress) {
            g_sites->insert({frames[i], i + 1 < depth ? frames[i + 1] : nullptr});
            return;
        }
    }
    g_sites->insert({returnAddress, nullptr});
}

// Counts the sites and failures of one sweep and checks, once at its end,
// that nothing leaked (each step also compares the live block count).
class Sweep {
public:
    explicit Sweep(std::string name) : name_(std::move(name)) {
        void* warm[4];
        backtrace(warm, 4);  // its first call loads the unwinder
        g_sites = &sites_;
        platform::portable::ObserveFailedAllocations(RecordSite);
    }
    ~Sweep() {
        platform::portable::ObserveFailedAllocations(nullptr);
        g_sites = nullptr;
        FailAllocation(0);
    }

    void Injected(long failures) { failures_ += failures; }

    void Report(long allocations) {
        std::string leaks = "0 leaks (live block count)";
#if defined(__SANITIZE_ADDRESS__)
        const bool found = __lsan_do_recoverable_leak_check() != 0;
        EXPECT_FALSE(found) << "LeakSanitizer found blocks nothing points to";
        leaks = found ? "leaks found" : "0 leaks (live block count and LeakSanitizer)";
#endif
        std::printf("[ figures  ] %s: %ld allocations per build, %zu allocation sites failed, %ld failures "
                    "injected, 0 crashes, %s\n",
                    name_.c_str(), allocations, sites_.size(), failures_, leaks.c_str());
    }

private:
    std::string name_;
    std::set<Site> sites_;
    long failures_ = 0;
};

// ---- The PPD model ---------------------------------------------------------

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A string the failure left alone, or one whose conversion found no memory.
bool SameOrLost(const PpdString& part, const PpdString& whole) { return part.SameAs(whole) || part.length == 0; }

bool SameOrLost(const char16_t* part, const char16_t* whole) {
    if (!part) return true;
    if (!whole) return false;
    return std::u16string_view(part) == std::u16string_view(whole);
}

void ExpectTerminated(const PpdString& s) {
    EXPECT_GE(s.length, 0);
    EXPECT_LT(s.length, kPpdStringCapacity);
    if (s.length < 0 || s.length >= kPpdStringCapacity) return;
    EXPECT_EQ(s.text[s.length], 0);
    EXPECT_EQ(std::char_traits<char16_t>::length(s.text), static_cast<size_t>(s.length));
}

// Checks that `doc` holds no more than the full model, every record and
// string sound, and that the live blocks added since `liveBefore` are its own. With `prefix`, also that its records are the full model's
// first ones, each as there or with strings that found no memory empty,
// and that only the last feature stops short.
void CompareWithFullModel(const PpdDocument& doc, const PpdDocument& full, bool prefix, long liveBefore) {
    auto compare = [&](const PpdString& part, const PpdString& whole) {
        ExpectTerminated(part);
        if (prefix) {
            EXPECT_TRUE(SameOrLost(part, whole));
        }
    };

    EXPECT_EQ(LiveAllocations() - liveBefore, ppdtest::ModelBlocks(doc));
    EXPECT_LE(doc.featureCount, full.featureCount);
    EXPECT_LE(doc.constraintCount, full.constraintCount);
    EXPECT_LE(doc.installableCount, full.installableCount);
    EXPECT_LE(doc.installableCount, doc.featureCount);
    if (doc.featureCount > full.featureCount || doc.constraintCount > full.constraintCount ||
        doc.installableCount > full.installableCount)
        return;

    for (auto [part, whole] : {std::pair{&doc.modelName, &full.modelName}, {&doc.product, &full.product},
                               {&doc.manufacturer, &full.manufacturer},
                               {&doc.languageEncoding, &full.languageEncoding},
                               {&doc.languageVersion, &full.languageVersion}})
        compare(*part, *whole);

    for (int32_t f = 0; f < doc.featureCount; ++f) {
        const PpdFeature* a = doc.GetFeature(f);
        const PpdFeature* b = full.GetFeature(f);
        EXPECT_NE(a, nullptr);
        if (!a) continue;
        compare(a->keyword, b->keyword);
        compare(a->translation, b->translation);
        compare(a->defaultOption, b->defaultOption);
        compare(a->group, b->group);
        compare(a->groupTranslation, b->groupTranslation);
        EXPECT_TRUE(a->optionCount == 0 || a->options);
        if (prefix) {
            EXPECT_TRUE(SameOrLost(a->queryCode, b->queryCode));
            if (f == doc.featureCount - 1) {
                EXPECT_LE(a->optionCount, b->optionCount);
            } else {
                EXPECT_EQ(a->optionCount, b->optionCount) << "feature " << f << " is not the last one";
            }
        }
        for (int32_t o = 0; o < a->optionCount; ++o) {
            EXPECT_NE(a->options[o], nullptr);
            if (!a->options[o]) continue;
            const bool counterpart = o < b->optionCount;
            if (prefix) {
                EXPECT_TRUE(counterpart);
            }
            compare(a->options[o]->keyword, counterpart ? b->options[o]->keyword : a->options[o]->keyword);
            compare(a->options[o]->translation, counterpart ? b->options[o]->translation : a->options[o]->translation);
            if (prefix && counterpart) {
                EXPECT_TRUE(SameOrLost(a->options[o]->invocation, b->options[o]->invocation));
            }
        }
    }
    for (int32_t c = 0; c < doc.constraintCount; ++c) {
        EXPECT_NE(doc.constraints[c], nullptr);
        if (!doc.constraints[c]) continue;
        compare(doc.constraints[c]->feature1, full.constraints[c]->feature1);
        compare(doc.constraints[c]->option1, full.constraints[c]->option1);
        compare(doc.constraints[c]->feature2, full.constraints[c]->feature2);
        compare(doc.constraints[c]->option2, full.constraints[c]->option2);
    }
    for (int32_t i = 0; i < doc.installableCount; ++i) {
        EXPECT_NE(doc.installables[i], nullptr);
        if (!doc.installables[i]) continue;
        compare(doc.installables[i]->keyword, full.installables[i]->keyword);
        compare(doc.installables[i]->currentOption, full.installables[i]->currentOption);
    }
}

void SweepModel(const std::string& name, const std::string& ppd, unsigned codePage, bool onwardsOnly = false) {
    platform::portable::SetAnsiCodePage(codePage);
    const long baseline = LiveAllocations();
    FailAllocation(0);
    std::unique_ptr<PpdDocument> full(ppdtest::Parse(ppd));
    const long allocations = platform::portable::AllocationsSoFar();
    ASSERT_NE(full, nullptr);
    ASSERT_GT(full->featureCount, 0);
    const long withFull = LiveAllocations();

    Sweep sweep(name);
    for (bool onwards : {false, true}) {
        if (onwardsOnly && !onwards) continue;
        for (long k = 1; k <= allocations; ++k) {
            SCOPED_TRACE(testing::Message() << name << ": allocation " << k << (onwards ? " and later" : ""));
            FailAllocation(k, onwards);
            PpdDocument* doc = ppdtest::Parse(ppd);
            FailAllocation(0);
            if (k == 1) {
                // The document's own record.
                EXPECT_EQ(doc, nullptr);
                EXPECT_EQ(LiveAllocations(), withFull);
                continue;
            }
            ASSERT_NE(doc, nullptr);
            // From k on every allocation fails, so the parse ends at the next
            // record with what came before it. A single failure may leave a
            // string empty and go on, and an empty keyword changes what
            // follows (a feature keyword taken from its translation no longer
            // matches its option lines), so only soundness is checked there.
            CompareWithFullModel(*doc, *full, onwards, withFull);
            // The constraint pass ran over what was kept, and the model goes on working.
            const std::vector<uint8_t> flags = ppdtest::ConstrainedFlags(*doc);
            if (k == allocations) {
                // The last is the pass's index: without it, the full model's flags all the same.
                EXPECT_EQ(flags, ppdtest::ConstrainedFlags(*full));
            }
            if (doc->installableCount > 0)
                doc->SetInstallableOption(doc->installables[0]->keyword.text, doc->installables[0]->currentOption.text,
                                          false);
            doc->EvaluateConstraints();
            EXPECT_EQ(ppdtest::ConstrainedFlags(*doc), flags);
            delete doc;
            EXPECT_EQ(LiveAllocations(), withFull) << "blocks of the failed build were not released";
            if (testing::Test::HasFatalFailure()) return;
        }
        sweep.Injected(allocations);
    }
    full.reset();
    EXPECT_EQ(LiveAllocations(), baseline);
    sweep.Report(allocations);
    platform::portable::SetAnsiCodePage(1252);
}

// Past every starting capacity of the model's pointer arrays (32 features,
// 32 installable options, 64 options of a feature, 512 constraints), so that
// each array grows. Every feature stands in the installable group, which the
// constraint pass skips, to keep every build quick.
std::string GrowingPpd() {
    std::string ppd = "*OpenGroup: InstallableOptions\n";
    for (int f = 0; f < 33; ++f) {
        const std::string name = "*U" + std::to_string(f);
        ppd += "*OpenUI " + name + ": PickOne\n";
        for (int o = 0; o < (f == 0 ? 65 : 1); ++o) ppd += name + " " + std::to_string(o) + ": \"\"\n";
        ppd += "*CloseUI: " + name + "\n";
    }
    for (int c = 0; c < 513; ++c) ppd += "*UIConstraints: *U" + std::to_string(c % 33) + " 0 *V 1\n";
    return ppd;
}

// A growth that fails ends the parse whether or not later allocations would
// work, and the single failures elsewhere are the sample's; so failing from
// each k on covers what this model adds.
TEST(AllocationFailureSweep, ModelWhoseArraysAllGrow) {
    SweepModel("PPD growing every array", GrowingPpd(), 1252, true);
}

std::string CorpusDirectory() {
    const char* overridden = std::getenv("CORVINA_PPD_CORPUS");
    return overridden && *overridden ? overridden : CORVINA_PPD_CORPUS_DEFAULT;
}

TEST(AllocationFailureSweep, SamplePpdModel) {
    const std::string ppd = ReadFile(CORVINA_SAMPLES_DIR "/norvane-c5.ppd");
    ASSERT_FALSE(ppd.empty());
    SweepModel("sample PPD norvane-c5.ppd", ppd, 1252);
}

// A PostScript PPD of ordinary size from the corpus: 20 features, 6
// installable options and 392 constraints in 60 KB.
TEST(AllocationFailureSweep, CorpusPpdModel) {
    const char* chosen = std::getenv("CORVINA_SWEEP_PPD");
    const std::string path = chosen && *chosen
                                 ? std::string(chosen)
                                 : CorpusDirectory() + "/openprinting/Gestetner/PS/Gestetner-2712_PS.ppd";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << path << " is missing: scripts/ppd-corpus.sh unpacks the openprinting corpus";
    const std::string ppd = ReadFile(path);
    const bool japanese = ppd.find("*LanguageEncoding: JIS83-RKSJ") != std::string::npos;
    SweepModel("corpus PPD " + std::filesystem::path(path).filename().string(), ppd, japanese ? 932 : 1252);
}

// ---- The option tree's first call ------------------------------------------

TEST(AllocationFailureSweep, OptionTreeFirstCallBuildsTheModel) {
    const HANDLE printer = reinterpret_cast<HANDLE>(0x51);
    platform::portable::AddPrinter(printer, u"" CORVINA_SAMPLES_DIR "/norvane-c5.ppd");
    support::FakeDriverHelper driver;
    driver.installed = {{"InstalledMemory", "64MB"}, {"QZTrayUnit", "None"}, {"QZDuplexOption", "None"},
                        {"QZStackerOption", "None"}, {"QZCompactFlash", "None"}};
    auto firstCall = [&](PluginContext& context) {
        OEMCUIPPARAM param{};
        param.cbSize = sizeof param;
        param.hPrinter = printer;
        param.hOEMHeap = platform::ProcessHeap();
        EXPECT_EQ(CustomizeOptionTree(OEMCUIP_DOCPROP, &param, &context), S_OK);
        EXPECT_EQ(param.cOEMOptItems, 0u);
    };

    const long baseline = LiveAllocations();
    FailAllocation(0);
    PluginContext reference;
    reference.driverHelper.reset(&driver);
    firstCall(reference);
    const long allocations = platform::portable::AllocationsSoFar();
    ASSERT_NE(reference.ppdDocument.get(), nullptr);
    const long withReference = LiveAllocations();

    Sweep sweep("option tree first call on the sample PPD");
    for (bool onwards : {false, true}) {
        for (long k = 1; k <= allocations; ++k) {
            SCOPED_TRACE(testing::Message() << "allocation " << k << (onwards ? " and later" : ""));
            PluginContext context;
            context.driverHelper.reset(&driver);
            FailAllocation(k, onwards);
            firstCall(context);
            FailAllocation(0);
            // Without the spooler's block or the document's record there is no
            // model, and the next first call tries again.
            if (!context.ppdDocument) {
                EXPECT_LE(k, 2);
                firstCall(context);
                EXPECT_NE(context.ppdDocument.get(), nullptr);
            }
            if (context.ppdDocument) {
                CompareWithFullModel(*context.ppdDocument, *reference.ppdDocument, onwards, withReference);
                context.ppdDocument.reset();
            }
            EXPECT_EQ(LiveAllocations(), withReference);
        }
        sweep.Injected(allocations);
    }
    reference.ppdDocument.reset();
    platform::portable::RemoveAllPrinters();
    EXPECT_EQ(LiveAllocations(), baseline);
    sweep.Report(allocations);
}

// ---- The Job Settings page -------------------------------------------------

TEST(AllocationFailureSweep, JobSettingsPageTexts) {
    JOBSETTINGS record;
    SetDefaultJobSettings(&record);
    record.dwReserveJobType = kReserveJobConfidential;
    char moduleStandIn;
    OEMCUIPPARAM param{};
    param.hModule = &moduleStandIn;
    param.hOEMHeap = platform::ProcessHeap();
    param.pOEMDM = &record;
    PluginContext context;
    context.commonUiParam = &param;

    // Initialisation loads every label; an apply with the names missing loads
    // the warning's caption and text.
    auto show = [&](support::ControlModel& controls) {
        InitializePage(controls, context);
        ApplyPage(controls, context);
    };
    const long baseline = LiveAllocations();
    FailAllocation(0);
    support::ControlModel reference;
    show(reference);
    const long allocations = platform::portable::AllocationsSoFar();
    ASSERT_EQ(reference.warnings.size(), 1u);
    ASSERT_GE(allocations, 15);

    Sweep sweep("Job Settings page");
    for (bool onwards : {false, true}) {
        for (long k = 1; k <= allocations; ++k) {
            SCOPED_TRACE(testing::Message() << "allocation " << k << (onwards ? " and later" : ""));
            support::ControlModel controls;
            JOBSETTINGS before = record;
            FailAllocation(k, onwards);
            show(controls);
            FailAllocation(0);
            EXPECT_EQ(controls.warnings.size(), 1u);
            EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
            // A text whose buffer could not be had shows empty; the others as always.
            int empty = 0;
            for (const auto& [id, control] : reference.controls) {
                if (controls.At(id).text == control.text) continue;
                EXPECT_EQ(controls.At(id).text, u"") << "control " << id;
                ++empty;
            }
            if (!onwards) {
                EXPECT_LE(empty, 1);
            }
            EXPECT_EQ(LiveAllocations(), baseline);
        }
        sweep.Injected(allocations);
    }
    sweep.Report(allocations);
}

}  // namespace
