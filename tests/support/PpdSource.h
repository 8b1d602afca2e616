// PPD sources for the tests and fuzz targets: bytes in memory behind a
// read-byte function, or a file written for one test; text helpers, what a
// model holds, and a guard that restores the stand-in platform's code page
// and allocator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/portable/PortableRuntime.h"
#include "platform/portable/Utf8.h"
#include "ppd/PpdDocument.h"
#include "ppd/PpdParseReport.h"

namespace ppdtest {

struct MemorySource {
    explicit MemorySource(std::string_view text) : bytes(text) {}
    std::string bytes;
    size_t position = 0;
    long reads = 0;
};

inline int ReadMemoryByte(void* source) {
    auto* memory = static_cast<MemorySource*>(source);
    ++memory->reads;
    if (memory->position >= memory->bytes.size()) return -1;
    return static_cast<unsigned char>(memory->bytes[memory->position++]);
}

// One byte per unit, as the token reader stores them.
inline std::u16string Units(std::string_view bytes) {
    std::u16string units;
    for (unsigned char b : bytes) units.push_back(b);
    return units;
}

inline std::u16string Text(const PpdString& s) { return std::u16string(s.text); }

// The constrained flag of every option, feature by feature.
inline std::vector<uint8_t*> ConstrainedFlagsOf(PpdDocument& doc) {
    std::vector<uint8_t*> flags;
    for (int32_t f = 0; f < doc.featureCount; ++f)
        for (int32_t o = 0; o < doc.features[f]->optionCount; ++o)
            flags.push_back(&doc.features[f]->options[o]->constrained);
    return flags;
}

inline std::vector<uint8_t> ConstrainedFlags(const PpdDocument& doc) {
    std::vector<uint8_t> flags;
    for (int32_t f = 0; f < doc.featureCount; ++f)
        for (int32_t o = 0; o < doc.features[f]->optionCount; ++o)
            flags.push_back(doc.features[f]->options[o]->constrained);
    return flags;
}

// The constraint pass as the rule states it, the oracle of the tests: every
// installable option in turn overwrites the flag of every option of every
// ordinary feature wherever a rule pairs the two features.
inline void WalkConstraints(PpdDocument& doc) {
    for (int32_t f = 0; f < doc.featureCount; ++f) {
        const PpdFeature& feature = *doc.features[f];
        if (feature.group.Equals(kInstallableGroup)) continue;
        for (int32_t o = 0; o < feature.optionCount; ++o) {
            PpdOption& option = *feature.options[o];
            for (int32_t i = 0; i < doc.installableCount; ++i) {
                const PpdInstallableOption& installable = *doc.installables[i];
                const ConstraintResult result =
                    doc.TestConstraint(installable.keyword, installable.currentOption, feature, option);
                if (result != crNoRule) option.constrained = result == crConflict;
            }
        }
    }
}

// UTF-8, a lone surrogate as U+FFFD (as the inspector writes it).
inline std::string Utf8(std::u16string_view text) { return platform::ToUtf8(text); }

// Blocks a model holds: its own record, its pointer arrays, records and heap
// texts. Right after construction the live blocks a build added are exactly
// these: the token buffer and the byte stream are gone.
inline long ModelBlocks(const PpdDocument& doc) {
    long blocks = 1 + (doc.features != nullptr) + (doc.installables != nullptr) + (doc.constraints != nullptr);
    for (int32_t f = 0; f < doc.featureCount; ++f) {
        const PpdFeature& feature = *doc.features[f];
        blocks += 1 + (feature.options != nullptr) + (feature.queryCode != nullptr) + feature.optionCount;
        for (int32_t o = 0; o < feature.optionCount; ++o) blocks += feature.options[o]->invocation != nullptr;
    }
    return blocks + doc.installableCount + doc.constraintCount;
}

inline PpdDocument* Parse(std::string_view ppd, PpdParseReport* report = nullptr) {
    MemorySource source(ppd);
    return new PpdDocument(ReadMemoryByte, &source, report);
}

// A PPD written to a file of its own, removed with the object: what the
// spooler hands the option tree is a path.
class TempPpd {
public:
    explicit TempPpd(std::string_view text) {
        char name[] = "/tmp/corvina-ppd-XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        if (FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr) {
            std::fwrite(text.data(), 1, text.size(), file);
            std::fclose(file);
        }
    }
    ~TempPpd() { std::remove(path_.c_str()); }
    TempPpd(const TempPpd&) = delete;
    TempPpd& operator=(const TempPpd&) = delete;

    const std::string& path() const { return path_; }
    std::u16string WidePath() const { return std::u16string(path_.begin(), path_.end()); }

private:
    std::string path_;
};

// A generated model of some size: `features` features of `options` options
// each, the first `installables` of them installable (installed value o0),
// and `constraints` rules, three in four from an installable option to an
// ordinary one (half of those naming o0), the rest the other way round or
// between ordinary features, which the pass passes over.
struct ModelShape {
    int features, installables, constraints, options;
    long Size() const { return long(features) * (1 + options) + installables + constraints; }
};

inline std::string GeneratedModelPpd(const ModelShape& shape, uint32_t seed = 1) {
    std::mt19937 random(seed);
    auto number = [&](int count) { return static_cast<int>(random() % static_cast<uint32_t>(count)); };
    auto feature = [&](int f) { return (f < shape.installables ? "*I" : "*F") + std::to_string(f); };
    // "*Feature oN", the feature drawn before the option.
    auto named = [&](int f, bool installed) {
        const std::string keyword = feature(f);
        return keyword + " o" + std::to_string(installed ? 0 : number(shape.options));
    };
    auto installable = [&](bool installed) { return named(number(shape.installables), installed); };
    auto ordinary = [&] { return named(shape.installables + number(shape.features - shape.installables), false); };

    std::string ppd = "*PPD-Adobe: \"4.3\"\n*OpenGroup: InstallableOptions\n";
    for (int f = 0; f < shape.features; ++f) {
        if (f == shape.installables) ppd += "*CloseGroup: InstallableOptions\n";
        ppd += "*OpenUI " + feature(f) + ": PickOne\n*Default" + feature(f).substr(1) + ": o0\n";
        for (int o = 0; o < shape.options; ++o) ppd += feature(f) + " o" + std::to_string(o) + ": \"\"\n";
        ppd += "*CloseUI: " + feature(f) + "\n";
    }
    for (int c = 0; c < shape.constraints; ++c) {
        const uint32_t kind = random() % 8;
        const std::string first = kind < 6 ? installable(kind < 3) : ordinary();
        const std::string second = kind == 6 ? installable(false) : ordinary();
        ppd += "*UIConstraints: " + first + " " + second + "\n";
    }
    return ppd;
}

struct PlatformGuard {
    PlatformGuard() {
        platform::portable::SetAnsiCodePage(1252);
        platform::portable::FailAllocation(0);
    }
    ~PlatformGuard() {
        platform::portable::SetAnsiCodePage(1252);
        platform::portable::FailAllocation(0);
    }
};

}  // namespace ppdtest
