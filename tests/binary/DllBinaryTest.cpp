// Checks of the built corvina.dll files, read as files (never loaded): their
// resources against the catalogue and the page's template, their exports and
// their imports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/portable/Utf8.h"
#include "resources/Catalog.h"
#include "tests/binary/PeImage.h"
#include "tests/binary/ResourceFormats.h"

namespace {

constexpr uint16_t RT_DIALOG = 5, RT_STRING = 6, RT_VERSION = 16, RT_MANIFEST = 24;
constexpr uint16_t kNeutral = 0x0400, kEnglishUs = 0x0409;

constexpr uint32_t WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000,
                   WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_SYSMENU = 0x00080000,
                   WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000;
constexpr uint32_t DS_SYSMODAL = 0x02, DS_SETFONT = 0x40;
constexpr uint32_t BS_AUTOCHECKBOX = 0x3, BS_GROUPBOX = 0x7, BS_AUTORADIOBUTTON = 0x9;
constexpr uint32_t ES_PASSWORD = 0x20, ES_AUTOHSCROLL = 0x80, SS_LEFT = 0x0;
constexpr uint16_t kButton = 0x80, kEdit = 0x81, kStatic = 0x82;

struct Build {
    const char* name;
    const char* environmentVariable;  // overrides the default paths
    const char* buildDir;             // under build/ of the tree
    uint16_t machine;
    const char* manifestArchitecture;
    bool importsActivationContext;
};

void PrintTo(const Build& build, std::ostream* os) { *os << build.name; }

const Build kBuilds[] = {
    {"x64", "CORVINA_WIN64_DLL", "win64", 0x8664, "AMD64", true},
    {"x86", "CORVINA_WIN32_DLL", "win32", 0x014C, "x86", false},
};

std::string DllPath(const Build& build) {
    if (const char* path = std::getenv(build.environmentVariable); path && *path) return path;
    const std::string dir = std::string(CORVINA_SOURCE_DIR) + "/build/" + build.buildDir;
    for (const char* relative : {"/corvina.dll", "/frame/corvina.dll"})
        if (std::filesystem::exists(dir + relative)) return dir + relative;
    return dir + "/corvina.dll";
}

class DllBinary : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override {
        const std::string path = DllPath(GetParam());
        if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " not built";
        std::string error;
        image_ = pe::PeImage::Load(path, error);
        ASSERT_TRUE(image_) << path << ": " << error;
        resources_ = image_->Resources(error);
        ASSERT_TRUE(error.empty()) << error;
    }

    std::vector<pe::Resource> OfType(uint16_t type) const {
        std::vector<pe::Resource> out;
        for (const pe::Resource& r : resources_)
            if (r.type == pe::ResourceKey{type, {}}) out.push_back(r);
        return out;
    }

    std::optional<pe::PeImage> image_;
    std::vector<pe::Resource> resources_;
};

TEST_P(DllBinary, IsBuiltForItsMachine) {
    EXPECT_EQ(image_->machine(), GetParam().machine);
    EXPECT_EQ(image_->is64(), GetParam().machine == 0x8664);
}

// The loader places the module at a random base and keeps its data out of
// execution; a movable image must keep its relocations, which strip could drop.
TEST_P(DllBinary, AsksForAddressRandomisationAndNoExecuteData) {
    struct Row {
        const char* flag;
        uint16_t bit;
        bool x64Only;
    };
    const Row rows[] = {
        {"HIGH_ENTROPY_VA", 0x0020, true},
        {"DYNAMIC_BASE", 0x0040, false},
        {"NX_COMPAT", 0x0100, false},
    };
    for (const Row& row : rows) {
        if (row.x64Only && !image_->is64()) continue;
        EXPECT_NE(image_->dllCharacteristics() & row.bit, 0)
            << row.flag << " missing from DllCharacteristics 0x" << std::hex << image_->dllCharacteristics();
    }
    EXPECT_GT(image_->relocationBytes(), 0u) << "DYNAMIC_BASE without a base relocation table";
}

// The module carries its string tables, one dialog, one manifest and one
// version block, and nothing else.
TEST_P(DllBinary, ResourceDirectoryHoldsTheModulesResourcesOnly) {
    std::set<uint16_t> types;
    for (const pe::Resource& r : resources_) {
        EXPECT_TRUE(r.type.name.empty() && r.name.name.empty()) << "named resource";
        types.insert(r.type.id);
    }
    EXPECT_EQ(types, (std::set<uint16_t>{RT_DIALOG, RT_STRING, RT_VERSION, RT_MANIFEST}));

    auto only = [&](uint16_t type, uint16_t name, uint16_t language) {
        auto found = OfType(type);
        ASSERT_EQ(found.size(), 1u) << "type " << type;
        EXPECT_EQ(found[0].name.id, name) << "type " << type;
        EXPECT_EQ(found[0].language, language) << "type " << type;
    };
    only(RT_DIALOG, 10000, kNeutral);
    only(RT_MANIFEST, 2, kEnglishUs);
    only(RT_VERSION, 1, kNeutral);

    auto catalogueLanguages = resources::CatalogLanguages();
    const std::set<uint16_t> expected(catalogueLanguages.begin(), catalogueLanguages.end());
    std::map<uint16_t, std::set<uint16_t>> languagesByBlock;
    for (const pe::Resource& r : OfType(RT_STRING)) languagesByBlock[r.name.id].insert(r.language);
    EXPECT_EQ(expected.size(), 8u);
    for (const auto& [block, languages] : languagesByBlock) EXPECT_EQ(languages, expected) << "block " << block;
}

// Every language block holds all 192 strings with the catalogue's texts,
// and no string besides them.
TEST_P(DllBinary, StringTablesHoldTheCatalogue) {
    std::map<uint16_t, std::map<uint32_t, std::u16string>> tables;
    for (const pe::Resource& r : OfType(RT_STRING)) {
        auto block = pe::ParseStringBlock(r.name.id, r.data);
        ASSERT_TRUE(block) << "damaged block " << r.name.id;
        tables[r.language].merge(*block);
    }
    const auto ids = resources::CatalogIds();
    ASSERT_EQ(ids.size(), 192u);
    for (uint16_t language : resources::CatalogLanguages()) {
        SCOPED_TRACE(testing::Message() << "language " << std::hex << language);
        const auto& table = tables[language];
        EXPECT_EQ(table.size(), ids.size());
        for (uint32_t id : ids) {
            auto it = table.find(id);
            ASSERT_NE(it, table.end()) << "missing " << id;
            EXPECT_TRUE(it->second == resources::FindCatalogText(language, id))
                << id << ": \"" << platform::ToUtf8(it->second) << "\"";
        }
    }
}

struct ExpectedControl {
    uint32_t id;
    uint16_t windowClass;
    uint32_t style;
    int16_t x, y, cx, cy;
    const char16_t* text;
};

// The page's template, field by field.
TEST_P(DllBinary, DialogTemplateIsTheJobSettingsPage) {
    auto dialogs = OfType(RT_DIALOG);
    ASSERT_EQ(dialogs.size(), 1u);
    auto t = pe::ParseDialogEx(dialogs[0].data);
    ASSERT_TRUE(t) << "not an extended template";

    EXPECT_EQ(t->version, 1);
    EXPECT_EQ(t->signature, 0xFFFF);
    EXPECT_EQ(t->helpId, 0u);
    EXPECT_EQ(t->exStyle, 0u);
    EXPECT_EQ(t->style, WS_CHILD | WS_DISABLED | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_SYSMODAL);
    EXPECT_EQ(t->style & WS_CAPTION, WS_BORDER | 0x00400000u) << "WS_CAPTION is WS_BORDER and WS_DLGFRAME";
    EXPECT_EQ((std::vector<int>{t->x, t->y, t->cx, t->cy}), (std::vector<int>{0, 0, 320, 346}));
    EXPECT_FALSE(t->menu.isOrdinal);
    EXPECT_EQ(t->menu.text, u"") << "no menu";
    EXPECT_FALSE(t->windowClass.isOrdinal);
    EXPECT_EQ(t->windowClass.text, u"") << "the platform's dialog class";
    EXPECT_EQ(t->title, u"Job Settings");
    EXPECT_EQ(t->pointSize, 9);
    EXPECT_EQ(t->weight, 0);
    EXPECT_EQ(t->italic, 0);
    EXPECT_EQ(t->charset, 1);
    EXPECT_EQ(t->typeface, u"MS UI Gothic");

    const uint32_t child = WS_CHILD | WS_VISIBLE;
    const uint32_t edit = child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
    const ExpectedControl expected[] = {
        {10008, kButton, child | BS_GROUPBOX, 6, 7, 192, 108, u"Job Settings"},
        {10009, kButton, child | WS_TABSTOP | BS_AUTOCHECKBOX, 15, 45, 177, 18, u"Reserve Job"},
        {10002, kEdit, edit, 85, 63, 93, 15, u""},
        {10004, kEdit, edit | ES_PASSWORD, 85, 85, 93, 15, u""},
        {10005, kStatic, child | WS_GROUP | SS_LEFT, 15, 67, 63, 9, u"User Name:"},
        {10007, kStatic, child | WS_GROUP | SS_LEFT, 15, 89, 63, 9, u"Password:"},
        {10029, kStatic, child | WS_GROUP | SS_LEFT, 15, 20, 177, 18, u"Security Setting Description"},
        {0xFFFFFFFF, kButton, child | BS_GROUPBOX, 9, 130, 298, 188, u"Reserve Job Settings"},
        {10006, kButton, child | WS_TABSTOP | BS_AUTOCHECKBOX, 19, 148, 149, 19, u"Reserve Job"},
        {10010, kButton, child | BS_AUTORADIOBUTTON, 18, 201, 134, 21, u"Re-Print"},
        {10011, kButton, child | BS_AUTORADIOBUTTON, 18, 177, 138, 22, u"Verify"},
        {10012, kButton, child | BS_AUTORADIOBUTTON, 18, 224, 133, 20, u"Confidential"},
        {10013, kButton, child | BS_GROUPBOX, 19, 257, 105, 40, u"Password"},
        {10014, kEdit, edit | ES_PASSWORD, 28, 269, 88, 21, u""},
        {10015, kButton, child | BS_GROUPBOX, 174, 163, 107, 44, u"UserName"},
        {10016, kEdit, edit, 183, 178, 90, 18, u""},
        {10017, kButton, child | BS_GROUPBOX, 174, 223, 109, 42, u"JobName"},
        {10018, kEdit, edit, 185, 237, 87, 20, u""},
    };
    ASSERT_EQ(t->itemCount, std::size(expected));
    ASSERT_EQ(t->items.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const ExpectedControl& want = expected[i];
        const pe::DialogItem& got = t->items[i];
        SCOPED_TRACE(testing::Message() << "control " << i + 1 << ", id " << static_cast<int32_t>(want.id));
        EXPECT_EQ(got.id, want.id);
        EXPECT_TRUE(got.windowClass.isOrdinal);
        EXPECT_EQ(got.windowClass.ordinal, want.windowClass);
        EXPECT_EQ(got.style, want.style) << std::hex << got.style << " vs " << want.style;
        EXPECT_EQ((std::vector<int>{got.x, got.y, got.cx, got.cy}),
                  (std::vector<int>{want.x, want.y, want.cx, want.cy}));
        EXPECT_FALSE(got.title.isOrdinal);
        EXPECT_EQ(got.title.text, want.text);
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.helpId, want.id == 10004 ? 0xA7102714u : 0u);
        EXPECT_EQ(got.extraCount, 0) << "no creation data";
    }
    EXPECT_LT(t->bytesAfterLastItem, 4u) << "nothing after the last control but padding";
}

// The manifest asks for the common controls of the module's own
// architecture.
TEST_P(DllBinary, ManifestNamesTheModulesArchitecture) {
    auto manifests = OfType(RT_MANIFEST);
    ASSERT_EQ(manifests.size(), 1u);
    const std::string xml(manifests[0].data.begin(), manifests[0].data.end());
    const std::string arch = GetParam().manifestArchitecture;

    auto declaration = pe::FindXmlElements(xml, "?xml");
    ASSERT_EQ(declaration.size(), 1u);
    EXPECT_EQ(xml.find("<?xml"), 0u) << "declaration first, no byte-order mark";
    EXPECT_EQ(declaration[0], (std::map<std::string, std::string>{
                                  {"version", "1.0"}, {"encoding", "UTF-8"}, {"standalone", "yes"}}));

    auto assembly = pe::FindXmlElements(xml, "assembly");
    ASSERT_EQ(assembly.size(), 1u);
    EXPECT_EQ(assembly[0], (std::map<std::string, std::string>{
                               {"xmlns", "urn:schemas-microsoft-com:asm.v1"}, {"manifestVersion", "1.0"}}));

    auto identities = pe::FindXmlElements(xml, "assemblyIdentity");
    ASSERT_EQ(identities.size(), 2u);
    EXPECT_EQ(identities[0], (std::map<std::string, std::string>{{"version", "1.0.0.0"},
                                                                 {"processorArchitecture", arch},
                                                                 {"name", "Norvane.PrinterDriver.corvina"},
                                                                 {"type", "win32"}}));
    EXPECT_EQ(identities[1], (std::map<std::string, std::string>{{"type", "win32"},
                                                                 {"name", "Microsoft.Windows.Common-Controls"},
                                                                 {"version", "6.0.0.0"},
                                                                 {"processorArchitecture", arch},
                                                                 {"publicKeyToken", "6595b64144ccf1df"},
                                                                 {"language", "*"}}));
    EXPECT_NE(xml.find("<description>corvina</description>"), std::string::npos);
    // The second identity sits in the one dependency.
    EXPECT_EQ(pe::FindXmlElements(xml, "dependency").size(), 1u);
    EXPECT_EQ(pe::FindXmlElements(xml, "dependentAssembly").size(), 1u);
    EXPECT_LT(xml.find("<dependentAssembly"), xml.find("Microsoft.Windows.Common-Controls"));
}

TEST_P(DllBinary, VersionBlockCarriesTheFixedValuesAndStrings) {
    auto versions = OfType(RT_VERSION);
    ASSERT_EQ(versions.size(), 1u);
    auto root = pe::ParseVersionBlock(versions[0].data);
    ASSERT_TRUE(root) << "damaged version block";
    EXPECT_EQ(root->key, u"VS_VERSION_INFO");
    ASSERT_EQ(root->value.size(), 52u) << "VS_FIXEDFILEINFO";

    std::vector<uint32_t> fixed;
    for (size_t i = 0; i < 52; i += 4)
        fixed.push_back(root->value[i] | root->value[i + 1] << 8 | root->value[i + 2] << 16 |
                        uint32_t(root->value[i + 3]) << 24);
    const std::vector<uint32_t> expectedFixed = {
        0xFEEF04BD, 0x00010000,  // signature, structure version
        0x00010001, 0x00000004,  // file version 1.1.0.4
        0x00010001, 0x00000004,  // product version 1.1.0.4
        0x3F,       0,           // flags mask, flags
        0x40004,    2,     0,    // 32-bit Windows on NT, DLL, no subtype
        0,          0,           // date
    };
    EXPECT_EQ(fixed, expectedFixed);

    const pe::VersionNode* strings = root->Child(u"StringFileInfo");
    ASSERT_NE(strings, nullptr);
    ASSERT_EQ(strings->children.size(), 1u);
    EXPECT_EQ(strings->children[0].key, u"040904b0");
    std::map<std::u16string, std::u16string> entries;
    for (const pe::VersionNode& entry : strings->children[0].children) {
        EXPECT_EQ(entry.type, 1) << platform::ToUtf8(entry.key);
        entries[entry.key] = entry.Text();
    }
    EXPECT_EQ(entries, (std::map<std::u16string, std::u16string>{
                           {u"CompanyName", u"Norvane"},
                           {u"FileDescription", u"Norvane PostScript Driver Extension"},
                           {u"FileVersion", u"1, 1, 0, 4"},
                           {u"LegalCopyright", u"Norvane"},
                           {u"ProductVersion", u"1, 1, 0, 4"},
                       }));

    const pe::VersionNode* variables = root->Child(u"VarFileInfo");
    ASSERT_NE(variables, nullptr);
    const pe::VersionNode* translation = variables->Child(u"Translation");
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(translation->value.begin(), translation->value.end()),
              (std::vector<uint8_t>{0x09, 0x04, 0xB0, 0x04}));
}

TEST_P(DllBinary, ExportsOnlyTheComEntryPointsByPlainName) {
    std::string error;
    auto exports = image_->ExportTable(error);
    ASSERT_TRUE(exports) << error;
    std::vector<std::string> names = exports->names;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject"}));
    EXPECT_EQ(exports->functionCount, 2u) << "no export by ordinal only";
}

// The x64 build binds the activation-context functions at load time; the
// x86 build looks them up at run time, so it must not import them.
TEST_P(DllBinary, ImportsActivationContextFunctionsOnlyInTheX64Build) {
    std::string error;
    const auto imports = image_->Imports(error);
    ASSERT_TRUE(error.empty()) << error;
    std::set<std::string> kernelFunctions, everywhere;
    for (const pe::Import& import : imports) {
        std::string dll = import.dll;
        std::transform(dll.begin(), dll.end(), dll.begin(), [](unsigned char c) { return std::tolower(c); });
        for (const std::string& f : import.functions) {
            everywhere.insert(f);
            if (dll == "kernel32.dll") kernelFunctions.insert(f);
        }
    }
    for (const char* function : {"CreateActCtxW", "ReleaseActCtx"}) {
        if (GetParam().importsActivationContext)
            EXPECT_TRUE(kernelFunctions.count(function)) << function << " from KERNEL32.dll";
        else
            EXPECT_FALSE(everywhere.count(function)) << function;
    }
}

TEST_P(DllBinary, ImportsNoMingwRuntimeDll) {
    std::string error;
    const auto imports = image_->Imports(error);
    ASSERT_TRUE(error.empty()) << error;
    ASSERT_FALSE(imports.empty());
    for (const pe::Import& import : imports) {
        std::string dll = import.dll;
        std::transform(dll.begin(), dll.end(), dll.begin(), [](unsigned char c) { return std::tolower(c); });
        for (const char* runtime : {"libstdc++", "libgcc", "libwinpthread"})
            EXPECT_EQ(dll.find(runtime), std::string::npos) << import.dll;
    }
}

// The reader itself: a cut-off file is refused or read in part, never read
// past its end (the sanitizer build checks the reads).
TEST_P(DllBinary, ReaderSurvivesTruncatedFiles) {
    const std::string path = DllPath(GetParam());
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string cut = testing::TempDir() + "corvina-truncated.dll";
    for (size_t size : {size_t(0), size_t(2), size_t(0x40), size_t(0x100), size_t(0x400), bytes.size() / 2,
                        bytes.size() - 0x1000, bytes.size() - 1}) {
        SCOPED_TRACE(size);
        std::ofstream(cut, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(size));
        std::string error;
        auto image = pe::PeImage::Load(cut, error);
        if (!image) continue;
        for (const pe::Resource& r : image->Resources(error)) {
            pe::ParseStringBlock(r.name.id, r.data);
            pe::ParseDialogEx(r.data);
            pe::ParseVersionBlock(r.data);
        }
        image->ExportTable(error);
        image->Imports(error);
    }
    std::filesystem::remove(cut);
}

INSTANTIATE_TEST_SUITE_P(Builds, DllBinary, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<Build>& info) { return std::string(info.param.name); });

}  // namespace
