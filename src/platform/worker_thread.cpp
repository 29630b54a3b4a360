#include "platform/worker_thread.h"

#include <process.h>

namespace {

constexpr DWORD kDestructorStopTimeoutMs = 10000;

}  // namespace

CWorkerThread::~CWorkerThread() { Stop(kDestructorStopTimeoutMs); }

unsigned __stdcall CWorkerThread::ThreadProc(void* self) { return static_cast<CWorkerThread*>(self)->Run(); }

bool CWorkerThread::Start(DWORD creationFlags, unsigned stackSize, LPSECURITY_ATTRIBUTES security)
{
    if (thread_)
        return false;
    stopEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!stopEvent_)
        return false;
    // Through the C runtime, so that its per-thread data is set up and released.
    unsigned threadId = 0;
    thread_ = reinterpret_cast<HANDLE>(_beginthreadex(security, stackSize, &CWorkerThread::ThreadProc, this,
                                                       creationFlags, &threadId));
    if (!thread_) {
        CloseHandle(stopEvent_);
        stopEvent_ = nullptr;
        return false;
    }
    threadId_ = threadId;
    return true;
}

void CWorkerThread::Stop(DWORD timeoutMs)
{
    if (thread_ && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT) {
        SetEvent(stopEvent_);
        if (WaitForSingleObject(thread_, timeoutMs) == WAIT_TIMEOUT)
            TerminateThread(thread_, 0);
    }
    if (thread_) {
        CloseHandle(thread_);
        thread_ = nullptr;
        threadId_ = 0;
    }
    if (stopEvent_) {
        CloseHandle(stopEvent_);
        stopEvent_ = nullptr;
    }
}
