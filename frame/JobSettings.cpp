#include "frame/JobSettings.h"

#include <algorithm>
#include <cstring>

void SetDefaultJobSettings(JOBSETTINGS* out) {
    if (!out) return;
    out->dwSize = kJobSettingsSize;
    out->dwSignature = kJobSettingsSignature;
    out->dwVersion = kJobSettingsVersion;
    out->dwReserved1 = 1;
    out->bSaveAccessControl = 0;
    out->dwReserveJobType = kReserveJobNone;
    std::memset(out->szReserveUserName, 0, sizeof out->szReserveUserName);
    std::memset(out->szReserveJobName, 0, sizeof out->szReserveJobName);
    std::memset(out->szReservePassword, 0, sizeof out->szReservePassword);
    std::memset(out->szAccessUserName, 0, sizeof out->szAccessUserName);
    std::memset(out->szAccessPassword, 0, sizeof out->szAccessPassword);
    out->dwReserved2 = 0;
}

bool ConvertJobSettings(const JOBSETTINGS* in, JOBSETTINGS* out) {
    if (!in || !out) return false;
    if (in->dwSignature != out->dwSignature) {
        SetDefaultJobSettings(out);
        return true;
    }
    // The host's out buffer is one record long, whatever either header claims.
    const DWORD n = std::min({in->dwSize, out->dwSize, kJobSettingsSize});
    if (in != out) std::memmove(out, in, n);
    out->dwSize = kJobSettingsSize;
    out->dwVersion = kJobSettingsVersion;
    return true;
}
