// corvina-ppd on large generated PPDs, one input per way a check could grow
// with the square of the file: each is run at 4k, 8k and 16k of its repeated
// unit, and the time of 16k over that of 4k is printed (4 when linear, 16
// when quadratic). The tool runs as a process of its own, as a driver team
// runs it; its time is the CPU time the kernel accounts to it (user and
// system), so that other work on the machine stays out: per sample the mean
// of as many runs as fill a quarter of a second, which the kernel's
// accounting resolves well, and the least of the samples, since what the
// machine's other work does to a run (caches, memory bandwidth, a shared
// core) only ever adds to its time.
//
//   lint_bench [--repeats N] [--keep DIR] [--tool PATH]
//
// N samples per input and size (5); --keep writes the inputs to DIR and leaves
// them there; --tool runs another build of corvina-ppd, an earlier one, say.
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/UniqueAny.h"

namespace {

const std::string kHeader =
    "*PPD-Adobe: \"4.3\"\n*LanguageEncoding: ISOLatin1\n*LanguageVersion: English\n*ModelName: \"Lint Bench\"\n";

std::string N(int i) { return std::to_string(i); }

// An installable feature with two options, and an ordinary one.
std::string Installable() {
    return "*OpenGroup: InstallableOptions/Options Installed\n"
           "*OpenUI *QZTrayUnit/Lower Cassette Unit: PickOne\n*DefaultQZTrayUnit: None\n"
           "*QZTrayUnit None/None: \"\"\n*QZTrayUnit 1Tray/1 Cassette Unit: \"\"\n*CloseUI: *QZTrayUnit\n"
           "*CloseGroup: InstallableOptions\n";
}

std::string Block(const std::string& keyword, const std::string& inside = "") {
    return "*OpenUI *" + keyword + "/" + keyword + ": PickOne\n*Default" + keyword + ": A\n*" + keyword +
           " A/A: \"\"\n*" + keyword + " B/B: \"\"\n" + inside + "*CloseUI: *" + keyword + "\n";
}

// Constraint entries that name features the file does not declare.
std::string UndeclaredFeatures(int n) {
    std::string out = kHeader + Installable() + Block("Resolution");
    for (int i = 0; i < n; ++i) out += "*UIConstraints: *QZTrayUnit None *Undeclared" + N(i) + " A\n";
    return out;
}

// Blocks that share one keyword.
std::string SharedKeyword(int n) {
    std::string out = kHeader;
    for (int i = 0; i < n; ++i) out += Block("Shared");
    return out;
}

// Constraint entries inside feature blocks, each not read.
std::string EntriesInsideBlocks(int n) {
    std::string out = kHeader + Installable();
    for (int i = 0; i < n; ++i) out += Block("F" + N(i), "*UIConstraints: *QZTrayUnit None *F" + N(i) + " B\n");
    return out;
}

// Blocks without *CloseUI, each running on over the next block.
std::string UnclosedBlocks(int n) {
    std::string out = kHeader;
    for (int i = 0; i < n; ++i)
        out += "*OpenUI *Open" + N(i) + "/Open: PickOne\n*Open" + N(i) + " A/A: \"\"\n" + Block("Closed" + N(i));
    return out;
}

// One block that runs on over every other.
std::string OneBlockOverAll(int n) {
    std::string out = kHeader + "*OpenUI *Outer/Outer: PickOne\n*DefaultOuter: A\n*Outer A/A: \"\"\n";
    for (int i = 0; i < n; ++i) out += "*OpenUI *Inner" + N(i) + "/Inner: PickOne\n*Inner" + N(i) + " A/A: \"\"\n";
    return out + "*CloseUI: *Outer\n";
}

// Installable features whose default stands outside their block.
std::string DefaultsOutside(int n) {
    std::string out = kHeader + "*OpenGroup: InstallableOptions/Options Installed\n";
    for (int i = 0; i < n; ++i)
        out += "*OpenUI *Unit" + N(i) + "/Unit: Boolean\n*Unit" + N(i) + " False/No: \"\"\n*Unit" + N(i) +
               " True/Yes: \"\"\n*CloseUI: *Unit" + N(i) + "\n*DefaultUnit" + N(i) + ": False\n";
    return out + "*CloseGroup: InstallableOptions\n";
}

// One feature with many options, each named by a constraint entry; every
// second entry names an option the feature lacks.
std::string ConstraintsOnOneFeature(int n) {
    std::string out = kHeader + Installable() + "*OpenUI *PageSize/Page Size: PickOne\n*DefaultPageSize: P0\n";
    for (int i = 0; i < n; ++i) out += "*PageSize P" + N(i) + "/Size " + N(i) + ": \"\"\n";
    out += "*CloseUI: *PageSize\n";
    for (int i = 0; i < n; ++i)
        out += "*UIConstraints: *QZTrayUnit None *PageSize " + std::string(i % 2 ? "Q" : "P") + N(i) + "\n";
    return out;
}

// Groups of one feature each, for the inspector's text output.
std::string ManyGroups(int n) {
    std::string out = kHeader;
    for (int i = 0; i < n; ++i) out += "*OpenGroup: G" + N(i) + "/Group\n" + Block("F" + N(i)) + "*CloseGroup: G" + N(i) + "\n";
    return out;
}

struct Input {
    const char* name;
    std::string (*make)(int);
    bool lint;  // --lint, else the inspector's text output
};

const Input kInputs[] = {
    {"undeclared-features", UndeclaredFeatures, true},
    {"shared-keyword", SharedKeyword, true},
    {"entries-inside-blocks", EntriesInsideBlocks, true},
    {"unclosed-blocks", UnclosedBlocks, true},
    {"one-block-over-all", OneBlockOverAll, true},
    {"defaults-outside", DefaultsOutside, true},
    {"constraints-one-feature", ConstraintsOnOneFeature, true},
    {"inspector-groups", ManyGroups, false},
};
const int kSizes[] = {4096, 8192, 16384};

const char* g_tool = CORVINA_PPD_TOOL;

// CPU seconds of one run of the tool, or -1 when it could not run or failed.
double RunTool(const Input& input, const std::string& path) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (input.lint)
            execl(g_tool, g_tool, "--lint", path.c_str(), static_cast<char*>(nullptr));
        else
            execl(g_tool, g_tool, path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return -1;
    int code = WEXITSTATUS(status);
    if (code != 0 && !(input.lint && code == 3)) return -1;
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One sample: the mean CPU seconds of runs that together take at least a
// quarter of a second; -1 when a run failed.
double Sample(const Input& input, const std::string& path) {
    double total = 0;
    for (int runs = 1;; ++runs) {
        double t = RunTool(input, path);
        if (t < 0) return -1;
        total += t;
        if (total >= 0.25) return total / runs;
    }
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = 5;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) {
            repeats = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc) {
            keep = argv[++i];
        } else if (std::strcmp(argv[i], "--tool") == 0 && i + 1 < argc) {
            g_tool = argv[++i];
        } else {
            std::fprintf(stderr, "usage: lint_bench [--repeats N] [--keep DIR] [--tool PATH]\n");
            return 2;
        }
    }
    namespace fs = std::filesystem;
    fs::path dir = keep.empty() ? fs::temp_directory_path() / ("corvina-lint-bench-" + std::to_string(getpid()))
                                : fs::path(keep);
    fs::create_directories(dir);

    std::printf("corvina-ppd on generated inputs: CPU seconds per run, least of %d samples\n", repeats);
    std::printf("  %-24s %9s %9s %9s %8s\n", "input", "4k", "8k", "16k", "16k/4k");
    double worst = 0;
    const char* worstName = "";
    int failures = 0;
    for (const Input& input : kInputs) {
        double times[3] = {};
        for (int s = 0; s < 3; ++s) {
            fs::path path = dir / (std::string(input.name) + "-" + std::to_string(kSizes[s] / 1024) + "k.ppd");
            std::string text = input.make(kSizes[s]);
            if (const platform::UniqueFile file{std::fopen(path.c_str(), "wb")})
                std::fwrite(text.data(), 1, text.size(), file.get());
            std::vector<double> samples;
            for (int r = 0; r < repeats; ++r) samples.push_back(Sample(input, path.string()));
            times[s] = *std::min_element(samples.begin(), samples.end());
            if (times[s] < 0) {
                std::fprintf(stderr, "lint_bench: %s failed on %s\n", g_tool, path.c_str());
                ++failures;
            }
        }
        double ratio = times[0] > 0 ? times[2] / times[0] : 0;
        if (ratio > worst) worst = ratio, worstName = input.name;
        std::printf("  %-24s %9.3f %9.3f %9.3f %8.2f\n", input.name, times[0], times[1], times[2], ratio);
        std::fflush(stdout);
    }
    if (keep.empty()) fs::remove_all(dir);
    std::printf("goal: every input 16k/4k <= 5 (linear 4, quadratic 16); worst: %s\n\n", worstName);
    std::printf("lint 16k/4k: %.2f\n", worst);
    return failures ? 1 : 0;
}
