// Holds a window handle it does not own: detaching or destroying the holder never
// destroys the window.
#pragma once

#include <windows.h>

class CWindowRef {
public:
    CWindowRef() = default;
    explicit CWindowRef(HWND window) : window_(window) {}
    virtual ~CWindowRef();
    CWindowRef(const CWindowRef&) = delete;
    CWindowRef& operator=(const CWindowRef&) = delete;

    // Holds `window` in place of what was held.
    void Attach(HWND window);
    // Holds control `controlId` of `dialog`; returns whether the dialog has it (the
    // holder is empty otherwise).
    bool Attach(HWND dialog, int controlId);
    // Returns the held handle and holds nothing afterwards.
    HWND Detach();

    HWND Handle() const { return window_; }
    // Whether the held handle names an existing window.
    bool IsWindow() const;

private:
    HWND window_ = nullptr;
};
