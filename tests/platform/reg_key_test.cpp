#include "failing_allocation.h"
#include "platform/reg_key.h"
#include "support/test_env.h"
#include "text/format.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace {

LONG QueryHandle(HKEY key)
{
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr);
}

// Stores `bytes` as they are. Texts go through the wide call: the 95/98/Me family's
// RegSetValueExA measures a string itself and never stores it with 0 bytes.
void RawSet(HKEY key, const char* name, DWORD type, const std::string& bytes)
{
    const std::wstring wideName(name, name + strlen(name)), wide(bytes.begin(), bytes.end());
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ;
    const void* data = text ? static_cast<const void*>(wide.data()) : bytes.data();
    ASSERT_EQ(RegSetValueExW(key, wideName.c_str(), 0, type, static_cast<const BYTE*>(data),
                             static_cast<DWORD>(text ? wide.size() * sizeof(wchar_t) : bytes.size())),
              ERROR_SUCCESS);
}

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof(value)); }

// The code of the CSystemException that `action` throws; 0 when it throws nothing.
template <typename Action>
DWORD ThrownCode(Action action)
{
    try {
        action();
    } catch (const CVRegKey::CSystemException& e) {
        return e.error;
    }
    return 0;
}

class RegKeyTest : public testing::Test {
protected:
    RegKeyTest() : scratch_("RegKey"), key_(CVRegKey::CurrentUser.Create(scratch_.Path().c_str(), KEY_ALL_ACCESS)) {}

    kstest::TestRegKey scratch_;
    CVRegKey key_;
};

TEST_F(RegKeyTest, LastReleaseClosesASubkeyAndNeverARoot)
{
    CVRegKey opened = key_.Open(nullptr, KEY_READ);
    const HKEY raw = opened.Handle();
    {
        CVRegKey copy(opened), assigned;
        assigned = copy;
        opened.Close();
        copy.Attach(nullptr);
        EXPECT_TRUE(opened.IsEmpty());
        EXPECT_EQ(QueryHandle(raw), ERROR_SUCCESS) << "closed while a copy still shares it";
    }
    EXPECT_EQ(QueryHandle(raw), ERROR_INVALID_HANDLE);
    {
        CVRegKey root(HKEY_LOCAL_MACHINE), shared = CVRegKey::LocalMachine;
    }
    EXPECT_EQ(QueryHandle(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegKeyTest, WritersRawReadsAndFailures)
{
    // A text is stored with its terminator; raw bytes read back whatever their type.
    key_.SetString("text", "hello");
    key_.SetValue("raw", "a\0b", 3, REG_BINARY);
    EXPECT_EQ(key_.GetBinary("text"), (std::vector<BYTE>{'h', 'e', 'l', 'l', 'o', 0}));
    EXPECT_EQ(key_.GetBinary("raw"), (std::vector<BYTE>{'a', 0, 'b'}));
    EXPECT_EQ(key_.GetValueCount(), 2u);
    key_.DeleteValue("text");
    EXPECT_EQ(ThrownCode([&] { key_.DeleteValue("text"); }), 2u);
    EXPECT_EQ(ThrownCode([&] { key_.GetBinary("text"); }), 2u);
    try {
        key_.Open("missing", KEY_READ);
    } catch (const CVException& e) {
        // Caught by the family's base; a copy keeps the code and the system's text.
        CVSystemException copy(dynamic_cast<const CVSystemException&>(e));
        EXPECT_EQ(copy.error, 2u);
        EXPECT_EQ(std::string(copy.what()), GetSystemErrorText(2));
    }
    CVException copied{CVRegKey::CInvalidType(nullptr)};
    EXPECT_STREQ(copied.what(), "Attempt to treat registry value \"\" with invalid type");
}

TEST_F(RegKeyTest, TypedGettersOnEdgeValues)
{
    SetEnvironmentVariableA("KSTEST_REGVAR", "C:\\expanded");
    const std::string sz0("", 0), sz1(1, '\0');
    const std::string invalid = "!Attempt to treat registry value \"value\" with invalid type";
    struct Row {
        const char* label;
        DWORD type;  // 0: no value
        std::string bytes;
        char getter;           // 's' GetString, 'e' GetExpandString, 'd' GetDWord
        std::string expected;  // the text, the number in decimal, or "!" and the exception's code or text
    } rows[] = {
        {"missing string", 0, "", 's', "dflt"},
        {"size-0 string", REG_SZ, sz0, 's', "dflt"},
        {"size-1 string", REG_SZ, sz1, 's', ""},
        {"unterminated string", REG_SZ, "abc", 's', "abc"},
        {"number as string", REG_DWORD, Dword(5), 's', invalid},
        {"expandable as string", REG_EXPAND_SZ, "%TEMP%", 's', invalid},
        {"missing number", 0, "", 'd', "77"},
        {"number", REG_DWORD, Dword(0xFFFFFFFF), 'd', "4294967295"},
        {"string as number", REG_SZ, "12", 'd', "!13"},
        {"8-byte number", REG_DWORD, Dword(1) + Dword(2), 'd', "!234"},
        {"expandable", REG_EXPAND_SZ, "%KSTEST_REGVAR%\\x", 'e', "C:\\expanded\\x"},
        {"expand of a plain string", REG_SZ, "%KSTEST_REGVAR%", 'e', "C:\\expanded"},
        {"size-0 expandable", REG_EXPAND_SZ, sz0, 'e', "dflt"},
        {"number as expandable", REG_DWORD, Dword(5), 'e', invalid},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        RegDeleteValueA(key_.Handle(), "value");
        if (row.type)
            RawSet(key_.Handle(), "value", row.type, row.bytes);
        std::string result;
        try {
            result = row.getter == 's'   ? key_.GetString("value", "dflt")
                     : row.getter == 'e' ? key_.GetExpandString("value", "dflt")
                                         : std::to_string(key_.GetDWord("value", 77));
        } catch (const CVRegKey::CInvalidType& e) {
            result = std::string("!") + e.what();
        } catch (const CVRegKey::CSystemException& e) {
            result = "!" + std::to_string(e.error);
        }
        EXPECT_EQ(result, row.expected);
    }
    // A default is expanded as well.
    EXPECT_EQ(key_.GetExpandString("missing", "%KSTEST_REGVAR%"), "C:\\expanded");
    SetEnvironmentVariableA("KSTEST_REGVAR", nullptr);
}

TEST_F(RegKeyTest, SubkeysAreEnumeratedCopiedAndDeleted)
{
    key_.Create("top\\middle\\bottom", KEY_ALL_ACCESS).SetString("v", "x");
    key_.Create("top\\middle\\sibling", KEY_ALL_ACCESS).SetDWord("n", 1);
    key_.Create("withValue", KEY_ALL_ACCESS).SetString("v", "y");
    key_.Create("withSubkey\\child", KEY_ALL_ACCESS);
    key_.Create("empty", KEY_ALL_ACCESS);
    // Into a new subkey of the destination, and into the destination itself, whose
    // handle stays the caller's.
    CVRegKey destination = key_.Create("copy", KEY_ALL_ACCESS);
    key_.Open("top", KEY_READ).CopyTo(destination.Handle(), "top");
    key_.Open("withValue", KEY_READ).CopyTo(destination.Handle(), "");
    EXPECT_EQ(QueryHandle(destination.Handle()), ERROR_SUCCESS) << "the caller's handle was closed";
    EXPECT_EQ(destination.Open("top\\middle\\bottom", KEY_READ).GetString("v"), "x");
    EXPECT_EQ(destination.Open("top\\middle\\sibling", KEY_READ).GetDWord("n", 0), 1u);
    EXPECT_EQ(destination.GetString("v"), "y");

    std::string names;
    for (DWORD i = 0; i < key_.GetSubKeyCount(); ++i)
        names += key_.EnumSubKey(i) + " ";
    EXPECT_EQ(names, "copy empty top withSubkey withValue ");
    EXPECT_EQ(ThrownCode([&] { key_.EnumSubKey(5); }), 259u);
    key_.DeleteKey("top");
    key_.DeleteKey("copy");
    for (const char* name : {"withValue", "withSubkey", "empty"})
        EXPECT_NO_THROW(key_.DeleteKeyIfEmpty(name)) << name;
    EXPECT_EQ(key_.EnumSubKey(0) + " " + key_.EnumSubKey(1), "withSubkey withValue");
    EXPECT_EQ(ThrownCode([&] { key_.DeleteKey("top"); }), 2u);
    EXPECT_EQ(ThrownCode([&] { key_.DeleteKeyIfEmpty("empty"); }), 2u);
}

// The key the system opened has no other owner than the wrapper being made: a wrapper
// that cannot allocate its count closes it.
TEST_F(RegKeyTest, KeyIsClosedWhenItsCountCannotBeAllocated)
{
    for (const bool create : {false, true}) {
        SCOPED_TRACE(create ? "Create" : "Open");
        // The system hands out the lowest free handle: the one the failed call gets.
        HKEY probe = nullptr;
        ASSERT_EQ(RegOpenKeyExA(key_.Handle(), nullptr, 0, KEY_READ, &probe), ERROR_SUCCESS);
        RegCloseKey(probe);
        {
            kstest::FailingAllocation failing(sizeof(LONG));
            EXPECT_THROW(create ? key_.Create("sub", KEY_READ) : key_.Open(nullptr, KEY_READ), std::bad_alloc);
            EXPECT_TRUE(failing.Failed());
        }
        EXPECT_EQ(QueryHandle(probe), ERROR_INVALID_HANDLE) << "the key was left open";
        RegCloseKey(probe);
    }
}

}  // namespace
