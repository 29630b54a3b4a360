// Statistics values in the current user's, the common and every profile's vluser.cfg,
// against the machine's real data folders and a profile list with extra users.
#include "channels/stats_locations.h"
#include "machine_fixture.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using SetStat = DWORD(WINAPI*)(const char*, const char*, const char*, DWORD);

class Stats : public testing::Test {
protected:
    Stats() : set_(module_.Export<SetStat>("KSWSetStatParamString")) {}
    void SetUp() override { ASSERT_TRUE(set_); }

    std::string CommonFile() const { return machine_.CommonAppData() + "\\Velm\\vlny\\vluser.cfg"; }
    std::string UserFile() const { return machine_.UserAppData() + "\\Velm\\vlny\\vluser.cfg"; }
    // Where mode 2 writes in a profile folder: the profile-relative statistics file.
    std::string ProfileFile(const std::string& profile) const
    {
        return profile + "\\" + machine_.AppDataName() + "\\Velm\\vlny\\vluser.cfg";
    }

    kstest::MachineFixture machine_;
    kstest::ModuleUnderTest module_;
    SetStat set_;
};

TEST_F(Stats, EachModeWritesItsOwnFiles)
{
    EXPECT_EQ(set_("Cache", "Hits", "1", 0), 1u);
    EXPECT_EQ(kstest::ReadFile(UserFile()), "[Cache]\r\n Hits = 1\r\n[]\r\n");
    EXPECT_FALSE(kstest::FileExists(CommonFile())) << "mode 0 touches only the current user's file";

    EXPECT_EQ(set_("Cache", "Hits", "2", 1), 1u);
    EXPECT_EQ(kstest::ReadFile(CommonFile()), "[Cache]\r\n Hits = 2\r\n[]\r\n");
    EXPECT_EQ(kstest::ReadFile(UserFile()), "[Cache]\r\n Hits = 1\r\n[]\r\n");

    EXPECT_EQ(set_("Cache", "Hits", "3", 2), 1u);
    EXPECT_EQ(set_("Other", "Seen", "4", 2), 1u);
    for (const std::string& profile : machine_.Profiles()) {
        EXPECT_EQ(kstest::ReadFile(ProfileFile(profile)), "[Cache]\r\n Hits = 3\r\n[]\r\n[Other]\r\n Seen = 4\r\n[]\r\n")
            << profile;
    }
    EXPECT_EQ(kstest::ReadFile(CommonFile()), "[Cache]\r\n Hits = 2\r\n[]\r\n");

    // Mode 2 writes each profile's file by its path from the profile folder on.
    EXPECT_EQ(MakeProfileRelative(UserFile()), "Roaming\\Velm\\vlny\\vluser.cfg");

    // A null value deletes the key, a null key the section; an emptied file goes.
    EXPECT_EQ(set_("Other", "Seen", nullptr, 2), 1u);
    EXPECT_EQ(set_("Cache", nullptr, nullptr, 2), 1u);
    EXPECT_EQ(kstest::ReadFile(ProfileFile(machine_.Profiles()[1])), "[Other]\r\n[]\r\n");
    EXPECT_EQ(set_("Other", nullptr, nullptr, 2), 1u);
    for (const std::string& profile : machine_.Profiles())
        EXPECT_FALSE(kstest::FileExists(ProfileFile(profile))) << profile;
    EXPECT_TRUE(kstest::FolderExists(machine_.Profiles().back() + "\\" + machine_.AppDataName() + "\\Velm\\vlny"))
        << "the default user's folder was written and keeps its folder";

    // A null section deletes the whole file.
    EXPECT_EQ(set_("Second", "Key", "v", 1), 1u);
    EXPECT_EQ(set_(nullptr, nullptr, nullptr, 1), 1u);
    EXPECT_FALSE(kstest::FileExists(CommonFile()));
    EXPECT_EQ(set_("Cache", "Hits", nullptr, 0), 1u);
    EXPECT_EQ(kstest::ReadFile(UserFile()), "[Cache]\r\n[]\r\n") << "an empty section keeps the file";
    EXPECT_EQ(set_("Cache", nullptr, nullptr, 0), 1u);
    EXPECT_FALSE(kstest::FileExists(UserFile()));
}

TEST_F(Stats, UnknownModeTouchesNothing)
{
    for (DWORD mode : {3ul, 0xFFFFFFFFul})
        EXPECT_EQ(set_("Cache", "Hits", "1", mode), 0u) << mode;
    EXPECT_FALSE(kstest::FolderExists(machine_.CommonAppData() + "\\Velm"));
    EXPECT_FALSE(kstest::FolderExists(machine_.UserAppData() + "\\Velm"));
    for (const std::string& profile : machine_.Profiles())
        EXPECT_FALSE(kstest::FolderExists(profile + "\\" + machine_.AppDataName() + "\\Velm")) << profile;
}

TEST_F(Stats, FolderThatCannotBeCreatedFallsBackToApplicationData)
{
    // A file where the statistics folder belongs.
    kstest::MakeFile(machine_.CommonAppData() + "\\Velm\\vlny", "not a folder");
    EXPECT_EQ(set_("Cache", "Hits", "5", 1), 1u);
    EXPECT_EQ(kstest::ReadFile(machine_.CommonAppData() + "\\vluser.cfg"), "[Cache]\r\n Hits = 5\r\n[]\r\n");
    EXPECT_EQ(kstest::ReadFile(machine_.CommonAppData() + "\\Velm\\vlny"), "not a folder");

    // A missing folder is created on demand, by a lookup made only to delete.
    EXPECT_EQ(set_("Cache", nullptr, nullptr, 0), 1u);
    EXPECT_TRUE(kstest::FolderExists(machine_.UserAppData() + "\\Velm\\vlny"));
}

}  // namespace
