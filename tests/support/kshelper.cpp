// A small program the tests start as a second process:
//   kshelper exit <code>                   exits with that code
//   kshelper sleep <ms>                    sleeps, then exits 0
//   kshelper write <file> <text>           writes the text to the file, exits 0
//   kshelper hold <file> <event> [share]   opens the file (created if missing) with the
//                                          share mode (default 0), signals "<event>.ready",
//                                          and keeps the file open until <event> is set
//   kshelper /UnregServer                  writes its command line to "<own path>.unreg"
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc >= 2 && lstrcmpiA(argv[1], "/UnregServer") == 0) {
        char marker[MAX_PATH + 8] = {};
        GetModuleFileNameA(nullptr, marker, MAX_PATH);
        lstrcatA(marker, ".unreg");
        HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 2;
        const char* line = GetCommandLineA();
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
        CloseHandle(file);
        return 0;
    }
    if (argc >= 3 && strcmp(argv[1], "exit") == 0)
        return static_cast<int>(strtoul(argv[2], nullptr, 0));
    if (argc >= 3 && strcmp(argv[1], "sleep") == 0) {
        Sleep(strtoul(argv[2], nullptr, 0));
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "write") == 0) {
        HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 2;
        DWORD written = 0;
        WriteFile(file, argv[3], static_cast<DWORD>(strlen(argv[3])), &written, nullptr);
        CloseHandle(file);
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "hold") == 0) {
        DWORD share = argc >= 5 ? strtoul(argv[4], nullptr, 0) : 0;
        HANDLE release = CreateEventA(nullptr, TRUE, FALSE, argv[3]);
        char readyName[MAX_PATH];
        lstrcpynA(readyName, argv[3], MAX_PATH - 8);
        lstrcatA(readyName, ".ready");
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName);
        HANDLE file = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 3;
        SetEvent(ready);
        WaitForSingleObject(release, 60000);
        CloseHandle(file);
        CloseHandle(ready);
        CloseHandle(release);
        return 0;
    }
    return 1;
}
