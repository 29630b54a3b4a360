#include "install/goproto.h"

#include "frame/exports.h"
#include "frame/log.h"
#include "platform/loaded_library.h"

namespace {

using InstallEntry = BOOL(WINAPI*)(DWORD, DWORD);
using UninstallEntry = BOOL(WINAPI*)(DWORD);

// Calls the entry; its result, 0 when the library or the entry is missing. The last
// error is the entry's (or the load's or the look-up's) afterwards.
BOOL CallGoProto(const char* libraryPath, bool install, DWORD installArgument)
{
    if (!libraryPath || !*libraryPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const LoadedLibrary library(libraryPath, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library)
        return FALSE;
    SetLastError(ERROR_SUCCESS);
    if (install) {
        const auto entry = library.Find<InstallEntry>(MAKEINTRESOURCEA(kGoProtoInstallOrdinal));
        return entry ? entry(0, installArgument) : FALSE;
    }
    const auto entry = library.Find<UninstallEntry>(MAKEINTRESOURCEA(kGoProtoUninstallOrdinal));
    return entry ? entry(0) : FALSE;
}

}  // namespace

KSINST_EXPORT(LONG) KSWInstallUninstallGoProto(const char* libraryPath, int install, int installArgument)
{
    try {
        if (CallGoProto(libraryPath, install != 0, static_cast<DWORD>(installArgument)))
            return kGoProtoSucceeded;
        const DWORD code = GetLastError();
        for (DWORD restartCode : kGoProtoRestartCodes) {
            if (code == restartCode) {
                g_Log.Warning("GoProto requires reboot. Code = 0x%x", code);
                return kGoProtoRestartNeeded;
            }
        }
        g_Log.Warning("GoProto failed to %snstall. Code = 0x%x", install ? "I" : "Uni", code);
        return kGoProtoFailed;
    } catch (...) {
        return kGoProtoFailed;
    }
}
