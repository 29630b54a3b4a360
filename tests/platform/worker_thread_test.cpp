#include "platform/window_ref.h"
#include "platform/worker_thread.h"

#include <gtest/gtest.h>

namespace {

class TestThread : public CWorkerThread {
public:
    enum Behaviour { kWaitForStop, kIgnoreStop, kReturnAtOnce };
    explicit TestThread(Behaviour behaviour) : behaviour_(behaviour) {}
    ~TestThread() override { Stop(5000); }

    DWORD Run() override
    {
        started_ = true;
        if (behaviour_ == kWaitForStop)
            return WaitForSingleObject(StopEvent(), 10000) == WAIT_OBJECT_0 ? 7 : 8;
        while (behaviour_ == kIgnoreStop)
            Sleep(20);
        return 42;
    }

    // A second handle to the thread, to look at it after Stop() closed its own.
    HANDLE Watch() const
    {
        HANDLE watch = nullptr;
        DuplicateHandle(GetCurrentProcess(), ThreadHandle(), GetCurrentProcess(), &watch, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        return watch;
    }

    volatile bool started_ = false;

private:
    Behaviour behaviour_;
};

DWORD ExitCodeOf(HANDLE thread)
{
    DWORD code = STILL_ACTIVE;
    WaitForSingleObject(thread, 5000);
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

TEST(WorkerThread, StopSignalsWaitsOrTerminates)
{
    struct Row {
        TestThread::Behaviour behaviour;
        DWORD flags, timeoutMs, minMs, maxMs, exitCode;
    } rows[] = {
        {TestThread::kWaitForStop, 0, 5000, 0, 2000, 7},       // ends on the stop event
        {TestThread::kIgnoreStop, 0, 300, 250, 3000, 0},       // terminated after the time-out
        {TestThread::kReturnAtOnce, CREATE_SUSPENDED, 100, 50, 3000, 0},  // never ran
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        TestThread worker(row.behaviour);
        ASSERT_TRUE(worker.Start(row.flags));
        EXPECT_FALSE(worker.Start()) << "a second thread while the first exists";
        HANDLE watch = worker.Watch();
        while (!row.flags && !worker.started_)
            Sleep(5);
        const DWORD before = GetTickCount();
        worker.Stop(row.timeoutMs);
        const DWORD elapsed = GetTickCount() - before;
        EXPECT_GE(elapsed, row.minMs);
        EXPECT_LT(elapsed, row.maxMs);
        EXPECT_EQ(worker.ThreadHandle(), nullptr);
        EXPECT_EQ(worker.ThreadId(), 0u);
        EXPECT_EQ(ExitCodeOf(watch), row.exitCode);
    }
    // A thread that ended by itself keeps its exit code, and the object starts again.
    TestThread worker(TestThread::kReturnAtOnce);
    ASSERT_TRUE(worker.Start());
    HANDLE watch = worker.Watch();
    WaitForSingleObject(watch, 5000);
    worker.Stop(5000);
    EXPECT_EQ(ExitCodeOf(watch), 42u);
    EXPECT_TRUE(worker.Start());
}

TEST(WindowRef, AttachesAndDetachesWithoutDestroying)
{
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, parent, reinterpret_cast<HMENU>(1000),
                                 nullptr, nullptr);
    ASSERT_TRUE(parent && child) << GetLastError();
    {
        CWindowRef ref;
        EXPECT_FALSE(ref.IsWindow());
        EXPECT_TRUE(ref.Attach(parent, 1000));
        EXPECT_EQ(ref.Handle(), child);
        EXPECT_FALSE(ref.Attach(parent, 1001));
        EXPECT_EQ(ref.Handle(), nullptr);
        ref.Attach(parent);
        EXPECT_EQ(ref.Detach(), parent);
        EXPECT_EQ(ref.Detach(), nullptr);
        ref.Attach(child);
    }
    EXPECT_TRUE(IsWindow(child)) << "the holder destroyed the window";
    CWindowRef stale(child);
    EXPECT_TRUE(stale.IsWindow());
    DestroyWindow(parent);
    EXPECT_FALSE(stale.IsWindow());
}

}  // namespace
