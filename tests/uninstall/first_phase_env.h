// What the first-phase tests share: a product folder with its configuration loaded into
// the uninstaller's state, the in-process log at every level, and finding the
// uninstaller's windows from another thread.
#pragma once

#include "frame/log.h"
#include "frame/module.h"
#include "platform/delete_at_restart.h"
#include "support/test_env.h"
#include "support/test_thread.h"
#include "uninstall/first_phase.h"
#include "uninstall/registry_cleanup.h"
#include "uninstall/stop_client.h"
#include "uninstall/uninstall_options.h"

#include <windows.h>

#include <string>

namespace kstest {

// The product's unique name in every first-phase test (the module keeps the first one).
constexpr char kUniqueName[] = "KSTestFirstPhase";
// Its registry key and its uninstall registration.
const std::string kProductKey = std::string("SOFTWARE\\Velm\\VLUpdate\\") + kUniqueName;
const std::string kUninstallKey = std::string(kUninstallKeyPath) + "\\" + kUniqueName;

// The log cannot be closed in a process, and every later start takes a numbered file:
// one log for all the first-phase tests of a process, read from where each test began.
inline std::string FirstPhaseLog()
{
    static const std::string path = [] {
        const std::string folder = "C:\\kstest\\" + ExeTitle() + "\\firstphase-log";
        RemoveTestTree(folder);
        MakeFolders(folder);
        g_Log.Start(folder.c_str(), "KSInst");
        const std::vector<std::string> names = FolderNames(folder);  // the log alone
        return names.empty() ? std::string() : folder + "\\" + names[0];
    }();
    return path;
}

// C:\kstest\<program>\<name>: prod\ (General\Path) with KSCommon.cfg; the log at every
// level from the fixture's start. Resets the uninstaller state, RestartNeeded and the
// hand-over variables before and after; the module copy under test gives the
// resources. Undoes the stop-wait and stage-observer changes.
class ProductFixture {
public:
    explicit ProductFixture(const std::string& name) : folder_(name)
    {
        folder_.MakeFolder("prod");
        g_hModule = module_.Handle();
        logStart_ = ReadFile(FirstPhaseLog()).size();
        g_Log.ErrorsOnly = false;
        Clear();
    }
    ~ProductFixture()
    {
        g_StopClientWaitMs = kStopClientWaitMs;
        g_FirstPhaseStageObserver = nullptr;
        Clear();
        g_hModule = nullptr;
    }

    const ScratchFolder& Folder() const { return folder_; }
    std::string Product() const { return folder_ / "prod"; }
    // Writes the configuration ("%PROD%" stands for the product folder) and loads it into
    // the uninstaller's state with `silent`, the application name "KSTest".
    void Configure(std::string text, bool silent)
    {
        for (size_t at = text.find("%PROD%"); at != std::string::npos; at = text.find("%PROD%", at))
            text.replace(at, 6, Product());
        const std::string cfg = folder_.MakeFile("prod\\KSCommon.cfg", text);
        g_UninstallOptions.Reset();
        g_UninstallOptions.silent = silent;
        g_UninstallOptions.cfgPath = cfg;
        g_UninstallOptions.appName = "KSTest";
        g_UninstallOptions.modulePath = Product() + "\\KSInst.dll";
        g_UninstallOptions.productConfig.Load(cfg.c_str());
    }
    // Whether an entry of the log since the fixture's start ("LEVEL message") is `entry`
    // or, with `prefix`, begins with it.
    bool Logged(const std::string& entry, bool prefix = false) const
    {
        const std::string whole = ReadFile(FirstPhaseLog());
        for (const std::string& logged : LogEntriesOf(whole.size() > logStart_ ? whole.substr(logStart_) : "")) {
            if (prefix ? logged.compare(0, entry.size(), entry) == 0 : logged == entry)
                return true;
        }
        return false;
    }

private:
    static void Clear()
    {
        for (const char* name : {kAppNameVariable, kDelFileVariable, kDelDirVariable, kRebootVariable})
            SetEnvironmentVariableA(name, nullptr);
        g_UninstallOptions.Reset();
        RestartNeeded = false;
    }

    ScratchFolder folder_;
    ModuleUnderTest module_;
    size_t logStart_ = 0;
};

inline bool ValueExists(HKEY root, const std::string& key, const char* value) { return GetStringValue(root, key, value, "-") != "-"; }

// The first visible window of class "#32770" of this process that holds (or, with
// `withBar` false, lacks) a progress bar 1000; null after `timeoutMs`.
inline HWND WaitForDialog(bool withBar, DWORD timeoutMs = 10000)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            while ((found = FindWindowExA(nullptr, found, "#32770", nullptr)) != nullptr) {
                DWORD process = 0;
                GetWindowThreadProcessId(found, &process);
                if (process == GetCurrentProcessId() && IsWindowVisible(found) &&
                    (GetDlgItem(found, 1000) != nullptr) == withBar)
                    return true;
            }
            return false;
        },
        timeoutMs);
    return found;
}

}  // namespace kstest
