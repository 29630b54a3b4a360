#include "platform/late_binding.h"

#include <gtest/gtest.h>

namespace {

constexpr char kKernel[] = "KERNEL32.DLL";
constexpr char kNoLibrary[] = "KSNOSUCHLIBRARY.DLL";
constexpr char kCompare[] = "lstrcmpiA";
constexpr char kMissing[] = "KSNoSuchFunction";

using Compare = int(WINAPI*)(LPCSTR, LPCSTR);
using CompareBinder = latebind::Binder<Compare>;

Compare g_present = &CompareBinder::For<&g_present, kKernel, kCompare, -7>::First;
Compare g_missing = &CompareBinder::For<&g_missing, kKernel, kMissing, -7>::First;
Compare g_noLibrary = &CompareBinder::For<&g_noLibrary, kNoLibrary, kCompare, -7>::First;

TEST(LateBinding, FirstCallBindsTheSystemFunctionOrFailsLikeAFailedCall)
{
    // A present function answers the first call already and replaces the binder.
    EXPECT_EQ(g_present("abc", "ABC"), 0);
    EXPECT_EQ(reinterpret_cast<void*>(g_present),
              reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(kKernel), kCompare)));

    // A function or library the system lacks gives the failure value and
    // ERROR_PROC_NOT_FOUND on every call, with the stack intact (stdcall cleanup).
    for (Compare* slot : {&g_missing, &g_noLibrary}) {
        for (int call = 0; call < 2; ++call) {
            SetLastError(0);
            EXPECT_EQ((*slot)("a", "b"), -7);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        }
    }
    EXPECT_EQ(GetModuleHandleA(kNoLibrary), nullptr);
}

}  // namespace
