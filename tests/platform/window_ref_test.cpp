#include "platform/window_ref.h"

#include <gtest/gtest.h>

namespace {

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
