#include "text/string_ops.h"
#include "text/wildcard.h"

#include <gtest/gtest.h>

TEST(StringOps, SplitsParsesTrimsSearchesAndReplaces)
{
    // Every piece, empty ones too, into a cleared list.
    for (const auto& [source, expected] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"", {""}}, {"a,", {"a", ""}}, {"a,b,,c", {"a", "b", "", "c"}}, {",", {"", ""}}}) {
        std::vector<std::string> pieces = {"stale"};
        EXPECT_EQ(Split(source, ',', pieces), expected.size());
        EXPECT_EQ(pieces, expected);
    }
    for (const auto& [text, value] : {std::pair<const char*, unsigned long>{"12x", 0xFFFFFFFF}, {"42 ", 0xFFFFFFFF},
                                      {"", 0}, {"  +42", 42}, {"4294967295", 4294967295ul}})
        EXPECT_EQ(ToULong(text), value) << text;

    std::string path = "C:\\a\\b\\\\", padded = "  \t x y \r\n", slashes = "\\\\name\\";
    TrimRight(path, '\\');
    TrimRight(padded, " \t\r\n");
    TrimLeft(padded, " \t");
    Trim(slashes, '\\');
    EXPECT_EQ(path + "|" + padded + "|" + slashes, "C:\\a\\b|x y|name");

    const std::string text = "Setup.LOG and setup.log";
    EXPECT_EQ(Find(text, 'L'), 6u);
    EXPECT_EQ(Find(text, 'L', 7), npos);
    EXPECT_EQ(Find(text, "log", 0), 20u);
    EXPECT_EQ(Find(text, nullptr, 0), npos);
    EXPECT_EQ(FindNoCase(text, "SETUP", 1), 14u);
    EXPECT_EQ(ReverseFind(text, 'S'), 0u);
    EXPECT_EQ(ReverseFind(text, 'q'), npos);

    std::string lines = "a\nb\r\n", grow = "aaa", lower = "MiXeD Case";
    ReplaceAll(lines, "\n", "\r\n");
    ReplaceAll(grow, "a", "aa", 1);
    MakeLower(lower);
    EXPECT_EQ(lines + "|" + grow + "|" + lower, "a\r\nb\r\r\n|aaaaa|mixed case");
}

TEST(WildcardMatch, MatchesLikeFileNamePatterns)
{
    const struct { const char *text, *pattern; bool match; } rows[] = {
        {"setup.log", "*.LOG", true},       {"a", "a**", true},           {"", "*", true},
        {"", "?", false},                   {"x", "", false},             {"abc", "a?c", true},
        {"ab", "a?c", false},               {"abcbcd", "a*bcd", true},    {"abcbce", "a*bcd", false},
        {"file.log.bak", "*.log", false},   {"mississippi", "m*iss*ppi", true},
        // "?" stays a wildcard after a "*".
        {"setup.log", "*.l?g", true},       {"setup.lg", "*.l?g", false}, {"", "*?", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(WildcardMatch(row.text, row.pattern), row.match) << row.text << " ~ " << row.pattern;
    EXPECT_FALSE(WildcardMatch(nullptr, "*"));
    EXPECT_FALSE(WildcardMatch("a", nullptr));
}
