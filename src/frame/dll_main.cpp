// The module's entry point and the exports of the module frame.
#include "frame/exports.h"
#include "frame/log.h"
#include "frame/module.h"
#include "text/format.h"

namespace {

constexpr char kLogBaseName[] = "KSInst";
constexpr DWORD kMaxVariableLength = 32767;

// Gives the process's log-key variable the module's default key unless the host set
// a value of its own before loading the module.
void EnsureLogKeyVariable()
{
    const std::string name = ProcessVariableName(kLogKeyVariableFormat);
    DWORD length = GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    // With no buffer the system reports the size with the terminating zero.
    const bool hasValue = length > 1 && length - 1 <= kMaxVariableLength;
    if (hasValue)
        return;
    std::string defaultKey;
    FormatString(defaultKey, "%s\\KSInstLog", kProductRegKey);
    SetEnvironmentVariableA(ProcessVariableName(kLogKeyVariableFormat).c_str(), defaultKey.c_str());
}

void OnProcessAttach(HINSTANCE instance)
{
    // No critical-error boxes (an empty drive, say) while the module runs.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    DisableThreadLibraryCalls(instance);
    g_hModule = instance;
    EnsureLogKeyVariable();
    g_Log.Start(nullptr, kLogBaseName);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        // Nothing that happens here may fail the load.
        try {
            OnProcessAttach(instance);
        } catch (...) {
        }
    }
    return TRUE;
}

// Removes nothing: the product is removed through its uninstaller.
KSINST_EXPORT(LONG) DllUnregisterServer()
{
    return S_OK;
}
