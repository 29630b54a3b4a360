#include "uninstall/finish_box.h"

#include "frame/log.h"
#include "platform/scoped_handle.h"
#include "text/format.h"

#include <process.h>

namespace {

constexpr char kEventNameFormat[] = "Velm:KSREMOVE:FinishMessageBox:ThreadEvent:0x%x";
constexpr int kMaxPasses = 100;
constexpr DWORD kPollMs = 100;
constexpr DWORD kWatcherWaitMs = 10000;
constexpr DWORD kFirstWatchedMajorVersion = 5;
constexpr UINT kPlaceFlags = SWP_NOMOVE | SWP_NOSIZE;

HANDLE CreateFinishEvent() { return CreateEventA(nullptr, TRUE, FALSE, FinishBoxEventName().c_str()); }

// Only the Windows NT family from Windows 2000 on gets a watcher, by the version record
// read now (the basic, 148-byte form).
bool WatcherWanted()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version))
        return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= kFirstWatchedMajorVersion;
}

unsigned __stdcall WatcherMain(void* boxThreadId)
{
    return ThreadProc(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(boxThreadId)));
}

BOOL CALLBACK TakeFirstVisible(HWND window, LPARAM found)
{
    if (!IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The click: the cursor on the point, menus and captures cancelled everywhere, a left
// press and release, the cursor back.
void ClickAt(const POINT& point, const POINT& saved)
{
    if (!SetCursorPos(point.x, point.y))
        return;
    PostMessageA(HWND_BROADCAST, WM_CANCELMODE, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
    SetCursorPos(saved.x, saved.y);
}

}  // namespace

std::string FinishBoxEventName()
{
    std::string name;
    FormatString(name, kEventNameFormat, static_cast<unsigned>(GetCurrentProcessId()));
    return name;
}

int FinishMessageBox(HWND owner, const char* text, const char* caption, UINT style)
{
    ScopedHandle watcher;
    if (WatcherWanted()) {
        const UINT_PTR boxThreadId = GetCurrentThreadId();
        watcher.Reset(reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, &WatcherMain, reinterpret_cast<void*>(boxThreadId), 0, nullptr)));
    }
    const int result = MessageBoxA(owner, text, caption, style);
    if (watcher.IsValid()) {
        ScopedHandle closed(CreateFinishEvent());
        if (closed.IsValid())
            SetEvent(closed.Get());
        WaitForSingleObject(watcher.Get(), kWatcherWaitMs);
    }
    return result;
}

DWORD ThreadProc(unsigned boxThreadId)
{
    ScopedHandle closed(CreateFinishEvent());
    if (!closed.IsValid()) {
        g_Log.Error("ThreadProc(): Cannot create event");
        return 0;
    }
    HWND box = nullptr;
    int passes = 0;
    do {
        if (WaitForSingleObject(closed.Get(), 0) != WAIT_TIMEOUT)
            break;
        ++passes;
        if (box) {
            SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, kPlaceFlags);
            if (GetForegroundWindow() == box)
                break;
            BringToFront(box, true, false);
            Sleep(kPollMs);
        } else {
            EnumThreadWindows(boxThreadId, &TakeFirstVisible, reinterpret_cast<LPARAM>(&box));
            if (!box)
                Sleep(kPollMs);
        }
    } while (passes < kMaxPasses);
    return 0;
}

void BringToFront(HWND window, bool clickIfNeeded, bool cycleTopmost)
{
    SetForegroundWindow(window);
    if (!IsWindow(window) || GetForegroundWindow() == window)
        return;
    UINT flags = kPlaceFlags;
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId())
        flags |= SWP_ASYNCWINDOWPOS;
    bool restoreNotTopmost = false;
    if ((GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) || cycleTopmost)
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, flags);
    else
        restoreNotTopmost = true;
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, flags);

    if (GetForegroundWindow() != window && clickIfNeeded) {
        POINT saved = {};
        GetCursorPos(&saved);
        RECT frame;
        if (GetWindowRect(window, &frame) && !IsRectEmpty(&frame)) {
            // The bottom pixel row is the box's frame: clicking it activates the box and
            // presses none of its buttons.
            const POINT point = {(frame.left + frame.right) / 2, frame.bottom - 1};
            HWND hit = WindowFromPoint(point);
            while (hit && (GetWindowLongA(hit, GWL_STYLE) & WS_CHILD))
                hit = GetParent(hit);
            if (hit != window)
                SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, flags);
            else
                ClickAt(point, saved);
        }
    }
    if (restoreNotTopmost)
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, flags);
}
