// The PPD model's build against libcups' reading of the same files, and
// against a plain read-and-scan of their bytes, over the openprinting-ppds
// corpus. Times are medians of repeats inside this one process, measured as
// the CPU time of its thread so that other work on the machine stays out;
// every file is read by all three in turn, the order rotating from repeat to
// repeat, so that the caches favour none of them. Last, the constraint pass
// alone on a generated model of 20,000 rules, with its index and in pieces.
//
//   ppd_bench CORPUS_DIR [--repeats N] [--worst-repeats N] [--every K]
//             [--instructions CORVINA LIBCUPS]
//   ppd_bench --worst-file CORPUS_DIR      path of the file with most *UIConstraints
//   ppd_bench --once corvina|libcups|floor FILE [COUNT]
//
// --once runs the reader once to warm up and then COUNT times through
// BenchCorvinaOnce / BenchCupsOnce / BenchFloorOnce, which only wrap the
// reader, so that callgrind's --toggle-collect on them leaves the warm-up out.
#include <cups/ppd.h>

#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "HeapCounter.h"
#include "platform/UniqueAny.h"
#include "platform/portable/PortablePlatform.h"
#include "ppd/PpdDocument.h"
#include "tests/support/PpdSource.h"

namespace {

volatile size_t g_sink;

struct CorpusFile {
    std::string path;
    size_t bytes = 0;
    unsigned codePage = 1252;
    long constraintLines = 0;
};

// Japanese PPDs are read on a machine whose ANSI code page is 932.
unsigned CodePageOf(const std::string& text) {
    size_t at = text.rfind("*LanguageEncoding:", 0) == 0 ? 0 : text.find("\n*LanguageEncoding:");
    if (at == std::string::npos) return 1252;
    size_t end = text.find('\n', at + 1);
    return text.substr(at, end - at).find("JIS83-RKSJ") != std::string::npos ? 932 : 1252;
}

long ConstraintLines(const std::string& text) {
    long count = text.rfind("*UIConstraints", 0) == 0 ? 1 : 0;
    for (size_t at = 0; (at = text.find("\n*UIConstraints", at)) != std::string::npos; ++at) ++count;
    return count;
}

bool ReadWhole(const std::string& path, std::string& text) {
    const platform::UniqueFile file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    text.clear();
    char chunk[1 << 16];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) text.append(chunk, n);
    return true;
}

CorpusFile Describe(const std::string& path) {
    CorpusFile file;
    file.path = path;
    std::string text;
    if (ReadWhole(path, text)) {
        file.bytes = text.size();
        file.codePage = CodePageOf(text);
        file.constraintLines = ConstraintLines(text);
    }
    return file;
}

std::vector<CorpusFile> ListCorpus(const std::string& directory, int every) {
    std::vector<std::string> paths;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(directory, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file() && it->path().extension() == ".ppd") paths.push_back(it->path().string());
    std::sort(paths.begin(), paths.end());
    std::vector<CorpusFile> files;
    for (size_t i = 0; i < paths.size(); i += static_cast<size_t>(every)) files.push_back(Describe(paths[i]));
    return files;
}

const CorpusFile* MostConstrained(const std::vector<CorpusFile>& files) {
    const CorpusFile* worst = nullptr;
    for (const CorpusFile& f : files)
        if (!worst || f.constraintLines > worst->constraintLines ||
            (f.constraintLines == worst->constraintLines && f.bytes > worst->bytes))
            worst = &f;
    return worst;
}

}  // namespace

// What the plug-in does when it builds the model: open, parse (which
// evaluates the constraints), close; and, when it is done with it, delete.
namespace {

__attribute__((noinline)) UniquePpdDocument CorvinaModelBuild(const char* path) {
    const platform::UniqueFile file(std::fopen(path, "r"));
    return UniquePpdDocument(new PpdDocument(PpdReadFileByte, file.get()));
}

__attribute__((noinline)) void CorvinaModelDelete(UniquePpdDocument& document) {
    if (document) g_sink = g_sink + static_cast<size_t>(document->featureCount + document->constraintCount);
    document.reset();
}

void CorvinaBuild(const char* path) {
    UniquePpdDocument document = CorvinaModelBuild(path);
    CorvinaModelDelete(document);
}

__attribute__((noinline)) void CupsRead(const char* path) {
    ppd_file_t* ppd = ppdOpenFile(path);
    if (!ppd) return;
    ppdMarkDefaults(ppd);
    g_sink = g_sink + static_cast<size_t>(ppdConflicts(ppd));
    ppdClose(ppd);
}

// The least any reader of the file pays: every byte read in text mode and
// looked at once, counting where tokens begin.
__attribute__((noinline)) void FloorScan(const char* path) {
    const platform::UniqueFile file(std::fopen(path, "r"));
    if (!file) return;
    static unsigned char chunk[1 << 16];
    size_t starts = 0;
    bool blank = true;
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) {
        for (size_t i = 0; i < n; ++i) {
            bool isBlank = ppdCharClass[chunk[i]] == ccBlank;
            starts += blank && !isBlank;
            blank = isBlank;
        }
    }
    g_sink = g_sink + starts;
}

}  // namespace

extern "C" __attribute__((noinline)) void BenchCorvinaOnce(const char* path) { CorvinaBuild(path); }
extern "C" __attribute__((noinline)) void BenchCupsOnce(const char* path) { CupsRead(path); }
extern "C" __attribute__((noinline)) void BenchFloorOnce(const char* path) { FloorScan(path); }

namespace {

enum Reader { kFloor, kCorvina, kCups, kReaders };
const char* const kReaderNames[kReaders] = {"floor", "corvina", "libcups"};

double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

long ThreadPageFaults() {
    rusage usage;
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// CPU seconds of one run; faults, when asked for, receives the page faults
// the run took, counted outside the timed stretch.
double TimeOne(Reader reader, const CorpusFile& file, long* faults = nullptr) {
    platform::portable::SetAnsiCodePage(file.codePage);
    const long faultsBefore = faults ? ThreadPageFaults() : 0;
    const double start = ThreadSeconds();
    switch (reader) {
        case kFloor: FloorScan(file.path.c_str()); break;
        case kCorvina: CorvinaBuild(file.path.c_str()); break;
        case kCups: CupsRead(file.path.c_str()); break;
        case kReaders: break;
    }
    const double seconds = ThreadSeconds() - start;
    if (faults) *faults = ThreadPageFaults() - faultsBefore;
    return seconds;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The constraint pass alone, on a generated model of 600 features (300 of
// them installable, 4 options each) and 20,000 rules, with its index and
// with every allocation failing, so that it works in pieces: the median of
// `repeats` passes each, in ms of thread CPU time.
void TimeGeneratedModelPass(int repeats, double& indexedMs, double& piecesMs) {
    const std::string ppd = ppdtest::GeneratedModelPpd({600, 300, 20000, 4});
    platform::portable::SetAnsiCodePage(1252);
    const std::unique_ptr<PpdDocument> doc(ppdtest::Parse(ppd));
    std::vector<double> indexed, pieces;
    for (int r = 0; r < repeats; ++r) {
        double start = ThreadSeconds();
        doc->EvaluateConstraints();
        indexed.push_back(ThreadSeconds() - start);
        platform::portable::FailAllocation(1, true);
        start = ThreadSeconds();
        doc->EvaluateConstraints();
        pieces.push_back(ThreadSeconds() - start);
        platform::portable::FailAllocation(0);
    }
    indexedMs = Median(indexed) * 1e3;
    piecesMs = Median(pieces) * 1e3;
}

struct Options {
    std::string corpus;
    int repeats = 5;
    int worstRepeats = 21;
    int every = 1;
    const char* corvinaInstructions = nullptr;
    const char* cupsInstructions = nullptr;
};

const char* Relative(const std::string& path, const std::string& root) {
    if (path.rfind(root, 0) != 0) return path.c_str();
    return path.c_str() + root.size() + (path.size() > root.size() && path[root.size()] == '/');
}

int RunOnce(const char* which, const char* path, long count) {
    CorpusFile file = Describe(path);
    platform::portable::SetAnsiCodePage(file.codePage);
    struct Entry {
        const char* name;
        void (*reader)(const char*);
        void (*counted)(const char*);
    };
    const Entry entries[] = {{"corvina", CorvinaBuild, BenchCorvinaOnce},
                             {"libcups", CupsRead, BenchCupsOnce},
                             {"floor", FloorScan, BenchFloorOnce}};
    const Entry* entry = nullptr;
    for (const Entry& e : entries)
        if (std::strcmp(which, e.name) == 0) entry = &e;
    if (!entry || file.bytes == 0) {
        std::fprintf(stderr, "ppd_bench --once: unknown reader %s or unreadable %s\n", which, path);
        return 2;
    }
    entry->reader(path);  // code pages, locale and caches load outside the count
    for (long i = 0; i < count; ++i) entry->counted(path);
    return 0;
}

int RunBench(const Options& options) {
    std::vector<CorpusFile> files = ListCorpus(options.corpus, options.every);
    if (files.empty()) {
        std::fprintf(stderr, "ppd_bench: no PPDs under %s\n", options.corpus.c_str());
        return 2;
    }
    size_t totalBytes = 0, japanese = 0;
    for (const CorpusFile& f : files) {
        totalBytes += f.bytes;
        japanese += f.codePage == 932;
    }
    const CorpusFile& worst = *MostConstrained(files);
    std::printf("corpus: %zu PPDs, %.1f MB (%zu read with code page 932)%s\n", files.size(), totalBytes / 1e6,
                japanese, options.every > 1 ? " [subsample]" : "");
    std::printf("repeats: %d over the corpus, %d on the worst file; medians of thread CPU time\n",
                options.repeats, options.worstRepeats);
    std::fflush(stdout);

    // samples[reader][file][repeat]
    std::vector<std::vector<std::vector<double>>> samples(kReaders, std::vector<std::vector<double>>(files.size()));
    std::vector<std::vector<double>> passTotals(kReaders);
    for (int r = 0; r < options.repeats; ++r) {
        double totals[kReaders] = {};
        for (size_t i = 0; i < files.size(); ++i) {
            for (int k = 0; k < kReaders; ++k) {
                auto reader = static_cast<Reader>((k + r + static_cast<int>(i)) % kReaders);
                double t = TimeOne(reader, files[i]);
                samples[reader][i].push_back(t);
                totals[reader] += t;
            }
        }
        for (int k = 0; k < kReaders; ++k) passTotals[k].push_back(totals[k]);
        std::printf("  pass %d: floor %.2f s, corvina %.2f s, libcups %.2f s\n", r + 1, totals[kFloor],
                    totals[kCorvina], totals[kCups]);
        std::fflush(stdout);
    }

    double corpus[kReaders];
    std::printf("\n%-8s %12s %10s %14s\n", "reader", "corpus s", "ns/byte", "sum of medians");
    for (int k = 0; k < kReaders; ++k) {
        corpus[k] = Median(passTotals[k]);
        double sumOfMedians = 0;
        for (size_t i = 0; i < files.size(); ++i) sumOfMedians += Median(samples[k][i]);
        std::printf("%-8s %12.3f %10.2f %14.3f\n", kReaderNames[k], corpus[k], corpus[k] / totalBytes * 1e9,
                    sumOfMedians);
    }

    // Per file: the median of each reader's repeats.
    std::vector<std::pair<double, size_t>> ratios;
    size_t overHalf = 0, overQuarter = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        double cups = Median(samples[kCups][i]);
        double ratio = cups > 0 ? Median(samples[kCorvina][i]) / cups : 0;
        overHalf += ratio > 0.5;
        overQuarter += ratio > 0.25;
        ratios.emplace_back(ratio, i);
    }
    std::sort(ratios.rbegin(), ratios.rend());

    std::vector<double> worstTimes[kReaders];
    std::vector<double> worstFaults[kReaders];
    for (int r = 0; r < options.worstRepeats; ++r)
        for (int k = 0; k < kReaders; ++k) {
            auto reader = static_cast<Reader>((k + r) % kReaders);
            long faults = 0;
            worstTimes[reader].push_back(TimeOne(reader, worst, &faults));
            worstFaults[reader].push_back(static_cast<double>(faults));
        }
    double worstMedian[kReaders];
    for (int k = 0; k < kReaders; ++k) worstMedian[k] = Median(worstTimes[k]);

    double generatedIndexedMs, generatedPiecesMs;
    TimeGeneratedModelPass(options.worstRepeats, generatedIndexedMs, generatedPiecesMs);

    platform::portable::SetAnsiCodePage(worst.codePage);
    CorvinaBuild(worst.path.c_str());
    heapcount::Start();
    CorvinaBuild(worst.path.c_str());
    heapcount::Stop();

    const char* root = options.corpus.c_str();
    std::printf("\nworst file: %s (%zu bytes, %ld *UIConstraints)\n", Relative(worst.path, root), worst.bytes,
                worst.constraintLines);
    std::printf("  floor %.3f ms, corvina %.3f ms, libcups %.3f ms\n", worstMedian[kFloor] * 1e3,
                worstMedian[kCorvina] * 1e3, worstMedian[kCups] * 1e3);
    std::printf("  page faults per run (median): floor %.0f, corvina %.0f, libcups %.0f\n",
                Median(worstFaults[kFloor]), Median(worstFaults[kCorvina]), Median(worstFaults[kCups]));
    std::printf("  model build: peak heap %zu bytes in %ld allocations, %zu bytes left after delete\n",
                heapcount::PeakBytes(), heapcount::Allocations(), heapcount::LiveBytes());
    std::printf("per file: %zu of %zu above 0.5x libcups, %zu above 0.25x; highest:\n", overHalf, files.size(),
                overQuarter);
    for (size_t n = 0; n < std::min<size_t>(5, ratios.size()); ++n) {
        const CorpusFile& f = files[ratios[n].second];
        const size_t i = ratios[n].second;
        std::printf("  %.3f %s (%zu bytes, %ld *UIConstraints, %.3f ms vs %.3f ms)\n", ratios[n].first,
                    Relative(f.path, root), f.bytes, f.constraintLines, Median(samples[kCorvina][i]) * 1e3,
                    Median(samples[kCups][i]) * 1e3);
    }
    std::printf("goals: corpus <= 0.25x libcups and <= 3x floor; worst file <= 0.25x libcups and <= 25000000 "
                "instructions; per file <= 0.5x libcups\n\n");

    std::printf("corpus corvina/libcups: %.3f\n", corpus[kCorvina] / corpus[kCups]);
    std::printf("corpus corvina/floor: %.3f\n", corpus[kCorvina] / corpus[kFloor]);
    std::printf("worst corvina/libcups: %.3f\n", worstMedian[kCorvina] / worstMedian[kCups]);
    std::printf("worst instructions corvina: %s\n", options.corvinaInstructions ? options.corvinaInstructions : "n/a");
    std::printf("worst instructions libcups: %s\n", options.cupsInstructions ? options.cupsInstructions : "n/a");
    std::printf("worst peak heap bytes: %zu\n", heapcount::PeakBytes());
    std::printf("per-file worst corvina/libcups: %.3f\n", ratios.empty() ? 0.0 : ratios[0].first);
    std::printf("generated 600/300/20000 constraint pass ms, indexed / in pieces: %.3f / %.3f\n",
                generatedIndexedMs, generatedPiecesMs);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: ppd_bench CORPUS_DIR [--repeats N] [--worst-repeats N] [--every K] "
                 "[--instructions CORVINA LIBCUPS]\n"
                 "       ppd_bench --worst-file CORPUS_DIR\n"
                 "       ppd_bench --once corvina|libcups|floor FILE [COUNT]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--once") == 0)
        return RunOnce(argv[2], argv[3], argc >= 5 ? std::atol(argv[4]) : 1);
    if (argc == 3 && std::strcmp(argv[1], "--worst-file") == 0) {
        std::vector<CorpusFile> files = ListCorpus(argv[2], 1);
        if (files.empty()) return 2;
        std::printf("%s\n", MostConstrained(files)->path.c_str());
        return 0;
    }
    if (argc < 2 || argv[1][0] == '-') return Usage();
    Options options;
    options.corpus = argv[1];
    while (!options.corpus.empty() && options.corpus.back() == '/') options.corpus.pop_back();
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--repeats" && i + 1 < argc)
            options.repeats = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--worst-repeats" && i + 1 < argc)
            options.worstRepeats = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--every" && i + 1 < argc)
            options.every = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--instructions" && i + 2 < argc) {
            options.corvinaInstructions = argv[++i];
            options.cupsInstructions = argv[++i];
        } else
            return Usage();
    }
    return RunBench(options);
}
