#include "frame/module.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

namespace {

std::string LogKeyVariable()
{
    return ReadEnvironmentVariable(ProcessVariableName(kLogKeyVariableFormat));
}

TEST(ModuleLoad, SetsTheLogKeyVariableUnlessTheHostDid)
{
    const std::string name = ProcessVariableName(kLogKeyVariableFormat);
    SetEnvironmentVariableA(name.c_str(), nullptr);
    {
        kstest::ModuleUnderTest module;
        ASSERT_TRUE(module.Handle());
        EXPECT_EQ(LogKeyVariable(), "SOFTWARE\\Velm\\VLUpdate\\KSInstLog");
    }
    SetEnvironmentVariableA(name.c_str(), "SOFTWARE\\Host\\Own");
    {
        kstest::ModuleUnderTest module;
        EXPECT_EQ(LogKeyVariable(), "SOFTWARE\\Host\\Own");
    }
    SetEnvironmentVariableA(name.c_str(), nullptr);
}

TEST(ModuleLoad, DllUnregisterServerAnswersZero)
{
    kstest::ModuleUnderTest module;
    auto unregister = module.Export<LONG(WINAPI*)()>("DllUnregisterServer");
    ASSERT_TRUE(unregister);
    EXPECT_EQ(unregister(), 0);
    EXPECT_EQ(GetProcAddress(module.Handle(), MAKEINTRESOURCEA(2)), reinterpret_cast<FARPROC>(unregister));
}

}  // namespace
