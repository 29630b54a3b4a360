// The agent's launch and its Run values, with a copy of the helper program standing in
// for the agent: it writes the command line it received beside itself.
#include "install/install_fixture.h"
#include "platform/reg_key.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

namespace {

using RunAgent = LONG(WINAPI*)(const char*);
using AgentAtStartup = LONG(WINAPI*)(LONG, LONG, LONG);

constexpr char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Named after the program: the runs under other Windows versions share the Run keys.
std::string ValueName() { return "KSTestAgent." + kstest::ExeTitle(); }

// The Run value under `root` (or the user's key below it), or "<none>".
std::string RunValue(HKEY root, const std::string& user = "", const std::string& name = ValueName())
{
    return kstest::GetStringValue(root, user.empty() ? kRunKey : user + "\\" + kRunKey, name.c_str(), "<none>");
}

class Agent : public testing::Test {
protected:
    // No blank in the path: Wine quotes an unquoted program path with blanks itself,
    // which would hide whether the module quoted it.
    Agent() : module_("agent", ""), product_(module_.Folder().MakeFolder("Product")), agent_(product_ + "\\agent.exe")
    {
        CopyFileA(kstest::HelperPath().c_str(), agent_.c_str(), FALSE);
        Clean();
    }
    ~Agent() override { Clean(); }
    static void Clean()
    {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            SHDeleteValueA(root, kRunKey, ValueName().c_str());
        SHDeleteValueA(HKEY_CURRENT_USER, kRunKey, "VLAgent");
    }

    void WriteCfg(const std::string& folder, const std::string& agent, const std::string& multiUser, bool named = true)
    {
        module_.WriteCfg("[General]\r\n Path = " + folder + "\r\n" + (agent.empty() ? "" : " ModuleAgent = " + agent + "\r\n") +
                         (multiUser.empty() ? "" : " MultiUser = " + multiUser + "\r\n") +
                         (named ? " ObjectPrefix = " + ValueName() + "\r\n" : "") + "[]\r\n");
    }
    LONG Run(const char* args) { return module_.Export<RunAgent>("KSWRunAgent")(args); }
    LONG AtStartup(LONG add, LONG allUsers, LONG defaultUser)
    {
        return module_.Export<AgentAtStartup>("KSWAgentAtStartup")(add, allUsers, defaultUser);
    }

    kstest::InstalledModule module_;
    std::string product_;
    std::string agent_;
};

TEST_F(Agent, StartsTheBarePathOrTheQuotedPathWithArgumentsOfAnAgentFileOnly)
{
    WriteCfg(product_, "agent.exe", "");
    const std::pair<const char*, std::string> rows[] = {
        {nullptr, agent_}, {"", agent_}, {"/startup \"a b\"", "\"" + agent_ + "\" /startup \"a b\""}};
    for (const auto& row : rows) {
        EXPECT_NE(Run(row.first), 0);
        EXPECT_EQ(kstest::WaitForFile(agent_ + ".cmdline"), row.second) << "what the stand-in agent received";
        DeleteFileA((agent_ + ".cmdline").c_str());
    }
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>()) << "launches are not logged";

    const std::pair<std::string, const char*> missing[] = {
        {product_, "missing.exe"}, {product_ + "\\gone", "agent.exe"}, {product_, ""}};  // a folder is no agent
    for (const auto& row : missing) {
        SCOPED_TRACE(row.first + row.second);
        WriteCfg(row.first, row.second, "");
        SetLastError(0);
        EXPECT_EQ(Run("/x"), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        SetLastError(0);
        EXPECT_EQ(AtStartup(1, 0, 0), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    DeleteFileA(module_.CfgPath().c_str());
    EXPECT_EQ(Run("/x") + AtStartup(1, 0, 0) + AtStartup(0, 0, 0), 0) << "no configuration";
    Sleep(200);
    EXPECT_FALSE(kstest::FileExists(agent_ + ".cmdline")) << "nothing was started";
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER) + RunValue(HKEY_LOCAL_MACHINE), "<none><none>");
}

TEST_F(Agent, RunValueGoesWhereTheInstallationKindSays)
{
    const std::string data = "\"" + agent_ + "\" /startup";
    const struct { const char* multiUser; LONG allUsers; HKEY written, untouched; } rows[] = {
        {"1", 0, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE},
        {"", 0, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE},  // multi-user by default
        // A single-user installation writes the machine's value whatever the flags say.
        {"0", 1, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("MultiUser=") + row.multiUser);
        WriteCfg(product_, "agent.exe", row.multiUser);
        module_.Reload();
        EXPECT_EQ(AtStartup(1, row.allUsers, 1), 1);
        EXPECT_EQ(RunValue(row.written) + RunValue(row.untouched), data + "<none>");
        EXPECT_EQ(AtStartup(0, row.allUsers, 1), 1);
        EXPECT_EQ(RunValue(row.written), "<none>");
        EXPECT_EQ(AtStartup(0, row.allUsers, 1), 0) << "removing a value that is not there";
    }

    // The installation kind and the name are read once per process (here: per load);
    // without a product name the value is called "VLAgent", with a warning.
    WriteCfg(product_, "agent.exe", "1", false);
    EXPECT_EQ(AtStartup(1, 0, 0), 1);
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), data);
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER, "", "VLAgent") + RunValue(HKEY_CURRENT_USER), "<none><none>");
    module_.Reload();
    EXPECT_EQ(AtStartup(1, 0, 0), 1);
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER, "", "VLAgent"), data);
    EXPECT_EQ(AtStartup(0, 0, 0), 1);
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER, "", "VLAgent"), "<none>");
    EXPECT_EQ(module_.LogEntries(),
              std::vector<std::string>{"WARNING CUtil::GetProductUniqueName() - Cannot get product name from the registry"});
}

// The agent's Run value in every user's hive on a multi-user installation. The profile
// list gets users of its own here, so these tests run apart from the others (CTest
// entries install.users*). Under Wine a hive the module loads itself forgets what was
// written at its unload: writes are checked in hives that are present while the module
// runs, temporary loads by what they leave behind.
constexpr char kLoggedOn[] = "S-1-5-21-7101-7102-7103-1001";   // present under HKU
constexpr char kPreloaded[] = "S-1-5-21-7101-7102-7103-1002";  // hive loaded by the test
constexpr char kLoggedOff[] = "S-1-5-21-7101-7102-7103-1003";  // hive file only
constexpr char kLateUser[] = "S-1-5-21-7101-7102-7103-1004";   // present, never given the value
std::string HiveFile() { return kstest::NtFamily() ? "\\NTUser.dat" : "\\User.dat"; }

// Every profile entry and value the test may add goes again at the end, whatever happens.
struct AgentUsersCleanup {
    ~AgentUsersCleanup()
    {
        RegUnLoadKeyA(HKEY_USERS, kPreloaded);
        for (const char* sid : {kLoggedOn, kPreloaded, kLoggedOff, kLateUser})
            kstest::RemoveProfileEntry(sid);
        SHDeleteValueA(HKEY_CURRENT_USER, kRunKey, ValueName().c_str());
        SHDeleteValueA(HKEY_USERS, (std::string(".DEFAULT\\") + kRunKey).c_str(), ValueName().c_str());
    }
};

TEST(AgentUsers, EveryUsersHiveGetsTheValueAndLosesItAgain)
{
    kstest::InstalledModule module("agentusers", "");
    const kstest::TestRegKey hiveSource("agenthive");
    const AgentUsersCleanup cleanup;  // before the folder and the key go
    const std::string product = module.Folder().MakeFolder("Product"), data = "\"" + product + "\\agent.exe\" /startup";
    CopyFileA(kstest::HelperPath().c_str(), (product + "\\agent.exe").c_str(), FALSE);
    module.WriteCfg("[General]\r\n Path = " + product + "\r\n ModuleAgent = agent.exe\r\n ObjectPrefix = " + ValueName() +
                    "\r\n[]\r\n");
    const auto atStartup = module.Export<AgentAtStartup>("KSWAgentAtStartup");
    ASSERT_TRUE(atStartup);
    // A profile of the running family's list, with a hive file made by the registry
    // itself when asked, and its Run key present when the user counts as logged on.
    const auto addProfile = [&](const char* name, bool withHive, bool loggedOn) {
        const std::string folder = module.Folder().MakeFolder(name);
        if (withHive) {
            CVRegKey::CurrentUser.Create((hiveSource.Path() + "\\" + kRunKey).c_str(), KEY_ALL_ACCESS);
            EXPECT_TRUE(kstest::SaveHive(hiveSource.Path(), folder + HiveFile()));
        }
        kstest::AddProfileEntry(name, folder);
        if (loggedOn)
            CVRegKey::Users.Create((std::string(name) + "\\" + kRunKey).c_str(), KEY_READ);
        return folder;
    };
    addProfile(kLoggedOn, false, true);
    const std::string preloaded = addProfile(kPreloaded, true, false);
    ASSERT_TRUE(kstest::LoadHive(kPreloaded, preloaded + HiveFile()));
    addProfile(kLoggedOff, true, false);

    EXPECT_EQ(atStartup(1, 1, 1), 1);
    EXPECT_EQ(RunValue(HKEY_USERS, kLoggedOn), data);
    EXPECT_EQ(RunValue(HKEY_USERS, kPreloaded), data) << "a loaded hive is written in place";
    EXPECT_FALSE(kstest::RegKeyExists(HKEY_USERS, kLoggedOff)) << "a hive the module loaded is unloaded again";
    // On the NT family the current user is one of the profiles; the 95/98/Me family has a default user.
    EXPECT_EQ(kstest::NtFamily() ? RunValue(HKEY_CURRENT_USER) : RunValue(HKEY_USERS, ".DEFAULT"), data);
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), "<none>");

    // A user who never had the value is no error on removal.
    addProfile(kLateUser, false, true);
    EXPECT_EQ(atStartup(0, 1, 1), 1);
    EXPECT_EQ(RunValue(HKEY_USERS, kLoggedOn) + RunValue(HKEY_USERS, kPreloaded) + RunValue(HKEY_USERS, ".DEFAULT"),
              "<none><none><none>");
    EXPECT_FALSE(kstest::RegKeyExists(HKEY_USERS, kLoggedOff));
    EXPECT_EQ(atStartup(0, 1, 0), 1) << "nobody has it any more";

    // Without the default user its hive is left alone.
    EXPECT_EQ(atStartup(1, 1, 0), 1);
    EXPECT_EQ(RunValue(HKEY_USERS, kLoggedOn), data);
    EXPECT_EQ(RunValue(HKEY_USERS, ".DEFAULT"), "<none>");
}

}  // namespace
