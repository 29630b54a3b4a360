// Owners for kernel handles and find handles: each releases its handle on every path
// and keeps the thread's last error as it was, so a failure code survives the clean-up.
#pragma once

#include <windows.h>

// A kernel object handle (process, thread, file, event, token), closed with CloseHandle.
// Null and INVALID_HANDLE_VALUE both count as "no handle".
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() { Close(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    // Closes the current handle, if any, and takes `handle`.
    void Reset(HANDLE handle = nullptr)
    {
        Close();
        handle_ = handle;
    }
    // Closes the current handle and gives the place where a call returns a new one
    // (OpenProcessToken and the like).
    HANDLE* Receive()
    {
        Close();
        return &handle_;
    }

private:
    void Close()
    {
        if (IsValid()) {
            const DWORD error = GetLastError();
            CloseHandle(handle_);
            SetLastError(error);
        }
        handle_ = nullptr;
    }

    HANDLE handle_ = nullptr;
};

// A FindFirstFile search, closed with FindClose.
class ScopedFindHandle {
public:
    ScopedFindHandle() = default;
    explicit ScopedFindHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedFindHandle() { Close(); }
    ScopedFindHandle(const ScopedFindHandle&) = delete;
    ScopedFindHandle& operator=(const ScopedFindHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Ends the search now rather than at the end of the scope.
    void Close()
    {
        if (IsValid()) {
            const DWORD error = GetLastError();
            FindClose(handle_);
            SetLastError(error);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
