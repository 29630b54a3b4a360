#include "platform/run_process.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

namespace {

// Processes this test program started from kshelper.exe, by id.
std::set<DWORD> HelperChildren()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, "kshelper.exe") == 0)
            ids.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

// Answers the first message box this process shows (with OK) and keeps its text.
class BoxAnswerer {
public:
    BoxAnswerer() : thread_([this] { Run(); }) {}
    ~BoxAnswerer()
    {
        stop_ = true;
        thread_.join();
    }
    bool Answered() const { return answered_; }

private:
    void Run()
    {
        for (int i = 0; i < 400 && !stop_; ++i) {
            Sleep(50);
            for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr); box;
                 box = FindWindowExA(nullptr, box, "#32770", nullptr)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(box, &owner);
                if (owner == GetCurrentProcessId() && IsWindowVisible(box)) {
                    PostMessageA(box, WM_COMMAND, IDOK, 0);
                    answered_ = true;
                    return;
                }
            }
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<bool> answered_{false};
    std::thread thread_;
};

TEST(RunProcess, ReturnsTheProgramsExitCode)
{
    kstest::ScratchFolder scratch("run_codes");
    // A program in a folder with spaces, under a name with spaces: the name is quoted.
    const std::string spaced = scratch.MakeFolder("with space") + "\\helper copy.exe";
    ASSERT_TRUE(CopyFileA(kstest::HelperPath().c_str(), spaced.c_str(), FALSE));

    struct Row {
        std::string program;
        const char* arguments;
        DWORD flags;
        DWORD code;
    } rows[] = {
        {kstest::HelperPath(), "exit 0", 0, 0},
        {kstest::HelperPath(), "exit 7", 0, 7},
        {kstest::HelperPath(), "exit 3010", CREATE_NO_WINDOW, 3010},
        {kstest::HelperPath(), nullptr, 0, 1},  // no arguments at all: the helper's usage code
        {spaced, "exit 42", CREATE_NO_WINDOW, 42},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.program + " " + (row.arguments ? row.arguments : "(none)"));
        DWORD code = 0xDEAD;
        EXPECT_TRUE(RunProcess(row.program, row.arguments, row.flags, code));
        EXPECT_EQ(code, row.code);
    }
}

TEST(RunProcess, LeavesAProgramRunningPastTheWait)
{
    const std::set<DWORD> before = HelperChildren();
    DWORD code = 0xDEAD;
    const DWORD started = GetTickCount();
    EXPECT_FALSE(RunProcessWithWait(kstest::HelperPath(), "sleep 60000", 0, code, 300));
    EXPECT_LT(GetTickCount() - started, 10000u);
    EXPECT_EQ(code, 0xDEADu);

    std::set<DWORD> started_ids;
    for (DWORD id : HelperChildren()) {
        if (!before.count(id))
            started_ids.insert(id);
    }
    ASSERT_EQ(started_ids.size(), 1u);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, *started_ids.begin());
    ASSERT_TRUE(process);
    EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
}

TEST(RunProcess, FallsBackToTheShellForProgramsOnlyItCanFind)
{
    // A program name the shell finds through App Paths and process creation does not.
    char name[64];
    wsprintfA(name, "kstest_app_%lu.exe", GetCurrentProcessId());
    const std::string key = std::string("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + name;
    HKEY appPath = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &appPath,
                              nullptr),
              ERROR_SUCCESS);
    const std::string helper = kstest::HelperPath();
    RegSetValueExA(appPath, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(helper.c_str()),
                   static_cast<DWORD>(helper.size() + 1));
    RegCloseKey(appPath);

    DWORD code = 0xDEAD;
    EXPECT_TRUE(RunProcess(name, "exit 9", 0, code));
    EXPECT_EQ(code, 9u);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

TEST(RunProcess, FailsForNoProgramAndForAMissingOne)
{
    DWORD code = 0xDEAD;
    EXPECT_FALSE(RunProcess("", "exit 1", 0, code));
    EXPECT_EQ(code, 0xDEADu);

    kstest::ScratchFolder scratch("run_missing");
    // The shell's fall-back is asked without its no-error-box flag: it shows a box,
    // which is answered here.
    BoxAnswerer answerer;
    EXPECT_FALSE(RunProcess(scratch / "missing.exe", nullptr, 0, code));
    EXPECT_EQ(code, 0xDEADu);
    EXPECT_TRUE(answerer.Answered());
}

}  // namespace
