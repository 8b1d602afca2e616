// The layouts of the resources corvina.dll carries, read from their bytes:
// string-table blocks, extended dialog templates, version blocks, and the
// elements of an XML manifest.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pe {

// Block `blockId` holds strings (blockId - 1) * 16 to (blockId - 1) * 16 + 15;
// the result maps each non-empty one to its text. Null when damaged.
std::optional<std::map<uint32_t, std::u16string>> ParseStringBlock(uint16_t blockId,
                                                                   std::span<const uint8_t> data);

// A name-or-ordinal field of a dialog template.
struct SzOrOrd {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::u16string text;
};

struct DialogItem {
    uint32_t helpId = 0, exStyle = 0, style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;
    SzOrOrd windowClass, title;
    uint16_t extraCount = 0;
};

struct DialogTemplate {
    uint16_t version = 0, signature = 0;
    uint32_t helpId = 0, exStyle = 0, style = 0;
    uint16_t itemCount = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    SzOrOrd menu, windowClass;
    std::u16string title;
    uint16_t pointSize = 0, weight = 0;
    uint8_t italic = 0, charset = 0;
    std::u16string typeface;
    std::vector<DialogItem> items;
    size_t bytesAfterLastItem = 0;
};

// An extended template (DLGTEMPLATEEX, signature 0xFFFF); null when damaged
// or of the old kind.
std::optional<DialogTemplate> ParseDialogEx(std::span<const uint8_t> data);

// One node of a version block: a key, a value and child nodes.
struct VersionNode {
    std::u16string key;
    uint16_t type = 0;  // 1 text, 0 binary
    std::span<const uint8_t> value;
    std::vector<VersionNode> children;

    const VersionNode* Child(std::u16string_view childKey) const;
    std::u16string Text() const;  // a text value without its terminator
};

std::optional<VersionNode> ParseVersionBlock(std::span<const uint8_t> data);

// The start tags named `name` in an XML text, each as its attributes, in
// document order. Enough for a manifest, which has no entities or CDATA.
std::vector<std::map<std::string, std::string>> FindXmlElements(std::string_view xml, std::string_view name);

}  // namespace pe
