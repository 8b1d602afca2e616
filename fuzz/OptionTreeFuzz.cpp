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
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "frame/PluginContext.h"
#include "optree/HostItems.h"
#include "optree/OptionTree.h"
#include "platform/portable/PortablePlatform.h"
#include "ppd/PpdDocument.h"
#include "tests/support/Catalogue.h"
#include "tests/support/FakeDriverHelper.h"
#include "tests/support/ItemArrays.h"
#include "tests/support/PpdSource.h"

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

// What the plug-in asked of the host driver: feature keywords that fit its
// buffers, and updates of the document sheet with no previous selection.
void CheckDriverCalls(const support::FakeDriverHelper& driver) {
    for (const auto& query : driver.settingQueries) FUZZ_CHECK(query.feature.size() < kSettingTextCapacity);
    for (const auto& update : driver.updates)
        FUZZ_CHECK(update.previousSelection == 0 && update.mode == OEMCUIP_DOCPROP);
}

// The model of the sample PPD, built once; each run puts back its installed
// options and constraint flags.
struct SampleModel {
    PpdDocument* document = nullptr;
    std::vector<std::u16string> currentOptions;
    std::vector<uint8_t> flags;
    ppdtest::TempPpd spoolerFile{kSpoolerPpd};

    SampleModel() {
        FILE* file = std::fopen(CORVINA_SAMPLES_DIR "/norvane-c5.ppd", "r");
        FUZZ_CHECK(file);
        document = new PpdDocument(PpdReadFileByte, file);
        std::fclose(file);
        FUZZ_CHECK(document && document->featureCount > 0 && document->installableCount > 0);
        for (int32_t i = 0; i < document->installableCount; ++i)
            currentOptions.emplace_back(document->installables[i]->currentOption.text);
        flags = ppdtest::ConstrainedFlags(*document);
    }

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

constexpr BYTE kPubIds[] = {0, DMPUB_DEFSOURCE, DMPUB_PRINTQUALITY, DMPUB_COLOR, DMPUB_DUPLEX,
                            DMPUB_FORMNAME, DMPUB_MEDIATYPE, DMPUB_USER, 1, 8};

// A text an item or option may carry: a resource id, a translation of the
// model (so that items meet their features), arbitrary units, or none.
void DecodeText(fuzz::InputReader& input, const PpdDocument& doc, bool option, std::u16string& text,
                uintptr_t& resourceId, bool& null) {
    switch (input.Byte() % 7) {
        case 0: resourceId = kInitialPrinterItemId; break;
        case 1: resourceId = kHiddenPrinterBranchId; break;
        case 2:
            resourceId = input.Word();
            null = resourceId == 0;
            break;
        case 3: {
            const PpdFeature* feature = doc.GetFeature(static_cast<int32_t>(input.Below(doc.featureCount)));
            if (!option || feature->optionCount == 0)
                text = feature->translation.text;
            else
                text = feature->options[input.Below(feature->optionCount)]->translation.text;
            break;
        }
        case 4: text = u"Color Mode"; break;
        case 5: null = true; break;
        default: text = input.WideText(40); break;
    }
}

// The host's record behind an item: none, or one whose keyword is the
// rendering item's, null, a feature's of the model, near the rendering
// item's, or arbitrary bytes.
void DecodeUserData(fuzz::InputReader& input, const PpdDocument& doc, hostitems::ItemSpec& row) {
    const uint8_t kind = input.Byte() % 6;
    row.keywordRecord = kind != 0;
    switch (kind) {
        case 0:
        case 2: break;
        case 1: row.hostKeyword = kRenderingHostKeyword; break;
        case 3: {
            // A feature keyword of the model without its '*'.
            const PpdString& name = doc.GetFeature(static_cast<int32_t>(input.Below(doc.featureCount)))->keyword;
            for (int32_t i = 1; i < name.length; ++i) row.hostKeyword.push_back(static_cast<char>(name.text[i]));
            break;
        }
        case 4:
            row.hostKeyword = std::string(kRenderingHostKeyword).substr(0, input.Below(12)) + (input.Byte() & 1 ? "X" : "");
            break;
        default:
            for (char16_t unit : input.ByteText(20)) row.hostKeyword.push_back(static_cast<char>(unit));
            break;
    }
    row.emptyKeyword = kind >= 3 && row.hostKeyword.empty();
}

std::vector<hostitems::ItemSpec> DecodeItems(fuzz::InputReader& input, const PpdDocument& doc) {
    std::vector<hostitems::ItemSpec> rows(input.Byte() % 40);
    for (hostitems::ItemSpec& row : rows) {
        const uint8_t level = input.Byte();
        row.level = level & 0x80 ? level : level % 4;
        row.dmPubId = kPubIds[input.Below(std::size(kPubIds))];
        row.flags = input.Byte() & 1 ? input.Dword() : 0;
        const uint8_t sel = input.Byte();
        row.sel = sel < 0xF0 ? sel % 3 : static_cast<LONG>(input.Dword());
        DecodeText(input, doc, false, row.name, row.nameId, row.nullName);
        DecodeUserData(input, doc, row);
        const uint8_t typeKind = input.Byte();
        row.hasOptType = typeKind % 4 != 0;
        if (!row.hasOptType) continue;
        row.options.resize(typeKind % 4 == 3 ? input.Byte() % 16 : typeKind % 4);
        row.nullOptParams = typeKind & 0x80;
        if (row.nullOptParams) continue;
        for (hostitems::OptionSpec& option : row.options) {
            option.flags = input.Byte() & 1 ? input.Byte() : 0;
            DecodeText(input, doc, true, option.text, option.resourceId, option.nullText);
        }
    }
    return rows;
}

struct ItemState {
    OPTITEM item;
    std::vector<BYTE> optionFlags;
};

std::vector<ItemState> Snapshot(hostitems::ItemArray& items) {
    std::vector<ItemState> states;
    for (DWORD i = 0; i < items.Count(); ++i) {
        const OPTITEM& item = items.Item(i);
        ItemState state{item, {}};
        if (item.pOptType && item.pOptType->pOptParam)
            for (WORD j = 0; j < item.pOptType->Count; ++j) state.optionFlags.push_back(item.pOptType->pOptParam[j].Flags);
        states.push_back(state);
    }
    return states;
}

// Everything but the flags is as the host made it.
void CheckOnlyFlagsChanged(hostitems::ItemArray& items, const std::vector<ItemState>& before) {
    FUZZ_CHECK(items.Count() == before.size());
    for (DWORD i = 0; i < items.Count(); ++i) {
        OPTITEM now = items.Item(i);
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

void CheckDocumentPass(hostitems::ItemArray& items, const std::vector<ItemState>& before, const PpdDocument* doc) {
    LONG colour = 1;
    for (DWORD i = 0; i < items.Count(); ++i) {
        const OPTITEM& item = items.Item(i);
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
void CheckPrinterPass(hostitems::ItemArray& items, const std::vector<ItemState>& before) {
    bool hiding = false;
    BYTE hideLevel = 0;
    for (DWORD i = 0; i < items.Count(); ++i) {
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
        const OPTITEM& item = items.Item(i);
        FUZZ_CHECK(item.Flags == expected);
        if (!item.pOptType || !item.pOptType->pOptParam) continue;
        for (WORD j = 0; j < item.pOptType->Count; ++j)
            FUZZ_CHECK(item.pOptType->pOptParam[j].Flags ==
                       (hideOptions ? before[i].optionFlags[j] | OPTPF_HIDE : before[i].optionFlags[j]));
    }
}

void CheckUnchanged(hostitems::ItemArray& items, const std::vector<ItemState>& before) {
    const std::vector<ItemState> now = Snapshot(items);
    for (size_t i = 0; i < now.size(); ++i) {
        FUZZ_CHECK(std::memcmp(&now[i].item, &before[i].item, sizeof(OPTITEM)) == 0);
        FUZZ_CHECK(now[i].optionFlags == before[i].optionFlags);
    }
}

void RunCallbacks(fuzz::InputReader& input, OEMCUIPPARAM& param, hostitems::ItemArray& items,
                  support::FakeDriverHelper& driver, const PluginContext& context) {
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
        if (which < 0xE0 && items.Count() > 0) current = &items.Item(which % items.Count());
        else if (which < 0xF0) current = &outside;
        if (current && (input.Byte() & 1)) current->DMPubID = DMPUB_COLOR;
        if (current) current->Sel = input.Byte() % 3;
        callback.pCurItem = current;

        const bool noCallback = input.Byte() == 0xFF;

        const std::vector<ItemState> before = Snapshot(items);
        const size_t updatesBefore = driver.updates.size();
        const LONG action = RenderingDependencyCallback(noCallback ? nullptr : &callback, &param);

        OPTITEM* rendering = nullptr;
        if (param.pDrvOptItems)
            for (DWORD i = 0; i < items.Count(); ++i)
                if (!rendering && IsRenderingItem(items.Item(i))) rendering = &items.Item(i);
        const bool acts = !noCallback && callback.Reason == CPSUICB_REASON_SEL_CHANGED && current &&
                          current->DMPubID == DMPUB_COLOR && rendering;
        const bool applied = !noCallback && callback.Reason == CPSUICB_REASON_APPLYNOW;
        FUZZ_CHECK(action == (applied ? CPSUICB_ACTION_ITEMS_APPLIED : CPSUICB_ACTION_OPTIF_CHANGED));
        const std::vector<ItemState> after = Snapshot(items);
        for (DWORD i = 0; i < items.Count(); ++i) {
            OPTITEM expected = before[i].item;
            if (acts && &items.Item(i) == rendering) {
                expected.Sel = current->Sel;
                expected.Flags = current->Sel == 0 ? expected.Flags | OPTIF_DISABLED : expected.Flags & ~OPTIF_DISABLED;
            }
            FUZZ_CHECK(std::memcmp(&after[i].item, &expected, sizeof expected) == 0);
            FUZZ_CHECK(after[i].optionFlags == before[i].optionFlags);
        }
        const bool told = acts && param.pOEMUserData && context.driverHelper;
        FUZZ_CHECK(driver.updates.size() == updatesBefore + (told ? 1 : 0));
        if (told) FUZZ_CHECK(driver.updates.back().item == rendering);
        CheckDriverCalls(driver);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SampleModel& model = Model();
    fuzz::InputReader input(data, size);
    const uint8_t modeByte = input.Byte();
    const DWORD mode = modeByte < 0x70 ? OEMCUIP_DOCPROP : modeByte < 0xE0 ? OEMCUIP_PRNPROP : modeByte;
    const uint8_t flags = input.Byte();

    // The host driver answers from the input's script, in turn, cutting
    // answers to the buffer it is given.
    support::FakeDriverHelper driver;
    driver.truncate = true;
    for (size_t n = input.Byte() % 6; n > 0; --n) {
        const uint8_t status = input.Byte();
        std::string option;
        for (char16_t unit : input.ByteText(300)) option.push_back(static_cast<char>(unit));
        driver.script.push_back({status < 0xC0 ? S_OK : status < 0xE0 ? E_FAIL : E_OUTOFMEMORY, option});
    }
    if (driver.script.empty()) driver.failWith = E_FAIL;

    PluginContext context;
    context.driverHelper.reset((flags & flagNoHelper) ? nullptr : &driver);
    const bool buildFromSpooler = (flags & flagNoModel) && (flags & flagSpooler);
    // The sample's model is lent to the context for the run, and taken back at its end.
    context.ppdDocument.reset((flags & flagNoModel) ? nullptr : model.document);
    platform::portable::RemoveAllPrinters();
    if (buildFromSpooler) platform::portable::AddPrinter(kPrinter, model.spoolerFile.WidePath());

    hostitems::ItemArray items(DecodeItems(input, *model.document));

    OEMCUIPPARAM param{};
    param.cbSize = sizeof param;
    param.hPrinter = kPrinter;
    param.hModule = (flags & flagNoModule) ? nullptr : &moduleStandIn;
    param.hOEMHeap = platform::ProcessHeap();
    param.pDrvOptItems = (flags & flagNoItems) ? nullptr : items.Items();
    param.cDrvOptItems = (flags & flagNoItems) ? 0 : items.Count();
    param.cOEMOptItems = 0xDEAD;

    // First call of the sheet: no items of the plug-in's own, the model
    // built or brought up to date, the host's items untouched.
    std::vector<ItemState> before = Snapshot(items);
    FUZZ_CHECK(CustomizeOptionTree(mode, &param, &context) == S_OK);
    FUZZ_CHECK(param.cOEMOptItems == 0);
    FUZZ_CHECK(param.pOEMUserData == nullptr && param.OEMCUIPCallback == nullptr);
    CheckUnchanged(items, before);
    CheckDriverCalls(driver);
    if (buildFromSpooler) FUZZ_CHECK(context.ppdDocument && context.ppdDocument->featureCount == kSpoolerPpdFeatures);
    if (!(flags & flagNoModel)) FUZZ_CHECK(context.ppdDocument.get() == model.document);

    OPTITEM pluginItem{};
    param.pOEMOptItems = &pluginItem;
    before = Snapshot(items);
    FUZZ_CHECK(CustomizeOptionTree(mode, &param, &context) == S_OK);
    CheckOnlyFlagsChanged(items, before);
    if (mode == OEMCUIP_DOCPROP) FUZZ_CHECK(param.pOEMUserData == &context && param.OEMCUIPCallback == RenderingDependencyCallback);
    if (!param.pDrvOptItems) {
        CheckUnchanged(items, before);
    } else if (mode == OEMCUIP_DOCPROP) {
        if (!context.ppdDocument) CheckUnchanged(items, before);
        CheckDocumentPass(items, before, context.ppdDocument.get());
    } else if (mode == OEMCUIP_PRNPROP) {
        CheckPrinterPass(items, before);
    } else {
        CheckUnchanged(items, before);
    }

    if (flags & flagNoUserData) param.pOEMUserData = nullptr;
    RunCallbacks(input, param, items, driver, context);

    if (context.ppdDocument.get() == model.document) context.ppdDocument.release();
    model.Restore();
    platform::portable::RemoveAllPrinters();
    return 0;
}
