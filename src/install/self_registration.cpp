// Self-registration as the hook that clears the way for an installation or upgrade: it
// registers nothing, but finds an older installation of the product and removes it.
#include "config/config_document.h"
#include "config/util.h"
#include "frame/exports.h"
#include "frame/log.h"
#include "frame/module.h"
#include "peruser/all_users_files.h"
#include "platform/delete_tree.h"
#include "platform/folders.h"
#include "platform/named_file_guard.h"
#include "platform/paths.h"
#include "platform/reg_key.h"
#include "platform/scoped_handle.h"
#include "text/format.h"

#include <string>
#include <vector>

namespace {

constexpr char kUninstallListKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kDefaultTitle[] = "VLAgent";
constexpr char kOldLogFolder[] = "\\Velm\\VLUpdate\\Kestrel";
constexpr DWORD kOldLogFlags = DT_SKIP_SUBFOLDERS | DT_NO_RESTART | DT_REMOVE_EMPTY_PARENTS | DT_ONLY_MATCHING;
constexpr DWORD kRetryDelayMs = 500;

// The product configuration's path from the product's registry record; empty (logged)
// when the record or its value is missing.
std::string RecordedCfgPath(const std::string& objectPrefix)
{
    std::string key;
    FormatString(key, "%s\\%s", kProductRegKey, objectPrefix.c_str());
    try {
        const std::string cfgPath = CVRegKey::LocalMachine.Open(key.c_str(), KEY_QUERY_VALUE).GetString("CfgPath");
        if (cfgPath.empty())
            g_Log.Error("DllRegisterServer - cfg path is empty, %s", key.c_str());
        return cfgPath;
    } catch (const CVException&) {
        g_Log.Warning("DllRegisterServer - exception");
        return std::string();
    }
}

// The display names an older installation may be listed under, in the order tried.
std::vector<std::string> CandidateNames(const std::string& appTitle, const std::string& appEnTitle)
{
    std::vector<std::string> names;
    if (!appEnTitle.empty())
        names.push_back(appEnTitle);
    if (!appTitle.empty() && appTitle != appEnTitle)
        names.push_back(appTitle);
    names.push_back(kDefaultTitle);
    return names;
}

// The first non-empty "UninstallString" of the candidates; empty when none has one.
std::string OldUninstallCommand(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        std::string key;
        FormatString(key, "%s\\%s", kUninstallListKey, name.c_str());
        try {
            const std::string command =
                CVRegKey::LocalMachine.Open(key.c_str(), KEY_QUERY_VALUE).GetString("UninstallString");
            if (!command.empty())
                return command;
        } catch (const CVException&) {
            g_Log.Warning("DllRegisterServer - cannot find an old version");
        }
    }
    return std::string();
}

// This module's own uninstaller, both phases in this process, keeping the logs.
void RemoveInProcess(const std::string& cfgPath)
{
    std::string line;
    FormatString(line, "/leavelogs /install \"/cfg=%s\"", cfgPath.c_str());
    ExUninstall(nullptr, nullptr, &line[0], 0);
}

// The old installation's log folder below every profile: the per-user application-data
// folder's name (taken from the machine's common one) and the product's log path.
void DeleteOldLogs()
{
    const std::string common =
        GetCommonShellFolder("Common AppData", GetWindowsFolder() + "\\Application Data");
    const std::string relative = GetFileName(common) + kOldLogFolder;
    for (const char* pattern : {"*.log", "*.exc"})
        DeleteTreeForAllUsers(relative.c_str(), kOldLogFlags, pattern, nullptr, kRetryDelayMs, true);
}

// The old uninstall program itself, by the command as read: one with quotes or
// arguments names no file and only leaves the WARNING line.
void DeleteOldUninstaller(const std::string& command)
{
    std::string resolved;
    bool deleted = false;
    if (MayDeleteNamedFile(command, resolved)) {
        deleted = DeleteFileA(resolved.c_str()) != FALSE;
        if (!deleted) {
            Sleep(kRetryDelayMs);
            deleted = DeleteFileA(resolved.c_str()) != FALSE;
        }
    }
    if (!deleted)
        g_Log.Warning("Cannot delete %s", command.c_str());
}

// Runs the old uninstall command in installation mode and waits for it; then removes
// the old logs and the program. E_FAIL when it could not be started.
HRESULT RunOldUninstaller(const std::string& command)
{
    std::string line = command + " /install";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    const BOOL started =
        CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    const ScopedHandle thread(info.hThread);
    ScopedHandle process(info.hProcess);
    if (!process.IsValid())
        return E_FAIL;
    if (started)
        WaitForSingleObject(process.Get(), INFINITE);
    process.Reset();
    DeleteOldLogs();
    DeleteOldUninstaller(command);
    return started ? S_OK : E_FAIL;
}

HRESULT RemoveOlderInstallation()
{
    // A configuration that cannot be read simply gives the defaults.
    ConfigDocument cfg;
    cfg.Load(CUtil::GetCfgPath(false, g_hModule).c_str());
    const std::string objectPrefix = cfg.GetString("General", "ObjectPrefix", "");
    const std::string appTitle = cfg.GetString("General", "AppTitle", kDefaultTitle);
    const std::string appEnTitle = cfg.GetString("General", "AppEnTitle", appTitle.c_str());

    const std::string cfgPath = RecordedCfgPath(objectPrefix);
    if (!cfgPath.empty()) {
        RemoveInProcess(cfgPath);
        return S_OK;
    }
    const std::string command = OldUninstallCommand(CandidateNames(appTitle, appEnTitle));
    if (command.empty()) {
        // The uninstaller then finds the configuration itself.
        RemoveInProcess(cfgPath);
        return S_OK;
    }
    return RunOldUninstaller(command);
}

}  // namespace

KSINST_EXPORT(HRESULT) DllRegisterServer()
{
    try {
        return RemoveOlderInstallation();
    } catch (...) {
        return E_FAIL;
    }
}
