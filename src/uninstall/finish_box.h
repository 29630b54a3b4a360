// The message box that ends a removal, with a watcher thread that brings the box to the
// front; the answer is always the user's.
#pragma once

#include <windows.h>

#include <string>

// Name of this process's finish-box event: manual reset, signalled once the box closed.
std::string FinishBoxEventName();

// Shows a message box on the calling thread and returns its result. On the NT family
// from version 5 on, a watcher thread runs while the box is shown; the call waits for
// it at most 10 s after the box closed.
int FinishMessageBox(HWND owner, const char* text, const char* caption, UINT style);

// The watcher: finds the first visible top-level window of thread `boxThreadId` and
// brings it to the front, polling every 100 ms, until it is the foreground window, the
// finish-box event is signalled, or 100 passes are spent. Returns 0; logs an ERROR
// when the event cannot be made.
DWORD ThreadProc(unsigned boxThreadId);

// One attempt to make `window` the foreground window: raise it through the top-most
// band and, with `clickIfNeeded`, click the middle of its bottom frame row when nothing
// covers it. The cursor is put back where it was.
void BringToFront(HWND window, bool clickIfNeeded, bool cycleTopmost);
