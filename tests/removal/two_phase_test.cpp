// Removal as the system's list of programs starts it: rundll32 runs the installed
// module's ExUninstall, the first phase hands over to a "KSR*.tmp" copy run by a second
// rundll32, and a simulated restart carries out what was scheduled.
#include "platform/delete_at_restart.h"
#include "removal/removal_fixture.h"
#include "uninstall/uninstall_entry.h"

#include <gtest/gtest.h>

namespace {

using kstest::BoxAnswerer;
using kstest::CountEntries;
using kstest::SampleProduct;
using kstest::ScopedEnv;

constexpr char kRestartText[] =
    "You must restart your computer to complete the uninstall process. To Restart click OK. To restart later "
    "click Cancel.";

// The product's configuration with `title`, and the texts of the boxes of a run
// through the host with `switches` (restart question answered Cancel).
struct HostRun {
    HostRun(const char* name, const char* title) : product(name), title(title)
    {
        Configure("");
        product.Folder().MakeFile("prog dir\\data\\a.txt");
    }
    void Configure(const std::string& more) const
    {
        product.WriteCfg("KSCommon.cfg", "[General]\nPath=" + product.ProductFolder() + "\nAppTitle=" + title +
                                "\nObjectPrefix=KSTestTwoPhase\n[]\n" + more);
    }
    std::vector<std::string> Run(const char* switches)
    {
        BoxAnswerer box(title + " Uninstall", IDCANCEL);
        EXPECT_TRUE(product.RunThroughHost(switches));
        return box.Stop();
    }
    bool Pending(const std::string& path) const
    {
        const std::vector<std::string> pending = kstest::PendingDeletionsBelow(product.Folder().Path());
        return std::find(pending.begin(), pending.end(), path) != pending.end();
    }
    SampleProduct product;
    std::string title;
};

TEST(TwoPhase, ASilentRemovalLeavesOnlyTheTemporaryCopyUntilTheRestart)
{
    // A stop program of the product looks at the installer guard while the first phase
    // runs: the uninstaller holds it from before the first phase to the launch.
    HostRun phase("silent", "Silent App");
    SampleProduct& product = phase.product;
    const std::string probe = product.Folder() / "probe\\kshelper.exe", probed = product.Folder() / "probe\\guard.txt";
    product.Folder().MakeFolder("probe");
    CopyFileA(kstest::HelperPath().c_str(), probe.c_str(), FALSE);
    phase.Configure("[Uninstall]\n[Stop]\nprobe=" + probe + " probe Global\\Velm:VLAgent:InstallerEvent " + probed +
                    "\n[]\n[]\n");
    EXPECT_EQ(phase.Run("/s"), std::vector<std::string>());
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

// "/oneprocess": both phases in the host's process. The loaded module keeps the product
// folder busy, so the folder is scheduled with the module in it and the restart
// question follows; the restart takes both. No temporary copy is made.
TEST(TwoPhase, OneProcessSchedulesTheLoadedModuleAndAsksForARestart)
{
    HostRun phase("one_process", "Single App");
    SampleProduct& product = phase.product;
    const std::vector<std::string> texts = phase.Run("/oneprocess");
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), kRestartText);
    EXPECT_TRUE(product.RunningTempCopies().empty());
    EXPECT_FALSE(kstest::FolderExists(product.ProductFolder() + "\\data"));
    EXPECT_TRUE(phase.Pending(product.ModulePath()));
    EXPECT_TRUE(phase.Pending(product.ProductFolder()));
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
    HostRun phase("no_temp", "Stranded App");
    SampleProduct& product = phase.product;
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
    EXPECT_EQ(CountEntries(kstest::LinkedLogEntries(),
                           "ERROR KSRemove::SwitchToRunningTemp() - could not create process, 0x", true),
              1u);
    EXPECT_TRUE(kstest::FileExists(product.ModulePath()));
    EXPECT_FALSE(kstest::FolderExists(missing));
    EXPECT_TRUE(product.RunningTempCopies().empty());
    // The guard was given back: a new event of that name is the only one.
    HANDLE guard = CreateEventA(nullptr, TRUE, TRUE, "Global\\Velm:VLAgent:InstallerEvent");
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(guard);
}

}  // namespace
