// The agent's Run value in every user's hive on a multi-user installation. The profile
// list gets users of its own here, so these tests run apart from the others (CTest
// entries install.users*). Under Wine a hive the module loads itself forgets what was
// written at its unload: writes are checked in hives that are present while the module
// runs, temporary loads by what they leave behind.
#include "install/install_fixture.h"
#include "platform/reg_key.h"
#include "platform/security.h"
#include "platform/system_version.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

namespace {

using AgentAtStartup = LONG(WINAPI*)(LONG, LONG, LONG);

constexpr char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kLoggedOn[] = "S-1-5-21-7101-7102-7103-1001";   // present under HKU
constexpr char kPreloaded[] = "S-1-5-21-7101-7102-7103-1002";  // hive loaded by the test
constexpr char kLoggedOff[] = "S-1-5-21-7101-7102-7103-1003";  // hive file only
constexpr char kLateUser[] = "S-1-5-21-7101-7102-7103-1004";   // present, never given the value

std::string ValueName() { return "KSTestAgent." + kstest::ExeTitle(); }

std::string RunValue(HKEY root, const std::string& user = "")
{
    return kstest::GetStringValue(root, user.empty() ? kRun : user + "\\" + kRun, ValueName().c_str(), "<none>");
}

class AgentUsers : public testing::Test {
protected:
    AgentUsers()
        : module_("agentusers", ""), hiveSource_("agenthive"), agentPath_(module_.Folder().MakeFolder("Product") + "\\agent.exe"),
          atStartup_(module_.Export<AgentAtStartup>("KSWAgentAtStartup"))
    {
        CopyFileA(kstest::HelperPath().c_str(), agentPath_.c_str(), FALSE);
        module_.WriteCfg("[General]\r\n Path = " + module_.Folder() / "Product" +
                         "\r\n ModuleAgent = agent.exe\r\n ObjectPrefix = " + ValueName() + "\r\n[]\r\n");
    }
    ~AgentUsers() override
    {
        RegUnLoadKeyA(HKEY_USERS, kPreloaded);
        for (const std::string& name : added_)
            kstest::RemoveProfileEntry(name);
        SHDeleteValueA(HKEY_CURRENT_USER, kRun, ValueName().c_str());
        SHDeleteValueA(HKEY_USERS, (std::string(".DEFAULT\\") + kRun).c_str(), ValueName().c_str());
    }
    void SetUp() override { ASSERT_TRUE(atStartup_); }

    // A profile of the running family's list, with a hive file made by the registry
    // itself when asked, and its Run key present when the user counts as logged on.
    std::string AddProfile(const char* name, bool withHive, bool loggedOn)
    {
        const std::string folder = module_.Folder().MakeFolder(name);
        if (withHive) {
            EXPECT_TRUE(SetPrivilege("SeBackupPrivilege"));
            const std::string hive = folder + (IsWindowsNT() ? "\\NTUser.dat" : "\\User.dat");
            CVRegKey::CurrentUser.Create((hiveSource_.Path() + "\\" + kRun).c_str(), KEY_ALL_ACCESS);
            EXPECT_EQ(RegSaveKeyA(CVRegKey::CurrentUser.Open(hiveSource_.Path().c_str(), KEY_ALL_ACCESS).Handle(),
                                  hive.c_str(), nullptr), 0);
        }
        kstest::AddProfileEntry(name, folder);
        added_.push_back(name);
        if (loggedOn)
            CVRegKey::Users.Create((std::string(name) + "\\" + kRun).c_str(), KEY_READ);
        return folder;
    }

    kstest::InstalledModule module_;
    kstest::TestRegKey hiveSource_;
    std::string agentPath_;
    std::vector<std::string> added_;
    AgentAtStartup atStartup_ = nullptr;
};

TEST_F(AgentUsers, EveryUsersHiveGetsTheValueAndLosesItAgain)
{
    const std::string data = "\"" + agentPath_ + "\" /startup";
    AddProfile(kLoggedOn, false, true);
    const std::string preloaded = AddProfile(kPreloaded, true, false);
    ASSERT_TRUE(SetPrivilege("SeRestorePrivilege"));
    ASSERT_EQ(RegLoadKeyA(HKEY_USERS, kPreloaded, (preloaded + (IsWindowsNT() ? "\\NTUser.dat" : "\\User.dat")).c_str()), 0);
    AddProfile(kLoggedOff, true, false);

    EXPECT_EQ(atStartup_(1, 1, 1), 1);
    EXPECT_EQ(RunValue(HKEY_USERS, kLoggedOn), data);
    EXPECT_EQ(RunValue(HKEY_USERS, kPreloaded), data) << "a loaded hive is written in place";
    EXPECT_FALSE(kstest::RegKeyExists(HKEY_USERS, kLoggedOff)) << "a hive the module loaded is unloaded again";
    // On the NT family the current user is one of the profiles; the 95/98/Me family has a default user.
    EXPECT_EQ(IsWindowsNT() ? RunValue(HKEY_CURRENT_USER) : RunValue(HKEY_USERS, ".DEFAULT"), data);
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), "<none>");

    // A user who never had the value is no error on removal.
    AddProfile(kLateUser, false, true);
    EXPECT_EQ(atStartup_(0, 1, 1), 1);
    EXPECT_EQ(RunValue(HKEY_USERS, kLoggedOn) + RunValue(HKEY_USERS, kPreloaded) + RunValue(HKEY_USERS, ".DEFAULT"),
              "<none><none><none>");
    EXPECT_FALSE(kstest::RegKeyExists(HKEY_USERS, kLoggedOff));
    EXPECT_EQ(atStartup_(0, 1, 0), 1) << "nobody has it any more";

    // Without the default user its hive is left alone.
    EXPECT_EQ(atStartup_(1, 1, 0), 1);
    EXPECT_EQ(RunValue(HKEY_USERS, kLoggedOn), data);
    EXPECT_EQ(RunValue(HKEY_USERS, ".DEFAULT"), "<none>");
}

}  // namespace
