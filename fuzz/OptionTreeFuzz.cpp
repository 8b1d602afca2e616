// The option tree handler and the rendering callback over item arrays
// decoded from the input (levels, flags, names, resource ids, host keywords,
// option counts and texts, selections), against the model of the sample PPD.
// Checked: S_OK always; the handler changes only the flags it owns, only on
// the items the rules name, and never a name, level, selection or pointer;
// the callback answers with the host's action codes and touches only the
// first rendering item, telling the host driver of it once.
//
// Input: mode, flag byte, the host driver's answers, the items, then the
// callback events.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "frame/PluginContext.h"
#include "optree/HostItems.h"
#include "optree/OptionTree.h"
#include "platform/portable/PortablePlatform.h"
#include "ppd/PpdDocument.h"
#include "tests/ppd/PpdTestSupport.h"
#include "tests/support/Catalogue.h"

namespace {

enum Flags : uint8_t {
    flagNoModule = 0x01,
    flagNoHelper = 0x02,
    flagNoItems = 0x04,
    flagNoUserData = 0x08,
    flagNoModel = 0x10,
    flagSpooler = 0x20,  // with flagNoModel: the first call builds a model from the spooler's file
};

// The spooler's file for the first call that builds its own model: small, so
// that the runs taking that path stay quick (the sample's model is built once).
constexpr char kSpoolerPpd[] =
    "*OpenGroup: InstallableOptions\n*OpenUI *InstalledMemory/Installed Memory: PickOne\n"
    "*DefaultInstalledMemory: 64MB\n*InstalledMemory 64MB/64 MB: \"\"\n*InstalledMemory 128MB/128 MB: \"\"\n"
    "*CloseUI: *InstalledMemory\n*CloseGroup: InstallableOptions\n*OpenUI *QZRendering/Color Mode: PickOne\n"
    "*QZRendering None/Monochrome: \"\"\n*QZRendering CMYK/Color: \"\"\n*CloseUI: *QZRendering\n"
    "*UIConstraints: *InstalledMemory 64MB *QZRendering CMYK\n";
constexpr int32_t kSpoolerPpdFeatures = 2;

const HANDLE kPrinter = reinterpret_cast<HANDLE>(0x9A1);
// The handler finds feature names in the catalogue, as the DLL in its resources.
[[maybe_unused]] const bool g_catalogueInPlace = (support::UseCatalogue(), true);
char moduleStandIn;

// The host driver: answers DrvGetDriverSetting from the input's script, in
// turn, writing no more than the buffer size it is given.
class ScriptedDriver final : public IPrintOemDriverUI {
public:
    struct Answer {
        HRESULT status;
        std::string option;
    };
    std::vector<Answer> answers;
    size_t next = 0;
    std::vector<PVOID> updatedItems;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR feature, PVOID output, DWORD size, DWORD* needed,
                                                  DWORD* returned) override {
        FUZZ_CHECK(feature && std::strlen(feature) < kSettingTextCapacity);
        if (answers.empty()) return E_FAIL;
        const Answer& answer = answers[next++ % answers.size()];
        if (needed) *needed = static_cast<DWORD>(answer.option.size() + 1);
        if (returned) *returned = 1;
        if (answer.status != S_OK) return answer.status;
        std::memcpy(output, answer.option.data(), answer.option.size() < size ? answer.option.size() : size);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE, PCSTR, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID, PVOID item, DWORD previous, DWORD mode) override {
        FUZZ_CHECK(previous == 0 && mode == OEMCUIP_DOCPROP);
        updatedItems.push_back(item);
        return S_OK;
    }
};

// The model of the sample PPD, built once; each run puts back its installed
// options and constraint flags.
struct SampleModel {
    PpdDocument* document = nullptr;
    std::vector<std::u16string> currentOptions;
    std::vector<uint8_t> flags;
    std::string spoolerFile;

    SampleModel() {
        char name[] = "/tmp/corvina-fuzz-XXXXXX";
        const int fd = mkstemp(name);
        FUZZ_CHECK(fd >= 0);
        FILE* spooler = fdopen(fd, "wb");
        FUZZ_CHECK(spooler && std::fputs(kSpoolerPpd, spooler) >= 0);
        std::fclose(spooler);
        spoolerFile = name;

        FILE* file = std::fopen(CORVINA_SAMPLES_DIR "/norvane-c5.ppd", "r");
        FUZZ_CHECK(file);
        document = new PpdDocument(PpdReadFileByte, file);
        std::fclose(file);
        FUZZ_CHECK(document && document->featureCount > 0 && document->installableCount > 0);
        for (int32_t i = 0; i < document->installableCount; ++i)
            currentOptions.emplace_back(document->installables[i]->currentOption.text);
        flags = ppdtest::ConstrainedFlags(*document);
    }

    ~SampleModel() { std::remove(spoolerFile.c_str()); }

    std::u16string SpoolerFile() const { return std::u16string(spoolerFile.begin(), spoolerFile.end()); }

    void Restore() {
        for (int32_t i = 0; i < document->installableCount; ++i) {
            PpdString& current = document->installables[i]->currentOption;
            current.length = static_cast<int32_t>(currentOptions[i].size());
            std::memset(current.text, 0, sizeof current.text);
            std::memcpy(current.text, currentOptions[i].c_str(), currentOptions[i].size() * sizeof(char16_t));
        }
        size_t at = 0;
        for (int32_t f = 0; f < document->featureCount; ++f)
            for (int32_t o = 0; o < document->features[f]->optionCount; ++o)
                document->features[f]->options[o]->constrained = flags[at++];
    }
};

SampleModel& Model() {
    static SampleModel model;
    return model;
}

// Everything an item array points to, kept alive for the run.
struct HostArrays {
    std::deque<std::u16string> texts;
    std::deque<std::string> keywords;
    std::deque<std::vector<const char*>> userRecords;
    std::deque<std::vector<OPTPARAM>> optionArrays;
    std::deque<OPTTYPE> types;
    std::vector<OPTITEM> items;

    LPTSTR Text(const std::u16string& text) {
        texts.push_back(text);
        return texts.back().data();
    }
};

constexpr BYTE kPubIds[] = {0, DMPUB_DEFSOURCE, DMPUB_PRINTQUALITY, DMPUB_COLOR, DMPUB_DUPLEX,
                            DMPUB_FORMNAME, DMPUB_MEDIATYPE, DMPUB_USER, 1, 8};

// A text an item or option may carry: a resource id, a translation of the
// model (so that items meet their features), or arbitrary units.
LPTSTR DecodeName(fuzz::InputReader& input, HostArrays& arrays, const PpdDocument& doc, bool option) {
    switch (input.Byte() % 7) {
        case 0: return reinterpret_cast<LPTSTR>(uintptr_t{kInitialPrinterItemId});
        case 1: return reinterpret_cast<LPTSTR>(uintptr_t{kHiddenPrinterBranchId});
        case 2: return reinterpret_cast<LPTSTR>(uintptr_t{input.Word()});
        case 3: {
            const PpdFeature* feature = doc.GetFeature(static_cast<int32_t>(input.Below(doc.featureCount)));
            if (!option || feature->optionCount == 0) return arrays.Text(feature->translation.text);
            return arrays.Text(feature->options[input.Below(feature->optionCount)]->translation.text);
        }
        case 4: return arrays.Text(u"Color Mode");
        case 5: return nullptr;
        default: return arrays.Text(input.WideText(40));
    }
}

ULONG_PTR DecodeUserData(fuzz::InputReader& input, HostArrays& arrays, const PpdDocument& doc) {
    const uint8_t kind = input.Byte() % 6;
    if (kind == 0) return 0;
    const char* keyword = nullptr;
    switch (kind) {
        case 1: keyword = kRenderingHostKeyword; break;
        case 2: keyword = nullptr; break;
        case 3: {
            // A feature keyword of the model without its '*'.
            const PpdString& name = doc.GetFeature(static_cast<int32_t>(input.Below(doc.featureCount)))->keyword;
            std::string narrow;
            for (int32_t i = 1; i < name.length; ++i) narrow.push_back(static_cast<char>(name.text[i]));
            arrays.keywords.push_back(narrow);
            keyword = arrays.keywords.back().c_str();
            break;
        }
        case 4: {
            arrays.keywords.push_back(std::string(kRenderingHostKeyword).substr(0, input.Below(12)) +
                                      (input.Byte() & 1 ? "X" : ""));
            keyword = arrays.keywords.back().c_str();
            break;
        }
        default: {
            std::string bytes;
            for (char16_t unit : input.ByteText(20)) bytes.push_back(static_cast<char>(unit));
            arrays.keywords.push_back(bytes);
            keyword = arrays.keywords.back().c_str();
            break;
        }
    }
    arrays.userRecords.push_back({nullptr, nullptr, keyword, nullptr});
    return reinterpret_cast<ULONG_PTR>(arrays.userRecords.back().data());
}

void DecodeItems(fuzz::InputReader& input, HostArrays& arrays, const PpdDocument& doc) {
    const size_t count = input.Byte() % 40;
    arrays.items.resize(count);
    for (OPTITEM& item : arrays.items) {
        std::memset(&item, 0, sizeof item);
        item.cbSize = sizeof item;
        const uint8_t level = input.Byte();
        item.Level = level & 0x80 ? level : level % 4;
        item.DMPubID = kPubIds[input.Below(std::size(kPubIds))];
        item.Flags = input.Byte() & 1 ? input.Dword() : 0;
        const uint8_t sel = input.Byte();
        item.Sel = sel < 0xF0 ? sel % 3 : static_cast<LONG>(input.Dword());
        item.pName = DecodeName(input, arrays, doc, false);
        item.UserData = DecodeUserData(input, arrays, doc);
        const uint8_t typeKind = input.Byte();
        if (typeKind % 4 == 0) continue;
        OPTTYPE type{};
        type.cbSize = sizeof type;
        type.Count = typeKind % 4 == 3 ? input.Byte() % 16 : typeKind % 4;
        if (typeKind & 0x80) {
            type.pOptParam = nullptr;
        } else {
            arrays.optionArrays.emplace_back(type.Count);
            for (OPTPARAM& option : arrays.optionArrays.back()) {
                option.cbSize = sizeof option;
                option.Flags = input.Byte() & 1 ? input.Byte() : 0;
                option.pData = DecodeName(input, arrays, doc, true);
            }
            type.pOptParam = arrays.optionArrays.back().data();
        }
        arrays.types.push_back(type);
        item.pOptType = &arrays.types.back();
    }
}

struct ItemState {
    OPTITEM item;
    std::vector<BYTE> optionFlags;
};

std::vector<ItemState> Snapshot(const std::vector<OPTITEM>& items) {
    std::vector<ItemState> states;
    for (const OPTITEM& item : items) {
        ItemState state{item, {}};
        if (item.pOptType && item.pOptType->pOptParam)
            for (WORD j = 0; j < item.pOptType->Count; ++j) state.optionFlags.push_back(item.pOptType->pOptParam[j].Flags);
        states.push_back(state);
    }
    return states;
}

// Everything but the flags is as the host made it.
void CheckOnlyFlagsChanged(const std::vector<OPTITEM>& items, const std::vector<ItemState>& before) {
    FUZZ_CHECK(items.size() == before.size());
    for (size_t i = 0; i < items.size(); ++i) {
        OPTITEM now = items[i];
        now.Flags = before[i].item.Flags;
        FUZZ_CHECK(std::memcmp(&now, &before[i].item, sizeof now) == 0);
    }
}

// A text equal to the translation of an option the model marks, the first
// of that translation in its feature.
bool NamesConstrainedOption(const PpdDocument& doc, const char16_t* text) {
    for (int32_t f = 0; f < doc.featureCount; ++f) {
        const PpdFeature& feature = *doc.features[f];
        for (int32_t o = 0; o < feature.optionCount; ++o) {
            if (!feature.options[o]->translation.Equals(text)) continue;
            if (feature.options[o]->constrained) return true;
            break;
        }
    }
    return false;
}

void CheckDocumentPass(const std::vector<OPTITEM>& items, const std::vector<ItemState>& before,
                       const PpdDocument* doc) {
    LONG colour = 1;
    for (size_t i = 0; i < items.size(); ++i) {
        const OPTITEM& item = items[i];
        const DWORD added = item.Flags & ~before[i].item.Flags;
        FUZZ_CHECK((before[i].item.Flags & ~item.Flags) == 0);
        if (added) {
            FUZZ_CHECK(added == OPTIF_DISABLED && doc && colour == 0 && IsRenderingItem(item));
            FUZZ_CHECK(item.DMPubID != DMPUB_COLOR);
        }
        if (item.DMPubID == DMPUB_COLOR) colour = item.Sel;
        if (!item.pOptType || !item.pOptType->pOptParam) continue;
        for (WORD j = 0; j < item.pOptType->Count; ++j) {
            const OPTPARAM& option = item.pOptType->pOptParam[j];
            const BYTE gained = option.Flags & ~before[i].optionFlags[j];
            FUZZ_CHECK((before[i].optionFlags[j] & ~option.Flags) == 0);
            if (gained) {
                FUZZ_CHECK(gained == OPTPF_OVERLAY_WARNING_ICON && doc && item.DMPubID != DMPUB_COLOR);
                FUZZ_CHECK(!IsResourceId(option.pData) && NamesConstrainedOption(*doc, HostText(option.pData)));
            }
        }
    }
}

// The printer sheet's rules, walked again: item 400 is the initial item; item
// 64798 and what follows it up to the next item of its level are hidden,
// with the followers' options.
void CheckPrinterPass(const std::vector<OPTITEM>& items, const std::vector<ItemState>& before) {
    bool hiding = false;
    BYTE hideLevel = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const OPTITEM& old = before[i].item;
        DWORD expected = old.Flags;
        bool hideOptions = false;
        if (hiding) {
            if (old.Level == hideLevel) {
                hiding = false;
            } else {
                expected |= OPTIF_HIDE;
                hideOptions = true;
            }
        }
        if (IsResourceId(old.pName)) {
            const uintptr_t id = reinterpret_cast<uintptr_t>(old.pName);
            if (id == kInitialPrinterItemId) expected |= OPTIF_INITIAL_TVITEM;
            if (id == kHiddenPrinterBranchId) {
                expected |= OPTIF_HIDE;
                hideLevel = old.Level;
                hiding = true;
            }
        }
        FUZZ_CHECK(items[i].Flags == expected);
        if (!items[i].pOptType || !items[i].pOptType->pOptParam) continue;
        for (WORD j = 0; j < items[i].pOptType->Count; ++j)
            FUZZ_CHECK(items[i].pOptType->pOptParam[j].Flags ==
                       (hideOptions ? before[i].optionFlags[j] | OPTPF_HIDE : before[i].optionFlags[j]));
    }
}

void CheckUnchanged(const std::vector<OPTITEM>& items, const std::vector<ItemState>& before) {
    const std::vector<ItemState> now = Snapshot(items);
    for (size_t i = 0; i < items.size(); ++i) {
        FUZZ_CHECK(std::memcmp(&now[i].item, &before[i].item, sizeof(OPTITEM)) == 0);
        FUZZ_CHECK(now[i].optionFlags == before[i].optionFlags);
    }
}

void RunCallbacks(fuzz::InputReader& input, OEMCUIPPARAM& param, HostArrays& arrays, ScriptedDriver& driver,
                  const PluginContext& context) {
    std::vector<OPTITEM>& items = arrays.items;
    OPTITEM outside{};
    outside.DMPubID = DMPUB_COLOR;
    const size_t events = input.Byte() % 8;
    for (size_t e = 0; e < events && !input.empty(); ++e) {
        CPSUICBPARAM callback{};
        callback.cbSize = sizeof callback;
        const uint8_t reason = input.Byte();
        callback.Reason = reason < 0xC0 ? CPSUICB_REASON_SEL_CHANGED : reason < 0xE0 ? CPSUICB_REASON_APPLYNOW : reason;
        const uint8_t which = input.Byte();
        OPTITEM* current = nullptr;
        if (which < 0xE0 && !items.empty()) current = &items[which % items.size()];
        else if (which < 0xF0) current = &outside;
        if (current && (input.Byte() & 1)) current->DMPubID = DMPUB_COLOR;
        if (current) current->Sel = input.Byte() % 3;
        callback.pCurItem = current;

        const bool noCallback = input.Byte() == 0xFF;

        const std::vector<ItemState> before = Snapshot(items);
        const size_t updatesBefore = driver.updatedItems.size();
        const LONG action = RenderingDependencyCallback(noCallback ? nullptr : &callback, &param);

        OPTITEM* rendering = nullptr;
        if (param.pDrvOptItems)
            for (OPTITEM& item : items)
                if (!rendering && IsRenderingItem(item)) rendering = &item;
        const bool acts = !noCallback && callback.Reason == CPSUICB_REASON_SEL_CHANGED && current &&
                          current->DMPubID == DMPUB_COLOR && rendering;
        const bool applied = !noCallback && callback.Reason == CPSUICB_REASON_APPLYNOW;
        FUZZ_CHECK(action == (applied ? CPSUICB_ACTION_ITEMS_APPLIED : CPSUICB_ACTION_OPTIF_CHANGED));
        const std::vector<ItemState> after = Snapshot(items);
        for (size_t i = 0; i < items.size(); ++i) {
            OPTITEM expected = before[i].item;
            if (acts && &items[i] == rendering) {
                expected.Sel = current->Sel;
                expected.Flags = current->Sel == 0 ? expected.Flags | OPTIF_DISABLED : expected.Flags & ~OPTIF_DISABLED;
            }
            FUZZ_CHECK(std::memcmp(&after[i].item, &expected, sizeof expected) == 0);
            FUZZ_CHECK(after[i].optionFlags == before[i].optionFlags);
        }
        const bool told = acts && param.pOEMUserData && context.driverHelper;
        FUZZ_CHECK(driver.updatedItems.size() == updatesBefore + (told ? 1 : 0));
        if (told) FUZZ_CHECK(driver.updatedItems.back() == rendering);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SampleModel& model = Model();
    fuzz::InputReader input(data, size);
    const uint8_t modeByte = input.Byte();
    const DWORD mode = modeByte < 0x70 ? OEMCUIP_DOCPROP : modeByte < 0xE0 ? OEMCUIP_PRNPROP : modeByte;
    const uint8_t flags = input.Byte();

    ScriptedDriver driver;
    for (size_t n = input.Byte() % 6; n > 0; --n) {
        const uint8_t status = input.Byte();
        std::string option;
        for (char16_t unit : input.ByteText(300)) option.push_back(static_cast<char>(unit));
        driver.answers.push_back({status < 0xC0 ? S_OK : status < 0xE0 ? E_FAIL : E_OUTOFMEMORY, option});
    }

    PluginContext context;
    context.driverHelper.reset((flags & flagNoHelper) ? nullptr : &driver);
    const bool buildFromSpooler = (flags & flagNoModel) && (flags & flagSpooler);
    // The sample's model is lent to the context for the run, and taken back at its end.
    context.ppdDocument.reset((flags & flagNoModel) ? nullptr : model.document);
    platform::portable::RemoveAllPrinters();
    if (buildFromSpooler) platform::portable::AddPrinter(kPrinter, model.SpoolerFile());

    HostArrays arrays;
    DecodeItems(input, arrays, *model.document);

    OEMCUIPPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = kPrinter;
    param.hModule = (flags & flagNoModule) ? nullptr : &moduleStandIn;
    param.hOEMHeap = platform::ProcessHeap();
    param.pDrvOptItems = (flags & flagNoItems) ? nullptr : arrays.items.data();
    param.cDrvOptItems = (flags & flagNoItems) ? 0 : static_cast<DWORD>(arrays.items.size());
    param.cOEMOptItems = 0xDEAD;

    // First call of the sheet: no items of the plug-in's own, the model
    // built or brought up to date, the host's items untouched.
    std::vector<ItemState> before = Snapshot(arrays.items);
    FUZZ_CHECK(CustomizeOptionTree(mode, &param, &context) == S_OK);
    FUZZ_CHECK(param.cOEMOptItems == 0);
    FUZZ_CHECK(param.pOEMUserData == nullptr && param.OEMCUIPCallback == nullptr);
    CheckUnchanged(arrays.items, before);
    if (buildFromSpooler) FUZZ_CHECK(context.ppdDocument && context.ppdDocument->featureCount == kSpoolerPpdFeatures);
    if (!(flags & flagNoModel)) FUZZ_CHECK(context.ppdDocument.get() == model.document);

    OPTITEM pluginItem{};
    param.pOEMOptItems = &pluginItem;
    before = Snapshot(arrays.items);
    FUZZ_CHECK(CustomizeOptionTree(mode, &param, &context) == S_OK);
    CheckOnlyFlagsChanged(arrays.items, before);
    if (mode == OEMCUIP_DOCPROP) FUZZ_CHECK(param.pOEMUserData == &context && param.OEMCUIPCallback == RenderingDependencyCallback);
    if (!param.pDrvOptItems) {
        CheckUnchanged(arrays.items, before);
    } else if (mode == OEMCUIP_DOCPROP) {
        if (!context.ppdDocument) CheckUnchanged(arrays.items, before);
        CheckDocumentPass(arrays.items, before, context.ppdDocument.get());
    } else if (mode == OEMCUIP_PRNPROP) {
        CheckPrinterPass(arrays.items, before);
    } else {
        CheckUnchanged(arrays.items, before);
    }

    if (flags & flagNoUserData) param.pOEMUserData = nullptr;
    RunCallbacks(input, param, arrays, driver, context);

    if (context.ppdDocument.get() == model.document) context.ppdDocument.release();
    model.Restore();
    platform::portable::RemoveAllPrinters();
    return 0;
}
