// The first phase's steps one at a time: the removal keywords against real shared
// counts, COM servers, GoProto and stand-in programs; the registry steps; the
// Start-menu folders.
#include "first_phase_env.h"
#include "install/shared_dlls.h"
#include "platform/system_version.h"
#include "uninstall/ks_remove.h"
#include "uninstall/registry_cleanup.h"
#include "uninstall/start_menu_removal.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

namespace {

using kstest::RegKeyExists;
using kstest::SetStringValue;
using kstest::ValueExists;

// The shared count, or -1 when the value is gone.
long Count(const std::string& path)
{
    return static_cast<long>(kstest::GetDWordValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, path.c_str(), DWORD(-1)));
}

TEST(RemovalKeywords, EachKeywordAndTheirCombinations)
{
    kstest::ProductFixture product("kw");
    const std::string ext = product.Folder().MakeFolder("ext");
    const std::string title = "kstest_" + kstest::ExeTitle();
    const std::string sysForced = kstest::SystemFolder() + "\\" + title + "_forced.txt";
    const std::string sysShared = kstest::SystemFolder() + "\\" + title + "_shared.txt";
    for (const std::string& file : {sysForced, sysShared, ext + "\\kept.txt", ext + "\\s64.txt"})
        kstest::WriteFile(file, "x");
    for (const char* name : {"shared3.exe", "shared1.exe", "nocount.exe"})
        CopyFileA(kstest::HelperPath().c_str(), (ext + "\\" + name).c_str(), FALSE);
    const struct {
        std::string path;
        DWORD count;
    } counts[] = {{sysForced, 5}, {sysShared, 3}, {ext + "\\shared3.exe", 3}, {ext + "\\shared1.exe", 1}};
    for (const auto& count : counts)
        kstest::SetDWordValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, count.path.c_str(), count.count);
    const std::string goproto = ext + "\\gp.dll";
    ASSERT_TRUE(CopyFileA((kstest::ExeFolder() + "\\kstest_goproto.dll").c_str(), goproto.c_str(), FALSE));
    SetEnvironmentVariableA("KSTEST_KW", ext.c_str());
    SetEnvironmentVariableA("KSTEST_GOPROTO_CALL", nullptr);
    SetEnvironmentVariableA("KSTEST_GOPROTO_ERROR", "8004A025");
    product.Configure("[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\nLogDir=kstest_kw\n[]\n[Uninstall]\n"
                      "%KSTEST_KW%\\shared3.exe=shared;registered\n"
                      "%KSTEST_KW%\\shared1.exe=Shared;Registered\n"
                      "%KSTEST_KW%\\nocount.exe=shared;registered\n"
                      "%KSTEST_KW%\\gp.dll=keep;goproto\n"
                      "%KSTEST_KW%\\kept.txt=shared ;keep\n"
                      "%KSTEST_KW%\\s64.txt=system64\n" +
                          title + "_forced.txt=System\n" + title + "_shared.txt=system;shared\n[]\n",
                      true);
    EXPECT_EQ(KSRemove::UninstallFirstPhase(), 0u);

    // Count 3: one reference released, neither unregistered nor deleted.
    EXPECT_EQ(Count(ext + "\\shared3.exe"), 2);
    EXPECT_TRUE(kstest::FileExists(ext + "\\shared3.exe"));
    EXPECT_FALSE(kstest::FileExists(ext + "\\shared3.exe.unreg"));
    // Count 1, and no count at all: the count goes, the server is unregistered and deleted.
    EXPECT_EQ(Count(ext + "\\shared1.exe"), -1);
    EXPECT_FALSE(kstest::FileExists(ext + "\\shared1.exe"));
    EXPECT_NE(kstest::ReadFile(ext + "\\shared1.exe.unreg").find("/UnregServer"), std::string::npos);
    EXPECT_FALSE(kstest::FileExists(ext + "\\nocount.exe"));
    EXPECT_TRUE(kstest::FileExists(ext + "\\nocount.exe.unreg"));
    // GoProto uninstalled through entry 20 but kept; its restart request is handed on.
    EXPECT_EQ(kstest::Environment("KSTEST_GOPROTO_CALL"), "20 0");
    EXPECT_TRUE(kstest::FileExists(goproto));
    EXPECT_EQ(kstest::Environment(kRebootVariable), "1");
    // " keep" with its leading space is no keyword: "shared " is none either.
    EXPECT_TRUE(kstest::FileExists(ext + "\\kept.txt"));
    // No 64-bit system folder in a 32-bit prefix: the "system64" entry is left alone.
    EXPECT_TRUE(kstest::FileExists(ext + "\\s64.txt"));
    EXPECT_FALSE(product.Logged("INFO Deleting " + ext + "\\s64.txt", true));
    // "system": below the system folder, its count removed outright; with "shared" only
    // the unforced release, which keeps a file still counted.
    EXPECT_FALSE(kstest::FileExists(sysForced));
    EXPECT_EQ(Count(sysForced), -1);
    EXPECT_TRUE(product.Logged("INFO Deleting " + sysForced + " returned 0"));
    EXPECT_TRUE(kstest::FileExists(sysShared));
    EXPECT_EQ(Count(sysShared), 2);

    for (const std::string& path : {sysShared, ext + "\\shared3.exe"})
        kstest::DeleteValue(HKEY_LOCAL_MACHINE, kSharedDllsKey, path.c_str());
    DeleteFileA(sysShared.c_str());
    for (const char* name : {"KSTEST_KW", "KSTEST_GOPROTO_CALL", "KSTEST_GOPROTO_ERROR"})
        SetEnvironmentVariableA(name, nullptr);
}

TEST(RegistrySteps, RunValuesHookAndRegistrationsGoOthersStay)
{
    kstest::ProductFixture product("reg");
    const std::string run = kRunKeyPath;
    const std::string services = kRunServicesKeyPath;
    const std::string productKey = std::string("SOFTWARE\\Velm\\VLUpdate\\") + kstest::kUniqueName;
    const std::string neighbour = "SOFTWARE\\Velm\\VLUpdate\\KSTestNeighbour";
    const std::string uninstall = std::string(kUninstallKeyPath) + "\\" + kstest::kUniqueName;
    const std::string old = std::string(kUninstallKeyPath) + "\\KSTestOld";
    SetStringValue(HKEY_LOCAL_MACHINE, run, kstest::kUniqueName, "a");
    SetStringValue(HKEY_CURRENT_USER, run, kstest::kUniqueName, "a");
    SetStringValue(HKEY_LOCAL_MACHINE, services, kstest::kUniqueName, "a");
    SetStringValue(HKEY_CURRENT_USER, run, "KSTestOther", "a");
    SetStringValue(HKEY_LOCAL_MACHINE, productKey + "\\Deep\\Deeper", "v", "1");
    for (const std::string& key : {neighbour, uninstall, old})
        SetStringValue(HKEY_LOCAL_MACHINE, key, "v", "1");

    // Install mode keeps every Run value; the browser value goes only when it names the browser.
    SetStringValue(HKEY_CURRENT_USER, run, kBrowserRunValue, "C:\\other\\viewer.exe");
    product.Configure("[General]\nModuleBrowser=browser.exe\n[]\n[Uninstall]\n[Registry]\n"
                      "OldUninstallRegName=KSTestOld\n[]\n[]\n", true);
    g_UninstallOptions.installMode = true;
    RemoveRunEntries(kstest::kUniqueName);
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, run, kstest::kUniqueName));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, run, kstest::kUniqueName));
    g_UninstallOptions.installMode = false;
    RemoveRunEntries(kstest::kUniqueName);
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, run, kstest::kUniqueName));
    // The users' values go through the profile list, which Wine has only in the NT place.
    if (IsWindowsNT()) {
        EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, run, kstest::kUniqueName));
    }
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, run, "KSTestOther"));
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, run, kBrowserRunValue));
    // RunServices belongs to the 95/98/Me family only.
    EXPECT_EQ(ValueExists(HKEY_LOCAL_MACHINE, services, kstest::kUniqueName), IsWindowsNT());
    SetStringValue(HKEY_CURRENT_USER, run, kBrowserRunValue, "\"C:\\Prod\\browser.exe\" /startup");
    RemoveRunEntries(kstest::kUniqueName);
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, run, kBrowserRunValue));
    EXPECT_TRUE(product.Logged("INFO Found VLUpdateKestrel in HKCU\\...\\Run"));
    RemoveRunEntries(kstest::kUniqueName);  // a missing value or key is no error

    SetStringValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue, "h");
    SetStringValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, "{KSTest-other-hook}", "h");
    RemoveShellExecuteHook();
    RemoveShellExecuteHook();
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, "{KSTest-other-hook}"));
    kstest::DeleteValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, "{KSTest-other-hook}");

    // Names that are not one key name touch nothing.
    for (const char* name : {"", "\\", "KSTestFirstPhase\\..", "..\\KSTestNeighbour"})
        RemoveProductRegistration(name);
    for (const std::string& key : {productKey, std::string(kUninstallKeyPath), neighbour, old})
        EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, key)) << key;
    // The product's key goes whole; its parent stays while a neighbour lives in it.
    RemoveProductRegistration(kstest::kUniqueName);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, neighbour));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, uninstall));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, old));
    // Without its own uninstall registration, the old one is not looked at.
    SetStringValue(HKEY_LOCAL_MACHINE, old, "v", "1");
    RemoveProductRegistration(kstest::kUniqueName);
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, old));
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, old.c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, neighbour.c_str());
    kstest::DeleteValue(HKEY_LOCAL_MACHINE, services, kstest::kUniqueName);
    kstest::DeleteValue(HKEY_CURRENT_USER, run, "KSTestOther");
    kstest::DeleteValue(HKEY_CURRENT_USER, run, kstest::kUniqueName);
}

TEST(StartMenuRemoval, TheGroupGoesTheProgramsFoldersStay)
{
    kstest::ProductFixture product("startmenu");
    char common[MAX_PATH] = {}, user[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_PROGRAMS, FALSE));
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, user, CSIDL_PROGRAMS, FALSE));
    const std::string canary = "kstest_" + kstest::ExeTitle() + "_canary.txt";
    const std::string folders[] = {common, user};
    for (const std::string& folder : folders) {
        kstest::WriteFile(folder + "\\" + canary, "canary");
        kstest::MakeFile(folder + "\\KSTest Group\\app.lnk");
    }
    product.Configure("[General]\nPath=%PROD%\n[]\n", true);
    for (const char* title : {"", "\\", ".", "..", "..\\..", "KSTest Group\\.."}) {
        SCOPED_TRACE(title);
        RemoveStartMenuFolder(title);
        for (const std::string& folder : folders) {
            EXPECT_EQ(kstest::ReadFile(folder + "\\" + canary), "canary");
            EXPECT_TRUE(kstest::FileExists(folder + "\\KSTest Group\\app.lnk"));
        }
    }
    EXPECT_TRUE(product.Logged("WARNING Cannot delete system directory ", true));
    RemoveStartMenuFolder("KSTest Group");
    for (const std::string& folder : folders) {
        EXPECT_FALSE(kstest::FolderExists(folder + "\\KSTest Group"));
        EXPECT_EQ(kstest::ReadFile(folder + "\\" + canary), "canary");
        DeleteFileA((folder + "\\" + canary).c_str());
    }
}

}  // namespace
