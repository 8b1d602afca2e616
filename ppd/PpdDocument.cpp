#include "ppd/PpdDocument.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/Runtime.h"
#include "ppd/PpdParseReport.h"

namespace {

// The raw token with its NUL; quoted tokens may hold NUL units, so the
// length decides, not the first NUL.
char16_t* CopyHeapText(const char16_t* token, int32_t length) {
    auto* copy = static_cast<char16_t*>(
        platform::MemAlloc((static_cast<size_t>(length) + 1) * sizeof(char16_t)));
    if (copy) std::memcpy(copy, token, (static_cast<size_t>(length) + 1) * sizeof(char16_t));
    return copy;
}

bool StartsWith(const char16_t* text, const char16_t* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (*text != *prefix) return false;
    return true;
}

bool IsCSpace(char16_t u) { return u == ' ' || (u >= '\t' && u <= '\r'); }

int HexDigit(char16_t u) {
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

// wcstol(text, nullptr, 16) of the two-unit text first, second: leading
// white space and a sign are accepted, the first non-digit ends the number.
long HexPairValue(char16_t first, char16_t second) {
    const char16_t text[3] = {first, second, 0};
    const char16_t* p = text;
    while (IsCSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long value = 0;
    for (int d; (d = HexDigit(*p)) >= 0; ++p) value = value * 16 + d;
    return negative ? -value : value;
}

// _wtoi: leading white space, a sign, decimal digits; out of range clamps.
int32_t WideToInt(const char16_t* text) {
    while (IsCSpace(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;
    }
    if (negative) return static_cast<int32_t>(-value);
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

}  // namespace

// ---- PpdString -----------------------------------------------------------

PpdString::~PpdString() = default;

void PpdString::Assign(const char16_t* source) {
    if (!source) {
        Clear();
        return;
    }
    int32_t written = ConvertToWide(source, text, kPpdStringCapacity);
    if (written < 0) {
        AssignLongestPrefix(source);
        return;
    }
    text[written] = 0;
    length = written;
}

// The whole conversion, cut to the 259 units that fit; a surrogate pair is
// never split. Without memory the string comes out empty, as in Assign.
void PpdString::AssignLongestPrefix(const char16_t* source) {
    Clear();
    size_t n = 0;
    while (source[n]) ++n;
    const platform::UniqueMem<char> bytes(static_cast<char*>(platform::MemAlloc(n + 1)));
    if (!bytes) return;
    for (size_t k = 0; k < n; ++k) bytes.get()[k] = static_cast<char>(source[k] & 0xFF);
    bytes.get()[n] = 0;
    int needed = platform::AnsiToWide(bytes.get(), nullptr, 0);
    const platform::UniqueMem<char16_t> wide(
        needed > 0 ? static_cast<char16_t*>(platform::MemAlloc(static_cast<size_t>(needed) * sizeof(char16_t)))
                   : nullptr);
    if (wide && platform::AnsiToWide(bytes.get(), wide.get(), needed) == needed) {
        int32_t keep = needed - 1 < kPpdStringCapacity - 1 ? needed - 1 : kPpdStringCapacity - 1;
        if (keep < needed - 1 && keep > 0 && wide.get()[keep - 1] >= 0xD800 && wide.get()[keep - 1] <= 0xDBFF)
            --keep;
        std::memcpy(text, wide.get(), static_cast<size_t>(keep) * sizeof(char16_t));
        text[keep] = 0;
        length = keep;
    }
}

void PpdString::CopyFrom(const PpdString& other) {
    length = other.length;
    std::memcpy(text, other.text, sizeof text);
}

void PpdString::Clear() {
    length = 0;
    text[0] = 0;
}

// ---- Records -------------------------------------------------------------

PpdOption::~PpdOption() { platform::MemFree(invocation); }

PpdFeature::~PpdFeature() {
    platform::MemFree(queryCode);
    options.DeleteRecords(optionCount);
}

PpdInstallableOption::~PpdInstallableOption() = default;

bool PpdSourceSpans::Add(const PpdSourceSpan& span) {
    if ((!spans_ && !spans_.Allocate(capacity_)) || !spans_.MakeRoom(count_, capacity_)) return false;
    PpdSourceSpan* copy = new PpdSourceSpan(span);
    if (copy) spans_[count_++] = copy;
    return copy != nullptr;
}

// ---- Document --------------------------------------------------------------

// The parse is written once for both states, so that the plug-in's, which
// takes and notes no places, costs what a parse without reports would.
struct PpdDocument::ParseState {
    bool Stop(PpdParseEnd why) {
        end = why;
        return false;
    }
    struct NoPlace {};
    static NoPlace Place() { return {}; }
    static bool Note(PpdSourceSpans PpdParseReport::*, NoPlace) { return true; }

    PpdString groupKeyword;
    PpdString groupTranslation;
    int32_t featureCapacity = 32;
    int32_t installableCapacity = 32;
    int32_t constraintCapacity = 512;
    PpdParseEnd end = PpdParseEnd::Complete;
};

struct PpdDocument::ReportingState : ParseState {
    explicit ReportingState(const PpdPlaceCounter& places) : places(places) {}

    PpdSourceSpan Place() const { return places.token; }
    // Notes where the entry about to be counted stands, up to the byte read
    // last; false when the report has no memory for it.
    bool Note(PpdSourceSpans PpdParseReport::*spans, PpdSourceSpan place) {
        place.end = places.offset;
        return (places.report->*spans).Add(place) || Stop(PpdParseEnd::OutOfMemory);
    }

    const PpdPlaceCounter& places;
};

// The token buffer (2 MB), the byte stream and the reader's block are given
// back before the constraint pass, which wants memory of its own; a huge
// file may have left little else.
PpdDocument::PpdDocument(PpdReadByteProc readByte, void* source, PpdParseReport* report) {
    PpdPlaceCounter places{readByte, source, report};
    if (report)
        Read(PpdReadCountedByte, &places, &places);
    else
        Read(readByte, source, nullptr);
    EvaluateConstraints();
}

void PpdDocument::Read(PpdReadByteProc readByte, void* source, const PpdPlaceCounter* places) {
    const platform::UniqueMem<char16_t> buffer(static_cast<char16_t*>(
        platform::MemAlloc((static_cast<size_t>(kPpdTokenCapacity) + 1) * sizeof(char16_t))));
    // The plug-in's own read-byte function is read a block at a time.
    PpdFileReader reader(static_cast<FILE*>(source));
    const UniqueRecord<PpdByteStream> byteStream(readByte == PpdReadFileByte && source
                                                     ? new PpdByteStream(PpdReadBufferedByte, &reader)
                                                     : new PpdByteStream(readByte, source));
    lineBuffer = buffer.get();
    stream = byteStream.get();
    if (lineBuffer && stream) Parse(places);
    lineBuffer = nullptr;
    stream = nullptr;
}

PpdDocument::~PpdDocument() {
    features.DeleteRecords(featureCount);
    constraints.DeleteRecords(constraintCount);
    installables.DeleteRecords(installableCount);
}

PpdFeature* PpdDocument::GetFeature(int32_t index) const {
    return index >= 0 && index < featureCount ? features[index] : nullptr;
}

// A report keeps saying OutOfMemory when the arrays cannot be had.
void PpdDocument::Parse(const PpdPlaceCounter* places) {
    features.Allocate(32);
    installables.Allocate(32);
    constraints.Allocate(512);
    if (!features || !installables || !constraints) return;

    if (!places) {
        ParseState state;
        ParseEntries(state);
        return;
    }
    ReportingState state(*places);
    ParseEntries(state);
    places->report->end = state.end;
    places->report->last = places->token;
}

void PpdDocument::ParseEntries(auto& state) {
    int32_t length;
    for (bool goOn = true; goOn && ReadPlainToken(&length);) {
        const PpdKeywordId id = ClassifyKeyword(lineBuffer);
        switch (id) {
            case kwModelName: goOn = ReadString(modelName); break;
            case kwProduct: goOn = ReadString(product); break;
            case kwManufacturer: goOn = ReadString(manufacturer); break;
            case kwLanguageEncoding: goOn = ReadString(languageEncoding); break;
            case kwLanguageVersion: goOn = ReadString(languageVersion); break;
            case kwOpenGroup:
                state.groupKeyword.Clear();
                state.groupTranslation.Clear();
                goOn = ReadKeywordAndTranslation(state.groupKeyword, state.groupTranslation);
                break;
            case kwCloseGroup:
                // The group named after it comes next as an ordinary token.
                state.groupKeyword.Clear();
                state.groupTranslation.Clear();
                break;
            case kwOpenUI: goOn = AddFeature(state); break;
            case kwUIConstraints: goOn = AddConstraint(state); break;
            default: break;  // every other keyword, and values, are passed over
        }
        // What stopped without a reason of its own met the end of input.
        if (!goOn && state.end == PpdParseEnd::Complete)
            state.end = id == kwOpenUI ? PpdParseEnd::InputEndsInBlock : PpdParseEnd::InputEndsInEntry;
    }
}

bool PpdDocument::AddFeature(auto& state) {
    const auto open = state.Place();
    if (!features.MakeRoom(featureCount, state.featureCapacity)) return state.Stop(PpdParseEnd::OutOfMemory);
    UniqueRecord<PpdFeature> feature(new PpdFeature);
    if (!feature) return state.Stop(PpdParseEnd::OutOfMemory);
    feature->group.CopyFrom(state.groupKeyword);
    feature->groupTranslation.CopyFrom(state.groupTranslation);

    bool complete = ParseFeatureBlock(*feature.get(), state);
    UniqueRecord<PpdInstallableOption> installable;
    if (complete && state.groupKeyword.Equals(kInstallableGroup)) {
        // Without its installable option the feature is not counted either.
        if (!installables.MakeRoom(installableCount, state.installableCapacity))
            return state.Stop(PpdParseEnd::OutOfMemory);
        installable.reset(new PpdInstallableOption);
        if (!installable) return state.Stop(PpdParseEnd::OutOfMemory);
        installable->keyword.CopyFrom(feature->keyword);
        installable->currentOption.CopyFrom(feature->defaultOption);
    }
    if (!state.Note(&PpdParseReport::features, open)) return false;
    if (installable) installables[installableCount++] = installable.release();
    features[featureCount++] = feature.release();
    return complete;
}

bool PpdDocument::AddConstraint(auto& state) {
    const auto entry = state.Place();
    if (!constraints.MakeRoom(constraintCount, state.constraintCapacity))
        return state.Stop(PpdParseEnd::OutOfMemory);
    UniqueRecord<PpdConstraint> constraint(new PpdConstraint);
    if (!constraint) return state.Stop(PpdParseEnd::OutOfMemory);
    // Counted whatever the read gives: a short entry at the end keeps what it read.
    bool complete = ReadConstraint(*constraint.get());
    if (!state.Note(&PpdParseReport::constraints, entry)) return false;
    constraints[constraintCount++] = constraint.release();
    return complete;
}

// True only when the block ended with *CloseUI and the token after it.
bool PpdDocument::ParseFeatureBlock(PpdFeature& feature, auto& state) {
    int32_t optionCapacity = 64;
    if (!feature.options.Allocate(optionCapacity)) return state.Stop(PpdParseEnd::OutOfMemory);

    if (!ReadKeywordAndTranslation(feature.keyword, feature.translation)) return false;
    PpdString type;
    if (!ReadString(type)) return false;
    feature.uiType = type.Equals(u"PickMany") ? uiPickMany : type.Equals(u"Boolean") ? uiBoolean : uiPickOne;

    for (;;) {
        int32_t length;
        if (!ReadPlainToken(&length)) return false;
        PpdKeywordId id = ClassifyKeyword(lineBuffer);
        if (id == kwCloseUI) return ReadPlainToken(&length);
        if (StartsWith(lineBuffer, u"*Default")) {
            // At end of input the next read ends the block.
            ReadString(feature.defaultOption);
        } else if (id == kwOrderDependency) {
            if (!ReadPlainToken(&length)) return false;
            feature.orderDependency = WideToInt(lineBuffer);
            // The section and the keyword that follow are not kept.
            if (!ReadPlainToken(&length) || !ReadPlainToken(&length)) return false;
        } else if (StartsWith(lineBuffer, u"*?")) {
            if (feature.queryCode) return state.Stop(PpdParseEnd::SecondQuery);
            if (!ReadPlainToken(&length)) return false;
            feature.queryCode = CopyHeapText(lineBuffer, length);
            if (!feature.queryCode) return state.Stop(PpdParseEnd::OutOfMemory);
        } else if (feature.keyword.Equals(lineBuffer)) {
            if (!ParseOption(feature, optionCapacity, state)) return false;
        }
    }
}

bool PpdDocument::ParseOption(PpdFeature& feature, int32_t& optionCapacity, auto& state) {
    const auto line = state.Place();
    if (!feature.options.MakeRoom(feature.optionCount, optionCapacity)) return state.Stop(PpdParseEnd::OutOfMemory);
    UniqueRecord<PpdOption> option(new PpdOption);
    if (!option) return state.Stop(PpdParseEnd::OutOfMemory);
    int32_t length;
    // Cut short by the end of input, it is kept without its value.
    const bool whole = ReadKeywordAndTranslation(option->keyword, option->translation) && ReadPlainToken(&length);
    if (whole) {
        option->invocation = CopyHeapText(lineBuffer, length);
        if (!option->invocation) return state.Stop(PpdParseEnd::OutOfMemory);
    }
    if (!state.Note(&PpdParseReport::options, line)) return false;
    feature.options[feature.optionCount++] = option.release();
    return whole;
}

bool PpdDocument::ReadPlainToken(int32_t* length) {
    return ReadToken(*stream, lineBuffer, kPpdTokenCapacity, length, false);
}

bool PpdDocument::ReadString(PpdString& target) {
    int32_t length;
    if (!ReadPlainToken(&length)) return false;
    target.Assign(lineBuffer);
    return true;
}

// 'Keyword/Translation' with '<hex>' substrings; every '/' makes the text
// collected so far the keyword, and what follows the last one the
// translation. A piece longer than 259 units keeps its first 259.
bool PpdDocument::ReadKeywordAndTranslation(PpdString& keyword, PpdString& translation) {
    int32_t length;
    if (!ReadToken(*stream, lineBuffer, kPpdTokenCapacity, &length, true)) return false;

    char16_t piece[kPpdStringCapacity];
    int32_t n = 0;
    auto append = [&](char16_t unit) {
        if (n < kPpdStringCapacity - 1) piece[n++] = unit;
    };
    bool hex = false;
    bool half = false;
    char16_t firstDigit = 0;
    for (int32_t i = 0; i < length; ++i) {
        char16_t unit = lineBuffer[i];
        if (unit == '/') {
            piece[n] = 0;
            keyword.Assign(piece);
            n = 0;
        } else if (unit == '<') {
            hex = true;
            half = false;
        } else if (unit == '>') {
            hex = false;
        } else if (!hex) {
            append(unit);
        } else if (!half) {
            firstDigit = unit;
            half = true;
        } else {
            append(static_cast<char16_t>(HexPairValue(firstDigit, unit)));
            half = false;
        }
    }
    piece[n] = 0;
    if (keyword.length == 0) keyword.Assign(piece);
    translation.Assign(piece[0] == '*' ? piece + 1 : piece);
    return true;
}

bool PpdDocument::ReadConstraint(PpdConstraint& constraint) {
    return ReadString(constraint.feature1) && ReadString(constraint.option1) &&
           ReadString(constraint.feature2) && ReadString(constraint.option2);
}
