#include "install/run_command.h"

#include "config/util.h"
#include "frame/exports.h"
#include "frame/log.h"
#include "platform/scoped_handle.h"
#include "platform/system_version.h"

#include <string>
#include <vector>

DWORD RunCommand(const char* commandLine, bool wait)
{
    const std::string given = commandLine ? commandLine : "";
    std::string expanded = given;
    CUtil::ExpandEnvVars(expanded);
    std::vector<char> line(expanded.begin(), expanded.end());
    line.push_back('\0');

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const DWORD flags = IsWindowsNT() ? CREATE_NO_WINDOW : 0;
    SetLastError(ERROR_SUCCESS);
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &process);
    DWORD result = GetLastError();
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    threadHandle.Reset();

    if (!started) {
        if (result == ERROR_SUCCESS)
            result = 0xFFFFFFFF;
        g_Log.Error("KSWRun - cannot run process %s. Error = %d", given.c_str(), static_cast<int>(result));
        return result;
    }
    if (!processHandle.IsValid()) {
        g_Log.Error("KSWRun - cannot get process handle");
        return result;
    }
    const int id = static_cast<int>(process.dwProcessId);
    if (wait) {
        WaitForSingleObject(processHandle.Get(), INFINITE);
        GetExitCodeProcess(processHandle.Get(), &result);
        g_Log.Success("KSWRun - launched process %s (ID=%d). Exit code = %d", expanded.c_str(), id,
                      static_cast<int>(result));
    } else {
        g_Log.Success("KSWRun - launched process %s (ID=%d)", expanded.c_str(), id);
    }
    return result;
}

KSINST_EXPORT(DWORD) KSWRun(const char* commandLine, LONG wait)
{
    try {
        return RunCommand(commandLine, wait != 0);
    } catch (...) {
        return 0xFFFFFFFF;
    }
}
