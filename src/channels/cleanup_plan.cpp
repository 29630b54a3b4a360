#include "channels/cleanup_plan.h"

#include "channels/channel_location.h"
#include "channels/stats_locations.h"
#include "platform/delete_tree.h"
#include "text/format.h"
#include "text/string_ops.h"

namespace {

constexpr char kSessionsKey[] = "Software\\Velm\\VLUpdate\\Kestrel\\Settings\\Sessions";
constexpr char kUserCfgName[] = "KSCommon.cfg";
constexpr char kIndexName[] = "channels.ini";
constexpr char kCounterName[] = "counter.cfg";
constexpr DWORD kRetryDelayMs = 500;

class PlanBuilder {
public:
    explicit PlanBuilder(CleanupPlan& plan) : plan_(plan) {}

    void Log(LogLevel level, const std::string& text)
    {
        CleanupStep step;
        step.kind = StepKind::Log;
        step.level = level;
        step.text = text;
        plan_.steps.push_back(step);
    }
    void Info(const char* format, const std::string& first, const std::string& second = std::string())
    {
        std::string text;
        FormatString(text, format, first.c_str(), second.c_str());
        Log(LogLevel::Info, text);
    }
    void Delete(StepKind kind, const std::string& path, DWORD flags, const std::string& pattern = std::string(),
                const std::string& stop = std::string())
    {
        CleanupStep step;
        step.kind = kind;
        step.path = path;
        step.flags = flags;
        step.pattern = pattern;
        step.stop = stop;
        step.retryDelayMs = kRetryDelayMs;
        plan_.steps.push_back(step);
    }
    void Within(const std::string& folder) { plan_.steps.back().within = folder; }
    void Named(StepKind kind, const std::string& path, const std::string& name, DWORD mode = 0)
    {
        CleanupStep step;
        step.kind = kind;
        step.path = path;
        step.name = name;
        step.mode = mode;
        plan_.steps.push_back(step);
    }
    void RemoveFolderIfOnly(const std::string& folder, const char* file, DWORD flags, const std::string& stop,
                            const char* otherwise)
    {
        CleanupStep step;
        step.kind = StepKind::RemoveFolderIfOnly;
        step.path = folder;
        step.name = file;
        step.flags = flags;
        step.stop = stop;
        step.text = otherwise;
        plan_.steps.push_back(step);
    }

private:
    CleanupPlan& plan_;
};

// The product folder name without trailing separators; empty when it is unusable.
std::string ProductFolder(const char* name)
{
    std::string folder = name ? name : "";
    TrimRight(folder, "\\/");
    return IsContainedName(folder) ? folder : std::string();
}

}  // namespace

CleanupPlan PlanCleanup(const ChannelSelection& selection, const ChannelFolders& folders,
                        const ChannelIndexView& index, const char* sectionPath, const char* productFolderName,
                        bool removeSections, const ChannelCleanupOptions& options)
{
    CleanupPlan plan;
    PlanBuilder add(plan);
    for (const PlannedLogLine& line : selection.log)
        add.Log(line.level, line.text);

    const DWORD base = options.noRestart ? DT_NO_RESTART : 0;
    const std::string commonChannels = folders.commonRoot + "\\Channels";
    const std::string triggers = folders.commonRoot + "\\Triggers";
    const std::string indexFile = commonChannels + "\\" + kIndexName;
    const std::string userChannels = folders.userRoot + "\\Channels";
    // An empty or escaping product folder name would make the product folders the
    // shared root of every installation's data: those steps are left out.
    const std::string product = ProductFolder(productFolderName);
    const bool haveProduct = !product.empty();
    const std::string commonProduct = folders.commonRoot + "\\" + product;
    const std::string userProduct = folders.userRoot + "\\" + product;
    const std::string userCfg = userProduct + "\\" + kUserCfgName;

    if ((options.installMode || removeSections) && haveProduct) {
        const std::string parent = sectionPath && *sectionPath ? std::string(sectionPath) + "\\" : std::string();
        for (const auto& entry : selection.sections) {
            add.Named(StepKind::DeleteSection, userCfg, parent + entry.second);
            add.Info("Channel section %s is deleted from %s", entry.second, userCfg);
        }
    }

    if (index.Exists()) {
        std::vector<std::string> removedKeys;
        for (const std::string& url : selection.removals) {
            ++plan.channelCount;
            bool removedBefore = false;
            for (const std::string& key : removedKeys)
                removedBefore = removedBefore || lstrcmpiA(key.c_str(), url.c_str()) == 0;
            const std::string value = removedBefore ? std::string() : index.Location(url);
            const ChannelLocation location = JudgeLocation(value);
            if (location.verdict == LocationVerdict::Refused) {
                std::string text;
                FormatString(text, "Location %s of channel %s leaves the channels folder; nothing of it is deleted",
                             value.c_str(), url.c_str());
                add.Log(LogLevel::Warning, text);
                continue;
            }
            if (location.verdict == LocationVerdict::Empty)
                continue;
            add.Delete(StepKind::DeleteTree, commonChannels + "\\" + location.relative, base);
            add.Within(commonChannels);
            add.Delete(StepKind::DeleteTreeForAllUsers, userChannels + "\\" + location.relative, base);
            add.Within(userChannels);
            add.Delete(StepKind::DeleteTree, triggers + "\\" + location.relative + ".trg", base);
            add.Within(triggers);
            add.Named(StepKind::DeleteSessionKey, std::string(kSessionsKey) + "\\" + url, "");
            add.Named(StepKind::RemoveIndexEntry, indexFile, url);
            removedKeys.push_back(url);
            add.Info("Folder %s of old channel %s is deleted", location.relative, url);
        }
    }

    add.Delete(StepKind::DeleteTree, triggers, base | DT_ONLY_IF_EMPTY);

    if (haveProduct) {
        std::vector<const char*> masks = {"*.exc"};
        if (!options.installMode)
            masks.insert(masks.end(), {"*.cfg", "*.ini", "*.xml"});
        if (!options.leaveLogs)
            masks.push_back("*.log");
        const DWORD filesOnly = base | DT_SKIP_SUBFOLDERS | DT_ONLY_MATCHING;
        for (const char* mask : masks) {
            add.Delete(StepKind::DeleteTreeForAllUsers, userProduct, filesOnly, mask);
            add.Delete(StepKind::DeleteTree, commonProduct, filesOnly, mask);
        }
    }

    // A statistics folder that fell back to the application-data folder is not the
    // product's: its files and subfolders are never deleted.
    const bool ownCommonStats = IsOwnStatsFolder(folders.commonStats);
    const bool ownUserStats = IsOwnStatsFolder(folders.userStats);
    for (const std::string& cache : selection.statsCaches) {
        if (cache.empty())
            continue;
        add.Info("Deleting stats cache id %s", cache);
        add.Named(StepKind::DeleteStats, "", cache, 1);
        if (ownCommonStats)
            add.Delete(StepKind::DeleteTree, folders.commonStats, base | DT_ONLY_MATCHING, cache + "*");
        if (folders.userStats.empty())
            continue;
        add.Named(StepKind::DeleteStats, "", cache, 2);
        if (ownUserStats)
            add.Delete(StepKind::DeleteTreeForAllUsers, folders.userStats, base | DT_ONLY_MATCHING, cache + "*");
    }

    const DWORD parents = base | DT_REMOVE_EMPTY_PARENTS;
    if (ownCommonStats)
        add.RemoveFolderIfOnly(folders.commonStats, kCounterName, parents, folders.commonAppData,
                               "vlny folder has content other than counter.cfg so it's not deleted");
    if (ownUserStats)
        add.Delete(StepKind::DeleteTreeForAllUsers, folders.userStats, parents | DT_ONLY_IF_EMPTY, "",
                   folders.appDataName);
    if (haveProduct) {
        add.Delete(StepKind::DeleteTreeForAllUsers, userProduct + "\\DB", parents);
        add.Delete(StepKind::DeleteTreeForAllUsers, userProduct + "\\VTRX_Cache", parents);
        const bool keepUserProduct = options.installMode || options.leaveLogs;
        add.Delete(StepKind::DeleteTreeForAllUsers, userProduct, parents | (keepUserProduct ? DT_ONLY_IF_EMPTY : 0));
        add.Delete(StepKind::DeleteTree, commonProduct, parents | (options.installMode ? DT_ONLY_IF_EMPTY : 0));
    }
    add.RemoveFolderIfOnly(commonChannels, kIndexName, parents, folders.commonAppData,
                           "Channels folder has content other than channels.ini so it's not deleted");
    add.Delete(StepKind::DeleteTreeForAllUsers, userChannels, parents | DT_ONLY_IF_EMPTY, "", folders.appDataName);
    return plan;
}
