#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/Runtime.h"
#include "platform/UniqueAny.h"
#include "ppd/PpdDocument.h"

namespace {

// Equal under SameAs gives equal hashes: the length and the units up to the
// NUL. A feature number, where the key has one, is mixed in.
uint32_t HashText(const PpdString& s, uint32_t id = 0) {
    uint32_t h = 2166136261u ^ static_cast<uint32_t>(s.length) ^ (id * 0x9E3779B1u);
    for (const char16_t* p = s.text; *p; ++p) h = (h ^ *p) * 16777619u;
    return h ^ (h >> 15);
}

// Open-addressed table of record numbers in words the caller lends: a slot
// is `Stride` words, the first holding the number + 1 (0 when empty), then,
// if `Hashed`, the key's hash, then the caller's words. The key texts stay
// in the records, so a piece of the model fits a small block; the hash spares
// a look at them for most slots that hold another key.
template <uint32_t Stride, bool Hashed>
struct NumberTable {
    uint32_t* slots = nullptr;
    uint32_t capacity = 0;

    static size_t Words(uint32_t slotCount) { return size_t{Stride} * slotCount; }

    void Attach(uint32_t* block, uint32_t slotCount) {
        slots = block;
        capacity = slotCount;
        std::memset(slots, 0, sizeof(uint32_t) * Words(capacity));
    }

    // The slot whose number `same` accepts, or the empty slot where it
    // belongs (holding the hash already).
    template <typename Same>
    uint32_t* Probe(uint32_t hash, const Same& same, int64_t& work) const {
        for (uint32_t i = hash & (capacity - 1);; i = (i + 1) & (capacity - 1)) {
            ++work;
            uint32_t* slot = slots + static_cast<size_t>(Stride) * i;
            if (slot[0] == 0) {
                if (Hashed) slot[1] = hash;
                return slot;
            }
            if ((!Hashed || slot[1] == hash) && same(slot[0] - 1, slot)) return slot;
        }
    }
};

// An installable keyword's slot: its last installable option (of the run)
// + 1 and the hash. A feature keyword's: the feature standing for the others
// of the keyword + 1, the hash, and the latest candidate to decide them
// (installable option + 1). An option key's: the feature + 1, the option,
// and the candidate that the latest conflict settled for it came with.
using InstallableTable = NumberTable<2, true>;
using FeatureTable = NumberTable<3, true>;
using OptionTable = NumberTable<3, false>;
// A conflict waiting to be settled: the rule, its feature keyword's slot
// (words into the feature table), the candidate.
constexpr size_t kWaitingStride = 3;

// A power of two of slots within `words` (at least 2), no more than
// `entries` need to stay at most half full.
uint32_t SlotsWithin(size_t words, int64_t entries) {
    uint32_t slots = 2;
    while (slots < 2 * entries && 2 * static_cast<size_t>(slots) <= words && slots < 1u << 30) slots *= 2;
    return slots;
}

// Entries a table of `slots` takes in a piece: three quarters full at most,
// where a block too small for the model makes it that full, and never full,
// so that every probe ends.
int32_t EntriesIn(uint32_t slots) { return static_cast<int32_t>(uint64_t{slots} * 3 / 4); }

// What the pass keys: the ordinary features and their options.
struct Keyed {
    int32_t features = 0;
    int64_t options = 0;
};

Keyed OrdinaryOf(const PpdDocument& doc) {
    Keyed keyed;
    for (int32_t f = 0; f < doc.featureCount; ++f) {
        if (doc.features[f]->group.Equals(kInstallableGroup)) continue;
        ++keyed.features;
        keyed.options += doc.features[f]->optionCount;
    }
    return keyed;
}

// The block in order: installable keywords, feature keywords, option keys,
// waiting conflicts.
struct Layout {
    uint32_t installableSlots = 0, featureSlots = 0, optionSlots = 0, waiting = 0;
    size_t Words() const {
        return InstallableTable::Words(installableSlots) + FeatureTable::Words(featureSlots) +
               OptionTable::Words(optionSlots) + kWaitingStride * waiting;
    }
};

// The whole model at once: one piece, one run of installable options and a
// conflict waiting per option; the keyword tables, probed twice per rule, a
// quarter full at most, where probes are shortest. Empty past counts whose
// slots or bytes would not fit their types.
Layout WholeModel(int32_t installables, const Keyed& keyed) {
    constexpr int32_t kAtMost = 1 << 24;
    if (installables > kAtMost || keyed.features > kAtMost || keyed.options > kAtMost) return {};
    return {SlotsWithin(SIZE_MAX, 2 * int64_t{installables}), SlotsWithin(SIZE_MAX, 2 * int64_t{keyed.features}),
            SlotsWithin(SIZE_MAX, keyed.options), static_cast<uint32_t>(std::max<int64_t>(1, keyed.options))};
}

// The whole model where it fits. Else a quarter of the block at most for the
// installable keywords and a third of the rest at most for the feature
// keywords, the option keys the remainder, and each conflict settled as it
// comes.
Layout LayoutWithin(size_t words, int32_t installables, const Keyed& keyed) {
    const Layout whole = WholeModel(installables, keyed);
    if (whole.Words() != 0 && whole.Words() <= words) return whole;
    if (words < PpdDocument::kConstraintScratchWordsAtLeast) return {};
    Layout layout;
    layout.waiting = 1;
    layout.installableSlots = SlotsWithin(words / 4 / InstallableTable::Words(1), 2 * int64_t{installables});
    const size_t rest = words - InstallableTable::Words(layout.installableSlots) - kWaitingStride;
    layout.featureSlots = SlotsWithin(rest / 3 / FeatureTable::Words(1), 2 * int64_t{keyed.features});
    layout.optionSlots =
        SlotsWithin((rest - FeatureTable::Words(layout.featureSlots)) / OptionTable::Words(1), keyed.options);
    return layout;
}

}  // namespace

void PpdDocument::SetInstallableOption(const char16_t* featureKeyword, const char16_t* optionKeyword,
                                       bool reevaluate) {
    if (featureKeyword && optionKeyword) {
        for (int32_t i = 0; i < installableCount; ++i) {
            if (installables[i]->keyword.Equals(featureKeyword)) {
                installables[i]->currentOption.Assign(optionKeyword);
                break;
            }
        }
    }
    if (reevaluate) EvaluateConstraints();
}

void PpdDocument::EvaluateConstraints() {
    constraintPassWork = 0;
    // Without either, every test finds no rule and no flag changes.
    if (installableCount == 0 || constraintCount == 0) return;
    const size_t words = WholeModel(installableCount, OrdinaryOf(*this)).Words();
    const platform::UniqueMem<uint32_t> block(
        words ? static_cast<uint32_t*>(platform::MemAlloc(words * sizeof(uint32_t))) : nullptr);
    if (block)
        EvaluateConstraintsInPieces(block.get(), words);
    else
        EvaluateConstraintsOnStack();
}

// Its own frame, so that the pass over a heap block does not carry this one.
void PpdDocument::EvaluateConstraintsOnStack() {
    uint32_t scratch[kConstraintScratchWords];
    EvaluateConstraintsInPieces(scratch, kConstraintScratchWords);
}

// Every installable option tried in turn overwrites the flag wherever one of
// its rules names the feature, so the last installable option that any rule
// pairs with a feature decides all of that feature's flags: its conflicts set
// them, every other option of the feature is clear.
//
// Ordinary features are taken a piece at a time, keyed by keyword (the first
// feature of a keyword in the piece stands for the others), and their options
// keyed by (standing feature, keyword); a feature with more options than a
// piece holds goes on in the next. Installable options are taken a run at a
// time, each keyword standing for its last option in the run. A walk of the
// rules per run raises each keyword's decider to the latest candidate. A
// conflict of a candidate that is the latest when its rule comes waits; when
// settled, unless its candidate has been outdone meanwhile, it marks its
// option with the candidate. Marks come in the rules' order, so the
// decider's, once made, stays.
void PpdDocument::EvaluateConstraintsInPieces(uint32_t* scratch, size_t words) {
    constraintPassWork = 0;
    if (installableCount == 0 || constraintCount == 0) return;
    const Layout layout = LayoutWithin(words, installableCount, OrdinaryOf(*this));
    if (layout.Words() == 0) return;
    const int32_t installablesPerRun = EntriesIn(layout.installableSlots);
    const int32_t featuresPerPiece = EntriesIn(layout.featureSlots);
    const int32_t optionsPerPiece = EntriesIn(layout.optionSlots);
    uint32_t* const featureBlock = scratch + InstallableTable::Words(layout.installableSlots);
    uint32_t* const optionBlock = featureBlock + FeatureTable::Words(layout.featureSlots);
    uint32_t* const waiting = optionBlock + OptionTable::Words(layout.optionSlots);
    int64_t work = 0;

    InstallableTable installableKeywords;
    FeatureTable featureKeywords;
    OptionTable optionKeys;
    auto installableSlot = [&](const PpdString& keyword) {
        auto same = [&](uint32_t i, const uint32_t*) { return installables[i]->keyword.SameAs(keyword); };
        return installableKeywords.Probe(HashText(keyword), same, work);
    };
    auto featureSlot = [&](const PpdString& keyword) {
        auto same = [&](uint32_t f, const uint32_t*) { return features[f]->keyword.SameAs(keyword); };
        return featureKeywords.Probe(HashText(keyword), same, work);
    };
    // The key of (standing feature, option keyword); the key that option
    // `selfOption` of feature `self` made is known without a look at texts.
    auto optionKey = [&](const PpdString& feature, const PpdString& option, uint32_t standing,
                         uint32_t self = UINT32_MAX, uint32_t selfOption = 0) {
        auto same = [&](uint32_t f, const uint32_t* key) {
            if (f == self && key[1] == selfOption) return true;
            return features[f]->options[key[1]]->keyword.SameAs(option) &&
                   (f == standing || features[f]->keyword.SameAs(feature));
        };
        return optionKeys.Probe(HashText(option, standing), same, work);
    };

    // The next piece starts at option `nextOption` of feature `next`.
    for (int32_t next = 0, nextOption = 0; next < featureCount;) {
        const int32_t first = next, firstOption = nextOption;
        featureKeywords.Attach(featureBlock, layout.featureSlots);
        optionKeys.Attach(optionBlock, layout.optionSlots);
        int32_t ordinary = 0, options = 0;
        for (; next < featureCount; ++next, nextOption = 0) {
            ++work;
            const PpdFeature& feature = *features[next];
            if (feature.group.Equals(kInstallableGroup)) continue;
            if (ordinary++ == featuresPerPiece) break;
            uint32_t* slot = featureSlot(feature.keyword);
            if (slot[0] == 0) slot[0] = static_cast<uint32_t>(next) + 1;
            for (; nextOption < feature.optionCount && options < optionsPerPiece; ++nextOption, ++options) {
                uint32_t* key = optionKey(feature.keyword, feature.options[nextOption]->keyword, slot[0] - 1);
                if (key[0] != 0) continue;
                key[0] = static_cast<uint32_t>(next) + 1;
                key[1] = static_cast<uint32_t>(nextOption);
            }
            if (nextOption < feature.optionCount) break;
        }
        if (options == 0) continue;

        uint32_t waited = 0;
        auto settle = [&] {
            for (const uint32_t* w = waiting; w < waiting + kWaitingStride * waited; w += kWaitingStride) {
                ++work;
                const uint32_t* standing = featureBlock + w[1];
                if (w[2] != standing[2]) continue;
                const PpdConstraint& rule = *constraints[w[0]];
                if (!rule.option1.SameAs(installables[w[2] - 1]->currentOption)) continue;
                uint32_t* key = optionKey(rule.feature2, rule.option2, standing[0] - 1);
                if (key[0] != 0) key[2] = w[2];
            }
            waited = 0;
        };
        for (int32_t run = 0; run < installableCount; run += installablesPerRun) {
            const int32_t runEnd =
                installableCount - run > installablesPerRun ? run + installablesPerRun : installableCount;
            installableKeywords.Attach(scratch, layout.installableSlots);
            for (int32_t i = run; i < runEnd; ++i) {
                ++work;
                installableSlot(installables[i]->keyword)[0] = static_cast<uint32_t>(i) + 1;
            }
            for (int32_t c = 0; c < constraintCount; ++c) {
                ++work;
                const PpdConstraint& rule = *constraints[c];
                const uint32_t candidate = installableSlot(rule.feature1)[0];
                if (candidate == 0) continue;
                uint32_t* standing = featureSlot(rule.feature2);
                if (standing[0] == 0 || candidate < standing[2]) continue;
                standing[2] = candidate;
                uint32_t* w = waiting + kWaitingStride * waited;
                w[0] = static_cast<uint32_t>(c);
                w[1] = static_cast<uint32_t>(standing - featureBlock);
                w[2] = candidate;
                if (++waited == layout.waiting) settle();
            }
        }
        settle();

        // The piece's options: those of features [first, next), and of
        // feature `next` those before `nextOption`.
        for (int32_t f = first; f < next || (f == next && nextOption > 0); ++f) {
            const PpdFeature& feature = *features[f];
            if (feature.group.Equals(kInstallableGroup)) continue;
            const uint32_t* standing = featureSlot(feature.keyword);
            if (standing[2] == 0) continue;
            const int32_t end = f == next ? nextOption : feature.optionCount;
            for (int32_t o = f == first ? firstOption : 0; o < end; ++o) {
                ++work;
                PpdOption& option = *feature.options[o];
                option.constrained =
                    optionKey(feature.keyword, option.keyword, standing[0] - 1, f, o)[2] == standing[2];
            }
        }
    }
    constraintPassWork = work;
}

// Only the direction installable feature first, ordinary feature second counts.
ConstraintResult PpdDocument::TestConstraint(const PpdString& installableKeyword,
                                             const PpdString& currentOption, const PpdFeature& feature,
                                             const PpdOption& option) const {
    ConstraintResult result = crNoRule;
    for (int32_t c = 0; c < constraintCount; ++c) {
        const PpdConstraint& constraint = *constraints[c];
        if (constraint.feature1.SameAs(installableKeyword) && constraint.feature2.SameAs(feature.keyword)) {
            result = crClear;
            if (constraint.option1.SameAs(currentOption) && constraint.option2.SameAs(option.keyword))
                return crConflict;
        }
    }
    return result;
}
