// Double-byte texts on a Japanese system (code page 932): the trail byte of 表, ソ and
// 能 is 0x5C, the byte of a backslash.
#include "text/string_ops.h"
#include "text/wildcard.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

std::string ShiftJis(const wchar_t* text)
{
    char bytes[256];
    int n = WideCharToMultiByte(932, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr);
    return std::string(bytes, n > 0 ? n - 1 : 0);
}

TEST(Japanese, PathsAreNotSplitInsideACharacterAndCaseFoldingCoversFullWidthLetters)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "needs a Japanese system (code page 932)";
    const std::string path = ShiftJis(L"C:\\\u8868\u793a\\\u30bd\u30d5\u30c8\\\u80fd\u529b.txt");
    ASSERT_EQ(path[3 + 1], '\\');  // the trail byte of the first character
    EXPECT_EQ(ReverseFind(path, '\\'), 14u);
    EXPECT_EQ(Find(path, '\\', 3), 7u);

    std::vector<std::string> pieces;
    ASSERT_EQ(Split(path, '\\', pieces), 4u);
    EXPECT_EQ(pieces, (std::vector<std::string>{"C:", ShiftJis(L"\u8868\u793a"), ShiftJis(L"\u30bd\u30d5\u30c8"),
                                                ShiftJis(L"\u80fd\u529b.txt")}));

    std::string folder = ShiftJis(L"C:\\\u80fd\\");
    TrimRight(folder, '\\');
    EXPECT_EQ(folder, ShiftJis(L"C:\\\u80fd"));

    std::string text = ShiftJis(L"\uff21\uff22 \u8868 AB");
    MakeLower(text);
    EXPECT_EQ(text, ShiftJis(L"\uff41\uff42 \u8868 ab"));
    EXPECT_TRUE(WildcardMatch(ShiftJis(L"\uff21\u8868.TXT").c_str(), ShiftJis(L"\uff41?.txt").c_str()));
    EXPECT_TRUE(WildcardMatch(ShiftJis(L"\u8868\\x").c_str(), ShiftJis(L"*\\x").c_str()));
    EXPECT_FALSE(WildcardMatch(ShiftJis(L"\u8868").c_str(), "??"));
    EXPECT_EQ(FindNoCase(ShiftJis(L"\u80fd\uff21"), ShiftJis(L"\uff41").c_str()), 2u);
}

}  // namespace
