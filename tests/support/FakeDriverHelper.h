// The host driver's helper interface (IPrintOemDriverUI) as the tests play
// it, natively and inside the Windows test host: it answers
// DrvGetDriverSetting by feature keyword or from a script, can fail with a
// chosen status or cut long answers short, counts its references without
// ever freeing itself, and logs every call.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/HostAbi.h"

namespace support {

class FakeDriverHelper final : public IPrintOemDriverUI {
public:
    // Answers by keyword: feature keyword without '*' -> option keyword. A
    // feature it does not hold is refused with E_INVALIDARG.
    std::map<std::string, std::string> installed;

    // Scripted answers, taken in turn (and again from the start) in place of
    // `installed` once there are any.
    struct Answer {
        HRESULT status;
        std::string option;
    };
    std::vector<Answer> script;

    // A status every DrvGetDriverSetting answers with, when not S_OK.
    HRESULT failWith = S_OK;
    // An answer that does not fit the caller's buffer is written cut to it,
    // without a terminator, and succeeds; otherwise it is refused with
    // E_OUTOFMEMORY and the size it needs.
    bool truncate = false;
    // QueryInterface refuses every interface; or, accepting one, answers
    // with this status (a host's that says S_FALSE with a reference).
    bool refuseQuery = false;
    HRESULT queryStatus = S_OK;

    // The call log.
    LONG refs = 1;
    int queries = 0;   // QueryInterface calls
    int releases = 0;  // Release calls
    struct SettingQuery {
        std::string feature;
        DWORD size;
    };
    std::vector<SettingQuery> settingQueries;
    struct UpdateCall {
        PVOID pci;
        PVOID item;
        DWORD previousSelection;
        DWORD mode;
    };
    std::vector<UpdateCall> updates;

    // The features asked for, in order.
    std::vector<std::string> QueriedFeatures() const;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pci, PCSTR feature, PVOID output, DWORD size, DWORD* needed,
                                                  DWORD* returned) override;
    HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE, PCSTR, PCSTR) override;
    HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID pci, PVOID item, DWORD previousSelection, DWORD mode) override;

private:
    size_t nextAnswer_ = 0;
};

}  // namespace support
