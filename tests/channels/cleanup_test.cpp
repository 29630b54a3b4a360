// Channel cleanup on a whole machine: channels.ini, channel folders in the common and
// every profile's root, trigger files, session keys in loaded users' hives, shared
// statistics caches and product files, built in the prefix and checked after the run.
#include "channels/channel_cleanup.h"
#include "machine_fixture.h"
#include "support/restart_lists.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char kSessions[] = "\\Software\\Velm\\VLUpdate\\Kestrel\\Settings\\Sessions\\";
constexpr char kStatsText[] = "[X]\r\n a = 1\r\n[]\r\n[Y]\r\n a = 1\r\n[]\r\n[K]\r\n a = 1\r\n[]\r\n";
constexpr char kUserCfgText[] =
    "[Channels]\r\n[ChanA]\r\n URL = http://a\r\n[]\r\n[ChanOld]\r\n URL = http://old\r\n[]\r\n[]\r\n";
const char* const kProductFiles[] = {"a.exc", "b.cfg", "c.ini", "d.xml", "e.log", "keep.txt"};

struct Channel {
    const char* url;
    const char* location;
};

class ChannelCleanup : public testing::Test {
protected:
    ChannelCleanup()
        : root_(machine_.CommonAppData() + "\\Velm\\VLUpdate\\Kestrel"),
          commonStats_(machine_.CommonAppData() + "\\Velm\\vlny")
    {
    }

    std::string UserRoot(const std::string& profile) const
    {
        return profile + "\\" + machine_.AppDataName() + "\\Velm\\VLUpdate\\Kestrel";
    }
    std::string UserStats(const std::string& profile) const
    {
        return profile + "\\" + machine_.AppDataName() + "\\Velm\\vlny";
    }
    std::string Index() const { return root_ + "\\Channels\\channels.ini"; }
    std::string Location(const char* url) const
    {
        char buffer[MAX_PATH] = {};
        GetPrivateProfileStringA("location", url, "", buffer, MAX_PATH, Index().c_str());
        return buffer;
    }
    std::string Cfg(const char* name, const std::string& text) const
    {
        const std::string path = machine_.Scratch() + "\\" + name;
        kstest::MakeFile(path, text);
        return path;
    }

    // Channel folders and triggers for each channel, every other kind of data once.
    void Build(const std::vector<Channel>& channels)
    {
        for (const Channel& channel : channels) {
            const std::string location = channel.location;
            const std::string folder = location.substr(location.rfind('\\') + 1);
            kstest::MakeFile(root_ + "\\Channels\\" + folder + "\\item.txt");
            WritePrivateProfileStringA("location", channel.url, channel.location, Index().c_str());
            kstest::MakeFile(root_ + "\\Triggers\\" + folder + ".trg");
            for (const std::string& profile : machine_.Profiles())
                kstest::MakeFile(UserRoot(profile) + "\\Channels\\" + folder + "\\x.txt");
            for (const std::string& sid : machine_.LoadedSids())
                kstest::SetStringValue(HKEY_USERS, sid + kSessions + channel.url, "State", "1");
        }
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, Index().c_str());  // flush the cache
        kstest::MakeFile(commonStats_ + "\\vluser.cfg", kStatsText);
        for (const char* file : {"X1.dat", "X2.dat", "Y1.dat", "K1.dat", "counter.cfg"})
            kstest::MakeFile(commonStats_ + "\\" + file);
        for (const std::string& profile : machine_.Profiles()) {
            kstest::MakeFile(UserStats(profile) + "\\vluser.cfg", kStatsText);
            kstest::MakeFile(UserStats(profile) + "\\X1.dat");
            kstest::MakeFile(UserStats(profile) + "\\K1.dat");
            for (const char* file : kProductFiles)
                kstest::MakeFile(UserRoot(profile) + "\\Prod\\" + file);
            kstest::MakeFile(UserRoot(profile) + "\\Prod\\KSCommon.cfg", kUserCfgText);
            kstest::MakeFile(UserRoot(profile) + "\\Prod\\DB\\db.dat");
            kstest::MakeFile(UserRoot(profile) + "\\Prod\\VTRX_Cache\\c.dat");
        }
        for (const char* file : kProductFiles)
            kstest::MakeFile(root_ + "\\Prod\\" + file);
        kstest::MakeFile(root_ + "\\Prod\\sub\\f.log");
    }

    bool SessionExists(const std::string& sid, const char* url) const
    {
        return kstest::RegKeyExists(HKEY_USERS, sid + kSessions + url);
    }

    kstest::MachineFixture machine_;
    const std::string root_;
    const std::string commonStats_;
};

const char kThreeChannels[] =
    "[Channels]\r\n DefaultStatsCacheId = X\r\n"
    "[ChanA]\r\n URL = http://a/\r\n[]\r\n"
    "[ChanB]\r\n URL = http://b\r\n StatsCacheId = Y\r\n[]\r\n"
    "[ChanKeep]\r\n URL = http://keep\r\n Uninstall = 0\r\n StatsCacheId = K\r\n[]\r\n[]\r\n";

TEST_F(ChannelCleanup, PlainRemovalThroughTheExport)
{
    Build({{"http://a", "newsA"}, {"http://b", "D:\\Data\\newsB"}, {"http://keep", "keepC"}});
    const std::string cfg = Cfg("product.cfg", kThreeChannels);
    kstest::ModuleUnderTest module;
    auto deleteChannels = module.Export<LONG(WINAPI*)(const char*, const char*, const char*)>("KSWDeleteChannelsFromCfg");
    ASSERT_TRUE(deleteChannels);
    EXPECT_EQ(deleteChannels(cfg.c_str(), "Channels", "Prod"), 2);

    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Channels\\newsA"));
    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Channels\\newsB")) << "absolute location: last component";
    EXPECT_TRUE(kstest::FileExists(root_ + "\\Channels\\keepC\\item.txt"));
    EXPECT_EQ(Location("http://a"), "");
    EXPECT_EQ(Location("http://b"), "");
    EXPECT_EQ(Location("http://keep"), "keepC");
    EXPECT_FALSE(kstest::FileExists(root_ + "\\Triggers\\newsA.trg"));
    EXPECT_FALSE(kstest::FileExists(root_ + "\\Triggers\\newsB.trg"));
    EXPECT_TRUE(kstest::FileExists(root_ + "\\Triggers\\keepC.trg"));
    for (const std::string& profile : machine_.Profiles()) {
        EXPECT_FALSE(kstest::FolderExists(UserRoot(profile) + "\\Channels\\newsA")) << profile;
        EXPECT_FALSE(kstest::FolderExists(UserRoot(profile) + "\\Channels\\newsB")) << profile;
        EXPECT_TRUE(kstest::FileExists(UserRoot(profile) + "\\Channels\\keepC\\x.txt")) << profile;
        EXPECT_EQ(kstest::ReadFile(UserStats(profile) + "\\vluser.cfg"), "[K]\r\n a = 1\r\n[]\r\n") << profile;
        EXPECT_FALSE(kstest::FileExists(UserStats(profile) + "\\X1.dat")) << profile;
        EXPECT_TRUE(kstest::FileExists(UserStats(profile) + "\\K1.dat")) << profile;
        EXPECT_FALSE(kstest::FolderExists(UserRoot(profile) + "\\Prod")) << profile;
    }
    for (const std::string& sid : machine_.LoadedSids()) {
        EXPECT_FALSE(SessionExists(sid, "http://a")) << sid;
        EXPECT_FALSE(SessionExists(sid, "http://b")) << sid;
        EXPECT_TRUE(SessionExists(sid, "http://keep")) << sid;
    }
    EXPECT_FALSE(kstest::RegKeyExists(HKEY_USERS, kstest::kLoggedOffSid)) << "no hive is left loaded";
    // Caches X (the default) and Y go; K, used by the kept channel, and counter.cfg stay.
    EXPECT_EQ(kstest::ReadFile(commonStats_ + "\\vluser.cfg"), "[K]\r\n a = 1\r\n[]\r\n");
    for (const char* gone : {"X1.dat", "X2.dat", "Y1.dat"})
        EXPECT_FALSE(kstest::FileExists(commonStats_ + "\\" + gone)) << gone;
    EXPECT_TRUE(kstest::FileExists(commonStats_ + "\\K1.dat"));
    EXPECT_TRUE(kstest::FileExists(commonStats_ + "\\counter.cfg"));
    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Prod"));
    EXPECT_TRUE(kstest::PendingDeletionsBelow(machine_.CommonAppData() + "\\Velm", false).empty());
}

TEST_F(ChannelCleanup, EverythingGoesWhenNothingIsShared)
{
    Build({{"http://a", "newsA"}, {"http://b", "newsB"}});
    kstest::MakeFile(commonStats_ + "\\Y1.dat");
    const std::string cfg = Cfg("product.cfg",
                                "[Channels]\r\n DefaultStatsCacheId = X\r\n[ChanA]\r\n URL = http://a\r\n[]\r\n"
                                "[ChanB]\r\n URL = http://b\r\n StatsCacheId = Y\r\n[]\r\n[]\r\n");
    // K is no channel's cache: the common statistics folder keeps K1.dat, then goes without it.
    EXPECT_EQ(CleanupChannels(cfg.c_str(), "Channels", "Prod", true, ChannelCleanupOptions()), 2);
    EXPECT_TRUE(kstest::FolderExists(commonStats_)) << "K1.dat is more than counter.cfg";
    EXPECT_FALSE(kstest::FolderExists(root_)) << "channels.ini alone does not keep the channels folder";
    EXPECT_TRUE(kstest::FolderExists(machine_.CommonAppData()));
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
        CreateDirectoryA(velm.c_str(), nullptr);
        CreateDirectoryA(commonStats_.c_str(), nullptr);
        for (const char* file : row.files)
            kstest::MakeFile(commonStats_ + "\\" + file);
        EXPECT_EQ(CleanupChannels(cfg.c_str(), "Channels", "Prod", true, ChannelCleanupOptions()), 0);
        EXPECT_EQ(kstest::FolderExists(commonStats_), row.stays) << row.files.size();
        EXPECT_EQ(kstest::FolderExists(velm), row.stays) << row.files.size();
        for (const char* file : row.files)
            EXPECT_EQ(kstest::FileExists(commonStats_ + "\\" + file), row.stays) << file;
    }
    EXPECT_TRUE(kstest::FolderExists(machine_.CommonAppData()));
}

TEST_F(ChannelCleanup, UpgradeRemovesOnlyWhatTheNewConfigurationDropped)
{
    Build({{"http://a", "newsA"}, {"http://b", "newsB"}, {"http://old", "oldC"}});
    const std::string previous = Cfg("previous.cfg",
                                     "[Channels]\r\n DefaultStatsCacheId = X\r\n[ChanA]\r\n URL = http://a\r\n[]\r\n"
                                     "[ChanB]\r\n URL = http://b\r\n StatsCacheId = Y\r\n[]\r\n"
                                     "[ChanOld]\r\n URL = http://old\r\n StatsCacheId = K\r\n[]\r\n[]\r\n");
    const std::string current = Cfg("current.cfg",
                                    "[Channels]\r\n DefaultStatsCacheId = X\r\n[ChanA]\r\n URL = HTTP://A//\r\n[]\r\n"
                                    "[ChanB]\r\n URL = http://b\\\r\n StatsCacheId = Y\r\n[]\r\n[]\r\n");
    ChannelCleanupOptions options;
    options.installMode = true;
    options.cfgPath = previous;
    EXPECT_EQ(CleanupChannels(current.c_str(), "Channels", "Prod", false, options), 1);

    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Channels\\oldC"));
    EXPECT_TRUE(kstest::FolderExists(root_ + "\\Channels\\newsA"));
    EXPECT_TRUE(kstest::FolderExists(root_ + "\\Channels\\newsB"));
    EXPECT_EQ(Location("http://a"), "newsA");
    EXPECT_EQ(Location("http://old"), "");
    for (const std::string& sid : machine_.LoadedSids()) {
        EXPECT_TRUE(SessionExists(sid, "http://a")) << sid;
        EXPECT_FALSE(SessionExists(sid, "http://old")) << sid;
    }
    EXPECT_EQ(kstest::ReadFile(commonStats_ + "\\vluser.cfg"), "[X]\r\n a = 1\r\n[]\r\n[Y]\r\n a = 1\r\n[]\r\n");
    EXPECT_FALSE(kstest::FileExists(commonStats_ + "\\K1.dat"));
    EXPECT_TRUE(kstest::FileExists(commonStats_ + "\\X1.dat"));

    const std::vector<std::pair<const char*, bool>> kept = {{"a.exc", false}, {"b.cfg", true}, {"c.ini", true},
                                                            {"d.xml", true},  {"e.log", false}, {"keep.txt", true}};
    std::vector<std::string> profiles = machine_.Profiles();
    const std::string defaultProfile = profiles.back();
    for (const std::string& profile : profiles) {
        const std::string product = UserRoot(profile) + "\\Prod";
        for (const auto& file : kept)
            EXPECT_EQ(kstest::FileExists(product + "\\" + file.first), file.second) << product << " " << file.first;
        EXPECT_FALSE(kstest::FolderExists(product + "\\DB"));
        EXPECT_FALSE(kstest::FolderExists(product + "\\VTRX_Cache"));
        // The old channel's section leaves every profile's configuration but the default user's.
        const std::string cfg = kstest::ReadFile(product + "\\KSCommon.cfg");
        if (profile == defaultProfile)
            EXPECT_EQ(cfg, kUserCfgText);
        else
            EXPECT_EQ(cfg, "[Channels]\r\n [ChanA]\r\n  URL = http://a\r\n []\r\n[]\r\n") << profile;
    }
    for (const auto& file : kept)
        EXPECT_EQ(kstest::FileExists(root_ + "\\Prod\\" + file.first), file.second) << file.first;
    EXPECT_TRUE(kstest::FileExists(root_ + "\\Prod\\sub\\f.log")) << "subfolders are not filtered";
}

TEST_F(ChannelCleanup, LeaveLogsAndLeaveStatistics)
{
    Build({{"http://a", "newsA"}, {"http://b", "newsB"}, {"http://keep", "keepC"}});
    const std::string cfg = Cfg("product.cfg", kThreeChannels);
    ChannelCleanupOptions options;
    options.leaveLogs = true;
    options.leaveStats = true;
    EXPECT_EQ(CleanupChannels(cfg.c_str(), "Channels", "Prod", true, options), 2);
    for (const std::string& profile : machine_.Profiles()) {
        const std::string product = UserRoot(profile) + "\\Prod";
        EXPECT_TRUE(kstest::FileExists(product + "\\e.log")) << profile;
        EXPECT_FALSE(kstest::FileExists(product + "\\b.cfg")) << profile;
        EXPECT_TRUE(kstest::FileExists(product + "\\keep.txt")) << "the folder goes only when empty";
        EXPECT_FALSE(kstest::FolderExists(product + "\\DB")) << profile;
        EXPECT_EQ(kstest::ReadFile(UserStats(profile) + "\\vluser.cfg"), kStatsText);
        EXPECT_TRUE(kstest::FileExists(UserStats(profile) + "\\X1.dat"));
    }
    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Prod")) << "the common product folder goes whole";
    EXPECT_EQ(kstest::ReadFile(commonStats_ + "\\vluser.cfg"), kStatsText);
    EXPECT_TRUE(kstest::FileExists(commonStats_ + "\\X1.dat"));
}

TEST_F(ChannelCleanup, FileInUseIsScheduledOrLeft)
{
    for (const bool noRestart : {false, true}) {
        Build({{"http://a", "newsA"}});
        const std::string busy = root_ + "\\Channels\\newsA\\busy.dat";
        kstest::MakeFile(busy);
        const std::string cfg = Cfg("product.cfg", "[Channels]\r\n[ChanA]\r\n URL = http://a\r\n[]\r\n[]\r\n");
        ChannelCleanupOptions options;
        options.noRestart = noRestart;
        {
            kstest::FileHolder holder(busy);
            ASSERT_TRUE(holder.Holding());
            EXPECT_EQ(CleanupChannels(cfg.c_str(), "Channels", "Prod", true, options), 1);
        }
        const std::vector<std::string> pending = kstest::PendingDeletionsBelow(root_ + "\\Channels\\newsA", true);
        EXPECT_TRUE(kstest::FileExists(busy)) << noRestart;
        EXPECT_FALSE(kstest::FileExists(root_ + "\\Channels\\newsA\\item.txt")) << noRestart;
        if (noRestart) {
            EXPECT_TRUE(pending.empty());
        } else {
            // The file first (the folder's own scheduling lists it again), the folder last.
            ASSERT_GE(pending.size(), 2u);
            EXPECT_EQ(_stricmp(pending.front().c_str(), busy.c_str()), 0) << pending.front();
            EXPECT_EQ(_stricmp(pending.back().c_str(), (root_ + "\\Channels\\newsA").c_str()), 0) << pending.back();
        }
        EXPECT_TRUE(kstest::FolderExists(root_ + "\\Channels")) << "the busy channel folder keeps it";
        machine_.Remove(root_);
    }
}

TEST_F(ChannelCleanup, HostileLocationsStayInsideTheChannelsFolders)
{
    const std::string windows = kstest::WindowsFolder(), system = kstest::SystemFolder();
    const std::string velm = machine_.CommonAppData() + "\\Velm\\VLUpdate";
    std::vector<std::string> canaries = {velm + "\\Windows\\canary.txt", velm + "\\Windows.trg",
                                         velm + "\\canary.trg", machine_.CommonAppData() + "\\Velm\\canary.txt"};
    for (const std::string& profile : machine_.Profiles())
        canaries.push_back(profile + "\\" + machine_.AppDataName() + "\\Velm\\VLUpdate\\Windows\\canary.txt");
    for (const std::string& canary : canaries)
        kstest::MakeFile(canary);
    kstest::MakeFile(root_ + "\\Channels\\Windows\\inside.txt");
    const size_t windowsCount = kstest::FolderNames(windows).size();
    const size_t systemCount = kstest::FolderNames(system).size();
    ASSERT_GT(systemCount, 10u);

    const std::string index = Index();
    kstest::MakeFile(root_ + "\\Channels\\keepC\\item.txt");
    WritePrivateProfileStringA("location", "http://up", "..\\..\\Windows", index.c_str());
    WritePrivateProfileStringA("location", "http://sys", windows.c_str(), index.c_str());
    WritePrivateProfileStringA("location", "http://root", "\\Windows", index.c_str());
    WritePrivateProfileStringA("location", "http://slash", "../..", index.c_str());
    WritePrivateProfileStringA("location", "http://drive", "C:\\", index.c_str());
    WritePrivateProfileStringA("location", "http://dot", ".", index.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, index.c_str());
    for (const std::string& sid : machine_.LoadedSids())
        kstest::SetStringValue(HKEY_USERS, sid + kSessions + "http://up", "State", "1");
    const std::string cfg = Cfg("product.cfg",
                                "[Channels]\r\n[A]\r\n URL = http://up\r\n[]\r\n[B]\r\n URL = http://sys\r\n[]\r\n"
                                "[C]\r\n URL = http://root\r\n[]\r\n[D]\r\n URL = http://slash\r\n[]\r\n"
                                "[E]\r\n URL = http://drive\r\n[]\r\n[F]\r\n URL = http://dot\r\n[]\r\n[]\r\n");

    ChannelCleanupOptions options;
    options.noRestart = true;
    EXPECT_EQ(CleanupChannels(cfg.c_str(), "Channels", "..\\..", false, options), 6);

    for (const std::string& canary : canaries)
        EXPECT_TRUE(kstest::FileExists(canary)) << canary;
    EXPECT_FALSE(kstest::FolderExists(root_ + "\\Channels\\Windows")) << "an absolute folder names one inside";
    EXPECT_TRUE(kstest::FileExists(root_ + "\\Channels\\keepC\\item.txt"));
    EXPECT_EQ(Location("http://up"), "..\\..\\Windows") << "nothing is changed for a refused location";
    for (const std::string& sid : machine_.LoadedSids())
        EXPECT_TRUE(SessionExists(sid, "http://up")) << sid;
    EXPECT_EQ(kstest::FolderNames(windows).size(), windowsCount);
    EXPECT_EQ(kstest::FolderNames(system).size(), systemCount);
}

}  // namespace
