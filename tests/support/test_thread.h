// A thread for the tests, started on construction and joined on destruction. The module
// is built with the compiler's win32 thread model, which has no std::thread, and the
// tests link the module's own objects, so they use the system's threads too.
#pragma once

#include "support/test_env.h"

#include <windows.h>

#include <functional>
#include <utility>

namespace kstest {

class Thread : Uncopyable {
public:
    explicit Thread(std::function<void()> body)
        : body_(std::move(body)), handle_(CreateThread(nullptr, 0, &Thread::Main, this, 0, nullptr)) {}
    ~Thread() { Join(); }

    // Waits for the body to return; a second call does nothing.
    void Join()
    {
        if (handle_) {
            WaitForSingleObject(handle_, INFINITE);
            CloseHandle(handle_);
            handle_ = nullptr;
        }
    }

private:
    static DWORD WINAPI Main(void* self)
    {
        static_cast<Thread*>(self)->body_();
        return 0;
    }

    std::function<void()> body_;
    HANDLE handle_ = nullptr;
};

// Polls `condition` every 10 ms until it holds (true) or `timeoutMs` have passed (false).
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs)
{
    for (const DWORD start = GetTickCount(); !condition(); Sleep(10)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
    }
    return true;
}

}  // namespace kstest
