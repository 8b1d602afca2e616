#include "tools/corvina-ppd/Lint.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "optree/FeatureNames.h"
#include "platform/portable/Utf8.h"
#include "ppd/PpdParseReport.h"
#include "ppd/PpdReader.h"

// Every decision comes from the plug-in's own model of the file. The report
// of its parse says where each feature block and each constraint entry
// begins and ends, where each option line begins, and how and where the
// model stopped reading. The same bytes are cut into tokens by the model's
// own token reader, with the line each token begins on, and the model's
// features, options and constraints are found among those tokens at the
// places the report gives, each checked against what the model holds. What
// the lines show and the model lacks is reported as not read, with the cause
// the lines show.

namespace {

constexpr size_t kNoToken = static_cast<size_t>(-1);
// Main keywords of the feature name table that the PPD format itself defines
// for any printer; the table's other rows are the vendor's own features.
constexpr std::u16string_view kFormatKeywords[] = {u"*InputSlot", u"*Resolution", u"*MediaType",      u"*PageSize",
                                                   u"*Duplex",    u"*OutputBin",  u"*InstalledMemory"};
const char* const kClassNames[kLintClassCount] = {
    "constraint-direction", "constraint-ordinary", "constraint-installable", "constraint-undeclared",
    "constraint-short",     "constraint-lost",     "constraint-overridden",  "default-unknown",
    "default-empty",        "default-missing",     "parse-end",              "block-unclosed",
    "not-read",             "option-translation",  "feature-translation",    "translation-slash",
    "table-missing",        "feature-unknown",     "translation-bracket",    "translation-quote",
};

struct ByteSource {
    std::string_view bytes;
    size_t position = 0;
};

int ReadSourceByte(void* source) {
    auto* s = static_cast<ByteSource*>(source);
    if (s->position >= s->bytes.size()) return -1;
    return static_cast<unsigned char>(s->bytes[s->position++]);
}

// A reason stays on one line: control characters print as spaces.
std::string Utf8(std::u16string_view text) {
    std::string out = platform::ToUtf8(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return out;
}

std::string Utf8(const PpdString& s) { return Utf8(s.text); }

// A token's text as the model stores it: narrowed and converted through the
// ANSI code page by the model's own string.
std::u16string Converted(std::u16string_view units) {
    std::u16string terminated(units);
    PpdString s;
    s.Assign(terminated.c_str());
    return s.text;
}

std::string Plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

struct Token {
    size_t offset;         // first byte; the opening quote of a quoted token
    size_t end;            // the byte after the last one the token reader took for it
    int line;
    bool quoted;
    std::u16string units;  // as the token reader stores it, one byte per unit
};

// The tokens that begin on one line.
struct Entry {
    int line;
    size_t first;
    size_t count;
};

// Where the token reader's next token begins: it drops blanks and comments
// first ('%', or '*' followed by '%', to the end of the line).
size_t TokenStart(std::string_view bytes, size_t p) {
    bool comment = false;
    for (; p < bytes.size(); ++p) {
        unsigned char b = bytes[p];
        if (comment) {
            if (b == '\n' || b == '\r') comment = false;
            continue;
        }
        if (b == '%' || (b == '*' && p + 1 < bytes.size() && bytes[p + 1] == '%')) {
            comment = true;
            continue;
        }
        if (ppdCharClass[b] != ccBlank) break;
    }
    return p;
}

class Scan {
public:
    explicit Scan(std::string_view bytes) : bytes(bytes) {
        lineStarts_.push_back(0);
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')))
                lineStarts_.push_back(i + 1);
        }
        ByteSource source{bytes};
        PpdByteStream stream(ReadSourceByte, &source);
        std::vector<char16_t> buffer(kPpdTokenCapacity + 1);
        for (;;) {
            size_t start = TokenStart(bytes, source.position);
            int32_t length = 0;
            if (!ReadToken(stream, buffer.data(), kPpdTokenCapacity, &length, false)) break;
            Token token{start, source.position, LineOf(start), start < bytes.size() && bytes[start] == '"',
                        std::u16string(buffer.data(), static_cast<size_t>(length))};
            if (entries.empty() || entries.back().line != token.line)
                entries.push_back({token.line, tokens.size(), 0});
            ++entries.back().count;
            entryOfToken.push_back(entries.size() - 1);
            tokens.push_back(std::move(token));
        }
    }

    int LineOf(size_t offset) const {
        return static_cast<int>(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin());
    }

    // The bytes of a line (1-based), without its end.
    std::string_view LineText(int line) const {
        size_t start = lineStarts_[line - 1];
        size_t end = static_cast<size_t>(line) < lineStarts_.size() ? lineStarts_[line] : bytes.size();
        while (end > start && (bytes[end - 1] == '\n' || bytes[end - 1] == '\r')) --end;
        return bytes.substr(start, end - start);
    }

    std::string_view bytes;
    std::vector<Token> tokens;
    std::vector<Entry> entries;
    std::vector<size_t> entryOfToken;

private:
    std::vector<size_t> lineStarts_;
};

// The keyword as a PPD author reads it: up to the first '/'.
std::u16string_view KeywordPart(std::u16string_view units) { return units.substr(0, units.find(u'/')); }

struct KeywordAndTranslation {
    std::u16string keyword;
    std::u16string translation;
    std::string label;  // the bytes they were read from
    size_t end = 0;     // read from a file: the byte after the one that ended the label
};

// The keyword and translation the model makes of a keyword/translation
// label, '/' and hex pieces included: the label is handed to a model of its
// own.
KeywordAndTranslation ReadLabel(std::string label) {
    std::string text = "*OpenUI " + label + ":\n";
    ByteSource mini{text};
    PpdDocument doc(ReadSourceByte, &mini);
    if (doc.featureCount == 0) return {};
    return {doc.GetFeature(0)->keyword.text, doc.GetFeature(0)->translation.text, std::move(label)};
}

// The same of the keyword token at `offset` (after *OpenUI or *OpenGroup, or
// an option's), read with blanks as the model reads it.
KeywordAndTranslation ReadAsModel(std::string_view bytes, size_t offset, std::vector<char16_t>& buffer) {
    ByteSource source{bytes, offset};
    PpdByteStream stream(ReadSourceByte, &source);
    int32_t length = 0;
    ReadToken(stream, buffer.data(), kPpdTokenCapacity, &length, true);
    std::string label;
    for (int32_t i = 0; i < length; ++i) label.push_back(static_cast<char>(buffer[i]));
    KeywordAndTranslation reading = ReadLabel(std::move(label));
    reading.end = source.position;
    return reading;
}

// One model feature as found among the tokens.
struct FeaturePlace {
    size_t openToken = kNoToken;   // its *OpenUI
    size_t endOffset = 0;          // the model's block takes the tokens before this byte
    size_t closeToken = kNoToken;  // the *CloseUI that ended the block; none when it ended the parse
    size_t defaultEntry = kNoToken;
    std::vector<size_t> queryEntries;
    std::vector<int> optionLines;  // per model option; 0 when not found
};

struct ConstraintPlace {
    size_t token = kNoToken;  // its *UIConstraints
    bool shortEntry = false;  // it took a token that begins another keyword line
};

// Why a line that the scan sees is missing from the model.
struct LossCause {
    enum Kind { None, TakenByShort, AfterParseEnd, InsideBlock } kind = None;
    int line = 0;      // the short entry, or the line where the parse ends
    int feature = -1;  // the block it lies in
};

// Keyword tokens the model did not read, in file order.
struct LostTokens {
    std::vector<size_t> tokens;
    std::vector<size_t> untakenBefore{0};  // per token and one past the last: those before it no short entry took

    void Add(size_t token, bool taken) {
        tokens.push_back(token);
        untakenBefore.push_back(untakenBefore.back() + !taken);
    }
    // Those after `from` up to `to` that no short entry took.
    size_t UntakenIn(size_t from, size_t to) const {
        size_t first = std::upper_bound(tokens.begin(), tokens.end(), from) - tokens.begin();
        size_t last = std::upper_bound(tokens.begin(), tokens.end(), to) - tokens.begin();
        return last > first ? untakenBefore[last] - untakenBefore[first] : 0;
    }
};

class Linter {
public:
    Linter(const Scan& scan, const PpdDocument& doc, const PpdParseReport& report)
        : scan_(scan), doc_(doc), report_(report) {}

    LintResult Run() {
        IndexModel();
        PlaceConstraints();
        PlaceFeatures();
        FindRunOns();
        FindParseEnd();
        CheckGroups();
        CollectLost();
        ReportBlocks();
        ReportLostLines();
        ReportQuotedValues();
        ReportConstraints();
        ReportOverrides();
        ReportDefaults();
        ReportTranslations();
        ReportTable();
        std::stable_sort(result_.findings.begin(), result_.findings.end(),
                         [](const LintFinding& a, const LintFinding& b) { return a.line < b.line; });
        result_.modelBuilt = true;
        return std::move(result_);
    }

private:
    const Token& TokenAt(size_t index) const { return scan_.tokens[index]; }
    int LineOfToken(size_t index) const { return index == kNoToken ? 0 : TokenAt(index).line; }
    bool Is(size_t index, PpdKeywordId id) const {
        return index < scan_.tokens.size() && ClassifyKeyword(TokenAt(index).units.c_str()) == id;
    }
    bool LineHead(size_t index) const { return scan_.entries[scan_.entryOfToken[index]].first == index; }
    const PpdFeature& Feature(int i) const { return *doc_.GetFeature(i); }
    int FeatureLine(int i) const { return LineOfToken(features_[i].openToken); }
    bool InGroup(const PpdFeature& f) const { return f.group.Equals(kInstallableGroup); }

    void Add(int line, LintClass kind, std::string reason) {
        result_.findings.push_back({line, kind, std::move(reason)});
    }

    void IndexModel() {
        optionsOf_.resize(doc_.featureCount);
        for (int i = 0; i < doc_.featureCount; ++i) {
            const PpdFeature& f = Feature(i);
            featuresByKeyword_[f.keyword.text].push_back(i);
            if (!InGroup(f)) ordinaryByKeyword_.emplace(f.keyword.text, i);
            for (int o = 0; o < f.optionCount; ++o) optionsOf_[i].insert(f.options[o]->keyword.text);
        }
        for (int i = 0; i < doc_.installableCount; ++i)
            installableIndex_.emplace(doc_.installables[i]->keyword.text, i);
        for (const FeatureNameEntry* row = g_featureNameTable; row->featureId != 0; ++row)
            table_.emplace(row->keyword, row->dmPubId);
    }

    // The first ordinary (not installable-group) feature with this keyword, or -1.
    int OrdinaryFeature(const char16_t* keyword) const {
        auto it = ordinaryByKeyword_.find(keyword);
        return it == ordinaryByKeyword_.end() ? -1 : it->second;
    }
    int AnyFeature(const char16_t* keyword) const {
        auto it = featuresByKeyword_.find(keyword);
        return it == featuresByKeyword_.end() ? -1 : it->second.front();
    }
    int Installable(const char16_t* keyword) const {
        auto it = installableIndex_.find(keyword);
        return it == installableIndex_.end() ? -1 : it->second;
    }
    bool HasOption(int feature, const PpdString& option) const { return optionsOf_[feature].count(option.text) > 0; }
    // Items of these features are found through the host's standard-setting id.
    bool KnownById(const char16_t* keyword) const {
        auto it = table_.find(keyword);
        return it != table_.end() && it->second != 0;
    }
    bool KnownByKeyword(const char16_t* keyword) const {
        auto it = table_.find(keyword);
        return it != table_.end() && it->second == 0;
    }

    // The first token that begins at `offset` or after it.
    size_t TokenFrom(size_t offset) const {
        return std::lower_bound(scan_.tokens.begin(), scan_.tokens.end(), offset,
                                [](const Token& t, size_t o) { return t.offset < o; }) -
               scan_.tokens.begin();
    }

    // The token at the report's place, or kNoToken.
    size_t TokenAtPlace(const PpdSourceSpan& place) const {
        size_t t = TokenFrom(place.begin);
        bool there = t < scan_.tokens.size() && TokenAt(t).offset == place.begin && TokenAt(t).line == place.line;
        return there ? t : kNoToken;
    }
    // The parse ended inside the block of the model's last feature.
    bool LastBlockEndsTheParse() const {
        return report_.end == PpdParseEnd::InputEndsInBlock || report_.end == PpdParseEnd::SecondQuery;
    }

    bool ConstraintMatches(const PpdConstraint& c, size_t keywordToken) const {
        if (!Is(keywordToken, kwUIConstraints)) return false;
        const PpdString* fields[] = {&c.feature1, &c.option1, &c.feature2, &c.option2};
        for (size_t k = 0; k < 4; ++k) {
            size_t t = keywordToken + 1 + k;
            if (t >= scan_.tokens.size()) return fields[k]->length == 0;
            if (!fields[k]->Equals(Converted(TokenAt(t).units).c_str())) return false;
        }
        return true;
    }

    // Each model constraint at the *UIConstraints the report places it at,
    // with the four tokens after it. A line of fewer than four tokens takes
    // the following ones; when one of those begins another keyword line, that
    // line is lost to the model.
    void PlaceConstraints() {
        constraints_.resize(doc_.constraintCount);
        for (int k = 0; k < doc_.constraintCount; ++k) {
            size_t keyword = TokenAtPlace(report_.constraints[k]);
            if (keyword == kNoToken || !ConstraintMatches(*doc_.constraints[k], keyword)) {
                ++result_.unplaced;
                continue;
            }
            ConstraintPlace& place = constraints_[k];
            place.token = keyword;
            placedConstraints_.insert(keyword);
            for (size_t t = keyword + 1; t <= keyword + 4 && t < scan_.tokens.size(); ++t) {
                spanOfConstraint_.insert(t);
                if (TokenAt(t).line == TokenAt(keyword).line) continue;
                if (LineHead(t) && TokenAt(t).units.starts_with(u'*')) place.shortEntry = true;
                takenBy_.emplace(t, TokenAt(keyword).line);
            }
        }
    }

    // What the model makes of the keyword token at `token`.
    const KeywordAndTranslation& ModelReading(size_t token) {
        auto it = readings_.find(token);
        if (it == readings_.end())
            it = readings_.emplace(token, ReadAsModel(scan_.bytes, TokenAt(token).offset, buffer_)).first;
        return it->second;
    }

    // A '/' in a translation makes the model read another keyword than the
    // author wrote.
    void CheckSlash(size_t token, const std::string& what, const std::string& consequence = "") {
        const KeywordAndTranslation& reading = ModelReading(token);
        std::u16string label(reading.label.begin(), reading.label.end());
        if (reading.keyword == Converted(KeywordPart(label))) return;
        Add(TokenAt(token).line, LintClass::TranslationSlash,
            "'/' in the translation of " + what + ": the plug-in reads the keyword '" + Utf8(reading.keyword) +
                "' and the translation '" + Utf8(reading.translation) + "'" + consequence);
    }

    // *OpenGroup labels as the model reads them: those before the parse's
    // end, outside blocks and constraint entries.
    void CheckGroups() {
        for (const Entry& e : scan_.entries) {
            size_t t = e.first;
            if (!Is(t, kwOpenGroup) || t + 1 >= scan_.tokens.size() || AfterParseEnd(t) || BlockHolding(t) >= 0 ||
                spanOfConstraint_.count(t))
                continue;
            std::u16string_view written = KeywordPart(TokenAt(t + 1).units);
            CheckSlash(t + 1, "group " + Utf8(written),
                       written == kInstallableGroup ? ": its features are not installable options to the plug-in" : "");
        }
    }

    // The model reads a feature's keyword up to the '/' or the colon, blanks
    // included, where its option lines end the keyword at the blank.
    void CheckBlank(size_t token, const PpdFeature& f) {
        std::u16string written = Converted(KeywordPart(TokenAt(token).units));
        const KeywordAndTranslation& reading = ModelReading(token);
        std::u16string label(reading.label.begin(), reading.label.end());
        if (f.keyword.Equals(written.c_str()) || reading.keyword != Converted(KeywordPart(label))) return;
        Add(TokenAt(token).line, LintClass::NotRead,
            "feature " + Utf8(written) + " is read as '" + Utf8(f.keyword) +
                "': the plug-in takes its keyword up to the '/' or the colon, blanks included, and reads none of the "
                "block's option lines, which begin with " + Utf8(written));
    }

    // A '>' outside a hex string: the model leaves it out of the translation,
    // which the driver shows with it, so that the two no longer match. The
    // driver's text is what the model reads with each such '>' as hex.
    void CheckBracket(size_t token, const std::string& what, const char* consequence) {
        const KeywordAndTranslation& reading = ModelReading(token);
        std::string kept;
        bool hex = false;
        for (char c : reading.label) {
            if (c == '>' && !hex) {
                kept += "<3E>";
                continue;
            }
            if (c == '<' || c == '>') hex = c == '<';
            kept.push_back(c);
        }
        if (kept == reading.label) return;
        KeywordAndTranslation driver = ReadLabel(kept);
        if (driver.translation == reading.translation) return;
        Add(TokenAt(token).line, LintClass::TranslationBracket,
            "'>' outside a hex string in the translation of " + what + ": the plug-in leaves it out and reads '" +
                Utf8(reading.translation) + "' where the driver shows '" + Utf8(driver.translation) + "', so " +
                consequence);
    }

    bool Inside(int feature, size_t token) const {
        const FeaturePlace& p = features_[feature];
        return p.openToken != kNoToken && token > p.openToken && TokenAt(token).offset < p.endOffset;
    }

    // The keyword token at `token` is one the model reads as `keyword`.
    bool ReadsAs(size_t token, const PpdString& keyword) {
        return token < scan_.tokens.size() ? keyword.Equals(ModelReading(token).keyword.c_str()) : keyword.length == 0;
    }

    // Model features in order, each at the *OpenUI the report places it at,
    // its block running to where the report says it ended; its options at
    // the lines the report places them at.
    void PlaceFeatures() {
        features_.resize(doc_.featureCount);
        for (int i = 0, firstOption = 0; i < doc_.featureCount; firstOption += Feature(i++).optionCount) {
            const PpdFeature& f = Feature(i);
            FeaturePlace& place = features_[i];
            place.optionLines.assign(f.optionCount, 0);
            place.endOffset = report_.features[i].end;
            size_t open = TokenAtPlace(report_.features[i]);
            if (open == kNoToken || !Is(open, kwOpenUI) || !ReadsAs(open + 1, f.keyword)) {
                result_.unplaced += 1 + f.optionCount;
                continue;
            }
            place.openToken = open;
            if (open + 1 < scan_.tokens.size()) {
                std::string name = "feature " + Utf8(KeywordPart(TokenAt(open + 1).units));
                CheckSlash(open + 1, name);
                CheckBlank(open + 1, f);
                // Without its type, the *OpenUI takes the next line's first token as one.
                size_t type = TokenFrom(ModelReading(open + 1).end);
                if (type < scan_.tokens.size() && LineHead(type)) takenAsValue_.emplace(type, open);
                // Only items of these features are found by their translation.
                if (!InGroup(f) && KnownByKeyword(f.keyword.text))
                    CheckBracket(open + 1, name, "its item gets no warning marks");
            }
            placedOpens_.insert(place.openToken);
            placedInOrder_.push_back(i);
            placedKeywords_.insert(f.keyword.text);
            if (i < doc_.featureCount - 1 || !LastBlockEndsTheParse()) {
                for (size_t t = place.openToken + 1; t < scan_.tokens.size() && TokenAt(t).end <= place.endOffset; ++t)
                    if (Is(t, kwCloseUI)) place.closeToken = t;
            }
            for (size_t e = scan_.entryOfToken[place.openToken] + 1; e < scan_.entries.size(); ++e) {
                const Entry& entry = scan_.entries[e];
                if (TokenAt(entry.first).offset >= place.endOffset) break;
                const std::u16string& head = TokenAt(entry.first).units;
                if (head.starts_with(u"*Default")) place.defaultEntry = e;
                if (head.starts_with(u"*?")) place.queryEntries.push_back(e);
            }
            // The tokens the model reads as the values of *Default, *? and
            // *OrderDependency.
            size_t valuesOf = kNoToken, valuesLeft = 0;
            for (size_t t = place.openToken + 2; t + 1 < scan_.tokens.size(); ++t) {
                if (TokenAt(t).offset >= place.endOffset) break;
                if (valuesLeft) {
                    --valuesLeft;
                    takenAsValue_.emplace(t, valuesOf);
                    continue;
                }
                const std::u16string& units = TokenAt(t).units;
                valuesLeft = Is(t, kwOrderDependency) ? 3 : units.starts_with(u"*Default") || units.starts_with(u"*?");
                valuesOf = t;
            }
            for (int o = 0; o < f.optionCount; ++o) {
                size_t t = TokenAtPlace(report_.options[firstOption + o]);
                if (t == kNoToken || !f.keyword.Equals(Converted(TokenAt(t).units).c_str()) ||
                    !ReadsAs(t + 1, f.options[o]->keyword)) {
                    ++result_.unplaced;
                    continue;
                }
                place.optionLines[o] = TokenAt(t).line;
                optionLines_.insert(TokenAt(t).line);
                // Without its value, the option takes the next line's first token as one.
                size_t end = report_.options[firstOption + o].end;
                for (size_t v = t + 1; v < scan_.tokens.size() && TokenAt(v).offset < end; ++v)
                    if (LineHead(v)) takenAsValue_.emplace(v, t);
                if (t + 1 == scan_.tokens.size()) continue;
                std::string name = "option " + Utf8(KeywordPart(TokenAt(t + 1).units)) + " of " + Utf8(f.keyword);
                CheckSlash(t + 1, name);
                if (!InGroup(f) && (KnownById(f.keyword.text) || KnownByKeyword(f.keyword.text)))
                    CheckBracket(t + 1, name, "the option never gets its warning mark");
            }
        }
    }

    // The last feature's block ends the parse at the end of the file, or
    // early at a second query keyword.
    void FindParseEnd() {
        int last = doc_.featureCount - 1;
        if (last < 0 || !LastBlockEndsTheParse() || features_[last].openToken == kNoToken) return;
        const FeaturePlace& place = features_[last];
        std::string block = "the block of " + Utf8(Feature(last).keyword) + " (line " + std::to_string(FeatureLine(last)) + ")";
        size_t stop = report_.end == PpdParseEnd::SecondQuery ? TokenAtPlace(report_.last) : kNoToken;
        if (stop != kNoToken && TokenAt(stop).units.starts_with(u"*?") && place.queryEntries.size() >= 2) {
            parseEndToken_ = stop;
            const Entry& first = scan_.entries[place.queryEntries[0]];
            bool closed = FirstAfter(place.openToken, kwCloseUI, FirstAfter(place.openToken, kwOpenUI)) != kNoToken;
            parseEndReason_ = "second query keyword " + Utf8(TokenAt(stop).units) + " in " + block + ", the first being " +
                              Utf8(TokenAt(first.first).units) + " at line " + std::to_string(first.line) +
                              (closed ? "" : " (the block has no *CloseUI of its own)") +
                              ": the plug-in stops reading the file here";
        } else if (stop != kNoToken) {
            parseEndToken_ = stop;
            parseEndReason_ = "the plug-in stops reading the file here, in " + block;
        } else {
            parseEndFrom_ = place.openToken;
            size_t close = FirstAfter(place.openToken, kwCloseUI);
            parseEndReason_ = block + " runs to the end of the file: " +
                              (close == kNoToken ? std::string("it has no *CloseUI")
                                                 : "the plug-in takes its *CloseUI at line " +
                                                       std::to_string(LineOfToken(close)) + " as a value");
        }
    }

    // The first `id` token after `token` and before `limit`, or kNoToken.
    size_t FirstAfter(size_t token, PpdKeywordId id, size_t limit = kNoToken) const {
        for (size_t t = token + 1; t < limit && t < scan_.tokens.size(); ++t)
            if (Is(t, id)) return t;
        return kNoToken;
    }

    bool AfterParseEnd(size_t token) const { return parseEndToken_ != kNoToken && token > parseEndToken_; }

    // The placed feature whose block, as the model reads it, holds this token.
    // The blocks follow one another without overlapping, so only the last
    // that opens before the token can.
    int BlockHolding(size_t token) const {
        auto after = std::lower_bound(placedInOrder_.begin(), placedInOrder_.end(), token,
                                      [&](int i, size_t t) { return features_[i].openToken < t; });
        if (after == placedInOrder_.begin()) return -1;
        int i = *std::prev(after);
        return Inside(i, token) ? i : -1;
    }

    LossCause CauseOfLoss(size_t token) const {
        LossCause cause;
        if (auto taken = takenBy_.find(token); taken != takenBy_.end()) {
            cause.kind = LossCause::TakenByShort;
            cause.line = taken->second;
        } else if (AfterParseEnd(token)) {
            cause.kind = LossCause::AfterParseEnd;
            cause.line = LineOfToken(parseEndToken_);
        } else if (int holder = BlockHolding(token); holder >= 0) {
            cause.kind = LossCause::InsideBlock;
            cause.feature = holder;
        }
        return cause;
    }

    // Whether the block ran past its own end: over another *OpenUI, or past a
    // *CloseUI that the model took as a value. Once per block, as every line
    // lost inside it asks.
    void FindRunOns() {
        ranOn_.assign(doc_.featureCount, false);
        for (int i : placedInOrder_) {
            const FeaturePlace& p = features_[i];
            ranOn_[i] = p.closeToken != kNoToken && (FirstAfter(p.openToken, kwCloseUI) != p.closeToken ||
                                                     FirstAfter(p.openToken, kwOpenUI, p.closeToken) != kNoToken);
        }
    }
    bool RanOn(int feature) const { return ranOn_[feature]; }

    std::string Explain(const LossCause& cause) const {
        switch (cause.kind) {
            case LossCause::TakenByShort:
                return "its keyword was taken as a token of the short constraint entry at line " +
                       std::to_string(cause.line);
            case LossCause::AfterParseEnd:
                return "the plug-in stops reading the file at line " + std::to_string(cause.line);
            case LossCause::InsideBlock: {
                const FeaturePlace& p = features_[cause.feature];
                std::string block = "it lies inside the block of " + Utf8(Feature(cause.feature).keyword) + " (line " +
                                    std::to_string(FeatureLine(cause.feature)) + ")";
                if (p.closeToken == kNoToken) return block + ", which runs to the end of the file";
                if (RanOn(cause.feature))
                    return block + ", which the plug-in reads on to the *CloseUI at line " +
                           std::to_string(LineOfToken(p.closeToken));
                return block + ", where the plug-in reads only that feature's own lines";
            }
            case LossCause::None: break;
        }
        return "the plug-in's reading of the file does not reach it";
    }

    // *OpenUI and *UIConstraints lines that the model did not read, in file
    // order, each list with the count of those before each that no short
    // entry took.
    void CollectLost() {
        for (const Entry& e : scan_.entries) {
            if (Is(e.first, kwOpenUI) && !placedOpens_.count(e.first)) lostOpens_.Add(e.first, takenBy_.count(e.first));
            if (Is(e.first, kwUIConstraints) && !placedConstraints_.count(e.first))
                lostConstraints_.Add(e.first, takenBy_.count(e.first));
        }
    }

    std::string OpenName(size_t openToken) const {
        return openToken + 1 < scan_.tokens.size() ? Utf8(KeywordPart(TokenAt(openToken + 1).units)) : "";
    }

    // The lost *OpenUI and *UIConstraints lines after `from` up to `to`.
    std::string LostCounts(size_t from, size_t to) const {
        return Plural(lostOpens_.UntakenIn(from, to), "feature", "features") + ", " +
               Plural(lostConstraints_.UntakenIn(from, to), "constraint entry", "constraint entries");
    }

    void ReportBlocks() {
        if (parseEndToken_ != kNoToken)
            Add(LineOfToken(parseEndToken_), LintClass::ParseEnd,
                parseEndReason_ + " (not read: all that follows, with " + LostCounts(parseEndToken_, kNoToken) + ")");
        if (parseEndFrom_ != kNoToken)
            Add(LineOfToken(parseEndFrom_), LintClass::ParseEnd,
                parseEndReason_ + " (not read: " + LostCounts(parseEndFrom_, kNoToken) + ")");
        for (int i = 0; i < doc_.featureCount; ++i) {
            const FeaturePlace& p = features_[i];
            if (p.openToken == kNoToken || !RanOn(i)) continue;
            size_t ownClose = FirstAfter(p.openToken, kwCloseUI);
            size_t firstOpen = FirstAfter(p.openToken, kwOpenUI, p.closeToken);
            std::string why = firstOpen != kNoToken && firstOpen < ownClose
                                  ? "it has no *CloseUI before the next *OpenUI (line " +
                                        std::to_string(LineOfToken(firstOpen)) + ")"
                                  : "the plug-in takes its *CloseUI at line " + std::to_string(LineOfToken(ownClose)) +
                                        " as a value";
            Add(FeatureLine(i), LintClass::BlockUnclosed,
                "the block of " + Utf8(Feature(i).keyword) + " runs on to the *CloseUI at line " +
                    std::to_string(LineOfToken(p.closeToken)) + ": " + why + " (not read: " +
                    LostCounts(p.openToken, p.closeToken) + ")");
        }
        for (size_t t : lostOpens_.tokens)
            Add(TokenAt(t).line, LintClass::NotRead, "feature " + OpenName(t) + " is not read: " + Explain(CauseOfLoss(t)));
    }

    // Constraint entries and option lines the model did not read.
    void ReportLostLines() {
        for (size_t t : lostConstraints_.tokens) {
            LossCause cause = CauseOfLoss(t);
            if (cause.kind == LossCause::TakenByShort)
                Add(TokenAt(t).line, LintClass::ConstraintLost,
                    "constraint entry lost: its *UIConstraints was taken as a token of the short entry at line " +
                        std::to_string(cause.line));
            else if (cause.kind == LossCause::InsideBlock && optionLines_.count(TokenAt(t).line))
                Add(TokenAt(t).line, LintClass::NotRead,
                    "constraint entry is not read: inside the block of " + Utf8(Feature(cause.feature).keyword) +
                        " (line " + std::to_string(FeatureLine(cause.feature)) +
                        ") the plug-in reads it as an option line of that feature");
            else
                Add(TokenAt(t).line, LintClass::NotRead, "constraint entry is not read: " + Explain(cause));
        }
        // Option lines of a feature that was read, outside its block as the model reads it.
        for (const Entry& e : scan_.entries) {
            if (e.count < 2 || AfterParseEnd(e.first)) continue;
            auto it = featuresByKeyword_.find(Converted(TokenAt(e.first).units));
            if (it == featuresByKeyword_.end() || !placedKeywords_.count(it->first)) continue;
            int holder = BlockHolding(e.first);
            if (holder >= 0 && Feature(holder).keyword.Equals(it->first.c_str())) continue;
            int i = it->second.front();
            Add(e.line, LintClass::NotRead,
                "option line of " + Utf8(Feature(i).keyword) + " outside its block (from line " +
                    std::to_string(FeatureLine(i)) +
                    (features_[i].closeToken == kNoToken ? std::string()
                                                         : " to line " + std::to_string(LineOfToken(features_[i].closeToken))) +
                    " as the plug-in reads it) is not read");
        }
        // Option lines of a block whose keyword the model read as a value of
        // the line before: of a *Default..., an *OpenUI or an option without one, say.
        for (const auto& [t, taker] : takenAsValue_) {
            const Entry& e = scan_.entries[scan_.entryOfToken[t]];
            int holder = BlockHolding(t);
            if (!LineHead(t) || e.count < 2 || holder < 0 ||
                !Feature(holder).keyword.Equals(Converted(TokenAt(t).units).c_str()))
                continue;
            const PpdString& keyword = Feature(holder).keyword;
            std::string takerName = keyword.Equals(Converted(TokenAt(taker).units).c_str())
                                        ? "option " + Utf8(KeywordPart(TokenAt(taker + 1).units))
                                        : Utf8(TokenAt(taker).units);
            Add(e.line, LintClass::NotRead,
                "option " + Utf8(KeywordPart(TokenAt(t + 1).units)) + " of " + Utf8(keyword) +
                    " is not read: the plug-in reads its keyword as a value of " + takerName + " (line " +
                    std::to_string(TokenAt(taker).line) + ")");
        }
    }

    // A double quote in the translation of a line whose value, as its author
    // wrote it, ends on the line, where the model reads every token plainly
    // (not an *OpenUI, *OpenGroup or option line, whose label it reads up to
    // a quote): the model's reader starts a quoted value at it, which pairs
    // the line's other quotes the other way.
    bool QuoteInTranslation(size_t quotedToken) const {
        const Token& token = TokenAt(quotedToken);
        size_t head = scan_.entries[scan_.entryOfToken[quotedToken]].first;
        if (Is(head, kwOpenUI) || Is(head, kwOpenGroup) || featuresByKeyword_.count(Converted(TokenAt(head).units)))
            return false;
        std::string_view text = scan_.LineText(token.line);
        size_t colon = text.find(':'), quote = text.find('"');
        return colon != std::string_view::npos && quote < colon && text.find('/') < quote &&
               std::count(text.begin() + colon, text.end(), '"') % 2 == 0;
    }

    // Lines swallowed by a quoted value that runs over them: one that never
    // closes, or one that a double quote in a translation set off. A value
    // that the model's reader opens on the line where such a value ended
    // goes back to the same quote.
    void ReportQuotedValues() {
        int quoteLine = 0, lastEnd = 0;  // the translation quote the value goes back to, 0 for none
        for (size_t q = 0; q < scan_.tokens.size(); ++q) {
            const Token& token = TokenAt(q);
            if (!token.quoted) continue;
            int line = token.line;
            const std::u16string& u = token.units;
            std::vector<std::pair<int, std::u16string_view>> inside;  // lines that begin inside it
            for (size_t i = 0; i < u.size(); ++i) {
                if (u[i] != u'\n' && u[i] != u'\r') continue;
                if (u[i] == u'\r' && i + 1 < u.size() && u[i + 1] == u'\n') ++i;
                inside.emplace_back(++line, std::u16string_view(u.data() + i + 1, u.size() - i - 1));
            }
            if (inside.empty()) continue;
            if (!(quoteLine && token.line == lastEnd)) quoteLine = QuoteInTranslation(q) ? token.line : 0;
            lastEnd = line;
            if (quoteLine == token.line) {
                size_t head = scan_.entries[scan_.entryOfToken[q]].first;
                std::string name = Utf8(Converted(TokenAt(head).units));
                if (head + 1 < q) name += " " + Utf8(Converted(KeywordPart(TokenAt(head + 1).units)));
                Add(token.line, LintClass::TranslationQuote,
                    "double quote in the translation of '" + name +
                        "': the plug-in starts a quoted value at it, which pairs the line's other quotes the other "
                        "way, and reads a value from this line on to line " + std::to_string(line));
            }
            std::string quote = "the double quote in the translation at line " + std::to_string(quoteLine);
            std::string begins = "it lies inside the quoted value that begins at line " + std::to_string(token.line);
            std::string where = quoteLine == token.line ? "it lies inside the quoted value that " + quote + " sets off"
                                : quoteLine         ? begins + ", which goes back to " + quote
                                                    : begins + " (is a closing quote missing?)";
            for (const auto& [number, rest] : inside) {
                for (std::u16string_view keyword : {u"*OpenUI", u"*UIConstraints"}) {
                    if (rest.starts_with(keyword) && rest.size() > keyword.size() &&
                        (rest[keyword.size()] == u':' || rest[keyword.size()] == u' '))
                        Add(number, LintClass::NotRead, Utf8(keyword) + " is not read: " + where);
                }
                // An option line of a feature the model has.
                size_t end = rest.find_first_of(u" \t:/\r\n");
                if (end == std::u16string_view::npos || (rest[end] != u' ' && rest[end] != u'\t')) continue;
                auto feature = featuresByKeyword_.find(Converted(rest.substr(0, end)));
                std::u16string_view option = rest.substr(std::min(rest.find_first_not_of(u" \t", end), rest.size()));
                option = option.substr(0, option.find_first_of(u" \t:/\r\n"));
                if (feature != featuresByKeyword_.end() && !option.empty())
                    Add(number, LintClass::NotRead,
                        "option " + Utf8(option) + " of " + Utf8(Feature(feature->second.front()).keyword) +
                            " is not read: " + where);
            }
        }
    }

    std::string EntryText(const PpdConstraint& c) const {
        return "'" + Utf8(c.feature1) + " " + Utf8(c.option1) + " " + Utf8(c.feature2) + " " + Utf8(c.option2) + "'";
    }

    void ReportConstraints() {
        std::set<std::tuple<std::u16string, std::u16string, std::u16string, std::u16string>> entries;
        for (int k = 0; k < doc_.constraintCount; ++k) {
            const PpdConstraint& c = *doc_.constraints[k];
            entries.emplace(c.feature1.text, c.option1.text, c.feature2.text, c.option2.text);
        }
        for (int k = 0; k < doc_.constraintCount; ++k) {
            const PpdConstraint& c = *doc_.constraints[k];
            const ConstraintPlace& place = constraints_[k];
            int line = LineOfToken(place.token);
            if (place.shortEntry) {
                const Entry& e = scan_.entries[scan_.entryOfToken[place.token]];
                std::string taken;
                for (size_t t = place.token + e.count; t <= place.token + 4 && t < scan_.tokens.size(); ++t)
                    taken += (taken.empty() ? "'" : ", '") + Utf8(Converted(TokenAt(t).units)) + "' from line " +
                             std::to_string(TokenAt(t).line);
                Add(line, LintClass::ConstraintShort,
                    Plural(e.count - 1, "token", "tokens") + ": the plug-in reads four and takes " + taken +
                        ", so it reads " + EntryText(c));
                continue;
            }
            int f1 = AnyFeature(c.feature1.text), f2 = AnyFeature(c.feature2.text);
            if (f1 < 0 || f2 < 0) {
                const PpdString& missing = f1 < 0 ? c.feature1 : c.feature2;
                Add(line, LintClass::ConstraintUndeclared,
                    EntryText(c) + " names " + Utf8(missing) + ", which " + NotDeclared(missing) +
                        ": the entry never marks anything");
                continue;
            }
            bool installable1 = Installable(c.feature1.text) >= 0, installable2 = Installable(c.feature2.text) >= 0;
            int ordinary1 = OrdinaryFeature(c.feature1.text), ordinary2 = OrdinaryFeature(c.feature2.text);
            if (installable1 && ordinary2 >= 0) {
                if (!HasOption(f1, c.option1))
                    Add(line, LintClass::ConstraintUndeclared,
                        MissingOption(f1, c.option1) + ": the entry never marks anything");
                else if (!HasOption(ordinary2, c.option2))
                    Add(line, LintClass::ConstraintUndeclared,
                        MissingOption(ordinary2, c.option2) + ": the entry never marks anything");
                continue;
            }
            if (ordinary1 >= 0 && installable2) {
                if (entries.count({c.feature2.text, c.option2.text, c.feature1.text, c.option1.text})) continue;
                Add(line, LintClass::ConstraintDirection,
                    "ordinary " + Utf8(c.feature1) + " first, installable " + Utf8(c.feature2) +
                        " second: the plug-in reads only the other way round, and the file has no '" +
                        Utf8(c.feature2) + " " + Utf8(c.option2) + " " + Utf8(c.feature1) + " " + Utf8(c.option1) +
                        "' entry");
            } else if (installable1 && installable2) {
                Add(line, LintClass::ConstraintInstallable,
                    Utf8(c.feature1) + " and " + Utf8(c.feature2) +
                        " are both installable: the plug-in applies constraints only from an installable feature to an "
                        "ordinary one");
            } else {
                Add(line, LintClass::ConstraintOrdinary,
                    Utf8(c.feature1) + " and " + Utf8(c.feature2) +
                        " are both ordinary features: the plug-in applies constraints only from an installable "
                        "feature to an ordinary one");
            }
        }
    }

    std::string NotDeclared(const PpdString& keyword) {
        if (!opensIndexed_) {
            opensIndexed_ = true;
            for (const Entry& e : scan_.entries)
                if (Is(e.first, kwOpenUI) && e.first + 1 < scan_.tokens.size())
                    opensByKeyword_[Converted(KeywordPart(TokenAt(e.first + 1).units))].push_back(e.first);
        }
        auto opens = opensByKeyword_.find(keyword.text);
        if (opens == opensByKeyword_.end()) return "the file does not declare";
        for (size_t t : opens->second) {
            if (!placedOpens_.count(t))
                return "the plug-in does not read (line " + std::to_string(LineOfToken(t)) + ")";
            if (auto it = readings_.find(t + 1); it != readings_.end())
                return "the plug-in reads as '" + Utf8(it->second.keyword) + "' (line " + std::to_string(LineOfToken(t)) + ")";
        }
        return "the file does not declare";
    }

    // Why `option` is not an option of `feature` in the model.
    std::string MissingOption(int feature, const PpdString& option) {
        const PpdFeature& f = Feature(feature);
        std::string missing = Utf8(f.keyword) + " has no option '" + Utf8(option) + "'";
        auto [written, fresh] = writtenOptions_.try_emplace(feature);
        if (fresh) {
            // The option lines of its block that the model read, by the keyword their author wrote.
            const FeaturePlace& p = features_[feature];
            for (size_t e = p.openToken == kNoToken ? scan_.entries.size() : scan_.entryOfToken[p.openToken];
                 e < scan_.entries.size() && TokenAt(scan_.entries[e].first).offset < p.endOffset; ++e) {
                const Entry& entry = scan_.entries[e];
                if (entry.count >= 2 && readings_.count(entry.first + 1) &&
                    f.keyword.Equals(Converted(TokenAt(entry.first).units).c_str()))
                    written->second.emplace(Converted(KeywordPart(TokenAt(entry.first + 1).units)), entry.first);
            }
        }
        auto it = written->second.find(option.text);
        if (it == written->second.end()) return missing;
        return missing + ": the plug-in reads the one at line " + std::to_string(LineOfToken(it->second)) + " as '" +
               Utf8(readings_.at(it->second + 1).keyword) + "'";
    }

    // The last installable feature, in file order, with any entry for an
    // ordinary feature decides every mark of that feature.
    void ReportOverrides() {
        // ordinary feature -> installable index -> its entries
        std::map<std::u16string, std::map<int, std::vector<int>>> rules;
        for (int k = 0; k < doc_.constraintCount; ++k) {
            const PpdConstraint& c = *doc_.constraints[k];
            int installable = Installable(c.feature1.text);
            if (installable >= 0 && OrdinaryFeature(c.feature2.text) >= 0)
                rules[c.feature2.text][installable].push_back(k);
        }
        for (const auto& [feature, byInstallable] : rules) {
            if (byInstallable.size() < 2) continue;
            const auto& [decider, deciderEntries] = *byInstallable.rbegin();
            for (const auto& [installable, entryIndexes] : byInstallable) {
                if (installable == decider) continue;
                Add(LineOfToken(constraints_[entryIndexes.front()].token), LintClass::ConstraintOverridden,
                    Plural(entryIndexes.size(), "entry", "entries") + " of " +
                        Utf8(doc_.installables[installable]->keyword) + " for " + Utf8(feature) +
                        (entryIndexes.size() == 1 ? " never counts: " : " never count: ") + Utf8(doc_.installables[decider]->keyword) +
                        ", a later installable feature, also constrains it (line " +
                        std::to_string(LineOfToken(constraints_[deciderEntries.front()].token)) +
                        ") and alone decides its marks");
            }
        }
    }

    static std::u16string DefaultKeyword(const PpdFeature& f) {
        return u"*Default" + std::u16string(f.keyword.length ? f.keyword.text + 1 : u"");
    }

    // A *Default line for this feature outside its block, or 0.
    int DefaultLineOutside(int feature) {
        if (!defaultsIndexed_) {
            defaultsIndexed_ = true;
            for (const Entry& e : scan_.entries)
                if (TokenAt(e.first).units.starts_with(u"*Default"))
                    defaultHeads_[Converted(TokenAt(e.first).units)].push_back(e.first);
        }
        auto heads = defaultHeads_.find(DefaultKeyword(Feature(feature)));
        if (heads == defaultHeads_.end()) return 0;
        for (size_t t : heads->second)
            if (!Inside(feature, t)) return LineOfToken(t);
        return 0;
    }

    void ReportDefaults() {
        for (int i = 0; i < doc_.featureCount; ++i) {
            const PpdFeature& f = Feature(i);
            const FeaturePlace& p = features_[i];
            if (p.openToken == kNoToken) continue;
            bool installable = Installable(f.keyword.text) >= 0;
            std::string name = Utf8(f.keyword);
            if (p.defaultEntry == kNoToken) {
                if (!installable) continue;
                int outside = DefaultLineOutside(i);
                Add(FeatureLine(i), LintClass::DefaultMissing,
                    "installable " + name + " has no default in its block" +
                        (outside ? " (the one at line " + std::to_string(outside) + " stands outside it)" : "") +
                        ": the plug-in starts it with no current option, which no constraint names");
                continue;
            }
            const Entry& e = scan_.entries[p.defaultEntry];
            std::u16string expected = DefaultKeyword(f);
            std::u16string head = Converted(TokenAt(e.first).units);
            std::string from = head == expected ? "" : ", taken from " + Utf8(head) + ",";
            if (f.defaultOption.length == 0) {
                Add(e.line, LintClass::DefaultEmpty,
                    "empty default for " + name + from +
                        (installable ? ": the plug-in starts it with no current option, which no constraint names" : ""));
            } else if (!HasOption(i, f.defaultOption)) {
                Add(e.line, LintClass::DefaultUnknown,
                    "default '" + Utf8(f.defaultOption) + "' of " + name + from + " is not one of its options");
            }
        }
    }

    void ReportTranslations() {
        std::unordered_map<std::u16string, int> featureByTranslation;
        for (int i = 0; i < doc_.featureCount; ++i) {
            const PpdFeature& f = Feature(i);
            bool ordinary = !InGroup(f);
            if (ordinary && (KnownById(f.keyword.text) || KnownByKeyword(f.keyword.text))) {
                std::unordered_map<std::u16string, int> optionByTranslation;
                for (int o = 0; o < f.optionCount; ++o) {
                    auto [it, fresh] = optionByTranslation.emplace(f.options[o]->translation.text, o);
                    if (fresh) continue;
                    Add(features_[i].optionLines[o], LintClass::OptionTranslation,
                        "option '" + Utf8(f.options[o]->keyword) + "' of " + Utf8(f.keyword) + " has the translation '" +
                            Utf8(f.options[o]->translation) + "' of option '" + Utf8(f.options[it->second]->keyword) +
                            "' (line " + std::to_string(features_[i].optionLines[it->second]) +
                            "): only the first decides the warning mark of both");
                }
            }
            auto [it, fresh] = featureByTranslation.emplace(f.translation.text, i);
            if (fresh || KnownById(f.keyword.text)) continue;
            const PpdFeature& first = Feature(it->second);
            if (!KnownByKeyword(first.keyword.text) && !KnownByKeyword(f.keyword.text)) continue;
            Add(FeatureLine(i), LintClass::FeatureTranslation,
                Utf8(f.keyword) + " has the translation '" + Utf8(f.translation) + "' of " + Utf8(first.keyword) +
                    " (line " + std::to_string(FeatureLine(it->second)) +
                    "): the plug-in matches items by translation, so its item " +
                    (KnownByKeyword(first.keyword.text) ? "gets the marks of " + Utf8(first.keyword)
                                                        : "gets no marks, " + Utf8(first.keyword) +
                                                              " being unknown to the plug-in"));
        }
    }

    // A file with none of the vendor's features is most likely made for
    // another vendor's printers: one line says so, instead of one per feature.
    void ReportTable() {
        std::vector<const char16_t*> vendor, missing, missingStandard;
        bool anyVendor = false;
        for (const FeatureNameEntry* row = g_featureNameTable; row->featureId != 0; ++row) {
            bool standard = std::find(std::begin(kFormatKeywords), std::end(kFormatKeywords), row->keyword) !=
                            std::end(kFormatKeywords);
            if (!standard) vendor.push_back(row->keyword);
            if (AnyFeature(row->keyword) >= 0) {
                anyVendor = anyVendor || !standard;
                continue;
            }
            missing.push_back(row->keyword);
            if (standard) missingStandard.push_back(row->keyword);
        }
        if (!anyVendor && !vendor.empty()) {
            std::string others;
            for (const char16_t* keyword : missingStandard) others += (others.empty() ? "" : ", ") + Utf8(keyword);
            Add(0, LintClass::TableMissing,
                "the plug-in knows " + Plural(vendor.size(), "vendor feature", "vendor features") + " (" +
                    Utf8(vendor.front()) + " ... " + Utf8(vendor.back()) + "), of which the file declares none" +
                    (others.empty() ? "" : "; nor does it declare " + others));
        } else {
            for (const char16_t* keyword : missing)
                Add(0, LintClass::TableMissing,
                    "the plug-in knows " + Utf8(keyword) + ", which the file does not declare");
        }
        std::set<int> reported;
        for (int k = 0; k < doc_.constraintCount; ++k) {
            const PpdConstraint& c = *doc_.constraints[k];
            if (constraints_[k].shortEntry || Installable(c.feature1.text) < 0) continue;
            int f = OrdinaryFeature(c.feature2.text);
            if (f < 0 || KnownById(c.feature2.text) || KnownByKeyword(c.feature2.text) || !reported.insert(f).second)
                continue;
            Add(FeatureLine(f), LintClass::FeatureUnknown,
                Utf8(c.feature2) + " is constrained by installable " + Utf8(c.feature1) + " (line " +
                    std::to_string(LineOfToken(constraints_[k].token)) +
                    ") but is not in the plug-in's feature name table: its item gets no warning marks");
        }
    }

    const Scan& scan_;
    const PpdDocument& doc_;
    const PpdParseReport& report_;
    LintResult result_;

    std::unordered_map<std::u16string, std::vector<int>> featuresByKeyword_;
    std::unordered_map<std::u16string, int> ordinaryByKeyword_;     // the first ordinary feature per keyword
    std::vector<std::unordered_set<std::u16string>> optionsOf_;   // option keywords per feature
    std::unordered_map<std::u16string, int> installableIndex_;
    std::unordered_map<std::u16string, uint32_t> table_;

    std::vector<char16_t> buffer_ = std::vector<char16_t>(kPpdTokenCapacity + 1);
    // Built on first use: *OpenUI lines by the keyword their author wrote,
    // *Default lines by their keyword, and per feature the option lines of
    // its block by the option keyword their author wrote.
    bool opensIndexed_ = false, defaultsIndexed_ = false;
    std::unordered_map<std::u16string, std::vector<size_t>> opensByKeyword_;
    std::unordered_map<std::u16string, std::vector<size_t>> defaultHeads_;
    std::unordered_map<int, std::unordered_map<std::u16string, size_t>> writtenOptions_;
    std::map<size_t, KeywordAndTranslation> readings_;
    std::vector<FeaturePlace> features_;
    std::set<size_t> placedOpens_;
    std::vector<int> placedInOrder_;  // placed features, in file order
    std::unordered_set<std::u16string> placedKeywords_;
    std::vector<bool> ranOn_;         // per feature
    LostTokens lostOpens_;
    LostTokens lostConstraints_;
    std::set<size_t> spanOfConstraint_;  // tokens the model read as a constraint's four
    std::vector<ConstraintPlace> constraints_;
    std::set<size_t> placedConstraints_;
    std::map<size_t, int> takenBy_;  // token -> line of the short constraint entry that took it
    // Token in a block -> the *Default, *?, *OrderDependency, *OpenUI or option line that took it as a value.
    std::map<size_t, size_t> takenAsValue_;

    size_t parseEndToken_ = kNoToken;  // the parse stopped early, after this token
    size_t parseEndFrom_ = kNoToken;   // the block of this *OpenUI ran to the end of the file
    std::set<int> optionLines_;        // lines of the options the model read
    std::string parseEndReason_;
};

}  // namespace

const char* LintClassName(LintClass kind) {
    int index = static_cast<int>(kind);
    return index >= 0 && index < kLintClassCount ? kClassNames[index] : "unknown";
}

UniquePpdDocument BuildModel(std::string_view bytes, PpdParseReport* report) {
    ByteSource source{bytes};
    return UniquePpdDocument(new PpdDocument(ReadSourceByte, &source, report));
}

LintResult LintPpd(std::string_view bytes) {
    PpdParseReport report;
    const UniquePpdDocument doc = BuildModel(bytes, &report);
    // A model cut short by exhausted memory is not the plug-in's reading of the file.
    if (!doc || report.end == PpdParseEnd::OutOfMemory) return {};
    Scan scan(bytes);
    return Linter(scan, *doc, report).Run();
}
