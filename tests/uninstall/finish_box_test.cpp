// The finish box, its watcher and BringToFront. Every box is answered by a helper
// thread of the test (found by caption, its button pressed), so no test waits for a
// person.
#include "support/test_env.h"
#include "support/test_thread.h"
#include "uninstall/finish_box.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

namespace {

HWND WaitForBox(const char* caption)
{
    HWND box = nullptr;
    kstest::WaitUntil([&] { return (box = FindWindowA("#32770", caption)) != nullptr; }, 5000);
    return box;
}

bool IsTopmost(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

// A plain window class: a static control would let the mouse through to what lies below.
HWND TopLevel(const char* title, int at, int size = 100)
{
    static const ATOM plain = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = &DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KSInstPlainWindow";
        return RegisterClassA(&windowClass);
    }();
    return CreateWindowExA(0, MAKEINTATOM(plain), title, WS_POPUP | WS_VISIBLE | WS_BORDER, at, at, size, size,
                           nullptr, nullptr, nullptr, nullptr);
}

volatile bool g_refuseActivation = true;
volatile LONG g_clicks = 0;
POINT g_clickPoint = {};
HWND g_clickWindow = nullptr;

LRESULT CALLBACK RefuseActivation(int code, WPARAM wParam, LPARAM lParam)
{
    return code == HCBT_ACTIVATE && g_refuseActivation ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK RecordClick(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && (wParam == WM_LBUTTONDOWN || wParam == WM_NCLBUTTONDOWN)) {
        const auto* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
        g_clickPoint = mouse->pt;
        g_clickWindow = mouse->hwnd;
        InterlockedIncrement(&g_clicks);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A bordered pop-up on a thread of its own, pumping messages; its thread refuses
// activation while g_refuseActivation is set and records clicks. `id` is set once the
// window (or null when a hook failed) and the thread's message queue exist.
struct WindowThread {
    ~WindowThread() { PostThreadMessageA(id, WM_QUIT, 0, 0); }
    HWND volatile window = nullptr;
    volatile DWORD id = 0;
    kstest::Thread thread{[this] {
        HHOOK cbt = SetWindowsHookExA(WH_CBT, &RefuseActivation, nullptr, GetCurrentThreadId());
        HHOOK mouse = SetWindowsHookExA(WH_MOUSE, &RecordClick, nullptr, GetCurrentThreadId());
        window = cbt && mouse ? TopLevel("KSInst watched window", 300, 200) : nullptr;
        id = GetCurrentThreadId();
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
        DestroyWindow(window);
        UnhookWindowsHookEx(cbt);
        UnhookWindowsHookEx(mouse);
    }};  // last: starts once everything above exists; joined after the destructor's request
};

TEST(FinishBox, TheWatcherRaisesTheBoxAndTheAnswerIsTheButtonPressed)
{
    // The NT family from version 5 on, as the system says.
    const bool watched = kstest::NtFamily() && LOBYTE(LOWORD(GetVersion())) >= 5;
    const struct { UINT style; int press; } rows[] = {
        {0x40021, IDCANCEL},  // the restart question
        {MB_OK, IDOK},        // no top-most style of its own
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        const char kCaption[] = "KSInst finish box test";
        volatile bool raised = false;
        volatile DWORD pressedAt = 0;
        kstest::Thread answerer([&] {
            HWND box = WaitForBox(kCaption);
            raised = box && kstest::WaitUntil([&] { return IsTopmost(box); }, watched ? 3000 : 500);
            pressedAt = GetTickCount();
            PostMessageA(box, WM_COMMAND, row.press, 0);
        });
        const int result = FinishMessageBox(nullptr, "Probe was uninstalled successfully.", kCaption, row.style);
        const DWORD returnedAt = GetTickCount();
        answerer.Join();
        EXPECT_EQ(result, row.press);
        EXPECT_EQ(raised, watched) << "only the watcher makes the box top-most under Wine";
        EXPECT_LT(returnedAt - pressedAt, 3000u) << "the watcher is not waited for long";
    }
}

// A window of another thread, behind another window: BringToFront clicks its frame while
// its thread refuses activation (a CBT hook there, as a system's foreground lock would;
// a mouse hook records the click), and the watcher brings it to the front once it may
// be activated.
TEST(FinishWatcher, BringsAWindowToTheFrontClickingItsFrameWhileRefused)
{
    g_refuseActivation = true;
    WindowThread hooked;
    ASSERT_TRUE(kstest::WaitUntil([&] { return hooked.id != 0; }, 5000) && hooked.window);
    HWND window = hooked.window;
    HWND other = TopLevel("KSInst front window", 0);
    ASSERT_TRUE(other);
    SetForegroundWindow(other);
    ASSERT_TRUE(kstest::WaitUntil([&] { return GetForegroundWindow() == other; }, 2000));
    RECT frame;
    GetWindowRect(window, &frame);
    SetCursorPos(5, 5);
    const auto cursor = [] {
        POINT at;
        GetCursorPos(&at);
        return std::make_pair(at.x, at.y);
    };

    // The click lands on the middle of the bottom row, the cursor comes back, and the
    // window is back in the normal band.
    g_clicks = 0;
    BringToFront(window, true, false);
    Sleep(300);
    EXPECT_EQ(g_clicks, 1);
    EXPECT_EQ(g_clickWindow, window);
    EXPECT_EQ(std::make_pair(g_clickPoint.x, g_clickPoint.y),
              std::make_pair((frame.left + frame.right) / 2, frame.bottom - 1));
    EXPECT_EQ(cursor(), std::make_pair(5L, 5L));
    EXPECT_FALSE(IsTopmost(window)) << "it was not top-most before";
    BringToFront(nullptr, true, true);  // not a window: nothing happens

    g_refuseActivation = false;
    SetForegroundWindow(other);
    ASSERT_TRUE(kstest::WaitUntil([&] { return GetForegroundWindow() == other; }, 2000));
    const DWORD start = GetTickCount();
    EXPECT_EQ(ThreadProc(hooked.id), 0u);
    EXPECT_LT(GetTickCount() - start, 3000u) << "ends once the window is in front";
    EXPECT_EQ(GetForegroundWindow(), window);
    EXPECT_TRUE(IsTopmost(window));
    EXPECT_EQ(cursor(), std::make_pair(5L, 5L));
    g_refuseActivation = true;
    DestroyWindow(other);
}

// Without a box the watcher ends without raising anything: when another kind of object
// holds its event's name it cannot make its event and ends at once (the box is shown
// and answered all the same); else it finds no box (this thread shows no window) and
// no signal, and gives up after its 100 passes of 100 ms.
TEST(FinishWatcher, EndsAtOnceWhenItsEventNameIsTakenElseAfterItsPasses)
{
    char name[96];
    std::snprintf(name, sizeof(name), "Velm:KSREMOVE:FinishMessageBox:ThreadEvent:0x%x",
                  static_cast<unsigned>(GetCurrentProcessId()));
    HANDLE squatter = CreateMutexA(nullptr, FALSE, name);
    ASSERT_TRUE(squatter);
    DWORD start = GetTickCount();
    EXPECT_EQ(ThreadProc(GetCurrentThreadId()), 0u);
    EXPECT_LT(GetTickCount() - start, 500u);
    kstest::Thread answerer([] {
        if (HWND box = WaitForBox("KSInst squatted box"))
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(FinishMessageBox(nullptr, "text", "KSInst squatted box", 0x40021), IDCANCEL);
    answerer.Join();
    CloseHandle(squatter);

    start = GetTickCount();
    EXPECT_EQ(ThreadProc(GetCurrentThreadId()), 0u);
    EXPECT_GE(GetTickCount() - start, 9500u);
    EXPECT_LT(GetTickCount() - start, 20000u);
}

}  // namespace
