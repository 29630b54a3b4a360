// What only a 64-bit system shows: this program and the module run as 32-bit processes
// under WOW64 (CTest "uninstall.wow64", a 64-bit prefix). wine/wow64_files.sh placed
// kstest_wow64_<x>.txt from the host in both system folders of the prefix, reading
// "native" in drive_c\windows\system32 and "wow64" in drive_c\windows\syswow64. The
// tests read them through C:\windows\sysnative and C:\windows\syswow64, which name one
// folder whatever the thread's redirection. In a 32-bit prefix every test skips.
#include "first_phase_env.h"
#include "platform/folders.h"
#include "uninstall/deletion_refusal.h"
#include "uninstall/fs_redirection.h"
#include "uninstall/ks_remove.h"
#include "uninstall/registry_cleanup.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

constexpr char kRedirected[] = "C:\\windows\\system32\\";
constexpr char kNative[] = "C:\\windows\\sysnative\\";
constexpr char kWow64[] = "C:\\windows\\syswow64\\";

struct Wow64 : testing::Test {
    void SetUp() override
    {
        BOOL wow64 = FALSE;
        if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)
            GTEST_SKIP() << "not a 32-bit process on a 64-bit system";
    }
};

std::string Placed(const char* x) { return std::string("kstest_wow64_") + x + ".txt"; }

// The system64 entry `a`, then the system entry `b`, then the native system folder itself.
void RemoveTwoPlacedFiles(const char* a, const char* b)
{
    for (const char* x : {a, b})
        ASSERT_EQ(kstest::ReadFile(kNative + Placed(x)) + kstest::ReadFile(kWow64 + Placed(x)), "native\nwow64\n")
            << x << ": placed by wine/wow64_files.sh";
    kstest::ProductFixture product(a);
    product.Configure("[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\nLogDir=kstest_wow64\n[]\n[Uninstall]\n" +
                          Placed(a) + "=system64\n" + Placed(b) + "=system\n.=system64\n[]\n",
                      true);
    EXPECT_EQ(KSRemove::UninstallFirstPhase(), 0u);
    // What is left of a in both folders, then of b: "" for a file that is gone.
    EXPECT_EQ(kstest::ReadFile(kNative + Placed(a)) + "|" + kstest::ReadFile(kWow64 + Placed(a)) + "|" +
                  kstest::ReadFile(kNative + Placed(b)) + "|" + kstest::ReadFile(kWow64 + Placed(b)), "|wow64\n|native\n|");
    // Both entries are named by the same folder; the folder itself is refused.
    EXPECT_TRUE(product.Logged("INFO Deleting C:\\windows\\system32\\" + Placed(a) + " returned 0"));
    EXPECT_TRUE(product.Logged("INFO Deleting C:\\windows\\system32\\" + Placed(b) + " returned 0"));
    EXPECT_TRUE(product.Logged("WARNING Cannot delete system directory C:\\windows\\system32\\."));
    EXPECT_TRUE(kstest::FileExists(std::string(kNative) + "kernel32.dll"));
    // Redirection is on again on this thread: the plain name reaches the 32-bit folder.
    EXPECT_EQ(kstest::ReadFile(kRedirected + Placed(a)), "wow64\n");
}

// The second time as an installer calls that switched redirection off before calling the
// module: it finds it on again once the module has read the native system folder.
TEST_F(Wow64, System64EntryReachesTheNativeFolderOnlyForItself)
{
    RemoveTwoPlacedFiles("a", "b");
    struct CallerOff {
        PVOID old = nullptr;
        BOOL off = Wow64DisableWow64FsRedirection(&old);
        ~CallerOff() { Wow64RevertWow64FsRedirection(old); }
    } caller;
    ASSERT_TRUE(caller.off);
    ASSERT_EQ(kstest::ReadFile(kRedirected + Placed("view")), "native\n");
    RemoveTwoPlacedFiles("c", "d");
}

TEST_F(Wow64, SystemFoldersAndTheProtectedList)
{
    EXPECT_EQ(_stricmp(GetSystemFolder().c_str(), "C:\\windows\\system32"), 0) << GetSystemFolder();
    EXPECT_EQ(_stricmp(NativeSystemFolder().c_str(), "C:\\windows\\system32\\"), 0) << NativeSystemFolder();
    EXPECT_EQ(kstest::ReadFile(kRedirected + Placed("view")), "wow64\n");
    {
        // Off on this thread only.
        const RedirectionOff off;
        EXPECT_TRUE(off.Active());
        EXPECT_EQ(kstest::ReadFile(kRedirected + Placed("view")), "native\n");
        std::string seen;
        kstest::Thread([&] { seen = kstest::ReadFile(kRedirected + Placed("view")); }).Join();
        EXPECT_EQ(seen, "wow64\n");
    }
    EXPECT_EQ(kstest::ReadFile(kRedirected + Placed("view")), "wow64\n");
    // Both system folders, the alias of the native one and both program folders.
    const DeletionGuard guard;
    for (const char* path : {"C:\\windows\\system32", "C:\\windows\\syswow64\\", "C:\\windows\\sysnative",
                             "C:\\Program Files", "C:\\Program Files\\Common Files", "C:\\Program Files (x86)"})
        EXPECT_TRUE(IsRefusedDeletion(path, guard)) << path;
    EXPECT_FALSE(IsRefusedDeletion("C:\\windows\\sysnative\\x.dll", guard));
}

// A 32-bit installer's uninstall key lies in the 32-bit view (Wow6432Node); the module
// removes it there and leaves a 64-bit program's key of the same name alone.
TEST_F(Wow64, TheUninstallKeyGoesFromThe32BitView)
{
    const std::string& key = kstest::kUninstallKey;
    // Opens (or with `create`, creates) the key in the 64-bit view.
    const auto open64 = [&](bool create) {
        HKEY handle = nullptr;
        const LONG result = create ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                                     KEY_WRITE | KEY_WOW64_64KEY, nullptr, &handle, nullptr)
                                   : RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &handle);
        RegCloseKey(handle);
        return result == ERROR_SUCCESS;
    };
    ASSERT_TRUE(open64(true));
    kstest::SetStringValue(HKEY_LOCAL_MACHINE, key, "DisplayName", "KSTest");

    kstest::ProductFixture product("uninstkey");
    product.Configure("[General]\nPath=%PROD%\n[]\n", true);
    RemoveProductRegistration(kstest::kUniqueName);
    EXPECT_FALSE(kstest::RegKeyExists(HKEY_LOCAL_MACHINE, key));
    EXPECT_TRUE(open64(false));
    // RegDeleteKeyExA is missing before Vista: looked up by name, like the module does.
    const auto deleteKey = reinterpret_cast<LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
    ASSERT_TRUE(deleteKey);
    EXPECT_EQ(deleteKey(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
}

}  // namespace
