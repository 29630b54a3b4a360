// Channel cleanup on a whole machine: channels.ini, channel folders in the common and
// every profile's root, trigger files, session keys in loaded users' hives, shared
// statistics caches and product files, built in the prefix and checked after the run.
#include "channels/channel_cleanup.h"
#include "machine_fixture.h"
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

// `base` + "\" + each of `names`.
std::vector<std::string> Below(const std::string& base, const std::vector<const char*>& names)
{
    std::vector<std::string> paths;
    for (const char* name : names)
        paths.push_back(base + "\\" + name);
    return paths;
}

// Whether each of `paths` (file or folder) exists as `exists` says.
void ExpectExisting(const std::vector<std::string>& paths, bool exists)
{
    for (const std::string& path : paths)
        EXPECT_EQ(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES, exists) << path;
}

void MakeFiles(const std::vector<std::string>& paths, const std::string& bytes = "x")
{
    for (const std::string& path : paths)
        kstest::MakeFile(path, bytes);
}

class ChannelCleanup : public testing::Test {
protected:
    std::string UserData(const std::string& profile) const { return profile + "\\" + machine_.AppDataName() + "\\Velm"; }
    std::string UserRoot(const std::string& profile) const { return UserData(profile) + "\\VLUpdate\\Kestrel"; }
    std::string UserStats(const std::string& profile) const { return UserData(profile) + "\\vlny"; }
    std::string Index() const { return root_ + "\\Channels\\channels.ini"; }
    std::string Location(const char* url) const
    {
        char buffer[MAX_PATH] = {};
        GetPrivateProfileStringA("location", url, "", buffer, MAX_PATH, Index().c_str());
        return buffer;
    }
    void SetLocation(const char* url, const std::string& location) const
    {
        WritePrivateProfileStringA("location", url, location.c_str(), Index().c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, Index().c_str());  // flush the cache
    }
    std::string Cfg(const std::string& text) const
    {
        kstest::MakeFile(machine_.Scratch() + "\\product.cfg", text);
        return machine_.Scratch() + "\\product.cfg";
    }
    LONG Cleanup(const std::string& text, const ChannelCleanupOptions& options = ChannelCleanupOptions(),
                 const char* product = "Prod", bool removeSections = true) const
    {
        return CleanupChannels(Cfg(text).c_str(), "Channels", product, removeSections, options);
    }

    // Channel folders, triggers and session keys for each channel (url, location), every
    // other kind of data once.
    void Build(const std::vector<std::pair<const char*, const char*>>& channels) const
    {
        for (const auto& channel : channels) {
            const std::string location = channel.second;
            const std::string folder = location.substr(location.rfind('\\') + 1);
            MakeFiles({root_ + "\\Channels\\" + folder + "\\item.txt", root_ + "\\Triggers\\" + folder + ".trg"});
            SetLocation(channel.first, location);
            for (const std::string& profile : machine_.Profiles())
                kstest::MakeFile(UserRoot(profile) + "\\Channels\\" + folder + "\\x.txt");
            for (const std::string& sid : machine_.LoadedSids())
                kstest::SetStringValue(HKEY_USERS, sid + kSessions + channel.first, "State", "1");
        }
        MakeFiles(Below(commonStats_, {"X1.dat", "X2.dat", "Y1.dat", "K1.dat", "counter.cfg"}));
        kstest::MakeFile(commonStats_ + "\\vluser.cfg", kStatsText);
        for (const std::string& profile : machine_.Profiles()) {
            kstest::MakeFile(UserStats(profile) + "\\vluser.cfg", kStatsText);
            kstest::MakeFile(UserRoot(profile) + "\\Prod\\KSCommon.cfg", kUserCfgText);
            MakeFiles(Below(UserStats(profile), {"X1.dat", "K1.dat"}));
            MakeFiles(Below(UserRoot(profile) + "\\Prod", {"a.exc", "b.cfg", "c.ini", "d.xml", "e.log", "keep.txt",
                                                          "DB\\db.dat", "VTRX_Cache\\c.dat"}));
        }
        MakeFiles(Below(root_ + "\\Prod", {"a.exc", "b.cfg", "c.ini", "d.xml", "e.log", "keep.txt", "sub\\f.log"}));
    }

    void ExpectSessions(const std::vector<const char*>& urls, bool exist) const
    {
        for (const char* url : urls)
            for (const std::string& sid : machine_.LoadedSids())
                EXPECT_EQ(kstest::RegKeyExists(HKEY_USERS, sid + kSessions + url), exist) << sid << " " << url;
    }

    kstest::MachineFixture machine_;
    const std::string root_ = machine_.CommonAppData() + "\\Velm\\VLUpdate\\Kestrel";
    const std::string commonStats_ = machine_.CommonAppData() + "\\Velm\\vlny";
};

TEST_F(ChannelCleanup, PlainRemovalThroughTheExport)
{
    Build({{"http://a", "newsA"}, {"http://b", "D:\\Data\\newsB"}, {"http://keep", "keepC"}});
    kstest::ModuleUnderTest module;
    auto deleteChannels = module.Export<LONG(WINAPI*)(const char*, const char*, const char*)>("KSWDeleteChannelsFromCfg");
    ASSERT_TRUE(deleteChannels);
    EXPECT_EQ(deleteChannels(Cfg(kThreeChannels).c_str(), "Channels", "Prod"), 2);

    // An absolute location names its last component.
    ExpectExisting({root_ + "\\Channels\\newsA", root_ + "\\Channels\\newsB", root_ + "\\Triggers\\newsA.trg",
                    root_ + "\\Triggers\\newsB.trg", root_ + "\\Prod"}, false);
    ExpectExisting({root_ + "\\Channels\\keepC\\item.txt", root_ + "\\Triggers\\keepC.trg"}, true);
    EXPECT_EQ(Location("http://a") + Location("http://b") + Location("http://keep"), "keepC");
    for (const std::string& profile : machine_.Profiles()) {
        ExpectExisting({UserRoot(profile) + "\\Channels\\newsA", UserRoot(profile) + "\\Channels\\newsB",
                        UserStats(profile) + "\\X1.dat", UserRoot(profile) + "\\Prod"}, false);
        ExpectExisting({UserRoot(profile) + "\\Channels\\keepC\\x.txt", UserStats(profile) + "\\K1.dat"}, true);
        EXPECT_EQ(kstest::ReadFile(UserStats(profile) + "\\vluser.cfg"), "[K]\r\n a = 1\r\n[]\r\n") << profile;
    }
    ExpectSessions({"http://a", "http://b"}, false);
    ExpectSessions({"http://keep"}, true);
    EXPECT_FALSE(kstest::RegKeyExists(HKEY_USERS, kstest::kLoggedOffSid)) << "no hive is left loaded";
    // Caches X (the default) and Y go; K, used by the kept channel, and counter.cfg stay.
    EXPECT_EQ(kstest::ReadFile(commonStats_ + "\\vluser.cfg"), "[K]\r\n a = 1\r\n[]\r\n");
    ExpectExisting(Below(commonStats_, {"X1.dat", "X2.dat", "Y1.dat"}), false);
    ExpectExisting(Below(commonStats_, {"K1.dat", "counter.cfg"}), true);
    EXPECT_TRUE(kstest::PendingDeletionsBelow(machine_.CommonAppData() + "\\Velm", false).empty());
}

TEST_F(ChannelCleanup, EverythingGoesWhenNothingIsShared)
{
    Build({{"http://a", "newsA"}, {"http://b", "newsB"}});
    // K is no channel's cache: the common statistics folder keeps K1.dat, then goes without it.
    EXPECT_EQ(Cleanup(kTwoChannels), 2);
    EXPECT_TRUE(kstest::FolderExists(commonStats_)) << "K1.dat is more than counter.cfg";
    EXPECT_FALSE(kstest::FolderExists(root_)) << "channels.ini alone does not keep the channels folder";
    for (const std::string& profile : machine_.Profiles()) {
        EXPECT_FALSE(kstest::FolderExists(UserRoot(profile))) << profile;
        EXPECT_TRUE(kstest::FolderExists(profile + "\\" + machine_.AppDataName())) << "the stop folder stays";
    }

    // The statistics folder goes when empty or holding counter.cfg alone, with its
    // emptied parents; any other single file keeps it.
    const std::string velm = machine_.CommonAppData() + "\\Velm";
    const struct {
        std::vector<const char*> files;
        bool stays;
    } rows[] = {{{"counter.cfg"}, false}, {{}, false}, {{"other.dat"}, true}, {{"counter.cfg", "Z9.dat"}, true}};
    for (const auto& row : rows) {
        machine_.Remove(velm);
        kstest::MakeFolders(commonStats_);
        MakeFiles(Below(commonStats_, row.files));
        EXPECT_EQ(Cleanup(kTwoChannels), 0);
        EXPECT_EQ(kstest::FolderExists(velm), row.stays) << row.files.size();
        ExpectExisting(Below(commonStats_, row.files), row.stays);
    }
    EXPECT_TRUE(kstest::FolderExists(machine_.CommonAppData()));
}

TEST_F(ChannelCleanup, UpgradeRemovesOnlyWhatTheNewConfigurationDropped)
{
    Build({{"http://a", "newsA"}, {"http://b", "newsB"}, {"http://old", "oldC"}});
    ChannelCleanupOptions options;
    options.installMode = true;
    options.cfgPath = machine_.Scratch() + "\\previous.cfg";
    kstest::MakeFile(options.cfgPath, "[Channels]\r\n DefaultStatsCacheId = X\r\n[ChanA]\r\n URL = http://a\r\n[]\r\n"
                                      "[ChanB]\r\n URL = http://b\r\n StatsCacheId = Y\r\n[]\r\n"
                                      "[ChanOld]\r\n URL = http://old\r\n StatsCacheId = K\r\n[]\r\n[]\r\n");
    EXPECT_EQ(Cleanup("[Channels]\r\n DefaultStatsCacheId = X\r\n[ChanA]\r\n URL = HTTP://A//\r\n[]\r\n"
                      "[ChanB]\r\n URL = http://b\\\r\n StatsCacheId = Y\r\n[]\r\n[]\r\n",
                      options, "Prod", false),
              1);

    ExpectExisting({root_ + "\\Channels\\oldC", commonStats_ + "\\K1.dat"}, false);
    ExpectExisting({root_ + "\\Channels\\newsA", root_ + "\\Channels\\newsB", commonStats_ + "\\X1.dat"}, true);
    EXPECT_EQ(Location("http://a") + "|" + Location("http://old"), "newsA|");
    ExpectSessions({"http://a"}, true);
    ExpectSessions({"http://old"}, false);
    EXPECT_EQ(kstest::ReadFile(commonStats_ + "\\vluser.cfg"), "[X]\r\n a = 1\r\n[]\r\n[Y]\r\n a = 1\r\n[]\r\n");

    // Only *.exc and *.log go from the product folders; subfolders are not filtered.
    for (const std::string& profile : machine_.Profiles()) {
        const std::string product = UserRoot(profile) + "\\Prod";
        ExpectExisting(Below(product, {"a.exc", "e.log", "DB", "VTRX_Cache"}), false);
        ExpectExisting(Below(product, {"b.cfg", "c.ini", "d.xml", "keep.txt"}), true);
        // The old channel's section leaves every profile's configuration but the default user's.
        EXPECT_EQ(kstest::ReadFile(product + "\\KSCommon.cfg"),
                  profile == machine_.Profiles().back() ? kUserCfgText
                                                        : "[Channels]\r\n [ChanA]\r\n  URL = http://a\r\n []\r\n[]\r\n")
            << profile;
    }
    ExpectExisting(Below(root_ + "\\Prod", {"a.exc", "e.log"}), false);
    ExpectExisting(Below(root_ + "\\Prod", {"b.cfg", "c.ini", "d.xml", "keep.txt", "sub\\f.log"}), true);
}

TEST_F(ChannelCleanup, LeaveLogsAndLeaveStatistics)
{
    Build({{"http://a", "newsA"}, {"http://b", "newsB"}, {"http://keep", "keepC"}});
    ChannelCleanupOptions options;
    options.leaveLogs = true;
    options.leaveStats = true;
    EXPECT_EQ(Cleanup(kThreeChannels, options), 2);
    for (const std::string& profile : machine_.Profiles()) {
        const std::string product = UserRoot(profile) + "\\Prod";
        // The per-user product folder goes only when empty.
        ExpectExisting({product + "\\e.log", product + "\\keep.txt", UserStats(profile) + "\\X1.dat"}, true);
        ExpectExisting({product + "\\b.cfg", product + "\\DB"}, false);
        EXPECT_EQ(kstest::ReadFile(UserStats(profile) + "\\vluser.cfg"), kStatsText);
    }
    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Prod")) << "the common product folder goes whole";
    EXPECT_EQ(kstest::ReadFile(commonStats_ + "\\vluser.cfg"), kStatsText);
    EXPECT_TRUE(kstest::FileExists(commonStats_ + "\\X1.dat"));
}

TEST_F(ChannelCleanup, FileInUseIsScheduledOrLeft)
{
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
        ExpectExisting({news + "\\busy.dat"}, true);
        machine_.Remove(root_);
    }
}

TEST_F(ChannelCleanup, HostileLocationsStayInsideTheChannelsFolders)
{
    const std::string windows = kstest::WindowsFolder(), system = kstest::SystemFolder();
    const std::string velm = machine_.CommonAppData() + "\\Velm";
    std::vector<std::string> canaries =
        Below(velm, {"VLUpdate\\Windows\\canary.txt", "VLUpdate\\Windows.trg", "VLUpdate\\canary.trg", "canary.txt"});
    for (const std::string& profile : machine_.Profiles())
        canaries.push_back(profile + "\\" + machine_.AppDataName() + "\\Velm\\VLUpdate\\Windows\\canary.txt");
    MakeFiles(canaries);
    MakeFiles(Below(root_ + "\\Channels", {"Windows\\inside.txt", "keepC\\item.txt"}));
    const size_t windowsCount = kstest::FolderNames(windows).size();
    const size_t systemCount = kstest::FolderNames(system).size();
    ASSERT_GT(systemCount, 10u);

    std::string cfg = "[Channels]\r\n";
    const std::pair<const char*, std::string> locations[] = {{"http://up", "..\\..\\Windows"}, {"http://sys", windows},
                                                             {"http://root", "\\Windows"}, {"http://slash", "../.."},
                                                             {"http://drive", "C:\\"}, {"http://dot", "."}};
    for (const auto& location : locations) {
        SetLocation(location.first, location.second);
        cfg += "[" + std::string(location.first).substr(7) + "]\r\n URL = " + location.first + "\r\n[]\r\n";
    }
    for (const std::string& sid : machine_.LoadedSids())
        kstest::SetStringValue(HKEY_USERS, sid + kSessions + "http://up", "State", "1");

    ChannelCleanupOptions options;
    options.noRestart = true;
    EXPECT_EQ(Cleanup(cfg + "[]\r\n", options, "..\\..", false), 6);

    ExpectExisting(canaries, true);
    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Channels\\Windows")) << "an absolute folder names one inside";
    EXPECT_TRUE(kstest::FileExists(root_ + "\\Channels\\keepC\\item.txt"));
    EXPECT_EQ(Location("http://up"), "..\\..\\Windows") << "nothing is changed for a refused location";
    ExpectSessions({"http://up"}, true);
    EXPECT_EQ(kstest::FolderNames(windows).size(), windowsCount);
    EXPECT_EQ(kstest::FolderNames(system).size(), systemCount);
}

}  // namespace
