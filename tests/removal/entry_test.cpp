// The uninstall entry: the command line ExUninstall completes, the course the switches
// and the inherited variables choose, and the installer guard. Every case goes through
// the module's export in this process or through the real rundll32 host.
#include "removal/removal_fixture.h"

#include <gtest/gtest.h>

namespace kstest {
namespace {

TEST(UninstallEntry, CompletesTheCommandLineWithTheConfigurationBesideTheModule)
{
    SampleProduct product("completion");
    const std::string cfg = product.ProductFolder() + "\\KSCommon.cfg";  // does not exist
    // cfgRead: the configuration the uninstaller then tried, error: why it could not be read.
    const struct { const char* given; std::string completed; std::string cfgRead; const char* error; } rows[] = {
        {"", " \"/cfg=" + cfg + "\"", cfg, "0x2"},
        {nullptr, " \"/cfg=" + cfg + "\"", cfg, "0x2"},
        {"/s /cfg=C:\\kstest\\none\\own.cfg", "/s /cfg=C:\\kstest\\none\\own.cfg", "C:\\kstest\\none\\own.cfg", "0x3"},
        // Only the lower-case text counts as present; the appended switch comes last and wins.
        {"/s /CFG=C:\\kstest\\none\\upper.cfg", "/s /CFG=C:\\kstest\\none\\upper.cfg \"/cfg=" + cfg + "\"", cfg, "0x2"},
        // An empty switch is present: nothing is added and the configuration is located.
        {"/s /cfg=", "/s /cfg=", cfg, "0x2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.completed);
        WriteFile(product.TempFolder() + "\\KSInst.log", kLogHeader);
        std::string line = row.given ? row.given : "";
        product.Export<void(WINAPI*)(HWND, HINSTANCE, char*, int)>("ExUninstall")(
            nullptr, nullptr, row.given ? &line[0] : nullptr, SW_SHOWNORMAL);
        product.Unload();
        EXPECT_EQ(product.LogEntries(), std::vector<std::string>({"INFO Command line = " + row.completed,
                                                                  "ERROR KSRemove::Uninstall() - could not read cfg file " +
                                                                      row.cfgRead + ". " + row.error}));
    }
}

// The guard's event held by another program: signalled by an installer, not signalled
// by an uninstaller. The two-phase course stops with the guard's message (none when
// silent); one-process and install mode take no guard and go on to the first phase,
// which stops at once (the product has no folder to remove).
TEST(UninstallEntry, TheInstallerGuardStopsOnlyTheTwoPhaseCourse)
{
    // message: the text of the box shown, empty: none.
    const struct { bool signalled; const char* switches; bool stopped; const char* message; } rows[] = {
        {true, "", true, "An installation is running. Please complete the installation before uninstalling Guarded App."},
        {false, "", true, "Another uninstall is running. Please complete the uninstall before uninstalling Guarded App."},
        {true, "/s", true, ""},
        {true, "/oneprocess", false, "Could not get install path from the registry."},
        {false, "/install", false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.switches) + (row.signalled ? " installer" : " uninstaller"));
        SampleProduct product("guard");
        product.WriteCfg("KSCommon.cfg", "[General]\nAppTitle=Guarded App\n");
        HANDLE guard = CreateEventA(nullptr, TRUE, row.signalled, "Global\\Velm:VLAgent:InstallerEvent");
        ASSERT_NE(guard, nullptr);
        BoxAnswerer box("Guarded App Uninstall", IDOK);
        EXPECT_TRUE(product.RunThroughHost(row.switches));
        box.Stop();
        CloseHandle(guard);
        EXPECT_EQ(box.Text(), row.message);
        EXPECT_EQ(CountEntries(product.LogEntries(), "ERROR Another install / uninstall is in progress"),
                  row.stopped ? 1u : 0u);
        EXPECT_TRUE(product.RunningTempCopies().empty());
        EXPECT_TRUE(FileExists(product.ModulePath()));
    }
}

}  // namespace
}  // namespace kstest
