#include "uninstall/stop_client.h"

#include "frame/log.h"
#include "platform/delete_tree.h"
#include "platform/run_process.h"
#include "platform/system_version.h"
#include "uninstall/ks_remove.h"

DWORD g_StopClientWaitMs = kStopClientWaitMs;

namespace {

constexpr DWORD kNoConsoleWindow = 0x08000000;  // CREATE_NO_WINDOW, NT family only
constexpr DWORD kDeleteRetryMs = 500;

}  // namespace

bool KSRemove::StopClient(const char* program, const char* arguments, bool deleteAfter)
{
    if (!program || GetFileAttributesA(program) == INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD waitMs = g_StopClientWaitMs;
    const DWORD started = GetTickCount();
    DWORD exitCode = 0;
    if (RunProcessWithWait(program, arguments, IsWindowsNT() ? kNoConsoleWindow : 0, exitCode, waitMs)) {
        g_Log.Info("KSRemove::StopClient(%s) - exit code = %d", program, static_cast<int>(exitCode));
        if (deleteAfter) {
            // DeleteTree passes the deletion guard: a program path that names a protected
            // folder is refused there.
            if (DeleteTree(program, 0, nullptr, nullptr, kDeleteRetryMs) == 0)
                g_Log.Success("Deleted %s", program);
            else
                g_Log.Warning("KSRemove::StopClient(%s)- Cannot delete. Error = 0x%x", program,
                              static_cast<unsigned>(GetLastError()));
        }
        return true;
    }
    const DWORD error = GetLastError();
    if (GetTickCount() - started < waitMs)
        g_Log.Warning("KSRemove::StopClient() - could not create process, 0x%x", static_cast<unsigned>(error));
    else
        g_Log.Info("KSRemove::StopClient() - waiting timeout, 0x%x", static_cast<unsigned>(error));
    return false;
}
