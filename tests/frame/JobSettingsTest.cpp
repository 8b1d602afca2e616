#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "frame/JobSettings.h"

namespace {

// Records live in buffers larger than the record, poisoned past its end, so
// a conversion that writes beyond 172 bytes shows up (and ASan sees reads).
struct Guarded {
    static constexpr size_t kSlack = 64;
    unsigned char bytes[sizeof(JOBSETTINGS) + kSlack];
    explicit Guarded(unsigned char fill) { std::memset(bytes, fill, sizeof bytes); }
    JOBSETTINGS* record() { return reinterpret_cast<JOBSETTINGS*>(bytes); }
    bool tailUntouched(unsigned char fill) const {
        for (size_t i = sizeof(JOBSETTINGS); i < sizeof bytes; ++i)
            if (bytes[i] != fill) return false;
        return true;
    }
};

JOBSETTINGS SavedRecord() {
    JOBSETTINGS r;
    std::memset(&r, 0, sizeof r);
    SetDefaultJobSettings(&r);
    r.bSaveAccessControl = 1;
    r.dwReserveJobType = kReserveJobConfidential;
    std::memcpy(r.szReserveUserName, u"alice", 12);
    std::memcpy(r.szReserveJobName, u"report", 14);
    std::memcpy(r.szReservePassword, u"1234", 10);
    std::memcpy(r.szAccessUserName, u"admin", 12);
    std::memcpy(r.szAccessPassword, u"s3cret", 14);
    return r;
}

TEST(JobSettingsDefaults, OverwriteEveryFieldButLeavePaddingAlone) {
    Guarded g(0xFF);
    SetDefaultJobSettings(g.record());
    const JOBSETTINGS& r = *g.record();
    EXPECT_EQ(r.dwSize, 172u);
    EXPECT_EQ(r.dwSignature, 0x515A5053u);
    EXPECT_EQ(r.dwVersion, 2u);
    EXPECT_EQ(r.dwReserved1, 1u);
    EXPECT_EQ(r.bSaveAccessControl, 0);
    EXPECT_EQ(r.dwReserveJobType, 0u);
    for (char16_t c : r.szReserveUserName) EXPECT_EQ(c, 0);
    for (char16_t c : r.szReserveJobName) EXPECT_EQ(c, 0);
    for (char16_t c : r.szReservePassword) EXPECT_EQ(c, 0);
    for (char16_t c : r.szAccessUserName) EXPECT_EQ(c, 0);
    for (char16_t c : r.szAccessPassword) EXPECT_EQ(c, 0);
    EXPECT_EQ(r.dwReserved2, 0u);
    EXPECT_EQ(g.bytes[17], 0xFF);
    EXPECT_EQ(g.bytes[19], 0xFF);
    EXPECT_EQ(g.bytes[166], 0xFF);
    EXPECT_EQ(g.bytes[167], 0xFF);
    EXPECT_TRUE(g.tailUntouched(0xFF));
    const unsigned char signature[] = {0x53, 0x50, 0x5A, 0x51};
    EXPECT_EQ(std::memcmp(g.bytes + 4, signature, 4), 0) << "signature is stored little-endian";
}

TEST(JobSettingsDefaults, NullIsIgnored) { SetDefaultJobSettings(nullptr); }

TEST(JobSettingsConvert, NullBlocksWriteNothing) {
    JOBSETTINGS saved = SavedRecord();
    JOBSETTINGS out = saved;
    EXPECT_FALSE(ConvertJobSettings(nullptr, &out));
    EXPECT_EQ(std::memcmp(&out, &saved, sizeof out), 0);
    EXPECT_FALSE(ConvertJobSettings(&saved, nullptr));
}

TEST(JobSettingsConvert, ForeignSignatureGivesDefaults) {
    JOBSETTINGS in = SavedRecord();
    Guarded out(0x00);  // signature 0 differs from the in block's
    ASSERT_TRUE(ConvertJobSettings(&in, out.record()));
    JOBSETTINGS expected;
    std::memset(&expected, 0, sizeof expected);
    SetDefaultJobSettings(&expected);
    EXPECT_EQ(std::memcmp(out.record(), &expected, sizeof expected), 0);
    EXPECT_TRUE(out.tailUntouched(0x00));
}

TEST(JobSettingsConvert, SignaturesAreComparedWithEachOtherNotWithTheConstant) {
    JOBSETTINGS in = SavedRecord();
    JOBSETTINGS out = SavedRecord();
    in.dwSignature = out.dwSignature = 0x11223344;
    in.dwReserveJobType = 2;
    ASSERT_TRUE(ConvertJobSettings(&in, &out));
    EXPECT_EQ(out.dwSignature, 0x11223344u);
    EXPECT_EQ(out.dwReserveJobType, 2u);
}

// Hostile dwSize values on either side: the copy never passes 172 bytes and
// never reads beyond the shorter block.
struct SizeCase {
    const char* name;
    DWORD inSize;
    DWORD outSize;
    size_t copied;  // bytes of the in block that must arrive
};

class JobSettingsConvertSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(JobSettingsConvertSizes, CopiesTheSmallestOfBothSizesAndTheRecord) {
    const SizeCase& c = GetParam();
    // The in block is exactly as long as the bytes it may contribute, so ASan
    // catches any read past them.
    size_t inBytes = std::max<size_t>(c.copied, 12);
    auto inBuffer = std::make_unique<unsigned char[]>(inBytes);
    for (size_t i = 0; i < inBytes; ++i) inBuffer[i] = static_cast<unsigned char>(0xA0 + (i % 7));
    JOBSETTINGS header{};
    header.dwSize = c.inSize;
    header.dwSignature = kJobSettingsSignature;
    header.dwVersion = 1;
    std::memcpy(inBuffer.get(), &header, 12);

    Guarded out(0x5C);
    JOBSETTINGS saved = SavedRecord();
    std::memcpy(out.record(), &saved, sizeof saved);
    out.record()->dwSize = c.outSize;

    ASSERT_TRUE(ConvertJobSettings(reinterpret_cast<const JOBSETTINGS*>(inBuffer.get()), out.record()));
    EXPECT_EQ(out.record()->dwSize, 172u);
    EXPECT_EQ(out.record()->dwVersion, 2u);
    EXPECT_EQ(out.record()->dwSignature, kJobSettingsSignature);
    for (size_t i = 12; i < sizeof(JOBSETTINGS); ++i) {
        const unsigned char want = i < c.copied ? inBuffer[i] : reinterpret_cast<unsigned char*>(&saved)[i];
        ASSERT_EQ(out.bytes[i], want) << "byte " << i;
    }
    EXPECT_TRUE(out.tailUntouched(0x5C));
}

INSTANTIATE_TEST_SUITE_P(
    HostileSizes, JobSettingsConvertSizes,
    testing::Values(SizeCase{"InZero", 0, 172, 0}, SizeCase{"InHeaderOnly", 12, 172, 12},
                    SizeCase{"InOneShort", 171, 172, 171}, SizeCase{"InOneLong", 173, 172, 172},
                    SizeCase{"InClaims300", 300, 172, 172}, SizeCase{"InClaimsAll", 0xFFFFFFFF, 172, 172},
                    SizeCase{"OutZero", 172, 0, 0}, SizeCase{"OutHeaderOnly", 172, 12, 12},
                    SizeCase{"OutOneShort", 172, 171, 171}, SizeCase{"OutOneLong", 172, 173, 172},
                    SizeCase{"OutClaims300", 172, 300, 172}, SizeCase{"OutClaimsAll", 172, 0xFFFFFFFF, 172},
                    SizeCase{"BothClaimAll", 0xFFFFFFFF, 0xFFFFFFFF, 172}, SizeCase{"Exact", 172, 172, 172}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST(JobSettingsConvert, VersionOneRecordComesOutAsVersionTwo) {
    JOBSETTINGS in = SavedRecord();
    in.dwVersion = 1;
    JOBSETTINGS out{};
    out.dwSignature = kJobSettingsSignature;
    out.dwSize = 172;
    ASSERT_TRUE(ConvertJobSettings(&in, &out));
    in.dwVersion = 2;
    EXPECT_EQ(std::memcmp(&in, &out, sizeof in), 0);
}

TEST(JobSettingsConvert, SameBlockInAndOut) {
    JOBSETTINGS r = SavedRecord();
    JOBSETTINGS before = r;
    ASSERT_TRUE(ConvertJobSettings(&r, &r));
    EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);
}

}  // namespace
