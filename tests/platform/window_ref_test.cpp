#include "platform/window_ref.h"
#include "platform/worker_thread.h"

#include <gtest/gtest.h>

// A thread that ignores its stop event is terminated once the wait is over.
TEST(WorkerThread, StopTerminatesAThreadThatIgnoresIt)
{
    struct Stubborn : CWorkerThread {
        ~Stubborn() override { Stop(0); }
        DWORD Run() override
        {
            for (;;)
                Sleep(20);
        }
    } worker;
    ASSERT_TRUE(worker.Start());
    EXPECT_FALSE(worker.Start()) << "a second thread while the first exists";
    HANDLE watch = nullptr;
    DuplicateHandle(GetCurrentProcess(), worker.ThreadHandle(), GetCurrentProcess(), &watch, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    worker.Stop(200);
    EXPECT_EQ(WaitForSingleObject(watch, 2000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(watch);
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
