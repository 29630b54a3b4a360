// Shortcuts made through the export table and read back through the shell's own link
// object: target, arguments, working folder and icon as the configuration described them.
#include "install/com_objects.h"
#include "install/install_fixture.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using CreateShortcuts = LONG(WINAPI*)(const char*, const char*, const char*, LONG, LONG);
using CreateStartMenu = LONG(WINAPI*)(const char*, LONG);

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

class Shortcuts : public testing::Test {
protected:
    Shortcuts() : module_("shortcuts", "")
    {
        create_ = module_.Export<CreateShortcuts>("KSWCreateShortcuts");
        product_ = module_.Folder().MakeFolder("prod");
        SetEnvironmentVariableA("KSTEST_SC_DIR", module_.Folder().Path().c_str());
        SetEnvironmentVariableA("KSTEST_SC_ARG", "/from env");
    }
    ~Shortcuts() override
    {
        SetEnvironmentVariableA("KSTEST_SC_DIR", nullptr);
        SetEnvironmentVariableA("KSTEST_SC_ARG", nullptr);
    }
    void SetUp() override { ASSERT_TRUE(create_); }

    std::string Cfg(const std::string& general, const std::string& links) const
    {
        return "[General]\r\n" + general + "[]\r\n[Links]\r\n" + links + "[]\r\n";
    }

    kstest::InstalledModule module_;
    std::string product_;
    CreateShortcuts create_ = nullptr;
};

TEST_F(Shortcuts, DescriptionsCompletedAndReadBack)
{
    module_.WriteCfg(Cfg(" Path = " + product_ + "\r\n ModuleHelp = help\\manual.chm\r\n",
                         " [Drive]\r\n  Name = Drive Link\r\n  EnName = Drive English\r\n  Module = C:\\tools\\t.exe\r\n"
                         "  Param = /startup \"a b\"\r\n  IndexIcon = 2\r\n []\r\n"
                         " [Relative]\r\n  Module = bin\\x.exe\r\n  ModuleIcon = icons\\x.ico\r\n []\r\n"
                         " [Help]\r\n []\r\n"
                         " [Unc]\r\n  Module = \\\\server\\share\\u.exe\r\n []\r\n"
                         " [Env]\r\n  Module = %KSTEST_SC_DIR%\\env.exe\r\n  ModuleIcon = %KSTEST_SC_DIR%\\env.ico\r\n"
                         "  Param = %KSTEST_SC_ARG%\r\n []\r\n"
                         " [Nothing]\r\n  Name = No Target\r\n []\r\n"
                         " [Broken]\r\n  Name = missing\\folder\\link\r\n  Module = C:\\b.exe\r\n []\r\n"));
    const std::string folder = module_.Folder() / "links";
    const std::string dir = module_.Folder().Path();
    EXPECT_EQ(create_("Velm", "Links", (folder + "\\\\").c_str(), 0, 0), 1);

    const std::string p = product_;
    const struct {
        const char* file;
        std::string expected;
    } rows[] = {
        {"Drive Link.lnk", "C:\\tools\\t.exe|/startup \"a b\"|C:\\tools|C:\\tools\\t.exe,2"},
        {"Velm Relative.lnk", p + "\\bin\\x.exe||" + p + "\\bin|" + p + "\\icons\\x.ico,0"},
        {"Velm Help.lnk", p + "\\help\\manual.chm||" + p + "\\help|" + p + "\\help\\manual.chm,0"},
        {"Velm Unc.lnk", "\\\\server\\share\\u.exe||\\\\server\\share|\\\\server\\share\\u.exe,0"},
        {"Velm Env.lnk", dir + "\\env.exe|/from env|" + dir + "|" + dir + "\\env.ico,0"},
    };
    std::vector<std::string> expectedNames;
    for (const auto& row : rows) {
        EXPECT_EQ(ReadLink(folder + "\\" + row.file), row.expected) << row.file;
        expectedNames.push_back(row.file);
    }
    std::sort(expectedNames.begin(), expectedNames.end());
    EXPECT_EQ(kstest::FolderNames(folder), expectedNames) << "no target, no shortcut; trailing backslashes give one";
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>{"ERROR Failed to create shortcut missing\\folder\\link"});
}

TEST_F(Shortcuts, EnglishNamesAndDefaults)
{
    module_.WriteCfg(Cfg(" Path = " + product_ + "\r\n ModuleAgent = agent.exe\r\n",
                         " [Drive]\r\n  Name = Drive Link\r\n  Module = C:\\t.exe\r\n []\r\n"
                         " [Agent]\r\n  Name = Agent Link\r\n  EnName = Agent English\r\n []\r\n"));
    const std::string folder = module_.Folder() / "english";
    EXPECT_EQ(create_("Velm", "Links", folder.c_str(), 1, 0), 1);
    // "Name" is not read for English names: the default stands in.
    EXPECT_EQ(kstest::FolderNames(folder), (std::vector<std::string>{"Agent English.lnk", "Velm Drive.lnk"}));
    EXPECT_EQ(ReadLink(folder + "\\Agent English.lnk"), product_ + "\\agent.exe||" + product_ + "|" + product_ + "\\agent.exe,0");

    const std::string unnamed = module_.Folder() / "unnamed";
    EXPECT_EQ(create_(nullptr, "Links", unnamed.c_str(), 0, 0), 1);
    EXPECT_EQ(kstest::FolderNames(unnamed), (std::vector<std::string>{"Agent Link.lnk", "Drive Link.lnk"}));

    // Without "Path" a relative target hangs below the drive's root.
    module_.WriteCfg(Cfg("", " [Rel]\r\n  Module = x.exe\r\n []\r\n"));
    const std::string noPath = module_.Folder() / "nopath";
    EXPECT_EQ(create_("P", "Links", noPath.c_str(), 0, 0), 1);
    // Wine resolves the target against the current drive; the icon stays as written.
    EXPECT_EQ(ReadLink(noPath + "\\P Rel.lnk"), "C:\\x.exe|||\\x.exe,0");
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>());
}

TEST_F(Shortcuts, UninstallRecordInTheProductConfiguration)
{
    module_.WriteCfg(Cfg(" Path = " + product_ + "\r\n",
                         " [One]\r\n  Module = C:\\one.exe\r\n []\r\n [Two]\r\n  Module = C:\\two.exe\r\n []\r\n"));
    const std::string productCfg = product_ + "\\KSCommon.cfg";
    kstest::WriteFile(productCfg, "[General]\r\n Title = kept\r\n[]\r\n");
    const std::string folder = module_.Folder() / "recorded";

    EXPECT_EQ(create_("V", "Links", folder.c_str(), 0, 0), 1);
    EXPECT_EQ(kstest::ReadFile(productCfg), "[General]\r\n Title = kept\r\n[]\r\n") << "not asked to record";
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>());

    // The key is the shortcut's path with one backslash before its name.
    EXPECT_EQ(create_("V", "Links", (folder + "\\\\").c_str(), 0, 1), 1);
    EXPECT_EQ(kstest::ReadFile(productCfg), "[General]\r\n Title = kept\r\n[]\r\n[Uninstall]\r\n " + folder +
                                                "\\V One.lnk = \r\n " + folder + "\\V Two.lnk = \r\n[]\r\n");
    EXPECT_EQ(module_.LogEntries(),
              (std::vector<std::string>{"INFO Added V One to Uninstall section", "INFO Added V Two to Uninstall section"}));

    // Only an existing product configuration takes the record.
    DeleteFileA(productCfg.c_str());
    EXPECT_EQ(create_("V", "Links", folder.c_str(), 0, 1), 1);
    EXPECT_FALSE(kstest::FileExists(productCfg));
    EXPECT_EQ(module_.LogEntries().size(), 2u);
}

TEST_F(Shortcuts, JapaneseFolderAndNames)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "needs the Japanese code page (install.japanese)";
    // "\x95\x5c" (a kanji) ends in the byte of a backslash: only the real trailing
    // backslashes may go.
    const std::string kanji = "\x95\x5c";
    module_.WriteCfg(Cfg(" Path = " + product_ + "\r\n",
                         " [One]\r\n  Name = " + kanji + "\r\n  Module = bin" + kanji + "\\x.exe\r\n []\r\n"));
    const std::string folder = module_.Folder() / ("j" + kanji);
    EXPECT_EQ(create_("V", "Links", (folder + "\\\\").c_str(), 0, 0), 1);
    EXPECT_EQ(kstest::FolderNames(folder), std::vector<std::string>{kanji + ".lnk"});
    const std::string target = product_ + "\\bin" + kanji;
    EXPECT_EQ(ReadLink(folder + "\\" + kanji + ".lnk"), target + "\\x.exe||" + target + "|" + target + "\\x.exe,0");
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>());
}

TEST_F(Shortcuts, RefusedWithoutConfigurationSectionOrFolder)
{
    const std::string blocker = module_.Folder().MakeFile("file.txt");
    const std::string folder = module_.Folder() / "refused";
    EXPECT_EQ(create_("V", "Links", folder.c_str(), 0, 0), 0) << "no configuration";
    module_.WriteCfg(Cfg("", " [One]\r\n  Module = C:\\one.exe\r\n []\r\n"));
    EXPECT_EQ(create_("V", "Missing", folder.c_str(), 0, 0), 0);
    EXPECT_EQ(create_("V", nullptr, folder.c_str(), 0, 0), 0);
    EXPECT_EQ(create_("V", "Links", (blocker + "\\sub").c_str(), 0, 0), 0);
    EXPECT_EQ(create_("V", "Links", nullptr, 0, 0), 0);
    EXPECT_FALSE(kstest::FolderExists(folder));
    EXPECT_EQ(module_.LogEntries(), std::vector<std::string>());
}

}  // namespace
