#include "config_test_util.h"

TEST(ConfigWriter, WritesTheLayoutByteForByte)
{
    const ConfigDocument document = ParseText(
        "; not kept\n\ntop = 1\n[General]\nAppTitle=Example\n[Install]\nGroup=Tools\n[Deep]\nd=\n[]\n[]\n"
        "late = entry\n[]\n[Other]\n[]\nroot2=2\n");
    EXPECT_EQ(Serialized(document),
              " top = 1\r\n root2 = 2\r\n"
              "[General]\r\n AppTitle = Example\r\n late = entry\r\n"
              " [Install]\r\n  Group = Tools\r\n  [Deep]\r\n   d = \r\n  []\r\n []\r\n"
              "[]\r\n[Other]\r\n[]\r\n");
    EXPECT_EQ(Serialized(document, 0, true),
              "top = 1\r\nroot2 = 2\r\n[General]\r\nAppTitle = Example\r\nlate = entry\r\n"
              "[Install]\r\nGroup = Tools\r\n[Deep]\r\nd = \r\n[Other]\r\n");
    // A named section on its own at a depth: header at depth, entries one deeper.
    EXPECT_EQ(Serialized(*document.GetSection("General\\Install"), 0, false, 2),
              "  [Install]\r\n   Group = Tools\r\n   [Deep]\r\n    d = \r\n   []\r\n  []\r\n");
    EXPECT_EQ(Serialized(ConfigDocument()), "");

    // An unnamed section has no header and no "[]": read back, its content belongs to
    // the enclosing section.
    ConfigDocument unnamed;
    ASSERT_TRUE(unnamed.SetString("A", "a", "1"));
    ASSERT_TRUE(unnamed.SetString("A\\\\B", "b", "2"));
    ASSERT_TRUE(unnamed.GetSection("A\\", true)->SetValue("u", "3"));
    const std::string text = Serialized(unnamed);
    EXPECT_EQ(text, "[A]\r\n a = 1\r\n  u = 3\r\n [B]\r\n  b = 2\r\n []\r\n[]\r\n");
    EXPECT_EQ(Dump(ParseText(text)), "[A]{<a>=<1> <u>=<3> [B]{<b>=<2>}}");
}

TEST(ConfigWriter, QuotesValuesAReaderWouldChange)
{
    const struct { const char* value; bool quoted; } rows[] = {
        {"plain", false}, {"a b", false},   {"", true},        {" lead", true}, {"trail ", true},
        {"\ttab", true},  {"\x01x", true},   {"!x", false},     {"\xE9t\xE9", true}, {"a\x7F", false},
        {"\"q\"", true},  {"\"", true},      {"\"q", false},    {"x\"y\"", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        ConfigDocument document;
        document.SetValue("k", row.value);
        const std::string quoted = Serialized(document, quoteValues, true);
        EXPECT_EQ(quoted, std::string("k = ") + (row.quoted ? "\"" : "") + row.value + (row.quoted ? "\"" : "") + "\r\n");
        EXPECT_EQ(ParseText(quoted, nullptr, LoadMode::All, true, ConfigText::unquoteValues).GetValue("k", "?"), row.value);
        EXPECT_EQ(Serialized(document, 0, true), std::string("k = ") + row.value + "\r\n");
    }
}
