#include "tests/wine/host/PluginHost.h"

#include <cstdlib>
#include <cstring>

namespace host {

std::wstring WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return std::wstring(path.begin(), path.end());
    // Wine's own export knows the drive mappings of the prefix.
    typedef WCHAR*(CDECL * DosNameProc)(const char*);
    auto dosName = reinterpret_cast<DosNameProc>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (dosName) {
        if (WCHAR* name = dosName(path.c_str())) {
            std::wstring result(name);
            ::HeapFree(::GetProcessHeap(), 0, name);
            return result;
        }
    }
    std::wstring result = L"Z:";
    for (char c : path) result.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return result;
}

std::wstring PluginPath() {
    if (const char* named = std::getenv("CORVINA_PLUGIN_DLL"); named && *named) return WindowsPath(named);
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

std::string Utf8(const std::wstring& text) {
    return Utf8(std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

}  // namespace host
