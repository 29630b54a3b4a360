#include "platform/reg_key.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

namespace {

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

TEST(RegKey, TypedGettersOnEdgeValues)
{
    kstest::TestRegKey scratch("RegKey");
    CVRegKey key = CVRegKey::CurrentUser.Create(scratch.Path().c_str(), KEY_ALL_ACCESS);
    SetEnvironmentVariableA("KSTEST_REGVAR", "C:\\expanded");
    const std::string sz0("", 0), sz1(1, '\0');
    const std::string invalid = "!Attempt to treat registry value \"value\" with invalid type";
    // type 0: no value; getter 's' GetString, 'e' GetExpandString, 'd' GetDWord; expected: the text,
    // the number in decimal, or "!" and the exception's code or text.
    const struct { const char* label; DWORD type; std::string bytes; char getter; std::string expected; } rows[] = {
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
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        RegDeleteValueA(key.Handle(), "value");
        if (row.type)
            RawSet(key.Handle(), "value", row.type, row.bytes);
        std::string result;
        try {
            result = row.getter == 's'   ? key.GetString("value", "dflt")
                     : row.getter == 'e' ? key.GetExpandString("value", "dflt")
                                         : std::to_string(key.GetDWord("value", 77));
        } catch (const CVRegKey::CInvalidType& e) {
            result = std::string("!") + e.what();
        } catch (const CVRegKey::CSystemException& e) {
            result = "!" + std::to_string(e.error);
        }
        EXPECT_EQ(result, row.expected);
    }
    EXPECT_EQ(key.GetExpandString("missing", "%KSTEST_REGVAR%"), "C:\\expanded");
    SetEnvironmentVariableA("KSTEST_REGVAR", nullptr);
}

TEST(RegKey, SubkeysAreCopiedEnumeratedAndDeletedIfEmpty)
{
    kstest::TestRegKey scratch("RegKey");
    CVRegKey key = CVRegKey::CurrentUser.Create(scratch.Path().c_str(), KEY_ALL_ACCESS);
    key.Create("top\\middle\\bottom", KEY_ALL_ACCESS).SetString("v", "x");
    key.Create("values", KEY_ALL_ACCESS).SetValue("raw", "a\0b", 3, REG_BINARY);
    key.Create("empty", KEY_ALL_ACCESS);
    // Into a new subkey of the destination, and into the destination itself, whose
    // handle stays the caller's.
    CVRegKey destination = key.Create("copy", KEY_ALL_ACCESS);
    key.Open("top", KEY_READ).CopyTo(destination.Handle(), "top");
    key.Open("values", KEY_READ).CopyTo(destination.Handle(), "");
    EXPECT_EQ(destination.Open("top\\middle\\bottom", KEY_READ).GetString("v"), "x");
    EXPECT_EQ(destination.GetBinary("raw"), (std::vector<BYTE>{'a', 0, 'b'}));
    // Only an empty key goes; one with a subkey or a value stays.
    for (const char* name : {"top", "values", "empty"})
        key.DeleteKeyIfEmpty(name);
    std::string names;
    for (DWORD i = 0; i < key.GetSubKeyCount(); ++i)
        names += key.EnumSubKey(i) + " ";
    EXPECT_EQ(names, "copy top values ");
    EXPECT_THROW(key.EnumSubKey(3), CVRegKey::CSystemException);
    EXPECT_THROW(key.DeleteKeyIfEmpty("empty"), CVRegKey::CSystemException);
}

}  // namespace
