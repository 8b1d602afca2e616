#include "tests/binary/PeImage.h"

#include <fstream>

#include "tests/binary/ByteReader.h"

namespace pe {
namespace {

constexpr uint32_t kExportDirectory = 0;
constexpr uint32_t kImportDirectory = 1;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kRelocationDirectory = 5;
constexpr uint32_t kHighBit = 0x80000000u;

}  // namespace

std::optional<PeImage> PeImage::Load(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    PeImage image;
    image.file_.resize(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(image.file_.data()), static_cast<std::streamsize>(image.file_.size()))) {
        error = "cannot read " + path;
        return std::nullopt;
    }

    ByteReader r(image.file_);
    if (r.U16() != 0x5A4D) {
        error = "no MZ header";
        return std::nullopt;
    }
    r.Seek(0x3C);
    r.Seek(r.U32());
    if (r.U32() != 0x00004550) {
        error = "no PE signature";
        return std::nullopt;
    }
    image.machine_ = r.U16();
    const uint16_t sectionCount = r.U16();
    r.Skip(12);
    const uint16_t optionalSize = r.U16();
    r.Skip(2);
    const size_t optionalStart = r.offset();
    const uint16_t magic = r.U16();
    if (magic != 0x10B && magic != 0x20B) {
        error = "unknown optional header magic";
        return std::nullopt;
    }
    image.is64_ = magic == 0x20B;
    r.Seek(optionalStart + 70);  // the same offset in both widths
    image.dllCharacteristics_ = r.U16();
    // The data directories follow the fixed part, whose size differs by width.
    r.Seek(optionalStart + (image.is64_ ? 108 : 92));
    const uint32_t directoryCount = r.U32();
    for (uint32_t i = 0; i < directoryCount && i < 16; ++i) {
        Directory d;
        d.rva = r.U32();
        d.size = r.U32();
        image.directories_.push_back(d);
    }
    r.Seek(optionalStart + optionalSize);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        r.Skip(8);  // name
        Section s;
        s.virtualSize = r.U32();
        s.virtualAddress = r.U32();
        s.rawSize = r.U32();
        s.rawOffset = r.U32();
        r.Skip(16);
        image.sections_.push_back(s);
    }
    if (!r.ok()) {
        error = "truncated headers";
        return std::nullopt;
    }
    return image;
}

uint32_t PeImage::relocationBytes() const {
    return directories_.size() > kRelocationDirectory ? directories_[kRelocationDirectory].size : 0;
}

std::span<const uint8_t> PeImage::AtRva(uint32_t rva) const {
    for (const Section& s : sections_) {
        if (rva < s.virtualAddress || rva - s.virtualAddress >= s.rawSize) continue;
        const uint64_t start = uint64_t(s.rawOffset) + (rva - s.virtualAddress);
        const uint64_t end = uint64_t(s.rawOffset) + s.rawSize;
        if (end > file_.size() || start >= end) return {};
        return std::span<const uint8_t>(file_).subspan(start, end - start);
    }
    return {};
}

std::optional<std::string> PeImage::AsciiAt(uint32_t rva) const {
    auto bytes = AtRva(rva);
    std::string text;
    for (uint8_t b : bytes) {
        if (b == 0) return text;
        text.push_back(static_cast<char>(b));
    }
    return std::nullopt;
}

std::vector<Resource> PeImage::Resources(std::string& error) const {
    std::vector<Resource> out;
    if (directories_.size() <= kResourceDirectory || directories_[kResourceDirectory].rva == 0) return out;
    const uint32_t base = directories_[kResourceDirectory].rva;
    const std::span<const uint8_t> tree = AtRva(base);

    // Directory entries name a subdirectory (high bit set) or a data entry,
    // both by offset from the start of the resource tree.
    struct Entry {
        ResourceKey key;
        uint32_t target;
    };
    auto readDirectory = [&](uint32_t offset, std::vector<Entry>& entries) {
        ByteReader r(tree, offset);
        r.Skip(12);
        const uint32_t count = uint32_t(r.U16()) + r.U16();
        for (uint32_t i = 0; i < count && r.ok(); ++i) {
            const uint32_t nameField = r.U32();
            const uint32_t target = r.U32();
            Entry e{{}, target};
            if (nameField & kHighBit) {
                ByteReader name(tree, nameField & ~kHighBit);
                e.key.name = name.Utf16(name.U16());
                if (!name.ok()) return false;
            } else {
                e.key.id = static_cast<uint16_t>(nameField);
            }
            entries.push_back(e);
        }
        return r.ok();
    };

    std::vector<Entry> types;
    if (!readDirectory(0, types)) {
        error = "damaged resource type directory";
        return {};
    }
    for (const Entry& type : types) {
        std::vector<Entry> names;
        if (!(type.target & kHighBit) || !readDirectory(type.target & ~kHighBit, names)) {
            error = "damaged resource name directory";
            return {};
        }
        for (const Entry& name : names) {
            std::vector<Entry> languages;
            if (!(name.target & kHighBit) || !readDirectory(name.target & ~kHighBit, languages)) {
                error = "damaged resource language directory";
                return {};
            }
            for (const Entry& language : languages) {
                ByteReader leaf(tree, language.target);
                const uint32_t dataRva = leaf.U32();
                const uint32_t size = leaf.U32();
                auto data = AtRva(dataRva);
                if ((language.target & kHighBit) || !leaf.ok() || data.size() < size) {
                    error = "damaged resource data entry";
                    return {};
                }
                out.push_back({type.key, name.key, language.key.id, data.first(size)});
            }
        }
    }
    return out;
}

std::optional<Exports> PeImage::ExportTable(std::string& error) const {
    if (directories_.size() <= kExportDirectory || directories_[kExportDirectory].rva == 0) return Exports{};
    ByteReader r(AtRva(directories_[kExportDirectory].rva));
    r.Skip(20);
    Exports exports;
    exports.functionCount = r.U32();
    const uint32_t nameCount = r.U32();
    r.Skip(4);  // address table
    const uint32_t namesRva = r.U32();
    if (!r.ok()) {
        error = "damaged export directory";
        return std::nullopt;
    }
    ByteReader names(AtRva(namesRva));
    for (uint32_t i = 0; i < nameCount; ++i) {
        auto name = AsciiAt(names.U32());
        if (!names.ok() || !name) {
            error = "damaged export name table";
            return std::nullopt;
        }
        exports.names.push_back(*name);
    }
    return exports;
}

std::vector<Import> PeImage::Imports(std::string& error) const {
    std::vector<Import> out;
    if (directories_.size() <= kImportDirectory || directories_[kImportDirectory].rva == 0) return out;
    ByteReader descriptors(AtRva(directories_[kImportDirectory].rva));
    for (;;) {
        const uint32_t lookupRva = descriptors.U32();
        descriptors.Skip(8);
        const uint32_t nameRva = descriptors.U32();
        const uint32_t addressRva = descriptors.U32();
        if (!descriptors.ok()) {
            error = "damaged import directory";
            return {};
        }
        if (lookupRva == 0 && nameRva == 0) break;
        auto dll = AsciiAt(nameRva);
        if (!dll) {
            error = "damaged import name";
            return {};
        }
        Import import{*dll, {}};
        ByteReader thunks(AtRva(lookupRva ? lookupRva : addressRva));
        for (;;) {
            const uint64_t thunk = is64_ ? thunks.U64() : thunks.U32();
            if (!thunks.ok()) {
                error = "damaged import lookup table of " + *dll;
                return {};
            }
            if (thunk == 0) break;
            const uint64_t byOrdinal = is64_ ? 1ull << 63 : 1ull << 31;
            if (thunk & byOrdinal) {
                import.functions.push_back("#" + std::to_string(thunk & 0xFFFF));
                continue;
            }
            auto name = AsciiAt(static_cast<uint32_t>(thunk) + 2);  // after the hint
            if (!name) {
                error = "damaged import hint/name of " + *dll;
                return {};
            }
            import.functions.push_back(*name);
        }
        out.push_back(import);
    }
    return out;
}

}  // namespace pe
