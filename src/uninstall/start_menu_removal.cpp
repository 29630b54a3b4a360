#include "uninstall/start_menu_removal.h"

#include "frame/log.h"
#include "peruser/all_users_files.h"
#include "platform/delete_tree.h"
#include "platform/deletion_guard.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "uninstall/deletion_refusal.h"
#include "uninstall/uninstall_options.h"

#include <string>

namespace {

constexpr DWORD kDeleteRetryMs = 500;

void DeleteStartMenuFolder(std::string path, DWORD flags, const DeletionGuard& guard)
{
    StripTrailingBackslashes(path);
    if (IsRefusedDeletion(path, guard)) {
        g_Log.Warning("Cannot delete system directory %s", path.c_str());
        return;
    }
    DeleteTree(path, flags, nullptr, nullptr, kDeleteRetryMs);
}

// The last two components of `folder` ("Start Menu\Programs"); empty when it has
// fewer than two backslashes. Split by the multibyte-aware path operations.
std::string LastTwoComponents(const std::string& folder)
{
    const std::string parent = GetDirectory(folder);
    if (parent.empty() || GetDirectory(parent).empty())
        return std::string();
    return GetFileName(parent) + "\\" + GetFileName(folder);
}

}  // namespace

void RemoveStartMenuFolder(const char* title)
{
    const std::string name = title ? title : "";
    const DWORD flags = g_UninstallOptions.noRestart ? DT_NO_RESTART : 0;
    const DeletionGuard guard;
    const std::string fallback = GetWindowsFolder() + "\\Start Menu\\Programs";
    const std::string userPrograms = GetUserShellFolder("Programs", fallback);

    DeleteStartMenuFolder(GetCommonShellFolder("Common Programs", userPrograms) + "\\" + name, flags, guard);

    const std::string relative = LastTwoComponents(userPrograms);
    // The per-user operation keeps each path below its own profile and out of the
    // protected folders; an empty title would still name a profile's Programs folder
    // where the guard may not know it (another layout), so it is not tried per user.
    std::string trimmed = name;
    StripTrailingBackslashes(trimmed);
    if (!relative.empty() && !trimmed.empty())
        DeleteTreeForAllUsers((relative + "\\" + name).c_str(), flags, nullptr, nullptr, kDeleteRetryMs, true);

    DeleteStartMenuFolder(GetDefaultUserShellFolder("Programs", fallback) + "\\" + name, flags, guard);
}
