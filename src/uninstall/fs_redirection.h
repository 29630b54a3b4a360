// File-system redirection of a 32-bit process on a 64-bit system, switched off for one
// scope on the calling thread. The system call is looked up by name: Windows before
// XP SP2 lacks it, and a 32-bit system refuses it.
#pragma once

#include <windows.h>

#include <string>

// Redirection off from construction to destruction; does nothing where the system
// lacks the call or refuses it (a 32-bit system).
class RedirectionOff {
public:
    RedirectionOff();
    // Switches redirection on, also when the thread had it off before; the thread's
    // last error is kept.
    ~RedirectionOff();
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;

    // Whether redirection is off now because of this object.
    bool Active() const { return active_; }

private:
    bool active_ = false;
};

// The native 64-bit system folder with one trailing backslash, read while redirection
// is off; empty on a system without redirection (every 32-bit system).
std::string NativeSystemFolder();
