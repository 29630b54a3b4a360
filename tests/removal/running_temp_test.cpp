// The running-temp phase, entered as the second process enters it: with the hand-over
// variables in the environment. The phase runs through UninstallMain with the module
// loaded from the sample product, so that its result can be read; its boxes are
// answered by the test.
#include "platform/delete_at_restart.h"
#include "removal/removal_fixture.h"
#include "uninstall/uninstall_entry.h"

#include <gtest/gtest.h>

namespace kstest {
namespace {

constexpr char kCaption[] = "Temp App Uninstall";
constexpr char kRestartText[] =
    "You must restart your computer to complete the uninstall process. To Restart click OK. To restart later "
    "click Cancel.";
constexpr char kDoneText[] = "Temp App was uninstalled successfully.";

// One run of the phase in this process, with its application name in the environment
// and the module-wide restart flag as given. The log of the linked code collects the
// entries of every run.
DWORD RunTempPhase(HMODULE module, const char* switches, bool restartNeeded = false)
{
    const ScopedEnv appName("KSREMOVE_APPNAME", "Temp App");
    StartLinkedLog();
    RestartNeeded = restartNeeded;
    return UninstallMain(module, 0, switches, SW_SHOWNORMAL);
}

TEST(RunningTemp, TheRestartDecisionAndWhatTheUserSees)
{
    // reboot: KSREMOVE_REBOOT, null: absent; text: the box shown, empty: none.
    const struct { const char *switches, *reboot; bool restartNeeded; DWORD result; const char* text; } rows[] = {
        {"", nullptr, false, 0, kDoneText}, {"", "1", false, 3010, kRestartText}, {"", "1 ", false, 0, kDoneText},
        {"", nullptr, true, 3010, kRestartText}, {"/s", "1", false, 3010, ""},
        // "/nr": no question, the result still says it; the success message stays.
        {"/nr", "1", false, 3010, ""}, {"/nr", "0", false, 0, kDoneText},
    };
    SampleProduct product("decision");
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.switches) + " reboot=" + (row.reboot ? row.reboot : "(none)"));
        const ScopedEnv reboot("KSREMOVE_REBOOT", row.reboot);
        // The restart question is always answered Cancel: OK would restart the prefix.
        BoxAnswerer box(kCaption, IDCANCEL);
        EXPECT_EQ(RunTempPhase(product.Load(), row.switches, row.restartNeeded), row.result);
        box.Stop();
        EXPECT_EQ(box.Text(), row.text);
    }
}

// A module file in use through both attempts is scheduled for the next restart, logged
// all the same, and the restart question follows.
TEST(RunningTemp, AFileInUseIsScheduledAndAsksForARestart)
{
    SampleProduct product("in_use");
    const std::string file = product.Folder().MakeFile("old\\KSInst.dll");
    const std::string folder = product.Folder() / "old";
    const ScopedEnv delFile("KSREMOVE_DELFILE", file.c_str()), delDir("KSREMOVE_DELDIR", folder.c_str());
    FileHolder holder(file);
    ASSERT_TRUE(holder.Holding());
    BoxAnswerer box(kCaption, IDCANCEL);
    EXPECT_EQ(RunTempPhase(product.Load(), ""), 3010u);
    EXPECT_EQ(box.Stop(), std::vector<std::string>{kRestartText});
    const std::vector<std::string> pending = PendingDeletionsBelow(folder);
    for (const std::string& path : {file, folder}) {
        const std::string warning = "WARNING KSRemove::UninstallRunningTemp() - could not delete '" + path + "'";
        EXPECT_EQ(CountEntries(LinkedLogEntries(), warning), 1u);
        EXPECT_GE(std::count(pending.begin(), pending.end(), path), 1) << path;
    }
}

// Hand-over paths that name a protected folder, or a file lying directly in one, are
// refused with the WARNING and nothing there changes.
TEST(RunningTemp, ProtectedHandOverPathsAreRefused)
{
    const std::string win = WindowsFolder();
    // watched: a folder whose entries must all stay.
    const struct { const char* variable; std::string path; std::string watched; } rows[] = {
        {"KSREMOVE_DELDIR", "C:\\", "C:"}, {"KSREMOVE_DELDIR", "C:", "C:"}, {"KSREMOVE_DELDIR", win + "\\", win},
        {"KSREMOVE_DELDIR", "C:\\kstest\\..\\windows", win}, {"KSREMOVE_DELDIR", "C:\\users", "C:\\users"},
        {"KSREMOVE_DELDIR", "C:\\users\\root", "C:\\users\\root"}, {"KSREMOVE_DELFILE", win, win},
        {"KSREMOVE_DELFILE", win + "\\win.ini", win}, {"KSREMOVE_DELFILE", "C:\\users\\root\\..", "C:\\users"},
    };
    SampleProduct product("protected");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const ScopedEnv variable(row.variable, row.path.c_str());
        const std::vector<std::string> before = FolderNames(row.watched);
        const size_t pendingBefore = PendingDeletionsBelow(row.watched).size();
        ASSERT_FALSE(before.empty());
        EXPECT_EQ(RunTempPhase(product.Load(), "/s"), 0u);
        EXPECT_EQ(FolderNames(row.watched), before);
        EXPECT_EQ(CountEntries(LinkedLogEntries(),
                               "WARNING KSRemove::UninstallRunningTemp() - should not delete '" + row.path + "'"),
                  1u);
        EXPECT_EQ(PendingDeletionsBelow(row.watched).size(), pendingBefore);
    }
}

// The second process schedules its own temporary copy for deletion at the next restart,
// and that alone asks for no restart. Only a "KSR*.tmp" file of the temporary folder
// counts as such a copy; "/install" keeps even a copy.
TEST(RunningTemp, TheTemporaryCopyIsScheduledWithoutARestart)
{
    SampleProduct product("own_copy");
    const std::string tmp = product.TempFolder();
    const ScopedEnv tmpVariable("TMP", tmp.c_str()), tempVariable("TEMP", tmp.c_str());
    const struct { std::string copy; const char* switches; bool scheduled; } rows[] = {
        {tmp + "\\KSR1F.tmp", "/s", true}, {tmp + "\\ksr20.TMP", "/s", true}, {tmp + "\\KSInst.tmp", "/s", false},
        {product.ProductFolder() + "\\KSR21.tmp", "/s", false}, {tmp + "\\KSR30.tmp", "/install", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.copy);
        ASSERT_TRUE(CopyFileA(product.ModulePath().c_str(), row.copy.c_str(), FALSE));
        HMODULE copy = LoadLibraryA(row.copy.c_str());
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(RunTempPhase(copy, row.switches), 0u);
        FreeLibrary(copy);
        EXPECT_EQ(PendingDeletionsBelow(row.copy).size(), row.scheduled ? 1u : 0u);
    }
}

// "/oneprocess": both phases in this process. The loaded module keeps its folder busy,
// so both are scheduled for the restart, and the result asks for it.
TEST(RunningTemp, OneProcessRunsBothPhasesAndSchedulesTheLoadedModule)
{
    SampleProduct product("one_process");
    product.Folder().MakeFile("prog dir\\data\\a.txt");
    product.WriteCfg("KSCommon.cfg", "[General]\nPath=" + product.ProductFolder() + "\nObjectPrefix=KSTestOneProcess\n");
    const std::string switches = "/oneprocess /s \"/cfg=" + product.ProductFolder() + "\\KSCommon.cfg\"";
    RestartNeeded = false;
    EXPECT_EQ(UninstallMain(product.Load(), 0, switches.c_str(), SW_SHOWNORMAL), 3010u);
    EXPECT_FALSE(FolderExists(product.ProductFolder() + "\\data"));
    const std::vector<std::string> pending = PendingDeletionsBelow(product.ProductFolder(), true);
    for (const std::string& path : {product.ModulePath(), product.ProductFolder()})
        EXPECT_GE(std::count(pending.begin(), pending.end(), path), 1) << path;
}

}  // namespace
}  // namespace kstest
