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
    Slot& Probe(const PpdString& text, uint32_t hash, bool byValue, int32_t value) const {
        for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots[i];
            if (!slot.text) return slot;
            if (slot.hash == hash && (!byValue || slot.value == value) && slot.text->SameAs(text)) return slot;
        }
    }
};

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
// that installable option and its conflicts in one walk of the rules.
void PpdDocument::EvaluateConstraints() {
    // Without either, every test finds no rule and no flag changes.
    if (installableCount == 0 || constraintCount == 0) return;

    // One block: keyword tables for installables and features, the ids of
    // both, the rules that join the two kinds, and the conflict table.
    constexpr int32_t kIndexedAtMost = 1 << 26;
    if (installableCount > kIndexedAtMost || featureCount > kIndexedAtMost || constraintCount > kIndexedAtMost) {
        EvaluateConstraintsReference();
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
        // Without memory for the index the walk gives the same flags.
        EvaluateConstraintsReference();
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
    if (linkedCount == 0) return;

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
        for (int32_t o = 0; o < feature.optionCount; ++o) {
            PpdOption& option = *feature.options[o];
            const PpdString& keyword = option.keyword;
            const Slot& conflict = conflicts.Probe(keyword, HashText(keyword, featureId[f]), true, featureId[f]);
            option.constrained = conflict.text ? 1 : 0;
        }
    }
}

void PpdDocument::EvaluateConstraintsReference() {
    for (int32_t f = 0; f < featureCount; ++f) {
        const PpdFeature& feature = *features[f];
        if (feature.group.Equals(kInstallableGroup)) continue;
        for (int32_t o = 0; o < feature.optionCount; ++o) {
            PpdOption& option = *feature.options[o];
            for (int32_t i = 0; i < installableCount; ++i) {
                const PpdInstallableOption& installable = *installables[i];
                switch (TestConstraint(installable.keyword, installable.currentOption, feature, option)) {
                    case crConflict: option.constrained = 1; break;
                    case crClear: option.constrained = 0; break;
                    case crNoRule: break;
                }
            }
        }
    }
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
