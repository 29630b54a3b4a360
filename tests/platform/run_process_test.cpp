#include "platform/run_process.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

namespace {

// Processes this program started from kshelper.exe.
std::set<DWORD> HelperChildren()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, "kshelper.exe") == 0)
            ids.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

TEST(RunProcess, ReturnsTheProgramsExitCode)
{
    kstest::ScratchFolder scratch("run_codes");
    const std::string spaced = scratch.MakeFolder("with space") + "\\helper copy.exe";
    ASSERT_TRUE(CopyFileA(kstest::HelperPath().c_str(), spaced.c_str(), FALSE));
    const struct {
        std::string program;
        const char* arguments;
        DWORD flags, code;
    } rows[] = {{kstest::HelperPath(), "exit 7", 0, 7},
                {kstest::HelperPath(), "exit 3010", CREATE_NO_WINDOW, 3010},
                {kstest::HelperPath(), nullptr, 0, 1},  // no arguments: the helper's usage code
                {spaced, "exit 0", CREATE_NO_WINDOW, 0}};
    for (const auto& row : rows) {
        DWORD code = 0xDEAD;
        EXPECT_TRUE(RunProcess(row.program, row.arguments, row.flags, code)) << row.program;
        EXPECT_EQ(code, row.code) << row.program;
    }
}

TEST(RunProcess, LeavesAProgramRunningPastTheWait)
{
    const std::set<DWORD> before = HelperChildren();
    DWORD code = 0xDEAD;
    EXPECT_FALSE(RunProcessWithWait(kstest::HelperPath(), "sleep 60000", 0, code, 300));
    EXPECT_EQ(code, 0xDEADu);
    std::set<DWORD> started;
    for (DWORD id : HelperChildren())
        if (!before.count(id))
            started.insert(id);
    ASSERT_EQ(started.size(), 1u);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, *started.begin());
    ASSERT_TRUE(process);
    EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

TEST(RunProcess, FallsBackToTheShell)
{
    // A name the shell finds through App Paths, and process creation does not.
    const std::string name = "kstest_app_" + std::to_string(GetCurrentProcessId()) + ".exe";
    const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name;
    const std::string helper = kstest::HelperPath();
    ASSERT_EQ(RegSetValueA(HKEY_LOCAL_MACHINE, key.c_str(), REG_SZ, helper.c_str(), 0), ERROR_SUCCESS);
    DWORD code = 0xDEAD;
    EXPECT_TRUE(RunProcess(name, "exit 9", 0, code));
    EXPECT_EQ(code, 9u);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());

    EXPECT_FALSE(RunProcess("", "exit 1", 0, code));
    // The shell is asked without its no-error-box flag: its box is answered here.
    std::atomic<bool> answered{false}, done{false};
    std::thread answerer([&] {
        for (int i = 0; i < 400 && !done && !answered; ++i) {
            Sleep(50);
            for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr); box;
                 box = FindWindowExA(nullptr, box, "#32770", nullptr)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(box, &owner);
                if (owner == GetCurrentProcessId() && PostMessageA(box, WM_COMMAND, IDOK, 0))
                    answered = true;
            }
        }
    });
    EXPECT_FALSE(RunProcess("C:\\kstest\\no such program.exe", nullptr, 0, code));
    done = true;
    answerer.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(code, 9u);
}

}  // namespace
