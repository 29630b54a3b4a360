#include "platform/run_process.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

namespace {

TEST(RunProcess, ReturnsTheExitCodeAndFallsBackToTheShell)
{
    kstest::ScratchFolder scratch("run_codes");
    const std::string spaced = scratch.MakeFolder("with space") + "\\helper copy.exe";
    ASSERT_TRUE(CopyFileA(kstest::HelperPath().c_str(), spaced.c_str(), FALSE));
    DWORD code = 0xDEAD;
    EXPECT_TRUE(RunProcess(kstest::HelperPath(), "exit 3010", CREATE_NO_WINDOW, code));
    EXPECT_EQ(code, 3010u);
    // A copy under another name records its command line and exits 0.
    EXPECT_TRUE(RunProcess(spaced, "exit 7", 0, code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(kstest::FileExists(spaced + ".cmdline"));
    EXPECT_FALSE(RunProcess("", "exit 1", 0, code));

    // A name the shell finds through App Paths, and process creation does not.
    const std::string name = "kstest_app_" + std::to_string(GetCurrentProcessId()) + ".exe";
    const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name;
    ASSERT_EQ(RegSetValueA(HKEY_LOCAL_MACHINE, key.c_str(), REG_SZ, kstest::HelperPath().c_str(), 0), ERROR_SUCCESS);
    EXPECT_TRUE(RunProcess(name, "exit 9", 0, code));
    EXPECT_EQ(code, 9u);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

TEST(RunProcess, LeavesAProgramRunningPastTheWait)
{
    kstest::ScratchFolder scratch("run_wait");
    const std::string held = scratch / "held.txt", event = "kstest_run_wait_" + std::to_string(GetCurrentProcessId());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (event + ".ready").c_str());
    DWORD code = 0xDEAD;
    EXPECT_FALSE(RunProcessWithWait(kstest::HelperPath(), ("hold " + held + " 0 " + event).c_str(), 0, code, 300));
    EXPECT_EQ(code, 0xDEADu);
    // The helper signals once it holds its file: it is still running.
    EXPECT_EQ(WaitForSingleObject(ready, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    SetEvent(release);
    for (int i = 0; i < 200 && !DeleteFileA(held.c_str()); ++i)
        Sleep(50);
    CloseHandle(ready);
    CloseHandle(release);
}

}  // namespace
