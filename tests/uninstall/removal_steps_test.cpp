// The first phase's steps one at a time: the removal keywords against real shared
// counts, COM servers, GoProto and stand-in programs; the registry steps; the
// Start-menu folders.
#include "first_phase_env.h"
#include "install/shared_dlls.h"
#include "uninstall/ks_remove.h"
#include "uninstall/registry_cleanup.h"
#include "uninstall/start_menu_removal.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <map>

namespace kstest {
namespace {

// The shared count, or -1 when the value is gone.
long Count(const std::string& path)
{
    return static_cast<long>(GetDWordValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, path.c_str(), DWORD(-1)));
}

TEST(RemovalKeywords, EachKeywordAndTheirCombinations)
{
    ProductFixture product("kw");
    const std::string ext = product.Folder().MakeFolder("ext");
    const std::string title = "kstest_" + ExeTitle();
    const std::string sysForced = SystemFolder() + "\\" + title + "_forced.txt";
    const std::string sysShared = SystemFolder() + "\\" + title + "_shared.txt";
    for (const std::string& file : {sysForced, sysShared, ext + "\\kept.txt", ext + "\\s64.txt"})
        WriteFile(file, "x");
    for (const char* name : {"shared3.exe", "shared1.exe", "nocount.exe"})
        CopyFileA(HelperPath().c_str(), (ext + "\\" + name).c_str(), FALSE);
    for (const auto& count : std::map<std::string, DWORD>{
             {sysForced, 5}, {sysShared, 3}, {ext + "\\shared3.exe", 3}, {ext + "\\shared1.exe", 1}})
        SetDWordValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, count.first.c_str(), count.second);
    const std::string goproto = ext + "\\gp.dll";
    ASSERT_TRUE(CopyFileA((ExeFolder() + "\\kstest_goproto.dll").c_str(), goproto.c_str(), FALSE));
    SetEnvironmentVariableA("KSTEST_KW", ext.c_str());
    SetEnvironmentVariableA("KSTEST_GOPROTO_CALL", nullptr);
    SetEnvironmentVariableA("KSTEST_GOPROTO_ERROR", "8004A025");
    product.Configure("[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\nLogDir=kstest_kw\n[]\n[Uninstall]\n"
                      "%KSTEST_KW%\\shared3.exe=shared;registered\n%KSTEST_KW%\\shared1.exe=Shared;Registered\n"
                      "%KSTEST_KW%\\nocount.exe=shared;registered\n%KSTEST_KW%\\gp.dll=keep;goproto\n"
                      "%KSTEST_KW%\\kept.txt=shared ;keep\n%KSTEST_KW%\\s64.txt=system64\n" +
                          title + "_forced.txt=System\n" + title + "_shared.txt=system;shared\n[]\n",
                      true);
    EXPECT_EQ(KSRemove::UninstallFirstPhase(), 0u);

    // Each file afterwards: whether it is there and its shared count (-1: none).
    const struct { std::string path; bool exists; long count; } files[] = {
        // Count 3: one reference released, neither unregistered nor deleted.
        {ext + "\\shared3.exe", true, 2}, {ext + "\\shared3.exe.unreg", false, -1},
        // Count 1, and no count at all: the count goes, the server is unregistered and deleted.
        {ext + "\\shared1.exe", false, -1}, {ext + "\\nocount.exe", false, -1}, {ext + "\\nocount.exe.unreg", true, -1},
        {goproto, true, -1},  // uninstalled through entry 20 but kept
        {ext + "\\kept.txt", true, -1},  // " keep" with its leading space is no keyword: "shared " is none either
        {ext + "\\s64.txt", true, -1},   // no 64-bit system folder in a 32-bit prefix: the entry is left alone
        // "system": below the system folder, its count removed outright; with "shared" only
        // the unforced release, which keeps a file still counted.
        {sysForced, false, -1}, {sysShared, true, 2},
    };
    for (const auto& file : files) {
        EXPECT_EQ(FileExists(file.path), file.exists) << file.path;
        EXPECT_EQ(Count(file.path), file.count) << file.path;
    }
    EXPECT_NE(ReadFile(ext + "\\shared1.exe.unreg").find("/UnregServer"), std::string::npos);
    // GoProto's restart request is handed on.
    EXPECT_EQ(Environment("KSTEST_GOPROTO_CALL"), "20 0");
    EXPECT_EQ(Environment(kRebootVariable), "1");
    EXPECT_FALSE(product.Logged("INFO Deleting " + ext + "\\s64.txt", true));
    EXPECT_TRUE(product.Logged("INFO Deleting " + sysForced + " returned 0"));

    for (const std::string& path : {sysShared, ext + "\\shared3.exe"})
        DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, path.c_str());
    DeleteFileA(sysShared.c_str());
    for (const char* name : {"KSTEST_KW", "KSTEST_GOPROTO_CALL", "KSTEST_GOPROTO_ERROR"})
        SetEnvironmentVariableA(name, nullptr);
}

TEST(RegistrySteps, RunValuesHookAndRegistrationsGoOthersStay)
{
    ProductFixture product("reg");
    const std::string neighbour = "SOFTWARE\\Velm\\VLUpdate\\KSTestNeighbour";
    const std::string old = std::string(kUninstallKeyPath) + "\\KSTestOld";
    SetStringValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kUniqueName, "a");
    SetStringValue(HKEY_CURRENT_USER, kRunKeyPath, kUniqueName, "a");
    SetStringValue(HKEY_LOCAL_MACHINE, kRunServicesKeyPath, kUniqueName, "a");
    SetStringValue(HKEY_CURRENT_USER, kRunKeyPath, "KSTestOther", "a");
    for (const std::string& key : {kProductKey + "\\Deep\\Deeper", neighbour, kUninstallKey, old})
        SetStringValue(HKEY_LOCAL_MACHINE, key, "v", "1");

    // Install mode keeps every Run value; the browser value goes only when it names the browser.
    SetStringValue(HKEY_CURRENT_USER, kRunKeyPath, kBrowserRunValue, "C:\\other\\viewer.exe");
    product.Configure("[General]\nModuleBrowser=browser.exe\n[]\n[Uninstall]\n[Registry]\n"
                      "OldUninstallRegName=KSTestOld\n[]\n[]\n", true);
    g_UninstallOptions.installMode = true;
    RemoveRunEntries(kUniqueName);
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRunKeyPath, kUniqueName));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKeyPath, kUniqueName));
    g_UninstallOptions.installMode = false;
    RemoveRunEntries(kUniqueName);
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRunKeyPath, kUniqueName));
    // The users' values go through the profile list, which Wine has only in the NT place.
    EXPECT_FALSE(kstest::NtFamily() && ValueExists(HKEY_CURRENT_USER, kRunKeyPath, kUniqueName));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKeyPath, "KSTestOther"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKeyPath, kBrowserRunValue));
    // RunServices belongs to the 95/98/Me family only.
    EXPECT_EQ(ValueExists(HKEY_LOCAL_MACHINE, kRunServicesKeyPath, kUniqueName), kstest::NtFamily());
    SetStringValue(HKEY_CURRENT_USER, kRunKeyPath, kBrowserRunValue, "\"C:\\Prod\\browser.exe\" /startup");
    RemoveRunEntries(kUniqueName);
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRunKeyPath, kBrowserRunValue));
    EXPECT_TRUE(product.Logged("INFO Found VLUpdateKestrel in HKCU\\...\\Run"));
    RemoveRunEntries(kUniqueName);  // a missing value or key is no error

    SetStringValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue, "h");
    SetStringValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, "{KSTest-other-hook}", "h");
    RemoveShellExecuteHook();
    RemoveShellExecuteHook();
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, "{KSTest-other-hook}"));
    DeleteValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, "{KSTest-other-hook}");

    // Names that are not one key name touch nothing.
    for (const char* name : {"", "\\", "KSTestFirstPhase\\..", "..\\KSTestNeighbour"})
        RemoveProductRegistration(name);
    for (const std::string& key : {kProductKey, std::string(kUninstallKeyPath), neighbour, old})
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, key)) << key;
    // The product's key goes whole; its parent stays while a neighbour lives in it.
    RemoveProductRegistration(kUniqueName);
    for (const std::string& key : {kProductKey, kUninstallKey, old})
        EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, key)) << key;
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, neighbour));
    // Without its own uninstall registration, the old one is not looked at.
    SetStringValue(HKEY_LOCAL_MACHINE, old, "v", "1");
    RemoveProductRegistration(kUniqueName);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, old));
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, old.c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, neighbour.c_str());
    DeleteValue(HKEY_LOCAL_MACHINE, kRunServicesKeyPath, kUniqueName);
    DeleteValue(HKEY_CURRENT_USER, kRunKeyPath, "KSTestOther");
    DeleteValue(HKEY_CURRENT_USER, kRunKeyPath, kUniqueName);
}

TEST(StartMenuRemoval, TheGroupGoesTheProgramsFoldersStay)
{
    ProductFixture product("startmenu");
    const std::string canary = "kstest_" + ExeTitle() + "_canary.txt";
    const std::string folders[] = {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
                                   Environment("APPDATA") + "\\Microsoft\\Windows\\Start Menu\\Programs"};
    for (const std::string& folder : folders) {
        WriteFile(folder + "\\" + canary, "canary");
        MakeFile(folder + "\\KSTest Group\\app.lnk");
    }
    product.Configure("[General]\nPath=%PROD%\n[]\n", true);
    for (const char* title : {"", "\\", ".", "..", "..\\..", "KSTest Group\\.."}) {
        SCOPED_TRACE(title);
        RemoveStartMenuFolder(title);
        for (const std::string& folder : folders) {
            EXPECT_EQ(ReadFile(folder + "\\" + canary), "canary");
            EXPECT_TRUE(FileExists(folder + "\\KSTest Group\\app.lnk"));
        }
    }
    EXPECT_TRUE(product.Logged("WARNING Cannot delete system directory ", true));
    RemoveStartMenuFolder("KSTest Group");
    for (const std::string& folder : folders) {
        EXPECT_FALSE(FolderExists(folder + "\\KSTest Group"));
        EXPECT_EQ(ReadFile(folder + "\\" + canary), "canary");
        DeleteFileA((folder + "\\" + canary).c_str());
    }
}

}  // namespace
}  // namespace kstest
