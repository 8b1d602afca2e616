// The constraint pass, which indexes the model afresh on every call (and
// works in pieces without memory for the index: both are run), against the
// walk of every constraint per (option, installable option) that states its
// rule: WalkConstraints on every corpus PPD under its defaults, and the same
// walk over numbered texts (fast enough for thousands of passes) on the
// largest PPDs with every installable option set to each of its options in
// turn and to a value no rule names. Each pass starts from random flags, so
// that flags no rule reaches are seen to keep them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "CorpusSupport.h"
#include "tests/support/PpdSource.h"

namespace {

constexpr size_t kLargest = 50;

struct Figures {
    long files = 0;
    long passes = 0;
    long flags = 0;
    long set = 0;
    long changed = 0;  // from the random flags the passes started with

    void Print(const char* what, std::chrono::steady_clock::time_point start) const {
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::cout << what << ": " << files << " PPDs, " << passes << " passes, " << flags << " flags compared, "
                  << set << " set, " << changed << " changed from their random start, in " << seconds << " s\n";
    }
};

// WalkConstraints over a copy of the model whose texts are numbered, equal
// numbers exactly where SameAs holds (the length and the text), so that each
// step compares numbers instead of records.
class NumberedWalk {
public:
    explicit NumberedWalk(const PpdDocument& doc) {
        for (int32_t c = 0; c < doc.constraintCount; ++c) {
            const PpdConstraint& rule = *doc.constraints[c];
            rules_.push_back(
                {Number(rule.feature1), Number(rule.option1), Number(rule.feature2), Number(rule.option2)});
        }
        for (int32_t f = 0; f < doc.featureCount; ++f) {
            const PpdFeature& feature = *doc.features[f];
            Feature numbered{feature.group.Equals(u"InstallableOptions"), Number(feature.keyword), {}};
            for (int32_t o = 0; o < feature.optionCount; ++o)
                numbered.options.push_back(Number(feature.options[o]->keyword));
            features_.push_back(std::move(numbered));
        }
    }

    void Run(PpdDocument& doc) const {
        std::vector<std::pair<int, int>> installables;  // keyword, current option
        for (int32_t i = 0; i < doc.installableCount; ++i)
            installables.emplace_back(Find(doc.installables[i]->keyword), Find(doc.installables[i]->currentOption));
        for (size_t f = 0; f < features_.size(); ++f) {
            const Feature& feature = features_[f];
            if (feature.installable) continue;
            for (size_t o = 0; o < feature.options.size(); ++o)
                for (const auto& [keyword, current] : installables) {
                    ConstraintResult result = crNoRule;
                    for (const Rule& rule : rules_) {
                        if (rule.feature1 == keyword && rule.feature2 == feature.keyword) {
                            result = crClear;
                            if (rule.option1 == current && rule.option2 == feature.options[o]) {
                                result = crConflict;
                                break;
                            }
                        }
                    }
                    if (result != crNoRule) doc.features[f]->options[o]->constrained = result == crConflict;
                }
        }
    }

private:
    struct Rule {
        int feature1, option1, feature2, option2;
    };
    struct Feature {
        bool installable;
        int keyword;
        std::vector<int> options;
    };
    using Key = std::pair<int32_t, std::u16string>;

    static Key KeyOf(const PpdString& s) { return {s.length, std::u16string(s.text)}; }
    int Number(const PpdString& s) {
        return numbers_.emplace(KeyOf(s), static_cast<int>(numbers_.size())).first->second;
    }
    // A text the model never held matches nothing the model holds.
    int Find(const PpdString& s) const {
        auto it = numbers_.find(KeyOf(s));
        return it == numbers_.end() ? -1 : it->second;
    }

    std::map<Key, int> numbers_;
    std::vector<Rule> rules_;
    std::vector<Feature> features_;
};

// The walk, the pass without memory for its index (in pieces) and the
// indexed pass, each from the same random flags; the document keeps the
// indexed result.
template <typename Walk>
void ExpectSamePass(PpdDocument& doc, Walk walk, std::mt19937& random, Figures& figures, const std::string& what) {
    const std::vector<uint8_t*> flags = ppdtest::ConstrainedFlagsOf(doc);
    std::vector<uint8_t> start(flags.size());
    for (uint8_t& s : start) s = random() & 1;
    auto run = [&](auto pass) {
        for (size_t k = 0; k < flags.size(); ++k) *flags[k] = start[k];
        pass();
        std::vector<uint8_t> result(flags.size());
        for (size_t k = 0; k < flags.size(); ++k) result[k] = *flags[k];
        return result;
    };
    const std::vector<uint8_t> reference = run([&] { walk(doc); });
    const std::vector<uint8_t> pieces = run([&] {
        platform::portable::FailAllocation(1, true);
        doc.EvaluateConstraints();
        platform::portable::FailAllocation(0);
    });
    const std::vector<uint8_t> indexed = run([&] { doc.EvaluateConstraints(); });

    ++figures.passes;
    figures.flags += static_cast<long>(flags.size());
    figures.set += std::count(indexed.begin(), indexed.end(), 1);
    for (size_t k = 0; k < flags.size(); ++k) figures.changed += indexed[k] != start[k];
    for (const auto& [pass, result] : {std::pair{"indexed", &indexed}, {"in pieces", &pieces}}) {
        if (*result == reference) continue;
        size_t differing = 0, first = flags.size();
        for (size_t k = 0; k < flags.size(); ++k)
            if ((*result)[k] != reference[k]) differing++, first = std::min(first, k);
        ADD_FAILURE() << what << ", " << pass << ": " << differing << " of " << flags.size()
                      << " flags differ, the first at option " << first << " of the document";
    }
}

TEST(CorpusConstraints, IndexedPassIsTheWalkOnEveryPpd) {
    auto start = std::chrono::steady_clock::now();
    std::mt19937 random(1);
    Figures figures;
    for (const std::string& path : corpus::Files()) {
        auto doc = corpus::BuildModel(path, corpus::CodePageFor(path));
        ASSERT_NE(doc, nullptr) << path;
        ++figures.files;
        ExpectSamePass(*doc, ppdtest::WalkConstraints, random, figures, path + " with its defaults");
        if (HasFailure()) return;
    }
    figures.Print("defaults", start);
}

// The largest files of the whole corpus, this shard's share of them.
std::vector<std::string> LargestFiles() {
    std::vector<std::pair<uintmax_t, std::string>> sized;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(corpus::Directory(), error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file() && it->path().extension() == ".ppd")
            sized.emplace_back(it->file_size(), it->path().string());
    std::sort(sized.begin(), sized.end(), [](const auto& a, const auto& b) {
        return a.first > b.first || (a.first == b.first && a.second < b.second);
    });
    sized.resize(std::min(sized.size(), kLargest));
    std::vector<std::string> mine;
    const std::vector<std::string> shard = corpus::Files();
    for (const auto& [size, path] : sized)
        if (std::binary_search(shard.begin(), shard.end(), path)) mine.push_back(path);
    return mine;
}

TEST(CorpusConstraints, IndexedPassIsTheWalkUnderEveryInstalledOption) {
    auto start = std::chrono::steady_clock::now();
    std::mt19937 random(2);
    Figures figures;
    for (const std::string& path : LargestFiles()) {
        auto doc = corpus::BuildModel(path, corpus::CodePageFor(path));
        ASSERT_NE(doc, nullptr) << path;
        ++figures.files;
        const NumberedWalk numbered(*doc);
        auto walk = [&](PpdDocument& d) { numbered.Run(d); };
        // The numbered walk is WalkConstraints, here where both can run.
        ExpectSamePass(*doc, ppdtest::WalkConstraints, random, figures, path + " with its defaults");
        ExpectSamePass(*doc, walk, random, figures, path + " with its defaults, numbered");
        for (int32_t f = 0; f < doc->featureCount; ++f) {
            const PpdFeature& feature = *doc->features[f];
            if (!feature.group.Equals(u"InstallableOptions")) continue;
            std::vector<const char16_t*> values;
            for (int32_t o = 0; o < feature.optionCount; ++o) values.push_back(feature.options[o]->keyword.text);
            values.push_back(u"NoRuleNamesThis");
            for (const char16_t* value : values) {
                doc->SetInstallableOption(feature.keyword.text, value, false);
                ExpectSamePass(*doc, walk, random, figures,
                               path + " with " + ppdtest::Utf8(feature.keyword.text) + " " + ppdtest::Utf8(value));
                if (HasFailure()) return;
            }
            doc->SetInstallableOption(feature.keyword.text, feature.defaultOption.text, false);
        }
    }
    figures.Print("installed options of the largest PPDs", start);
}

}  // namespace
