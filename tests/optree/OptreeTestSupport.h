// Shared pieces of the option tree tests: the host driver's helper and PPD
// files on disk.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "optree/FeatureNames.h"
#include "platform/HostAbi.h"
#include "platform/Platform.h"
#include "platform/portable/PortablePlatform.h"

namespace optree_test {

inline HMODULE TestModule() {
    static char module;
    return reinterpret_cast<HMODULE>(&module);
}

// The host driver's helper: answers DrvGetDriverSetting from an installed
// configuration and records every call.
class FakeDriverHelper final : public IPrintOemDriverUI {
public:
    std::map<std::string, std::string> installed;  // feature keyword (no '*') -> option
    HRESULT answer = S_OK;                          // status of DrvGetDriverSetting
    struct SettingQuery {
        std::string feature;
        DWORD size;
    };
    std::vector<SettingQuery> queries;
    struct UpdateCall {
        PVOID pci;
        PVOID item;
        DWORD previousSelection;
        DWORD mode;
    };
    std::vector<UpdateCall> updates;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR feature, PVOID output, DWORD size, DWORD* needed,
                                                  DWORD* returned) override {
        queries.push_back({feature, size});
        if (answer != S_OK) return answer;
        auto it = installed.find(feature);
        if (it == installed.end()) return E_INVALIDARG;
        const std::string& option = it->second;
        if (needed) *needed = static_cast<DWORD>(option.size() + 1);
        if (returned) *returned = 1;
        if (option.size() + 1 > size) return E_OUTOFMEMORY;
        std::memcpy(output, option.c_str(), option.size() + 1);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE, PCSTR, PCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID pci, PVOID item, DWORD previousSelection,
                                                 DWORD mode) override {
        updates.push_back({pci, item, previousSelection, mode});
        return S_OK;
    }
};

inline std::string SamplePpdPath() { return CORVINA_SAMPLES_DIR "/norvane-c5.ppd"; }

inline std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A PPD written for one test, removed with the object.
class TempPpd {
public:
    explicit TempPpd(const std::string& text) {
        char name[] = "/tmp/optree-test-XXXXXX";
        const int fd = mkstemp(name);
        path_ = name;
        if (FILE* file = fdopen(fd, "wb")) {
            std::fwrite(text.data(), 1, text.size(), file);
            std::fclose(file);
        }
    }
    ~TempPpd() { std::remove(path_.c_str()); }
    TempPpd(const TempPpd&) = delete;
    TempPpd& operator=(const TempPpd&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace optree_test
