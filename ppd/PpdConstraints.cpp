#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/Runtime.h"
#include "platform/UniqueAny.h"
#include "ppd/PpdDocument.h"

namespace {

// Equal under SameAs gives equal hashes: the length and the units up to the
// NUL. A feature id, where the key has one, is mixed in.
uint32_t HashText(const PpdString& s, int32_t id = 0) {
    uint32_t h = 2166136261u ^ static_cast<uint32_t>(s.length) ^ (static_cast<uint32_t>(id) * 0x9E3779B1u);
    for (const char16_t* p = s.text; *p; ++p) h = (h ^ *p) * 16777619u;
    return h ^ (h >> 15);
}

// Open-addressed table of texts, each with an int32 payload; a text is
// equal to a stored one when SameAs holds and, for the pair table, the
// payload (a feature id) is the same too.
struct Slot {
    const PpdString* text;
    uint32_t hash;
    int32_t value;
};

struct TextTable {
    Slot* slots = nullptr;
    uint32_t mask = 0;
    int64_t probes = 0;  // slots looked at

    // Capacity: a power of two above twice the entries, so probes stay short.
    static uint32_t CapacityFor(int32_t entries) {
        uint32_t capacity = 16;
        while (capacity < 2u * static_cast<uint32_t>(entries)) capacity *= 2;
        return capacity;
    }

    void Attach(Slot* block, uint32_t capacity) {
        slots = block;
        mask = capacity - 1;
        std::memset(slots, 0, sizeof(Slot) * capacity);
    }

    // The slot holding text (with value, when byValue), or the empty slot where it belongs.
    Slot& Probe(const PpdString& text, uint32_t hash, bool byValue, int32_t value) {
        for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
            ++probes;
            Slot& slot = slots[i];
            if (!slot.text) return slot;
            if (slot.hash == hash && (!byValue || slot.value == value) && slot.text->SameAs(text)) return slot;
        }
    }
};

// Open-addressed table of record numbers in words the caller lends: a slot
// holds the number + 1, 0 when empty; the key texts stay in the records, so
// a slot costs four bytes and a piece of the model fits a small block.
struct NumberTable {
    uint32_t* slots = nullptr;
    uint32_t mask = 0;

    void Attach(uint32_t* block, uint32_t capacity) {
        slots = block;
        mask = capacity - 1;
        std::memset(slots, 0, sizeof(uint32_t) * capacity);
    }

    // The slot whose number `same` accepts, or the empty slot where it belongs.
    template <typename Same>
    uint32_t& Probe(uint32_t hash, const Same& same, int64_t& work) const {
        for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
            ++work;
            uint32_t& slot = slots[i];
            if (slot == 0 || same(slot - 1)) return slot;
        }
    }
};

// A power of two of slots within `words` (at least 2), no more than
// `entries` need to stay at most half full.
uint32_t SlotsWithin(size_t words, int32_t entries) {
    uint32_t slots = 2;
    while (slots < 2u * static_cast<uint32_t>(entries) && 2 * static_cast<size_t>(slots) <= words) slots *= 2;
    return slots;
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

// Every installable option tried in turn overwrites the flag wherever one of
// its rules names the feature, so the last installable option that any rule
// pairs with a feature decides all of that feature's flags: its conflicts set
// them, every other option of the feature is clear. An index of the rules by
// (installable keyword, feature keyword), built afresh for each pass, finds
// that installable option and its conflicts in one walk of the rules. Without
// memory for it, the same steps run in pieces in a block of the stack.
void PpdDocument::EvaluateConstraints() {
    constraintPassWork = 0;
    // Without either, every test finds no rule and no flag changes.
    if (installableCount == 0 || constraintCount == 0) return;

    // One block: keyword tables for installables and features, the ids of
    // both, the rules that join the two kinds, and the conflict table.
    constexpr int32_t kIndexedAtMost = 1 << 26;
    if (installableCount > kIndexedAtMost || featureCount > kIndexedAtMost || constraintCount > kIndexedAtMost) {
        EvaluateConstraintsOnStack();
        return;
    }
    const uint32_t installableSlots = TextTable::CapacityFor(installableCount);
    const uint32_t featureSlots = TextTable::CapacityFor(featureCount);
    const uint32_t conflictSlotsAtMost = TextTable::CapacityFor(constraintCount);
    const size_t slotCount = static_cast<size_t>(installableSlots) + featureSlots + conflictSlotsAtMost;
    const size_t ints = static_cast<size_t>(installableCount) + 2 * static_cast<size_t>(featureCount) +
                        3 * static_cast<size_t>(constraintCount);
    const platform::UniqueMem<Slot> index(
        static_cast<Slot*>(platform::MemAlloc(slotCount * sizeof(Slot) + ints * sizeof(int32_t))));
    if (!index) {
        EvaluateConstraintsOnStack();
        return;
    }
    Slot* const block = index.get();
    auto* lastOfKeyword = reinterpret_cast<int32_t*>(block + slotCount);  // per installable keyword id
    int32_t* featureId = lastOfKeyword + installableCount;                 // per feature, -1 when skipped
    int32_t* decider = featureId + featureCount;                           // per feature id, -1 for none
    int32_t* linkedRule = decider + featureCount;                          // per rule joining the two kinds
    int32_t* linkedFeature = linkedRule + constraintCount;
    int32_t* linkedCandidate = linkedFeature + constraintCount;

    // Installable keywords: the last installable option of each keyword is
    // the only one of them that can decide a flag.
    TextTable installableKeywords;
    installableKeywords.Attach(block, installableSlots);
    int32_t keywordCount = 0;
    for (int32_t i = 0; i < installableCount; ++i) {
        const PpdString& keyword = installables[i]->keyword;
        const uint32_t hash = HashText(keyword);
        Slot& slot = installableKeywords.Probe(keyword, hash, false, 0);
        if (!slot.text) slot = {&keyword, hash, keywordCount++};
        lastOfKeyword[slot.value] = i;
    }

    // Keywords of the ordinary features; features sharing a keyword share an id.
    TextTable featureKeywords;
    featureKeywords.Attach(block + installableSlots, featureSlots);
    int32_t featureIds = 0;
    for (int32_t f = 0; f < featureCount; ++f) {
        const PpdFeature& feature = *features[f];
        featureId[f] = -1;
        if (feature.group.Equals(kInstallableGroup)) continue;
        const uint32_t hash = HashText(feature.keyword);
        Slot& slot = featureKeywords.Probe(feature.keyword, hash, false, 0);
        if (!slot.text) {
            slot = {&feature.keyword, hash, featureIds};
            decider[featureIds++] = -1;
        }
        featureId[f] = slot.value;
    }

    // Rules whose first keyword is an installable one and whose second is an
    // ordinary feature's: each makes its installable keyword's last option a
    // candidate to decide that feature, and the latest candidate decides.
    int32_t linkedCount = 0;
    for (int32_t c = 0; c < constraintCount; ++c) {
        const PpdConstraint& rule = *constraints[c];
        const Slot& installable = installableKeywords.Probe(rule.feature1, HashText(rule.feature1), false, 0);
        if (!installable.text) continue;
        const Slot& feature = featureKeywords.Probe(rule.feature2, HashText(rule.feature2), false, 0);
        if (!feature.text) continue;
        const int32_t candidate = lastOfKeyword[installable.value];
        if (candidate > decider[feature.value]) decider[feature.value] = candidate;
        linkedRule[linkedCount] = c;
        linkedFeature[linkedCount] = feature.value;
        linkedCandidate[linkedCount++] = candidate;
    }
    int64_t work = static_cast<int64_t>(installableCount) + featureCount + constraintCount + linkedCount;
    if (linkedCount == 0) {
        constraintPassWork = work + installableKeywords.probes + featureKeywords.probes;
        return;
    }

    // Conflicts: (feature id, option) named by a rule of the deciding
    // installable option whose first option is that option's current value.
    TextTable conflicts;
    conflicts.Attach(block + installableSlots + featureSlots, TextTable::CapacityFor(linkedCount));
    for (int32_t k = 0; k < linkedCount; ++k) {
        const int32_t deciding = decider[linkedFeature[k]];
        if (linkedCandidate[k] != deciding) continue;
        const PpdConstraint& rule = *constraints[linkedRule[k]];
        if (!rule.option1.SameAs(installables[deciding]->currentOption)) continue;
        const uint32_t hash = HashText(rule.option2, linkedFeature[k]);
        Slot& slot = conflicts.Probe(rule.option2, hash, true, linkedFeature[k]);
        if (!slot.text) slot = {&rule.option2, hash, linkedFeature[k]};
    }

    for (int32_t f = 0; f < featureCount; ++f) {
        if (featureId[f] < 0 || decider[featureId[f]] < 0) continue;
        const PpdFeature& feature = *features[f];
        work += feature.optionCount;
        for (int32_t o = 0; o < feature.optionCount; ++o) {
            PpdOption& option = *feature.options[o];
            const PpdString& keyword = option.keyword;
            const Slot& conflict = conflicts.Probe(keyword, HashText(keyword, featureId[f]), true, featureId[f]);
            option.constrained = conflict.text ? 1 : 0;
        }
    }
    constraintPassWork = work + installableKeywords.probes + featureKeywords.probes + conflicts.probes;
}

// Its own frame, so that the indexed pass does not carry the block.
void PpdDocument::EvaluateConstraintsOnStack() {
    uint32_t scratch[kConstraintScratchWords];
    EvaluateConstraintsInPieces(scratch, kConstraintScratchWords);
}

// The indexed pass's steps over pieces that fit the scratch block: features
// a run of positions at a time, keyed by keyword (the first feature of a
// keyword in the piece stands for the others); the installable options a
// run at a time, each keyword standing for its last option in the run; and
// the conflicts a batch at a time. Each piece of features walks the rules
// once per run of installable options, to find the latest one paired with
// each of its keywords (the decider), and once more for the decider's
// conflicts. A model that fits one piece costs two walks of the rules.
void PpdDocument::EvaluateConstraintsInPieces(uint32_t* scratch, size_t words) {
    constraintPassWork = 0;
    if (installableCount == 0 || constraintCount == 0 || words < kConstraintScratchWordsAtLeast) return;
    int64_t work = 0;

    // A quarter at most for the installable keywords, a third of the rest at
    // most for the feature keywords (with a decider per position, half as
    // many), the conflicts the remainder.
    const uint32_t installableSlots = SlotsWithin(words / 4, installableCount);
    const size_t rest = words - installableSlots;
    const uint32_t featureSlots = SlotsWithin(rest / 3, featureCount);
    const uint32_t conflictSlots = SlotsWithin(rest - featureSlots - featureSlots / 2, constraintCount);
    const int32_t installablesPerRun = static_cast<int32_t>(installableSlots / 2);
    const int32_t featuresPerPiece = static_cast<int32_t>(featureSlots / 2);
    const int32_t conflictsPerBatch = static_cast<int32_t>(conflictSlots / 2);
    uint32_t* const decider = scratch + installableSlots + featureSlots;  // installable + 1, per position

    NumberTable installableKeywords, featureKeywords, conflicts;
    for (int32_t first = 0; first < featureCount; first += featuresPerPiece) {
        const int32_t end = featureCount - first > featuresPerPiece ? first + featuresPerPiece : featureCount;
        featureKeywords.Attach(scratch + installableSlots, featureSlots);
        auto sameFeature = [&](const PpdString& keyword) {
            return [&](uint32_t f) { return features[f]->keyword.SameAs(keyword); };
        };
        // The position standing for a keyword of the piece, or -1.
        auto standing = [&](const PpdString& keyword) {
            return static_cast<int32_t>(featureKeywords.Probe(HashText(keyword), sameFeature(keyword), work)) - 1;
        };
        bool ordinary = false;
        for (int32_t f = first; f < end; ++f) {
            ++work;
            decider[f - first] = 0;
            const PpdFeature& feature = *features[f];
            if (feature.group.Equals(kInstallableGroup)) continue;
            uint32_t& slot = featureKeywords.Probe(HashText(feature.keyword), sameFeature(feature.keyword), work);
            if (slot == 0) slot = static_cast<uint32_t>(f) + 1;
            ordinary = true;
        }
        if (!ordinary) continue;

        for (int32_t run = 0; run < installableCount; run += installablesPerRun) {
            const int32_t runEnd =
                installableCount - run > installablesPerRun ? run + installablesPerRun : installableCount;
            installableKeywords.Attach(scratch, installableSlots);
            auto sameInstallable = [&](const PpdString& keyword) {
                return [&](uint32_t i) { return installables[i]->keyword.SameAs(keyword); };
            };
            for (int32_t i = run; i < runEnd; ++i) {
                ++work;
                const PpdString& keyword = installables[i]->keyword;
                installableKeywords.Probe(HashText(keyword), sameInstallable(keyword), work) =
                    static_cast<uint32_t>(i) + 1;
            }
            for (int32_t c = 0; c < constraintCount; ++c) {
                ++work;
                const PpdConstraint& rule = *constraints[c];
                const int32_t at = standing(rule.feature2);
                if (at < 0) continue;
                const uint32_t candidate =
                    installableKeywords.Probe(HashText(rule.feature1), sameInstallable(rule.feature1), work);
                if (candidate > decider[at - first]) decider[at - first] = candidate;
            }
        }

        // Conflicts, keyed by (standing position, option): each batch sets
        // the flags it names, the first clears the rest of decided features.
        auto conflictOf = [&](const PpdString& feature, const PpdString& option, int32_t at) -> uint32_t& {
            auto same = [&](uint32_t c) {
                return constraints[c]->option2.SameAs(option) && constraints[c]->feature2.SameAs(feature);
            };
            return conflicts.Probe(HashText(option, at), same, work);
        };
        bool firstBatch = true;
        auto setFlags = [&]() {
            for (int32_t f = first; f < end; ++f) {
                ++work;
                const PpdFeature& feature = *features[f];
                if (feature.group.Equals(kInstallableGroup)) continue;
                const int32_t at = standing(feature.keyword);
                if (decider[at - first] == 0) continue;
                for (int32_t o = 0; o < feature.optionCount; ++o) {
                    ++work;
                    PpdOption& option = *feature.options[o];
                    if (conflictOf(feature.keyword, option.keyword, at) != 0)
                        option.constrained = 1;
                    else if (firstBatch)
                        option.constrained = 0;
                }
            }
            firstBatch = false;
        };
        conflicts.Attach(decider + featuresPerPiece, conflictSlots);
        int32_t batched = 0;
        for (int32_t c = 0; c < constraintCount; ++c) {
            ++work;
            const PpdConstraint& rule = *constraints[c];
            const int32_t at = standing(rule.feature2);
            if (at < 0 || decider[at - first] == 0) continue;
            const PpdInstallableOption& deciding = *installables[decider[at - first] - 1];
            if (!rule.feature1.SameAs(deciding.keyword) || !rule.option1.SameAs(deciding.currentOption)) continue;
            uint32_t& slot = conflictOf(rule.feature2, rule.option2, at);
            if (slot != 0) continue;
            slot = static_cast<uint32_t>(c) + 1;
            if (++batched < conflictsPerBatch) continue;
            setFlags();
            conflicts.Attach(decider + featuresPerPiece, conflictSlots);
            batched = 0;
        }
        if (batched > 0 || firstBatch) setFlags();
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
