// The first phase end to end in this process: early stops, the questions and the
// dialog answered from another thread, every step's effect at the stage where it must
// have happened, the stop programs and the hand-over variables.
#include "first_phase_env.h"
#include "frame/module.h"
#include "platform/delete_at_restart.h"
#include "support/test_thread.h"
#include "uninstall/first_phase.h"
#include "uninstall/ks_remove.h"
#include "uninstall/registry_cleanup.h"
#include "uninstall/stop_client.h"
#include "uninstall/uninstall_options.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <functional>
#include <map>
#include <string>

namespace {

using kstest::KeyExists;
using kstest::ValueExists;

const std::string kRun = kRunKeyPath;
const std::string kProductKey = std::string("SOFTWARE\\Velm\\VLUpdate\\") + kstest::kUniqueName;
const std::string kUninstallKey = std::string(kUninstallKeyPath) + "\\" + kstest::kUniqueName;
const std::string kOldUninstallKey = std::string(kUninstallKeyPath) + "\\KSTestOldRegistration";

std::function<void(unsigned)> g_onStage;
void ObserveStage(unsigned stage) { g_onStage(stage); }

// Ends a stand-in that ignored its stop request, by the process id it recorded.
void EndIgnoringProgram(const std::string& pidFile)
{
    const std::string pid = kstest::ReadFile(pidFile);
    if (pid.empty())
        return;
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, strtoul(pid.c_str(), nullptr, 10))) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

TEST(FirstPhase, EarlyStopsChangeNothing)
{
    kstest::ProductFixture product("fp_early");
    const std::string sentinel = product.Folder().MakeFile("prod\\keep.txt");
    kstest::SetValue(HKEY_CURRENT_USER, kRun, kstest::kUniqueName, "agent.exe");
    const struct {
        const char* cfg;
        bool silent;
        UINT answer;  // 0: no box may appear
        DWORD result;
        const char* message;
    } rows[] = {
        {"[General]\nLogDir=kstest_fp\nObjectPrefix=KSTestFirstPhase\n[]\n", false, 0, 1011,
         "Could not get install path from the registry."},
        {"[General]\nPath=\n[]\n", true, 0, 1011, "Could not get install path from the registry."},
        {"[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\n[]\n", false, IDNO, 1223, ""},
        {"[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\n[]\n", false, IDCANCEL, 1223, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cfg);
        product.Configure(row.cfg, row.silent);
        std::string question;
        kstest::Thread answerer([&] {
            HWND box = kstest::WaitForDialog(false, row.answer ? 10000 : 300);
            if (!box)
                return;
            char text[512] = {}, caption[128] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
            GetWindowTextA(box, caption, sizeof(caption));
            question = std::string(caption) + "|" + text;
            PostMessageA(box, WM_COMMAND, row.answer ? row.answer : IDCANCEL, 0);
        });
        EXPECT_EQ(KSRemove::UninstallFirstPhase(), row.result);
        answerer.Join();
        EXPECT_EQ(question, row.answer ? "KSTest Uninstall|Are you sure you want to completely remove the KSTest "
                                         "application and all of its components?"
                                       : "");
        EXPECT_EQ(g_UninstallOptions.errorMessage, row.message);
        EXPECT_TRUE(kstest::FileExists(sentinel));
        EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRun, kstest::kUniqueName));
        EXPECT_EQ(kstest::Variable(kAppNameVariable), "<unset>");
    }
    kstest::DeleteValue(HKEY_CURRENT_USER, kRun.c_str(), kstest::kUniqueName);
}

TEST(FirstPhase, WithoutItsDialogThePhaseStopsWith1420)
{
    kstest::ProductFixture product("fp_nodialog");
    const std::string sentinel = product.Folder().MakeFile("prod\\keep.txt");
    product.Configure("[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\n[]\n", false);
    // The test program has neither the strings nor the dialog: the question still
    // comes (without text) and the dialog cannot be made.
    g_hModule = GetModuleHandleA(nullptr);
    kstest::Thread answerer([] {
        if (HWND box = kstest::WaitForDialog(false))
            PostMessageA(box, WM_COMMAND, IDYES, 0);
    });
    EXPECT_EQ(KSRemove::UninstallFirstPhase(), 1420u);
    answerer.Join();
    EXPECT_TRUE(product.Logged("ERROR KSRemove::UninstallFirstPhase() - could not create progress dialog"));
    EXPECT_TRUE(kstest::FileExists(sentinel));
    EXPECT_EQ(kstest::Variable(kAppNameVariable), "<unset>");
}

TEST(FirstPhase, TheQuestionAndTheDialogAccompanyARemoval)
{
    kstest::ProductFixture product("fp_dialog");
    product.Folder().MakeFile("prod\\data\\a.txt");
    product.Configure("[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\nLogDir=kstest_fp_dialog\n[]\n", false);
    std::string dialogText;
    kstest::Thread answerer([&] {
        if (HWND box = kstest::WaitForDialog(false))
            PostMessageA(box, WM_COMMAND, IDYES, 0);
        // The dialog may show before its thread has set the texts.
        HWND dialog = kstest::WaitForDialog(true);
        for (DWORD start = GetTickCount(); dialog && GetTickCount() - start < 3000; Sleep(20)) {
            char caption[128] = {}, text[128] = {};
            GetWindowTextA(dialog, caption, sizeof(caption));
            GetDlgItemTextA(dialog, 1001, text, sizeof(text));
            dialogText = std::string(caption) + "|" + text;
            if (dialogText == "KSTest Uninstall|Please wait...")
                break;
        }
    });
    EXPECT_EQ(KSRemove::UninstallFirstPhase(), 0u);
    answerer.Join();
    EXPECT_EQ(dialogText, "KSTest Uninstall|Please wait...");
    EXPECT_FALSE(kstest::FolderExists(product.Product()));
    EXPECT_EQ(kstest::WaitForDialog(true, 0), nullptr);
}

// Every step, checked at the stage that follows it: what must be done by then, and
// what must not be done yet.
TEST(FirstPhase, EveryStepHasRunByItsStageAndNoneBefore)
{
    kstest::ProductFixture product("fp_steps");
    const std::string prod = product.Product();
    const std::string outside = product.Folder().MakeFile("outside\\listed.txt");
    SetEnvironmentVariableA("KSTEST_FP_OUTSIDE", product.Folder().Path().c_str());
    for (const char* program : {"agent.exe", "browser.exe", "setup.exe", "keepme.exe", "stopper.exe"})
        product.AddProgram(program);
    product.AddProgram("ignore_me.exe");
    product.Folder().MakeFile("prod\\first.txt");
    product.Folder().MakeFile("prod\\second\\x.txt");
    product.Folder().MakeFile("prod\\third.txt");
    product.Folder().MakeFile("prod\\kept.txt");
    product.Folder().MakeFile("prod\\unlisted.txt");
    product.Configure(
        "[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\nLogDir=kstest_fp_steps\nAppTitle=KSTest Group\n"
        "ModuleAgent=agent.exe\nModuleBrowser=browser.exe\nModuleSetup=setup.exe\n[]\n"
        "[Uninstall]\nfirst.txt=\nsecond=\nthird.txt=\nkept.txt=keep\n%KSTEST_FP_OUTSIDE%\\outside\\listed.txt=\n"
        "[Stop]\nAgentDoNotDelete=keepme.exe a \"b c\"\nplain=stopper.exe\nslow=ignore_me.exe -quit\n[]\n"
        "[Registry]\nOldUninstallRegName=KSTestOldRegistration\n[]\n[]\n",
        true);
    kstest::SetValue(HKEY_LOCAL_MACHINE, kRun, kstest::kUniqueName, "agent.exe");
    kstest::SetValue(HKEY_CURRENT_USER, kRun, kstest::kUniqueName, "agent.exe");
    kstest::SetValue(HKEY_CURRENT_USER, kRun, kBrowserRunValue, "\"" + prod + "\\browser.exe\" /startup");
    kstest::SetValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue, "hook");
    kstest::SetValue(HKEY_LOCAL_MACHINE, kProductKey + "\\Sub", "v", "1");
    kstest::SetValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", "x");
    kstest::SetValue(HKEY_LOCAL_MACHINE, kOldUninstallKey, "UninstallString", "x");
    char programs[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, programs, 2, FALSE));
    const std::string group = std::string(programs) + "\\KSTest Group";
    CreateDirectoryA(group.c_str(), nullptr);
    ASSERT_TRUE(kstest::WriteFile(group + "\\x.lnk", "x"));
    g_StopClientWaitMs = 1500;

    std::map<unsigned, std::string> seen;
    std::string keptArguments;
    g_onStage = [&](unsigned stage) {
        if (stage == 2)
            keptArguments = kstest::ReadFile(prod + "\\keepme.exe.cmdline");
        std::string facts;
        auto note = [&](const char* name, bool value) { facts += std::string(value ? "+" : "-") + name + " "; };
        note("run", ValueExists(HKEY_LOCAL_MACHINE, kRun, kstest::kUniqueName) ||
                        ValueExists(HKEY_CURRENT_USER, kRun, kstest::kUniqueName) ||
                        ValueExists(HKEY_CURRENT_USER, kRun, kBrowserRunValue));
        note("group", kstest::FolderExists(group));
        note("agentStopped", kstest::ReadFile(prod + "\\agent.exe.cmdline").find("/stopall") != std::string::npos);
        note("first", kstest::FileExists(prod + "\\first.txt"));
        note("third", kstest::FileExists(prod + "\\third.txt"));
        note("hook", ValueExists(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue));
        note("product", KeyExists(HKEY_LOCAL_MACHINE, kProductKey) || KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        note("folder", kstest::FileExists(prod + "\\unlisted.txt"));
        seen[stage] += facts;
    };
    g_FirstPhaseStageObserver = ObserveStage;

    EXPECT_EQ(KSRemove::UninstallFirstPhase(), 0u);
    EndIgnoringProgram(prod + "\\ignore_me.exe.pid");

    const std::map<unsigned, std::string> expected = {
        {1, "+run +group -agentStopped +first +third +hook +product +folder "},
        {2, "-run -group +agentStopped +first +third +hook +product +folder "},
        {3, "-run -group +agentStopped +first +third +hook +product +folder "},
        // Five entries: the fourth stage comes at the third (index 2).
        {4, "-run -group +agentStopped -first +third +hook +product +folder "},
        {5, "-run -group +agentStopped -first -third -hook -product +folder "},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kOldUninstallKey));
    EXPECT_FALSE(kstest::FileExists(outside));
    EXPECT_FALSE(kstest::FileExists(prod + "\\kept.txt"));  // gone with the folder, not as an entry
    EXPECT_TRUE(product.Logged("INFO Deleting " + prod + "\\first.txt returned 0"));
    EXPECT_TRUE(product.Logged("INFO Deleting " + prod + "\\second returned 0"));
    EXPECT_FALSE(product.Logged("INFO Deleting " + prod + "\\kept.txt returned 0"));
    EXPECT_TRUE(product.Logged("INFO Found VLUpdateKestrel in HKCU\\...\\Run"));

    // Stop programs: the modules got "/stopall" and are deleted, "DoNotDelete" keeps its
    // program, the one that ignored its request timed out and is left (so is the folder).
    EXPECT_TRUE(product.Logged("INFO KSRemove::StopClient(" + prod + "\\keepme.exe) - exit code = 0"));
    EXPECT_TRUE(product.Logged("SUCCESS Deleted " + prod + "\\stopper.exe"));
    EXPECT_TRUE(product.Logged("SUCCESS Deleted " + prod + "\\setup.exe"));
    EXPECT_FALSE(product.Logged("SUCCESS Deleted " + prod + "\\keepme.exe"));
    EXPECT_NE(keptArguments.find("keepme.exe\"  a \"b c\""), std::string::npos) << keptArguments;
    EXPECT_TRUE(product.LoggedStartingWith("INFO KSRemove::StopClient() - waiting timeout, 0x"));
    EXPECT_FALSE(product.LoggedStartingWith("WARNING KSRemove::StopClient() - could not create process"));
    EXPECT_TRUE(product.Logged("WARNING KSRemove::UninstallFirstPhase() - could not stop " + prod +
                               "\\ignore_me.exe  -quit"));

    // Hand-over: the folder kept the running program, so it is handed on.
    EXPECT_EQ(kstest::Variable(kAppNameVariable), "KSTest");
    EXPECT_EQ(kstest::Variable(kDelFileVariable), prod + "\\KSInst.dll");
    EXPECT_EQ(kstest::Variable(kDelDirVariable), prod);
    EXPECT_EQ(kstest::Variable(kRebootVariable), "0");
    SetEnvironmentVariableA("KSTEST_FP_OUTSIDE", nullptr);
    kstest::RemoveTestTree(prod);
}

}  // namespace
