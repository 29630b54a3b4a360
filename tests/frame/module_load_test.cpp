#include "support/test_env.h"

#include <gtest/gtest.h>

namespace {

const std::string kKeyVariable = kstest::ProcessVariable("Velmo:CVLog:RegKey:0x");

std::string LogKeyVariable()
{
    char value[MAX_PATH] = {};
    return GetEnvironmentVariableA(kKeyVariable.c_str(), value, MAX_PATH) ? value : "";
}

TEST(ModuleLoad, SetsTheLogKeyVariableUnlessTheHostDid)
{
    const char* name = kKeyVariable.c_str();
    SetEnvironmentVariableA(name, nullptr);
    {
        kstest::ModuleUnderTest module;
        ASSERT_TRUE(module.Handle());
        EXPECT_EQ(LogKeyVariable(), "SOFTWARE\\Velm\\VLUpdate\\KSInstLog");
    }
    SetEnvironmentVariableA(name, "SOFTWARE\\Host\\Own");
    {
        kstest::ModuleUnderTest module;
        EXPECT_EQ(LogKeyVariable(), "SOFTWARE\\Host\\Own");
    }
    SetEnvironmentVariableA(name, nullptr);
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
