// Option-item arrays as the host driver builds them from a PPD, for the
// native tests and the Windows test host alike: OPTITEM records with their
// OPTTYPE and OPTPARAM arrays, names and option texts from the PPD's
// translations, and UserData pointing to a host record whose third
// pointer-sized field is the feature's 8-bit keyword without '*'.
//
// Header-only and standard C++ over "platform/HostAbi.h"; it reads the PPD
// with its own small outline reader, independent of the plug-in's model.
// The Windows test host builds its sheets with it too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/HostAbi.h"
#include "platform/portable/Utf8.h"

namespace hostitems {

// ---- The PPD as the host sees it ----------------------------------------

struct OutlineOption {
    std::string keyword;
    std::u16string translation;
};

struct OutlineFeature {
    std::string keyword;  // without '*'
    std::u16string translation;
    std::string group;
    std::vector<OutlineOption> options;
};

// Bytes of a translation string with its <hex> pieces decoded, as ISOLatin1
// text (one unit per byte).
inline std::u16string DecodeTranslation(std::string_view text) {
    std::u16string out;
    bool hex = false;
    int high = -1;
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (char c : text) {
        if (c == '<') {
            hex = true;
            high = -1;
        } else if (c == '>') {
            hex = false;
        } else if (!hex) {
            out.push_back(static_cast<unsigned char>(c));
        } else if (digit(c) >= 0) {
            if (high < 0) {
                high = digit(c);
            } else {
                out.push_back(static_cast<char16_t>(high * 16 + digit(c)));
                high = -1;
            }
        }
    }
    return out;
}

// "Keyword/Translation" (the part before the colon): the keyword and its
// translation, the keyword itself when there is none.
inline void SplitKeyword(std::string_view text, std::string& keyword, std::u16string& translation) {
    const size_t slash = text.find('/');
    keyword = std::string(text.substr(0, slash));
    translation = DecodeTranslation(slash == std::string_view::npos ? text : text.substr(slash + 1));
}

// The features between *OpenUI and *CloseUI, with their options and groups.
// Line-based, skipping the lines of multi-line quoted values.
inline std::vector<OutlineFeature> ReadPpdOutline(std::string_view ppd) {
    std::vector<OutlineFeature> features;
    std::string group;
    bool inFeature = false;
    bool inQuote = false;
    size_t pos = 0;
    while (pos < ppd.size()) {
        size_t end = ppd.find('\n', pos);
        if (end == std::string_view::npos) end = ppd.size();
        std::string_view line = ppd.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        const bool quotedLine = !inQuote;
        size_t quotes = 0;
        for (char c : line) quotes += c == '"';
        if (!quotedLine) {
            if (quotes % 2) inQuote = false;
            continue;
        }
        if (quotes % 2) inQuote = true;
        if (line.size() < 2 || line[0] != '*' || line[1] == '%') continue;

        const size_t colon = line.find(':');
        std::string_view head = line.substr(0, colon);
        std::string_view rest = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);

        if (head == "*OpenGroup") {
            group = std::string(rest.substr(0, rest.find('/')));
        } else if (head == "*CloseGroup") {
            group.clear();
        } else if (head.substr(0, 8) == "*OpenUI ") {
            OutlineFeature feature;
            std::string_view name = head.substr(8);
            while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
            if (!name.empty() && name.front() == '*') name.remove_prefix(1);
            SplitKeyword(name, feature.keyword, feature.translation);
            feature.group = group;
            features.push_back(std::move(feature));
            inFeature = true;
        } else if (head == "*CloseUI") {
            inFeature = false;
        } else if (inFeature) {
            OutlineFeature& feature = features.back();
            const std::string prefix = "*" + feature.keyword + " ";
            if (head.substr(0, prefix.size()) == prefix) {
                OutlineOption option;
                SplitKeyword(head.substr(prefix.size()), option.keyword, option.translation);
                feature.options.push_back(std::move(option));
            }
        }
    }
    return features;
}

inline std::string ReadWholeFile(const char* path) {
    std::string bytes;
    if (FILE* file = std::fopen(path, "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
        std::fclose(file);
    }
    return bytes;
}

// ---- Item arrays ----------------------------------------------------------

using HostChar = std::remove_const_t<std::remove_pointer_t<decltype(OPTITEM::pName)>>;
static_assert(sizeof(HostChar) == sizeof(char16_t));

// One option: a text, or a host resource id when resourceId is not 0.
struct OptionSpec {
    std::u16string text;
    uintptr_t resourceId = 0;
    BYTE flags = 0;         // OPTPARAM::Flags as the host set them
    bool nullText = false;  // pData null: neither a text nor a resource id
};

struct ItemSpec {
    std::u16string name;       // used when nameId is 0
    uintptr_t nameId = 0;      // host resource id in place of a name
    std::string hostKeyword;   // 8-bit, no '*'; empty: see keywordRecord
    bool keywordRecord = true; // with an empty keyword: UserData to a record whose field is null
    BYTE level = 1;
    BYTE dmPubId = 0;
    LONG sel = 0;
    DWORD flags = 0;
    bool hasOptType = true;
    std::vector<OptionSpec> options;
    bool nullName = false;       // pName null: neither a text nor a resource id
    bool emptyKeyword = false;   // with an empty hostKeyword, the record's keyword is "" rather than null
    bool nullOptParams = false;  // the OPTTYPE counts the options but has no OPTPARAM array
};

// Owns every record and text it hands out; addresses stay put for its life.
class ItemArray {
public:
    explicit ItemArray(const std::vector<ItemSpec>& specs)
        : items_(specs.size()), types_(specs.size()), params_(specs.size()) {
        for (size_t i = 0; i < specs.size(); ++i) Fill(i, specs[i]);
    }
    ItemArray(const ItemArray&) = delete;
    ItemArray& operator=(const ItemArray&) = delete;

    OPTITEM* Items() { return items_.empty() ? nullptr : items_.data(); }
    DWORD Count() const { return static_cast<DWORD>(items_.size()); }
    OPTITEM& Item(size_t i) { return items_[i]; }
    OPTPARAM& Option(size_t item, size_t option) { return params_[item][option]; }
    size_t OptionCount(size_t item) const { return params_[item].size(); }

    // Index of the first item whose host keyword is `keyword`, or -1.
    int IndexOfKeyword(std::string_view keyword) const {
        for (size_t i = 0; i < keywords_.size(); ++i)
            if (keywords_[i] && *keywords_[i] == keyword) return static_cast<int>(i);
        return -1;
    }
    int IndexOfDmPub(BYTE id) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i].DMPubID == id) return static_cast<int>(i);
        return -1;
    }

    static std::u16string Text(const HostChar* text) {
        if (reinterpret_cast<uintptr_t>(text) < 0x10000) return std::u16string();
        return std::u16string(reinterpret_cast<const char16_t*>(text));
    }

private:
    HostChar* Keep(const std::u16string& text) {
        auto copy = std::make_unique<HostChar[]>(text.size() + 1);
        for (size_t i = 0; i < text.size(); ++i) copy[i] = static_cast<HostChar>(text[i]);
        texts_.push_back(std::move(copy));
        return texts_.back().get();
    }

    void Fill(size_t i, const ItemSpec& row) {
        OPTITEM& item = items_[i];
        item = OPTITEM{};
        item.cbSize = sizeof(OPTITEM);
        item.Level = row.level;
        item.Flags = row.flags;
        item.pName = row.nullName ? nullptr : row.nameId ? reinterpret_cast<HostChar*>(row.nameId) : Keep(row.name);
        item.Sel = row.sel;
        item.DMPubID = row.dmPubId;

        keywords_.push_back(nullptr);
        if (!row.hostKeyword.empty() || row.keywordRecord || row.emptyKeyword) {
            auto keyword = std::make_unique<std::string>(row.hostKeyword);
            auto record = std::make_unique<const void*[]>(4);
            record[0] = nullptr;
            record[1] = &item;
            record[2] = row.hostKeyword.empty() && !row.emptyKeyword ? nullptr : keyword->c_str();
            record[3] = nullptr;
            item.UserData = reinterpret_cast<ULONG_PTR>(record.get());
            if (!row.hostKeyword.empty()) keywords_.back() = keyword.get();
            keywordTexts_.push_back(std::move(keyword));
            records_.push_back(std::move(record));
        }

        if (!row.hasOptType) return;
        params_[i].resize(row.options.size());
        for (size_t j = 0; j < row.options.size(); ++j) {
            OPTPARAM& param = params_[i][j];
            param = OPTPARAM{};
            param.cbSize = sizeof(OPTPARAM);
            const OptionSpec& option = row.options[j];
            param.Flags = option.flags;
            param.pData = option.nullText     ? nullptr
                          : option.resourceId ? reinterpret_cast<HostChar*>(option.resourceId)
                                              : Keep(option.text);
        }
        OPTTYPE& type = types_[i];
        type = OPTTYPE{};
        type.cbSize = sizeof(OPTTYPE);
        type.Count = static_cast<WORD>(row.options.size());
        type.pOptParam = params_[i].empty() || row.nullOptParams ? nullptr : params_[i].data();
        item.pOptType = &type;
    }

    std::vector<OPTITEM> items_;
    std::vector<OPTTYPE> types_;
    std::vector<std::vector<OPTPARAM>> params_;
    std::vector<std::unique_ptr<HostChar[]>> texts_;
    std::vector<std::unique_ptr<std::string>> keywordTexts_;
    std::vector<const std::string*> keywords_;
    std::vector<std::unique_ptr<const void*[]>> records_;
};

// The 8-bit PPD keyword the host keeps behind an item, or empty.
inline std::string HostKeywordOf(const OPTITEM& item) {
    if (!item.UserData) return "";
    const char* keyword = reinterpret_cast<const char* const*>(item.UserData)[2];
    return keyword ? keyword : "";
}

// "Keyword:option text" (UTF-8) of every option carrying the warning overlay.
inline std::set<std::string> WarningMarks(ItemArray& items) {
    std::set<std::string> marks;
    for (DWORD i = 0; i < items.Count(); ++i)
        for (size_t j = 0; j < items.OptionCount(i); ++j)
            if (items.Option(i, j).Flags & OPTPF_OVERLAY_WARNING_ICON)
                marks.insert(HostKeywordOf(items.Item(i)) + ":" +
                             platform::ToUtf8(ItemArray::Text(items.Option(i, j).pData)));
    return marks;
}

// ---- The driver's trees ------------------------------------------------------

// Host resource ids of the items the driver names itself.
inline constexpr uintptr_t kDocumentRootId = 0x2001;
inline constexpr uintptr_t kPrinterFeaturesId = 0x2002;
inline constexpr uintptr_t kColourItemId = 0x2003;
inline constexpr uintptr_t kMonochromeOptionId = 0x2004;
inline constexpr uintptr_t kColourOptionId = 0x2005;
inline constexpr uintptr_t kStandardNameIdBase = 0x2100;
inline constexpr uintptr_t kInitialPrinterItemId = 400;
inline constexpr uintptr_t kHiddenPrinterBranchId = 64798;
inline constexpr uintptr_t kInstallableOptionsId = 0x2010;

// The five features the driver shows as standard document settings.
inline BYTE StandardSettingId(std::string_view keyword) {
    if (keyword == "InputSlot") return 4;   // DMPUB_DEFSOURCE
    if (keyword == "Resolution") return 5;  // DMPUB_PRINTQUALITY
    if (keyword == "Duplex") return 7;      // DMPUB_DUPLEX
    if (keyword == "PageSize") return 9;    // DMPUB_FORMNAME
    if (keyword == "MediaType") return 12;  // DMPUB_MEDIATYPE
    return 0;
}

inline ItemSpec FeatureItem(const OutlineFeature& feature, BYTE level) {
    ItemSpec row;
    row.dmPubId = StandardSettingId(feature.keyword);
    if (row.dmPubId)
        row.nameId = kStandardNameIdBase + row.dmPubId;
    else
        row.name = feature.translation;
    row.hostKeyword = feature.keyword;
    row.level = level;
    for (const OutlineOption& option : feature.options) row.options.push_back({option.translation, 0});
    return row;
}

enum class ColourItem { none, beforeFeatures, afterFeatures };

// The document-properties tree: a root, the standard settings, the colour
// item (options monochrome and colour, as host resource ids), and a
// "Printer Features" branch with every other feature outside the group
// InstallableOptions. PageRegion is the driver's own and never shown.
inline std::vector<ItemSpec> DocumentItemSpecs(const std::vector<OutlineFeature>& features, ColourItem colour,
                                               LONG colourSel) {
    std::vector<ItemSpec> specs;
    ItemSpec root;
    root.nameId = kDocumentRootId;
    root.level = 0;
    root.hasOptType = false;
    root.keywordRecord = false;
    specs.push_back(root);

    ItemSpec colourItem;
    colourItem.nameId = kColourItemId;
    colourItem.level = 1;
    colourItem.dmPubId = 6;  // DMPUB_COLOR
    colourItem.sel = colourSel;
    colourItem.keywordRecord = false;
    colourItem.options = {{u"", kMonochromeOptionId}, {u"", kColourOptionId}};

    for (const OutlineFeature& feature : features)
        if (StandardSettingId(feature.keyword)) specs.push_back(FeatureItem(feature, 1));
    if (colour == ColourItem::beforeFeatures) specs.push_back(colourItem);

    ItemSpec branch;
    branch.nameId = kPrinterFeaturesId;
    branch.level = 1;
    branch.hasOptType = false;
    branch.keywordRecord = false;
    specs.push_back(branch);
    for (const OutlineFeature& feature : features) {
        if (StandardSettingId(feature.keyword) || feature.group == "InstallableOptions" ||
            feature.keyword == "PageRegion")
            continue;
        specs.push_back(FeatureItem(feature, 2));
    }
    if (colour == ColourItem::afterFeatures) specs.push_back(colourItem);
    return specs;
}

// The printer-properties tree: the initially selected item 400, the
// installable options under their own branch, and the branch 64798 with a
// child of its own.
inline std::vector<ItemSpec> PrinterItemSpecs(const std::vector<OutlineFeature>& features) {
    std::vector<ItemSpec> specs;
    auto plain = [](uintptr_t id, BYTE level) {
        ItemSpec row;
        row.nameId = id;
        row.level = level;
        row.keywordRecord = false;
        row.options = {{u"", 0x2020}, {u"", 0x2021}};
        return row;
    };
    specs.push_back(plain(kInitialPrinterItemId, 1));
    ItemSpec branch = plain(kInstallableOptionsId, 1);
    branch.hasOptType = false;
    specs.push_back(branch);
    for (const OutlineFeature& feature : features)
        if (feature.group == "InstallableOptions") specs.push_back(FeatureItem(feature, 2));
    specs.push_back(plain(kHiddenPrinterBranchId, 1));
    specs.push_back(plain(0x2030, 2));
    specs.push_back(plain(0x2031, 1));
    return specs;
}

}  // namespace hostitems
