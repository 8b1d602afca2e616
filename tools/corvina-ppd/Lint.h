// corvina-ppd --lint: where a PPD file and the plug-in's reading of it part
// ways, each finding with its line and a one-line reason for the PPD author.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ppd/PpdDocument.h"

enum class LintClass {
    ConstraintDirection,    // ordinary feature first, installable second, and no installable-first twin
    ConstraintOrdinary,     // both features ordinary
    ConstraintInstallable,  // both features installable
    ConstraintUndeclared,   // names a feature or option the plug-in never read
    ConstraintShort,        // fewer than four tokens: the next line's first ones are taken
    ConstraintLost,         // its *UIConstraints keyword was taken by a short entry before it
    ConstraintOverridden,   // a later installable feature decides the same feature's marks
    DefaultUnknown,         // default not among the feature's options
    DefaultEmpty,           // *Default line whose value is empty
    DefaultMissing,         // installable feature without a default in its block
    ParseEnd,               // the plug-in stops reading the file here
    BlockUnclosed,          // block without *CloseUI that swallows what follows up to a later one
    NotRead,                // a feature or constraint entry the plug-in does not read
    OptionTranslation,      // two options of one feature with one translation
    FeatureTranslation,     // two features with one translation
    TranslationSlash,       // a '/' in a translation: the model reads another keyword
    TableMissing,           // a feature of the feature name table that the file lacks
    FeatureUnknown,         // a constrained feature the feature name table does not know
    TranslationBracket,     // a '>' outside a hex string: left out, the translation no longer matches the driver's
    TranslationQuote,       // a '"' in the translation of a line passed over opens a value over the next lines
};
inline constexpr int kLintClassCount = 20;

// The name shown in text and JSON output, as "constraint-direction".
const char* LintClassName(LintClass kind);

struct LintFinding {
    int line;            // 1-based; 0 for the file as a whole
    LintClass kind;
    std::string reason;  // UTF-8, one line
};

struct LintResult {
    bool modelBuilt = false;            // false only when memory ran out
    std::vector<LintFinding> findings;  // by line, file-wide ones first
    // Features, options and constraints of the model whose line the scan did
    // not find: 0 unless the scan and the model read the file differently.
    int unplaced = 0;
    std::vector<int> optionLines;  // the lines the model read its options from, ascending
};

// The plug-in's model of the bytes of a PPD file under the current ANSI code
// page, with the report of its parse when one is given; null without memory.
UniquePpdDocument BuildModel(std::string_view bytes, PpdParseReport* report);

// Lints the bytes of a PPD file as the plug-in reads them under the current
// ANSI code page: the model decides, a scan of the same bytes gives lines.
LintResult LintPpd(std::string_view bytes);
