/* Answers the uninstaller's message boxes the way a person removing the product would,
 * for the demo, which runs the registered uninstall command unattended:
 *
 *   sample_boxanswer <log file> <stop file> <bound in ms>
 *
 * Every message box (class "#32770") that appears is written to the log file (caption
 * and text on one line) and answered: the restart question with Cancel (the demo then
 * restarts the prefix itself), any other question with Yes, anything else with OK. It
 * ends when the stop file exists or the bound has passed (exit code 1 then). */
#include <windows.h>
#include <stdlib.h>

static HWND answered[64];
static int answeredCount;

static void Log(const char* path, const char* line)
{
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    SetFilePointer(file, 0, NULL, FILE_END);
    WriteFile(file, line, lstrlenA(line), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

static BOOL CALLBACK Answer(HWND window, LPARAM logPath)
{
    char cls[16], caption[256], text[1024], line[1400];
    if (!IsWindowVisible(window) || !GetClassNameA(window, cls, sizeof(cls)) || lstrcmpA(cls, "#32770") != 0)
        return TRUE;
    for (int i = 0; i < answeredCount; ++i)
        if (answered[i] == window)
            return TRUE;
    /* A dialog without a static text 0xFFFF is the progress dialog: left alone. */
    if (!GetDlgItemTextA(window, 0xFFFF, text, sizeof(text)))
        return TRUE;
    GetWindowTextA(window, caption, sizeof(caption));
    WPARAM button = IDOK;
    const char* name = "OK";
    CharLowerA(text);
    BOOL restart = FALSE;
    for (const char* p = text; *p; ++p)
        if (CompareStringA(LOCALE_INVARIANT, 0, p, 7, "restart", 7) == CSTR_EQUAL)
            restart = TRUE;
    if (restart && GetDlgItem(window, IDCANCEL)) {
        button = IDCANCEL;
        name = "Cancel";
    } else if (restart && GetDlgItem(window, IDNO)) {
        button = IDNO;
        name = "No";
    } else if (GetDlgItem(window, IDYES)) {
        button = IDYES;
        name = "Yes";
    }
    GetDlgItemTextA(window, 0xFFFF, text, sizeof(text));
    wsprintfA(line, "[%s] %s -> %s", caption, text, name);
    Log((const char*)logPath, line);
    if (answeredCount < 64)
        answered[answeredCount++] = window;
    PostMessageA(window, WM_COMMAND, button, 0);
    return TRUE;
}

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    DWORD bound = (DWORD)atoi(argv[3]);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < bound) {
        if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES)
            return 0;
        EnumWindows(Answer, (LPARAM)argv[1]);
        Sleep(100);
    }
    return 1;
}
