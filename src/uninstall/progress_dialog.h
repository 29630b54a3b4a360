// The uninstaller's progress dialog: a modeless dialog on a thread of its own whose bar
// moves on a 100 ms timer towards the share of the stages the caller has completed.
#pragma once

#include "platform/scoped_handle.h"
#include "platform/window_ref.h"
#include "platform/worker_thread.h"

#include <windows.h>

class ProgressDialog : public CWorkerThread {
public:
    ProgressDialog() = default;
    // Closes the dialog (filling the bar first) and ends its thread.
    ~ProgressDialog() override;

    // Closes any earlier dialog, then shows dialog `dialogId` of `instance` on a new
    // thread with `caption`, `text` in control `textId`, and the bar `barId` set to
    // durationMs / 100 steps over `stageCount` stages. False when an argument is 0 or
    // null, the dialog or its bar does not appear within 3 s, or the timer fails; the
    // caller then destroys the object.
    bool Create(HINSTANCE instance, int dialogId, const char* caption, int textId, const char* text, int barId,
                unsigned durationMs, unsigned stageCount);

    // Marks one more stage as done (never more than announced); the timer moves the bar.
    void Step();

    // Runs the bar to its end at one step per 100 ms, closes the dialog and ends the
    // thread. Does nothing visible without a dialog.
    void Close();

    // The dialog thread: creates the dialog and runs its message loop. 0 at the end of
    // the loop, 1 when the dialog cannot be made or the loop fails.
    DWORD Run() override;

    // The dialog window while one is shown, else null.
    HWND Window() const { return dialog_; }
    // Stages marked done so far: 0 up to the announced count.
    int CompletedStages() const { return stage_; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // One timer tick on the dialog thread: one step towards the completed stages.
    void Tick();
    // One step of the bar unless it is full; false when it was full already.
    bool Advance();

    HWND dialog_ = nullptr;
    CWindowRef bar_;
    UINT_PTR timer_ = 0;
    // Read by both threads, written by one at a time.
    volatile LONG totalSteps_ = 0;
    volatile LONG position_ = 0;
    volatile LONG stageCount_ = 0;
    volatile LONG stage_ = 0;
    // Signalled by the dialog thread once the dialog exists or failed. Closed when Create
    // has seen it; after a time-out only once the thread has ended (it may still set it).
    ScopedHandle ready_;
    HINSTANCE instance_ = nullptr;
    int dialogId_ = 0;
    HWND parent_ = nullptr;
};
