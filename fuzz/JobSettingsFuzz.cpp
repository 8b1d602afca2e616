// Defaults and conversion of the job settings record on two arbitrary blocks,
// directly and through the plug-in's DevMode, against the record's rules: the
// out block is written as the rules say and nowhere beyond its 172 bytes, and
// the in block is only read.
//
// Input: a flag byte, a byte picking hostile dwSize values, the in block, the
// out block, and (for DevMode) the mode.
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

#include "FuzzSupport.h"
#include "frame/JobSettings.h"
#include "frame/UiPlugin.h"

namespace {

constexpr size_t kGuard = 64;
constexpr uint8_t kGuardFill = 0xA5;

// A record in the middle of a guard zone that nothing may write.
struct GuardedBlock {
    uint8_t bytes[kGuard + sizeof(JOBSETTINGS) + kGuard];

    GuardedBlock() { std::memset(bytes, kGuardFill, sizeof bytes); }
    JOBSETTINGS* record() { return reinterpret_cast<JOBSETTINGS*>(bytes + kGuard); }
    uint8_t* body() { return bytes + kGuard; }
    bool GuardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i)
            if (bytes[i] != kGuardFill || bytes[kGuard + sizeof(JOBSETTINGS) + i] != kGuardFill) return false;
        return true;
    }
};

enum Operation : uint8_t { opConvert, opConvertInPlace, opDefault, opDevMode };

enum Flags : uint8_t {
    flagNullIn = 0x04,
    flagNullOut = 0x08,
    flagHostileInSize = 0x10,
    flagHostileOutSize = 0x20,
    flagSameSignature = 0x40,
    flagOwnSignature = 0x80,
};

constexpr DWORD kHostileSizes[] = {0,  1,   3,   4,   11,  12,         13,         100,       171,
                                   172, 173, 256, 344, 4096, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

void PutDword(uint8_t* block, size_t offset, DWORD value) { std::memcpy(block + offset, &value, sizeof value); }
DWORD GetDword(const uint8_t* block, size_t offset) {
    DWORD value;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

// The defaults over `block`, padding as it was.
void ExpectDefaults(uint8_t* block) {
    PutDword(block, 0, 172);
    PutDword(block, 4, 0x515A5053);
    PutDword(block, 8, 2);
    PutDword(block, 12, 1);
    block[16] = 0;
    PutDword(block, 20, 0);
    std::memset(block + 24, 0, 166 - 24);
    PutDword(block, 168, 0);
}

// What conversion leaves in the out block, from the two blocks as they were.
void ExpectConversion(const uint8_t* in, uint8_t* out, bool inPlace) {
    if (!inPlace && GetDword(in, 4) != GetDword(out, 4)) {
        ExpectDefaults(out);
        return;
    }
    if (!inPlace) {
        DWORD n = GetDword(in, 0) < GetDword(out, 0) ? GetDword(in, 0) : GetDword(out, 0);
        if (n > sizeof(JOBSETTINGS)) n = sizeof(JOBSETTINGS);
        std::memcpy(out, in, n);
    }
    PutDword(out, 0, 172);
    PutDword(out, 8, 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader input(data, size);
    const uint8_t flags = input.Byte();
    const uint8_t sizes = input.Byte();
    GuardedBlock in, out;
    input.Bytes(in.body(), sizeof(JOBSETTINGS));
    input.Bytes(out.body(), sizeof(JOBSETTINGS));
    if (flags & flagHostileInSize) PutDword(in.body(), 0, kHostileSizes[(sizes & 0x0F) % std::size(kHostileSizes)]);
    if (flags & flagHostileOutSize) PutDword(out.body(), 0, kHostileSizes[(sizes >> 4) % std::size(kHostileSizes)]);
    if (flags & flagSameSignature) PutDword(out.body(), 4, GetDword(in.body(), 4));
    if (flags & flagOwnSignature) {
        PutDword(in.body(), 4, kJobSettingsSignature);
        PutDword(out.body(), 4, kJobSettingsSignature);
    }

    const GuardedBlock inBefore = in;
    GuardedBlock expected = out;
    JOBSETTINGS* inRecord = (flags & flagNullIn) ? nullptr : in.record();
    JOBSETTINGS* outRecord = (flags & flagNullOut) ? nullptr : out.record();
    const Operation operation = static_cast<Operation>(flags & 3);
    bool written = false;

    switch (operation) {
        case opConvert: {
            const bool converted = ConvertJobSettings(inRecord, outRecord);
            FUZZ_CHECK(converted == (inRecord && outRecord));
            if (converted) ExpectConversion(in.body(), expected.body(), false);
            written = converted;
            break;
        }
        case opConvertInPlace: {
            // The host may hand the same block as both.
            const bool converted = ConvertJobSettings(outRecord, outRecord);
            FUZZ_CHECK(converted == (outRecord != nullptr));
            if (converted) ExpectConversion(expected.body(), expected.body(), true);
            written = converted;
            break;
        }
        case opDefault:
            SetDefaultJobSettings(outRecord);
            if (outRecord) ExpectDefaults(expected.body());
            written = outRecord != nullptr;
            break;
        case opDevMode: {
            const DWORD mode = input.Byte() % 6;
            UiPlugin* plugin = new (std::nothrow) UiPlugin;
            FUZZ_CHECK(plugin);
            OEMDMPARAM param{};
            param.cbSize = sizeof param;
            param.pOEMDMIn = inRecord;
            param.pOEMDMOut = outRecord;
            param.cbBufSize = 0xDEADBEEF;
            const HRESULT hr = plugin->DevMode(mode, &param);
            plugin->Release();
            const bool valid = mode >= OEMDM_SIZE && mode <= OEMDM_MERGE;
            FUZZ_CHECK(hr == (valid ? S_OK : E_FAIL));
            FUZZ_CHECK(param.cbBufSize == (mode == OEMDM_SIZE ? kJobSettingsSize : 0xDEADBEEF));
            if (mode == OEMDM_DEFAULT && outRecord) {
                ExpectDefaults(expected.body());
                written = true;
            }
            if ((mode == OEMDM_CONVERT || mode == OEMDM_MERGE) && inRecord && outRecord) {
                ExpectConversion(in.body(), expected.body(), false);
                written = true;
            }
            break;
        }
    }

    FUZZ_CHECK(out.GuardsIntact());
    FUZZ_CHECK(std::memcmp(in.bytes, inBefore.bytes, sizeof in.bytes) == 0);
    FUZZ_CHECK(std::memcmp(out.bytes, expected.bytes, sizeof out.bytes) == 0);
    if (written) {
        FUZZ_CHECK(out.record()->dwSize == 172);
        FUZZ_CHECK(out.record()->dwVersion == 2);
    }
    return 0;
}
