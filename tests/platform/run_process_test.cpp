#include "platform/run_process.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

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
