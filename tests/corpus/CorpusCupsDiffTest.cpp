// The model against libcups's reading of the same corpus. For every *OpenUI
// feature: keyword, translation, default, group, options (keywords and
// translations, in order); the installable features; the number of
// constraints. Each difference must be predicted from libcups's reading by
// the model's known rules, all applied together (a label may need two), each
// named by a class and shown by evidence in the file itself; the count per
// class is printed and a difference no rule predicts fails. The small PPDs of
// cups-diff/ each show a class, or two in one label, which their
// "*% cups-diff:" lines name.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "CorpusSupport.h"
#include "platform/Runtime.h"
#include "tests/support/PpdSource.h"

namespace {

constexpr size_t npos = std::string::npos;
constexpr size_t kCupsTextBytes = 80;  // libcups keeps texts in 81-byte buffers

// Differences are named by these classes.
const std::map<std::string, std::string> kClasses = {
    {"jcl-openui", "*JCLOpenUI features, which the model does not read"},
    {"jcl-closes-cups-group", "libcups leaves the current group at a *JCLOpenUI; the model keeps it"},
    {"no-group-is-general", "a feature outside any group: empty here, \"General\" in libcups"},
    {"slash-pieces", "more than one '/' in the label of a group, feature or option: the last two pieces become keyword "
                     "and translation"},
    {"gt-outside-hex", "a '>' outside a hex string in a label: the model leaves it out, libcups keeps it"},
    {"localised-quote-takes-option",
     "a double quote in the translation of a localised line shifts the model's pairing of quotes, so that it reads a "
     "quoted value from that line on over the next option line; libcups counts quotes only after the colon"},
    {"quote-ends-label", "a double quote ends the keyword-and-translation token"},
    {"cups-standard-text", "an untranslated standard feature: libcups substitutes its own name"},
    {"cups-yes-no", "untranslated True/False options: libcups shows Yes/No"},
    {"cups-custom-choice", "libcups adds a Custom choice for *CustomKeyword True"},
    {"charset", "non-ASCII text: ANSI code page here, *LanguageEncoding in libcups"},
    {"cups-text-limit", "libcups keeps the first 80 bytes of a text"},
    {"default-with-slash", "libcups drops '/text' from a default value"},
    {"foreign-default-in-block", "the last *Default... line inside the block sets the default"},
    {"duplicate-openui", "a keyword opened by more than one *OpenUI: separate features here, merged in libcups"},
    {"second-query-ends-parse", "a second query keyword in one block ends the parse"},
    {"unclosed-block-ends-parse", "a block without *CloseUI runs to the end of input"},
    {"short-constraint-swallows", "a *UIConstraints entry with fewer than four tokens takes the next ones"},
    {"non-ui-constraints", "libcups counts *NonUIConstraints; the model reads only *UIConstraints"},
};

std::string Utf8(const PpdString& s) { return ppdtest::Utf8(s.text); }

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Printable ASCII without '?' (the stand-in's replacement for bytes it
// cannot convert): what both readings keep of a text whatever the charset.
std::string Skeleton(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        if (c >= 0x20 && c < 0x7F && c != '?') out.push_back(static_cast<char>(c));
    return out;
}

// Bytes of the file as the model converts them, through the ANSI code page
// the file was read with.
std::string AnsiToUtf8(const std::string& bytes) {
    int needed = platform::AnsiToWide(bytes.c_str(), nullptr, 0);
    if (needed <= 0) return bytes;
    std::u16string wide(static_cast<size_t>(needed), u'\0');
    platform::AnsiToWide(bytes.c_str(), wide.data(), needed);
    wide.resize(static_cast<size_t>(needed) - 1);
    return ppdtest::Utf8(wide);
}

bool HasNonAscii(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (c == separator)
            pieces.emplace_back();
        else
            pieces.back().push_back(c);
    }
    return pieces;
}

// ---- Evidence: the file as lines ------------------------------------------

struct OpenUiLine {
    size_t line;
    std::string keyword;  // after '*', up to '/', ':' or a blank
    std::string label;    // keyword/translation text after '*', up to ':'
    size_t close = npos;  // first *CloseUI line after it
    size_t stop = npos;   // where the model leaves the block: *CloseUI or a second query
    int queries = 0;      // query keyword lines inside the block, up to the second
    bool nested = false;  // inside an earlier block that is still open
};

class PpdLines {
public:
    explicit PpdLines(const std::string& path) : path_(path) {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (StartsWith(line, "*% cups-diff: ")) expectedClasses.insert(line.substr(14));
            lines.push_back(line);
        }
        size_t openUntil = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (!StartsWith(lines[i], "*OpenUI") || lines[i].size() < 8 ||
                (lines[i][7] != ' ' && lines[i][7] != '\t'))
                continue;
            OpenUiLine ui{i, "", ""};
            size_t p = lines[i].find('*', 7);
            if (p == npos) continue;
            size_t colon = lines[i].find(':', p);
            ui.label = lines[i].substr(p + 1, colon == npos ? npos : colon - p - 1);
            ui.keyword = ui.label.substr(0, ui.label.find_first_of("/ \t"));
            for (size_t j = i + 1; j < lines.size() && ui.stop == npos; ++j) {
                if (StartsWith(lines[j], "*CloseUI")) ui.close = ui.stop = j;
                else if (StartsWith(lines[j], "*?") && ++ui.queries == 2) ui.stop = j;
            }
            ui.nested = i < openUntil;
            if (!ui.nested) {
                openUntil = ui.stop == npos ? lines.size() : ui.stop;
                if (parseEnd == npos && (ui.queries >= 2 || ui.close == npos)) {
                    parseEnd = i;
                    parseEndClass = ui.queries >= 2 ? "second-query-ends-parse" : "unclosed-block-ends-parse";
                }
            }
            openUis.push_back(ui);
        }
    }

    const OpenUiLine* OpenUi(const std::string& keyword) const {
        for (const OpenUiLine& ui : openUis)
            if (ui.keyword == keyword) return &ui;
        return nullptr;
    }
    int OpenUiCount(const std::string& keyword) const {
        return static_cast<int>(std::count_if(openUis.begin(), openUis.end(),
                                              [&](const OpenUiLine& ui) { return ui.keyword == keyword; }));
    }
    bool HasLine(const std::string& prefix) const {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return StartsWith(l, prefix); });
    }
    // The value tokens after the colon of a line.
    static std::vector<std::string> Values(const std::string& line) {
        std::vector<std::string> values;
        size_t colon = line.find(':');
        if (colon == npos) return values;
        for (const std::string& piece : Split(line.substr(colon + 1), ' '))
            for (const std::string& token : Split(piece, '\t'))
                if (!token.empty()) values.push_back(token);
        return values;
    }
    // The nearest line before i that is neither blank nor a comment.
    const std::string* Previous(size_t i) const {
        while (i-- > 0)
            if (!lines[i].empty() && !StartsWith(lines[i], "*%") && !StartsWith(lines[i], "%") &&
                lines[i].find_first_not_of(" \t") != npos)
                return &lines[i];
        return nullptr;
    }
    // The keyword/translation label of line i after its first `skip` characters
    // and the blanks that follow, up to the colon.
    std::string LabelAt(size_t i, size_t skip) const {
        size_t from = lines[i].find_first_not_of(" \t", skip);
        return from == npos ? "" : lines[i].substr(from, lines[i].find(':', from) - from);
    }
    // The label of the group a feature's *OpenUI line at i lies in; false
    // when none is open there.
    bool GroupLabel(size_t i, std::string* label) const {
        while (i-- > 0) {
            if (StartsWith(lines[i], "*CloseGroup")) return false;
            if (StartsWith(lines[i], "*OpenGroup")) return *label = LabelAt(i, 11), true;
        }
        return false;
    }

    // A localised line: "*ll." or "*ll_CC." before the main keyword.
    static bool Localised(const std::string& line) {
        size_t dot = line.find('.');
        if (dot != 3 && dot != 6) return false;
        for (size_t i = 1; i < dot; ++i) {
            char c = line[i];
            bool ok = i == 3 ? c == '_' : i < 3 ? c >= 'a' && c <= 'z' : std::isalpha(static_cast<unsigned char>(c));
            if (!ok) return false;
        }
        return line[0] == '*';
    }

    // Lines whose start lies inside a quoted value that the model's token
    // reader opens on a localised line with a double quote in its
    // translation, where libcups, counting only the quotes after the colon,
    // sees the line's value end on the line; each with that line.
    const std::map<size_t, size_t>& TakenByLocalisedQuote() const {
        if (takenComputed_) return taken_;
        takenComputed_ = true;
        std::ifstream in(path_, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        struct Source {
            const std::string& bytes;
            size_t position = 0;
        } source{bytes};
        PpdByteStream stream(
            [](void* s) -> int {
                auto* src = static_cast<Source*>(s);
                return src->position < src->bytes.size() ? static_cast<unsigned char>(src->bytes[src->position++]) : -1;
            },
            &source);
        std::vector<char16_t> buffer(kPpdTokenCapacity + 1);
        int32_t length = 0;
        size_t counted = 0, line = 0;  // line of byte `counted`
        while (ReadToken(stream, buffer.data(), kPpdTokenCapacity, &length, false)) {
            std::u16string_view token(buffer.data(), static_cast<size_t>(length));
            if (token.find(u'\n') == std::u16string_view::npos) continue;  // only a quoted token holds one
            // The token's bytes end at its closing quote, or at the end of the input.
            size_t end = source.position;
            bool closed = bytes[end - 1] == '"' && end >= token.size() + 2;
            size_t open = end - token.size() - (closed ? 2 : 1);
            line += static_cast<size_t>(std::count(bytes.begin() + counted, bytes.begin() + open, '\n'));
            counted = open;
            if (line >= lines.size() || !Localised(lines[line])) continue;
            const std::string& text = lines[line];
            size_t colon = text.find(':');
            if (colon == npos || text.find('"') > colon || std::count(text.begin() + colon, text.end(), '"') % 2)
                continue;
            size_t last = line + static_cast<size_t>(std::count(token.begin(), token.end(), u'\n'));
            for (size_t l = line + 1; l <= last; ++l) taken_.emplace(l, line);
        }
        return taken_;
    }

    std::vector<std::string> lines;
    std::vector<OpenUiLine> openUis;
    size_t parseEnd = npos;
    std::string parseEndClass;
    // The classes a PPD made to show them names, in "*% cups-diff: CLASS" lines.
    std::set<std::string> expectedClasses;

    // The first line of the block of `ui` that reads "*Keyword Option".
    size_t OptionLine(const OpenUiLine& ui, const std::string& keyword, const std::string& option) const {
        std::string head = "*" + keyword;
        size_t end = ui.stop == npos ? lines.size() : ui.stop;
        for (size_t i = ui.line + 1; i < end; ++i) {
            const std::string& l = lines[i];
            if (!StartsWith(l, head) || l.size() == head.size() || (l[head.size()] != ' ' && l[head.size()] != '\t'))
                continue;
            size_t from = l.find_first_not_of(" \t", head.size());
            if (from != npos && l.substr(from, l.find_first_of("/: \t", from) - from) == option) return i;
        }
        return npos;
    }

private:
    std::string path_;
    mutable bool takenComputed_ = false;
    mutable std::map<size_t, size_t> taken_;
};

// ---- The two readings ---------------------------------------------------------

struct Choice {
    std::string keyword, text;
};

struct Feature {
    std::string keyword, text, defaultOption, group;
    std::vector<Choice> choices;
};

// libcups's reading of one file, from the uninstrumented reader program.
struct CupsReading {
    std::string path;
    std::string error;
    std::vector<Feature> features;
    std::vector<std::string> installables;  // options of the group "InstallableOptions"
    long constraints = 0;
};

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            char e = line[++i];
            fields.back().push_back(e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e);
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

// Reads the next record; false at the end of the reader's output.
bool ReadCups(FILE* pipe, CupsReading& reading) {
    reading = CupsReading();
    char* buffer = nullptr;
    size_t capacity = 0;
    bool complete = false;
    while (getline(&buffer, &capacity, pipe) > 0) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        std::vector<std::string> f = Fields(line);
        if (f[0] == "FILE" && f.size() == 2) {
            reading.path = f[1];
        } else if (f[0] == "ERROR" && f.size() == 2) {
            reading.error = f[1];
        } else if (f[0] == "FEATURE" && f.size() == 5) {
            reading.features.push_back({f[1], f[3], f[4], f[2], {}});
            if (f[2] == "InstallableOptions") reading.installables.push_back(f[1]);
        } else if (f[0] == "CHOICE" && f.size() == 3 && !reading.features.empty()) {
            reading.features.back().choices.push_back({f[1], f[2]});
        } else if (f[0] == "CONSTRAINTS" && f.size() == 2) {
            reading.constraints = std::stol(f[1]);
        } else if (f[0] == "END") {
            complete = true;
            break;
        } else {
            ADD_FAILURE() << "unexpected line from the libcups reader: " << line;
        }
    }
    free(buffer);
    return complete;
}

std::vector<Feature> ModelFeatures(const PpdDocument& doc) {
    std::vector<Feature> features;
    for (int32_t i = 0; i < doc.featureCount; ++i) {
        const PpdFeature* f = doc.GetFeature(i);
        std::string keyword = Utf8(f->keyword);
        if (StartsWith(keyword, "*")) keyword.erase(0, 1);
        Feature feature{keyword, Utf8(f->translation), Utf8(f->defaultOption), Utf8(f->group), {}};
        for (int32_t o = 0; o < f->optionCount; ++o)
            feature.choices.push_back({Utf8(f->options[o]->keyword), Utf8(f->options[o]->translation)});
        features.push_back(feature);
    }
    return features;
}

// ---- Classification --------------------------------------------------------------

class Tally {
public:
    // A difference and the classes whose rules, applied together, explain it.
    void Note(const std::set<std::string>& classes, const std::string& file, const std::string& what) {
        if (classes.empty()) {
            if (unclassified_.size() < 60) unclassified_.push_back(file + ": " + what);
            ++unclassifiedCount_;
            return;
        }
        for (const std::string& cls : classes) {
            EXPECT_TRUE(kClasses.count(cls)) << "unnamed class " << cls;
            ++counts_[cls];
            files_[cls].insert(file);
        }
        composed_ += classes.size() > 1;
    }
    void Report(size_t fileCount, size_t identical, double seconds) const {
        std::cout << "differential against libcups: " << fileCount << " PPDs in " << seconds << " s, " << identical
                  << " read alike\n";
        for (const auto& [cls, count] : counts_)
            std::cout << "  " << cls << ": " << count << " differences in " << files_.at(cls).size()
                      << " files (" << kClasses.at(cls) << ")\n";
        std::cout << "  explained by more than one class together: " << composed_ << "\n";
        std::cout << "  unclassified: " << unclassifiedCount_ << "\n";
        for (const std::string& line : unclassified_) ADD_FAILURE() << "unclassified difference: " << line;
    }
    long Total() const {
        long total = unclassifiedCount_;
        for (const auto& entry : counts_) total += entry.second;
        return total;
    }

private:
    std::map<std::string, long> counts_;
    std::map<std::string, std::set<std::string>> files_;
    std::vector<std::string> unclassified_;
    long unclassifiedCount_ = 0;
    long composed_ = 0;
};

// Why a text of the model differs from libcups's. libcups stops
// converting at a byte sequence its charset does not know, so its text may
// be the shorter one.
std::string TextClass(const std::string& model, const std::string& cups) {
    if ((HasNonAscii(model) || HasNonAscii(cups) || model.find('?') != npos) &&
        StartsWith(Skeleton(model), Skeleton(cups)))
        return "charset";
    return "";
}

bool SameText(const std::string& a, const std::string& b) {
    return a == b || (Skeleton(a) == Skeleton(b) && (HasNonAscii(a) || HasNonAscii(b) || a.find('?') != npos));
}

// ---- Prediction: the model's rules together ----------------------------------------

// The rules by which the model reads a keyword/translation label (of a
// group, a feature or an option) otherwise than libcups, with their classes.
enum Rule : unsigned { kQuoteEndsLabel = 1, kSlashPieces = 2, kGtOutsideHex = 4, kEveryRule = 7 };
const std::pair<Rule, const char*> kRuleClasses[] = {
    {kQuoteEndsLabel, "quote-ends-label"}, {kSlashPieces, "slash-pieces"}, {kGtOutsideHex, "gt-outside-hex"}};

struct Label {
    std::string keyword, text;
};

// A label as the file writes it, read with the model's rules in `rules`, and
// as libcups reads it without them: a double quote is text, only the first '/'
// ends the keyword, a '>' outside a hex string is kept. Both decode hex strings;
// the model converts through the ANSI code page.
Label ReadLabel(const std::string& raw, unsigned rules) {
    std::string token = rules & kQuoteEndsLabel ? raw.substr(0, raw.find('"')) : raw;
    std::vector<std::string> pieces = Split(token, '/');
    if (!(rules & kSlashPieces) && pieces.size() > 2) pieces = {pieces[0], token.substr(pieces[0].size() + 1)};
    for (std::string& piece : pieces) {
        std::string decoded;
        bool hex = false, half = false;
        char first = 0;
        for (char c : piece) {
            if (c == '<') {
                hex = true, half = false;
            } else if (c == '>' && (hex || rules & kGtOutsideHex)) {
                hex = false;
            } else if (!hex) {
                decoded.push_back(c);
            } else if (!half) {
                first = c, half = true;
            } else {
                decoded.push_back(static_cast<char>(std::strtol(std::string{first, c}.c_str(), nullptr, 16)));
                half = false;
            }
        }
        piece = decoded.substr(0, std::min(decoded.find('\0'), static_cast<size_t>(kPpdStringCapacity - 1)));
    }
    std::string keyword = pieces.size() > 1 && !pieces[pieces.size() - 2].empty() ? pieces[pieces.size() - 2]
                                                                                   : pieces.back();
    std::string text = StartsWith(pieces.back(), "*") ? pieces.back().substr(1) : pieces.back();
    return {AnsiToUtf8(keyword), AnsiToUtf8(text)};
}

// Why the model reads `model` and libcups `cups` for one field of a label the
// file writes as `raw`: the model's rules that take part (without each, the
// model's reading would be another), and how libcups's reading of the same
// bytes without them departs from `cups`: `cupsOwn` when libcups shows a text of
// its own, else through its charset or its 80-byte texts. No class when the
// rules, all applied, do not give both readings: an unclassified difference.
std::set<std::string> Explain(const std::string& raw, std::string Label::*field, const std::string& model,
                              const std::string& cups, const std::string& cupsOwn = "") {
    const std::string predicted = ReadLabel(raw, kEveryRule).*field, plain = ReadLabel(raw, 0).*field;
    std::set<std::string> classes;
    for (auto [rule, cls] : kRuleClasses)
        if (ReadLabel(raw, kEveryRule & ~rule).*field != predicted) classes.insert(cls);
    if (predicted != model || (classes.empty() && predicted != plain)) return {};
    if (!cupsOwn.empty())
        classes.insert(cupsOwn);
    else if (plain != cups && (SameText(plain, cups) || !TextClass(plain, cups).empty()))
        classes.insert("charset");
    else if (plain != cups && cups.size() >= kCupsTextBytes - 4 && StartsWith(Skeleton(plain), Skeleton(cups)))
        classes.insert("cups-text-limit");
    else if (plain != cups)
        return {};
    return classes;
}

class FileComparison {
public:
    FileComparison(const std::string& path, const PpdLines& lines, Tally& tally)
        : path_(path), lines_(lines), tally_(tally) {}

    // Each libcups feature is compared with the model's feature that the
    // model's rules predict from its *OpenUI line, under the keyword they give.
    void Compare(const PpdDocument& doc, const CupsReading& reading) {
        std::vector<Feature> model = ModelFeatures(doc);
        std::vector<bool> matched(model.size());
        std::set<std::string> duplicates;
        for (const Feature& cups : reading.features) {
            const std::string& k = cups.keyword;
            const OpenUiLine* ui = lines_.OpenUi(k);
            std::string predicted = ui ? ReadLabel(ui->label, kEveryRule).keyword : k;
            auto ours = std::find_if(model.begin(), model.end(), [&](const Feature& f) {
                return !matched[&f - model.data()] && f.keyword == predicted;
            });
            auto named = [&](const Feature& f) { return f.keyword == k; };
            if (lines_.OpenUiCount(k) > 1 && (std::count_if(model.begin(), model.end(), named) > 1 ||
                                              std::count_if(reading.features.begin(), reading.features.end(), named) > 1)) {
                for (const Feature& f : model) matched[&f - model.data()] = matched[&f - model.data()] || f.keyword == k;
                if (duplicates.insert(k).second) Note("duplicate-openui", k, k);
            } else if (ours == model.end()) {
                Note(AbsentClass(k, ui), "feature " + k + " only in libcups", k);
            } else {
                matched[ours - model.begin()] = true;
                std::set<std::string> renamed;
                if (predicted != k) {
                    renamed = Explain(ui->label, &Label::keyword, predicted, k);
                    Note(renamed, "feature " + k + " read as " + predicted, k, predicted);
                }
                CompareFeature(*ours, cups, ui, predicted != k ? &renamed : nullptr);
            }
        }
        for (size_t i = 0; i < model.size(); ++i)
            if (!matched[i]) Note("", "feature " + model[i].keyword + " only in the model");
        CompareInstallables(doc, reading.installables);
        CompareConstraintCount(doc, reading.constraints);
    }

    bool Different() const { return differences_ > 0; }
    // The classes of this file's differences; "" for an unclassified one.
    const std::set<std::string>& Classes() const { return classes_; }

private:
    void Note(const std::set<std::string>& classes, const std::string& what, const std::string& keyword = "",
              const std::string& modelKeyword = "") {
        ++differences_;
        if (classes.empty()) classes_.insert("");
        classes_.insert(classes.begin(), classes.end());
        for (const std::string& k : {keyword, modelKeyword})
            if (!classes.empty() && !k.empty() && !featureClass_.count(k)) featureClass_[k] = *classes.begin();
        tally_.Note(classes, path_, what);
    }
    void Note(const std::string& cls, const std::string& what, const std::string& keyword = "") {
        Note(cls.empty() ? std::set<std::string>() : std::set<std::string>{cls}, what, keyword);
    }

    // Why the model has no feature for libcups's feature `keyword`.
    std::string AbsentClass(const std::string& keyword, const OpenUiLine* ui) const {
        if (lines_.HasLine("*JCLOpenUI *" + keyword + "/") || lines_.HasLine("*JCLOpenUI *" + keyword + ":"))
            return "jcl-openui";
        if (!ui) return "";
        if (lines_.parseEnd != npos && ui->line > lines_.parseEnd) return lines_.parseEndClass;
        if (const std::string* previous = lines_.Previous(ui->line))
            if (StartsWith(*previous, "*UIConstraints") && PpdLines::Values(*previous).size() < 4)
                return "short-constraint-swallows";
        return "";
    }

    // `renamed`: why the model reads the feature under another keyword, if it does.
    void CompareFeature(const Feature& ours, const Feature& cups, const OpenUiLine* ui,
                        const std::set<std::string>* renamed) {
        const std::string& k = cups.keyword;
        if (ours.text != cups.text) {
            static const std::map<std::string, std::string> standard = {
                {"PageSize", "Media Size"}, {"MediaType", "Media Type"}, {"InputSlot", "Media Source"},
                {"ColorModel", "Output Mode"}, {"Resolution", "Resolution"}};
            auto it = standard.find(k);
            bool own = it != standard.end() && cups.text == it->second && ui->label.find('/') == npos;
            Note(Explain(ui->label, &Label::text, ours.text, cups.text, own ? "cups-standard-text" : ""),
                 "feature " + k + " translation \"" + ours.text + "\" vs \"" + cups.text + "\"");
        }
        if (ours.defaultOption != cups.defaultOption)
            Note(DefaultClass(ours, cups, ui),
                 "feature " + k + " default \"" + ours.defaultOption + "\" vs \"" + cups.defaultOption + "\"");
        if (ours.group != cups.group) {
            std::string label;
            bool open = lines_.GroupLabel(ui->line, &label);
            Note(Explain(label, &Label::keyword, ours.group, cups.group, CupsOwnGroup(cups, ui, open)),
                 "feature " + k + " group \"" + ours.group + "\" vs \"" + cups.group + "\"", k);
        }
        // Options are the block's entries that name the feature's keyword: under
        // another keyword the model reads other ones, or none.
        auto same = [](const Choice& a, const Choice& b) { return a.keyword == b.keyword && a.text == b.text; };
        if (!renamed)
            CompareChoices(ours, cups, ui);
        else if (!std::equal(ours.choices.begin(), ours.choices.end(), cups.choices.begin(), cups.choices.end(), same))
            Note(*renamed, "feature " + k + ": options read under " + ours.keyword);
    }

    std::string DefaultClass(const Feature& ours, const Feature& cups, const OpenUiLine* ui) const {
        if (!cups.defaultOption.empty() && StartsWith(ours.defaultOption, cups.defaultOption + "/"))
            return "default-with-slash";
        if (ui) {
            size_t end = ui->stop == npos ? lines_.lines.size() : ui->stop;
            std::string last;
            bool lastIsOwn = false;
            for (size_t i = ui->line + 1; i < end; ++i) {
                if (!StartsWith(lines_.lines[i], "*Default")) continue;
                std::vector<std::string> values = PpdLines::Values(lines_.lines[i]);
                last = values.empty() ? "" : values[0];
                lastIsOwn = StartsWith(lines_.lines[i], "*Default" + cups.keyword + ":");
            }
            if (!lastIsOwn && !last.empty() && SameText(last, ours.defaultOption)) return "foreign-default-in-block";
        }
        return TextClass(ours.defaultOption, cups.defaultOption);
    }

    // libcups's own group name for a feature: "General" outside any group, and
    // after a *JCLOpenUI, which leaves the group open in the model.
    std::string CupsOwnGroup(const Feature& cups, const OpenUiLine* ui, bool open) const {
        if (cups.group != "General") return "";
        if (!open) return "no-group-is-general";
        for (size_t i = ui->line; i-- > 0 && !StartsWith(lines_.lines[i], "*OpenGroup");)
            if (StartsWith(lines_.lines[i], "*JCLOpenUI")) return "jcl-closes-cups-group";
        return "";
    }

    void CompareChoices(const Feature& ours, const Feature& cups, const OpenUiLine* ui) {
        const std::string& k = cups.keyword;
        std::vector<Choice> theirs = cups.choices;
        std::string custom = "*Custom" + (k == "PageRegion" ? std::string("PageSize") : k) + " True";
        auto customChoice = std::find_if(theirs.begin(), theirs.end(), [](const Choice& c) { return c.keyword == "Custom"; });
        bool oursHasCustom = std::any_of(ours.choices.begin(), ours.choices.end(),
                                         [](const Choice& c) { return c.keyword == "Custom"; });
        if (customChoice != theirs.end() && !oursHasCustom && lines_.HasLine(custom)) {
            theirs.erase(customChoice);
            Note("cups-custom-choice", "feature " + k + " Custom choice");
        }
        if (ui && ours.choices.size() < theirs.size()) {
            // Options whose line the model's reader took into a quoted value
            // opened in a localised line's translation.
            const std::map<size_t, size_t>& taken = lines_.TakenByLocalisedQuote();
            std::vector<Choice> kept;
            std::vector<std::string> lost;
            for (const Choice& c : theirs) {
                auto it = taken.find(lines_.OptionLine(*ui, k, c.keyword));
                if (it == taken.end())
                    kept.push_back(c);
                else
                    lost.push_back("feature " + k + " option " + c.keyword + " (line " + std::to_string(it->first + 1) +
                                   ") taken by the quote at line " + std::to_string(it->second + 1));
            }
            if (!lost.empty() && kept.size() == ours.choices.size()) {
                for (const std::string& what : lost) Note("localised-quote-takes-option", what);
                theirs = kept;
            }
        }
        if (ours.choices.size() != theirs.size()) {
            std::string cls;
            if (ui && lines_.parseEnd == ui->line && ours.choices.size() < theirs.size()) cls = lines_.parseEndClass;
            Note(cls, "feature " + k + " has " + std::to_string(ours.choices.size()) + " options, libcups " +
                          std::to_string(theirs.size()));
            return;
        }
        for (size_t i = 0; i < theirs.size(); ++i) {
            const Choice& a = ours.choices[i];
            const Choice& b = theirs[i];
            if (a.keyword == b.keyword && a.text == b.text) continue;
            size_t line = ui ? lines_.OptionLine(*ui, k, b.keyword) : npos;
            std::string raw = line != npos ? lines_.LabelAt(line, k.size() + 1) : b.keyword + "/" + b.text;
            bool yesNo = raw.find('/') == npos &&
                         ((b.keyword == "True" && b.text == "Yes") || (b.keyword == "False" && b.text == "No"));
            std::set<std::string> classes;
            bool explained = AddWhy(classes, raw, &Label::keyword, a.keyword, b.keyword) &
                             AddWhy(classes, raw, &Label::text, a.text, b.text, yesNo ? "cups-yes-no" : "");
            Note(explained ? classes : std::set<std::string>(), "feature " + k + " option " + std::to_string(i) + " \"" +
                                                                     a.keyword + "\"/\"" + a.text + "\" vs \"" + b.keyword +
                                                                     "\"/\"" + b.text + "\"");
        }
    }

    // Adds why one field of a label differs to `classes`; false when nothing explains it.
    static bool AddWhy(std::set<std::string>& classes, const std::string& raw, std::string Label::*field,
                       const std::string& model, const std::string& cups, const std::string& cupsOwn = "") {
        if (model == cups) return true;
        std::set<std::string> why = Explain(raw, field, model, cups, cupsOwn);
        classes.insert(why.begin(), why.end());
        return !why.empty();
    }

    void CompareInstallables(const PpdDocument& doc, const std::vector<std::string>& cups) {
        std::vector<std::string> ours;
        for (int32_t i = 0; i < doc.installableCount; ++i) {
            std::string keyword = Utf8(doc.installables[i]->keyword);
            ours.push_back(StartsWith(keyword, "*") ? keyword.substr(1) : keyword);
        }
        if (ours == cups) return;
        // Every installable feature on one side only must follow from a
        // feature difference already classified, or from the parse's end.
        std::vector<std::string> common;
        for (const std::string& k : ours)
            if (std::count(cups.begin(), cups.end(), k)) common.push_back(k);
        std::vector<std::string> commonCups;
        for (const std::string& k : cups)
            if (std::count(ours.begin(), ours.end(), k)) commonCups.push_back(k);
        if (common != commonCups) Note("", "installable features in another order");
        auto explain = [&](const std::string& k, const char* side) {
            auto known = featureClass_.find(k);
            std::string cls = known != featureClass_.end() ? known->second : "";
            const OpenUiLine* ui = lines_.OpenUi(k);
            if (ui && lines_.parseEnd != npos && ui->line >= lines_.parseEnd) cls = lines_.parseEndClass;
            if (cls.empty() && lines_.HasLine("*JCLOpenUI *" + k)) cls = "jcl-openui";
            if (cls.empty() && ui && ReadLabel(ui->label, kEveryRule).keyword != ui->keyword) cls = "slash-pieces";
            if (cls.empty() && ui) {
                for (size_t i = ui->line; i-- > 0 && cls.empty();) {
                    if (StartsWith(lines_.lines[i], "*OpenGroup")) break;
                    if (StartsWith(lines_.lines[i], "*JCLOpenUI")) cls = "jcl-closes-cups-group";
                }
            }
            if (cls.empty() && lines_.OpenUiCount(k) > 1) cls = "duplicate-openui";
            Note(cls, std::string("installable ") + k + " only in " + side);
        };
        for (const std::string& k : ours)
            if (!std::count(cups.begin(), cups.end(), k)) explain(k, "the model");
        for (const std::string& k : cups)
            if (!std::count(ours.begin(), ours.end(), k)) explain(k, "libcups");
    }

    // libcups counts every *UIConstraints and *NonUIConstraints line. The
    // model reads the *UIConstraints entries its parse reaches, less those
    // whose keyword an earlier short entry took as one of its four tokens.
    void CompareConstraintCount(const PpdDocument& doc, long cups) {
        long ui = 0, nonUi = 0, afterEnd = 0;
        for (size_t i = 0; i < lines_.lines.size(); ++i) {
            if (StartsWith(lines_.lines[i], "*UIConstraints")) {
                ++ui;
                if (lines_.parseEnd != npos && i > lines_.parseEnd) ++afterEnd;
            } else if (StartsWith(lines_.lines[i], "*NonUIConstraints")) {
                ++nonUi;
            }
        }
        long swallowed = 0;
        for (int32_t i = 0; i < doc.constraintCount; ++i) {
            const PpdConstraint& c = *doc.constraints[i];
            for (const PpdString* field : {&c.feature1, &c.option1, &c.feature2, &c.option2})
                swallowed += field->Equals(u"*UIConstraints");
        }
        long model = doc.constraintCount;
        if (model == cups) return;
        if (cups == ui + nonUi && model == ui - swallowed - afterEnd) {
            if (nonUi) Note("non-ui-constraints", std::to_string(nonUi) + " *NonUIConstraints");
            if (swallowed) Note("short-constraint-swallows", std::to_string(swallowed) + " entries taken");
            if (afterEnd) Note(lines_.parseEndClass, std::to_string(afterEnd) + " entries after the parse ended");
            return;
        }
        Note("", "constraints: model " + std::to_string(model) + ", libcups " + std::to_string(cups) +
                     " (" + std::to_string(ui) + " *UIConstraints, " + std::to_string(nonUi) +
                     " *NonUIConstraints, " + std::to_string(swallowed) + " taken, " + std::to_string(afterEnd) +
                     " after the end)");
    }

    std::string path_;
    const PpdLines& lines_;
    Tally& tally_;
    long differences_ = 0;
    std::set<std::string> classes_;
    std::map<std::string, std::string> featureClass_;  // first class noted per feature keyword
};

TEST(CorpusAgainstCups, EveryDifferenceHasANamedClass) {
    const std::vector<std::string> files = corpus::Files();
    auto start = std::chrono::steady_clock::now();
    std::string list = testing::TempDir() + "corvina-cups-files-" + std::to_string(getpid());
    {
        std::ofstream out(list);
        for (const std::string& path : files) out << path << '\n';
    }
    FILE* pipe = popen(("'" CORVINA_CUPS_READER "' < '" + list + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    Tally tally;
    size_t identical = 0, read = 0;
    CupsReading reading;
    while (ReadCups(pipe, reading)) {
        ASSERT_LT(read, files.size());
        ASSERT_EQ(reading.path, files[read]);
        ++read;
        if (!reading.error.empty()) {
            tally.Note({}, reading.path, "libcups refuses the file: " + reading.error);
            continue;
        }
        auto doc = corpus::BuildModel(reading.path, corpus::CodePageFor(reading.path));
        ASSERT_NE(doc, nullptr);
        PpdLines lines(reading.path);
        FileComparison comparison(reading.path, lines, tally);
        comparison.Compare(*doc, reading);
        identical += !comparison.Different();
        if (!lines.expectedClasses.empty()) {
            EXPECT_EQ(comparison.Classes(), lines.expectedClasses) << reading.path;
        }
    }
    EXPECT_EQ(pclose(pipe), 0);
    std::remove(list.c_str());
    EXPECT_EQ(read, files.size()) << "the libcups reader stopped early";
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    tally.Report(files.size(), identical, seconds);
}

}  // namespace
