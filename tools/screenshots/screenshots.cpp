// ksinst-screens.exe: shows the uninstaller's windows one at a time for the screenshot
// script (make_screenshots.sh) and closes them by itself.
//
//   ksinst-screens progress   the progress dialog, two of five stages done
//   ksinst-screens finish     the success message
//   ksinst-screens restart    the restart question
//
// When the window is ready it prints "ready <left> <top> <right> <bottom>" and keeps it
// shown for a few seconds.
#include "text/resource_text.h"
#include "uninstall/finish_box.h"
#include "uninstall/progress_dialog.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kShownMs = 4000;

void ReportReady(HWND window)
{
    RECT frame = {};
    GetWindowRect(window, &frame);
    std::printf("ready %ld %ld %ld %ld\n", frame.left, frame.top, frame.right, frame.bottom);
    std::fflush(stdout);
}

// Answers the box with `caption` once it has been shown for a while.
DWORD WINAPI AnswerBox(void* caption)
{
    HWND box = nullptr;
    for (int i = 0; i < 500 && !(box = FindWindowA("#32770", static_cast<const char*>(caption))); ++i)
        Sleep(10);
    if (!box)
        return 1;
    Sleep(500);  // the watcher's raise, then the first paint
    ReportReady(box);
    Sleep(kShownMs);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return 0;
}

int ShowBox(HMODULE module, const std::string& appName, UINT textId, UINT style)
{
    std::string caption, text;
    LoadResourceMessage(caption, module, IDS_UNINSTALL_TITLE, appName.c_str());
    LoadResourceMessage(text, module, textId, appName.c_str());
    HANDLE answerer = CreateThread(nullptr, 0, &AnswerBox, const_cast<char*>(caption.c_str()), 0, nullptr);
    if (!answerer)
        return 1;
    FinishMessageBox(nullptr, text.c_str(), caption.c_str(), style);
    WaitForSingleObject(answerer, INFINITE);
    CloseHandle(answerer);
    return 0;
}

int ShowProgress(HMODULE module, const std::string& appName)
{
    std::string caption, text;
    LoadResourceMessage(caption, module, IDS_UNINSTALL_TITLE, appName.c_str());
    LoadResourceString(text, module, IDS_PLEASE_WAIT);
    ProgressDialog dialog;
    if (!dialog.Create(module, 101, caption.c_str(), 1001, text.c_str(), 1000, 5000, 5))
        return 1;
    dialog.Step();
    dialog.Step();
    Sleep(2500);  // the bar runs to two fifths
    ReportReady(dialog.Window());
    Sleep(kShownMs);
    dialog.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* what = argc > 1 ? argv[1] : "";
    HMODULE module = LoadLibraryA("KSInst.dll");
    if (!module) {
        std::fprintf(stderr, "ksinst-screens: cannot load KSInst.dll\n");
        return 2;
    }
    std::string appName;
    LoadResourceString(appName, module, IDS_DEFAULT_APP_NAME);
    int result = 2;
    if (std::strcmp(what, "progress") == 0)
        result = ShowProgress(module, appName);
    else if (std::strcmp(what, "finish") == 0)
        result = ShowBox(module, appName, IDS_UNINSTALL_DONE, 0x40040);
    else if (std::strcmp(what, "restart") == 0)
        result = ShowBox(module, appName, IDS_RESTART_QUESTION, 0x40021);
    else
        std::fprintf(stderr, "usage: ksinst-screens progress|finish|restart\n");
    FreeLibrary(module);
    return result;
}
