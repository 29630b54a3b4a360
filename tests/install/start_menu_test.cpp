// The Start-menu group in the all-users Programs folder, with the fall-backs of the
// Programs folder's lookup. The test's groups are removed link by link afterwards.
#include "install/install_fixture.h"
#include "platform/reg_key.h"

#include <gtest/gtest.h>

namespace {

using CreateStartMenu = LONG(WINAPI*)(const char*, LONG);

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Where Wine keeps the Programs folders (the same in every version mode).
constexpr char kCommonPrograms[] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
constexpr char kUserPrograms[] = "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
constexpr char kWindowsPrograms[] = "C:\\windows\\Start Menu\\Programs";

// Removes the test's links from a group folder and the folder once it is empty; never
// anything else.
void RemoveGroup(const std::string& folder)
{
    for (const char* link : {"\\KSTest Agent.lnk", "\\Velm Help.lnk"})
        DeleteFileA((folder + link).c_str());
    RemoveDirectoryA(folder.c_str());
}

// A Shell Folders value taken away for one scope and put back afterwards.
class RemovedShellFolder {
public:
    RemovedShellFolder(const CVRegKey& root, const char* name) : root_(root), name_(name)
    {
        saved_ = root_.Open(kShellFolders, KEY_QUERY_VALUE).GetString(name_);
        root_.Open(kShellFolders, KEY_SET_VALUE).DeleteValue(name_);
    }
    ~RemovedShellFolder() { root_.Open(kShellFolders, KEY_SET_VALUE).SetString(name_, saved_.c_str()); }

private:
    const CVRegKey& root_;
    const char* name_;
    std::string saved_;
};

class StartMenu : public testing::Test {
protected:
    StartMenu() : module_("startmenu", "")
    {
        group_ = "KSTest Group " + kstest::ExeTitle();
        product_ = module_.Folder().MakeFolder("prod");
        module_.WriteCfg("[General]\r\n Path = " + product_ + "\r\n ModuleHelp = help.chm\r\n[]\r\n"
                         "[Install]\r\n [StartMenu]\r\n  Group = " + group_ + "\r\n"
                         "  [Agent]\r\n   Name = KSTest Agent\r\n   EnName = KSTest Agent\r\n   Module = agent.exe\r\n  []\r\n"
                         "  [Help]\r\n  []\r\n []\r\n[]\r\n");
        startMenu_ = module_.Export<CreateStartMenu>("KSWCreateStartMenu");
    }
    ~StartMenu() override
    {
        for (const char* programs : {kCommonPrograms, kUserPrograms, kWindowsPrograms}) {
            RemoveGroup(std::string(programs) + "\\" + group_);
            RemoveGroup(std::string(programs) + "\\Velm");
        }
        // Made by the last fall-back; Wine has no such folders of its own.
        RemoveDirectoryA(kWindowsPrograms);
        RemoveDirectoryA("C:\\windows\\Start Menu");
    }
    void SetUp() override { ASSERT_TRUE(startMenu_); }

    kstest::InstalledModule module_;
    std::string group_;
    std::string product_;
    CreateStartMenu startMenu_ = nullptr;
};

TEST_F(StartMenu, GroupInTheAllUsersProgramsFolder)
{
    const std::string folder = std::string(kCommonPrograms) + "\\" + group_;
    EXPECT_EQ(startMenu_("Velm", 0), 1);
    EXPECT_TRUE(kstest::FileExists(folder + "\\KSTest Agent.lnk"));
    EXPECT_TRUE(kstest::FileExists(folder + "\\Velm Help.lnk")) << "named with the caller's name as prefix";
    EXPECT_EQ(kstest::ReadFile(product_ + "\\KSCommon.cfg"), "") << "Start-menu shortcuts are not recorded";
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>());
    RemoveGroup(folder);

    // English names: the caller's name is the group.
    EXPECT_EQ(startMenu_("Velm", 1), 1);
    EXPECT_TRUE(kstest::FileExists(std::string(kCommonPrograms) + "\\Velm\\KSTest Agent.lnk"));
    EXPECT_FALSE(kstest::FolderExists(folder));
}

TEST_F(StartMenu, ProgramsFolderFallsBack)
{
    {
        RemovedShellFolder common(CVRegKey::LocalMachine, "Common Programs");
        EXPECT_EQ(startMenu_("Velm", 0), 1);
        {
            RemovedShellFolder user(CVRegKey::CurrentUser, "Programs");
            EXPECT_EQ(startMenu_("Velm", 0), 1);
        }
    }
    EXPECT_TRUE(kstest::FileExists(std::string(kUserPrograms) + "\\" + group_ + "\\Velm Help.lnk"));
    EXPECT_TRUE(kstest::FileExists(std::string(kWindowsPrograms) + "\\" + group_ + "\\Velm Help.lnk"));
    EXPECT_FALSE(kstest::FolderExists(std::string(kCommonPrograms) + "\\" + group_));
}

TEST_F(StartMenu, GroupNamesThatLeaveTheProgramsFolderAreRefused)
{
    // The uninstaller removes the group folder whole.
    for (const char* name : {"", "..", "..\\..", "a\\..\\..", "C:\\kstest", "\\", "a\\\\b"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(startMenu_(name, 1), 0);
    }
    EXPECT_EQ(startMenu_(nullptr, 1), 0);
    EXPECT_FALSE(kstest::FileExists(std::string(kCommonPrograms) + "\\KSTest Agent.lnk"));
    EXPECT_FALSE(kstest::FileExists("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\KSTest Agent.lnk"));

    DeleteFileA(module_.CfgPath().c_str());
    EXPECT_EQ(startMenu_("Velm", 1), 0) << "no configuration";
}

}  // namespace
