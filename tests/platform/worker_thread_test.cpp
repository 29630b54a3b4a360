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

    volatile bool started_ = false;

private:
    Behaviour behaviour_;
};

TEST(WorkerThread, StopSignalsWaitsOrTerminates)
{
    struct Row {
        TestThread::Behaviour behaviour;
        DWORD flags, timeoutMs, minMs, maxMs, exitCode;
    } rows[] = {
        {TestThread::kWaitForStop, 0, 5000, 0, 2000, 7},                  // ends on the stop event
        {TestThread::kIgnoreStop, 0, 300, 250, 3000, 0},                  // terminated after the time-out
        {TestThread::kReturnAtOnce, CREATE_SUSPENDED, 100, 50, 3000, 0},  // never ran
        {TestThread::kReturnAtOnce, 0, 5000, 0, 2000, 42},                // ended by itself
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(&row - rows);
        TestThread worker(row.behaviour);
        ASSERT_TRUE(worker.Start(row.flags));
        EXPECT_FALSE(worker.Start()) << "a second thread while the first exists";
        // A second handle, to look at the thread after Stop() closed its own.
        HANDLE watch = nullptr;
        DuplicateHandle(GetCurrentProcess(), worker.ThreadHandle(), GetCurrentProcess(), &watch, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        while (!row.flags && !worker.started_)
            Sleep(5);
        const DWORD before = GetTickCount();
        worker.Stop(row.timeoutMs);
        const DWORD elapsed = GetTickCount() - before;
        EXPECT_GE(elapsed, row.minMs);
        EXPECT_LT(elapsed, row.maxMs);
        DWORD exitCode = STILL_ACTIVE;
        WaitForSingleObject(watch, 5000);
        GetExitCodeThread(watch, &exitCode);
        CloseHandle(watch);
        EXPECT_EQ(exitCode, row.exitCode);
        // Started again, the thread ends within the destructor's Stop().
        if (row.behaviour != TestThread::kIgnoreStop) {
            EXPECT_TRUE(worker.Start()) << "the object starts again";
        }
    }
}

TEST(WindowRef, AttachesAndDetachesWithoutDestroying)
{
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, parent, reinterpret_cast<HMENU>(1000),
                                 nullptr, nullptr);
    ASSERT_TRUE(parent && child) << GetLastError();
    {
        CWindowRef ref;
        EXPECT_TRUE(ref.Attach(parent, 1000));
        EXPECT_EQ(ref.Handle(), child);
        EXPECT_FALSE(ref.Attach(parent, 1001));
        ref.Attach(child);
    }
    EXPECT_TRUE(IsWindow(child)) << "the holder destroyed the window";
    DestroyWindow(parent);
}

}  // namespace
