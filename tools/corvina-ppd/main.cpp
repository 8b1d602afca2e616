// corvina-ppd: shows what the plug-in's PPD model makes of a PPD file, for
// driver engineers: features by group with the options the installed
// configuration rules out, or the whole model as JSON; with --lint, where the
// file and the plug-in's reading of it part ways.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Platform.h"
#include "platform/UniqueAny.h"
#include "platform/portable/PortablePlatform.h"
#include "platform/portable/Utf8.h"
#include "ppd/PpdDocument.h"
#include "ppd/PpdParseReport.h"
#include "tools/corvina-ppd/Lint.h"

namespace {

const char kUsage[] =
    "usage: corvina-ppd [--json] [--codepage N] [--installed '*Keyword=Option']... FILE\n"
    "       corvina-ppd --lint [--json] [--all] [--fail-on error|warning|note] [--codepage N] FILE\n"
    "  --lint prints errors and warnings and counts the notes (--all prints them too, --json\n"
    "  holds everything); exits 0 with nothing to report, 3 with findings of the --fail-on\n"
    "  severity or above (default note: any finding)\n";

struct Options {
    bool json = false;
    bool lint = false;
    bool allFindings = false;                  // --all: the notes' lines too
    LintSeverity failOn = LintSeverity::Note;  // the least severity that exits 3
    bool failOnGiven = false;
    unsigned codePage = 1252;
    std::vector<std::string> installed;
    const char* file = nullptr;
};

// `status` once all that went to stdout is written, else 1 with a line on
// stderr: output lost on the way must not pass for a clean run. Writes to
// stderr go unchecked, as there is nowhere left to report a failing stderr.
int Finish(int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
    (void)std::fprintf(stderr, "corvina-ppd: cannot write the output: %s\n", std::strerror(errno));
    return 1;
}

// UTF-8 from the command line; a malformed sequence keeps its bytes as units.
std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char b = text[i];
        int extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : 0;
        char32_t c = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : b & 0x1F;
        bool valid = extra > 0 && i + extra < text.size();
        for (int k = 1; valid && k <= extra; ++k) {
            unsigned char next = text[i + k];
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (b < 0x80 || !valid) {
            out.push_back(b);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += extra + 1;
    }
    return out;
}

std::string ToUtf8(const PpdString& s) { return platform::ToUtf8(s.text); }

// The option keyword the way the host hands it over: narrowed to the ANSI
// code page, one byte per unit.
std::u16string ToAnsiUnits(const std::u16string& wide) {
    std::vector<char> bytes(wide.size() * 2 + 1);
    int n = platform::WideToAnsi(wide.c_str(), bytes.data(), static_cast<int>(bytes.size()));
    if (n <= 0) return wide;
    std::u16string units;
    for (int i = 0; i + 1 < n; ++i) units.push_back(static_cast<unsigned char>(bytes[i]));
    return units;
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += "0123456789abcdef"[c >> 4];
                    out += "0123456789abcdef"[c & 0xF];
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    return out + "\"";
}

std::string Field(const char* name, const PpdString& value) {
    return JsonString(name) + ": " + JsonString(ToUtf8(value));
}

void PrintJson(const PpdDocument& doc) {
    std::string out = "{\n";
    out += "  " + Field("modelName", doc.modelName) + ",\n";
    out += "  " + Field("product", doc.product) + ",\n";
    out += "  " + Field("manufacturer", doc.manufacturer) + ",\n";
    out += "  " + Field("languageEncoding", doc.languageEncoding) + ",\n";
    out += "  " + Field("languageVersion", doc.languageVersion) + ",\n";
    out += "  \"features\": [";
    for (int32_t i = 0; i < doc.featureCount; ++i) {
        const PpdFeature& f = *doc.GetFeature(i);
        out += i ? ",\n    {" : "\n    {";
        out += Field("keyword", f.keyword) + ", " + Field("translation", f.translation) + ", " +
               Field("defaultOption", f.defaultOption) + ", " + Field("group", f.group) + ", " +
               Field("groupTranslation", f.groupTranslation) + ", \"uiType\": " + std::to_string(f.uiType) +
               ", \"orderDependency\": " + std::to_string(f.orderDependency) + ", \"options\": [";
        for (int32_t o = 0; o < f.optionCount; ++o) {
            const PpdOption& option = *f.options[o];
            out += o ? ",\n      {" : "\n      {";
            out += Field("keyword", option.keyword) + ", " + Field("translation", option.translation) +
                   ", \"constrained\": " + (option.constrained ? "true" : "false") + "}";
        }
        out += f.optionCount ? "\n    ]}" : "]}";
    }
    out += doc.featureCount ? "\n  ],\n" : "],\n";
    out += "  \"installables\": [";
    for (int32_t i = 0; i < doc.installableCount; ++i) {
        const PpdInstallableOption& installable = *doc.installables[i];
        out += i ? ",\n    {" : "\n    {";
        out += Field("keyword", installable.keyword) + ", " + Field("currentOption", installable.currentOption) + "}";
    }
    out += doc.installableCount ? "\n  ],\n" : "],\n";
    out += "  \"constraints\": [";
    for (int32_t i = 0; i < doc.constraintCount; ++i) {
        const PpdConstraint& c = *doc.constraints[i];
        out += i ? ",\n    {" : "\n    {";
        out += Field("feature1", c.feature1) + ", " + Field("option1", c.option1) + ", " +
               Field("feature2", c.feature2) + ", " + Field("option2", c.option2) + "}";
    }
    out += doc.constraintCount ? "\n  ]\n}\n" : "]\n}\n";
    (void)std::fwrite(out.data(), 1, out.size(), stdout);  // Finish checks stdout
}

const char* UiTypeName(int32_t uiType) {
    return uiType == uiPickMany ? "PickMany" : uiType == uiBoolean ? "Boolean" : "PickOne";
}

// Why the plug-in stops reading before the end of the file, by PpdParseEnd.
const char* const kParseEnds[] = {"", "the file ends inside an entry", "the file ends inside a feature block",
                                  "a second query keyword in a feature block", "out of memory"};

// Features grouped by their group, groups in the order they first appear.
void PrintText(const PpdDocument& doc, const PpdParseReport& report) {
    std::printf("Model:        %s\n", ToUtf8(doc.modelName).c_str());
    std::printf("Product:      %s\n", ToUtf8(doc.product).c_str());
    std::printf("Manufacturer: %s\n", ToUtf8(doc.manufacturer).c_str());
    std::printf("Language:     %s (%s)\n", ToUtf8(doc.languageVersion).c_str(),
                ToUtf8(doc.languageEncoding).c_str());
    std::printf("%d features, %d installable options, %d constraints\n", doc.featureCount,
                doc.installableCount, doc.constraintCount);
    if (report.end != PpdParseEnd::Complete)
        std::printf("The plug-in stops reading at line %d: %s\n", report.last.line,
                    kParseEnds[static_cast<int>(report.end)]);

    // One pass puts each feature with its group, so that many groups cost no
    // more than many features.
    std::vector<std::vector<int32_t>> groups;
    std::unordered_map<std::u16string, size_t> groupIndex;
    for (int32_t i = 0; i < doc.featureCount; ++i) {
        auto [it, fresh] = groupIndex.try_emplace(doc.GetFeature(i)->group.text, groups.size());
        if (fresh) groups.emplace_back();
        groups[it->second].push_back(i);
    }
    for (const std::vector<int32_t>& members : groups) {
        const PpdFeature& first = *doc.GetFeature(members.front());
        if (first.group.length)
            std::printf("\n[%s] %s\n", ToUtf8(first.group).c_str(), ToUtf8(first.groupTranslation).c_str());
        else
            std::printf("\n[no group]\n");
        for (int32_t i : members) {
            const PpdFeature& f = *doc.GetFeature(i);
            std::printf("  %s  \"%s\"  %s, default %s\n", ToUtf8(f.keyword).c_str(),
                        ToUtf8(f.translation).c_str(), UiTypeName(f.uiType), ToUtf8(f.defaultOption).c_str());
            for (int32_t o = 0; o < f.optionCount; ++o) {
                const PpdOption& option = *f.options[o];
                std::printf("    %s %s  \"%s\"\n", option.constrained ? "x" : " ", ToUtf8(option.keyword).c_str(),
                            ToUtf8(option.translation).c_str());
            }
        }
    }
    if (doc.installableCount) std::printf("\nInstalled:\n");
    for (int32_t i = 0; i < doc.installableCount; ++i)
        std::printf("  %s = %s\n", ToUtf8(doc.installables[i]->keyword).c_str(),
                    ToUtf8(doc.installables[i]->currentOption).c_str());
    if (doc.featureCount) std::printf("\n(x: ruled out by the installed options)\n");
}

// The notes of the text output as one line, counted per class in the order
// of the classes, or nothing without notes.
std::string NotesLine(const char* file, const int (&counts)[kLintClassCount]) {
    int total = 0;
    std::string perClass;
    for (int k = 0; k < kLintClassCount; ++k) {
        const auto kind = static_cast<LintClass>(k);
        if (!counts[k] || LintClassSeverity(kind) != LintSeverity::Note) continue;
        total += counts[k];
        perClass += (perClass.empty() ? "" : ", ") + std::to_string(counts[k]) + " " + LintClassName(kind);
    }
    if (!total) return "";
    return std::string(file) + ": " + std::to_string(total) + (total == 1 ? " note" : " notes") +
           " not shown (--all shows them): " + perClass + "\n";
}

// The bytes of the file; false with errno's value in `error` when it cannot
// be read.
bool ReadWhole(const char* path, std::string& bytes, int& error) {
    const platform::UniqueFile file(std::fopen(path, "r"));
    error = errno;
    if (!file) return false;
    char chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) bytes.append(chunk, n);
    error = errno;
    return std::ferror(file.get()) == 0;
}

int CannotRead(const char* path, const char* why) {
    (void)std::fprintf(stderr, "corvina-ppd: cannot read %s: %s\n", path, why);
    return 1;
}

// Findings as "FILE:LINE: severity: class: reason", the notes counted in one
// line unless --all, or one JSON object with everything; 3 when there are
// findings of the --fail-on severity or above.
int Lint(const Options& options) {
    std::string bytes;
    int error = 0;
    if (!ReadWhole(options.file, bytes, error)) return CannotRead(options.file, std::strerror(error));
    LintResult result = LintPpd(bytes);
    if (!result.modelBuilt) return CannotRead(options.file, "out of memory");
    std::string out;
    int counts[kLintClassCount] = {};
    int severityCounts[kLintSeverityCount] = {};
    bool fails = false;
    for (const LintFinding& f : result.findings) {
        const LintSeverity severity = LintClassSeverity(f.kind);
        ++counts[static_cast<int>(f.kind)];
        ++severityCounts[static_cast<int>(severity)];
        fails = fails || severity <= options.failOn;
    }
    if (options.json) {
        out = "{\n  \"file\": " + JsonString(options.file) + ",\n  \"findings\": [";
        for (size_t i = 0; i < result.findings.size(); ++i) {
            const LintFinding& f = result.findings[i];
            out += (i ? ",\n    {" : "\n    {") + std::string("\"line\": ") + std::to_string(f.line) +
                   ", \"class\": " + JsonString(LintClassName(f.kind)) +
                   ", \"severity\": " + JsonString(LintSeverityName(LintClassSeverity(f.kind))) +
                   ", \"reason\": " + JsonString(f.reason) + "}";
        }
        out += result.findings.empty() ? "],\n  \"counts\": {" : "\n  ],\n  \"counts\": {";
        bool first = true;
        for (int k = 0; k < kLintClassCount; ++k) {
            if (!counts[k]) continue;
            out += (first ? "" : ", ") + JsonString(LintClassName(static_cast<LintClass>(k))) + ": " +
                   std::to_string(counts[k]);
            first = false;
        }
        out += "},\n  \"severities\": {";
        for (int s = 0; s < kLintSeverityCount; ++s)
            out += (s ? ", " : "") + JsonString(LintSeverityName(static_cast<LintSeverity>(s))) + ": " +
                   std::to_string(severityCounts[s]);
        out += "}\n}\n";
    } else {
        for (const LintFinding& f : result.findings) {
            const LintSeverity severity = LintClassSeverity(f.kind);
            if (severity == LintSeverity::Note && !options.allFindings) continue;
            out += options.file;
            if (f.line > 0) out += ":" + std::to_string(f.line);
            out += std::string(": ") + LintSeverityName(severity) + ": " + LintClassName(f.kind) + ": " + f.reason +
                   "\n";
        }
        if (!options.allFindings) out += NotesLine(options.file, counts);
    }
    (void)std::fwrite(out.data(), 1, out.size(), stdout);  // Finish checks stdout
    return Finish(fails ? 3 : 0);
}

int Usage(const char* problem) {
    if (problem) (void)std::fprintf(stderr, "corvina-ppd: %s\n", problem);
    (void)std::fputs(kUsage, stderr);
    return 2;
}

// Takes "--name value" and "--name=value".
bool TakeValue(int argc, char** argv, int& i, const char* name, const char** value) {
    size_t n = std::strlen(name);
    if (std::strncmp(argv[i], name, n) != 0) return false;
    if (argv[i][n] == '=') {
        *value = argv[i] + n + 1;
        return true;
    }
    if (argv[i][n] != 0) return false;
    *value = i + 1 < argc ? argv[++i] : nullptr;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* value = nullptr;
        if (std::strcmp(argv[i], "--json") == 0) {
            options.json = true;
        } else if (std::strcmp(argv[i], "--lint") == 0) {
            options.lint = true;
        } else if (std::strcmp(argv[i], "--all") == 0) {
            options.allFindings = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            (void)std::fputs(kUsage, stdout);
            return Finish(0);
        } else if (TakeValue(argc, argv, i, "--codepage", &value)) {
            char* end = nullptr;
            unsigned long cp = value ? std::strtoul(value, &end, 10) : 0;
            if (!value || *end || (cp != 1252 && cp != 932)) return Usage("--codepage takes 1252 or 932");
            options.codePage = static_cast<unsigned>(cp);
        } else if (TakeValue(argc, argv, i, "--fail-on", &value)) {
            bool known = false;
            for (int s = 0; s < kLintSeverityCount && value && !known; ++s) {
                known = std::strcmp(value, LintSeverityName(static_cast<LintSeverity>(s))) == 0;
                if (known) options.failOn = static_cast<LintSeverity>(s);
            }
            options.failOnGiven = known;
            if (!known) return Usage("--fail-on takes error, warning or note");
        } else if (TakeValue(argc, argv, i, "--installed", &value)) {
            if (!value || !std::strchr(value, '=')) return Usage("--installed takes '*Keyword=Option'");
            options.installed.push_back(value);
        } else if (argv[i][0] == '-' && argv[i][1] != 0) {
            return Usage((std::string("unknown option ") + argv[i]).c_str());
        } else if (options.file) {
            return Usage("one FILE only");
        } else {
            options.file = argv[i];
        }
    }
    if (!options.file) return Usage(nullptr);
    if (options.lint && !options.installed.empty()) return Usage("--lint takes no --installed");
    if (!options.lint && (options.allFindings || options.failOnGiven))
        return Usage("--all and --fail-on go with --lint");
    platform::portable::SetAnsiCodePage(options.codePage);
    if (options.lint) return Lint(options);

    std::string bytes;
    int error = 0;
    if (!ReadWhole(options.file, bytes, error)) return CannotRead(options.file, std::strerror(error));
    PpdParseReport report;
    const UniquePpdDocument doc = BuildModel(bytes, &report);
    if (!doc || report.end == PpdParseEnd::OutOfMemory) return CannotRead(options.file, "out of memory");

    for (const std::string& setting : options.installed) {
        size_t equals = setting.find('=');
        std::u16string keyword = FromUtf8(setting.substr(0, equals));
        std::u16string option = ToAnsiUnits(FromUtf8(setting.substr(equals + 1)));
        bool known = false;
        for (int32_t i = 0; i < doc->installableCount && !known; ++i)
            known = doc->installables[i]->keyword.Equals(keyword.c_str());
        if (!known)
            (void)std::fprintf(stderr, "corvina-ppd: no installable option %s; ignored\n",
                               setting.substr(0, equals).c_str());
        doc->SetInstallableOption(keyword.c_str(), option.c_str(), false);
    }
    doc->EvaluateConstraints();

    if (options.json)
        PrintJson(*doc);
    else
        PrintText(*doc, report);
    return Finish(0);
}
