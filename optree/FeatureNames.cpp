#include "optree/FeatureNames.h"

#include <iterator>
#include <string_view>

#include "platform/Platform.h"

namespace {

constexpr bool SameText(const char16_t* a, const char16_t* b) {
    return std::u16string_view(a) == std::u16string_view(b);
}

}  // namespace

const FeatureNameEntry g_featureNameTable[kFeatureNameCount + 1] = {
    {DMPUB_DEFSOURCE, 1, 10001, u"*InputSlot"},
    {DMPUB_PRINTQUALITY, 2, 10002, u"*Resolution"},
    {DMPUB_MEDIATYPE, 3, 10003, u"*MediaType"},
    {DMPUB_FORMNAME, 4, 10007, u"*PageSize"},
    {DMPUB_DUPLEX, 5, 10025, u"*Duplex"},
    {0, 32, 10004, u"*InstalledMemory"},
    {0, 33, 10005, u"*QZTrayUnit"},
    {0, 34, 10006, u"*QZDuplexOption"},
    {0, 35, 10024, u"*QZStackerOption"},
    {0, 36, 10028, u"*QZCompactFlash"},
    {0, 64, 10008, u"*QZScreens"},
    {0, 65, 10009, u"*QZPureBlack"},
    {0, 66, 10010, u"*QZLumaedge"},
    {0, 67, 10011, u"*QZToner"},
    {0, 68, 10012, u"*QZImageProtect"},
    {0, 69, 10013, u"*QZRendering"},
    {0, 70, 10014, u"*QZPressSimulation"},
    {0, 71, 10017, u"*QZCMYKMethod"},
    {0, 72, 10015, u"*QZRGBSource"},
    {0, 73, 10016, u"*QZRGBIntent"},
    {0, 74, 10018, u"*QZSeparations"},
    {0, 75, 10019, u"*OutputBin"},
    {0, 76, 10020, u"*QZDensity"},
    {0, 77, 10021, u"*QZRotate180Degrees"},
    {0, 78, 10022, u"*QZRotate90Degrees"},
    {0, 79, 10023, u"*QZStartSide"},
    {0, 80, 10026, u"*QZAutoMonoMode"},
    {0, 81, 10027, u"*QZOUTPUTID"},
    {0, 0, 0, u""},
};
static_assert(sizeof g_featureNameTable / sizeof g_featureNameTable[0] == 29, "28 features and the terminator");

HRESULT LoadFeatureName(HMODULE module, FeatureDisplayName* out, const char16_t* keyword, uint32_t dmPubId) {
    if (!module || !out || (!keyword && dmPubId == 0)) return E_INVALIDARG;
    const FeatureNameEntry* row = g_featureNameTable;
    for (; row->featureId != 0; ++row) {
        if (dmPubId != 0 ? row->dmPubId == dmPubId : row->dmPubId == 0 && SameText(row->keyword, keyword)) break;
    }
    if (row->featureId == 0) return E_FAIL;
    out->featureId = row->featureId;
    const int copied = platform::LoadStringText(module, row->stringId, out->text, kFeatureDisplayNameCapacity);
    return copied == 0 ? E_FAIL : S_OK;
}

const char16_t* FeatureKeywordById(uint32_t featureId) {
    for (const FeatureNameEntry* row = g_featureNameTable; row->featureId != 0; ++row)
        if (row->featureId == featureId) return row->keyword;
    return nullptr;
}

// ---- Option names --------------------------------------------------------

namespace {

constexpr OptionNameEntry kInputSlotNames[] = {
    {20005, u"MSI"}, {20006, u"LC1"}, {20007, u"LC2"}, {20008, u"LC3"}, {20009, u"LC4"}, {0, u""},
};
static_assert(std::size(kInputSlotNames) == 6);

constexpr OptionNameEntry kResolutionNames[] = {
    {20010, u"1200dpi"}, {20011, u"600dpi"}, {20012, u"300dpi"}, {0, u""},
};
static_assert(std::size(kResolutionNames) == 4);

constexpr OptionNameEntry kMediaTypeNames[] = {
    {20013, u"Unspecified"},       {20014, u"Plain"},            {20015, u"Plain_Back"},
    {20016, u"Transparency"},      {20144, u"Thin"},             {20017, u"Thick"},
    {20018, u"Thick_Narrow"},      {20019, u"Thick_Back"},       {20020, u"Thick_Narrow_Back"},
    {20021, u"Extra_Thick"},       {20022, u"Extra_Thick_Back"}, {20023, u"Coated"},
    {20024, u"Coated_Back"},       {20025, u"Preprinted"},       {20026, u"Preprinted_Back"},
    {20027, u"Semi_Thick"},        {20028, u"Semi_Thick_Back"},  {20029, u"Super_Thick"},
    {20030, u"Super_Thick_Back"},  {20031, u"Labels"},           {20032, u"Letterhead"},
    {20033, u"Letterhead_Back"},   {20034, u"Recycled"},         {20037, u"Recycled_Back"},
    {20035, u"Recycled2"},         {20038, u"Recycled2_Back"},   {20036, u"Recycled3"},
    {20039, u"Recycled3_Back"},    {20040, u"Color"},            {20041, u"Color_Back"},
    {20042, u"Postcard"},          {20043, u"Postcard_Back"},    {20044, u"Envelope"},
    {20045, u"Special"},           {0, u""},
};
static_assert(std::size(kMediaTypeNames) == 35);

constexpr OptionNameEntry kPageSizeNames[] = {
    {20050, u"A3W"},           {20051, u"A3F"},
    {20052, u"SRA3"},          {20130, u"A3"},
    {20131, u"A4"},            {20132, u"A5.Transverse"},
    {20133, u"A6"},            {20053, u"Letter"},
    {20054, u"Legal"},         {20055, u"Postcard"},
    {20056, u"B4"},            {20057, u"B5.Transverse"},
    {20134, u"B6"},            {20135, u"IB5"},
    {20058, u"Tabloid"},       {20059, u"FanFoldGermanLegal"},
    {20060, u"GLT"},           {20061, u"Statement"},
    {20062, u"Executive"},     {20063, u"EnvMonarch"},
    {20064, u"Env10"},         {20065, u"EnvDL"},
    {20066, u"EnvC5"},         {20067, u"EnvC6"},
    {20068, u"EnvChou3Rotated"}, {20069, u"EnvYou4"},
    {20070, u"EnvYou6"},       {20071, u"EnvChou3"},
    {20072, u"EnvKaku2"},      {20073, u"DoublePostcard"},
    {20074, u"4Postcard"},     {20075, u"Chouzyaku"},
    {20076, u"Chouzyaku1"},    {20077, u"Chouzyaku2"},
    {20136, u"Folio"},         {0, u""},
};
static_assert(std::size(kPageSizeNames) == 36);

constexpr OptionNameEntry kDuplexNames[] = {
    {20127, u"None"}, {20128, u"DuplexTumble"}, {20129, u"DuplexNoTumble"}, {0, u""},
};
static_assert(std::size(kDuplexNames) == 4);

constexpr OptionNameEntry kTrayUnitNames[] = {
    {20046, u"None"},  {20047, u"1Tray"}, {20048, u"2Tray"}, {20049, u"3Tray"},
    {20004, u"False"}, {20003, u"True"},  {0, u""},
};
static_assert(std::size(kTrayUnitNames) == 7);

// Duplex unit, stacker and CompactFlash.
constexpr OptionNameEntry kInstalledNames[] = {
    {20004, u"False"}, {20003, u"True"}, {0, u""},
};
static_assert(std::size(kInstalledNames) == 3);

constexpr OptionNameEntry kScreensNames[] = {
    {20078, u"0"}, {20079, u"1"}, {20080, u"2"}, {20081, u"3"}, {20082, u"10"}, {0, u""},
};
static_assert(std::size(kScreensNames) == 6);

constexpr OptionNameEntry kPureBlackNames[] = {
    {20002, u"PBoff"}, {20001, u"PBall"}, {0, u""},
};
static_assert(std::size(kPureBlackNames) == 3);

// Lumaedge, toner save, image protect, rotate by 180 and auto mono mode.
constexpr OptionNameEntry kOnOffNames[] = {
    {20002, u"False"}, {20001, u"True"}, {0, u""},
};
static_assert(std::size(kOnOffNames) == 3);

constexpr OptionNameEntry kRenderingNames[] = {
    {20083, u"None"}, {20084, u"CMYK"}, {0, u""},
};
static_assert(std::size(kRenderingNames) == 3);

constexpr OptionNameEntry kPressSimulationNames[] = {
    {20085, u"0"}, {20086, u"6"},  {20087, u"7"},  {20088, u"8"},
    {20089, u"9"}, {20090, u"10"}, {20091, u"11"}, {0, u""},
};
static_assert(std::size(kPressSimulationNames) == 8);

constexpr OptionNameEntry kCmykMethodNames[] = {
    {20092, u"1"}, {20093, u"2"}, {20094, u"3"}, {20095, u"0"}, {20001, u"On"}, {20002, u"Off"}, {0, u""},
};
static_assert(std::size(kCmykMethodNames) == 7);

constexpr OptionNameEntry kRgbSourceNames[] = {
    {20137, u"0"}, {20096, u"1"}, {20097, u"5"}, {20098, u"6"},
    {20099, u"7"}, {20100, u"8"}, {20101, u"9"}, {0, u""},
};
static_assert(std::size(kRgbSourceNames) == 8);

constexpr OptionNameEntry kRgbIntentNames[] = {
    {20102, u"0"}, {20103, u"1"}, {20104, u"3"}, {20105, u"2"}, {20106, u"7"}, {0, u""},
};
static_assert(std::size(kRgbIntentNames) == 6);

constexpr OptionNameEntry kSeparationsNames[] = {
    {20107, u"None"}, {20108, u"DeviceCMYK"}, {20109, u"DeviceCMY"}, {20110, u"Cyan"},
    {20111, u"Magenta"}, {20112, u"Yellow"}, {20113, u"Black"}, {0, u""},
};
static_assert(std::size(kSeparationsNames) == 8);

constexpr OptionNameEntry kOutputBinNames[] = {
    {20114, u"None"}, {20115, u"FaceUp"}, {20116, u"Stacker"}, {0, u""},
};
static_assert(std::size(kOutputBinNames) == 4);

constexpr OptionNameEntry kDensityNames[] = {
    {20117, u"DLightest"}, {20118, u"DLight"}, {20119, u"DMedium"}, {20120, u"DDark"}, {20121, u"DDarkest"},
    {0, u""},
};
static_assert(std::size(kDensityNames) == 6);

constexpr OptionNameEntry kRotate90Names[] = {
    {20122, u"Off"}, {20123, u"Rotate90"}, {20124, u"Rotate0"}, {0, u""},
};
static_assert(std::size(kRotate90Names) == 4);

constexpr OptionNameEntry kStartSideNames[] = {
    {20125, u"False"}, {20126, u"True"}, {0, u""},
};
static_assert(std::size(kStartSideNames) == 3);

constexpr OptionNameEntry kOutputIdNames[] = {
    {20138, u"0"}, {20139, u"1"}, {20140, u"2"}, {20141, u"3"}, {20142, u"4"}, {20143, u"5"}, {0, u""},
};
static_assert(std::size(kOutputIdNames) == 7);

}  // namespace

const OptionNameIndexEntry g_optionNameIndex[kOptionNameIndexCount + 1] = {
    {1, kInputSlotNames},
    {2, kResolutionNames},
    {3, kMediaTypeNames},
    {4, kPageSizeNames},
    {5, kDuplexNames},
    {33, kTrayUnitNames},
    {34, kInstalledNames},
    {35, kInstalledNames},
    {36, kInstalledNames},
    {64, kScreensNames},
    {65, kPureBlackNames},
    {66, kOnOffNames},
    {67, kOnOffNames},
    {68, kOnOffNames},
    {77, kOnOffNames},
    {80, kOnOffNames},
    {69, kRenderingNames},
    {70, kPressSimulationNames},
    {71, kCmykMethodNames},
    {72, kRgbSourceNames},
    {73, kRgbIntentNames},
    {74, kSeparationsNames},
    {75, kOutputBinNames},
    {76, kDensityNames},
    {78, kRotate90Names},
    {79, kStartSideNames},
    {81, kOutputIdNames},
    {0, nullptr},
};
static_assert(sizeof g_optionNameIndex / sizeof g_optionNameIndex[0] == 28, "27 features and the terminator");

const OptionNameEntry* FindOptionNames(uint32_t featureId) {
    for (const OptionNameIndexEntry* entry = g_optionNameIndex; entry->options; ++entry)
        if (entry->featureId == featureId) return entry->options;
    return nullptr;
}
