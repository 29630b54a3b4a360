// BringToFront's click, seen from the window's own thread: a CBT hook there refuses
// activation (as a system's foreground lock would), a mouse hook records where the
// click lands.
#include "support/test_thread.h"
#include "uninstall/finish_box.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

volatile bool g_refuseActivation = true;
volatile LONG g_activations = 0;
volatile LONG g_clicks = 0;
POINT g_clickPoint = {};
HWND g_clickWindow = nullptr;

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        InterlockedIncrement(&g_activations);
        if (g_refuseActivation)
            return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && (wParam == WM_LBUTTONDOWN || wParam == WM_NCLBUTTONDOWN)) {
        const auto* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
        g_clickPoint = mouse->pt;
        g_clickWindow = mouse->hwnd;
        InterlockedIncrement(&g_clicks);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A plain window class: a static control would let the mouse through to what lies below.
const char* PlainClass()
{
    static const char kName[] = "KSInstPlainWindow";
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = &DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = kName;
        registered = RegisterClassA(&windowClass) != 0;
    }
    return kName;
}

// A bordered pop-up on a thread of its own with both hooks, pumping messages.
class HookedWindow {
public:
    HookedWindow()
        : thread_([this] {
              cbt_ = SetWindowsHookExA(WH_CBT, &CbtHook, nullptr, GetCurrentThreadId());
              mouse_ = SetWindowsHookExA(WH_MOUSE, &MouseHook, nullptr, GetCurrentThreadId());
              window_ = CreateWindowExA(0, PlainClass(), "KSInst hooked window", WS_POPUP | WS_VISIBLE | WS_BORDER, 300,
                                        300, 240, 100, nullptr, nullptr, nullptr, nullptr);
              id_ = GetCurrentThreadId();
              SetEvent(ready_);
              MSG message;
              while (GetMessageA(&message, nullptr, 0, 0) > 0)
                  DispatchMessageA(&message);
              DestroyWindow(window_);
              UnhookWindowsHookEx(cbt_);
              UnhookWindowsHookEx(mouse_);
          })
    {
    }
    ~HookedWindow()
    {
        PostThreadMessageA(id_, WM_QUIT, 0, 0);
        thread_.Join();
        CloseHandle(ready_);
    }
    bool Ready() { return WaitForSingleObject(ready_, 5000) == WAIT_OBJECT_0 && window_ && cbt_ && mouse_; }
    HWND Window() const { return window_; }

private:
    HANDLE ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND window_ = nullptr;
    HHOOK cbt_ = nullptr, mouse_ = nullptr;
    DWORD id_ = 0;
    kstest::Thread thread_;
};

bool IsTopmost(HWND window) { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

void Settle() { Sleep(300); }

TEST(BringToFront, ClicksTheBottomFrameRowOnlyWhenAskedAndUncovered)
{
    PlainClass();
    HookedWindow hooked;
    ASSERT_TRUE(hooked.Ready());
    HWND window = hooked.Window();
    HWND other = CreateWindowExA(0, "STATIC", "KSInst front window", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_TRUE(other);
    SetForegroundWindow(other);
    Settle();
    ASSERT_NE(GetForegroundWindow(), window);
    RECT frame;
    GetWindowRect(window, &frame);
    POINT cursor = {5, 5}, after;
    SetCursorPos(cursor.x, cursor.y);

    // Not asked to click: raised, no click, back in the normal band.
    g_clicks = 0;
    BringToFront(window, false, false);
    Settle();
    EXPECT_EQ(g_clicks, 0);
    EXPECT_FALSE(IsTopmost(window));
    EXPECT_GT(g_activations, 0) << "activation was asked for";

    // Asked: the click lands on the middle of the bottom row, the cursor comes back.
    BringToFront(window, true, false);
    Settle();
    EXPECT_EQ(g_clicks, 1);
    EXPECT_EQ(g_clickWindow, window);
    EXPECT_EQ(g_clickPoint.x, (frame.left + frame.right) / 2);
    EXPECT_EQ(g_clickPoint.y, frame.bottom - 1);
    GetCursorPos(&after);
    EXPECT_EQ(after.x, cursor.x);
    EXPECT_EQ(after.y, cursor.y);
    EXPECT_FALSE(IsTopmost(window)) << "it was not top-most before";

    // Cycling the top-most band, or a window top-most already: it stays top-most.
    BringToFront(window, false, true);
    Settle();
    EXPECT_TRUE(IsTopmost(window));
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    // Something top-most covers the click point, and stays above the window when it is
    // raised (it is owned by it): raised again, not clicked.
    HWND cover = CreateWindowExA(WS_EX_TOPMOST, PlainClass(), "KSInst cover", WS_POPUP | WS_VISIBLE,
                                 (frame.left + frame.right) / 2 - 20, frame.bottom - 20, 40, 40, window, nullptr,
                                 nullptr, nullptr);
    ASSERT_TRUE(cover);
    SetForegroundWindow(other);
    Settle();
    g_clicks = 0;
    BringToFront(window, true, false);
    Settle();
    EXPECT_EQ(g_clicks, 0);
    DestroyWindow(cover);

    // Once the window may be activated, the attempt makes it the foreground window.
    g_refuseActivation = false;
    BringToFront(window, true, false);
    Settle();
    EXPECT_EQ(GetForegroundWindow(), window);
    g_refuseActivation = true;
    DestroyWindow(other);
}

}  // namespace
