// The typical use from start to end, the way the driver's UI module runs it:
// object, helper, record sized and defaulted, both calls of each sheet over
// items built from the sample PPD, the document properties shown through
// Wine's property-sheet service with a confidential job typed in and OK
// pressed, the colour switched to monochrome, the object released.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/wine/SamplePrinter.h"
// After <windows.h>, which the line above brings in.
#include <psapi.h>

namespace {

using sample_printer::kDefaultConfiguration;
using sample_printer::kSmallFullConfiguration;

// Refused keystrokes ride along: quote and per-cent in the name, tab and an
// accented letter in the job name, letters and a fifth digit in the password.
const host::TypedJob kTypedJob = {L"Ana \"Lopez%\"", L"Q3 report\t\u00E9", L"12ab345"};

// The persisted record after OK, byte by byte at its published offsets. The
// driver handed over a buffer of 0xEE, so the padding the plug-in must not
// touch shows as 0xEE.
std::vector<BYTE> ExpectedRecord() {
    std::vector<BYTE> bytes(172, 0);
    auto u32 = [&bytes](size_t at, DWORD value) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
    };
    auto text = [&bytes](size_t at, const char* ascii) {
        for (size_t i = 0; ascii[i]; ++i) bytes[at + 2 * i] = static_cast<BYTE>(ascii[i]);
    };
    u32(0, 172);
    u32(4, 0x515A5053);
    u32(8, 2);
    u32(12, 1);
    bytes[16] = 0;  // access control not saved
    bytes[17] = bytes[18] = bytes[19] = 0xEE;
    u32(20, 4);  // confidential
    text(24, "Ana Lopez");
    text(54, "Q3 report");
    text(84, "1234");
    bytes[166] = bytes[167] = 0xEE;
    u32(168, 0);
    return bytes;
}

// Every call the plug-in object receives in one typical use; the sheet's
// reasons are what Wine's CommonPropertySheetUIW sends.
const std::vector<std::string> kCallOrder = {
    "PublishDriverInterface",
    "DevMode SIZE",
    "DevMode DEFAULT",
    "CommonUIProp document first",
    "CommonUIProp document second",
    "CommonUIProp printer first",
    "CommonUIProp printer second",
    "DocumentPropertySheets reason 5",  // BEFORE_INIT
    "DocumentPropertySheets reason 0",  // INIT: the page is added
    "DocumentPropertySheets reason 1",  // GET_INFO_HEADER
    "DocumentPropertySheets reason 2",  // DESTROY, after OK
    "Release",
};

// What one run of the typical use left behind.
struct Outcome {
    std::set<std::string> marks;
    std::vector<BYTE> record;
    std::vector<std::string> calls;
    std::string userFailure;
    DWORD renderingFlagsBefore = 0xDEADBEEF;
    DWORD renderingFlagsAfter = 0xDEADBEEF;
    LONG renderingSelAfter = -1;
    LONG callbackAction = -1;
    size_t driverUpdates = 0;
    DWORD printerInitialFlags = 0;
    DWORD hiddenBranchFlags = 0;
    ULONG referencesLeft = 99;
    LONG helperReferences = 0;
    size_t hostHeapBlocksLeft = 0;
};

size_t BusyBlocks(HANDLE heap) {
    size_t blocks = 0;
    PROCESS_HEAP_ENTRY entry = {};
    ::HeapLock(heap);
    while (::HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++blocks;
    ::HeapUnlock(heap);
    return blocks;
}

// Steps 1 to 7 of the typical use, on a fresh object and a heap of the
// driver's own for the sheet, empty again and destroyed before the release.
void RunTypicalUse(const host::PluginModule& module, const std::vector<hostitems::OutlineFeature>& outline,
                   const host::Configuration& installed, Outcome& out) {
    host::DriverUi ui(module, sample_printer::Handle(), outline);
    ui.heap = ::HeapCreate(0, 0, 0);
    ASSERT_NE(ui.heap, nullptr);
    ui.helper.installed = installed;
    ASSERT_TRUE(ui.CreatePlugin());
    ASSERT_EQ(ui.SizeRecord(), S_OK);
    ASSERT_EQ(ui.recordSize, 172u);
    ASSERT_EQ(ui.DefaultRecord(), S_OK);

    host::Sheet& document = ui.OpenDocumentSheet(hostitems::ColourItem::beforeFeatures, 1);
    out.marks = hostitems::WarningMarks(document.items);
    host::Sheet& printer = ui.OpenPrinterSheet();
    for (DWORD i = 0; i < printer.items.Count(); ++i) {
        const uintptr_t id = reinterpret_cast<uintptr_t>(printer.items.Item(i).pName);
        if (id == hostitems::kInitialPrinterItemId) out.printerInitialFlags = printer.items.Item(i).Flags;
        if (id == hostitems::kHiddenPrinterBranchId) out.hiddenBranchFlags = printer.items.Item(i).Flags;
    }

    const host::SheetRun run = ui.ShowDocumentProperties(
        [&out](host::SheetDriver& driver) { out.userFailure = host::FillConfidentialJobAndPressOk(driver, kTypedJob); });
    EXPECT_FALSE(run.scriptLeftSheetOpen);
    out.record = ui.record;

    OPTITEM* rendering = ui.RenderingItem();
    ASSERT_NE(rendering, nullptr);
    out.renderingFlagsBefore = rendering->Flags;
    ui.helper.updates.clear();
    out.callbackAction = ui.SelectColour(0);
    out.renderingFlagsAfter = rendering->Flags;
    out.renderingSelAfter = rendering->Sel;
    out.driverUpdates = ui.helper.updates.size();

    // The driver may destroy the sheet's heap before it releases the object:
    // by then the plug-in must hold nothing in it.
    out.hostHeapBlocksLeft = BusyBlocks(ui.heap);
    ::HeapDestroy(ui.heap);
    out.referencesLeft = ui.ReleasePlugin();
    out.calls = ui.recorder.log;
    out.helperReferences = ui.helper.refs;
}

class WineEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(sample_printer::Handle(), nullptr) << sample_printer::Current()->error();
        ASSERT_TRUE(module.Load()) << "LoadLibraryW failed: " << ::GetLastError();
        outline = hostitems::ReadPpdOutline(hostitems::ReadWholeFile(host::SamplePpdPath().c_str()));
        ASSERT_FALSE(outline.empty());
    }
    void TearDown() override {
        if (module.handle) {
            EXPECT_EQ(module.canUnloadNow(), S_OK) << "an object or lock outlived its release";
        }
    }

    host::PluginModule module;
    std::vector<hostitems::OutlineFeature> outline;
};

TEST_F(WineEndToEnd, TypicalUseUnderTwoInstalledConfigurations) {
    struct Row {
        const char* name;
        const host::Configuration* installed;
        std::set<std::string> marks;
    };
    const Row rows[] = {
        {"PPD defaults",
         &kDefaultConfiguration,
         sample_printer::kDefaultMarks},
        {"64 MB, two cassette units, the rest installed",
         &kSmallFullConfiguration,
         sample_printer::kSmallFullMarks},
    };
    std::printf("[ plug-in  ] %s\n", host::Utf8(host::PluginPath()).c_str());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Outcome out;
        RunTypicalUse(module, outline, *row.installed, out);
        if (HasFatalFailure()) return;

        EXPECT_EQ(out.userFailure, "");
        EXPECT_EQ(out.record, ExpectedRecord());
        EXPECT_EQ(out.marks, row.marks);

        EXPECT_EQ(out.printerInitialFlags, static_cast<DWORD>(OPTIF_INITIAL_TVITEM));
        EXPECT_EQ(out.hiddenBranchFlags, static_cast<DWORD>(OPTIF_HIDE));

        EXPECT_EQ(out.renderingFlagsBefore, 0u) << "colour was selected when the sheet opened";
        EXPECT_EQ(out.callbackAction, CPSUICB_ACTION_OPTIF_CHANGED);
        EXPECT_EQ(out.renderingFlagsAfter, static_cast<DWORD>(OPTIF_DISABLED));
        EXPECT_EQ(out.renderingSelAfter, 0);
        EXPECT_EQ(out.driverUpdates, 1u);

        EXPECT_EQ(out.referencesLeft, 0u);
        EXPECT_EQ(out.helperReferences, 1) << "the object gave the helper back";
        EXPECT_EQ(out.hostHeapBlocksLeft, 0u) << "catalogue texts not given back to the driver's heap";

        EXPECT_EQ(out.calls, kCallOrder);
    }
}

// Memory, handles and windows of the whole host process, plus every heap's
// blocks in use, which show the plug-in's own allocations exactly. Wine 8
// answers 0 for PrivateUsage, the handle count and GetGuiResources, so where
// it does the figures come from walking the address space and probing the
// handle table instead.
struct ProcessFigures {
    SIZE_T privateBytes = 0;
    SIZE_T heapBytesInUse = 0;
    DWORD handles = 0;
    DWORD windows = 0;
};

SIZE_T CommittedPrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region = {};
    for (const BYTE* at = nullptr; ::VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        if (region.RegionSize == 0) break;
    }
    return total;
}

DWORD OpenHandles() {
    DWORD count = 0;
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
    }
    return count;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM counter) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId()) {
        ++*reinterpret_cast<DWORD*>(counter);
        ::EnumChildWindows(window, CountWindow, counter);
    }
    return TRUE;
}

ProcessFigures Measure() {
    ProcessFigures figures;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                               sizeof counters))
        figures.privateBytes = counters.PrivateUsage;
    if (figures.privateBytes == 0) figures.privateBytes = CommittedPrivateBytes();
    ::GetProcessHandleCount(::GetCurrentProcess(), &figures.handles);
    if (figures.handles == 0) figures.handles = OpenHandles();
    ::EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&figures.windows));
    HANDLE heaps[64];
    const DWORD count = ::GetProcessHeaps(64, heaps);
    for (DWORD h = 0; h < count && h < 64; ++h) {
        PROCESS_HEAP_ENTRY entry = {};
        ::HeapLock(heaps[h]);
        while (::HeapWalk(heaps[h], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) figures.heapBytesInUse += entry.cbData;
        ::HeapUnlock(heaps[h]);
    }
    return figures;
}

long long Delta(SIZE_T after, SIZE_T before) { return static_cast<long long>(after) - static_cast<long long>(before); }

TEST_F(WineEndToEnd, FiveHundredCyclesOfTheWholeSequenceLeakNothing) {
    constexpr int kWarmUp = 3;
    constexpr int kCycles = 500;
    const ProcessFigures start = Measure();
    // Wine's windowing and common controls fill caches of their own during
    // the first sheets; after that each cycle should return to where it was.
    for (int i = 0; i < kWarmUp; ++i) {
        Outcome out;
        RunTypicalUse(module, outline, kDefaultConfiguration, out);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(out.userFailure, "");
    }
    const ProcessFigures before = Measure();
    size_t failures = 0;
    for (int i = 0; i < kCycles; ++i) {
        Outcome out;
        RunTypicalUse(module, outline, i % 2 ? kSmallFullConfiguration : kDefaultConfiguration, out);
        ASSERT_FALSE(HasFatalFailure()) << "cycle " << i;
        if (!out.userFailure.empty() || out.referencesLeft != 0 || out.hostHeapBlocksLeft != 0 ||
            out.record != ExpectedRecord())
            ++failures;
    }
    const ProcessFigures after = Measure();
    EXPECT_EQ(failures, 0u) << "cycles whose outcome differed from the first";

    auto u = [](SIZE_T value) { return static_cast<unsigned long long>(value); };
    std::printf("[ figures  ] before the first sheet: private bytes %llu, heap bytes in use %llu, handles %lu\n",
                u(start.privateBytes), u(start.heapBytesInUse), start.handles);
    std::printf("[ figures  ] %d cycles: private bytes %llu -> %llu (%+lld), heap bytes in use %llu -> %llu (%+lld), "
                "handles %lu -> %lu (%+ld), windows %lu -> %lu\n",
                kCycles, u(before.privateBytes), u(after.privateBytes), Delta(after.privateBytes, before.privateBytes),
                u(before.heapBytesInUse), u(after.heapBytesInUse), Delta(after.heapBytesInUse, before.heapBytesInUse),
                before.handles, after.handles, static_cast<long>(after.handles) - static_cast<long>(before.handles),
                before.windows, after.windows);

    // A model of the sample PPD is about 250 KB, so one left behind in even a
    // tenth of the cycles overshoots these bounds many times; a catalogue text left on the
    // driver's heap is caught in each cycle by its own count of blocks.
    EXPECT_LT(Delta(after.heapBytesInUse, before.heapBytesInUse), 16 * 1024);
    EXPECT_LT(Delta(after.privateBytes, before.privateBytes), 512 * 1024);
    EXPECT_LE(static_cast<long>(after.handles) - static_cast<long>(before.handles), 2);
    EXPECT_EQ(after.windows, before.windows);
}

}  // namespace
