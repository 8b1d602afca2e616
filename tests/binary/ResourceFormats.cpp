#include "tests/binary/ResourceFormats.h"

#include "tests/binary/ByteReader.h"

namespace pe {
namespace {

SzOrOrd ReadSzOrOrd(ByteReader& r) {
    SzOrOrd field;
    const size_t start = r.offset();
    const uint16_t first = r.U16();
    if (first == 0xFFFF) {
        field.isOrdinal = true;
        field.ordinal = r.U16();
    } else if (first != 0) {
        r.Seek(start);
        field.text = r.Utf16z();
    }
    return field;
}

// Reads the node at `start` into `node`; returns its length, 0 when damaged.
size_t ReadVersionNode(std::span<const uint8_t> data, size_t start, VersionNode& node) {
    ByteReader r(data, start);
    const uint16_t length = r.U16();
    const uint16_t valueLength = r.U16();
    node.type = r.U16();
    node.key = r.Utf16z();
    if (valueLength != 0) r.Align(4);
    // A text value's length counts UTF-16 units, a binary one's bytes.
    node.value = r.Bytes(node.type == 1 ? valueLength * 2u : valueLength);
    const size_t end = start + length;
    if (!r.ok() || length < 6 || end > data.size() || r.offset() > end) return 0;
    // Children start on 4-byte boundaries; the last one may end unaligned.
    auto align4 = [](size_t offset) { return (offset + 3) & ~size_t(3); };
    for (size_t at = align4(r.offset()); at < end;) {
        VersionNode child;
        const size_t childLength = ReadVersionNode(data.first(end), at, child);
        if (childLength == 0) return 0;
        node.children.push_back(child);
        at = align4(at + childLength);
    }
    return length;
}

}  // namespace

std::optional<std::map<uint32_t, std::u16string>> ParseStringBlock(uint16_t blockId,
                                                                   std::span<const uint8_t> data) {
    if (blockId == 0) return std::nullopt;
    std::map<uint32_t, std::u16string> strings;
    ByteReader r(data);
    for (uint32_t i = 0; i < 16; ++i) {
        std::u16string text = r.Utf16(r.U16());
        if (!r.ok()) return std::nullopt;
        if (!text.empty()) strings[(blockId - 1u) * 16u + i] = text;
    }
    return strings;
}

std::optional<DialogTemplate> ParseDialogEx(std::span<const uint8_t> data) {
    constexpr uint32_t DS_SETFONT = 0x40, DS_SHELLFONT = 0x48;
    ByteReader r(data);
    DialogTemplate t;
    t.version = r.U16();
    t.signature = r.U16();
    if (t.version != 1 || t.signature != 0xFFFF) return std::nullopt;
    t.helpId = r.U32();
    t.exStyle = r.U32();
    t.style = r.U32();
    t.itemCount = r.U16();
    t.x = r.I16();
    t.y = r.I16();
    t.cx = r.I16();
    t.cy = r.I16();
    t.menu = ReadSzOrOrd(r);
    t.windowClass = ReadSzOrOrd(r);
    t.title = r.Utf16z();
    if ((t.style & DS_SETFONT) || (t.style & DS_SHELLFONT) == DS_SHELLFONT) {
        t.pointSize = r.U16();
        t.weight = r.U16();
        t.italic = r.U8();
        t.charset = r.U8();
        t.typeface = r.Utf16z();
    }
    for (uint16_t i = 0; i < t.itemCount && r.ok(); ++i) {
        r.Align(4);
        DialogItem item;
        item.helpId = r.U32();
        item.exStyle = r.U32();
        item.style = r.U32();
        item.x = r.I16();
        item.y = r.I16();
        item.cx = r.I16();
        item.cy = r.I16();
        item.id = r.U32();
        item.windowClass = ReadSzOrOrd(r);
        item.title = ReadSzOrOrd(r);
        item.extraCount = r.U16();
        r.Skip(item.extraCount);
        t.items.push_back(item);
    }
    if (!r.ok()) return std::nullopt;
    t.bytesAfterLastItem = r.remaining();
    return t;
}

const VersionNode* VersionNode::Child(std::u16string_view childKey) const {
    for (const VersionNode& child : children)
        if (child.key == childKey) return &child;
    return nullptr;
}

std::u16string VersionNode::Text() const {
    ByteReader r(value);
    std::u16string text = r.Utf16(value.size() / 2);
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

std::optional<VersionNode> ParseVersionBlock(std::span<const uint8_t> data) {
    VersionNode root;
    if (ReadVersionNode(data, 0, root) == 0) return std::nullopt;
    return root;
}

std::vector<std::map<std::string, std::string>> FindXmlElements(std::string_view xml, std::string_view name) {
    std::vector<std::map<std::string, std::string>> elements;
    const std::string open = "<" + std::string(name);
    for (size_t at = xml.find(open); at != std::string_view::npos; at = xml.find(open, at + 1)) {
        size_t p = at + open.size();
        if (p >= xml.size() || !(xml[p] == ' ' || xml[p] == '\n' || xml[p] == '/' || xml[p] == '>')) continue;
        std::map<std::string, std::string> attributes;
        for (;;) {
            while (p < xml.size() && (xml[p] == ' ' || xml[p] == '\n' || xml[p] == '\r' || xml[p] == '\t')) ++p;
            if (p >= xml.size() || xml[p] == '>' || xml[p] == '/' || xml[p] == '?') break;
            const size_t eq = xml.find('=', p);
            if (eq == std::string_view::npos || eq + 1 >= xml.size()) break;
            const char quote = xml[eq + 1];
            const size_t close = xml.find(quote, eq + 2);
            if ((quote != '"' && quote != '\'') || close == std::string_view::npos) break;
            attributes[std::string(xml.substr(p, eq - p))] = std::string(xml.substr(eq + 2, close - eq - 2));
            p = close + 1;
        }
        elements.push_back(attributes);
    }
    return elements;
}

}  // namespace pe
