// The Start-menu group in the all-users Programs folder, with the fall-backs of the
// Programs folder's lookup. The test's groups are removed link by link afterwards.
#include "install/install_fixture.h"

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
    LONG Create(const char* name, LONG english) const
    {
        return module_.Export<CreateStartMenu>("KSWCreateStartMenu")(name, english);
    }

    kstest::InstalledModule module_;
    std::string group_;
    std::string product_;
};

TEST_F(StartMenu, GroupInTheAllUsersProgramsFolderNeverOutside)
{
    // The links are named with the caller's name as prefix; with English names the
    // caller's name is the group.
    for (const LONG english : {0, 1}) {
        SCOPED_TRACE(english);
        EXPECT_EQ(Create("Velm", english), 1);
        const std::string folder = std::string(kCommonPrograms) + "\\" + (english ? "Velm" : group_);
        EXPECT_EQ(kstest::FolderNames(folder), (std::vector<std::string>{"KSTest Agent.lnk", "Velm Help.lnk"}));
        RemoveGroup(folder);
    }
    EXPECT_FALSE(kstest::FolderExists(std::string(kCommonPrograms) + "\\" + group_));
    EXPECT_EQ(kstest::ReadFile(product_ + "\\KSCommon.cfg"), "") << "Start-menu shortcuts are not recorded";
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>());

    // Group names that leave the Programs folder are refused: the uninstaller removes the
    // group folder whole.
    for (const char* name : {"", "..", "..\\..", "a\\..\\..", "C:\\kstest", "\\", "a\\\\b", static_cast<const char*>(nullptr)})
        EXPECT_EQ(Create(name, 1), 0) << (name ? name : "(null)");
    EXPECT_FALSE(kstest::FileExists(std::string(kCommonPrograms) + "\\KSTest Agent.lnk"));
    EXPECT_FALSE(kstest::FileExists("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\KSTest Agent.lnk"));
    DeleteFileA(module_.CfgPath().c_str());
    EXPECT_EQ(Create("Velm", 1), 0) << "no configuration";
}

TEST_F(StartMenu, ProgramsFolderFallsBack)
{
    // Without the all-users Programs folder the user's is taken, without that one the
    // Windows folder's (the values are put back afterwards).
    const std::string common = kstest::GetStringValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs");
    const std::string user = kstest::GetStringValue(HKEY_CURRENT_USER, kShellFolders, "Programs");
    kstest::DeleteValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs");
    EXPECT_EQ(Create("Velm", 0), 1);
    kstest::DeleteValue(HKEY_CURRENT_USER, kShellFolders, "Programs");
    EXPECT_EQ(Create("Velm", 0), 1);
    kstest::SetStringValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs", common);
    kstest::SetStringValue(HKEY_CURRENT_USER, kShellFolders, "Programs", user);
    EXPECT_TRUE(kstest::FileExists(std::string(kUserPrograms) + "\\" + group_ + "\\Velm Help.lnk"));
    EXPECT_TRUE(kstest::FileExists(std::string(kWindowsPrograms) + "\\" + group_ + "\\Velm Help.lnk"));
    EXPECT_FALSE(kstest::FolderExists(std::string(kCommonPrograms) + "\\" + group_));
}

}  // namespace
