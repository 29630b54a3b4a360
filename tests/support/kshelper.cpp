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

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool WriteText(const std::string& path, const char* text)
{
    FILE* file = fopen(path.c_str(), "wb");
    return file && fputs(text, file) >= 0 && fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    char buffer[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    const std::string self = buffer;
    std::string name = self.substr(self.rfind('\\') + 1);
    CharLowerA(&name[0]);
    if (argc >= 2 && lstrcmpiA(argv[1], "/UnregServer") == 0)
        return WriteText(self + ".unreg", GetCommandLineA()) ? 0 : 2;
    if (name != "kshelper.exe") {
        if (!WriteText(self + ".cmdline", GetCommandLineA()))
            return 2;
        if (name.find("ignore") != std::string::npos) {
            WriteText(self + ".pid", std::to_string(GetCurrentProcessId()).c_str());
            Sleep(60000);
        }
        return 0;
    }
    if (argc >= 4 && strcmp(argv[1], "record") == 0) {
        Sleep(argc >= 5 ? strtoul(argv[4], nullptr, 0) : 0);
        WriteText(argv[2], GetCommandLineA());
        return static_cast<int>(strtoul(argv[3], nullptr, 0));
    }
    if (argc >= 4 && strcmp(argv[1], "probe") == 0)
        return WriteText(argv[3], OpenEventA(SYNCHRONIZE, FALSE, argv[2]) ? "held" : "free") ? 0 : 2;
    if (argc >= 3 && strcmp(argv[1], "exit") == 0)
        return static_cast<int>(strtoul(argv[2], nullptr, 0));
    // What "event" and "hold" hold is released when the process ends.
    const bool event = argc >= 5 && strcmp(argv[1], "event") == 0, hold = argc >= 5 && strcmp(argv[1], "hold") == 0;
    if (!event && !hold)
        return 1;
    HANDLE held = event ? CreateEventA(nullptr, TRUE, strcmp(argv[3], "1") == 0, argv[2])
                        : CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, strtoul(argv[3], nullptr, 0), nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!held || held == INVALID_HANDLE_VALUE)
        return 3;
    // Signals "<release>.ready" and waits (at most a minute) until <release> is set.
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, argv[4]);
    SetEvent(CreateEventA(nullptr, TRUE, FALSE, (std::string(argv[4]) + ".ready").c_str()));
    WaitForSingleObject(release, 60000);
    return 0;
}
