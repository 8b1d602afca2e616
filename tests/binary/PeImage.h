// Just enough of the PE format to check a built DLL as a file: its resource
// directory, exports and imports. The DLL is never loaded.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pe {

// A resource type or name: an integer id or a text.
struct ResourceKey {
    uint16_t id = 0;
    std::u16string name;  // used when not empty
    bool operator==(const ResourceKey&) const = default;
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    std::span<const uint8_t> data;
};

struct Import {
    std::string dll;
    std::vector<std::string> functions;  // by name; by ordinal as "#n"
};

struct Exports {
    std::vector<std::string> names;
    uint32_t functionCount = 0;  // entries of the address table, named or not
};

class PeImage {
public:
    // Reads and checks the headers; on failure `error` says why.
    static std::optional<PeImage> Load(const std::string& path, std::string& error);

    uint16_t machine() const { return machine_; }
    bool is64() const { return is64_; }
    // IMAGE_OPTIONAL_HEADER.DllCharacteristics.
    uint16_t dllCharacteristics() const { return dllCharacteristics_; }
    // Bytes of the base relocation table, which a movable image needs.
    uint32_t relocationBytes() const;

    std::vector<Resource> Resources(std::string& error) const;
    std::optional<Exports> ExportTable(std::string& error) const;
    std::vector<Import> Imports(std::string& error) const;

private:
    struct Section {
        uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
    };
    struct Directory {
        uint32_t rva = 0, size = 0;
    };

    // The file bytes from `rva` on, up to the end of its section's data.
    std::span<const uint8_t> AtRva(uint32_t rva) const;
    std::optional<std::string> AsciiAt(uint32_t rva) const;

    std::vector<uint8_t> file_;
    std::vector<Section> sections_;
    std::vector<Directory> directories_;
    uint16_t machine_ = 0;
    uint16_t dllCharacteristics_ = 0;
    bool is64_ = false;
};

}  // namespace pe
