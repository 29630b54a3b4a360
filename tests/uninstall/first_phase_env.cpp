#include "first_phase_env.h"

#include "config/util.h"
#include "frame/log.h"
#include "frame/module.h"
#include "platform/delete_at_restart.h"
#include "uninstall/first_phase.h"
#include "uninstall/stop_client.h"
#include "uninstall/uninstall_options.h"


namespace kstest {

namespace {

// The log cannot be closed in a process, and every later start takes a numbered file:
// one log for all the first-phase tests of a process, read from where each test began.
std::string LogPath()
{
    static std::string path;
    if (!path.empty())
        return path;
    const std::string folder = "C:\\kstest\\" + ExeTitle() + "\\firstphase-log";
    RemoveTestTree(folder);
    CreateDirectoryA(("C:\\kstest\\" + ExeTitle()).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    g_Log.Start(folder.c_str(), "KSInst");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\KSInst*.log").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        path = folder + "\\" + found.cFileName;
        FindClose(search);
    }
    return path;
}

void ClearHandOver()
{
    for (const char* name : {kAppNameVariable, kDelFileVariable, kDelDirVariable, kRebootVariable})
        SetEnvironmentVariableA(name, nullptr);
}

}  // namespace

ProductFixture::ProductFixture(const std::string& name) : folder_(name)
{
    folder_.MakeFolder("prod");
    g_hModule = module_.Handle();
    logStart_ = ReadFile(LogPath()).size();
    g_Log.ErrorsOnly = false;
    g_UninstallOptions.Reset();
    RestartNeeded = false;
    ClearHandOver();
}

ProductFixture::~ProductFixture()
{
    g_StopClientWaitMs = kStopClientWaitMs;
    g_FirstPhaseStageObserver = nullptr;
    g_UninstallOptions.Reset();
    RestartNeeded = false;
    ClearHandOver();
    g_hModule = nullptr;
}

void ProductFixture::Configure(const std::string& cfgText, bool silent)
{
    std::string text = cfgText;
    for (size_t at = text.find("%PROD%"); at != std::string::npos; at = text.find("%PROD%", at))
        text.replace(at, 6, Product());
    folder_.MakeFolder("prod");
    WriteFile(CfgPath(), text);
    g_UninstallOptions.Reset();
    g_UninstallOptions.silent = silent;
    g_UninstallOptions.cfgPath = CfgPath();
    g_UninstallOptions.appName = kAppName;
    g_UninstallOptions.modulePath = Product() + "\\KSInst.dll";
    g_UninstallOptions.productConfig.Load(CfgPath().c_str());
}

std::string ProductFixture::AddProgram(const std::string& relative) const
{
    const std::string path = Product() + "\\" + relative;
    CopyFileA(HelperPath().c_str(), path.c_str(), FALSE);
    return path;
}

std::vector<std::string> ProductFixture::LogEntries() const
{
    const std::string whole = ReadFile(LogPath());
    return LogEntriesOf(whole.size() > logStart_ ? whole.substr(logStart_) : std::string());
}

bool ProductFixture::Logged(const std::string& entry) const
{
    for (const std::string& logged : LogEntries()) {
        if (logged == entry)
            return true;
    }
    return false;
}

bool ProductFixture::LoggedStartingWith(const std::string& prefix) const
{
    for (const std::string& logged : LogEntries()) {
        if (logged.compare(0, prefix.size(), prefix) == 0)
            return true;
    }
    return false;
}

bool ValueExists(HKEY root, const std::string& key, const char* value)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    const bool exists = RegQueryValueExA(handle, value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return exists;
}

bool KeyExists(HKEY root, const std::string& key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

void SetValue(HKEY root, const std::string& key, const char* value, const std::string& data)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(handle);
}

std::string Variable(const char* name)
{
    char value[1024] = {};
    if (!GetEnvironmentVariableA(name, value, sizeof(value)) && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return "<unset>";
    return value;
}

namespace {

struct DialogSearch {
    bool withBar;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = {};
    GetClassNameA(window, className, sizeof(className));
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || lstrcmpA(className, "#32770") != 0)
        return TRUE;
    if ((GetDlgItem(window, 1000) != nullptr) != search->withBar)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND WaitForDialog(bool withBar, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    do {
        DialogSearch search = {withBar, nullptr};
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

}  // namespace kstest
