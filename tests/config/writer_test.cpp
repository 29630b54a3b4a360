#include "config_test_util.h"

#include "config/config_writer.h"

#include <gtest/gtest.h>

namespace {

using configtest::Dump;
using configtest::ParseText;

std::string Write(const ConfigSection& section, uint32_t options = 0, bool flat = false, int depth = 0)
{
    std::string text = "not cleared";
    EXPECT_TRUE(SerializeToString(section, text, depth, options, flat));
    return text;
}

TEST(ConfigWriter, WritesTheLayoutByteForByte)
{
    const ConfigDocument document = ParseText(
        "; not kept\n\ntop = 1\n[General]\nAppTitle=Example\n[Install]\nGroup=Tools\n[Deep]\nd=\n[]\n[]\n"
        "late = entry\n[]\n[Other]\n[]\nroot2=2\n");
    EXPECT_EQ(Write(document),
              " top = 1\r\n root2 = 2\r\n"
              "[General]\r\n AppTitle = Example\r\n late = entry\r\n"
              " [Install]\r\n  Group = Tools\r\n  [Deep]\r\n   d = \r\n  []\r\n []\r\n"
              "[]\r\n[Other]\r\n[]\r\n");
    EXPECT_EQ(Write(document, 0, true),
              "top = 1\r\nroot2 = 2\r\n[General]\r\nAppTitle = Example\r\nlate = entry\r\n"
              "[Install]\r\nGroup = Tools\r\n[Deep]\r\nd = \r\n[Other]\r\n");
    // A named section on its own at a depth: header at depth, entries one deeper.
    EXPECT_EQ(Write(*document.GetSection("General\\Install"), 0, false, 2),
              "  [Install]\r\n   Group = Tools\r\n   [Deep]\r\n    d = \r\n   []\r\n  []\r\n");
    EXPECT_EQ(Write(ConfigDocument()), "");

    // An unnamed section has no header and no "[]": read back, its content belongs to
    // the enclosing section.
    ConfigDocument unnamed;
    ASSERT_TRUE(unnamed.SetString("A", "a", "1"));
    ASSERT_TRUE(unnamed.SetString("A\\\\B", "b", "2"));
    ASSERT_TRUE(unnamed.GetSection("A\\", true)->SetValue("u", "3"));
    const std::string text = Write(unnamed);
    EXPECT_EQ(text, "[A]\r\n a = 1\r\n  u = 3\r\n [B]\r\n  b = 2\r\n []\r\n[]\r\n");
    EXPECT_EQ(Dump(ParseText(text)), "[A]{<a>=<1> <u>=<3> [B]{<b>=<2>}}");
}

TEST(ConfigWriter, QuotesValuesAReaderWouldChange)
{
    const struct {
        const char* value;
        bool quoted;
    } rows[] = {
        {"plain", false}, {"a b", false},    {"", true},        {" lead", true},  {"trail ", true},
        {"\ttab", true},  {"\x01x", true},   {"!x", false},     {"\xE9t\xE9", true}, {"a\x7F", false},
        {"\"q\"", true},  {"\"", true},      {"\"q", false},    {"x\"y\"", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        ConfigDocument document;
        document.SetValue("k", row.value);
        const std::string quoted = Write(document, quoteValues, true);
        EXPECT_EQ(quoted, std::string("k = ") + (row.quoted ? "\"" : "") + row.value + (row.quoted ? "\"" : "") + "\r\n");
        EXPECT_EQ(ParseText(quoted, nullptr, LoadMode::All, true, ConfigText::unquoteValues).GetValue("k", "?"), row.value);
        EXPECT_EQ(Write(document, 0, true), std::string("k = ") + row.value + "\r\n");
    }
    // Without quoting, blanks at the ends are lost on the way through the text.
    ConfigDocument document;
    document.SetValue("k", "  padded  ");
    EXPECT_EQ(ParseText(Write(document)).GetValue("k", "?"), "padded");
}

TEST(ConfigWriter, BufferGrowsByDoublingThenBy256KiBSteps)
{
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    SerializationBuffer buffer;
    const struct {
        size_t offset;
        size_t size;
        size_t capacity;
    } steps[] = {
        {0, 0, page},          {page, 0, page},          {page, 1, page * 2},
        {0, page * 4 + 1, page * 4 + 1},                 {100000, 0, 100000},
        {100000, 1, 200000},   {300000, 100000, 400000}, {400000, 1, 400000 + 262144},
        {0, 3000000, 3000000}, {3000000, 5, 3262144},    {size_t(-1), 2, 3262144},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.offset + step.size);
        const bool fits = step.offset != size_t(-1);
        EXPECT_EQ(buffer.MakeRoom(step.offset, step.size), fits);
        EXPECT_EQ(buffer.Capacity(), step.capacity);
        if (step.size && fits) {
            EXPECT_EQ(buffer.Data()[step.offset + step.size - 1], 0);  // new memory is zero
            buffer.Data()[step.offset] = 'x';
        }
    }
    // What was written before a growth is still there after it.
    EXPECT_EQ(buffer.Data()[page], 'x');
    EXPECT_EQ(buffer.Data()[400000], 'x');

    // Serialize appends at the offset given and returns the new one.
    const ConfigDocument document = ParseText("[A]\nk=v\n[]\n");
    SerializationBuffer text;
    const size_t first = Serialize(document, text, 0, 0, 0, false);
    const size_t second = Serialize(*document.GetSection("A"), text, first, 3, 0, false);
    EXPECT_EQ(std::string(text.Data(), second), "[A]\r\n k = v\r\n[]\r\n   [A]\r\n    k = v\r\n   []\r\n");
    EXPECT_EQ(first, 17u);
}

}  // namespace
