#include "support/test_env.h"

#include <gtest/gtest.h>

namespace {

TEST(ModuleLoad, SetsTheLogKeyVariableUnlessTheHostDidAndUnregisterAnswersZero)
{
    const std::string name = kstest::ProcessVariable("Velmo:CVLog:RegKey:0x");
    SetEnvironmentVariableA(name.c_str(), "SOFTWARE\\Host\\Own");
    kstest::ModuleUnderTest().Unload();
    EXPECT_EQ(kstest::Environment(name.c_str()), "SOFTWARE\\Host\\Own");
    SetEnvironmentVariableA(name.c_str(), nullptr);
    kstest::ModuleUnderTest module;
    EXPECT_EQ(kstest::Environment(name.c_str()), "SOFTWARE\\Velm\\VLUpdate\\KSInstLog");
    auto unregister = module.Export<LONG(WINAPI*)()>("DllUnregisterServer");
    ASSERT_TRUE(unregister);
    EXPECT_EQ(unregister(), 0);
    EXPECT_EQ(GetProcAddress(module.Handle(), MAKEINTRESOURCEA(2)), reinterpret_cast<FARPROC>(unregister));
    module.Unload();
    SetEnvironmentVariableA(name.c_str(), nullptr);
}

}  // namespace
