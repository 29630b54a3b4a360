#include "channels/cleanup_plan.h"

#include "channels/channel_location.h"
#include "channels/stat_params.h"
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

// The places and flags every part of the plan works with.
struct PlanContext {
    PlanContext(const ChannelFolders& folders, const char* productFolderName, const ChannelCleanupOptions& options)
        : folders(folders),
          options(options),
          base(options.noRestart ? DT_NO_RESTART : 0),
          commonChannels(folders.commonRoot + "\\Channels"),
          triggers(folders.commonRoot + "\\Triggers"),
          userChannels(folders.userRoot + "\\Channels"),
          product(ProductFolder(productFolderName)),
          commonProduct(folders.commonRoot + "\\" + product),
          userProduct(folders.userRoot + "\\" + product)
    {
    }

    const ChannelFolders& folders;
    const ChannelCleanupOptions& options;
    const DWORD base;
    const std::string commonChannels;
    const std::string triggers;
    const std::string userChannels;
    // Empty when the name is empty or leaves its parent: the product folders would then
    // be the shared root of every installation's data, so those steps are left out.
    const std::string product;
    const std::string commonProduct;
    const std::string userProduct;
};

void PlanSections(PlanBuilder& add, const PlanContext& at, const ChannelSelection& selection,
                  const char* sectionPath)
{
    const std::string userCfg = at.userProduct + "\\" + kUserCfgName;
    const std::string parent = sectionPath && *sectionPath ? std::string(sectionPath) + "\\" : std::string();
    for (const auto& entry : selection.sections) {
        add.Named(StepKind::DeleteSection, userCfg, parent + entry.second);
        add.Info("Channel section %s is deleted from %s", entry.second, userCfg);
    }
}

// Returns the number of channels processed.
LONG PlanChannelFolders(PlanBuilder& add, const PlanContext& at, const ChannelSelection& selection,
                        const ChannelIndexView& index)
{
    LONG count = 0;
    std::vector<std::string> removedKeys;
    for (const std::string& url : selection.removals) {
        ++count;
        // A key removed for an earlier entry reads as empty, as the file would answer.
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
        add.Delete(StepKind::DeleteTree, at.commonChannels + "\\" + location.relative, at.base);
        add.Within(at.commonChannels);
        add.Delete(StepKind::DeleteTreeForAllUsers, at.userChannels + "\\" + location.relative, at.base);
        add.Within(at.userChannels);
        add.Delete(StepKind::DeleteTree, at.triggers + "\\" + location.relative + ".trg", at.base);
        add.Within(at.triggers);
        add.Named(StepKind::DeleteSessionKey, std::string(kSessionsKey) + "\\" + url, "");
        add.Named(StepKind::RemoveIndexEntry, at.commonChannels + "\\" + kIndexName, url);
        removedKeys.push_back(url);
        add.Info("Folder %s of old channel %s is deleted", location.relative, url);
    }
    return count;
}

void PlanProductFiles(PlanBuilder& add, const PlanContext& at)
{
    std::vector<const char*> masks = {"*.exc"};
    if (!at.options.installMode)
        masks.insert(masks.end(), {"*.cfg", "*.ini", "*.xml"});
    if (!at.options.leaveLogs)
        masks.push_back("*.log");
    const DWORD filesOnly = at.base | DT_SKIP_SUBFOLDERS | DT_ONLY_MATCHING;
    for (const char* mask : masks) {
        add.Delete(StepKind::DeleteTreeForAllUsers, at.userProduct, filesOnly, mask);
        add.Delete(StepKind::DeleteTree, at.commonProduct, filesOnly, mask);
    }
}

// A statistics folder that fell back to the application-data folder is not the
// product's: its files and subfolders are never deleted.
void PlanStatsCaches(PlanBuilder& add, const PlanContext& at, const ChannelSelection& selection)
{
    const ChannelFolders& folders = at.folders;
    for (const std::string& cache : selection.statsCaches) {
        if (cache.empty())
            continue;
        add.Info("Deleting stats cache id %s", cache);
        add.Named(StepKind::DeleteStats, "", cache, kStatsCommon);
        if (IsOwnStatsFolder(folders.commonStats))
            add.Delete(StepKind::DeleteTree, folders.commonStats, at.base | DT_ONLY_MATCHING, cache + "*");
        if (folders.userStats.empty())
            continue;
        add.Named(StepKind::DeleteStats, "", cache, kStatsAllUsers);
        if (IsOwnStatsFolder(folders.userStats))
            add.Delete(StepKind::DeleteTreeForAllUsers, folders.userStats, at.base | DT_ONLY_MATCHING, cache + "*");
    }
}

// The data folders, each with its emptied parents.
void PlanDataFolders(PlanBuilder& add, const PlanContext& at)
{
    const ChannelFolders& folders = at.folders;
    const DWORD parents = at.base | DT_REMOVE_EMPTY_PARENTS;
    if (IsOwnStatsFolder(folders.commonStats))
        add.RemoveFolderIfOnly(folders.commonStats, kCounterName, parents, folders.commonAppData,
                               "vlny folder has content other than counter.cfg so it's not deleted");
    if (IsOwnStatsFolder(folders.userStats))
        add.Delete(StepKind::DeleteTreeForAllUsers, folders.userStats, parents | DT_ONLY_IF_EMPTY, "",
                   folders.appDataName);
    if (!at.product.empty()) {
        add.Delete(StepKind::DeleteTreeForAllUsers, at.userProduct + "\\DB", parents);
        add.Delete(StepKind::DeleteTreeForAllUsers, at.userProduct + "\\VTRX_Cache", parents);
        const bool keepUserProduct = at.options.installMode || at.options.leaveLogs;
        add.Delete(StepKind::DeleteTreeForAllUsers, at.userProduct,
                   parents | (keepUserProduct ? DT_ONLY_IF_EMPTY : 0));
        add.Delete(StepKind::DeleteTree, at.commonProduct, parents | (at.options.installMode ? DT_ONLY_IF_EMPTY : 0));
    }
    add.RemoveFolderIfOnly(at.commonChannels, kIndexName, parents, folders.commonAppData,
                           "Channels folder has content other than channels.ini so it's not deleted");
    add.Delete(StepKind::DeleteTreeForAllUsers, at.userChannels, parents | DT_ONLY_IF_EMPTY, "", folders.appDataName);
}

}  // namespace

CleanupPlan PlanCleanup(const ChannelSelection& selection, const ChannelFolders& folders,
                        const ChannelIndexView& index, const char* sectionPath, const char* productFolderName,
                        bool removeSections, const ChannelCleanupOptions& options)
{
    CleanupPlan plan;
    PlanBuilder add(plan);
    const PlanContext at(folders, productFolderName, options);
    for (const PlannedLogLine& line : selection.log)
        add.Log(line.level, line.text);
    if ((options.installMode || removeSections) && !at.product.empty())
        PlanSections(add, at, selection, sectionPath);
    if (index.Exists())
        plan.channelCount = PlanChannelFolders(add, at, selection, index);
    add.Delete(StepKind::DeleteTree, at.triggers, at.base | DT_ONLY_IF_EMPTY);
    if (!at.product.empty())
        PlanProductFiles(add, at);
    PlanStatsCaches(add, at, selection);
    PlanDataFolders(add, at);
    return plan;
}
