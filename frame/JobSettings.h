// The plug-in's private block inside the host's document settings. The host
// persists it, so its layout is the same in every build.
#pragma once

#include <cstdint>

#include "platform/HostAbi.h"

constexpr DWORD kJobSettingsSignature = 0x515A5053;  // 'QZPS'
constexpr DWORD kJobSettingsVersion = 2;

// Reserve-job kinds stored in dwReserveJobType.
constexpr DWORD kReserveJobNone = 0;
constexpr DWORD kReserveJobReprint = 1;
constexpr DWORD kReserveJobVerify = 2;
constexpr DWORD kReserveJobConfidential = 4;

struct JOBSETTINGS {
    DWORD dwSize;
    DWORD dwSignature;
    DWORD dwVersion;
    DWORD dwReserved1;
    BYTE bSaveAccessControl;
    BYTE padding1[3];
    DWORD dwReserveJobType;
    char16_t szReserveUserName[15];
    char16_t szReserveJobName[15];
    char16_t szReservePassword[5];
    char16_t szAccessUserName[15];
    char16_t szAccessPassword[21];
    BYTE padding2[2];
    DWORD dwReserved2;
};

static_assert(sizeof(JOBSETTINGS) == 172);
static_assert(offsetof(JOBSETTINGS, dwSignature) == 4);
static_assert(offsetof(JOBSETTINGS, dwVersion) == 8);
static_assert(offsetof(JOBSETTINGS, dwReserved1) == 12);
static_assert(offsetof(JOBSETTINGS, bSaveAccessControl) == 16);
static_assert(offsetof(JOBSETTINGS, dwReserveJobType) == 20);
static_assert(offsetof(JOBSETTINGS, szReserveUserName) == 24);
static_assert(offsetof(JOBSETTINGS, szReserveJobName) == 54);
static_assert(offsetof(JOBSETTINGS, szReservePassword) == 84);
static_assert(offsetof(JOBSETTINGS, szAccessUserName) == 94);
static_assert(offsetof(JOBSETTINGS, szAccessPassword) == 124);
static_assert(offsetof(JOBSETTINGS, dwReserved2) == 168);

constexpr DWORD kJobSettingsSize = sizeof(JOBSETTINGS);

// Writes the default record; a null block is ignored. Padding is left alone.
void SetDefaultJobSettings(JOBSETTINGS* out);

// Converts a block the host holds into `out`: same signature, copy what both
// sizes allow; otherwise defaults. False (nothing written) for a null block.
bool ConvertJobSettings(const JOBSETTINGS* in, JOBSETTINGS* out);
