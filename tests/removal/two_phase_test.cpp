// Removal as the system's list of programs starts it: rundll32 runs the installed
// module's ExUninstall, the first phase hands over to a "KSR*.tmp" copy run by a second
// rundll32, and a simulated restart carries out what was scheduled.
#include "removal/removal_fixture.h"
#include "uninstall/uninstall_entry.h"

#include <gtest/gtest.h>

namespace kstest {
namespace {

// The sample product with a data file and the configuration naming `title` and `more`.
void Configure(const SampleProduct& product, const char* title, const std::string& more = "")
{
    product.Folder().MakeFile("prog dir\\data\\a.txt");
    product.WriteCfg("KSCommon.cfg", "[General]\nPath=" + product.ProductFolder() + "\nAppTitle=" + title +
                                         "\nObjectPrefix=KSTestTwoPhase\n[]\n" + more);
}

TEST(TwoPhase, ASilentRemovalLeavesOnlyTheTemporaryCopyUntilTheRestart)
{
    // A stop program of the product looks at the installer guard while the first phase
    // runs: the uninstaller holds it from before the first phase to the launch.
    SampleProduct product("silent");
    const std::string probe = product.Folder() / "probe\\kshelper.exe", probed = product.Folder() / "probe\\guard.txt";
    product.Folder().MakeFolder("probe");
    CopyFileA(HelperPath().c_str(), probe.c_str(), FALSE);
    Configure(product, "Silent App",
              "[Uninstall]\n[Stop]\nprobe=" + probe + " probe Global\\Velm:VLAgent:InstallerEvent " + probed + "\n[]\n[]\n");
    BoxAnswerer box("Silent App Uninstall", IDCANCEL);
    EXPECT_TRUE(product.RunThroughHost("/s"));
    EXPECT_EQ(box.Stop(), std::vector<std::string>());
    EXPECT_FALSE(FolderExists(product.ProductFolder()));
    EXPECT_EQ(ReadFile(probed), "held");
    // Both processes ran with the same completed command line.
    const std::string line = "INFO Command line = /s \"/cfg=" + product.ProductFolder() + "\\KSCommon.cfg\"";
    EXPECT_EQ(CountEntries(product.LogEntries(), line), 2u);

    const std::vector<std::string> copies = product.RunningTempCopies();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(PendingDeletionsBelow(product.TempFolder()), copies);
    ASSERT_TRUE(SimulateRestart());
    EXPECT_TRUE(product.RunningTempCopies().empty());
}

// The copy cannot be made (the temporary folder is missing): 1067, logged, the guard
// given back, and no copy left anywhere.
TEST(TwoPhase, ALaunchThatFailsEndsWith1067)
{
    SampleProduct product("no_temp");
    Configure(product, "Stranded App");
    const std::string missing = product.Folder() / "missing";
    const std::string switches = "/s \"/cfg=" + product.ProductFolder() + "\\KSCommon.cfg\"";
    StartLinkedLog();
    const ScopedEnv tmp("TMP", missing.c_str()), temp("TEMP", missing.c_str());
    EXPECT_EQ(UninstallMain(product.Load(), 0, switches.c_str(), SW_SHOWNORMAL), 1067u);
    const char error[] = "ERROR KSRemove::SwitchToRunningTemp() - could not create process, 0x";
    EXPECT_EQ(CountEntries(LinkedLogEntries(), error, true), 1u);
    EXPECT_TRUE(FileExists(product.ModulePath()));
    EXPECT_FALSE(FolderExists(missing));
    EXPECT_TRUE(product.RunningTempCopies().empty());
    // The guard was given back: a new event of that name is the only one.
    HANDLE guard = CreateEventA(nullptr, TRUE, TRUE, "Global\\Velm:VLAgent:InstallerEvent");
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(guard);
}

}  // namespace
}  // namespace kstest
