// The PPD model from arbitrary bytes, then installable options set from
// keywords found in the same bytes, against the model's invariants: counts
// and arrays agree, every string is terminated within its 260 units with its
// length, GetFeature keeps to its bounds, and the constraint flags are what
// the rules give for the installed options (installable to ordinary feature
// only, the last installable option with a rule for the feature deciding).
//
// Input: a flag byte (bit 0 code page 932; bit 1 fail one allocation of the
// parse, bit 2 that one and every later), two bytes of allocation ordinal,
// then the PPD.
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/portable/PortableRuntime.h"
#include "ppd/PpdDocument.h"
#include "tests/support/PpdSource.h"

namespace {

void CheckString(const PpdString& s) {
    FUZZ_CHECK(s.length >= 0 && s.length < kPpdStringCapacity);
    FUZZ_CHECK(s.text[s.length] == 0);
    for (int32_t i = 0; i < s.length; ++i) FUZZ_CHECK(s.text[i] != 0);
}

size_t Occurrences(std::string_view text, std::string_view word) {
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) ++count;
    return count;
}

void CheckStructure(const PpdDocument& doc, std::string_view ppd) {
    FUZZ_CHECK(doc.featureCount >= 0 && doc.constraintCount >= 0 && doc.installableCount >= 0);
    FUZZ_CHECK(doc.featureCount == 0 || doc.features);
    FUZZ_CHECK(doc.constraintCount == 0 || doc.constraints);
    FUZZ_CHECK(doc.installableCount == 0 || doc.installables);
    // Every feature and constraint begins at its keyword in the input.
    FUZZ_CHECK(static_cast<size_t>(doc.featureCount) <= Occurrences(ppd, "*OpenUI"));
    FUZZ_CHECK(static_cast<size_t>(doc.constraintCount) <= Occurrences(ppd, "*UIConstraints"));

    for (const PpdString* s : {&doc.modelName, &doc.product, &doc.manufacturer, &doc.languageEncoding,
                               &doc.languageVersion})
        CheckString(*s);

    for (int32_t index : {-1, doc.featureCount, doc.featureCount + 1, INT32_MIN, INT32_MAX})
        FUZZ_CHECK(doc.GetFeature(index) == nullptr);

    int32_t installableFeatures = 0;
    for (int32_t f = 0; f < doc.featureCount; ++f) {
        const PpdFeature* feature = doc.GetFeature(f);
        FUZZ_CHECK(feature && feature == doc.features[f]);
        for (const PpdString* s : {&feature->keyword, &feature->translation, &feature->defaultOption,
                                   &feature->group, &feature->groupTranslation})
            CheckString(*s);
        FUZZ_CHECK(feature->uiType == uiPickOne || feature->uiType == uiPickMany || feature->uiType == uiBoolean);
        FUZZ_CHECK(feature->optionCount >= 0);
        FUZZ_CHECK(feature->optionCount == 0 || feature->options);
        const bool installable = feature->group.Equals(kInstallableGroup);
        if (installable) ++installableFeatures;
        for (int32_t o = 0; o < feature->optionCount; ++o) {
            const PpdOption* option = feature->options[o];
            FUZZ_CHECK(option);
            CheckString(option->keyword);
            CheckString(option->translation);
            FUZZ_CHECK(option->constrained == 0 || option->constrained == 1);
            FUZZ_CHECK(!installable || option->constrained == 0);
        }
    }
    FUZZ_CHECK(doc.installableCount <= installableFeatures);

    // Each installable option stands for a feature of the group, in file order.
    int32_t f = 0;
    for (int32_t i = 0; i < doc.installableCount; ++i) {
        const PpdInstallableOption* installable = doc.installables[i];
        FUZZ_CHECK(installable);
        CheckString(installable->keyword);
        CheckString(installable->currentOption);
        while (f < doc.featureCount && !(doc.features[f]->group.Equals(kInstallableGroup) &&
                                         doc.features[f]->keyword.SameAs(installable->keyword)))
            ++f;
        FUZZ_CHECK(f < doc.featureCount);
        ++f;
    }

    for (int32_t c = 0; c < doc.constraintCount; ++c) {
        const PpdConstraint* constraint = doc.constraints[c];
        FUZZ_CHECK(constraint);
        for (const PpdString* s : {&constraint->feature1, &constraint->option1, &constraint->feature2,
                                   &constraint->option2})
            CheckString(*s);
    }
}

// The constraint rules evaluated the long way round, from the flags as they
// were before the pass: rules name an installable feature first and an
// ordinary one second, and the last installable option with any rule for
// the feature decides the flag; without one the flag stays.
std::vector<uint8_t> ExpectedFlags(const PpdDocument& doc, const std::vector<uint8_t>& before) {
    std::vector<uint8_t> flags;
    size_t at = 0;
    for (int32_t f = 0; f < doc.featureCount; ++f) {
        const PpdFeature& feature = *doc.features[f];
        for (int32_t o = 0; o < feature.optionCount; ++o, ++at) {
            uint8_t flag = before[at];
            if (!feature.group.Equals(kInstallableGroup)) {
                for (int32_t i = 0; i < doc.installableCount; ++i) {
                    const PpdInstallableOption& installable = *doc.installables[i];
                    bool rule = false, conflict = false;
                    for (int32_t c = 0; c < doc.constraintCount; ++c) {
                        const PpdConstraint& k = *doc.constraints[c];
                        if (!k.feature1.SameAs(installable.keyword) || !k.feature2.SameAs(feature.keyword)) continue;
                        rule = true;
                        conflict = conflict || (k.option1.SameAs(installable.currentOption) &&
                                                k.option2.SameAs(feature.options[o]->keyword));
                    }
                    if (rule) flag = conflict ? 1 : 0;
                }
            }
            flags.push_back(flag);
        }
    }
    return flags;
}

// One evaluation costs options x installables x constraints steps; the
// number of evaluations a run makes is kept within a budget of steps.
uint64_t EvaluationSteps(const PpdDocument& doc) {
    uint64_t options = 0;
    for (int32_t f = 0; f < doc.featureCount; ++f) options += doc.features[f]->optionCount;
    return options * static_cast<uint64_t>(doc.installableCount) * static_cast<uint64_t>(doc.constraintCount) + 1;
}

constexpr uint64_t kStepBudget = 100'000;

// Keyword and option pairs as the input spells them: every token that
// begins with '*' and the token after it, one byte per unit.
std::vector<std::pair<std::u16string, std::u16string>> KeywordPairs(std::string_view ppd, size_t limit) {
    std::vector<std::u16string> tokens;
    std::u16string token;
    for (size_t i = 0; i <= ppd.size() && tokens.size() < 4 * limit; ++i) {
        const unsigned char b = i < ppd.size() ? ppd[i] : ' ';
        if (b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == ':' || b == '"' || b == '/' || b == 0) {
            if (!token.empty()) tokens.push_back(token);
            token.clear();
        } else if (token.size() < 300) {
            token.push_back(b);
        }
    }
    std::vector<std::pair<std::u16string, std::u16string>> pairs;
    for (size_t i = 0; i + 1 < tokens.size() && pairs.size() < limit; ++i)
        if (tokens[i][0] == u'*') pairs.emplace_back(tokens[i], tokens[i + 1]);
    return pairs;
}

std::vector<std::u16string> CurrentOptions(const PpdDocument& doc) {
    std::vector<std::u16string> current;
    for (int32_t i = 0; i < doc.installableCount; ++i) current.emplace_back(doc.installables[i]->currentOption.text);
    return current;
}

void SetAndCheck(PpdDocument& doc, const std::u16string& feature, const std::u16string& option, bool reevaluate) {
    const std::vector<std::u16string> before = CurrentOptions(doc);
    const std::vector<uint8_t> flagsBefore = ppdtest::ConstrainedFlags(doc);
    doc.SetInstallableOption(feature.c_str(), option.c_str(), reevaluate);

    int32_t target = -1;
    for (int32_t i = 0; i < doc.installableCount && target < 0; ++i)
        if (doc.installables[i]->keyword.Equals(feature.c_str())) target = i;
    const std::vector<std::u16string> after = CurrentOptions(doc);
    for (int32_t i = 0; i < doc.installableCount; ++i) {
        CheckString(doc.installables[i]->currentOption);
        if (i != target) FUZZ_CHECK(after[i] == before[i]);
    }
    if (target >= 0) {
        PpdString expected;
        expected.Assign(option.c_str());
        FUZZ_CHECK(doc.installables[target]->currentOption.SameAs(expected));
    }
    if (reevaluate)
        FUZZ_CHECK(ppdtest::ConstrainedFlags(doc) == ExpectedFlags(doc, flagsBefore));
    else
        FUZZ_CHECK(ppdtest::ConstrainedFlags(doc) == flagsBefore);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader input(data, size);
    const uint8_t flags = input.Byte();
    const long ordinal = input.Word();
    const std::string ppd = input.Rest();

    platform::portable::SetAnsiCodePage(flags & 1 ? 932 : 1252);
    const bool inject = (flags & 2) && ordinal > 0;
    const long liveBefore = platform::portable::LiveAllocations();
    if (inject) platform::portable::FailAllocation(ordinal, (flags & 4) != 0);
    PpdDocument* doc = ppdtest::Parse(ppd);
    platform::portable::FailAllocation(0);

    if (!doc) {
        // Only the document's own record can fail that way, and it is the first.
        FUZZ_CHECK(inject && ordinal == 1);
    } else {
        // What the build left allocated is the model: the token buffer and the stream are gone.
        FUZZ_CHECK(platform::portable::LiveAllocations() - liveBefore == ppdtest::ModelBlocks(*doc));
        CheckStructure(*doc, ppd);
        // Each evaluation below is checked against the rules worked out again.
        const uint64_t steps = EvaluationSteps(*doc);
        int evaluations = static_cast<int>(kStepBudget / steps / 2);
        if (evaluations > 12) evaluations = 12;
        if (evaluations > 0) FUZZ_CHECK(ppdtest::ConstrainedFlags(*doc) == ExpectedFlags(*doc, std::vector<uint8_t>(ppdtest::ConstrainedFlags(*doc).size(), 0)));

        bool reevaluate = false;
        for (const auto& [feature, option] : KeywordPairs(ppd, 8)) {
            SetAndCheck(*doc, feature, option, reevaluate && evaluations > 0);
            if (reevaluate) --evaluations;
            reevaluate = !reevaluate;
        }
        // The installable options' own features set to each of their options.
        for (int32_t f = 0; f < doc->featureCount && evaluations > 0; ++f) {
            const PpdFeature& feature = *doc->features[f];
            if (!feature.group.Equals(kInstallableGroup)) continue;
            for (int32_t o = 0; o < feature.optionCount && evaluations > 0; ++o, --evaluations)
                SetAndCheck(*doc, feature.keyword.text, feature.options[o]->keyword.text, true);
        }
        SetAndCheck(*doc, u"", u"", false);
        // Null arguments change nothing.
        const std::vector<std::u16string> current = CurrentOptions(*doc);
        doc->SetInstallableOption(nullptr, u"x", false);
        if (doc->installableCount > 0) doc->SetInstallableOption(doc->installables[0]->keyword.text, nullptr, false);
        FUZZ_CHECK(CurrentOptions(*doc) == current);

        const std::vector<uint8_t> before = ppdtest::ConstrainedFlags(*doc);
        doc->EvaluateConstraints();
        if (steps < kStepBudget) FUZZ_CHECK(ppdtest::ConstrainedFlags(*doc) == ExpectedFlags(*doc, before));
        CheckStructure(*doc, ppd);
        delete doc;
    }
    platform::portable::SetAnsiCodePage(1252);
    return 0;
}
