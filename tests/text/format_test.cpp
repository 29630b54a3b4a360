#include "text/format.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatString, MatchesTheRuntimeFormatterWithinTheMeasuredSize)
{
    std::string text;
    FormatString(text, "%s|%d|%X|%08X|%02d|%%|%c|%5.3f|%-20s|%.2s|%*d|%.*s|%#x|%ls", "abc", -12, 0xbeefu, 0x1fu, 5,
                 'z', 3.14159, "abc", "abcdef", 6, 42, 3, "abcdef", 255u, L"wide");
    EXPECT_EQ(text, "abc|-12|BEEF|0000001F|05|%|z|3.142|abc                 |ab|    42|abc|0xff|wide");
    FormatString(text, "%s", static_cast<const char*>(nullptr));
    EXPECT_EQ(text, "(null)");
    // "%f" of 1e300 (301 digits, the point and 6 decimals) is longer than the 128 bytes
    // measured for it.
    FormatString(text, "%f", 1e300);
    EXPECT_EQ(text.size(), 308u);
    EXPECT_EQ(text.substr(0, 17) + text.substr(301), "10000000000000000.000000");
}

TEST(FormatInserts, FormatsNumberedInsertsAndSystemTexts)
{
    std::string text = "unchanged";
    EXPECT_FALSE(FormatInserts(text, nullptr));
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(FormatInserts(text, "MAX_SIZE=%1!u! and %2 Uninstall", 100u, "Probe"));
    EXPECT_EQ(text, "MAX_SIZE=100 and Probe Uninstall");
    EXPECT_TRUE(FormatInserts(text, "%2 before %1", "one", "two"));
    EXPECT_EQ(text, "two before one");

    text = GetSystemErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(GetSystemErrorText(0x2FFFFFFF), "");
}

}  // namespace
