// The module's entry point and its two exports.
#include "frame/Module.h"
#include "frame/UiPlugin.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH: g_moduleHandle = instance; break;
        case DLL_PROCESS_DETACH: g_activationContext.reset(); break;
        default: break;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return GetPluginClassObject(rclsid, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return CanUnloadPlugin(); }
