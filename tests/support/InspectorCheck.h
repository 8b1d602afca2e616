// Runs the corvina-ppd inspector and compares its JSON with a model built in
// the test, field by field. Shared by the unit tests and the corpus tests.
#pragma once

#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/PpdSource.h"

namespace inspector {

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json* Member(std::string_view name) const {
        for (const auto& [key, value] : members)
            if (key == name) return &value;
        return nullptr;
    }
};

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    bool Parse(Json& out) {
        if (!Value(out)) return false;
        Skip();
        return pos_ == text_.size();
    }
    size_t Position() const { return pos_; }

private:
    void Skip() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\r' ||
                                        text_[pos_] == '\t'))
            ++pos_;
    }
    bool Eat(char c) {
        Skip();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }
    static void AppendUtf8(std::string& out, unsigned c) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    bool StringValue(std::string& out) {
        if (!Eat('"')) return false;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= text_.size()) return false;
            char e = text_[pos_++];
            switch (e) {
                case '"': case '\\': case '/': out.push_back(e); break;
                case 'n': out.push_back('\n'); break;
                case 'r': out.push_back('\r'); break;
                case 't': out.push_back('\t'); break;
                case 'b': out.push_back('\b'); break;
                case 'f': out.push_back('\f'); break;
                case 'u': {
                    if (pos_ + 4 > text_.size()) return false;
                    unsigned c16 = std::stoul(std::string(text_.substr(pos_, 4)), nullptr, 16);
                    pos_ += 4;
                    AppendUtf8(out, c16);
                    break;
                }
                default: return false;
            }
        }
        return false;
    }
    bool Value(Json& out) {
        Skip();
        if (pos_ >= text_.size()) return false;
        char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            out.kind = Json::Object;
            if (Eat('}')) return true;
            do {
                std::string key;
                Json value;
                if (!StringValue(key) || !Eat(':') || !Value(value)) return false;
                out.members.emplace_back(std::move(key), std::move(value));
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            ++pos_;
            out.kind = Json::Array;
            if (Eat(']')) return true;
            do {
                out.items.emplace_back();
                if (!Value(out.items.back())) return false;
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"') {
            out.kind = Json::String;
            return StringValue(out.text);
        }
        if (Literal("true") || Literal("false")) {
            out.kind = Json::Bool;
            out.boolean = text_[pos_ - 1] == 'e' && text_[pos_ - 2] == 'u';
            return true;
        }
        if (Literal("null")) return true;
        size_t start = pos_;
        while (pos_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '-'))
            ++pos_;
        if (start == pos_) return false;
        out.kind = Json::Number;
        out.number = std::stod(std::string(text_.substr(start, pos_ - start)));
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs the tool with the arguments, capturing both streams in files.
inline RunResult RunTool(const std::string& tool, const std::vector<std::string>& args,
                         const std::string& scratch) {
    std::string command = Quote(tool);
    for (const std::string& arg : args) command += " " + Quote(arg);
    command += " >" + Quote(scratch + ".out") + " 2>" + Quote(scratch + ".err");
    RunResult result;
    int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadWhole(scratch + ".out");
    result.err = ReadWhole(scratch + ".err");
    std::remove((scratch + ".out").c_str());
    std::remove((scratch + ".err").c_str());
    return result;
}

// Differences between the JSON and the model, as "path: json vs model".
class ModelComparison {
public:
    std::vector<std::string> differences;

    void Compare(const Json& root, const PpdDocument& doc) {
        Keys(root, "", {"modelName", "product", "manufacturer", "languageEncoding", "languageVersion",
                        "features", "installables", "constraints"});
        Text(root, "modelName", doc.modelName, "");
        Text(root, "product", doc.product, "");
        Text(root, "manufacturer", doc.manufacturer, "");
        Text(root, "languageEncoding", doc.languageEncoding, "");
        Text(root, "languageVersion", doc.languageVersion, "");

        const Json* features = Array(root, "features", doc.featureCount, "");
        for (int32_t i = 0; features && i < doc.featureCount; ++i) {
            const PpdFeature& f = *doc.GetFeature(i);
            const Json& jf = features->items[i];
            std::string at = "features[" + std::to_string(i) + "].";
            Keys(jf, at, {"keyword", "translation", "defaultOption", "group", "groupTranslation", "uiType",
                          "orderDependency", "options"});
            Text(jf, "keyword", f.keyword, at);
            Text(jf, "translation", f.translation, at);
            Text(jf, "defaultOption", f.defaultOption, at);
            Text(jf, "group", f.group, at);
            Text(jf, "groupTranslation", f.groupTranslation, at);
            Number(jf, "uiType", f.uiType, at);
            Number(jf, "orderDependency", f.orderDependency, at);
            const Json* options = Array(jf, "options", f.optionCount, at);
            for (int32_t o = 0; options && o < f.optionCount; ++o) {
                const PpdOption& option = *f.options[o];
                const Json& jo = options->items[o];
                std::string oat = at + "options[" + std::to_string(o) + "].";
                Keys(jo, oat, {"keyword", "translation", "constrained"});
                Text(jo, "keyword", option.keyword, oat);
                Text(jo, "translation", option.translation, oat);
                const Json* constrained = jo.Member("constrained");
                if (!constrained || constrained->kind != Json::Bool || constrained->boolean != (option.constrained != 0))
                    Differ(oat + "constrained");
            }
        }
        const Json* installables = Array(root, "installables", doc.installableCount, "");
        for (int32_t i = 0; installables && i < doc.installableCount; ++i) {
            std::string at = "installables[" + std::to_string(i) + "].";
            Keys(installables->items[i], at, {"keyword", "currentOption"});
            Text(installables->items[i], "keyword", doc.installables[i]->keyword, at);
            Text(installables->items[i], "currentOption", doc.installables[i]->currentOption, at);
        }
        const Json* constraints = Array(root, "constraints", doc.constraintCount, "");
        for (int32_t i = 0; constraints && i < doc.constraintCount; ++i) {
            const PpdConstraint& c = *doc.constraints[i];
            const Json& jc = constraints->items[i];
            std::string at = "constraints[" + std::to_string(i) + "].";
            Keys(jc, at, {"feature1", "option1", "feature2", "option2"});
            Text(jc, "feature1", c.feature1, at);
            Text(jc, "option1", c.option1, at);
            Text(jc, "feature2", c.feature2, at);
            Text(jc, "option2", c.option2, at);
        }
    }

private:
    void Differ(const std::string& what) {
        if (differences.size() < 20) differences.push_back(what);
    }
    void Keys(const Json& object, const std::string& at, const std::vector<std::string>& names) {
        if (object.kind != Json::Object) return Differ(at + " is not an object");
        std::vector<std::string> keys;
        for (const auto& member : object.members) keys.push_back(member.first);
        if (keys != names) Differ(at + " has other fields");
    }
    void Text(const Json& object, const char* name, const PpdString& value, const std::string& at) {
        const Json* member = object.Member(name);
        std::string expected = ppdtest::Utf8(value.text);
        if (!member || member->kind != Json::String)
            Differ(at + name + " missing");
        else if (member->text != expected)
            Differ(at + name + ": \"" + member->text + "\" vs \"" + expected + "\"");
    }
    void Number(const Json& object, const char* name, int32_t value, const std::string& at) {
        const Json* member = object.Member(name);
        if (!member || member->kind != Json::Number || member->number != value)
            Differ(at + name + " differs from " + std::to_string(value));
    }
    const Json* Array(const Json& object, const char* name, int32_t count, const std::string& at) {
        const Json* member = object.Member(name);
        if (!member || member->kind != Json::Array) {
            Differ(at + name + " missing");
            return nullptr;
        }
        if (member->items.size() != static_cast<size_t>(count)) {
            Differ(at + name + " has " + std::to_string(member->items.size()) + " entries, the model " +
                   std::to_string(count));
            return nullptr;
        }
        return member;
    }
};

}  // namespace inspector
