#include "platform/window_ref.h"

CWindowRef::~CWindowRef() { Detach(); }

void CWindowRef::Attach(HWND window) { window_ = window; }

bool CWindowRef::Attach(HWND dialog, int controlId)
{
    window_ = GetDlgItem(dialog, controlId);
    return window_ != nullptr;
}

HWND CWindowRef::Detach()
{
    HWND window = window_;
    window_ = nullptr;
    return window;
}

bool CWindowRef::IsWindow() const { return window_ && ::IsWindow(window_); }
