// The module's exception family. The registry wrapper throws these by value; the
// actions that call it catch them by reference (CVException catches them all).
#pragma once

#include <windows.h>

#include <exception>
#include <string>

// An error with a message text. Copying copies the message.
class CVException : public std::exception {
public:
    CVException() = default;
    explicit CVException(std::string text);
    ~CVException() override;

    // The message text; an empty text when there is none. Never null.
    const char* what() const noexcept override;

    std::string message;
};

// A failed system call: the Win32 error code and the system's text for it (empty when
// the system has no text for the code).
class CVSystemException : public CVException {
public:
    explicit CVSystemException(DWORD code);

    DWORD error = 0;
};
