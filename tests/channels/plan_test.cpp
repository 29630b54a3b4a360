// The decisions of channel cleanup, checked on paper: selection, location safety and
// the planned steps, without touching a disk.
#include "channels/channel_location.h"
#include "channels/cleanup_plan.h"
#include "channels/cleanup_selection.h"
#include "platform/delete_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

ChannelRecord Channel(const char* url, const char* section, const char* stats, bool uninstall = true,
                      bool external = false)
{
    return {url, section, stats, external, uninstall};
}

// The selection's log lines, all at INFO.
std::vector<std::string> LogTexts(const ChannelSelection& selection)
{
    std::vector<std::string> texts;
    for (const PlannedLogLine& line : selection.log)
        texts.push_back((line.level == LogLevel::Info ? "" : "(not INFO) ") + line.text);
    return texts;
}

TEST(ChannelSelection, KeptAndListedAgainChannelsKeepTheirCachesAndSections)
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

    // Upgrade: http://c is external: never removed; http://z is new, not in the removal list: S2 stays selected.
    const std::vector<ChannelRecord> previous = {Channel("http://a", "OldA", "S1"), Channel("http://b", "OldB", "S2"),
                                                 Channel("http://c", "OldC", "S3", true, true), Channel("http://d", "OldD", "")};
    const std::vector<ChannelRecord> current = {Channel("HTTP://A", "NewA", "S1"), Channel("http://d", "NewD", "S9", false),
                                                Channel("http://z", "NewZ", "S2")};
    const ChannelSelection selection = SelectChannels(previous, current, true);
    EXPECT_EQ(selection.removals, std::vector<std::string>({"http://b"}));
    EXPECT_EQ(selection.statsCaches, std::set<std::string>({"S2"}));
    EXPECT_EQ(selection.sections, (std::map<std::string, std::string>{{"http://b", "OldB"}}));
    EXPECT_EQ(LogTexts(selection), std::vector<std::string>({
        "Content of old channel http://a might be deleted", "Stats cache ID S1 might be deleted",
        "Channel section OldA might be deleted", "Content of old channel http://b might be deleted",
        "Stats cache ID S2 might be deleted", "Channel section OldB might be deleted",
        "Content of old channel http://d might be deleted", "Channel section OldD might be deleted",
        "Content of old channel HTTP://A will not be deleted", "Stats cache ID S1 will not be deleted",
        "Channel section OldA will not be deleted", "Content of old channel http://d will not be deleted",
        "Stats cache ID S9 will not be deleted", "Channel section OldD will not be deleted"}));
    // Without install mode the previous configuration plays no part.
    EXPECT_TRUE(SelectChannels(previous, {}, false).removals.empty());
}

TEST(ChannelLocation, OnlyNamesInsideTheChannelsFolderAreUsed)
{
    // Relative names as they are; of an absolute one only the last component.
    const std::pair<const char*, const char*> usable[] = {
        {"news", "news"}, {"n", "n"}, {"news\\", "news"}, {"group\\news", "group\\news"}, {"D:\\Data\\news", "news"},
        {"C:\\Windows", "Windows"}, {"C:\\Windows\\System32\\", "System32"}};
    for (const auto& row : usable) {
        const auto judged = JudgeLocation(row.first);
        EXPECT_TRUE(judged.verdict == LocationVerdict::Usable && judged.relative == row.second) << row.first;
    }
    EXPECT_EQ(JudgeLocation("").verdict, LocationVerdict::Empty);
    for (const char* value : {"..\\..\\Windows", "..", "news\\..\\..", "../../Windows", "news/..", "\\Windows",
                              "\\\\server\\share", "/Windows", "\\", ".", "...", ". .", "a\\\\b", "C:", "C:\\",
                              "D:\\Data\\..", "news:stream", "*", "ne?s"})
        EXPECT_TRUE(JudgeLocation(value).verdict == LocationVerdict::Refused && JudgeLocation(value).relative.empty())
            << value;
}

struct FakeIndex : ChannelIndexView {
    FakeIndex(bool exists, std::map<std::string, std::string> entries) : exists(exists), entries(entries) {}
    bool Exists() const override { return exists; }
    std::string Location(const std::string& url) const override { return entries.count(url) ? entries.at(url) : ""; }
    bool exists;
    std::map<std::string, std::string> entries;  // URL -> location
};

// Common application data, its name for the user, the common and the user's root, the
// common and the user's statistics folder.
const ChannelFolders kFolders = {"C:\\PD", "AD", "C:\\PD\\Velm\\VLUpdate\\Kestrel", "AD\\Velm\\VLUpdate\\Kestrel",
                                 "C:\\PD\\Velm\\vlny", "AD\\Velm\\vlny"};

std::string Field(const char* label, const std::string& value) { return value.empty() ? value : label + value; }

// One line per step: a log line as its level and text; any other step as its kind, path
// and flags, then each other field that is set.
std::string Describe(const CleanupStep& step)
{
    if (step.kind == StepKind::Log)
        return (step.level == LogLevel::Warning ? "WARN " : "INFO ") + step.text;
    static const char* const kKinds[] = {"", "tree", "users", "section", "session", "index", "stats", "ifonly"};
    char flags[16];
    std::snprintf(flags, sizeof(flags), "%#lx", static_cast<unsigned long>(step.flags));
    return kKinds[static_cast<int>(step.kind)] + (" " + step.path) + " " + flags + Field(" name=", step.name) +
           Field(" pattern=", step.pattern) + Field(" stop=", step.stop) + Field(" within=", step.within) +
           Field(" mode=", step.mode ? std::to_string(step.mode) : "") +
           (step.retryDelayMs == 500 ? "" : " delay!=500") + Field(" else: ", step.text);
}

// The description of each step of `plan` with a match of `pattern`, in order.
std::vector<std::string> Matching(const CleanupPlan& plan, const char* pattern = "")
{
    std::vector<std::string> lines;
    for (const CleanupStep& step : plan.steps) {
        if (std::regex_search(Describe(step), std::regex(pattern)))
            lines.push_back(Describe(step));
    }
    return lines;
}

// Plain removal of one channel, http://a in the folder "news" when there is an index.
CleanupPlan Plan(const ChannelCleanupOptions& options, const char* product = "Prod", bool indexExists = true)
{
    return PlanCleanup(SelectChannels({}, {Channel("http://a", "ChanA", "X")}, false), kFolders,
                       FakeIndex(indexExists, {{"http://a", "news"}}), "Channels", product, true, options);
}

const std::string kUser = "AD\\Velm\\VLUpdate\\Kestrel";
const std::string kCommon = "C:\\PD\\Velm\\VLUpdate\\Kestrel";

// What the plan does on disk is checked end to end (cleanup_test.cpp).
TEST(CleanupPlan, PlainRemovalInOrder)
{
    const CleanupPlan plan = Plan(ChannelCleanupOptions());
    EXPECT_EQ(plan.channelCount, 1);
    const std::vector<std::string> lines = Matching(plan);
    // The steps that depend on each other, in order: the location is read before the
    // index entry goes, files before their folders.
    const std::string inOrder[] = {
        "section " + kUser + "\\Prod\\KSCommon.cfg 0 name=Channels\\ChanA",
        "INFO Channel section ChanA is deleted from " + kUser + "\\Prod\\KSCommon.cfg",
        "tree " + kCommon + "\\Channels\\news 0 within=" + kCommon + "\\Channels",
        "users " + kUser + "\\Channels\\news 0 within=" + kUser + "\\Channels",
        "index " + kCommon + "\\Channels\\channels.ini 0 name=http://a",
        "tree " + kCommon + "\\Prod 0x22 pattern=*.log",
        "users AD\\Velm\\vlny 0x20 pattern=X*", "users " + kUser + "\\Prod\\DB 0x10", "tree " + kCommon + "\\Prod 0x10",
        "users " + kUser + "\\Channels 0x11 stop=AD"};
    auto at = lines.begin();
    for (const std::string& step : inOrder) {
        at = std::find(at, lines.end(), step);
        ASSERT_NE(at, lines.end()) << step;
    }
    EXPECT_EQ(lines.back(), inOrder[sizeof(inOrder) / sizeof(inOrder[0]) - 1]);
    EXPECT_EQ(Matching(plan, " pattern=\\*\\.").size(), 10u) << "five masks in both product folders";
    EXPECT_EQ(lines.size(), 33u);
    // A trailing backslash names the same product folder.
    EXPECT_EQ(Matching(Plan(ChannelCleanupOptions(), "Prod\\")), lines);

    // No step of a plan without restart scheduling may schedule anything.
    ChannelCleanupOptions noRestart;
    noRestart.noRestart = true;
    const CleanupPlan unscheduled = Plan(noRestart);
    EXPECT_EQ(unscheduled.steps.size(), 33u);
    for (const CleanupStep& step : unscheduled.steps) {
        if (step.kind == StepKind::DeleteTree || step.kind == StepKind::DeleteTreeForAllUsers ||
            step.kind == StepKind::RemoveFolderIfOnly) {
            EXPECT_TRUE(step.flags & DT_NO_RESTART) << Describe(step);
        }
    }
}

TEST(CleanupPlan, HostileAndMissingNamesDeleteNothingOfTheirOwn)
{
    // Without channels.ini nothing is counted and no channel folder is planned.
    const CleanupPlan noIndex = Plan(ChannelCleanupOptions(), "Prod", false);
    EXPECT_EQ(noIndex.channelCount, 0);
    EXPECT_EQ(noIndex.steps.size(), 33u - 6) << "no channel's six steps";

    // A refused location: counted, a warning, nothing else for it; a missing one: counted only.
    const std::vector<ChannelRecord> records = {Channel("http://bad", "Bad", ""), Channel("http://none", "None", ""),
                                                Channel("http://twice", "T1", ""), Channel("HTTP://TWICE", "T2", "")};
    const FakeIndex index(true, {{"http://bad", "..\\..\\Windows"}, {"http://twice", "t"}, {"HTTP://TWICE", "t"}});
    const CleanupPlan plan = PlanCleanup(SelectChannels({}, records, false), kFolders, index, "Channels", "Prod",
                                         false, ChannelCleanupOptions());
    EXPECT_EQ(plan.channelCount, 4);
    EXPECT_EQ(Matching(plan, "^WARN"),
              std::vector<std::string>({"WARN Location ..\\..\\Windows of channel http://bad leaves the channels "
                                        "folder; nothing of it is deleted"}));
    EXPECT_EQ(Matching(plan, "^(session|index) ").size(), 2u) << "a key removed once reads as empty the second time";
    for (const CleanupStep& step : plan.steps)
        EXPECT_TRUE(step.path.find("..") == std::string::npos && step.path.find("bad") == std::string::npos)
            << Describe(step);

    // An empty or escaping product folder name would make the shared root the product folder.
    for (const char* product : {"", "..", "..\\Other", "\\"}) {
        const CleanupPlan unsafe = Plan(ChannelCleanupOptions(), product);
        for (const CleanupStep& step : unsafe.steps)
            EXPECT_TRUE(step.path != kCommon + "\\" && step.path != kUser + "\\" &&
                        step.kind != StepKind::DeleteSection && step.path.find("..") == std::string::npos)
                << product << ": " << Describe(step);
        EXPECT_EQ(Matching(unsafe, "^INFO Folder news of old channel http://a is deleted$").size(), 1u) << product;
    }

    // Statistics folders that fell back to the application-data folder are not emptied;
    // leaving statistics (records without a cache) plans no statistics step at all.
    const ChannelFolders fallback = {"C:\\PD", "AD", "C:\\PD\\Velm\\VLUpdate\\Kestrel", "AD\\Velm\\VLUpdate\\Kestrel",
                                     "C:\\PD", ""};
    const ChannelSelection selection = SelectChannels({}, {Channel("u", "S", "X"), Channel("v", "T", "")}, false);
    const CleanupPlan stats =
        PlanCleanup(selection, fallback, FakeIndex(true, {}), "Channels", "Prod", true, ChannelCleanupOptions());
    EXPECT_EQ(Matching(stats, "stats|vlny|X\\*|counter\\.cfg"),
              std::vector<std::string>({"INFO Deleting stats cache id X", "stats  0 name=X mode=1"}));
}

}  // namespace
