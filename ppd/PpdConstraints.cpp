#include "ppd/PpdDocument.h"

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

// Every installable option is tried in turn and each rule it has for the
// feature overwrites the flag, so the last one paired with the feature decides.
void PpdDocument::EvaluateConstraints() {
    for (int32_t f = 0; f < featureCount; ++f) {
        const PpdFeature& feature = *features[f];
        if (feature.group.Equals(u"InstallableOptions")) continue;
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
