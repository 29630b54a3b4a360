// The installer guard across calls and processes, under the event name the reported
// Windows version chooses (KSINST_EXPECT_GLOBAL=0 where the name has no "Global\").
#include "install/install_fixture.h"
#include "platform/scoped_handle.h"

#include <gtest/gtest.h>

namespace {

using AreThereOthers = HANDLE(WINAPI*)();

const HANDLE kHeldNotSignalled = reinterpret_cast<HANDLE>(0xFFFFFFFF);

bool ExpectGlobal() { return kstest::Environment("KSINST_EXPECT_GLOBAL") != "0"; }
// The guard's name, or with `other` the name under the other spelling.
std::string GuardName(bool other = false) { return (ExpectGlobal() != other ? "Global\\" : "") + std::string("Velm:VLAgent:InstallerEvent"); }

bool IsRealHandle(HANDLE handle) { return handle != nullptr && handle != kHeldNotSignalled; }

bool EventExists(const std::string& name) { return ScopedHandle(OpenEventA(SYNCHRONIZE, FALSE, name.c_str())).IsValid(); }

TEST(Guard, HeldWithinTheProcessAndAcrossProcesses)
{
    kstest::InstalledModule module("guard", "");
    const auto areThereOthers = module.Export<AreThereOthers>("KSWAreThereOthers");
    ASSERT_TRUE(areThereOthers);
    ASSERT_FALSE(EventExists(GuardName())) << "left over from another test";

    // The first call holds the guard; a second call in the same process gets zero.
    HANDLE first = areThereOthers();
    ASSERT_TRUE(IsRealHandle(first));
    EXPECT_TRUE(EventExists(GuardName()));
    EXPECT_FALSE(EventExists(GuardName(true))) << "the other spelling is another object";
    // Created signalled and manual-reset: a wait does not take the state away.
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    EXPECT_EQ(areThereOthers(), nullptr);
    EXPECT_EQ(areThereOthers(), nullptr);
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0) << "the first handle stays open and untouched";
    // Only the first handle kept the event: the second calls closed their own.
    CloseHandle(first);
    EXPECT_FALSE(EventExists(GuardName()));

    // An event another program holds: the module only looks, the holder's state is what it was.
    for (const bool signalled : {true, false}) {
        SCOPED_TRACE(signalled);
        kstest::HelperHold holder("event \"" + GuardName() + "\" " + (signalled ? "1" : "0"));
        ASSERT_TRUE(holder.Holding());
        EXPECT_EQ(areThereOthers(), signalled ? nullptr : kHeldNotSignalled);
        ScopedHandle event(OpenEventA(SYNCHRONIZE, FALSE, GuardName().c_str()));
        ASSERT_TRUE(event.IsValid());
        EXPECT_EQ(WaitForSingleObject(event.Get(), 0), signalled ? WAIT_OBJECT_0 : static_cast<DWORD>(WAIT_TIMEOUT));
    }

    // An event under the other spelling is no guard of this system; a guard given up can
    // be taken again.
    kstest::HelperHold stranger("event \"" + GuardName(true) + "\" 0");
    ASSERT_TRUE(stranger.Holding());
    HANDLE own = areThereOthers();
    EXPECT_TRUE(IsRealHandle(own));
    CloseHandle(own);
}

}  // namespace
