#include "text/string_ops.h"
#include "text/wildcard.h"

#include <gtest/gtest.h>

namespace {

using Pieces = std::vector<std::string>;

TEST(StringOps, SplitKeepsEmptyPieces)
{
    const struct {
        const char* source;
        Pieces pieces;
    } rows[] = {
        {"", {""}},
        {"a,", {"a", ""}},
        {"a,b,,c", {"a", "b", "", "c"}},
        {"abc", {"abc"}},
        {",", {"", ""}},
    };
    for (const auto& row : rows) {
        Pieces out = {"stale"};
        EXPECT_EQ(Split(row.source, ',', out), row.pieces.size()) << row.source;
        EXPECT_EQ(out, row.pieces) << row.source;
    }
}

TEST(StringOps, ToULongRefusesTrailingText)
{
    EXPECT_EQ(ToULong("12x"), 0xFFFFFFFFul);
    EXPECT_EQ(ToULong(""), 0ul);
    EXPECT_EQ(ToULong("4294967295"), 4294967295ul);
    EXPECT_EQ(ToULong("  42"), 42ul);
    EXPECT_EQ(ToULong("42 "), 0xFFFFFFFFul);
    EXPECT_EQ(ToULong("+7"), 7ul);
}

TEST(StringOps, TrimsSearchesAndReplaces)
{
    std::string path = "C:\\a\\b\\\\";
    TrimRight(path, '\\');
    EXPECT_EQ(path, "C:\\a\\b");
    TrimRight(path, '\\');
    EXPECT_EQ(path, "C:\\a\\b");
    std::string padded = "  \t x y \r\n";
    TrimRight(padded, " \t\r\n");
    TrimLeft(padded, " \t");
    EXPECT_EQ(padded, "x y");
    std::string slashes = "\\\\name\\";
    Trim(slashes, '\\');
    EXPECT_EQ(slashes, "name");

    const std::string text = "Setup.LOG and setup.log";
    EXPECT_EQ(Find(text, 'L'), 6u);
    EXPECT_EQ(Find(text, 'L', 7), npos);
    EXPECT_EQ(Find(text, "log", 0), 20u);
    EXPECT_EQ(Find(text, nullptr, 0), npos);
    EXPECT_EQ(Find(text, "and", 100), npos);
    EXPECT_EQ(FindNoCase(text, "SETUP", 1), 14u);
    EXPECT_EQ(ReverseFind(text, 'S'), 0u);
    EXPECT_EQ(ReverseFind(text, 'q'), npos);

    std::string lines = "a\nb\r\n";
    ReplaceAll(lines, "\n", "\r\n");
    EXPECT_EQ(lines, "a\r\nb\r\r\n");
    std::string grow = "aaa";
    ReplaceAll(grow, "a", "aa", 1);
    EXPECT_EQ(grow, "aaaaa");
    std::string lower = "MiXeD Case";
    MakeLower(lower);
    EXPECT_EQ(lower, "mixed case");
}

TEST(WildcardMatch, MatchesLikeFileNamePatterns)
{
    const struct {
        const char* text;
        const char* pattern;
        bool match;
    } rows[] = {
        {"setup.log", "*.LOG", true},
        {"a", "a**", true},
        {"", "*", true},
        {"", "?", false},
        {"", "", true},
        {"ab", "a?c", false},
        {"abc", "a?c", true},
        {"abc", "*", true},
        {"abcbcd", "a*bcd", true},
        {"abcbce", "a*bcd", false},
        {"file.log.bak", "*.log", false},
        {"x", "", false},
        {"readme", "READ*ME", true},
        {"mississippi", "m*iss*ppi", true},
        {"mississippi", "m*iss*ppx", false},
        // "?" stays a wildcard after a "*".
        {"setup.log", "*.l?g", true},
        {"setup.lg", "*.l?g", false},
        {"ab", "*?", true},
        {"", "*?", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WildcardMatch(row.text, row.pattern), row.match) << row.text << " ~ " << row.pattern;
    EXPECT_FALSE(WildcardMatch(nullptr, "*"));
    EXPECT_FALSE(WildcardMatch("a", nullptr));
}

}  // namespace
