// The running-temp phase: deletes the installed module and what is left of the product
// folder, decides whether a restart is needed, and tells the user.
#include "frame/log.h"
#include "platform/delete_at_restart.h"
#include "platform/delete_tree.h"
#include "platform/deletion_guard.h"
#include "platform/folders.h"
#include "platform/named_file_guard.h"
#include "platform/paths.h"
#include "platform/security.h"
#include "platform/system_version.h"
#include "text/resource_text.h"
#include "text/wildcard.h"
#include "uninstall/finish_box.h"
#include "uninstall/ks_remove.h"
#include "uninstall/protected_paths.h"
#include "uninstall/uninstall_entry.h"
#include "uninstall/uninstall_options.h"

namespace {

constexpr DWORD kFirstRetryMs = 500;
constexpr DWORD kSecondRetryMs = 1000;
constexpr UINT kRestartQuestionStyle = MB_TOPMOST | MB_ICONQUESTION | MB_OKCANCEL;  // 0x40021
constexpr UINT kSuccessStyle = MB_TOPMOST | MB_ICONINFORMATION | MB_OK;             // 0x40040
constexpr char kShutdownPrivilege[] = "SeShutdownPrivilege";
constexpr char kRunningTempCopyPattern[] = "KSR*.tmp";

void LogRefusal(const std::string& path)
{
    g_Log.Warning("KSRemove::UninstallRunningTemp() - should not delete '%s'", path.c_str());
}

// Deletion now (one retry after 500 ms), else again with deletion at restart allowed
// (one retry after 1,000 ms). `asRead` is the path as the environment gave it.
void DeleteInTwoSteps(const std::string& asRead)
{
    std::string path = asRead;
    StripTrailingBackslashes(path);
    if (DeleteTree(path, DT_NO_RESTART, nullptr, nullptr, kFirstRetryMs) == ERROR_SUCCESS)
        return;
    if (DeleteTree(path, 0, nullptr, nullptr, kSecondRetryMs) == ERROR_SUCCESS)
        return;
    g_Log.Warning("KSRemove::UninstallRunningTemp() - could not delete '%s'", asRead.c_str());
}

void DeleteModuleFile(const std::string& delFile, const std::string& modulePath)
{
    std::string path = delFile;
    StripTrailingBackslashes(path);
    // On the one-process course the file is this module itself, scheduled in step 4.
    if (delFile.empty() || PathEquals(path, modulePath.c_str()))
        return;
    std::string resolved;
    if (!MayDeleteNamedFile(path, resolved))
        return LogRefusal(delFile);
    DeleteInTwoSteps(delFile);
}

void DeleteProductFolder(const std::string& delDir)
{
    if (delDir.empty())
        return;
    // The Part's rule first, then the guard's wider one (profiles, shell folders, links).
    std::string path = delDir;
    StripTrailingBackslashes(path);
    if (IsProtectedPath(delDir.c_str()) || DeletionGuard().Check(path.c_str(), false, 0).scope != DeletionScope::Whole)
        return LogRefusal(delDir);
    DeleteInTwoSteps(delDir);
}

// Left open by the Parts: the second process runs from a "KSR*.tmp" copy in the
// temporary folder that nothing else removes. It is scheduled like the installed module
// on the one-process course; only a file that is such a copy counts, so an inherited
// hand-over variable can never make the installed module schedule itself here.
std::string RunningTempCopy()
{
    char buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(UninstallModule(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    const std::string path(buffer, length);
    if (!WildcardMatch(GetFileName(path).c_str(), kRunningTempCopyPattern) ||
        !IsSamePath(GetDirectory(path), GetTempFolder()))
        return std::string();
    return path;
}

void ScheduleOwnFile(std::string path)
{
    StripTrailingBackslashes(path);
    std::string resolved;
    if (path.empty())
        return;
    if (!MayDeleteNamedFile(path, resolved))
        return LogRefusal(path);
    DeleteAtRestart(resolved);
}

std::string Message(UINT id, const std::string& appName)
{
    std::string text;
    LoadResourceMessage(text, UninstallModule(), id, appName.c_str());
    return text;
}

void AskForRestart(const std::string& appName)
{
    std::string question;
    LoadResourceString(question, UninstallModule(), IDS_RESTART_QUESTION);
    const std::string caption = Message(IDS_UNINSTALL_TITLE, appName);
    if (FinishMessageBox(nullptr, question.c_str(), caption.c_str(), kRestartQuestionStyle) != IDOK)
        return;
    if (IsWindowsNT())
        SetPrivilege(kShutdownPrivilege);
    // A refused restart is not reported: the result is 3010 either way.
    ExitWindowsEx(EWX_REBOOT, 0);
}

}  // namespace

DWORD KSRemove::UninstallRunningTemp()
{
    const UninstallOptions& options = g_UninstallOptions;
    DeleteModuleFile(GetEnvVar(kDelFileVariable, nullptr), options.modulePath);
    DeleteProductFolder(GetEnvVar(kDelDirVariable, nullptr));

    // Decided before step 4, so scheduling this module never asks for a restart.
    const bool restart = GetEnvVar(kRebootVariable, nullptr) == "1" || RestartNeeded;

    if (!options.installMode) {
        if (!options.modulePath.empty())
            ScheduleOwnFile(options.modulePath);
        else if (options.runningTemp)
            ScheduleOwnFile(RunningTempCopy());
    }

    if (restart) {
        if (!options.silent && !options.noRestart)
            AskForRestart(options.appName);
        return ERROR_SUCCESS_REBOOT_REQUIRED;
    }
    if (!options.silent) {
        FinishMessageBox(nullptr, Message(IDS_UNINSTALL_DONE, options.appName).c_str(),
                         Message(IDS_UNINSTALL_TITLE, options.appName).c_str(), kSuccessStyle);
    }
    return ERROR_SUCCESS;
}
