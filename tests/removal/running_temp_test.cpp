// The running-temp phase, entered as the second process enters it: with the hand-over
// variables in the environment. The phase runs through UninstallMain with the module
// loaded from the sample product, so that its result can be read; its boxes are
// answered by the test.
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

constexpr char kCaption[] = "Temp App Uninstall";
constexpr char kRestartText[] =
    "You must restart your computer to complete the uninstall process. To Restart click OK. To restart later "
    "click Cancel.";
constexpr char kDoneText[] = "Temp App was uninstalled successfully.";

// One run of the phase in this process, with the module-wide restart flag as the row
// wants it. The log of the linked code collects the entries of every run.
DWORD RunPhase(SampleProduct& product, const char* switches, bool restartNeeded, HMODULE module = nullptr)
{
    kstest::StartLinkedLog();
    RestartNeeded = restartNeeded;
    return UninstallMain(module ? module : product.Load(), 0, switches, SW_SHOWNORMAL);
}

TEST(RunningTemp, TheRestartDecisionAndWhatTheUserSees)
{
    HandOverCleared cleared;
    const struct {
        const char* switches;
        const char* reboot;  // KSREMOVE_REBOOT, null: absent
        bool restartNeeded;
        DWORD result;
        const char* text;  // the box shown, null: none
    } rows[] = {
        {"", nullptr, false, 0, kDoneText},
        {"", "1", false, 3010, kRestartText},
        {"", nullptr, true, 3010, kRestartText},
        {"", "0", false, 0, kDoneText},
        {"", "1 ", false, 0, kDoneText},
        {"", "yes", false, 0, kDoneText},
        {"/nr", "1", false, 3010, nullptr},  // no question, the result still says it
        {"/nr", "0", false, 0, kDoneText},   // "/nr" keeps the success message
        {"/s", "1", false, 3010, nullptr},
        {"/s", nullptr, false, 0, nullptr},
    };
    SampleProduct product("decision");
    const ScopedEnv name("KSREMOVE_APPNAME", "Temp App");
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.switches) + " reboot=" + (row.reboot ? row.reboot : "(none)"));
        const ScopedEnv reboot("KSREMOVE_REBOOT", row.reboot);
        // The restart question is always answered Cancel: OK would restart the prefix.
        BoxAnswerer box(kCaption, IDCANCEL);
        EXPECT_EQ(RunPhase(product, row.switches, row.restartNeeded), row.result);
        box.Stop();
        EXPECT_EQ(box.Answered(), row.text != nullptr);
        if (row.text) {
            EXPECT_EQ(box.Text(), row.text);
        }
    }
}

// A module file in use through both attempts is scheduled for the next restart, logged
// all the same, and the restart question follows.
TEST(RunningTemp, AFileInUseIsScheduledAndAsksForARestart)
{
    HandOverCleared cleared;
    SampleProduct product("in_use");
    const std::string file = product.Folder().MakeFile("old\\KSInst.dll");
    const std::string folder = product.Folder() / "old";
    const ScopedEnv name("KSREMOVE_APPNAME", "Temp App");
    const ScopedEnv delFile("KSREMOVE_DELFILE", file.c_str());
    const ScopedEnv delDir("KSREMOVE_DELDIR", folder.c_str());
    kstest::FileHolder holder(file);
    ASSERT_TRUE(holder.Holding());
    BoxAnswerer box(kCaption, IDCANCEL);
    EXPECT_EQ(RunPhase(product, "", false), 3010u);
    box.Stop();
    EXPECT_EQ(box.Text(), kRestartText);
    const std::vector<std::string> log = kstest::LinkedLogEntries();
    EXPECT_EQ(CountEntries(log, "WARNING KSRemove::UninstallRunningTemp() - could not delete '" + file + "'"), 1u);
    EXPECT_EQ(CountEntries(log, "WARNING KSRemove::UninstallRunningTemp() - could not delete '" + folder + "'"), 1u);
    const std::vector<std::string> pending = kstest::PendingDeletionsBelow(folder);
    EXPECT_NE(std::find(pending.begin(), pending.end(), file), pending.end());
    EXPECT_NE(std::find(pending.begin(), pending.end(), folder), pending.end());
}

// Hand-over paths that name a protected folder, or a file lying directly in one, are
// refused with the WARNING and nothing there changes.
TEST(RunningTemp, ProtectedHandOverPathsAreRefused)
{
    HandOverCleared cleared;
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string win = windows;
    const struct {
        const char* variable;
        std::string path;
        std::string watched;  // a folder whose entries must all stay
    } rows[] = {
        {"KSREMOVE_DELDIR", "C:\\", "C:\\"},
        {"KSREMOVE_DELDIR", "C:", "C:\\"},
        {"KSREMOVE_DELDIR", win + "\\", win},
        {"KSREMOVE_DELDIR", "C:\\kstest\\..\\windows", win},
        {"KSREMOVE_DELDIR", "C:\\users\\root", "C:\\users\\root"},
        {"KSREMOVE_DELDIR", "C:\\users", "C:\\users"},
        {"KSREMOVE_DELFILE", win + "\\win.ini", win},
        {"KSREMOVE_DELFILE", win, win},
        {"KSREMOVE_DELFILE", "C:\\users\\root\\..", "C:\\users"},
    };
    SampleProduct product("protected");
    const ScopedEnv name("KSREMOVE_APPNAME", "Temp App");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const ScopedEnv variable(row.variable, row.path.c_str());
        const size_t before = kstest::ListFolderNames(row.watched).size();
        const size_t pendingBefore = kstest::PendingDeletionsBelow(row.watched).size();
        ASSERT_GT(before, 0u);
        EXPECT_EQ(RunPhase(product, "/s", false), 0u);
        EXPECT_EQ(kstest::ListFolderNames(row.watched).size(), before);
        EXPECT_EQ(CountEntries(kstest::LinkedLogEntries(),
                               "WARNING KSRemove::UninstallRunningTemp() - should not delete '" + row.path + "'"),
                  1u);
        EXPECT_EQ(kstest::PendingDeletionsBelow(row.watched).size(), pendingBefore);
    }
}

// Left open by the Parts and decided: the second process schedules its own temporary
// copy for deletion at the next restart, and that alone asks for no restart. Only a
// "KSR*.tmp" file of the temporary folder counts as such a copy.
TEST(RunningTemp, TheTemporaryCopyIsScheduledWithoutARestart)
{
    HandOverCleared cleared;
    SampleProduct product("own_copy");
    const ScopedEnv tmp("TMP", product.TempFolder().c_str());
    const ScopedEnv temp("TEMP", product.TempFolder().c_str());
    const ScopedEnv name("KSREMOVE_APPNAME", "Temp App");
    const struct {
        std::string copy;
        bool scheduled;
    } rows[] = {
        {product.TempFolder() + "\\KSR1F.tmp", true},
        {product.TempFolder() + "\\ksr20.TMP", true},
        {product.TempFolder() + "\\KSInst.tmp", false},
        {product.ProductFolder() + "\\KSR21.tmp", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.copy);
        ASSERT_TRUE(CopyFileA(product.ModulePath().c_str(), row.copy.c_str(), FALSE));
        HMODULE copy = LoadLibraryA(row.copy.c_str());
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(RunPhase(product, "/s", false, copy), 0u);
        FreeLibrary(copy);
        const std::vector<std::string> pending = kstest::PendingDeletionsBelow(row.copy);
        EXPECT_EQ(pending.size(), row.scheduled ? 1u : 0u);
    }
    // "/install" keeps even a copy.
    const std::string copy = product.TempFolder() + "\\KSR30.tmp";
    ASSERT_TRUE(CopyFileA(product.ModulePath().c_str(), copy.c_str(), FALSE));
    HMODULE module = LoadLibraryA(copy.c_str());
    EXPECT_EQ(RunPhase(product, "/install", false, module), 0u);
    FreeLibrary(module);
    EXPECT_TRUE(kstest::PendingDeletionsBelow(copy).empty());
}

}  // namespace
