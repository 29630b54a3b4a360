#include "uninstall/removal_actions.h"

#include "frame/exports.h"
#include "frame/log.h"
#include "install/component_release.h"
#include "install/goproto.h"
#include "platform/delete_at_restart.h"
#include "platform/delete_tree.h"
#include "uninstall/deletion_refusal.h"
#include "uninstall/fs_redirection.h"

#include <optional>

namespace {

constexpr DWORD kDeleteRetryMs = 500;

// Whether the entry's file goes after its references were released.
bool ReleaseReferences(const RemovalEntry& entry)
{
    if (entry.keywords & kRemoveShared)
        return ReleaseSharedDll(entry.path, false) <= 0;
    if (entry.keywords & kRemoveSystem)
        ReleaseSharedDll(entry.path, true);
    return true;
}

}  // namespace

void RemoveListedEntry(const RemovalEntry& entry, const DeletionGuard& guard)
{
    if (entry.skipped)
        return;
    // Redirection is a per-thread setting: off for this entry only, back on at return.
    std::optional<RedirectionOff> redirectionOff;
    if (entry.keywords & kRemoveSystem64)
        redirectionOff.emplace();
    if ((entry.keywords & kRemoveGoProto) &&
        KSWInstallUninstallGoProto(entry.path.c_str(), 0, 0) == kGoProtoRestartNeeded)
        RestartNeeded = true;
    const bool released = ReleaseReferences(entry);
    if (!released || (entry.keywords & kRemoveKeep))
        return;
    if (entry.keywords & kRemoveRegistered)
        UnregisterComFile(entry.path);
    if (IsRefusedDeletion(entry.path, guard)) {
        g_Log.Warning("Cannot delete system directory %s", entry.path.c_str());
        return;
    }
    const DWORD result = DeleteTree(entry.path, 0, nullptr, nullptr, kDeleteRetryMs);
    g_Log.Info("Deleting %s returned %d", entry.path.c_str(), static_cast<int>(result));
}
