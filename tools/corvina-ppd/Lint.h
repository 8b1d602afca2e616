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

// What a finding costs the file's users: an error when the plug-in's reading
// of the file differs from its text (it loses or misreads what the file
// says); a warning when the plug-in reads the text as written but its rules
// give it another effect than its author may expect; a note when the rule
// lies outside what the plug-in does. `make package` refuses a PPD with an
// error.
// Heaviest first, so that a lighter severity compares greater.
enum class LintSeverity { Error, Warning, Note };
inline constexpr int kLintSeverityCount = 3;

constexpr LintSeverity LintClassSeverity(LintClass kind) {
    // One case per class, each with its reason: equal neighbours are a table, not a slip.
    // NOLINTBEGIN(bugprone-branch-clone)
    switch (kind) {
        // The entry takes the next line's tokens: a rule the file does not hold.
        case LintClass::ConstraintShort: return LintSeverity::Error;
        // A short entry above swallowed its keyword: the rule is lost.
        case LintClass::ConstraintLost: return LintSeverity::Error;
        // Everything after the point is lost.
        case LintClass::ParseEnd: return LintSeverity::Error;
        // What lies between the block and the *CloseUI it runs on to is lost.
        case LintClass::BlockUnclosed: return LintSeverity::Error;
        // A feature, entry or option line the file has is lost.
        case LintClass::NotRead: return LintSeverity::Error;
        // Another keyword is read than the one written.
        case LintClass::TranslationSlash: return LintSeverity::Error;
        // Another translation is read than the one written, so the item never gets its mark.
        case LintClass::TranslationBracket: return LintSeverity::Error;
        // Read as written, but the plug-in marks only from the installable side: the rule marks nothing.
        case LintClass::ConstraintDirection: return LintSeverity::Warning;
        // Read as written, but it names nothing the file declares: the rule holds nowhere.
        case LintClass::ConstraintUndeclared: return LintSeverity::Warning;
        // Read as written, but a later installable feature decides the same marks.
        case LintClass::ConstraintOverridden: return LintSeverity::Warning;
        // The default is kept as written, and is not one of the options.
        case LintClass::DefaultUnknown: return LintSeverity::Warning;
        // The default is kept as written: empty.
        case LintClass::DefaultEmpty: return LintSeverity::Warning;
        // No current option until the driver reports one: the feature's rules wait for it.
        case LintClass::DefaultMissing: return LintSeverity::Warning;
        // The first of two like translations decides the marks of both.
        case LintClass::OptionTranslation: return LintSeverity::Warning;
        // The first of two like translations decides the marks of both.
        case LintClass::FeatureTranslation: return LintSeverity::Warning;
        // A hazard for the next edit; what it already loses is a not-read of its own.
        case LintClass::TranslationQuote: return LintSeverity::Warning;
        // Rules between two ordinary features are the driver's, not the plug-in's.
        case LintClass::ConstraintOrdinary: return LintSeverity::Note;
        // Rules between two installable features are the driver's, not the plug-in's.
        case LintClass::ConstraintInstallable: return LintSeverity::Note;
        // A printer without every feature of the table is the common case.
        case LintClass::TableMissing: return LintSeverity::Note;
        // The plug-in marks only the features of its table; the driver still applies the rule.
        case LintClass::FeatureUnknown: return LintSeverity::Note;
    }
    // NOLINTEND(bugprone-branch-clone)
    return LintSeverity::Error;
}

// "error", "warning" or "note".
constexpr const char* LintSeverityName(LintSeverity severity) {
    switch (severity) {
        case LintSeverity::Error: return "error";
        case LintSeverity::Warning: return "warning";
        case LintSeverity::Note: return "note";
    }
    return "error";
}

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
};

// The plug-in's model of the bytes of a PPD file under the current ANSI code
// page, with the report of its parse when one is given; null without memory.
UniquePpdDocument BuildModel(std::string_view bytes, PpdParseReport* report);

// Lints the bytes of a PPD file as the plug-in reads them under the current
// ANSI code page: the model decides, a scan of the same bytes gives lines.
LintResult LintPpd(std::string_view bytes);
