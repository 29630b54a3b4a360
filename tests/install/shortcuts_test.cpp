// Shortcuts and the Start-menu group made through the export table, read back through the
// shell's own link object: target, arguments, working folder and icon as the
// configuration described them.
#include "install/com_objects.h"
#include "install/install_fixture.h"

#include <shlobj.h>

#include <gtest/gtest.h>

namespace {

using CreateShortcuts = LONG(WINAPI*)(const char*, const char*, const char*, LONG, LONG);

// The link file as the shell reads it back: "target|arguments|folder|icon,index".
std::string ReadLink(const std::string& path)
{
    ComApartment com;
    ComPtr<IShellLinkA> link;
    ComPtr<IPersistFile> file;
    WCHAR wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Receive())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.Receive())) || FAILED(file->Load(wide, STGM_READ)))
        return "<none>";
    char target[MAX_PATH] = {}, arguments[MAX_PATH] = {}, folder[MAX_PATH] = {}, icon[MAX_PATH] = {};
    int index = -1;
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments, MAX_PATH);
    link->GetWorkingDirectory(folder, MAX_PATH);
    link->GetIconLocation(icon, MAX_PATH, &index);
    return std::string(target) + "|" + arguments + "|" + folder + "|" + icon + "," + std::to_string(index);
}

// Every link in `folder`, as "name = " and what ReadLink gives.
std::vector<std::string> Links(const std::string& folder)
{
    std::vector<std::string> links;
    for (const std::string& name : kstest::FolderNames(folder))
        links.push_back(name + " = " + ReadLink(folder + "\\" + name));
    return links;
}

class Shortcuts : public testing::Test {
protected:
    Shortcuts() : module_("shortcuts", ""), product_(module_.Folder().MakeFolder("prod")) {}

    // The configuration with `general` and the shortcut descriptions `links`, each
    // "[Id]" followed by its "Key = value" lines separated by "|".
    void WriteCfg(const std::string& general, const std::vector<std::string>& links) const
    {
        std::string text = "[General]\r\n" + general + "[]\r\n[Links]\r\n";
        for (std::string link : links) {
            for (size_t at; (at = link.find('|')) != std::string::npos;)
                link.replace(at, 1, "\r\n  ");
            text += " " + link + "\r\n []\r\n";
        }
        module_.WriteCfg(text + "[]\r\n");
    }
    LONG Create(const char* prefix, const char* section, const std::string& folder, LONG english, LONG record) const
    {
        return module_.Export<CreateShortcuts>("KSWCreateShortcuts")(prefix, section, folder.c_str(), english, record);
    }

    kstest::InstalledModule module_;
    std::string product_;
};

TEST_F(Shortcuts, DescriptionsCompletedAndReadBack)
{
    SetEnvironmentVariableA("KSTEST_SC_DIR", module_.Folder().Path().c_str());
    SetEnvironmentVariableA("KSTEST_SC_ARG", "/from env");
    WriteCfg(" Path = " + product_ + "\r\n ModuleHelp = help\\manual.chm\r\n",
             {"[Drive]|Name = Drive Link|EnName = Drive English|Module = C:\\tools\\t.exe|Param = /startup \"a b\"|IndexIcon = 2",
              "[Relative]|Module = bin\\x.exe|ModuleIcon = icons\\x.ico", "[Help]", "[Unc]|Module = \\\\server\\share\\u.exe",
              "[Env]|Module = %KSTEST_SC_DIR%\\env.exe|ModuleIcon = %KSTEST_SC_DIR%\\env.ico|Param = %KSTEST_SC_ARG%",
              "[Nothing]|Name = No Target", "[Broken]|Name = missing\\folder\\link|Module = C:\\b.exe"});
    const std::string folder = module_.Folder() / "links", dir = module_.Folder().Path(), p = product_;
    EXPECT_EQ(Create("Velm", "Links", folder + "\\\\", 0, 0), 1);

    EXPECT_EQ(Links(folder), (std::vector<std::string>{
                                 "Drive Link.lnk = C:\\tools\\t.exe|/startup \"a b\"|C:\\tools|C:\\tools\\t.exe,2",
                                 "Velm Env.lnk = " + dir + "\\env.exe|/from env|" + dir + "|" + dir + "\\env.ico,0",
                                 "Velm Help.lnk = " + p + "\\help\\manual.chm||" + p + "\\help|" + p + "\\help\\manual.chm,0",
                                 "Velm Relative.lnk = " + p + "\\bin\\x.exe||" + p + "\\bin|" + p + "\\icons\\x.ico,0",
                                 "Velm Unc.lnk = \\\\server\\share\\u.exe||\\\\server\\share|\\\\server\\share\\u.exe,0"}))
        << "no target, no shortcut; trailing backslashes give one";
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>{"ERROR Failed to create shortcut missing\\folder\\link"});
    SetEnvironmentVariableA("KSTEST_SC_DIR", nullptr);
    SetEnvironmentVariableA("KSTEST_SC_ARG", nullptr);
}

TEST_F(Shortcuts, RefusedWithoutConfigurationSectionOrFolderEnglishNamesAndDefaults)
{
    const std::string blocker = module_.Folder().MakeFile("file.txt"), refused = module_.Folder() / "refused";
    EXPECT_EQ(Create("V", "Links", refused, 0, 0), 0) << "no configuration";
    WriteCfg("", {"[One]|Module = C:\\one.exe"});
    EXPECT_EQ(Create("V", "Missing", refused, 0, 0), 0);
    EXPECT_EQ(Create("V", nullptr, refused, 0, 0), 0);
    EXPECT_EQ(Create("V", "Links", blocker + "\\sub", 0, 0), 0);
    EXPECT_EQ(module_.Export<CreateShortcuts>("KSWCreateShortcuts")("V", "Links", nullptr, 0, 0), 0);
    EXPECT_FALSE(kstest::FolderExists(refused));

    WriteCfg(" Path = " + product_ + "\r\n ModuleAgent = agent.exe\r\n",
             {"[Drive]|Name = Drive Link|Module = C:\\t.exe", "[Agent]|Name = Agent Link|EnName = Agent English"});
    const std::string folder = module_.Folder() / "english";
    EXPECT_EQ(Create("Velm", "Links", folder, 1, 0), 1);
    // "Name" is not read for English names: the default stands in.
    EXPECT_EQ(kstest::FolderNames(folder), (std::vector<std::string>{"Agent English.lnk", "Velm Drive.lnk"}));
    EXPECT_EQ(ReadLink(folder + "\\Agent English.lnk"), product_ + "\\agent.exe||" + product_ + "|" + product_ + "\\agent.exe,0");
    EXPECT_EQ(Create(nullptr, "Links", module_.Folder() / "unnamed", 0, 0), 1);
    EXPECT_EQ(kstest::FolderNames(module_.Folder() / "unnamed"), (std::vector<std::string>{"Agent Link.lnk", "Drive Link.lnk"}));

    // Without "Path" a relative target hangs below the drive's root; Wine resolves the
    // target against the current drive, the icon stays as written.
    WriteCfg("", {"[Rel]|Module = x.exe"});
    EXPECT_EQ(Create("P", "Links", module_.Folder() / "nopath", 0, 0), 1);
    EXPECT_EQ(Links(module_.Folder() / "nopath"), std::vector<std::string>{"P Rel.lnk = C:\\x.exe|||\\x.exe,0"});
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>());
}

TEST_F(Shortcuts, UninstallRecordInTheProductConfiguration)
{
    WriteCfg(" Path = " + product_ + "\r\n", {"[One]|Module = C:\\one.exe", "[Two]|Module = C:\\two.exe"});
    const std::string productCfg = product_ + "\\KSCommon.cfg", kept = "[General]\r\n Title = kept\r\n[]\r\n";
    kstest::WriteFile(productCfg, kept);
    const std::string folder = module_.Folder() / "recorded";

    EXPECT_EQ(Create("V", "Links", folder, 0, 0), 1);
    EXPECT_EQ(kstest::ReadFile(productCfg), kept) << "not asked to record";
    // The key is the shortcut's path with one backslash before its name.
    EXPECT_EQ(Create("V", "Links", folder + "\\\\", 0, 1), 1);
    EXPECT_EQ(kstest::ReadFile(productCfg),
              kept + "[Uninstall]\r\n " + folder + "\\V One.lnk = \r\n " + folder + "\\V Two.lnk = \r\n[]\r\n");
    // Only an existing product configuration takes the record.
    DeleteFileA(productCfg.c_str());
    EXPECT_EQ(Create("V", "Links", folder, 0, 1), 1);
    EXPECT_FALSE(kstest::FileExists(productCfg));
    EXPECT_EQ(module_.LogEntries(),
              (std::vector<std::string>{"INFO Added V One to Uninstall section", "INFO Added V Two to Uninstall section"}));
}

TEST_F(Shortcuts, JapaneseFolderAndNames)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "needs the Japanese code page (install.japanese)";
    // "\x95\x5c" (a kanji) ends in the byte of a backslash: only the real trailing
    // backslashes may go.
    const std::string kanji = "\x95\x5c";
    WriteCfg(" Path = " + product_ + "\r\n", {"[One]|Name = " + kanji + "|Module = bin" + kanji + "\\x.exe"});
    const std::string folder = module_.Folder() / ("j" + kanji);
    EXPECT_EQ(Create("V", "Links", folder + "\\\\", 0, 0), 1);
    const std::string target = product_ + "\\bin" + kanji;
    EXPECT_EQ(Links(folder),
              std::vector<std::string>{kanji + ".lnk = " + target + "\\x.exe||" + target + "|" + target + "\\x.exe,0"});
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>());
}

// The Start-menu group in the all-users Programs folder, with the fall-backs of the
// Programs folder's lookup. The test's groups are removed link by link afterwards.

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
    StartMenu()
        : module_("startmenu", ""), group_("KSTest Group " + kstest::ExeTitle()), product_(module_.Folder().MakeFolder("prod"))
    {
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
    LONG Create(const char* name, LONG english) const { return module_.Export<CreateStartMenu>("KSWCreateStartMenu")(name, english); }

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
