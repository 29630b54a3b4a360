#include "channels/channel_cleanup.h"

#include "channels/channel_index.h"
#include "channels/channel_records.h"
#include "channels/stat_params.h"
#include "channels/stats_locations.h"
#include "frame/exports.h"
#include "frame/log.h"
#include "peruser/all_users_files.h"
#include "platform/all_users.h"
#include "platform/delete_tree.h"
#include "platform/folder_list.h"
#include "platform/linked_folder.h"
#include "platform/paths.h"
#include "platform/user_profiles.h"
#include "uninstall/uninstall_options.h"

namespace {

constexpr char kProductRoot[] = "\\Velm\\VLUpdate\\Kestrel";

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

void WriteLogLine(LogLevel level, const std::string& text)
{
    switch (level) {
    case LogLevel::Success:
        g_Log.Success("%s", text.c_str());
        break;
    case LogLevel::Info:
        g_Log.Info("%s", text.c_str());
        break;
    case LogLevel::Warning:
        g_Log.Warning("%s", text.c_str());
        break;
    case LogLevel::Error:
        g_Log.Error("%s", text.c_str());
        break;
    }
}

// The folder goes when nothing but `name` is left in it; otherwise the step's line is logged.
void RemoveFolderIfOnly(const CleanupStep& step)
{
    const std::string file = step.path + "\\" + step.name;
    const DWORD count = ListFolder(step.path, true, "*.*", nullptr);
    if (count == 0 || (count == 1 && IsExistingFile(file))) {
        DeleteFolderNow(file.c_str());
        DeleteTree(step.path, step.flags, nullptr, OrNull(step.stop), step.retryDelayMs);
    } else {
        WriteLogLine(LogLevel::Info, step.text);
    }
}

// Whether `path`, inside `within`, is reached through a folder link: `within` itself or
// a folder between it and `path` (a link at `path` itself is removed as a link).
bool PassesThroughLink(const std::string& within, const std::string& path)
{
    if (within.empty())
        return false;
    for (size_t at = within.size(); at != std::string::npos && at < path.size(); at = path.find('\\', at + 1)) {
        if (IsLinkedFolder(GetFileAttributesA(path.substr(0, at).c_str())))
            return true;
    }
    return false;
}

// The same below every profile folder; one linked profile keeps the step from all.
bool PassesThroughLinkInAnyProfile(const CleanupStep& step)
{
    if (step.within.empty())
        return false;
    std::vector<std::string> profiles;
    ListProfileFolders(profiles, nullptr, PU_INCLUDE_DEFAULT_USER);
    for (const std::string& profile : profiles) {
        if (!profile.empty() && PassesThroughLink(profile + "\\" + step.within, profile + "\\" + step.path))
            return true;
    }
    return false;
}

void CarryOut(const CleanupStep& step)
{
    // A channel's folder is deleted only where it lies: a link on the way (which a
    // hostile channels.ini cannot name, but a user can make) would lead elsewhere.
    if (step.kind == StepKind::DeleteTree && PassesThroughLink(step.within, step.path))
        return;
    if (step.kind == StepKind::DeleteTreeForAllUsers && PassesThroughLinkInAnyProfile(step))
        return;

    switch (step.kind) {
    case StepKind::Log:
        WriteLogLine(step.level, step.text);
        break;
    case StepKind::DeleteTree:
        DeleteTree(step.path, step.flags, OrNull(step.pattern), OrNull(step.stop), step.retryDelayMs);
        break;
    case StepKind::DeleteTreeForAllUsers:
        DeleteTreeForAllUsers(step.path.c_str(), step.flags, OrNull(step.pattern), OrNull(step.stop),
                              step.retryDelayMs, true);
        break;
    case StepKind::DeleteSection:
        SetConfigValueForAllUsers(step.path.c_str(), step.name.c_str(), nullptr, nullptr, false, 0);
        break;
    case StepKind::DeleteSessionKey:
        DeleteKeyFromAllUsers(step.path.c_str(), false, false);
        break;
    case StepKind::RemoveIndexEntry:
        ChannelIndexFile(step.path).Remove(step.name);
        break;
    case StepKind::DeleteStats:
        SetStatParam(step.name.c_str(), nullptr, nullptr, step.mode);
        break;
    case StepKind::RemoveFolderIfOnly:
        RemoveFolderIfOnly(step);
        break;
    }
}

}  // namespace

ChannelFolders SystemChannelFolders()
{
    ChannelFolders folders;
    folders.commonAppData = AppDataFolder(true);
    folders.appDataName = GetFileName(AppDataFolder(false));
    folders.commonRoot = folders.commonAppData + kProductRoot;
    folders.userRoot = folders.appDataName + kProductRoot;
    folders.commonStats = StatsFolder(true);
    folders.userStats = MakeProfileRelative(StatsFolder(false));
    return folders;
}

void CarryOutCleanup(const CleanupPlan& plan)
{
    for (const CleanupStep& step : plan.steps) {
        // One failing step (a registry exception in a hive) must not stop the others.
        try {
            CarryOut(step);
        } catch (...) {
        }
    }
}

LONG CleanupChannels(const char* cfgPath, const char* sectionPath, const char* productFolderName,
                     bool removeSections, const ChannelCleanupOptions& options)
{
    try {
        bool found = false;
        std::vector<ChannelRecord> previous;
        if (options.installMode)
            previous = ReadChannelRecords(options.cfgPath.c_str(), sectionPath, options.leaveStats, found);
        const std::vector<ChannelRecord> current = ReadChannelRecords(cfgPath, sectionPath, options.leaveStats, found);
        const ChannelSelection selection = SelectChannels(previous, current, options.installMode);
        const ChannelFolders folders = SystemChannelFolders();
        const ChannelIndexFile index(folders.commonRoot + "\\Channels\\channels.ini");
        const CleanupPlan plan =
            PlanCleanup(selection, folders, index, sectionPath, productFolderName, removeSections, options);
        CarryOutCleanup(plan);
        return plan.channelCount;
    } catch (...) {
        return 0;
    }
}

ChannelCleanupOptions CurrentCleanupOptions()
{
    const UninstallOptions& state = g_UninstallOptions;
    ChannelCleanupOptions options;
    options.installMode = state.installMode;
    options.leaveLogs = state.leaveLogs;
    options.leaveStats = state.leaveStats;
    options.noRestart = state.noRestart;
    options.cfgPath = state.cfgPath;
    return options;
}

KSINST_EXPORT(LONG) KSWDeleteChannelsFromCfg(const char* cfgPath, const char* sectionPath, const char* productFolderName)
{
    return CleanupChannels(cfgPath, sectionPath, productFolderName, true, CurrentCleanupOptions());
}
