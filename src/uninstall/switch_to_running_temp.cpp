// The launch of the running-temp phase: a copy of the installed module in the
// temporary folder, started as a new process through the same host.
#include "frame/log.h"
#include "platform/delete_tree.h"
#include "platform/folders.h"
#include "platform/scoped_handle.h"
#include "text/format.h"
#include "uninstall/ks_remove.h"
#include "uninstall/uninstall_entry.h"
#include "uninstall/uninstall_options.h"

#include <vector>

namespace {

constexpr char kCopyPrefix[] = "KSR";
constexpr char kEntryName[] = "ExUninstall";

// The new process's command line: the copy itself when this module is the program,
// else the host with the copy and the entry ("host copy,ExUninstall switches"). No part
// is quoted: rundll32 takes the text up to the comma as the library. Empty when the
// host's path cannot be read.
std::string RunningTempCommandLine(const std::string& copy, const char* commandLine)
{
    std::string line;
    if (GetModuleHandleA(nullptr) == UninstallModule()) {
        FormatString(line, "%s %s", copy.c_str(), commandLine);
        return line;
    }
    char host[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, host, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return line;
    FormatString(line, "%s %s,%s %s", host, copy.c_str(), kEntryName, commandLine);
    return line;
}

// Starts `line` in `folder` with this process's environment and inheritable handles,
// without waiting. False with the system's error as the last error.
bool StartDetached(std::string line, const std::string& folder)
{
    if (line.empty()) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::vector<char> writable(line.begin(), line.end());
    writable.push_back('\0');
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Removes a copy that will never run, so that no failed launch leaves a "KSR*.tmp".
void DiscardCopy(const std::string& copy)
{
    const DWORD error = GetLastError();
    DeleteTree(copy, DT_NO_RESTART, nullptr, nullptr, 0);
    SetLastError(error);
}

}  // namespace

DWORD KSRemove::SwitchToRunningTemp(const char* commandLine)
{
    const UninstallOptions& options = g_UninstallOptions;
    const std::string folder = GetTempFolder();
    char copy[MAX_PATH] = {};
    bool started = false;
    if (GetTempFileNameA(folder.c_str(), kCopyPrefix, 0, copy)) {
        started = CopyFileA(options.modulePath.c_str(), copy, FALSE) &&
                  StartDetached(RunningTempCommandLine(copy, commandLine ? commandLine : ""), folder);
        if (!started)
            DiscardCopy(copy);
    }
    if (started)
        return ERROR_SUCCESS;
    g_Log.Error("KSRemove::SwitchToRunningTemp() - could not create process, 0x%x", GetLastError());
    return ERROR_PROCESS_ABORTED;  // 1067
}
