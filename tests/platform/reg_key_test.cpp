#include "platform/reg_key.h"
#include "support/test_env.h"
#include "text/format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

LONG QueryHandle(HKEY key)
{
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr);
}

bool KeyExists(HKEY root, const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Stores `bytes` as they are. Texts go through the wide call: the 95/98/Me family's
// RegSetValueExA measures a string itself and never stores it with 0 bytes.
void RawSet(HKEY key, const char* name, DWORD type, const std::string& bytes)
{
    const std::wstring wideName(name, name + strlen(name));
    const std::wstring wide(bytes.begin(), bytes.end());
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ;
    const void* data = text ? static_cast<const void*>(wide.data()) : bytes.data();
    const DWORD size = static_cast<DWORD>(text ? wide.size() * sizeof(wchar_t) : bytes.size());
    ASSERT_EQ(RegSetValueExW(key, wideName.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
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
        CVRegKey copy(opened);
        CVRegKey assigned;
        assigned = copy;
        opened.Close();
        copy.Attach(nullptr);
        EXPECT_TRUE(opened.IsEmpty());
        EXPECT_EQ(QueryHandle(raw), ERROR_SUCCESS) << "closed while a copy still shares it";
    }
    EXPECT_EQ(QueryHandle(raw), ERROR_INVALID_HANDLE);
    {
        CVRegKey root(HKEY_LOCAL_MACHINE);
        CVRegKey shared = CVRegKey::LocalMachine;
    }
    EXPECT_EQ(QueryHandle(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_NO_THROW(CVRegKey::LocalMachine.Open("Software", KEY_READ));
    EXPECT_EQ(CVRegKey::ClassesRoot.Handle(), HKEY_CLASSES_ROOT);
    EXPECT_EQ(CVRegKey::Users.Handle(), HKEY_USERS);
}

TEST_F(RegKeyTest, WritersAndRawReads)
{
    key_.SetString("text", "hello");
    key_.SetDWord("number", 0xFFFFFFFF);
    key_.SetValue("raw", "a\0b", 3, REG_BINARY);
    EXPECT_EQ(key_.GetValueType("text"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(key_.GetBinary("text"), (std::vector<BYTE>{'h', 'e', 'l', 'l', 'o', 0}));
    EXPECT_EQ(key_.GetValueType("number"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(key_.GetBinary("number"), (std::vector<BYTE>{0xff, 0xff, 0xff, 0xff}));
    EXPECT_EQ(key_.GetBinary("raw"), (std::vector<BYTE>{'a', 0, 'b'}));
    EXPECT_EQ(key_.GetValueType("missing"), 0u);
    EXPECT_EQ(key_.GetValueCount(), 3u);

    key_.DeleteValue("text");
    EXPECT_EQ(key_.GetValueType("text"), 0u);
    EXPECT_EQ(ThrownCode([&] { key_.DeleteValue("text"); }), 2u);
    EXPECT_EQ(ThrownCode([&] { key_.GetBinary("text"); }), 2u);
}

enum class Getter { String, Expand, DWord };
enum Outcome { kValue, kInvalidType, kSystemError };

TEST_F(RegKeyTest, TypedGettersOnEdgeValues)
{
    SetEnvironmentVariableA("KSTEST_REGVAR", "C:\\expanded");
    const std::string sz0("", 0), sz1(1, '\0');
    struct Row {
        const char* label;
        DWORD type;  // 0: no value
        std::string bytes;
        Getter getter;
        Outcome outcome;
        std::string expected;  // the text, the number in decimal, or the error code
    } rows[] = {
        {"missing string", 0, "", Getter::String, kValue, "dflt"},
        {"size-0 string", REG_SZ, sz0, Getter::String, kValue, "dflt"},
        {"size-1 string", REG_SZ, sz1, Getter::String, kValue, ""},
        {"unterminated string", REG_SZ, "abc", Getter::String, kValue, "abc"},
        {"number as string", REG_DWORD, Dword(5), Getter::String, kInvalidType, ""},
        {"expandable as string", REG_EXPAND_SZ, "%TEMP%", Getter::String, kInvalidType, ""},
        {"missing number", 0, "", Getter::DWord, kValue, "77"},
        {"number", REG_DWORD, Dword(0xFFFFFFFF), Getter::DWord, kValue, "4294967295"},
        {"string as number", REG_SZ, "12", Getter::DWord, kSystemError, "13"},
        {"8-byte number", REG_DWORD, Dword(1) + Dword(2), Getter::DWord, kSystemError, "234"},
        {"expandable", REG_EXPAND_SZ, "%KSTEST_REGVAR%\\x", Getter::Expand, kValue, "C:\\expanded\\x"},
        {"expand of a plain string", REG_SZ, "%KSTEST_REGVAR%", Getter::Expand, kValue, "C:\\expanded"},
        {"unknown variable", REG_EXPAND_SZ, "%KSTEST_NONE%", Getter::Expand, kValue, "%KSTEST_NONE%"},
        {"size-0 expandable", REG_EXPAND_SZ, sz0, Getter::Expand, kValue, "dflt"},
        {"number as expandable", REG_DWORD, Dword(5), Getter::Expand, kInvalidType, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        RegDeleteValueA(key_.Handle(), "value");
        if (row.type)
            RawSet(key_.Handle(), "value", row.type, row.bytes);
        std::string result;
        Outcome outcome = kValue;
        try {
            if (row.getter == Getter::String)
                result = key_.GetString("value", "dflt");
            else if (row.getter == Getter::Expand)
                result = key_.GetExpandString("value", "dflt");
            else
                result = std::to_string(key_.GetDWord("value", 77));
        } catch (const CVRegKey::CInvalidType& e) {
            outcome = kInvalidType;
            EXPECT_STREQ(e.what(), "Attempt to treat registry value \"value\" with invalid type");
        } catch (const CVRegKey::CSystemException& e) {
            outcome = kSystemError;
            result = std::to_string(e.error);
        }
        EXPECT_EQ(outcome, row.outcome);
        EXPECT_EQ(result, row.expected);
    }
    // A default is expanded as well.
    EXPECT_EQ(key_.GetExpandString("missing", "%KSTEST_REGVAR%"), "C:\\expanded");
    SetEnvironmentVariableA("KSTEST_REGVAR", nullptr);
}

TEST_F(RegKeyTest, FailuresThrowWithTheSystemCodeAndText)
{
    EXPECT_EQ(ThrownCode([&] { key_.Open("missing", KEY_READ); }), 2u);
    EXPECT_EQ(ThrownCode([] { CVRegKey().GetSubKeyCount(); }), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    key_.Create("b", KEY_READ);
    key_.Create("a", KEY_READ);
    EXPECT_EQ(key_.GetSubKeyCount(), 2u);
    EXPECT_EQ(key_.EnumSubKey(0) + key_.EnumSubKey(1), "ab");
    EXPECT_EQ(ThrownCode([&] { key_.EnumSubKey(2); }), 259u);

    try {
        key_.Open("missing", KEY_READ);
        FAIL() << "no exception";
    } catch (const CVException& e) {
        // Caught by the family's base; a copy keeps the code and the system's text.
        const auto& system = dynamic_cast<const CVSystemException&>(e);
        CVSystemException copy(system);
        EXPECT_EQ(copy.error, 2u);
        EXPECT_EQ(std::string(copy.what()), GetSystemErrorText(2));
        EXPECT_STRNE(copy.what(), "");
    }
    CVException copied{CVRegKey::CInvalidType(nullptr)};
    EXPECT_STREQ(copied.what(), "Attempt to treat registry value \"\" with invalid type");
    EXPECT_STREQ(CVException().what(), "");
}

TEST_F(RegKeyTest, DeleteKeyAndDeleteKeyIfEmpty)
{
    key_.Create("top\\middle\\bottom", KEY_ALL_ACCESS).SetString("v", "x");
    key_.Create("top\\middle\\sibling", KEY_ALL_ACCESS).SetDWord("n", 1);
    key_.Create("top\\second", KEY_ALL_ACCESS);
    key_.Open("top", KEY_ALL_ACCESS).SetString("w", "y");
    key_.DeleteKey("top");
    EXPECT_FALSE(KeyExists(key_.Handle(), "top"));
    EXPECT_EQ(ThrownCode([&] { key_.DeleteKey("top"); }), 2u);

    key_.Create("withValue", KEY_ALL_ACCESS).SetString("v", "");
    key_.Create("withSubkey\\child", KEY_ALL_ACCESS);
    key_.Create("empty", KEY_ALL_ACCESS);
    for (const char* name : {"withValue", "withSubkey", "empty"})
        EXPECT_NO_THROW(key_.DeleteKeyIfEmpty(name)) << name;
    EXPECT_TRUE(KeyExists(key_.Handle(), "withValue"));
    EXPECT_TRUE(KeyExists(key_.Handle(), "withSubkey\\child"));
    EXPECT_FALSE(KeyExists(key_.Handle(), "empty"));
    EXPECT_EQ(ThrownCode([&] { key_.DeleteKeyIfEmpty("empty"); }), 2u);
}

TEST_F(RegKeyTest, CopyToCopiesValuesAndSubkeys)
{
    CVRegKey source = key_.Create("source", KEY_ALL_ACCESS);
    source.SetString("text", "hello");
    RawSet(source.Handle(), "emptyText", REG_SZ, "");
    source.SetDWord("number", 42);
    source.Create("sub\\deeper", KEY_ALL_ACCESS).SetString("inner", "deep");

    CVRegKey destination = key_.Create("destination", KEY_ALL_ACCESS);
    source.CopyTo(destination.Handle(), "copy");
    source.CopyTo(destination.Handle(), "");
    EXPECT_EQ(QueryHandle(destination.Handle()), ERROR_SUCCESS) << "the caller's handle was closed";
    for (const char* path : {"destination\\copy", "destination"}) {
        SCOPED_TRACE(path);
        CVRegKey copy = key_.Open(path, KEY_READ);
        EXPECT_EQ(copy.GetString("text"), "hello");
        EXPECT_EQ(copy.GetValueType("emptyText"), static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(copy.GetBinary("emptyText"), source.GetBinary("emptyText"));
        EXPECT_EQ(copy.GetDWord("number", 0), 42u);
        EXPECT_EQ(copy.Open("sub\\deeper", KEY_READ).GetString("inner"), "deep");
    }
}

}  // namespace
