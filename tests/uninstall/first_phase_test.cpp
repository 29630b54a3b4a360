// The first phase end to end in this process: early stops, the questions and the
// dialog answered from another thread, every step's effect at the stage where it must
// have happened, the stop programs and the hand-over variables.
#include "first_phase_env.h"
#include "uninstall/ks_remove.h"
#include "uninstall/registry_cleanup.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace kstest {
namespace {

const std::string kOldUninstallKey = std::string(kUninstallKeyPath) + "\\KSTestOldRegistration";
constexpr char kPlainCfg[] = "[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\n[]\n";

std::function<void(unsigned)> g_onStage;
void ObserveStage(unsigned stage) { g_onStage(stage); }

constexpr char kDialogText[] = "KSTest Uninstall|Please wait...";

// "caption|text of item `item`" of a window.
std::string Texts(HWND window, int item)
{
    char text[512] = {}, caption[128] = {};
    GetDlgItemTextA(window, item, text, sizeof(text));
    GetWindowTextA(window, caption, sizeof(caption));
    return std::string(caption) + "|" + text;
}

// Answers the first box without a progress bar with `answer`; `seen` gets its texts.
void AnswerQuestion(UINT answer, DWORD timeoutMs, std::string* seen)
{
    HWND box = WaitForDialog(false, timeoutMs);
    if (seen && box)
        *seen = Texts(box, 0xFFFF);
    PostMessageA(box, WM_COMMAND, answer, 0);
}

TEST(FirstPhase, EarlyStopsChangeNothing)
{
    ProductFixture product("fp_early");
    const std::string sentinel = product.Folder().MakeFile("prod\\keep.txt");
    SetStringValue(HKEY_CURRENT_USER, kRunKeyPath, kUniqueName, "agent.exe");
    constexpr char kQuestion[] =
        "KSTest Uninstall|Are you sure you want to completely remove the KSTest application and all of its components?";
    // answer: to the question, 0: no box may appear. The last row takes the resources
    // from the test program, which has neither the strings nor the dialog: the question
    // still comes (without text), the dialog cannot be made and the phase stops with 1420.
    const struct { const char* cfg; UINT answer; DWORD result; const char* question; const char* message; } rows[] = {
        {"[General]\nLogDir=kstest_fp\nObjectPrefix=KSTestFirstPhase\n[]\n", 0, 1011, "",
         "Could not get install path from the registry."},
        {kPlainCfg, IDNO, 1223, kQuestion, ""},
        {kPlainCfg, IDYES, 1420, "|", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.result);
        product.Configure(row.cfg, false);
        if (row.result == 1420)
            g_hModule = GetModuleHandleA(nullptr);
        std::string question;
        Thread answerer([&] { AnswerQuestion(row.answer ? row.answer : IDCANCEL, row.answer ? 10000 : 300, &question); });
        EXPECT_EQ(KSRemove::UninstallFirstPhase(), row.result);
        answerer.Join();
        EXPECT_EQ(question, row.question);
        EXPECT_EQ(g_UninstallOptions.errorMessage, row.message);
        EXPECT_EQ(product.Logged("ERROR KSRemove::UninstallFirstPhase() - could not create progress dialog"),
                  row.result == 1420);
        EXPECT_TRUE(FileExists(sentinel));
        EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRunKeyPath, kUniqueName));
        EXPECT_EQ(Environment(kAppNameVariable), "");
    }
    DeleteValue(HKEY_CURRENT_USER, kRunKeyPath, kUniqueName);
}

// Every step, checked at the stage that follows it: what must be done by then, and
// what must not be done yet. The question is answered Yes and the dialog read.
TEST(FirstPhase, EveryStepHasRunByItsStageAndNoneBefore)
{
    ProductFixture product("fp_steps");
    const std::string prod = product.Product();
    const std::string outside = product.Folder().MakeFile("outside\\listed.txt");
    SetEnvironmentVariableA("KSTEST_FP_OUTSIDE", product.Folder().Path().c_str());
    for (const char* program : {"agent.exe", "browser.exe", "setup.exe", "keepme.exe", "stopper.exe", "ignore_me.exe"})
        CopyFileA(HelperPath().c_str(), (prod + "\\" + program).c_str(), FALSE);
    for (const char* file : {"first.txt", "second\\x.txt", "third.txt", "kept.txt", "unlisted.txt"})
        product.Folder().MakeFile(std::string("prod\\") + file);
    product.Configure(
        "[General]\nPath=%PROD%\nObjectPrefix=KSTestFirstPhase\nLogDir=kstest_fp_steps\nAppTitle=KSTest Group\n"
        "ModuleAgent=agent.exe\nModuleBrowser=browser.exe\nModuleSetup=setup.exe\n[]\n"
        "[Uninstall]\nfirst.txt=\nsecond=\nthird.txt=\nkept.txt=keep\n%KSTEST_FP_OUTSIDE%\\outside\\listed.txt=\n"
        "[Stop]\nAgentDoNotDelete=keepme.exe a \"b c\"\nplain=stopper.exe\nslow=ignore_me.exe -quit\n[]\n"
        "[Registry]\nOldUninstallRegName=KSTestOldRegistration\n[]\n[]\n",
        false);
    SetStringValue(HKEY_LOCAL_MACHINE, kRunKeyPath, kUniqueName, "agent.exe");
    SetStringValue(HKEY_CURRENT_USER, kRunKeyPath, kUniqueName, "agent.exe");
    SetStringValue(HKEY_CURRENT_USER, kRunKeyPath, kBrowserRunValue, "\"" + prod + "\\browser.exe\" /startup");
    SetStringValue(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue, "hook");
    SetStringValue(HKEY_LOCAL_MACHINE, kProductKey + "\\Sub", "v", "1");
    SetStringValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", "x");
    SetStringValue(HKEY_LOCAL_MACHINE, kOldUninstallKey, "UninstallString", "x");
    const std::string group = Environment("APPDATA") + "\\Microsoft\\Windows\\Start Menu\\Programs\\KSTest Group";
    MakeFile(group + "\\x.lnk");
    g_StopClientWaitMs = 1500;

    std::map<unsigned, std::string> seen;
    std::string keptArguments;
    g_onStage = [&](unsigned stage) {
        if (stage == 2)
            keptArguments = ReadFile(prod + "\\keepme.exe.cmdline");
        std::string facts;
        auto note = [&](const char* name, bool value) { facts += std::string(value ? "+" : "-") + name + " "; };
        note("run", ValueExists(HKEY_LOCAL_MACHINE, kRunKeyPath, kUniqueName) ||
                        ValueExists(HKEY_CURRENT_USER, kRunKeyPath, kUniqueName) ||
                        ValueExists(HKEY_CURRENT_USER, kRunKeyPath, kBrowserRunValue));
        note("group", FolderExists(group));
        note("agentStopped", ReadFile(prod + "\\agent.exe.cmdline").find("/stopall") != std::string::npos);
        note("first", FileExists(prod + "\\first.txt"));
        note("third", FileExists(prod + "\\third.txt"));
        note("hook", ValueExists(HKEY_LOCAL_MACHINE, kShellExecuteHooksKeyPath, kShellExecuteHookValue));
        note("product", RegKeyExists(HKEY_LOCAL_MACHINE, kProductKey) || RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        note("folder", FileExists(prod + "\\unlisted.txt"));
        seen[stage] += facts;
    };
    g_FirstPhaseStageObserver = ObserveStage;

    std::string dialogText;
    Thread answerer([&] {
        AnswerQuestion(IDYES, 10000, nullptr);
        // The dialog may show before its thread has set the texts.
        WaitUntil([&] { return (dialogText = Texts(WaitForDialog(true, 0), 1001)) == kDialogText; }, 10000);
    });
    EXPECT_EQ(KSRemove::UninstallFirstPhase(), 0u);
    answerer.Join();
    EXPECT_EQ(dialogText, kDialogText);
    EXPECT_EQ(WaitForDialog(true, 0), nullptr);
    // Ends the stand-in that ignored its stop request, by the process id it recorded.
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                     strtoul(ReadFile(prod + "\\ignore_me.exe.pid").c_str(), nullptr, 10))) {
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }

    const std::map<unsigned, std::string> expected = {
        {1, "+run +group -agentStopped +first +third +hook +product +folder "},
        {2, "-run -group +agentStopped +first +third +hook +product +folder "},
        {3, "-run -group +agentStopped +first +third +hook +product +folder "},
        // Five entries: the fourth stage comes at the third (index 2).
        {4, "-run -group +agentStopped -first +third +hook +product +folder "},
        {5, "-run -group +agentStopped -first -third -hook -product +folder "},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kOldUninstallKey));
    EXPECT_FALSE(FileExists(outside));
    EXPECT_FALSE(FileExists(prod + "\\kept.txt"));  // gone with the folder, not as an entry
    // Stop programs: the modules got "/stopall" and are deleted, "DoNotDelete" keeps its
    // program, the one that ignored its request timed out and is left (so is the folder).
    for (const std::string& entry :
         {"INFO Deleting " + prod + "\\first.txt returned 0", "INFO Deleting " + prod + "\\second returned 0",
          std::string("INFO Found VLUpdateKestrel in HKCU\\...\\Run"),
          "INFO KSRemove::StopClient(" + prod + "\\keepme.exe) - exit code = 0",
          "SUCCESS Deleted " + prod + "\\stopper.exe", "SUCCESS Deleted " + prod + "\\setup.exe",
          "WARNING KSRemove::UninstallFirstPhase() - could not stop " + prod + "\\ignore_me.exe  -quit"})
        EXPECT_TRUE(product.Logged(entry)) << entry;
    EXPECT_FALSE(product.Logged("INFO Deleting " + prod + "\\kept.txt returned 0"));
    EXPECT_FALSE(product.Logged("SUCCESS Deleted " + prod + "\\keepme.exe"));
    EXPECT_NE(keptArguments.find("keepme.exe\"  a \"b c\""), std::string::npos) << keptArguments;
    EXPECT_TRUE(product.Logged("INFO KSRemove::StopClient() - waiting timeout, 0x", true));
    EXPECT_FALSE(product.Logged("WARNING KSRemove::StopClient() - could not create process", true));

    // Hand-over: the folder kept the running program, so it is handed on.
    EXPECT_EQ(Environment(kAppNameVariable) + "|" + Environment(kDelFileVariable) + "|" + Environment(kDelDirVariable) +
                  "|" + Environment(kRebootVariable),
              "KSTest|" + prod + "\\KSInst.dll|" + prod + "|0");
    SetEnvironmentVariableA("KSTEST_FP_OUTSIDE", nullptr);
}

}  // namespace
}  // namespace kstest
