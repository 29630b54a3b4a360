// A thread owned by an object: derived classes put the thread's work in Run() and
// watch the stop event, the only signal between the owner and the thread.
#pragma once

#include <windows.h>

class CWorkerThread {
public:
    CWorkerThread() = default;
    // Stops the thread, waiting up to 10 seconds. A derived class whose Run() uses its
    // own members must stop the thread in its own destructor first.
    virtual ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // The thread's work; its result is the thread's exit code.
    virtual DWORD Run() = 0;

    // Creates the stop event and a thread running Run(). False when a thread exists
    // already or none could be created.
    bool Start(DWORD creationFlags = 0, unsigned stackSize = 0, LPSECURITY_ATTRIBUTES security = nullptr);

    // Signals the stop event and waits up to `timeoutMs` for the thread to end; a
    // thread still running then is terminated. Releases the thread and the event.
    void Stop(DWORD timeoutMs);

    HANDLE ThreadHandle() const { return thread_; }
    DWORD ThreadId() const { return threadId_; }

protected:
    // Manual-reset, signalled by Stop(); Run() should end soon after it is set.
    HANDLE StopEvent() const { return stopEvent_; }

private:
    static unsigned __stdcall ThreadProc(void* self);

    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    HANDLE stopEvent_ = nullptr;
};
