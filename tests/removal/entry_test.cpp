// The uninstall entry: the command line ExUninstall completes, the course the switches
// and the inherited variables choose, and the installer guard. Every case goes through
// the module's export in this process or through the real rundll32 host.
#include "removal/removal_fixture.h"

#include <gtest/gtest.h>

namespace {

using kstest::BoxAnswerer;
using kstest::CountEntries;
using kstest::HandOverCleared;
using kstest::SampleProduct;
using kstest::ScopedEnv;

constexpr char kGuardEvent[] = "Global\\Velm:VLAgent:InstallerEvent";

TEST(UninstallEntry, CompletesTheCommandLineWithTheConfigurationBesideTheModule)
{
    HandOverCleared cleared;
    SampleProduct product("completion");
    const std::string cfg = product.ProductFolder() + "\\KSCommon.cfg";  // does not exist
    const struct {
        const char* given;
        std::string completed;
        std::string cfgRead;  // the configuration the uninstaller then tried
        const char* error;    // why it could not be read
    } rows[] = {
        {"", " \"/cfg=" + cfg + "\"", cfg, "0x2"},
        {nullptr, " \"/cfg=" + cfg + "\"", cfg, "0x2"},
        {"/s", "/s \"/cfg=" + cfg + "\"", cfg, "0x2"},
        {"/s /cfg=C:\\kstest\\none\\own.cfg", "/s /cfg=C:\\kstest\\none\\own.cfg", "C:\\kstest\\none\\own.cfg", "0x3"},
        // Only the lower-case text counts as present; the appended switch comes last and wins.
        {"/s /CFG=C:\\kstest\\none\\upper.cfg", "/s /CFG=C:\\kstest\\none\\upper.cfg \"/cfg=" + cfg + "\"", cfg, "0x2"},
        // An empty switch is present: nothing is added and the configuration is located.
        {"/s /cfg=", "/s /cfg=", cfg, "0x2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.completed);
        kstest::RemoveTestTree(product.TempFolder() + "\\KSInst.log");
        kstest::WriteFile(product.TempFolder() + "\\KSInst.log", "ERRORS_ONLY=0\nMAX_SIZE=0\nAPPEND=1\n");
        product.Load();
        product.ExUninstall(row.given);
        product.Unload();
        const std::vector<std::string> expected = {
            "INFO Command line = " + row.completed,
            "ERROR KSRemove::Uninstall() - could not read cfg file " + row.cfgRead + ". " + row.error,
        };
        EXPECT_EQ(product.LogEntries(), expected);
    }
}

// The guard's event held by another program: signalled by an installer, not signalled
// by an uninstaller. The two-phase course stops with the guard's message; one-process
// and install mode take no guard and go on to the first phase.
TEST(UninstallEntry, TheInstallerGuardStopsOnlyTheTwoPhaseCourse)
{
    HandOverCleared cleared;
    const struct {
        bool signalled;
        const char* switches;
        bool stopped;
        const char* message;
    } rows[] = {
        {true, "", true, "An installation is running. Please complete the installation before uninstalling Guarded App."},
        {false, "", true, "Another uninstall is running. Please complete the uninstall before uninstalling Guarded App."},
        {true, "/oneprocess", false, nullptr},
        {false, "/install", false, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.switches) + (row.signalled ? " installer" : " uninstaller"));
        SampleProduct product("guard");
        // No "Path": a first phase that runs stops at once and removes nothing.
        product.WriteProductCfg("[General]\nAppTitle=Guarded App\n");
        HANDLE guard = CreateEventA(nullptr, TRUE, row.signalled, kGuardEvent);
        ASSERT_NE(guard, nullptr);
        {
            BoxAnswerer box("Guarded App Uninstall", IDOK);
            EXPECT_TRUE(product.RunThroughHost(row.switches));
            box.Stop();
            if (row.stopped) {
                EXPECT_TRUE(box.Answered());
                EXPECT_EQ(box.Text(), row.message);
            } else if (!strstr(row.switches, "/install")) {
                // The first phase's own message: the product has no folder to remove.
                EXPECT_TRUE(box.Answered());
                EXPECT_EQ(box.Text().find("Please complete"), std::string::npos) << box.Text();
            }
        }
        CloseHandle(guard);
        const std::vector<std::string> log = product.LogEntries();
        EXPECT_EQ(CountEntries(log, "ERROR Another install / uninstall is in progress"), row.stopped ? 1u : 0u);
        EXPECT_TRUE(product.RunningTempCopies().empty());
        EXPECT_TRUE(kstest::FileExists(product.ModulePath()));
    }
}

// The silent two-phase course with the guard held: nothing is shown, the log says why.
TEST(UninstallEntry, ASilentStopByTheGuardShowsNothing)
{
    HandOverCleared cleared;
    SampleProduct product("guard_silent");
    product.WriteProductCfg("[General]\nAppTitle=Quiet App\nPath=" + product.ProductFolder() + "\n");
    HANDLE guard = CreateEventA(nullptr, TRUE, TRUE, kGuardEvent);
    BoxAnswerer box("Quiet App Uninstall", IDOK);
    EXPECT_TRUE(product.RunThroughHost("/s"));
    box.Stop();
    CloseHandle(guard);
    EXPECT_FALSE(box.Answered());
    EXPECT_EQ(CountEntries(product.LogEntries(), "ERROR Another install / uninstall is in progress"), 1u);
    EXPECT_TRUE(kstest::FileExists(product.ModulePath()));
}

// KSREMOVE_APPNAME inherited from the environment makes the call the running-temp phase:
// the product configuration is not read, the hand-over folder and file are deleted.
TEST(UninstallEntry, AnInheritedAppNameChoosesTheRunningTempCourse)
{
    HandOverCleared cleared;
    SampleProduct product("inherited");
    const std::string left = product.Folder().MakeFolder("left behind");
    const std::string file = product.Folder().MakeFile("left behind\\KSInst.dll");
    product.Folder().MakeFile("left behind\\sub\\data.bin");
    const ScopedEnv name("KSREMOVE_APPNAME", "Inherited App");
    const ScopedEnv delFile("KSREMOVE_DELFILE", file.c_str());
    const ScopedEnv delDir("KSREMOVE_DELDIR", (left + "\\").c_str());
    const ScopedEnv reboot("KSREMOVE_REBOOT", "0");
    {
        BoxAnswerer box("Inherited App Uninstall", IDOK);
        product.Load();
        product.ExUninstall("");
        box.Stop();
        EXPECT_EQ(box.Text(), "Inherited App was uninstalled successfully.");
    }
    product.Unload();
    EXPECT_FALSE(kstest::FolderExists(left));
    const std::vector<std::string> log = product.LogEntries();
    ASSERT_EQ(log.size(), 1u) << log.back();
    EXPECT_EQ(log[0].rfind("INFO Command line = ", 0), 0u);
    // The installed module that runs this course is not a temporary copy: not scheduled.
    EXPECT_TRUE(kstest::PendingDeletionsBelow(product.Folder().Path()).empty());
}

}  // namespace
