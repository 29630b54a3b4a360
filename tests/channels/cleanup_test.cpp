// Channel cleanup on a whole machine: channels.ini, channel folders in the common and
// every profile's root, trigger files, session keys in loaded users' hives, shared
// statistics caches and product files, built in the prefix and checked after the run;
// and carrying out a plan through folder links.
#include "channels/channel_cleanup.h"
#include "machine_fixture.h"
#include "platform/linked_folder.h"
#include "support/restart_lists.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kSessions[] = "\\Software\\Velm\\VLUpdate\\Kestrel\\Settings\\Sessions\\";
constexpr char kStatsText[] = "[X]\r\n a = 1\r\n[]\r\n[Y]\r\n a = 1\r\n[]\r\n[K]\r\n a = 1\r\n[]\r\n";
constexpr char kUserCfgText[] =
    "[Channels]\r\n[ChanA]\r\n URL = http://a\r\n[]\r\n[ChanOld]\r\n URL = http://old\r\n[]\r\n[]\r\n";
constexpr char kThreeChannels[] =
    "[Channels]\r\n DefaultStatsCacheId = X\r\n"
    "[ChanA]\r\n URL = http://a/\r\n[]\r\n"
    "[ChanB]\r\n URL = http://b\r\n StatsCacheId = Y\r\n[]\r\n"
    "[ChanKeep]\r\n URL = http://keep\r\n Uninstall = 0\r\n StatsCacheId = K\r\n[]\r\n[]\r\n";
constexpr char kTwoChannels[] = "[Channels]\r\n DefaultStatsCacheId = X\r\n[ChanA]\r\n URL = http://a\r\n[]\r\n"
                                "[ChanB]\r\n URL = http://b\r\n StatsCacheId = Y\r\n[]\r\n[]\r\n";

// The files below `folder` and its empty folders (with a trailing "\"), relative to it,
// sorted, each followed by a blank.
std::string Tree(const std::string& folder, const std::string& prefix = "")
{
    const std::vector<std::string> names = kstest::FolderNames(folder + "\\" + prefix);
    std::string listing = names.empty() && !prefix.empty() ? prefix + " " : "";
    for (const std::string& name : names)
        listing += kstest::FolderExists(folder + "\\" + prefix + name) ? Tree(folder, prefix + name + "\\")
                                                                      : prefix + name + " ";
    return listing;
}

// Makes a file "x" for each of `names` below `base`.
void MakeFiles(const std::string& base, const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        kstest::MakeFile(base + "\\" + name);
}

class ChannelCleanup : public testing::Test {
protected:
    std::string UserData(const std::string& profile) const { return profile + "\\" + machine_.appDataName + "\\Velm"; }
    std::string UserRoot(const std::string& profile) const { return UserData(profile) + "\\VLUpdate\\Kestrel"; }
    std::string UserStats(const std::string& profile) const { return UserData(profile) + "\\vlny"; }
    std::string Index() const { return root_ + "\\Channels\\channels.ini"; }
    void SetLocation(const char* url, const std::string& location) const
    {
        WritePrivateProfileStringA("location", url, location.c_str(), Index().c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, Index().c_str());  // flush the cache
    }
    LONG Cleanup(const std::string& text, const ChannelCleanupOptions& options = ChannelCleanupOptions(),
                 const char* product = "Prod", bool removeSections = true) const
    {
        kstest::MakeFile(cfg_, text);
        return CleanupChannels(cfg_.c_str(), "Channels", product, removeSections, options);
    }

    // Channel folders, triggers and session keys for each channel (url, location), every
    // other kind of data once.
    void Build(const std::vector<std::pair<const char*, const char*>>& channels) const
    {
        for (const auto& channel : channels) {
            const std::string location = channel.second, folder = location.substr(location.rfind('\\') + 1);
            MakeFiles(root_, {"Channels\\" + folder + "\\item.txt", "Triggers\\" + folder + ".trg"});
            SetLocation(channel.first, location);
            for (const std::string& profile : machine_.profiles)
                kstest::MakeFile(UserRoot(profile) + "\\Channels\\" + folder + "\\x.txt");
            for (const std::string& sid : machine_.loadedSids)
                kstest::SetStringValue(HKEY_USERS, sid + kSessions + channel.first, "State", "1");
        }
        MakeFiles(commonStats_, {"X1.dat", "X2.dat", "Y1.dat", "K1.dat", "counter.cfg"});
        kstest::MakeFile(commonStats_ + "\\vluser.cfg", kStatsText);
        for (const std::string& profile : machine_.profiles) {
            kstest::MakeFile(UserStats(profile) + "\\vluser.cfg", kStatsText);
            kstest::MakeFile(UserRoot(profile) + "\\Prod\\KSCommon.cfg", kUserCfgText);
            MakeFiles(UserStats(profile), {"X1.dat", "K1.dat"});
            MakeFiles(UserRoot(profile) + "\\Prod", {"a.exc", "b.cfg", "c.ini", "d.xml", "e.log", "keep.txt",
                                                   "DB\\db.dat", "VTRX_Cache\\c.dat"});
        }
        MakeFiles(root_ + "\\Prod", {"a.exc", "b.cfg", "c.ini", "d.xml", "e.log", "keep.txt", "sub\\f.log"});
    }

    void ExpectSessions(const std::vector<const char*>& urls, bool exist) const
    {
        for (const char* url : urls)
            for (const std::string& sid : machine_.loadedSids)
                EXPECT_EQ(kstest::RegKeyExists(HKEY_USERS, sid + kSessions + url), exist) << sid << " " << url;
    }

    kstest::MachineFixture machine_;
    const std::string velm_ = machine_.commonAppData + "\\Velm";
    const std::string root_ = velm_ + "\\VLUpdate\\Kestrel", commonStats_ = velm_ + "\\vlny";
    const std::string cfg_ = machine_.scratch + "\\product.cfg";
};

TEST_F(ChannelCleanup, PlainRemovalThroughTheExportAndWithDataLeft)
{
    Build({{"http://a", "newsA"}, {"http://b", "D:\\Data\\newsB"}, {"http://keep", "keepC"}});
    kstest::ModuleUnderTest module;
    auto deleteChannels = module.Export<LONG(WINAPI*)(const char*, const char*, const char*)>("KSWDeleteChannelsFromCfg");
    ASSERT_TRUE(deleteChannels);
    kstest::MakeFile(cfg_, kThreeChannels);
    EXPECT_EQ(deleteChannels(cfg_.c_str(), "Channels", "Prod"), 2);

    // An absolute location names its last component. Caches X (the default) and Y go;
    // K, used by the kept channel, and counter.cfg stay.
    EXPECT_EQ(Tree(velm_), "VLUpdate\\Kestrel\\Channels\\channels.ini VLUpdate\\Kestrel\\Channels\\keepC\\item.txt "
                           "VLUpdate\\Kestrel\\Triggers\\keepC.trg vlny\\K1.dat vlny\\counter.cfg vlny\\vluser.cfg ");
    EXPECT_EQ(kstest::ReadFile(Index()), "[location]\r\nhttp://keep=keepC\r\n");
    EXPECT_EQ(kstest::ReadFile(commonStats_ + "\\vluser.cfg"), "[K]\r\n a = 1\r\n[]\r\n");
    for (const std::string& profile : machine_.profiles) {
        EXPECT_EQ(Tree(UserData(profile)), "VLUpdate\\Kestrel\\Channels\\keepC\\x.txt vlny\\K1.dat vlny\\vluser.cfg ");
        EXPECT_EQ(kstest::ReadFile(UserStats(profile) + "\\vluser.cfg"), "[K]\r\n a = 1\r\n[]\r\n") << profile;
    }
    ExpectSessions({"http://a", "http://b"}, false);
    ExpectSessions({"http://keep"}, true);
    EXPECT_FALSE(kstest::RegKeyExists(HKEY_USERS, kstest::kLoggedOffSid)) << "no hive is left loaded";
    EXPECT_TRUE(kstest::PendingDeletionsBelow(velm_, false).empty());

    // Leaving logs and statistics: the per-user product folder goes only when empty, the
    // common one whole.
    Build({{"http://a", "newsA"}, {"http://b", "newsB"}, {"http://keep", "keepC"}});
    ChannelCleanupOptions options;
    options.leaveLogs = options.leaveStats = true;
    EXPECT_EQ(Cleanup(kThreeChannels, options), 2);
    for (const std::string& profile : machine_.profiles) {
        EXPECT_EQ(Tree(UserRoot(profile) + "\\Prod"), "e.log keep.txt ") << profile;
        EXPECT_TRUE(kstest::FileExists(UserStats(profile) + "\\X1.dat")) << profile;
        EXPECT_EQ(kstest::ReadFile(UserStats(profile) + "\\vluser.cfg"), kStatsText);
    }
    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Prod"));
    EXPECT_EQ(kstest::ReadFile(commonStats_ + "\\vluser.cfg"), kStatsText);
    EXPECT_TRUE(kstest::FileExists(commonStats_ + "\\X1.dat"));
}

TEST_F(ChannelCleanup, EverythingGoesWhenNothingIsSharedOrInUse)
{
    Build({{"http://a", "newsA"}, {"http://b", "newsB"}});
    // K is no channel's cache: the common statistics folder keeps K1.dat, then goes without
    // it; channels.ini alone does not keep the channels folder.
    EXPECT_EQ(Cleanup(kTwoChannels), 2);
    EXPECT_EQ(Tree(velm_), "vlny\\K1.dat vlny\\counter.cfg vlny\\vluser.cfg ");
    for (const std::string& profile : machine_.profiles)
        EXPECT_EQ(Tree(UserData(profile)), "vlny\\K1.dat vlny\\vluser.cfg ") << profile;

    // The statistics folder goes when empty or holding counter.cfg alone, with its
    // emptied parents; any other single file keeps it.
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{"counter.cfg"}, ""}, {{}, ""}, {{"other.dat"}, "vlny\\other.dat "},
        {{"counter.cfg", "Z9.dat"}, "vlny\\Z9.dat vlny\\counter.cfg "}};
    for (const auto& row : rows) {
        machine_.Remove(velm_);
        kstest::MakeFolders(commonStats_);
        MakeFiles(commonStats_, row.first);
        EXPECT_EQ(Cleanup(kTwoChannels), 0);
        EXPECT_EQ(Tree(velm_), row.second);
    }
    EXPECT_TRUE(kstest::FolderExists(machine_.commonAppData));

    // A file in use is scheduled for deletion at restart, or left.
    const std::string news = root_ + "\\Channels\\newsA";
    for (const bool noRestart : {false, true}) {
        Build({{"http://a", "newsA"}});
        kstest::MakeFile(news + "\\busy.dat");
        ChannelCleanupOptions options;
        options.noRestart = noRestart;
        {
            kstest::FileHolder holder(news + "\\busy.dat");
            ASSERT_TRUE(holder.Holding());
            EXPECT_EQ(Cleanup("[Channels]\r\n[ChanA]\r\n URL = http://a\r\n[]\r\n[]\r\n", options), 1);
        }
        EXPECT_EQ(kstest::PendingDeletionsBelow(news, true).empty(), noRestart);
        EXPECT_TRUE(kstest::FileExists(news + "\\busy.dat"));
        machine_.Remove(root_);
    }
}

TEST_F(ChannelCleanup, UpgradeRemovesOnlyWhatTheNewConfigurationDropped)
{
    Build({{"http://a", "newsA"}, {"http://b", "newsB"}, {"http://old", "oldC"}});
    ChannelCleanupOptions options;
    options.installMode = true;
    options.cfgPath = machine_.scratch + "\\previous.cfg";
    kstest::MakeFile(options.cfgPath, "[Channels]\r\n DefaultStatsCacheId = X\r\n[ChanA]\r\n URL = http://a\r\n[]\r\n"
                                      "[ChanB]\r\n URL = http://b\r\n StatsCacheId = Y\r\n[]\r\n"
                                      "[ChanOld]\r\n URL = http://old\r\n StatsCacheId = K\r\n[]\r\n[]\r\n");
    EXPECT_EQ(Cleanup("[Channels]\r\n DefaultStatsCacheId = X\r\n[ChanA]\r\n URL = HTTP://A//\r\n[]\r\n"
                      "[ChanB]\r\n URL = http://b\\\r\n StatsCacheId = Y\r\n[]\r\n[]\r\n",
                      options, "Prod", false),
              1);

    EXPECT_EQ(Tree(root_ + "\\Channels"), "channels.ini newsA\\item.txt newsB\\item.txt ");
    EXPECT_EQ(Tree(commonStats_), "X1.dat X2.dat Y1.dat counter.cfg vluser.cfg ");
    EXPECT_EQ(kstest::ReadFile(Index()), "[location]\r\nhttp://a=newsA\r\nhttp://b=newsB\r\n");
    ExpectSessions({"http://a"}, true);
    ExpectSessions({"http://old"}, false);
    EXPECT_EQ(kstest::ReadFile(commonStats_ + "\\vluser.cfg"), "[X]\r\n a = 1\r\n[]\r\n[Y]\r\n a = 1\r\n[]\r\n");

    // Only *.exc and *.log go from the product folders; subfolders are not filtered.
    for (const std::string& profile : machine_.profiles) {
        const std::string product = UserRoot(profile) + "\\Prod";
        EXPECT_EQ(Tree(product), "KSCommon.cfg b.cfg c.ini d.xml keep.txt ") << profile;
        // The old channel's section leaves every profile's configuration but the default user's.
        EXPECT_EQ(kstest::ReadFile(product + "\\KSCommon.cfg"),
                  profile == machine_.profiles.back() ? kUserCfgText
                                                        : "[Channels]\r\n [ChanA]\r\n  URL = http://a\r\n []\r\n[]\r\n")
            << profile;
    }
    EXPECT_EQ(Tree(root_ + "\\Prod"), "b.cfg c.ini d.xml keep.txt sub\\f.log ");
}

TEST_F(ChannelCleanup, HostileLocationsStayInsideTheChannelsFolders)
{
    const std::string windows = kstest::WindowsFolder(), system = kstest::SystemFolder();
    std::vector<std::string> canaries = {velm_ + "\\VLUpdate\\Windows\\canary.txt", velm_ + "\\VLUpdate\\Windows.trg",
                                         velm_ + "\\VLUpdate\\canary.trg", velm_ + "\\canary.txt"};
    for (const std::string& profile : machine_.profiles)
        canaries.push_back(UserData(profile) + "\\VLUpdate\\Windows\\canary.txt");
    for (const std::string& canary : canaries)
        kstest::MakeFile(canary);
    MakeFiles(root_ + "\\Channels", {"Windows\\inside.txt", "keepC\\item.txt"});
    const std::vector<std::string> windowsNames = kstest::FolderNames(windows);
    const std::vector<std::string> systemNames = kstest::FolderNames(system);
    ASSERT_GT(systemNames.size(), 10u);

    std::string cfg = "[Channels]\r\n";
    const std::pair<const char*, std::string> locations[] = {{"http://up", "..\\..\\Windows"}, {"http://sys", windows},
                                                             {"http://root", "\\Windows"}, {"http://slash", "../.."},
                                                             {"http://drive", "C:\\"}, {"http://dot", "."}};
    for (const auto& location : locations) {
        SetLocation(location.first, location.second);
        cfg += "[" + std::string(location.first).substr(7) + "]\r\n URL = " + location.first + "\r\n[]\r\n";
    }
    for (const std::string& sid : machine_.loadedSids)
        kstest::SetStringValue(HKEY_USERS, sid + kSessions + "http://up", "State", "1");

    ChannelCleanupOptions options;
    options.noRestart = true;
    EXPECT_EQ(Cleanup(cfg + "[]\r\n", options, "..\\..", false), 6);

    for (const std::string& canary : canaries)
        EXPECT_TRUE(kstest::FileExists(canary)) << canary;
    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Channels\\Windows")) << "an absolute folder names one inside";
    EXPECT_TRUE(kstest::FileExists(root_ + "\\Channels\\keepC\\item.txt"));
    EXPECT_EQ(kstest::ReadFile(Index()), "[location]\r\nhttp://up=..\\..\\Windows\r\nhttp://root=\\Windows\r\n"
                                         "http://slash=../..\r\nhttp://drive=C:\\\r\nhttp://dot=.\r\n")
        << "nothing is changed for a refused location";
    ExpectSessions({"http://up"}, true);
    EXPECT_EQ(kstest::FolderNames(windows), windowsNames);
    EXPECT_EQ(kstest::FolderNames(system), systemNames);
}

// Carrying out a plan never follows a folder link to a channel's folder. The test run
// links C:\kstest\<program>\folder-links\tree\linked to ..\target from the host
// (tests/wine/folder_links.sh), since Wine cannot make links itself; this test runs apart
// from the machine-wide ones (CTest entry channels).
CleanupStep DeleteInside(const std::string& within, const std::string& path)
{
    CleanupStep step;
    step.kind = StepKind::DeleteTree, step.within = within, step.path = path, step.flags = 0x8;  // 0x8: never at restart
    return step;
}

TEST(ChannelLinks, ChannelFoldersAreNotReachedThroughALink)
{
    const std::string base = "C:\\kstest\\" + kstest::ExeTitle() + "\\folder-links", tree = base + "\\tree";
    ASSERT_TRUE(IsLinkedFolder(GetFileAttributesA((tree + "\\linked").c_str()))) << "made by folder_links.sh";
    for (const char* file : {"\\target\\news\\keep.txt", "\\target\\inner\\keep.txt", "\\tree\\plain\\news\\gone.txt"})
        kstest::MakeFile(base + file);

    CarryOutCleanup({{DeleteInside(tree, tree + "\\linked\\news"),                // a link on the way
                      DeleteInside(tree + "\\linked", tree + "\\linked\\inner"),  // the folder itself linked
                      DeleteInside(tree, tree + "\\plain\\news")}});              // no link: deleted

    EXPECT_TRUE(kstest::FileExists(base + "\\target\\news\\keep.txt"));
    EXPECT_TRUE(kstest::FileExists(base + "\\target\\inner\\keep.txt"));
    EXPECT_FALSE(kstest::FolderExists(tree + "\\plain\\news"));
    EXPECT_TRUE(kstest::FolderExists(tree + "\\plain"));
    for (const char* made : {"\\target\\news", "\\target\\inner", "\\tree\\plain"})
        kstest::RemoveTestTree(base + made);
}

}  // namespace
