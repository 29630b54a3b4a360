/* A stand-in for one of the sample product's programs. It does what the installer and
 * the uninstaller expect of the real one and nothing else: it records each start in
 * "<its own name>.starts" beside itself and ends at once, with exit code 0, whatever its
 * arguments ("/startup", "/stopall", "/install"). The line is its command line and
 * whether an installer or uninstaller of the product held the guard event then:
 * "/install [guard held]" or "/install [guard free]". */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char path[MAX_PATH + 16];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    lstrcatA(path, ".starts");
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        SetFilePointer(file, 0, NULL, FILE_END);
        WriteFile(file, commandLine, lstrlenA(commandLine), &written, NULL);
        /* The guard's name as the module forms it on Windows NT 5 and later. */
        HANDLE guard = OpenEventA(SYNCHRONIZE, FALSE, "Global\\Velm:VLAgent:InstallerEvent");
        const char* state = guard ? " [guard held]\r\n" : " [guard free]\r\n";
        if (guard)
            CloseHandle(guard);
        WriteFile(file, state, lstrlenA(state), &written, NULL);
        CloseHandle(file);
    }
    return 0;
}
