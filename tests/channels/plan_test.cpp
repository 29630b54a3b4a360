// The decisions of channel cleanup, checked on paper: selection, location safety and
// the planned steps, without touching a disk.
#include "channels/channel_location.h"
#include "channels/cleanup_plan.h"
#include "channels/cleanup_selection.h"
#include "platform/delete_tree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

ChannelRecord Channel(const char* url, const char* section, const char* stats, bool uninstall = true,
                      bool external = false)
{
    ChannelRecord record;
    record.url = url;
    record.section = section;
    record.statsCacheId = stats;
    record.uninstall = uninstall;
    record.external = external;
    return record;
}

std::vector<std::string> LogTexts(const ChannelSelection& selection)
{
    std::vector<std::string> texts;
    for (const PlannedLogLine& line : selection.log)
        texts.push_back(line.text);
    return texts;
}

TEST(ChannelSelection, SharedCacheStaysOnlyWhenTheKeptChannelComesLater)
{
    // Plain removal: a kept channel erases only what an earlier channel selected.
    const ChannelSelection keptLater = SelectChannels(
        {}, {Channel("http://a", "A", "X"), Channel("http://b", "B", "X", false)}, false);
    EXPECT_TRUE(keptLater.statsCaches.empty());
    EXPECT_EQ(keptLater.removals, std::vector<std::string>({"http://a"}));
    EXPECT_EQ(LogTexts(keptLater), std::vector<std::string>({"Channel section A will be deleted"}));

    const ChannelSelection keptFirst = SelectChannels(
        {}, {Channel("http://b", "B", "X", true, true), Channel("http://a", "A", "X")}, false);
    EXPECT_EQ(keptFirst.statsCaches, std::set<std::string>({"X"}));
    EXPECT_EQ(keptFirst.sections, (std::map<std::string, std::string>{{"http://a", "A"}}));

    // Statistics identifiers are compared byte-wise; empty ones are carried along.
    const ChannelSelection cases = SelectChannels(
        {}, {Channel("u1", "S1", "x"), Channel("u2", "S2", "X", false), Channel("u3", "S3", "")}, false);
    EXPECT_EQ(cases.statsCaches, std::set<std::string>({"", "x"}));
    EXPECT_EQ(cases.removals, std::vector<std::string>({"u1", "u3"}));
}

TEST(ChannelSelection, UpgradeKeepsWhatTheNewConfigurationListsAgain)
{
    const std::vector<ChannelRecord> previous = {
        Channel("http://a", "OldA", "S1"),
        Channel("http://b", "OldB", "S2"),
        Channel("http://c", "OldC", "S3", true, true),  // external: never removed
        Channel("http://d", "OldD", ""),
    };
    const std::vector<ChannelRecord> current = {
        Channel("HTTP://A", "NewA", "S1"),
        Channel("http://d", "NewD", "S9", false),
        Channel("http://z", "NewZ", "S2"),  // new, not in the removal list: S2 stays selected
    };
    const ChannelSelection selection = SelectChannels(previous, current, true);
    EXPECT_EQ(selection.removals, std::vector<std::string>({"http://b"}));
    EXPECT_EQ(selection.statsCaches, std::set<std::string>({"S2"}));
    EXPECT_EQ(selection.sections, (std::map<std::string, std::string>{{"http://b", "OldB"}}));
    EXPECT_EQ(LogTexts(selection), std::vector<std::string>({
                                       "Content of old channel http://a might be deleted",
                                       "Stats cache ID S1 might be deleted",
                                       "Channel section OldA might be deleted",
                                       "Content of old channel http://b might be deleted",
                                       "Stats cache ID S2 might be deleted",
                                       "Channel section OldB might be deleted",
                                       "Content of old channel http://d might be deleted",
                                       "Channel section OldD might be deleted",
                                       "Content of old channel HTTP://A will not be deleted",
                                       "Stats cache ID S1 will not be deleted",
                                       "Channel section OldA will not be deleted",
                                       "Content of old channel http://d will not be deleted",
                                       "Stats cache ID S9 will not be deleted",
                                       "Channel section OldD will not be deleted",
                                   }));
    for (const PlannedLogLine& line : selection.log)
        EXPECT_EQ(line.level, LogLevel::Info);

    // Without install mode the previous configuration plays no part.
    EXPECT_EQ(SelectChannels(previous, {}, false).removals.size(), 0u);
}

TEST(ChannelLocation, OnlyNamesInsideTheChannelsFolderAreUsed)
{
    struct Row {
        const char* value;
        LocationVerdict verdict;
        const char* relative;
    } rows[] = {
        {"", LocationVerdict::Empty, ""},
        {"news", LocationVerdict::Usable, "news"},
        {"n", LocationVerdict::Usable, "n"},  // one character: relative
        {"news\\", LocationVerdict::Usable, "news"},
        {"group\\news", LocationVerdict::Usable, "group\\news"},
        {"D:\\Data\\news", LocationVerdict::Usable, "news"},
        {"C:\\Windows", LocationVerdict::Usable, "Windows"},  // absolute: last component only
        {"C:\\Windows\\System32\\", LocationVerdict::Usable, "System32"},
        {"..\\..\\Windows", LocationVerdict::Refused, ""},
        {"..", LocationVerdict::Refused, ""},
        {"news\\..\\..", LocationVerdict::Refused, ""},
        {"../../Windows", LocationVerdict::Refused, ""},
        {"news/..", LocationVerdict::Refused, ""},
        {"\\Windows", LocationVerdict::Refused, ""},
        {"\\\\server\\share", LocationVerdict::Refused, ""},
        {"/Windows", LocationVerdict::Refused, ""},
        {"\\", LocationVerdict::Refused, ""},
        {".", LocationVerdict::Refused, ""},
        {"...", LocationVerdict::Refused, ""},
        {". .", LocationVerdict::Refused, ""},
        {"a\\\\b", LocationVerdict::Refused, ""},
        {"C:", LocationVerdict::Refused, ""},
        {"C:\\", LocationVerdict::Refused, ""},
        {"D:\\Data\\..", LocationVerdict::Refused, ""},
        {"news:stream", LocationVerdict::Refused, ""},
        {"*", LocationVerdict::Refused, ""},
        {"ne?s", LocationVerdict::Refused, ""},
    };
    for (const Row& row : rows) {
        const ChannelLocation location = JudgeLocation(row.value);
        EXPECT_EQ(location.verdict, row.verdict) << row.value;
        EXPECT_EQ(location.relative, row.relative) << row.value;
    }
}

class FakeIndex : public ChannelIndexView {
public:
    FakeIndex(bool exists, std::map<std::string, std::string> locations)
        : exists_(exists), locations_(std::move(locations))
    {
    }
    bool Exists() const override { return exists_; }
    std::string Location(const std::string& url) const override
    {
        const auto it = locations_.find(url);
        return it == locations_.end() ? std::string() : it->second;
    }

private:
    bool exists_;
    std::map<std::string, std::string> locations_;
};

ChannelFolders Folders()
{
    ChannelFolders folders;
    folders.commonAppData = "C:\\PD";
    folders.appDataName = "AD";
    folders.commonRoot = "C:\\PD\\Velm\\VLUpdate\\Kestrel";
    folders.userRoot = "AD\\Velm\\VLUpdate\\Kestrel";
    folders.commonStats = "C:\\PD\\Velm\\vlny";
    folders.userStats = "AD\\Velm\\vlny";
    return folders;
}

// One line per step: kind, path, flags and the other fields that kind uses.
std::string Describe(const CleanupStep& step)
{
    char flags[16];
    std::snprintf(flags, sizeof(flags), "%#lx", static_cast<unsigned long>(step.flags));
    switch (step.kind) {
    case StepKind::Log:
        return std::string(step.level == LogLevel::Warning ? "WARN " : "INFO ") + step.text;
    case StepKind::DeleteTree:
    case StepKind::DeleteTreeForAllUsers:
        return std::string(step.kind == StepKind::DeleteTree ? "tree " : "users ") + step.path + " " + flags +
               (step.pattern.empty() ? "" : " pattern=" + step.pattern) +
               (step.stop.empty() ? "" : " stop=" + step.stop) +
               (step.within.empty() ? "" : " within=" + step.within) +
               (step.retryDelayMs == 500 ? "" : " delay!=500");
    case StepKind::DeleteSection:
        return "section " + step.path + " [" + step.name + "]";
    case StepKind::DeleteSessionKey:
        return "session " + step.path;
    case StepKind::RemoveIndexEntry:
        return "index " + step.path + " " + step.name;
    case StepKind::DeleteStats:
        return "stats " + step.name + " mode " + std::to_string(step.mode);
    case StepKind::RemoveFolderIfOnly:
        return "ifonly " + step.path + " " + step.name + " " + flags + " stop=" + step.stop + " else: " + step.text;
    }
    return "?";
}

std::vector<std::string> Describe(const CleanupPlan& plan)
{
    std::vector<std::string> lines;
    for (const CleanupStep& step : plan.steps)
        lines.push_back(Describe(step));
    return lines;
}

CleanupPlan Plan(const ChannelCleanupOptions& options, const char* product = "Prod", bool removeSections = true,
                 bool indexExists = true)
{
    std::vector<ChannelRecord> records = {Channel("http://a", "ChanA", "X")};
    const ChannelSelection selection =
        options.installMode ? SelectChannels(records, {}, true) : SelectChannels({}, records, false);
    const FakeIndex index(indexExists, {{"http://a", "news"}});
    return PlanCleanup(selection, Folders(), index, "Channels", product, removeSections, options);
}

bool Has(const CleanupPlan& plan, const std::string& line)
{
    for (const std::string& described : Describe(plan)) {
        if (described == line)
            return true;
    }
    return false;
}

TEST(CleanupPlan, PlainRemovalInOrder)
{
    const CleanupPlan plan = Plan(ChannelCleanupOptions());
    EXPECT_EQ(plan.channelCount, 1);
    const std::string user = "AD\\Velm\\VLUpdate\\Kestrel";
    const std::string common = "C:\\PD\\Velm\\VLUpdate\\Kestrel";
    std::vector<std::string> expected = {
        "INFO Channel section ChanA will be deleted",
        "section " + user + "\\Prod\\KSCommon.cfg [Channels\\ChanA]",
        "INFO Channel section ChanA is deleted from " + user + "\\Prod\\KSCommon.cfg",
        "tree " + common + "\\Channels\\news 0 within=" + common + "\\Channels",
        "users " + user + "\\Channels\\news 0 within=" + user + "\\Channels",
        "tree " + common + "\\Triggers\\news.trg 0 within=" + common + "\\Triggers",
        "session Software\\Velm\\VLUpdate\\Kestrel\\Settings\\Sessions\\http://a",
        "index " + common + "\\Channels\\channels.ini http://a",
        "INFO Folder news of old channel http://a is deleted",
        "tree " + common + "\\Triggers 0x1",
    };
    for (const char* mask : {"*.exc", "*.cfg", "*.ini", "*.xml", "*.log"}) {
        expected.push_back("users " + user + "\\Prod 0x22 pattern=" + mask);
        expected.push_back("tree " + common + "\\Prod 0x22 pattern=" + mask);
    }
    const std::vector<std::string> tail = {
        "INFO Deleting stats cache id X",
        "stats X mode 1",
        "tree C:\\PD\\Velm\\vlny 0x20 pattern=X*",
        "stats X mode 2",
        "users AD\\Velm\\vlny 0x20 pattern=X*",
        "ifonly C:\\PD\\Velm\\vlny counter.cfg 0x10 stop=C:\\PD else: "
        "vlny folder has content other than counter.cfg so it's not deleted",
        "users AD\\Velm\\vlny 0x11 stop=AD",
        "users " + user + "\\Prod\\DB 0x10",
        "users " + user + "\\Prod\\VTRX_Cache 0x10",
        "users " + user + "\\Prod 0x10",
        "tree " + common + "\\Prod 0x10",
        "ifonly " + common + "\\Channels channels.ini 0x10 stop=C:\\PD else: "
        "Channels folder has content other than channels.ini so it's not deleted",
        "users " + user + "\\Channels 0x11 stop=AD",
    };
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(Describe(plan), expected);
}

TEST(CleanupPlan, OptionsChangeFlagsAndMasks)
{
    const std::string user = "AD\\Velm\\VLUpdate\\Kestrel\\Prod";
    const std::string common = "C:\\PD\\Velm\\VLUpdate\\Kestrel\\Prod";

    // A trailing backslash names the same product folder.
    EXPECT_EQ(Describe(Plan(ChannelCleanupOptions(), "Prod\\")), Describe(Plan(ChannelCleanupOptions())));

    ChannelCleanupOptions upgrade;
    upgrade.installMode = true;
    const CleanupPlan upgradePlan = Plan(upgrade, "Prod", false);
    EXPECT_TRUE(Has(upgradePlan, "section " + user + "\\KSCommon.cfg [Channels\\ChanA]")) << "install mode removes sections";
    EXPECT_TRUE(Has(upgradePlan, "users " + user + " 0x22 pattern=*.exc"));
    EXPECT_FALSE(Has(upgradePlan, "users " + user + " 0x22 pattern=*.cfg"));
    EXPECT_FALSE(Has(upgradePlan, "tree " + common + " 0x22 pattern=*.xml"));
    EXPECT_TRUE(Has(upgradePlan, "tree " + common + " 0x22 pattern=*.log"));
    EXPECT_TRUE(Has(upgradePlan, "users " + user + " 0x11"));
    EXPECT_TRUE(Has(upgradePlan, "tree " + common + " 0x11"));

    ChannelCleanupOptions logs;
    logs.leaveLogs = true;
    const CleanupPlan logsPlan = Plan(logs, "Prod", false);
    EXPECT_FALSE(Has(logsPlan, "section " + user + "\\KSCommon.cfg [Channels\\ChanA]"));
    EXPECT_FALSE(Has(logsPlan, "users " + user + " 0x22 pattern=*.log"));
    EXPECT_TRUE(Has(logsPlan, "users " + user + " 0x22 pattern=*.cfg"));
    EXPECT_TRUE(Has(logsPlan, "users " + user + " 0x11")) << "the per-user product folder only when empty";
    EXPECT_TRUE(Has(logsPlan, "tree " + common + " 0x10"));

    ChannelCleanupOptions noRestart;
    noRestart.noRestart = true;
    const CleanupPlan noRestartPlan = Plan(noRestart);
    EXPECT_TRUE(Has(noRestartPlan, "tree C:\\PD\\Velm\\VLUpdate\\Kestrel\\Channels\\news 0x8 within="
                                   "C:\\PD\\Velm\\VLUpdate\\Kestrel\\Channels"));
    EXPECT_TRUE(Has(noRestartPlan, "users " + user + " 0x2a pattern=*.exc"));
    EXPECT_TRUE(Has(noRestartPlan, "users AD\\Velm\\vlny 0x19 stop=AD"));
    for (const CleanupStep& step : noRestartPlan.steps) {
        if (step.kind == StepKind::DeleteTree || step.kind == StepKind::DeleteTreeForAllUsers ||
            step.kind == StepKind::RemoveFolderIfOnly) {
            EXPECT_TRUE(step.flags & DT_NO_RESTART) << Describe(step);
        }
    }

    ChannelCleanupOptions stats;
    stats.leaveStats = true;
    // Leave-statistics acts through the records (no cache read): with none, no stats step.
    std::vector<ChannelRecord> records = {Channel("http://a", "ChanA", "")};
    const CleanupPlan statsPlan = PlanCleanup(SelectChannels({}, records, false), Folders(),
                                              FakeIndex(true, {}), "Channels", "Prod", true, stats);
    for (const CleanupStep& step : statsPlan.steps)
        EXPECT_NE(step.kind, StepKind::DeleteStats);
}

TEST(CleanupPlan, HostileAndMissingNamesDeleteNothingOfTheirOwn)
{
    // Without channels.ini nothing is counted and no channel folder is planned.
    const CleanupPlan noIndex = Plan(ChannelCleanupOptions(), "Prod", true, false);
    EXPECT_EQ(noIndex.channelCount, 0);
    EXPECT_EQ(noIndex.steps.size(), Plan(ChannelCleanupOptions()).steps.size() - 6) << "no channel's six steps";

    // A refused location: counted, a warning, nothing else for it; a missing one: counted only.
    const std::vector<ChannelRecord> records = {Channel("http://bad", "Bad", ""), Channel("http://none", "None", ""),
                                                Channel("http://twice", "T1", ""), Channel("HTTP://TWICE", "T2", "")};
    const FakeIndex index(true, {{"http://bad", "..\\..\\Windows"}, {"http://twice", "t"}, {"HTTP://TWICE", "t"}});
    const CleanupPlan plan = PlanCleanup(SelectChannels({}, records, false), Folders(), index, "Channels", "Prod",
                                         false, ChannelCleanupOptions());
    EXPECT_EQ(plan.channelCount, 4);
    int warnings = 0;
    int channelSteps = 0;
    for (const CleanupStep& step : plan.steps) {
        if (step.kind == StepKind::Log && step.level == LogLevel::Warning) {
            ++warnings;
            EXPECT_EQ(step.text, "Location ..\\..\\Windows of channel http://bad leaves the channels folder; "
                                 "nothing of it is deleted");
        }
        if (step.kind == StepKind::DeleteSessionKey || step.kind == StepKind::RemoveIndexEntry)
            ++channelSteps;
        EXPECT_EQ(step.path.find(".."), std::string::npos) << Describe(step);
        EXPECT_EQ(step.path.find("bad"), std::string::npos) << Describe(step);
    }
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(channelSteps, 2) << "a key removed once reads as empty the second time";

    // An empty or escaping product folder name would make the shared root the product folder.
    for (const char* product : {"", "..", "..\\Other", "\\"}) {
        const CleanupPlan unsafe = Plan(ChannelCleanupOptions(), product);
        for (const CleanupStep& step : unsafe.steps) {
            EXPECT_NE(step.path, "C:\\PD\\Velm\\VLUpdate\\Kestrel\\") << product;
            EXPECT_NE(step.path, "AD\\Velm\\VLUpdate\\Kestrel\\") << product;
            EXPECT_NE(step.kind, StepKind::DeleteSection) << product;
            EXPECT_EQ(step.path.find(".."), std::string::npos) << product;
        }
        EXPECT_TRUE(Has(unsafe, "INFO Folder news of old channel http://a is deleted")) << product;
    }

    // Statistics folders that fell back to the application-data folder are not emptied.
    ChannelFolders fallback = Folders();
    fallback.commonStats = "C:\\PD";
    fallback.userStats = "";
    const CleanupPlan fallbackPlan = PlanCleanup(SelectChannels({}, {Channel("u", "S", "X")}, false), fallback,
                                                 FakeIndex(true, {}), "Channels", "Prod", true, ChannelCleanupOptions());
    std::vector<std::string> statsLines;
    for (const std::string& line : Describe(fallbackPlan)) {
        if (line.find("stats") != std::string::npos || line.find("X*") != std::string::npos ||
            line.find("vlny") != std::string::npos || line.find("counter.cfg") != std::string::npos)
            statsLines.push_back(line);
    }
    EXPECT_EQ(statsLines, std::vector<std::string>({"INFO Deleting stats cache id X", "stats X mode 1"}));
}

}  // namespace
