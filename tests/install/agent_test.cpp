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

std::string Cfg(const std::string& productFolder, const char* agent, const char* multiUser, bool named = true)
{
    std::string text = "[General]\r\n Path = " + productFolder + "\r\n";
    if (*agent)
        text += std::string(" ModuleAgent = ") + agent + "\r\n";
    if (*multiUser)
        text += std::string(" MultiUser = ") + multiUser + "\r\n";
    if (named)
        text += " ObjectPrefix = " + ValueName() + "\r\n";
    return text + "[]\r\n";
}

// The Run value under `root`, or "<none>".
std::string RunValue(const CVRegKey& root, const std::string& name = ValueName())
{
    try {
        return root.Open(kRunKey, KEY_QUERY_VALUE).GetString(name.c_str(), "<none>");
    } catch (const CVException&) {
        return "<none>";
    }
}

void DeleteRunValue(HKEY root, const std::string& name = ValueName()) { SHDeleteValueA(root, kRunKey, name.c_str()); }

class Agent : public testing::Test {
protected:
    Agent() : module_("agent", "")
    {
        // No blank in the path: Wine quotes an unquoted program path with blanks itself,
        // which would hide whether the module quoted it.
        productFolder_ = module_.Folder().MakeFolder("Product");
        agentPath_ = productFolder_ + "\\agent.exe";
        CopyFileA(kstest::HelperPath().c_str(), agentPath_.c_str(), FALSE);
        runAgent_ = module_.Export<RunAgent>("KSWRunAgent");
        atStartup_ = module_.Export<AgentAtStartup>("KSWAgentAtStartup");
        DeleteRunValue(HKEY_CURRENT_USER);
        DeleteRunValue(HKEY_LOCAL_MACHINE);
    }
    ~Agent() override
    {
        DeleteRunValue(HKEY_CURRENT_USER);
        DeleteRunValue(HKEY_LOCAL_MACHINE);
        DeleteRunValue(HKEY_CURRENT_USER, "VLAgent");
    }
    void SetUp() override { ASSERT_TRUE(runAgent_ && atStartup_); }

    // What the stand-in agent received, once it has run.
    std::string Received()
    {
        const std::string text = kstest::WaitForFile(agentPath_ + ".cmdline");
        DeleteFileA((agentPath_ + ".cmdline").c_str());
        return text;
    }

    kstest::InstalledModule module_;
    std::string productFolder_;
    std::string agentPath_;
    RunAgent runAgent_ = nullptr;
    AgentAtStartup atStartup_ = nullptr;
};

TEST_F(Agent, StartsTheBarePathOrTheQuotedPathWithArguments)
{
    module_.WriteCfg(Cfg(productFolder_, "agent.exe", ""));
    const struct {
        const char* args;
        std::string expected;
    } rows[] = {
        {nullptr, agentPath_},
        {"", agentPath_},
        {"/x", "\"" + agentPath_ + "\" /x"},
        {"/startup \"a b\"", "\"" + agentPath_ + "\" /startup \"a b\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args ? row.args : "(null)");
        EXPECT_NE(runAgent_(row.args), 0);
        EXPECT_EQ(Received(), row.expected);
    }
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>()) << "launches are not logged";
}

TEST_F(Agent, NothingStartsWithoutAnAgentFile)
{
    const std::string rows[] = {
        Cfg(productFolder_, "missing.exe", ""),
        Cfg(productFolder_ + "\\gone", "agent.exe", ""),
        Cfg(productFolder_, "", ""),  // the product folder itself is no agent
    };
    for (const std::string& cfg : rows) {
        SCOPED_TRACE(cfg);
        module_.WriteCfg(cfg);
        SetLastError(0);
        EXPECT_EQ(runAgent_("/x"), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        SetLastError(0);
        EXPECT_EQ(atStartup_(1, 0, 0), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    DeleteFileA(module_.CfgPath().c_str());
    EXPECT_EQ(runAgent_("/x"), 0) << "no configuration";
    EXPECT_EQ(atStartup_(1, 0, 0), 0);
    EXPECT_EQ(atStartup_(0, 0, 0), 0);
    Sleep(200);
    EXPECT_FALSE(kstest::FileExists(agentPath_ + ".cmdline")) << "nothing was started";
    EXPECT_EQ(RunValue(CVRegKey::CurrentUser), "<none>");
    EXPECT_EQ(RunValue(CVRegKey::LocalMachine), "<none>");
}

TEST_F(Agent, RunValueGoesWhereTheInstallationKindSays)
{
    const std::string data = "\"" + agentPath_ + "\" /startup";
    const struct {
        const char* multiUser;
        LONG allUsers;
        const CVRegKey& written;
        const CVRegKey& untouched;
    } rows[] = {
        // A single-user installation writes the machine's value whatever the flags say.
        {"0", 1, CVRegKey::LocalMachine, CVRegKey::CurrentUser},
        {"0", 0, CVRegKey::LocalMachine, CVRegKey::CurrentUser},
        {"1", 0, CVRegKey::CurrentUser, CVRegKey::LocalMachine},
        {"", 0, CVRegKey::CurrentUser, CVRegKey::LocalMachine},  // multi-user by default
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("MultiUser=") + row.multiUser);
        module_.WriteCfg(Cfg(productFolder_, "agent.exe", row.multiUser));
        module_.Reload();
        atStartup_ = module_.Export<AgentAtStartup>("KSWAgentAtStartup");
        EXPECT_EQ(atStartup_(1, row.allUsers, 1), 1);
        EXPECT_EQ(RunValue(row.written), data);
        EXPECT_EQ(RunValue(row.untouched), "<none>");

        EXPECT_EQ(atStartup_(0, row.allUsers, 1), 1);
        EXPECT_EQ(RunValue(row.written), "<none>");
        EXPECT_EQ(atStartup_(0, row.allUsers, 1), 0) << "removing a value that is not there";
    }
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>());
}

TEST_F(Agent, InstallationKindAndNameAreFixedOnFirstUse)
{
    module_.WriteCfg(Cfg(productFolder_, "agent.exe", "0"));
    EXPECT_EQ(atStartup_(1, 0, 0), 1);
    module_.WriteCfg(Cfg(productFolder_, "agent.exe", "1", false));
    EXPECT_EQ(atStartup_(1, 0, 0), 1);
    EXPECT_EQ(RunValue(CVRegKey::CurrentUser), "<none>");
    EXPECT_EQ(RunValue(CVRegKey::CurrentUser, "VLAgent"), "<none>");
    EXPECT_EQ(RunValue(CVRegKey::LocalMachine), "\"" + agentPath_ + "\" /startup");

    // A new process (here: a new load) reads the configuration anew; without a product
    // name the value is called "VLAgent", with a warning.
    module_.Reload();
    atStartup_ = module_.Export<AgentAtStartup>("KSWAgentAtStartup");
    EXPECT_EQ(atStartup_(1, 0, 0), 1);
    EXPECT_EQ(RunValue(CVRegKey::CurrentUser, "VLAgent"), "\"" + agentPath_ + "\" /startup");
    EXPECT_EQ(atStartup_(0, 0, 0), 1);
    EXPECT_EQ(RunValue(CVRegKey::CurrentUser, "VLAgent"), "<none>");
    EXPECT_EQ(module_.LogEntries(),
              std::vector<std::string>{"WARNING CUtil::GetProductUniqueName() - Cannot get product name from the registry"});
}

}  // namespace
