// A small program the tests start as a second process:
//   kshelper exit <code>                   exits with that code
//   kshelper hold <file> <share> <release> opens the file (created if missing) with the
//                                          share mode, signals "<release>.ready", and keeps
//                                          the file open until <release> is set
//   kshelper probe <event> <file>          writes "held" to the file when the named event
//                                          exists, else "free"; exits 0
//   kshelper /UnregServer                  writes its command line to "<own path>.unreg"
//   kshelper record <file> <code> [ms]     after ms (default 0) writes its own command line
//                                          to the file, then exits with the code
//   kshelper event <name> <signalled> <release>
//                                          creates the manual-reset event <name> in that
//                                          state (1 signalled, 0 not), signals
//                                          "<release>.ready", holds it until <release> is set
// A copy under any other name stands in for a product program (an agent): it writes its
// command line to "<its own path>.cmdline" and exits 0, whatever its arguments but
// "/UnregServer"; one whose name holds "ignore" (any case) also writes its process id to
// "<its own path>.pid" and keeps running for a minute, as a program that ignores its
// stop request.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

bool WriteText(const char* path, const char* text)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    CloseHandle(file);
    return true;
}

// Signals "<release>.ready" and waits (at most a minute) until <release> is set.
void SignalReadyAndWait(const char* releaseName)
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName);
    char readyName[MAX_PATH];
    lstrcpynA(readyName, releaseName, MAX_PATH - 8);
    lstrcatA(readyName, ".ready");
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName);
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    CloseHandle(ready);
    CloseHandle(release);
}

}  // namespace

int main(int argc, char** argv)
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH - 16);
    if (argc >= 2 && lstrcmpiA(argv[1], "/UnregServer") == 0) {
        lstrcatA(self, ".unreg");
        return WriteText(self, GetCommandLineA()) ? 0 : 2;
    }
    const char* selfName = strrchr(self, '\\') ? strrchr(self, '\\') + 1 : self;
    if (lstrcmpiA(selfName, "kshelper.exe") != 0) {
        char name[MAX_PATH] = {};
        lstrcpynA(name, selfName, MAX_PATH);
        CharLowerA(name);
        const size_t selfLength = strlen(self);
        lstrcatA(self, ".cmdline");
        if (!WriteText(self, GetCommandLineA()))
            return 2;
        if (!strstr(name, "ignore"))
            return 0;
        char pid[16] = {};
        wsprintfA(pid, "%lu", GetCurrentProcessId());
        lstrcpyA(self + selfLength, ".pid");
        WriteText(self, pid);
        Sleep(60000);
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "record") == 0) {
        if (argc >= 5)
            Sleep(strtoul(argv[4], nullptr, 0));
        WriteText(argv[2], GetCommandLineA());
        return static_cast<int>(strtoul(argv[3], nullptr, 0));
    }
    if (argc >= 5 && strcmp(argv[1], "event") == 0) {
        HANDLE event = CreateEventA(nullptr, TRUE, strcmp(argv[3], "1") == 0, argv[2]);
        if (!event)
            return 3;
        SignalReadyAndWait(argv[4]);
        CloseHandle(event);
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "probe") == 0) {
        HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, argv[2]);
        if (event)
            CloseHandle(event);
        return WriteText(argv[3], event ? "held" : "free") ? 0 : 2;
    }
    if (argc >= 3 && strcmp(argv[1], "exit") == 0)
        return static_cast<int>(strtoul(argv[2], nullptr, 0));
    if (argc >= 5 && strcmp(argv[1], "hold") == 0) {
        HANDLE file = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, strtoul(argv[3], nullptr, 0), nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 3;
        SignalReadyAndWait(argv[4]);
        CloseHandle(file);
        return 0;
    }
    return 1;
}
