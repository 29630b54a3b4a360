// The uninstall entry: the command line ExUninstall completes, the course the switches
// and the inherited variables choose, and the installer guard. Every case goes through
// the module's export in this process or through the real rundll32 host.
#include "removal/removal_fixture.h"

#include <gtest/gtest.h>

namespace {

using kstest::BoxAnswerer;
using kstest::CountEntries;
using kstest::SampleProduct;

TEST(UninstallEntry, CompletesTheCommandLineWithTheConfigurationBesideTheModule)
{
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
        {"/s /cfg=C:\\kstest\\none\\own.cfg", "/s /cfg=C:\\kstest\\none\\own.cfg", "C:\\kstest\\none\\own.cfg", "0x3"},
        // Only the lower-case text counts as present; the appended switch comes last and wins.
        {"/s /CFG=C:\\kstest\\none\\upper.cfg", "/s /CFG=C:\\kstest\\none\\upper.cfg \"/cfg=" + cfg + "\"", cfg, "0x2"},
        // An empty switch is present: nothing is added and the configuration is located.
        {"/s /cfg=", "/s /cfg=", cfg, "0x2"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.completed);
        kstest::WriteFile(product.TempFolder() + "\\KSInst.log", "ERRORS_ONLY=0\nMAX_SIZE=0\nAPPEND=1\n");
        std::string line = row.given ? row.given : "";
        product.Export<void(WINAPI*)(HWND, HINSTANCE, char*, int)>("ExUninstall")(
            nullptr, nullptr, row.given ? &line[0] : nullptr, SW_SHOWNORMAL);
        product.Unload();
        const std::vector<std::string> expected = {
            "INFO Command line = " + row.completed,
            "ERROR KSRemove::Uninstall() - could not read cfg file " + row.cfgRead + ". " + row.error,
        };
        EXPECT_EQ(product.LogEntries(), expected);
    }
}

// The guard's event held by another program: signalled by an installer, not signalled
// by an uninstaller. The two-phase course stops with the guard's message (none when
// silent); one-process and install mode take no guard and go on to the first phase.
TEST(UninstallEntry, TheInstallerGuardStopsOnlyTheTwoPhaseCourse)
{
    const struct {
        bool signalled;
        const char* switches;
        bool stopped;
        const char* message;  // null: no box
    } rows[] = {
        {true, "", true, "An installation is running. Please complete the installation before uninstalling Guarded App."},
        {false, "", true, "Another uninstall is running. Please complete the uninstall before uninstalling Guarded App."},
        {true, "/s", true, nullptr},
        {true, "/oneprocess", false, nullptr},
        {false, "/install", false, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.switches) + (row.signalled ? " installer" : " uninstaller"));
        SampleProduct product("guard");
        // No "Path": a first phase that runs stops at once and removes nothing.
        product.WriteCfg("KSCommon.cfg", "[General]\nAppTitle=Guarded App\n");
        HANDLE guard = CreateEventA(nullptr, TRUE, row.signalled, "Global\\Velm:VLAgent:InstallerEvent");
        ASSERT_NE(guard, nullptr);
        BoxAnswerer box("Guarded App Uninstall", IDOK);
        EXPECT_TRUE(product.RunThroughHost(row.switches));
        box.Stop();
        CloseHandle(guard);
        if (row.message) {
            EXPECT_EQ(box.Text(), row.message);
        } else if (row.stopped || strstr(row.switches, "/install")) {
            EXPECT_EQ(box.Text(), "");
        } else {
            // The first phase's own message: the product has no folder to remove.
            EXPECT_NE(box.Text(), "");
            EXPECT_EQ(box.Text().find("Please complete"), std::string::npos) << box.Text();
        }
        EXPECT_EQ(CountEntries(product.LogEntries(), "ERROR Another install / uninstall is in progress"),
                  row.stopped ? 1u : 0u);
        EXPECT_TRUE(product.RunningTempCopies().empty());
        EXPECT_TRUE(kstest::FileExists(product.ModulePath()));
    }
}

}  // namespace
