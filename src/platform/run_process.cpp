#include "platform/run_process.h"

#include "platform/scoped_handle.h"

#include <shellapi.h>

#include <vector>

namespace {

// 0x8040: keep the process handle to wait on; a console program shares the caller's
// console. Without SEE_MASK_FLAG_NO_UI the shell reports its own failures in a box.
constexpr ULONG kShellExecuteMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NO_CONSOLE;

HANDLE CreateHiddenProcess(const std::string& program, const char* arguments, DWORD creationFlags)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    std::string commandLine = "\"" + program + "\"";
    if (arguments)
        commandLine += std::string(" ") + arguments;
    // The system may write into the command line, so it gets a copy of its own.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &startup,
                        &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

// True when the shell started the program; `process` may still be null when the
// shell handed the request to a program already running.
bool ShellExecuteHidden(const std::string& program, const char* arguments, HANDLE& process)
{
    SHELLEXECUTEINFOA execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = kShellExecuteMask;
    execute.lpFile = program.c_str();
    execute.lpParameters = arguments;
    execute.nShow = SW_HIDE;
    if (!ShellExecuteExA(&execute))
        return false;
    process = execute.hProcess;
    return true;
}

}  // namespace

bool RunProcess(const std::string& program, const char* arguments, DWORD creationFlags, DWORD& exitCode)
{
    return RunProcessWithWait(program, arguments, creationFlags, exitCode, kRunProcessWaitMs);
}

bool RunProcessWithWait(const std::string& program, const char* arguments, DWORD creationFlags, DWORD& exitCode,
                        DWORD waitMs)
{
    if (program.empty())
        return false;
    HANDLE started = CreateHiddenProcess(program, arguments, creationFlags);
    // Documents, and programs the shell finds by its own rules (App Paths), start this way.
    if (!started && !ShellExecuteHidden(program, arguments, started))
        return false;
    ScopedHandle process(started);
    // A program still running after the wait is left alone: only our handle goes.
    if (WaitForSingleObject(process.Get(), waitMs) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(process.Get(), &exitCode);
    return true;
}
