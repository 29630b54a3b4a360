// The finish box and its watcher. Every box is answered by a helper thread of the test
// (found by caption, its button pressed), so no test waits for a person.
#include "frame/log.h"
#include "frame/module.h"
#include "support/test_env.h"
#include "support/test_thread.h"
#include "uninstall/finish_box.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// Whether this run reports the NT family from version 5 on, as the system says.
bool WatchedSystem()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExA(&version);
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

std::string EventName()
{
    char name[96];
    std::snprintf(name, sizeof(name), "Velm:KSREMOVE:FinishMessageBox:ThreadEvent:0x%x",
                  static_cast<unsigned>(GetCurrentProcessId()));
    return name;
}

HWND WaitForBox(const char* caption)
{
    HWND box = nullptr;
    kstest::WaitUntil([&] { return (box = FindWindowA("#32770", caption)) != nullptr; }, 5000);
    return box;
}

bool IsTopmost(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

TEST(FinishBox, TheWatcherRaisesTheBoxAndTheAnswerIsTheButtonPressed)
{
    EXPECT_EQ(FinishBoxEventName(), EventName());
    const bool watched = WatchedSystem();
    const struct {
        UINT style;
        int press, result;
    } rows[] = {
        {0x40040, IDOK, IDOK},  // the success message
        {0x40021, IDOK, IDOK},  // the restart question
        {0x40021, IDCANCEL, IDCANCEL},
        {MB_OK, IDOK, IDOK},  // no top-most style of its own
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        const char kCaption[] = "KSInst finish box test";
        volatile bool found = false, raised = false;
        volatile DWORD pressedAt = 0;
        kstest::Thread answerer([&] {
            HWND box = WaitForBox(kCaption);
            if (!box)
                return;
            found = true;
            char text[128] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
            found = std::string(text) == "Probe was uninstalled successfully.";
            raised = kstest::WaitUntil([&] { return IsTopmost(box); }, watched ? 3000 : 500);
            pressedAt = GetTickCount();
            PostMessageA(box, WM_COMMAND, row.press, 0);
        });
        const int result = FinishMessageBox(nullptr, "Probe was uninstalled successfully.", kCaption, row.style);
        const DWORD returnedAt = GetTickCount();
        answerer.Join();
        EXPECT_TRUE(found);
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(raised, watched) << "only the watcher makes the box top-most under Wine";
        EXPECT_LT(returnedAt - pressedAt, 3000u) << "the watcher is not waited for long";
    }
}

LRESULT CALLBACK RefuseActivation(int code, WPARAM wParam, LPARAM lParam)
{
    return code == HCBT_ACTIVATE ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

// A box that cannot come to the front (a hook on its thread refuses activation, as a
// foreground lock would): the watcher keeps raising it until it is answered, then ends
// at once on the event.
TEST(FinishBox, ABoxKeptFromTheFrontIsRaisedUntilItIsAnswered)
{
    const bool watched = WatchedSystem();
    const char kCaption[] = "KSInst locked-out box";
    HHOOK hook = SetWindowsHookExA(WH_CBT, &RefuseActivation, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    volatile bool raised = false, inFront = true;
    volatile DWORD pressedAt = 0;
    kstest::Thread answerer([&] {
        HWND box = WaitForBox(kCaption);
        if (!box)
            return;
        raised = kstest::WaitUntil([&] { return IsTopmost(box); }, watched ? 3000 : 500);
        Sleep(1000);  // ten passes of the watcher
        inFront = GetForegroundWindow() == box;
        pressedAt = GetTickCount();
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    const int result = FinishMessageBox(nullptr, "text", kCaption, 0x40040);
    const DWORD returnedAt = GetTickCount();
    answerer.Join();
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(raised, watched);
    EXPECT_FALSE(inFront) << "the answer is still the user's to give";
    EXPECT_LT(returnedAt - pressedAt, 2000u) << "the watcher ends on the event, not after its passes";
}

// A window of another thread that is not in front: the watcher brings it there.
class WindowThread {
public:
    WindowThread()
        : thread_([this] {
              window_ = CreateWindowExA(0, "STATIC", "KSInst watched window", WS_POPUP | WS_VISIBLE | WS_BORDER, 200,
                                        200, 300, 120, nullptr, nullptr, nullptr, nullptr);
              id_ = GetCurrentThreadId();
              SetEvent(ready_);
              MSG message;
              while (GetMessageA(&message, nullptr, 0, 0) > 0)
                  DispatchMessageA(&message);
              DestroyWindow(window_);
          })
    {
    }
    ~WindowThread()
    {
        PostThreadMessageA(id_, WM_QUIT, 0, 0);
        thread_.Join();
        CloseHandle(ready_);
    }
    bool Ready() { return WaitForSingleObject(ready_, 5000) == WAIT_OBJECT_0 && window_; }
    HWND Window() const { return window_; }
    DWORD Id() const { return id_; }

private:
    HANDLE ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND window_ = nullptr;
    DWORD id_ = 0;
    kstest::Thread thread_;
};

TEST(FinishBox, TheWatcherBringsAWindowOfTheBoxThreadToTheFront)
{
    WindowThread boxThread;
    ASSERT_TRUE(boxThread.Ready());
    HWND other = CreateWindowExA(0, "STATIC", "KSInst other window", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_TRUE(other);
    SetForegroundWindow(other);
    ASSERT_TRUE(kstest::WaitUntil([&] { return GetForegroundWindow() == other; }, 2000));
    ASSERT_FALSE(IsTopmost(boxThread.Window()));
    POINT cursorBefore, cursorAfter;
    GetCursorPos(&cursorBefore);

    const DWORD start = GetTickCount();
    EXPECT_EQ(ThreadProc(boxThread.Id()), 0u);
    EXPECT_LT(GetTickCount() - start, 3000u) << "ends once the window is in front";
    EXPECT_EQ(GetForegroundWindow(), boxThread.Window());
    EXPECT_TRUE(IsTopmost(boxThread.Window()));
    GetCursorPos(&cursorAfter);
    EXPECT_EQ(cursorAfter.x, cursorBefore.x);
    EXPECT_EQ(cursorAfter.y, cursorBefore.y);

    // One attempt of its own, for a window that is not top-most: in front, and back in
    // the normal band.
    SetWindowPos(boxThread.Window(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(other);
    ASSERT_TRUE(kstest::WaitUntil([&] { return GetForegroundWindow() == other; }, 2000));
    BringToFront(boxThread.Window(), true, false);
    EXPECT_TRUE(kstest::WaitUntil([&] { return GetForegroundWindow() == boxThread.Window(); }, 2000));
    BringToFront(nullptr, true, true);  // not a window: nothing happens
    DestroyWindow(other);
}

// The box closed before the watcher made the event: the watcher finds no box and no
// signal, and gives up after its 100 passes of 100 ms.
TEST(FinishWatcher, GivesUpAfterItsPasses)
{
    WindowThread windowless;  // its one window is destroyed at once below
    ASSERT_TRUE(windowless.Ready());
    ShowWindow(windowless.Window(), SW_HIDE);
    const DWORD start = GetTickCount();
    EXPECT_EQ(ThreadProc(windowless.Id()), 0u);
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 9500u);
    EXPECT_LT(elapsed, 20000u);
}

TEST(FinishWatcher, ASignalledEventOrAMissingEventEndsItAtOnce)
{
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, EventName().c_str());
    ASSERT_TRUE(event);
    DWORD start = GetTickCount();
    EXPECT_EQ(ThreadProc(GetCurrentThreadId()), 0u);
    EXPECT_LT(GetTickCount() - start, 500u);
    CloseHandle(event);

    // Another kind of object under the event's name: the watcher logs and ends, the box
    // is shown and answered all the same.
    kstest::ScratchFolder folder("finishlog");
    g_Log.Start(folder.Path().c_str(), "finish");
    HANDLE squatter = CreateMutexA(nullptr, FALSE, EventName().c_str());
    ASSERT_TRUE(squatter);
    start = GetTickCount();
    EXPECT_EQ(ThreadProc(GetCurrentThreadId()), 0u);
    EXPECT_LT(GetTickCount() - start, 500u);
    kstest::Thread answerer([] {
        if (HWND box = WaitForBox("KSInst squatted box"))
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(FinishMessageBox(nullptr, "text", "KSInst squatted box", 0x40021), IDCANCEL);
    answerer.Join();
    CloseHandle(squatter);
    // Once from the direct call, once from the box's watcher, and nothing else.
    const std::string log = kstest::ReadFile(folder / "finish.log");
    const std::string entry = "\r\n\r\nERROR\t";
    const std::string line = "\r\nThreadProc(): Cannot create event";
    const size_t first = log.find(line);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find(line, first + 1), std::string::npos) << log;
    EXPECT_EQ(log.find(line, log.find(line, first + 1) + 1), std::string::npos) << log;
    size_t entries = 0;
    for (size_t at = log.find(entry); at != std::string::npos; at = log.find(entry, at + 1))
        ++entries;
    EXPECT_EQ(entries, 2u) << log;
}

}  // namespace
