// Statistics values in the current user's, the common and every profile's vluser.cfg,
// against the machine's real data folders and a profile list with extra users.
#include "channels/stats_locations.h"
#include "machine_fixture.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Stats, EachModeWritesItsOwnFiles)
{
    kstest::MachineFixture machine;
    kstest::ModuleUnderTest module;
    const auto set =
        module.Export<DWORD(WINAPI*)(const char*, const char*, const char*, DWORD)>("KSWSetStatParamString");
    ASSERT_TRUE(set);
    const std::string commonVelm = machine.commonAppData + "\\Velm", userVelm = machine.userAppData + "\\Velm";
    const std::string commonFile = commonVelm + "\\vlny\\vluser.cfg", userFile = userVelm + "\\vlny\\vluser.cfg";
    // Where mode 2 writes in a profile folder: the profile-relative statistics file.
    std::vector<std::string> profileVelms;
    for (const std::string& profile : machine.profiles)
        profileVelms.push_back(profile + "\\" + machine.appDataName + "\\Velm");

    // An unknown mode touches nothing.
    for (DWORD mode : {3ul, 0xFFFFFFFFul})
        EXPECT_EQ(set("Cache", "Hits", "1", mode), 0u) << mode;
    for (const std::string& velm : profileVelms)
        EXPECT_FALSE(kstest::FolderExists(velm)) << velm;
    EXPECT_FALSE(kstest::FolderExists(commonVelm) || kstest::FolderExists(userVelm));

    // The current user's file and the common one ("" when missing).
    const auto userAndCommon = [&] { return kstest::ReadFile(userFile) + "|" + kstest::ReadFile(commonFile); };
    EXPECT_EQ(set("Cache", "Hits", "1", 0), 1u);
    EXPECT_EQ(userAndCommon(), "[Cache]\r\n Hits = 1\r\n[]\r\n|") << "mode 0 touches only the current user's file";
    EXPECT_EQ(set("Cache", "Hits", "2", 1), 1u);
    EXPECT_EQ(userAndCommon(), "[Cache]\r\n Hits = 1\r\n[]\r\n|[Cache]\r\n Hits = 2\r\n[]\r\n");

    EXPECT_EQ(set("Cache", "Hits", "3", 2), 1u);
    EXPECT_EQ(set("Other", "Seen", "4", 2), 1u);
    for (const std::string& velm : profileVelms)
        EXPECT_EQ(kstest::ReadFile(velm + "\\vlny\\vluser.cfg"),
                  "[Cache]\r\n Hits = 3\r\n[]\r\n[Other]\r\n Seen = 4\r\n[]\r\n")
            << velm;
    EXPECT_EQ(userAndCommon(), "[Cache]\r\n Hits = 1\r\n[]\r\n|[Cache]\r\n Hits = 2\r\n[]\r\n");

    // Mode 2 writes each profile's file by its path from the profile folder on.
    EXPECT_EQ(MakeProfileRelative(userFile), "Roaming\\Velm\\vlny\\vluser.cfg");

    // A null value deletes the key, a null key the section; an emptied file goes.
    EXPECT_EQ(set("Other", "Seen", nullptr, 2), 1u);
    EXPECT_EQ(set("Cache", nullptr, nullptr, 2), 1u);
    EXPECT_EQ(kstest::ReadFile(profileVelms[1] + "\\vlny\\vluser.cfg"), "[Other]\r\n[]\r\n");
    EXPECT_EQ(set("Other", nullptr, nullptr, 2), 1u);
    for (const std::string& velm : profileVelms)
        EXPECT_FALSE(kstest::FileExists(velm + "\\vlny\\vluser.cfg")) << velm;
    EXPECT_TRUE(kstest::FolderExists(profileVelms.back() + "\\vlny"))
        << "the default user's folder was written and keeps its folder";

    // A null section deletes the whole file.
    EXPECT_EQ(set("Second", "Key", "v", 1), 1u);
    EXPECT_EQ(set(nullptr, nullptr, nullptr, 1), 1u);
    EXPECT_EQ(set("Cache", "Hits", nullptr, 0), 1u);
    EXPECT_EQ(userAndCommon(), "[Cache]\r\n[]\r\n|") << "an empty section keeps the file";
    EXPECT_EQ(set("Cache", nullptr, nullptr, 0), 1u);
    EXPECT_FALSE(kstest::FileExists(userFile));

    // A statistics folder that cannot be created (a file where it belongs) falls back to
    // the application-data folder; a missing one is created by a lookup made only to delete.
    machine.Remove(commonVelm);
    machine.Remove(userVelm);
    kstest::MakeFile(commonVelm + "\\vlny", "not a folder");
    EXPECT_EQ(set("Cache", "Hits", "5", 1), 1u);
    EXPECT_EQ(kstest::ReadFile(machine.commonAppData + "\\vluser.cfg"), "[Cache]\r\n Hits = 5\r\n[]\r\n");
    EXPECT_EQ(kstest::ReadFile(commonVelm + "\\vlny"), "not a folder");
    EXPECT_EQ(set("Cache", nullptr, nullptr, 0), 1u);
    EXPECT_TRUE(kstest::FolderExists(userVelm + "\\vlny"));
}

}  // namespace
