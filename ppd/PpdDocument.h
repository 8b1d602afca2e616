// The plug-in's model of a PPD file: header strings, the features declared
// between *OpenUI and *CloseUI with their options, the installable options of
// the group "InstallableOptions", and the *UIConstraints entries.
//
// Records come from the platform's malloc: `new PpdDocument(...)` gives null
// when memory is exhausted and never throws. The document owns every record
// it counts; a record being built has an owner of its own until it is
// counted, and the document as a whole is held by a UniquePpdDocument.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/UniqueAny.h"
#include "ppd/PpdAllocated.h"
#include "ppd/PpdReader.h"
#include "ppd/PpdRecordArray.h"

constexpr int32_t kPpdStringCapacity = 260;

// The group whose features are the printer's installed hardware.
constexpr char16_t kInstallableGroup[] = u"InstallableOptions";

// Fixed-capacity wide string: at most 259 units and the NUL.
class PpdString {
public:
    // Only the NUL: the units after it are never read, and leaving them
    // unwritten spares every record a pass over its 520-byte texts.
    PpdString() { text[0] = 0; }
    virtual ~PpdString();
    PpdString(const PpdString&) = delete;
    PpdString& operator=(const PpdString&) = delete;

    // text holds one byte per unit; converted through the ANSI code page. A
    // conversion longer than 259 units keeps its longest prefix that fits.
    void Assign(const char16_t* text);
    void CopyFrom(const PpdString& other);
    // Exact unit-for-unit comparison with text; false for null.
    bool Equals(const char16_t* other) const {
        if (!other) return false;
        for (int32_t i = 0;; ++i) {
            if (text[i] != other[i]) return false;
            if (text[i] == 0) return true;
        }
    }
    // The constraint pass calls this most, so the lengths decide first.
    bool SameAs(const PpdString& other) const { return length == other.length && Equals(other.text); }
    void Clear();

    int32_t length = 0;
    char16_t text[kPpdStringCapacity];

private:
    void AssignLongestPrefix(const char16_t* source);
};

enum PpdUiType : int32_t { uiPickOne = 1, uiPickMany = 2, uiBoolean = 3 };

struct PpdOption : PpdAllocated {
    ~PpdOption();

    PpdString keyword;
    PpdString translation;
    char16_t* invocation = nullptr;  // raw bytes of the value, one per unit
    uint8_t constrained = 0;
};

struct PpdFeature : PpdAllocated {
    ~PpdFeature();

    PpdString keyword;
    PpdString translation;
    PpdString defaultOption;
    PpdString group;
    PpdString groupTranslation;
    char16_t* queryCode = nullptr;  // raw bytes, one per unit
    int32_t uiType = uiPickOne;
    int32_t orderDependency = 0;
    int32_t optionCount = 0;
    PpdRecordArray<PpdOption> options;
};

class PpdInstallableOption : public PpdAllocated {
public:
    PpdInstallableOption() = default;
    virtual ~PpdInstallableOption();

    PpdString keyword;
    PpdString currentOption;
};

struct PpdConstraint : PpdAllocated {
    PpdString feature1;
    PpdString option1;
    PpdString feature2;
    PpdString option2;
};

enum ConstraintResult : int32_t { crNoRule = 0, crConflict = 1, crClear = 2 };

class PpdDocument : public PpdAllocated {
public:
    // Parses the whole input; never fails as a whole: whatever was read
    // before a fault stays. The source is neither closed nor kept. With a
    // report, the parse notes in it how it ended and where what it kept
    // stands, reading the input a byte at a time to count lines.
    PpdDocument(PpdReadByteProc readByte, void* source, PpdParseReport* report = nullptr);
    virtual ~PpdDocument();
    PpdDocument(const PpdDocument&) = delete;
    PpdDocument& operator=(const PpdDocument&) = delete;

    PpdFeature* GetFeature(int32_t index) const;

    // Sets the current option of the installable feature whose keyword is
    // exactly featureKeyword (with its '*'); unknown keywords change nothing.
    void SetInstallableOption(const char16_t* featureKeyword, const char16_t* optionKeyword,
                              bool reevaluate);
    // Recomputes `constrained` of every option of every ordinary feature,
    // over one heap block that holds the whole model; without the block, in
    // pieces of kConstraintScratchWords of stack.
    void EvaluateConstraints();
    // The same pass over `words` of `scratch` (at least
    // kConstraintScratchWordsAtLeast, or what the whole model needs), in
    // pieces that fit it: each piece of features and their options walks the
    // rules once per run of installable options. A model that fits is one
    // piece and one run.
    void EvaluateConstraintsInPieces(uint32_t* scratch, size_t words);
    static constexpr size_t kConstraintScratchWords = 8192;
    static constexpr size_t kConstraintScratchWordsAtLeast = 20;
    // What the rules say of `option` under one installable option's value:
    // the pass's flags are those of trying every installable option in turn.
    ConstraintResult TestConstraint(const PpdString& installableKeyword,
                                    const PpdString& currentOption, const PpdFeature& feature,
                                    const PpdOption& option) const;

    int32_t featureCount = 0;
    int32_t constraintCount = 0;
    PpdRecordArray<PpdFeature> features;
    PpdRecordArray<PpdConstraint> constraints;
    PpdString modelName;
    PpdString product;
    PpdString manufacturer;
    PpdString languageEncoding;
    PpdString languageVersion;
    int32_t installableCount = 0;
    PpdRecordArray<PpdInstallableOption> installables;
    // Slots probed and records visited by the last EvaluateConstraints or
    // EvaluateConstraintsInPieces: tests hold the passes to bounds by it.
    int64_t constraintPassWork = 0;

private:
    struct ParseState;
    struct ReportingState;

    // The token buffer and the byte stream, while Read reads; their owners
    // are Read's, and they are null afterwards.
    char16_t* lineBuffer = nullptr;
    PpdByteStream* stream = nullptr;

    // `places` only for a report: the source is then read through it.
    void Read(PpdReadByteProc readByte, void* source, const PpdPlaceCounter* places);
    void EvaluateConstraintsOnStack();
    void Parse(const PpdPlaceCounter* places);
    // On a ParseState, or a ReportingState for a report.
    void ParseEntries(auto& state);
    bool AddFeature(auto& state);
    bool AddConstraint(auto& state);
    bool ParseFeatureBlock(PpdFeature& feature, auto& state);
    bool ParseOption(PpdFeature& feature, int32_t& optionCapacity, auto& state);

    bool ReadPlainToken(int32_t* length);
    bool ReadString(PpdString& target);
    bool ReadKeywordAndTranslation(PpdString& keyword, PpdString& translation);
    bool ReadConstraint(PpdConstraint& constraint);
};

// The model's records are freed with `delete` (PpdAllocated's), each with
// what it owns.
template <typename T>
void DeleteRecord(T* record) {
    delete record;
}

template <typename T>
using UniqueRecord = platform::UniqueAny<T*, &DeleteRecord<T>>;
using UniquePpdDocument = UniqueRecord<PpdDocument>;
