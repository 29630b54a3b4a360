#include "uninstall/progress_dialog.h"

#include "platform/loaded_library.h"
#include "platform/scoped_handle.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTickMs = 100;
constexpr DWORD kReadyTimeoutMs = 3000;
constexpr DWORD kStopTimeoutMs = 10000;
// A message that the dialog thread answers within this time, or not at all.
constexpr UINT kSendTimeoutMs = 10000;
// Timers are started and killed by the dialog's own thread: Windows ties a window's
// timer to the thread that owns the window.
constexpr UINT kStartTimerMessage = WM_APP + 1;
constexpr UINT kKillTimerMessage = WM_APP + 2;

using InitCommonControlsExFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);

// The progress-bar class, registered once per process; a failure is tried again.
bool RegisterProgressClass()
{
    static bool registered = false;
    if (registered)
        return true;
    // The first comctl32 of Windows 95 and NT 4.0 lacks InitCommonControlsEx; the
    // older call registers every class and keeps comctl32 imported (loaded) for good.
    LoadedLibrary comctl("comctl32.dll");
    auto initEx = comctl.Find<InitCommonControlsExFunction>("InitCommonControlsEx");
    if (initEx) {
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_PROGRESS_CLASS};
        registered = initEx(&init) != FALSE;
    } else {
        InitCommonControls();
        registered = true;
    }
    return registered;
}

LRESULT SendBounded(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

// Centred on the work area's size, measured from the screen's origin, top-most.
void PlaceDialog(HWND window)
{
    RECT frame;
    if (!GetWindowRect(window, &frame)) {
        ShowWindow(window, SW_SHOWNORMAL);
        return;
    }
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int x = (work.right - work.left - width) / 2;
    const int y = (work.bottom - work.top - height) / 2;
    SetWindowPos(window, HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW);
}

}  // namespace

ProgressDialog::~ProgressDialog() { Close(); }

bool ProgressDialog::Create(HINSTANCE instance, int dialogId, const char* caption, int textId, const char* text,
                            int barId, unsigned durationMs, unsigned stageCount)
{
    Close();
    if (!instance || !dialogId || !caption || !textId || !text || !barId || !durationMs || !stageCount)
        return false;
    if (!RegisterProgressClass())
        return false;
    ready_.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!ready_.IsValid())
        return false;
    instance_ = instance;
    dialogId_ = dialogId;
    parent_ = nullptr;
    if (!Start()) {
        ready_.Reset();
        return false;
    }
    if (WaitForSingleObject(ready_.Get(), kReadyTimeoutMs) == WAIT_TIMEOUT)
        return false;
    ready_.Reset();
    if (!dialog_)
        return false;

    SetWindowTextA(dialog_, caption);
    SetDlgItemTextA(dialog_, textId, text);
    bar_.Attach(dialog_, barId);
    if (!bar_.IsWindow())
        return false;
    stageCount_ = static_cast<LONG>(stageCount);
    totalSteps_ = static_cast<LONG>(durationMs / kTickMs);
    SendBounded(bar_.Handle(), PBM_SETRANGE, 0, MAKELPARAM(0, totalSteps_));
    SendBounded(bar_.Handle(), PBM_SETSTEP, 1);
    timer_ = static_cast<UINT_PTR>(SendBounded(dialog_, kStartTimerMessage));
    return timer_ != 0;
}

void ProgressDialog::Step()
{
    if (bar_.IsWindow() && stage_ < stageCount_)
        InterlockedIncrement(&stage_);
}

bool ProgressDialog::Advance()
{
    // Both threads step the bar (the ticks, then Close): each step is claimed first, so
    // the bar never passes its end, where it would start over.
    for (;;) {
        const LONG position = position_;
        if (position >= totalSteps_)
            return false;
        if (InterlockedCompareExchange(&position_, position + 1, position) == position)
            break;
    }
    SendBounded(bar_.Handle(), PBM_STEPIT);
    return true;
}

void ProgressDialog::Tick()
{
    if (!bar_.IsWindow() || stageCount_ <= 0)
        return;
    const LONG target = stage_ * totalSteps_ / stageCount_;
    if (position_ < target)
        Advance();
}

void ProgressDialog::Close()
{
    if (dialog_) {
        if (timer_) {
            SendBounded(dialog_, kKillTimerMessage);
            timer_ = 0;
        }
        if (bar_.IsWindow()) {
            while (Advance())
                Sleep(kTickMs);
        }
        bar_.Detach();
        SendBounded(dialog_, WM_CLOSE);
        dialog_ = nullptr;
    }
    position_ = 0;
    stageCount_ = 0;
    stage_ = 0;
    totalSteps_ = 0;
    Stop(kStopTimeoutMs);
    ready_.Reset();
}

DWORD ProgressDialog::Run()
{
    dialog_ = CreateDialogParamA(instance_, MAKEINTRESOURCEA(dialogId_), parent_, &ProgressDialog::DialogProc,
                                 reinterpret_cast<LPARAM>(this));
    SetEvent(ready_.Get());
    if (!dialog_)
        return 1;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == -1)
            return 1;
        if (got == 0)
            return 0;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

INT_PTR CALLBACK ProgressDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<ProgressDialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
        PlaceDialog(window);
        return TRUE;
    case WM_TIMER:
        if (self)
            self->Tick();
        return FALSE;
    case kStartTimerMessage:
        SetWindowLongPtrA(window, DWLP_MSGRESULT, static_cast<LONG_PTR>(SetTimer(window, kTimerId, kTickMs, nullptr)));
        return TRUE;
    case kKillTimerMessage:
        KillTimer(window, kTimerId);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return FALSE;
    default:
        return FALSE;
    }
}
