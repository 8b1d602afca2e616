#include "tests/wine/host/PluginHost.h"

#include <cstring>

namespace host {

std::wstring PluginPath() {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"corvina.dll";
}

bool PluginModule::Load(const std::wstring& path) {
    handle = ::LoadLibraryW(path.c_str());
    if (!handle) return false;
    getClassObject = reinterpret_cast<GetClassObjectProc>(
        reinterpret_cast<void*>(::GetProcAddress(handle, "DllGetClassObject")));
    canUnloadNow = reinterpret_cast<CanUnloadNowProc>(
        reinterpret_cast<void*>(::GetProcAddress(handle, "DllCanUnloadNow")));
    return getClassObject && canUnloadNow;
}

void PluginModule::Unload() {
    if (handle) ::FreeLibrary(handle);
    handle = nullptr;
}

IPrintOemUI2* PluginModule::CreatePlugin() {
    IClassFactory* factory = nullptr;
    if (getClassObject(CLSID_OEMUI, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) return nullptr;
    IUnknown* unknown = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown));
    factory->Release();
    if (hr != S_OK) return nullptr;
    IPrintOemUI2* plugin = nullptr;
    hr = unknown->QueryInterface(IID_IPrintOemUI2, reinterpret_cast<void**>(&plugin));
    unknown->Release();
    return hr == S_OK ? plugin : nullptr;
}

std::string Utf8(const std::u16string& text) {
    if (text.empty()) return {};
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.c_str());
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace host
