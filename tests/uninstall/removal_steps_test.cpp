// The first phase's steps one at a time: the removal keywords against real shared
// counts, COM servers, GoProto and stand-in programs; the registry steps; the
// Start-menu folders.
#include "first_phase_env.h"
#include "frame/log.h"
#include "install/shared_dlls.h"
#include "platform/delete_at_restart.h"
#include "platform/system_version.h"
#include "support/restart_lists.h"
#include "uninstall/delete_folder_now.h"
#include "uninstall/ks_remove.h"
#include "uninstall/registry_cleanup.h"
#include "uninstall/start_menu_removal.h"
#include "uninstall/uninstall_options.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <string>

namespace {

using kstest::KeyExists;
using kstest::ValueExists;

constexpr char kClsid[] = "{0D6C2B4E-7A31-4C55-9E0B-5F2A8C61D7E3}";

void SetCount(const std::string& path, DWORD count)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof(count));
    RegCloseKey(key);
}

// The count, or -1 when the value is gone.
long Count(const std::string& path)
{
    DWORD count = 0, size = sizeof(count);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return -1;
    const LONG result = RegQueryValueExA(key, path.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? static_cast<long>(count) : -1;
}

// Subkeys and values of a machine key; 0 when it is missing.
DWORD EntryCount(const char* key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return 0;
    DWORD subKeys = 0, values = 0;
    RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(handle);
    return subKeys + values;
}

TEST(RemovalKeywords, EachKeywordAndTheirCombinations)
{
    kstest::ProductFixture product("kw");
    const std::string ext = product.Folder().MakeFolder("ext");
    const std::string title = "kstest_" + kstest::ExeTitle();
    char systemFolder[MAX_PATH] = {};
    GetSystemDirectoryA(systemFolder, MAX_PATH);
    const std::string system = systemFolder;
    const std::string sysForced = system + "\\" + title + "_forced.txt";
    const std::string sysShared = system + "\\" + title + "_shared.txt";
    kstest::WriteFile(sysForced, "x");
    kstest::WriteFile(sysShared, "x");
    SetCount(sysForced, 5);
    SetCount(sysShared, 3);
    for (const char* name : {"shared3.exe", "shared1.exe", "nocount.exe"})
        CopyFileA(kstest::HelperPath().c_str(), (ext + "\\" + name).c_str(), FALSE);
    SetCount(ext + "\\shared3.exe", 3);
    SetCount(ext + "\\shared1.exe", 1);
    const std::string com = ext + "\\com.dll";
    ASSERT_TRUE(CopyFileA((kstest::ExeFolder() + "\\kstest_com_2.0.0.0.dll").c_str(), com.c_str(), FALSE));
    const std::string goproto = ext + "\\gp.dll";
    ASSERT_TRUE(CopyFileA((kstest::ExeFolder() + "\\kstest_goproto.dll").c_str(), goproto.c_str(), FALSE));
    kstest::WriteFile(ext + "\\kept.txt", "x");
    kstest::WriteFile(ext + "\\s64.txt", "x");
    SetEnvironmentVariableA("KSTEST_COM_CLSID", kClsid);
    {
        HMODULE server = LoadLibraryA(com.c_str());
        ASSERT_TRUE(server);
        reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(server, "DllRegisterServer")))();
        FreeLibrary(server);
    }
    const std::string classKey = std::string("CLSID\\") + kClsid;
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    SetEnvironmentVariableA("KSTEST_KW", ext.c_str());
    SetEnvironmentVariableA("KSTEST_GOPROTO_CALL", nullptr);
    SetEnvironmentVariableA("KSTEST_GOPROTO_ERROR", "8004A025");
    product.Configure("[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\nLogDir=kstest_kw\n[]\n[Uninstall]\n"
                      "%KSTEST_KW%\\shared3.exe=shared;registered\n"
                      "%KSTEST_KW%\\shared1.exe=Shared;Registered\n"
                      "%KSTEST_KW%\\nocount.exe=shared;registered\n"
                      "%KSTEST_KW%\\com.dll=REGISTERED\n"
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
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
    EXPECT_FALSE(kstest::FileExists(com));
    // GoProto uninstalled through entry 20 but kept; its restart request is handed on.
    char call[32] = {};
    GetEnvironmentVariableA("KSTEST_GOPROTO_CALL", call, sizeof(call));
    EXPECT_STREQ(call, "20 0");
    EXPECT_TRUE(kstest::FileExists(goproto));
    EXPECT_EQ(kstest::Variable(kRebootVariable), "1");
    // " keep" with its leading space is no keyword: "shared " is none either.
    EXPECT_TRUE(kstest::FileExists(ext + "\\kept.txt"));
    // No 64-bit system folder in a 32-bit prefix: the "system64" entry is left alone.
    EXPECT_TRUE(kstest::FileExists(ext + "\\s64.txt"));
    EXPECT_FALSE(product.LoggedStartingWith("INFO Deleting " + ext + "\\s64.txt"));
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
    for (const char* name : {"KSTEST_KW", "KSTEST_COM_CLSID", "KSTEST_GOPROTO_CALL", "KSTEST_GOPROTO_ERROR"})
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
    auto seed = [&] {
        kstest::SetValue(HKEY_LOCAL_MACHINE, run, kstest::kUniqueName, "a");
        kstest::SetValue(HKEY_CURRENT_USER, run, kstest::kUniqueName, "a");
        kstest::SetValue(HKEY_LOCAL_MACHINE, services, kstest::kUniqueName, "a");
        kstest::SetValue(HKEY_CURRENT_USER, run, "KSTestOther", "a");
        kstest::SetValue(HKEY_LOCAL_MACHINE, productKey + "\\Deep\\Deeper", "v", "1");
        kstest::SetValue(HKEY_LOCAL_MACHINE, neighbour, "v", "1");
        kstest::SetValue(HKEY_LOCAL_MACHINE, uninstall, "v", "1");
        kstest::SetValue(HKEY_LOCAL_MACHINE, old, "v", "1");
    };

    // Install mode keeps every Run value; the browser value goes only when it names the browser.
    seed();
    kstest::SetValue(HKEY_CURRENT_USER, run, kBrowserRunValue, "C:\\other\\viewer.exe");
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
    kstest::SetValue(HKEY_CURRENT_USER, run, kBrowserRunValue, "\"C:\\Prod\\browser.exe\" /startup");
    RemoveRunEntries(kstest::kUniqueName);
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, run, kBrowserRunValue));
    EXPECT_TRUE(product.Logged("INFO Found VLUpdateKestrel in HKCU\\...\\Run"));
    // A missing value or key is no error.
    RemoveRunEntries(kstest::kUniqueName);

    kstest::SetValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue, "h");
    kstest::SetValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, "{KSTest-other-hook}", "h");
    RemoveShellExecuteHook();
    RemoveShellExecuteHook();
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, "{KSTest-other-hook}"));
    kstest::DeleteValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, "{KSTest-other-hook}");

    // Names that are not one key name touch nothing.
    for (const char* name : {"", "\\", "KSTestFirstPhase\\..", "..\\KSTestNeighbour"})
        RemoveProductRegistration(name);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKeyPath));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, neighbour));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, old));
    // The product's key goes whole; its parent stays while a neighbour lives in it.
    RemoveProductRegistration(kstest::kUniqueName);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, neighbour));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, uninstall));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, old));
    // Without its own uninstall registration, the old one is not looked at.
    kstest::SetValue(HKEY_LOCAL_MACHINE, old, "v", "1");
    RemoveProductRegistration(kstest::kUniqueName);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, old));
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, old.c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, neighbour.c_str());
    // Emptied parents go too, unless something else lives there (other programs of the
    // machine may keep theirs: then they must stay).
    kstest::SetValue(HKEY_LOCAL_MACHINE, productKey, "v", "1");
    const bool onlyOursBelowVLUpdate = EntryCount("SOFTWARE\\Velm\\VLUpdate") == 1;
    const bool onlyVLUpdateBelowVelm = EntryCount("SOFTWARE\\Velm") == 1;
    RemoveProductRegistration(kstest::kUniqueName);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, productKey));
    EXPECT_NE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velm\\VLUpdate"), onlyOursBelowVLUpdate);
    EXPECT_NE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velm"), onlyOursBelowVLUpdate && onlyVLUpdateBelowVelm);
    kstest::DeleteValue(HKEY_LOCAL_MACHINE, services.c_str(), kstest::kUniqueName);
    kstest::DeleteValue(HKEY_CURRENT_USER, run.c_str(), "KSTestOther");
    kstest::DeleteValue(HKEY_CURRENT_USER, run, kstest::kUniqueName);
}

TEST(StartMenuRemoval, TheGroupGoesTheProgramsFoldersStay)
{
    kstest::ProductFixture product("startmenu");
    char common[MAX_PATH] = {}, user[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, common, CSIDL_COMMON_PROGRAMS, FALSE));
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, user, CSIDL_PROGRAMS, FALSE));
    const std::string canary = "kstest_" + kstest::ExeTitle() + "_canary.txt";
    for (const std::string& folder : {std::string(common), std::string(user)}) {
        kstest::WriteFile(folder + "\\" + canary, "canary");
        CreateDirectoryA((folder + "\\KSTest Group").c_str(), nullptr);
        kstest::WriteFile(folder + "\\KSTest Group\\app.lnk", "x");
    }
    product.Configure("[General]\nPath=%PROD%\n[]\n", true);
    for (const char* title : {"", "\\", ".", "..", "..\\..", "KSTest Group\\.."}) {
        SCOPED_TRACE(title);
        RemoveStartMenuFolder(title);
        for (const std::string& folder : {std::string(common), std::string(user)}) {
            EXPECT_EQ(kstest::ReadFile(folder + "\\" + canary), "canary");
            EXPECT_TRUE(kstest::FileExists(folder + "\\KSTest Group\\app.lnk"));
        }
    }
    EXPECT_TRUE(product.LoggedStartingWith("WARNING Cannot delete system directory "));
    RemoveStartMenuFolder("KSTest Group");
    for (const std::string& folder : {std::string(common), std::string(user)}) {
        EXPECT_FALSE(kstest::FolderExists(folder + "\\KSTest Group"));
        EXPECT_EQ(kstest::ReadFile(folder + "\\" + canary), "canary");
        DeleteFileA((folder + "\\" + canary).c_str());
    }
}

}  // namespace

namespace {

TEST(DeleteFolderNow, DeletesAtOnceOrReportsWhatIsLeftNeverLater)
{
    kstest::ScratchFolder folder("now");
    folder.MakeFile("tree\\a\\b.txt");
    const std::string held = folder.MakeFile("busy\\held.txt");
    kstest::FileHolder holder(held);
    ASSERT_TRUE(holder.Holding());
    const struct {
        std::string path;
        bool result;
        DWORD lastError;
    } rows[] = {
        {folder / "tree", true, 0},
        {folder / "missing", true, 0},
        {folder / "busy", false, 32},
        {"C:\\windows", false, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        SetLastError(1234);
        EXPECT_EQ(DeleteFolderNow(row.path.c_str()), row.result);
        EXPECT_EQ(GetLastError(), row.lastError);
    }
    EXPECT_FALSE(kstest::FolderExists(folder / "tree"));
    EXPECT_TRUE(kstest::FileExists(held));
    EXPECT_TRUE(kstest::PendingDeletionsBelow(folder.Path()).empty());
    EXPECT_FALSE(DeleteFolderNow(nullptr));
}

}  // namespace
