#include "tests/support/FakeDriverHelper.h"

#include <algorithm>
#include <cstring>

namespace support {

std::vector<std::string> FakeDriverHelper::QueriedFeatures() const {
    std::vector<std::string> features;
    for (const SettingQuery& query : settingQueries) features.push_back(query.feature);
    return features;
}

HRESULT STDMETHODCALLTYPE FakeDriverHelper::QueryInterface(REFIID riid, void** ppv) {
    ++queries;
    const bool known = std::memcmp(&riid, &IID_IPrintOemDriverUI, sizeof riid) == 0 ||
                       std::memcmp(&riid, &IID_IUnknown, sizeof riid) == 0;
    if (refuseQuery || !known) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IPrintOemDriverUI*>(this);
    AddRef();
    return queryStatus;
}

ULONG STDMETHODCALLTYPE FakeDriverHelper::AddRef() { return static_cast<ULONG>(++refs); }

ULONG STDMETHODCALLTYPE FakeDriverHelper::Release() {
    ++releases;
    return static_cast<ULONG>(--refs);
}

HRESULT STDMETHODCALLTYPE FakeDriverHelper::DrvGetDriverSetting(PVOID, PCSTR feature, PVOID output, DWORD size,
                                                                DWORD* needed, DWORD* returned) {
    settingQueries.push_back({feature ? feature : "", size});
    if (failWith != S_OK) return failWith;
    Answer answer{E_INVALIDARG, {}};
    if (!script.empty()) {
        answer = script[nextAnswer_++ % script.size()];
    } else if (auto it = feature ? installed.find(feature) : installed.end(); it != installed.end()) {
        answer = {S_OK, it->second};
    } else {
        return E_INVALIDARG;
    }
    const DWORD want = static_cast<DWORD>(answer.option.size() + 1);
    if (needed) *needed = want;
    if (returned) *returned = 1;
    if (answer.status != S_OK) return answer.status;
    if (!output || (size < want && !truncate)) return E_OUTOFMEMORY;
    std::memcpy(output, answer.option.c_str(), std::min(want, size));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeDriverHelper::DrvUpgradeRegistrySetting(HANDLE, PCSTR, PCSTR) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE FakeDriverHelper::DrvUpdateUISetting(PVOID pci, PVOID item, DWORD previousSelection,
                                                               DWORD mode) {
    updates.push_back({pci, item, previousSelection, mode});
    return S_OK;
}

}  // namespace support
