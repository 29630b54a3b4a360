#include "uninstall/uninstall_entry.h"

#include "config/util.h"
#include "frame/exports.h"
#include "frame/log.h"
#include "frame/module.h"
#include "install/installer_guard.h"
#include "platform/folders.h"
#include "platform/scoped_handle.h"
#include "text/format.h"
#include "text/resource_text.h"
#include "uninstall/ks_remove.h"
#include "uninstall/uninstall_options.h"

#include <cstring>

namespace {

constexpr char kCfgSwitch[] = "/cfg=";
constexpr char kProductCfgName[] = "KSCommon";
constexpr char kProductCfgExtension[] = ".cfg";
constexpr UINT kErrorBoxStyle = MB_TOPMOST | MB_ICONERROR | MB_OK;  // 0x40010

HMODULE g_uninstallModule = nullptr;

// The full path of `module`'s file, or empty (last error set) when it cannot be read
// within MAX_PATH characters.
std::string ModuleFilePath(HMODULE module)
{
    char buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (length != 0)
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return std::string();
    }
    return std::string(buffer, length);
}

}  // namespace

std::string CompleteUninstallCommandLine(const char* commandLine, const std::string& moduleFolder)
{
    std::string completed = commandLine ? commandLine : "";
    if (completed.find(kCfgSwitch) == std::string::npos) {
        std::string line;
        FormatString(line, "%s \"%s%s\\%s%s\"", completed.c_str(), kCfgSwitch, moduleFolder.c_str(), kProductCfgName,
                     kProductCfgExtension);
        completed = line;
    }
    return completed;
}

HMODULE UninstallModule() { return g_uninstallModule; }

bool CheckOtherInstallers(HANDLE* event)
{
    const HANDLE guard = TakeInstallerGuard();
    if (guard != nullptr && guard != kGuardHeldNotSignalled) {
        *event = guard;
        return false;
    }
    *event = nullptr;
    // A signalled event is held by an installer, a non-signalled one by an uninstaller.
    UninstallOptions& options = g_UninstallOptions;
    const UINT message = guard == nullptr ? IDS_INSTALL_RUNNING : IDS_UNINSTALL_RUNNING;
    LoadResourceMessage(options.errorMessage, UninstallModule(), message, options.appName.c_str());
    return true;
}

DWORD KSRemove::Uninstall(const char* commandLine)
{
    UninstallOptions& options = g_UninstallOptions;
    if (options.runningTemp)
        return UninstallRunningTemp();

    if (options.cfgPath.empty())
        options.cfgPath = CUtil::GetCfgPath(false, nullptr);
    if (!options.productConfig.Load(options.cfgPath.c_str())) {
        g_Log.Error("KSRemove::Uninstall() - could not read cfg file %s. 0x%x", options.cfgPath.c_str(),
                    GetLastError());
        return ERROR_FILE_NOT_FOUND;
    }
    options.appName = options.productConfig.GetString("General", "AppTitle", options.appName.c_str());

    options.modulePath = ModuleFilePath(UninstallModule());
    if (options.modulePath.empty()) {
        g_Log.Error("KSRemove::Uninstall() - could not get module path, 0x%x", GetLastError());
        return ERROR_MOD_NOT_FOUND;
    }

    if (options.installMode || options.oneProcess) {
        const DWORD result = UninstallFirstPhase();
        return result != ERROR_SUCCESS ? result : UninstallRunningTemp();
    }

    // The guard is held through the first phase until the running-temp copy runs.
    HANDLE event = nullptr;
    if (CheckOtherInstallers(&event)) {
        g_Log.Error("Another install / uninstall is in progress");
        return ERROR_ALREADY_EXISTS;
    }
    const ScopedHandle guard(event);
    DWORD result = UninstallFirstPhase();
    if (result == ERROR_SUCCESS)
        result = SwitchToRunningTemp(commandLine);
    return result;
}

DWORD UninstallMain(HINSTANCE module, int reserved, const char* commandLine, int showCommand)
{
    g_uninstallModule = module;
    UninstallOptions& options = g_UninstallOptions;
    // Left open: the state is set afresh for every call, so that a second call in one
    // process (two upgrades, say) neither inherits switches nor shows an old message.
    // The hand-over variables of an earlier call stay in the environment and count.
    options.Reset();
    ParseUninstallSwitches(commandLine);
    g_Log.Info("Command line = %s", commandLine ? commandLine : "");

    options.appName = GetEnvVar(kAppNameVariable, nullptr);
    if (options.appName.empty())
        LoadResourceString(options.appName, module, IDS_DEFAULT_APP_NAME);
    else
        options.runningTemp = true;

    const DWORD result = KSRemove::Uninstall(commandLine);

    if (!options.silent && !options.errorMessage.empty()) {
        std::string caption;
        LoadResourceMessage(caption, module, IDS_UNINSTALL_TITLE, options.appName.c_str());
        MessageBoxA(nullptr, options.errorMessage.c_str(), caption.c_str(), kErrorBoxStyle);
    }
    return result;
}

KSINST_EXPORT(void) ExUninstall(HWND window, HINSTANCE instance, char* commandLine, int showCommand)
{
    // Nothing may reach the host: an error ends the removal where it happened.
    try {
        const std::string completed = CompleteUninstallCommandLine(commandLine, GetModuleFolder(g_hModule));
        UninstallMain(g_hModule, 0, completed.c_str(), showCommand);
    } catch (...) {
    }
}
