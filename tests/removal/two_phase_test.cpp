// Removal as the system's list of programs starts it: rundll32 runs the installed
// module's ExUninstall, the first phase hands over to a "KSR*.tmp" copy run by a second
// rundll32, and a simulated restart carries out what was scheduled.
#include "frame/log.h"
#include "platform/delete_at_restart.h"
#include "removal/removal_fixture.h"
#include "uninstall/uninstall_entry.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using kstest::BoxAnswerer;
using kstest::CountEntries;
using kstest::HandOverCleared;
using kstest::SampleProduct;
using kstest::ScopedEnv;

constexpr char kRestartText[] =
    "You must restart your computer to complete the uninstall process. To Restart click OK. To restart later "
    "click Cancel.";

std::string ProductCfg(const SampleProduct& product, const char* title)
{
    return std::string("[General]\nPath=") + product.ProductFolder() + "\nAppTitle=" + title +
           "\nObjectPrefix=KSTestTwoPhase\n[]\n";
}

bool Contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST(TwoPhase, ASilentRemovalLeavesOnlyTheTemporaryCopyUntilTheRestart)
{
    HandOverCleared cleared;
    SampleProduct product("silent");
    // A stop program of the product looks at the installer guard while the first phase
    // runs: the uninstaller holds it from before the first phase to the launch.
    const std::string probe = product.Folder() / "probe\\kshelper.exe";
    product.Folder().MakeFolder("probe");
    CopyFileA(kstest::HelperPath().c_str(), probe.c_str(), FALSE);
    const std::string probed = product.Folder() / "probe\\guard.txt";
    product.WriteProductCfg(ProductCfg(product, "Silent App") + "[Uninstall]\n[Stop]\nprobe=" + probe +
                            " probe Global\\Velm:VLAgent:InstallerEvent " + probed + "\n[]\n[]\n");
    product.Folder().MakeFile("prog dir\\data\\a.txt");
    product.Folder().MakeFile("prog dir\\b.bin");
    {
        BoxAnswerer box("Silent App Uninstall");
        ASSERT_TRUE(product.RunThroughHost("/s"));
        box.Stop();
        EXPECT_FALSE(box.Answered()) << box.Text();
    }
    EXPECT_FALSE(kstest::FolderExists(product.ProductFolder()));
    EXPECT_EQ(kstest::ReadFile(probed), "held");
    // Both processes ran with the same completed command line.
    const std::string line = "INFO Command line = /s \"/cfg=" + product.ProductFolder() + "\\KSCommon.cfg\"";
    EXPECT_EQ(CountEntries(product.LogEntries(), line), 2u);

    const std::vector<std::string> copies = product.RunningTempCopies();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(kstest::PendingDeletionsBelow(product.TempFolder()), copies);
    ASSERT_TRUE(kstest::SimulateRestart());
    EXPECT_TRUE(product.RunningTempCopies().empty());
}

// A file of the product folder stays in use: the second process schedules the folder,
// asks for the restart (answered Cancel), and the restart takes the rest.
TEST(TwoPhase, AFileInUseLeadsToTheRestartQuestion)
{
    HandOverCleared cleared;
    SampleProduct product("busy");
    product.WriteProductCfg(ProductCfg(product, "Busy App"));
    const std::string busy = product.Folder().MakeFile("prog dir\\busy.dat");
    std::vector<std::string> texts;
    {
        kstest::FileHolder holder(busy);
        ASSERT_TRUE(holder.Holding());
        BoxAnswerer box("Busy App Uninstall", IDCANCEL);
        ASSERT_TRUE(product.RunThroughHost(""));
        box.Stop();
        texts = box.Texts();
    }
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), kRestartText);
    EXPECT_FALSE(kstest::FileExists(product.ModulePath()));
    EXPECT_TRUE(kstest::FileExists(busy));
    const std::vector<std::string> pending = kstest::PendingDeletionsBelow(product.Folder().Path());
    EXPECT_TRUE(Contains(pending, busy));
    EXPECT_TRUE(Contains(pending, product.ProductFolder()));
    EXPECT_EQ(product.RunningTempCopies().size(), 1u);
    EXPECT_EQ(CountEntries(product.LogEntries(), "WARNING KSRemove::UninstallRunningTemp() - could not delete '" +
                                                     product.ProductFolder() + "'"),
              1u);

    ASSERT_TRUE(kstest::SimulateRestart());
    EXPECT_FALSE(kstest::FolderExists(product.ProductFolder()));
    EXPECT_TRUE(product.RunningTempCopies().empty());
}

// "/oneprocess": both phases in the host's process. The loaded module keeps the product
// folder busy, so the folder is scheduled with the module in it and the restart
// question follows; the restart takes both. No temporary copy is made.
TEST(TwoPhase, OneProcessSchedulesTheLoadedModuleAndAsksForARestart)
{
    HandOverCleared cleared;
    SampleProduct product("one_process");
    product.WriteProductCfg(ProductCfg(product, "Single App"));
    product.Folder().MakeFile("prog dir\\data\\a.txt");
    std::vector<std::string> texts;
    {
        BoxAnswerer box("Single App Uninstall", IDCANCEL);
        ASSERT_TRUE(product.RunThroughHost("/oneprocess"));
        box.Stop();
        texts = box.Texts();
    }
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), kRestartText);
    EXPECT_TRUE(product.RunningTempCopies().empty());
    EXPECT_FALSE(kstest::FolderExists(product.ProductFolder() + "\\data"));
    const std::vector<std::string> pending = kstest::PendingDeletionsBelow(product.ProductFolder());
    EXPECT_TRUE(Contains(pending, product.ModulePath()));
    EXPECT_TRUE(Contains(pending, product.ProductFolder()));
    EXPECT_EQ(CountEntries(product.LogEntries(), "INFO Command line = /oneprocess \"/cfg=" + product.ProductFolder() +
                                                     "\\KSCommon.cfg\""),
              1u);

    ASSERT_TRUE(kstest::SimulateRestart());
    EXPECT_FALSE(kstest::FolderExists(product.ProductFolder()));
}

// The copy cannot be made (the temporary folder is missing): 1067, logged, the guard
// given back, and no copy left anywhere.
TEST(TwoPhase, ALaunchThatFailsEndsWith1067)
{
    HandOverCleared cleared;
    SampleProduct product("no_temp");
    product.WriteProductCfg(ProductCfg(product, "Stranded App"));
    const std::string missing = product.Folder() / "missing";
    const std::string switches = "/s \"/cfg=" + product.ProductFolder() + "\\KSCommon.cfg\"";
    kstest::StartLinkedLog();
    DWORD result = 0;
    {
        const ScopedEnv tmp("TMP", missing.c_str());
        const ScopedEnv temp("TEMP", missing.c_str());
        result = UninstallMain(product.Load(), 0, switches.c_str(), SW_SHOWNORMAL);
    }
    EXPECT_EQ(result, 1067u);
    const std::vector<std::string> log = kstest::LinkedLogEntries();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& entry) {
                                return entry.rfind(
                                           "ERROR KSRemove::SwitchToRunningTemp() - could not create process, 0x", 0) ==
                                       0;
                            }),
              1);
    EXPECT_TRUE(kstest::FileExists(product.ModulePath()));
    EXPECT_FALSE(kstest::FolderExists(missing));
    EXPECT_TRUE(product.RunningTempCopies().empty());
    // The guard was given back: a new event of that name is the only one.
    HANDLE guard = CreateEventA(nullptr, TRUE, TRUE, "Global\\Velm:VLAgent:InstallerEvent");
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(guard);
}

}  // namespace
