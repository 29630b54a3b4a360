#include "uninstall/first_phase.h"

#include "channels/channel_cleanup.h"
#include "config/util.h"
#include "frame/exports.h"
#include "frame/log.h"
#include "frame/module.h"
#include "platform/delete_at_restart.h"
#include "platform/delete_tree.h"
#include "platform/deletion_guard.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "platform/security.h"
#include "platform/system_version.h"
#include "resources/resource.h"
#include "text/resource_text.h"
#include "uninstall/deletion_refusal.h"
#include "uninstall/fs_redirection.h"
#include "uninstall/ks_remove.h"
#include "uninstall/progress_dialog.h"
#include "uninstall/registry_cleanup.h"
#include "uninstall/removal_actions.h"
#include "uninstall/removal_entries.h"
#include "uninstall/start_menu_removal.h"
#include "uninstall/stop_commands.h"
#include "uninstall/uninstall_options.h"

#include <string>

FirstPhaseStageObserver g_FirstPhaseStageObserver = nullptr;

namespace {

constexpr DWORD kAdministratorsRid = 544;
constexpr UINT kQuestionStyle = 0x40024;  // top-most, question icon, Yes and No
constexpr unsigned kProgressMs = 5000;
constexpr unsigned kStageCount = 5;
constexpr DWORD kDeleteRetryMs = 500;

// Result codes of the early stops.
constexpr DWORD kNoInstallPath = 1011;
constexpr DWORD kNotAdministrator = 1313;
constexpr DWORD kCancelled = 1223;
constexpr DWORD kNoProgressDialog = 1420;

// The dialog (absent when silent) and the stage counter the phase advances.
class Progress {
public:
    bool Show(const std::string& caption, const std::string& text)
    {
        shown_ = dialog_.Create(g_hModule, IDD_PROGRESS, caption.c_str(), IDC_PROGRESS_TEXT, text.c_str(),
                                IDC_PROGRESS_BAR, kProgressMs, kStageCount);
        return shown_;
    }
    void Step()
    {
        ++stage_;
        if (shown_)
            dialog_.Step();
        if (g_FirstPhaseStageObserver)
            g_FirstPhaseStageObserver(stage_);
    }
    // Lets the bar run to its end and closes the dialog.
    void Close()
    {
        if (shown_)
            dialog_.Close();
        shown_ = false;
    }

private:
    ProgressDialog dialog_;
    bool shown_ = false;
    unsigned stage_ = 0;
};

// No step may end the phase: each one's failure is its own (logged there or swallowed),
// and the next step runs.
template <typename Step>
void RunStep(Step step)
{
    try {
        step();
    } catch (...) {
    }
}

std::string Message(UINT id)
{
    std::string text;
    LoadResourceMessage(text, g_hModule, id, g_UninstallOptions.appName.c_str());
    return text;
}

void StopPrograms(const std::string& productPath)
{
    for (const StopCommand& command : PlanStopCommands(g_UninstallOptions.productConfig, productPath)) {
        if (KSRemove::StopClient(command.program.c_str(), command.arguments.c_str(), command.deleteAfter))
            continue;
        if (command.isModule)
            g_Log.Warning("KSRemove::UninstallFirstPhase() - could not stop %s", command.program.c_str());
        else
            g_Log.Warning("KSRemove::UninstallFirstPhase() - could not stop %s %s", command.program.c_str(),
                          command.arguments.c_str());
    }
}

void CleanChannels()
{
    const ConfigDocument& cfg = g_UninstallOptions.productConfig;
    const std::string logDir = cfg.GetString("General", "LogDir", GetFileName(GetModuleFolder(g_hModule)).c_str());
    CleanupChannels(CUtil::GetCfgPath(false, nullptr).c_str(), "Channels", logDir.c_str(), false,
                    CurrentCleanupOptions());
}

void RemoveListedFiles(const std::string& productPath, Progress& progress)
{
    const RemovalPlan plan = PlanRemovalEntries(g_UninstallOptions.productConfig, productPath,
                                                GetSystemFolder() + "\\", NativeSystemFolder());
    if (!plan.hasSection)
        progress.Step();
    const DeletionGuard guard;
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        if (i == plan.StageIndex())
            progress.Step();
        RunStep([&] { RemoveListedEntry(plan.entries[i], guard); });
    }
}

void DeleteProductFolder(const std::string& productPath)
{
    if (IsRefusedDeletion(productPath, DeletionGuard())) {
        g_Log.Warning("KSRemove::UninstallFirstPhase() - should not delete '%s'", productPath.c_str());
        return;
    }
    if (DeleteTree(productPath, DT_NO_RESTART, nullptr, nullptr, kDeleteRetryMs) != 0)
        CUtil::SetEnvVar(kDelDirVariable, productPath.c_str());
}

void HandOver()
{
    const UninstallOptions& options = g_UninstallOptions;
    CUtil::SetEnvVar(kAppNameVariable, options.appName.c_str());
    CUtil::SetEnvVar(kDelFileVariable, options.modulePath.c_str());
    CUtil::SetEnvVar(kRebootVariable, RestartNeeded ? "1" : "0");
}

}  // namespace

DWORD KSRemove::UninstallFirstPhase()
{
    UninstallOptions& options = g_UninstallOptions;
    const ConfigDocument& cfg = options.productConfig;
    const std::string productPath = cfg.GetString("General", "Path", "");
    if (productPath.empty()) {
        options.errorMessage = Message(IDS_NO_INSTALL_PATH);
        return kNoInstallPath;
    }
    if (IsWindowsNT() && !IsUserInGroup(kAdministratorsRid)) {
        options.errorMessage = Message(IDS_NEED_ADMIN);
        return kNotAdministrator;
    }
    const std::string caption = Message(IDS_UNINSTALL_TITLE);
    if (!options.silent && MessageBoxA(nullptr, Message(IDS_CONFIRM_REMOVE).c_str(), caption.c_str(),
                                       kQuestionStyle) != IDYES)
        return kCancelled;
    Progress progress;
    if (!options.silent && !progress.Show(caption, Message(IDS_PLEASE_WAIT))) {
        g_Log.Error("KSRemove::UninstallFirstPhase() - could not create progress dialog");
        options.errorMessage = Message(IDS_UNINSTALL_FAILED);
        return kNoProgressDialog;
    }
    progress.Step();

    const std::string uniqueName = CUtil::GetProductUniqueName(&cfg);
    RunStep([&] { RemoveRunEntries(uniqueName.c_str()); });
    for (const char* key : {"AppTitle", "AppEnTitle"}) {
        const std::string title = cfg.GetString("General", key, options.appName.c_str());
        RunStep([&] { RemoveStartMenuFolder(title.c_str()); });
    }
    RunStep([&] { StopPrograms(productPath); });
    progress.Step();

    RunStep(CleanChannels);
    progress.Step();

    RunStep([&] { RemoveListedFiles(productPath, progress); });
    RunStep([&] {
        if (KSWUninstallDownloader(options.cfgPath.c_str()) == 0)
            g_Log.Error("Failed to uninstall the downloader. Error = %d", static_cast<int>(GetLastError()));
    });
    RunStep(RemoveShellExecuteHook);
    RunStep([&] { RemoveProductRegistration(uniqueName.c_str()); });
    progress.Step();

    RunStep([&] { DeleteProductFolder(productPath); });
    RunStep(HandOver);
    progress.Close();
    return 0;
}
