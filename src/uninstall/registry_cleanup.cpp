#include "uninstall/registry_cleanup.h"

#include "frame/log.h"
#include "frame/module.h"
#include "platform/all_users.h"
#include "platform/reg_key.h"
#include "platform/system_version.h"
#include "uninstall/uninstall_options.h"

#include <string>

namespace {

constexpr REGSAM kSetValueAccess = 2;      // KEY_SET_VALUE
constexpr REGSAM kRunKeyAccess = 0x20007;  // read, query and set values

void DeleteMachineValue(const char* keyPath, const char* valueName)
{
    try {
        CVRegKey::LocalMachine.Open(keyPath, kSetValueAccess).DeleteValue(valueName);
    } catch (const CVException&) {
    }
}

void RemoveBrowserRunValue()
{
    try {
        const CVRegKey run = CVRegKey::CurrentUser.Open(kRunKeyPath, kRunKeyAccess);
        const std::string data = run.GetString(kBrowserRunValue);
        if (data.empty())
            return;
        g_Log.Info("Found %s in HKCU\\...\\Run", kBrowserRunValue);
        const std::string browser = g_UninstallOptions.productConfig.GetString("General", "ModuleBrowser", "");
        if (!browser.empty() && data.find(browser) != std::string::npos)
            run.DeleteValue(kBrowserRunValue);
    } catch (const CVException&) {
    }
}

// One subkey name: a name with a backslash (or none at all) would reach other keys,
// "Uninstall\\" even the system's whole list, so nothing is deleted for it.
bool IsSingleKeyName(const std::string& name) { return !name.empty() && name.find('\\') == std::string::npos; }

void DeleteUninstallKey(const std::string& name)
{
    if (!IsSingleKeyName(name))
        throw CVException("not a key name");
    CVRegKey::LocalMachine.DeleteKey((std::string(kUninstallKeyPath) + "\\" + name).c_str());
}

}  // namespace

void RemoveRunEntries(const char* uniqueName)
{
    if (g_UninstallOptions.installMode || !uniqueName)
        return;
    try {
        DeleteValueFromAllUsers(kRunKeyPath, uniqueName, true);
    } catch (...) {
    }
    DeleteMachineValue(kRunKeyPath, uniqueName);
    RemoveBrowserRunValue();
    if (!IsWindowsNT())
        DeleteMachineValue(kRunServicesKeyPath, uniqueName);
}

void RemoveShellExecuteHook() { DeleteMachineValue(kShellExecuteHooksKeyPath, kShellExecuteHookValue); }

void RemoveProductRegistration(const char* uniqueName)
{
    if (!uniqueName || !IsSingleKeyName(uniqueName))
        return;
    try {
        const std::string productKey = std::string(kProductRegKey) + "\\" + uniqueName;
        CVRegKey::LocalMachine.DeleteKey(productKey.c_str());
        CVRegKey::LocalMachine.DeleteKeyIfEmpty(kProductRegKey);
        CVRegKey::LocalMachine.DeleteKeyIfEmpty(kVelmKeyPath);
    } catch (const CVException&) {
    }
    const std::string oldName = g_UninstallOptions.productConfig.GetString("Uninstall\\Registry", "OldUninstallRegName", "");
    try {
        DeleteUninstallKey(uniqueName);
        if (!oldName.empty() && IsSingleKeyName(oldName))
            DeleteUninstallKey(oldName);
    } catch (const CVException&) {
    }
}
