#include "config_test_util.h"

#include <gtest/gtest.h>

#include <mbctype.h>

namespace {

using configtest::Dump;
using configtest::ParseText;

TEST(ConfigGrammar, ClassifiesAndSplitsEachLine)
{
    const uint32_t unquote = ConfigText::unquoteValues;
    const struct {
        const char* text;
        uint32_t flags;
        LineKind kind;
        const char* name;
        const char* key;
        const char* value;
    } rows[] = {
        {"", 0, LineKind::EndOfText, "", "", ""},
        {" \t\r\v", 0, LineKind::Blank, "", "", ""},
        {"  ; comment = not an entry", 0, LineKind::Comment, "", "", ""},
        {"# hash line", 0, LineKind::Other, "", "", ""},
        {"#key = 1", 0, LineKind::Entry, "", "#key", "1"},
        {"plain text", 0, LineKind::Other, "", "", ""},
        {"  [ Gen eral ]  ignored = text", 0, LineKind::SectionStart, " Gen eral ", "", ""},
        {"[First]second]", 0, LineKind::SectionStart, "First", "", ""},
        {"  [] anything", 0, LineKind::SectionEnd, "", "", ""},
        {"[NoClose", 0, LineKind::Other, "", "", ""},
        {"[NoClose = 1", 0, LineKind::Entry, "", "[NoClose", "1"},
        {"  key with blanks \t =  value with blanks  \r", 0, LineKind::Entry, "", "key with blanks", "value with blanks"},
        {"a=b=c", 0, LineKind::Entry, "", "a", "b=c"},
        {"=x", 0, LineKind::Entry, "", "", "x"},
        {"key =   \t", 0, LineKind::Entry, "", "key", ""},
        {"key = v ; not a comment", 0, LineKind::Entry, "", "key", "v ; not a comment"},
        {"\fk\v=\vv\f", 0, LineKind::Entry, "", "\fk", "v\f"},
        {"k = \"q\"", 0, LineKind::Entry, "", "k", "\"q\""},
        {"k = \"q\"", unquote, LineKind::Entry, "", "k", "q"},
        {"k = \" a \"  ", unquote, LineKind::Entry, "", "k", " a "},
        {"k = \"", unquote, LineKind::Entry, "", "k", ""},
        {"k = \"\"\"", unquote, LineKind::Entry, "", "k", "\""},
        {"k = \"a", unquote, LineKind::Entry, "", "k", "\"a"},
        {"k = x\"y\"", unquote, LineKind::Entry, "", "k", "x\"y\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        ConfigText text;
        text.Assign(row.text, strlen(row.text));
        text.flags = row.flags;
        std::string line, name = "stale", key = "stale", value = "stale";
        EXPECT_EQ(static_cast<int>(text.NextLine(line, name, key, value)), static_cast<int>(row.kind));
        EXPECT_EQ(name, row.name);
        EXPECT_EQ(key, row.key);
        EXPECT_EQ(value, row.value);
    }
}

TEST(ConfigGrammar, SplitsLinesAtLineFeedsOnly)
{
    const std::string bytes = "a=1\r\n\n  [S]  \r\nb=2\rc=3\n; last";
    ConfigText text;
    text.Assign(bytes.data(), bytes.size());
    const struct {
        LineKind kind;
        const char* line;
        size_t positionAfter;
    } expected[] = {
        {LineKind::Entry, "a=1", 5},         {LineKind::Blank, "", 6},       {LineKind::SectionStart, "[S]", 15},
        {LineKind::Entry, "b=2\rc=3", 23},   {LineKind::Comment, "; last", 29}, {LineKind::EndOfText, "", 29},
    };
    std::string line, name, key, value;
    for (const auto& row : expected) {
        EXPECT_EQ(text.NextLine(line, name, key, value), row.kind);
        EXPECT_EQ(line, row.line);
        EXPECT_EQ(text.Position(), row.positionAfter);
    }
    text.SetPosition(15);
    EXPECT_EQ(text.NextLine(line, name, key, value), LineKind::Entry);
    EXPECT_EQ(value, "2\rc=3");
}

TEST(ConfigGrammar, BuildsTheTreeInNestedAndFlatMode)
{
    const struct {
        const char* text;
        const char* nested;
        const char* flat;
    } rows[] = {
        {"[General]\r\n AppTitle = Example\r\n [Install]\r\n  Group = Tools\r\n []\r\n[]\r\n",
         "[General]{<AppTitle>=<Example> [Install]{<Group>=<Tools>}}",
         "[General]{<AppTitle>=<Example>} [Install]{<Group>=<Tools>}"},
        // Entries after a sub-section still belong to the section.
        {"[A]\na=1\n[B]\n[]\na2=2\n[]\nroot=1\n", "<root>=<1> [A]{<a>=<1> <a2>=<2> [B]{}}",
         "<a2>=<2> [A]{<a>=<1>} [B]{}"},
        // The end of the text closes every open section.
        {"[A]\na=1\n[B]\nb=2", "[A]{<a>=<1> [B]{<b>=<2>}}", "[A]{<a>=<1>} [B]{<b>=<2>}"},
        // A stray "[]" at the top ends the load.
        {"x=1\n[]\n[A]\na=1\n", "<x>=<1>", "<x>=<1>"},
        {"[A]\n[]\n[]\n[B]\nb=1\n", "[A]{}", "[A]{}"},
        {"[A]\nk=1\nk=2\n[]\n[A]\nk=3\n[]\n", "[A]{<k>=<1> <k>=<2>} [A]{<k>=<3>}", "[A]{<k>=<1> <k>=<2>} [A]{<k>=<3>}"},
        // Lines ending in CR alone make one single line.
        {"[A]\ra=1\rb=2\r", "[A]{}", "[A]{}"},
        {"a=1\rb=2\r[A]\r", "<a>=<1\rb=2\r[A]>", "<a>=<1\rb=2\r[A]>"},
        {"[A] x\n; k = 1\n#k = 2\n[NoClose = 3\nnot an entry\n\n[] x", "[A]{<#k>=<2> <[NoClose>=<3>}",
         "[A]{<#k>=<2> <[NoClose>=<3>}"},
        // Flat: the "[]" of B ends it, c=3 lands at the top, whose "[]" ends the load.
        {"[A]\n a=1\n [B]\n  b=2\n []\n c=3\n[]\n[C]\n", "[A]{<a>=<1> <c>=<3> [B]{<b>=<2>}} [C]{}",
         "<c>=<3> [A]{<a>=<1>} [B]{<b>=<2>}"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Dump(ParseText(row.text)), row.nested);
        EXPECT_EQ(Dump(ParseText(row.text, nullptr, LoadMode::All, true)), row.flat);
    }
}

TEST(ConfigGrammar, FilterAndModeChooseWhatEntersTheTree)
{
    const char* file =
        "r=0\n"
        "[General]\n g1=1\n [Sub]\n  s=1\n  [Deep]\n   d=1\n  []\n []\n g2=2\n [Sub2]\n  t=1\n []\n[]\n"
        "[Other]\n o=1\n [General]\n  og=1\n []\n[]\n"
        "[GENERAL]\n G=9\n[]\n";
    const char* general = "[General]{<g1>=<1> <g2>=<2> [Sub]{<s>=<1> [Deep]{<d>=<1>}} [Sub2]{<t>=<1>}} [GENERAL]{<G>=<9>}";
    const struct {
        const char* filter;
        LoadMode mode;
        bool flat;
        const char* tree;
    } rows[] = {
        {nullptr, LoadMode::All, false, "<r>=<0> [General]{<g1>=<1> <g2>=<2> [Sub]{<s>=<1> [Deep]{<d>=<1>}} "
                                        "[Sub2]{<t>=<1>}} [Other]{<o>=<1> [General]{<og>=<1>}} [GENERAL]{<G>=<9>}"},
        {"General", LoadMode::All, false, general},
        {"general", LoadMode::All, false, general},
        {"\\\\General\\", LoadMode::All, false, general},
        {"General\\\\sub\\", LoadMode::All, false, "[General]{[Sub]{<s>=<1> [Deep]{<d>=<1>}}} [GENERAL]{}"},
        {"Other\\General", LoadMode::All, false, "[Other]{[General]{<og>=<1>}}"},
        {"General", LoadMode::ValuesOnly, false, "[General]{<g1>=<1> [Sub]{}} [GENERAL]{<G>=<9>}"},
        {"General\\Sub\\Deep", LoadMode::ValuesOnly, false, "[General]{[Sub]{[Deep]{<d>=<1>}}} [GENERAL]{}"},
        {nullptr, LoadMode::ValuesOnly, false, "<r>=<0> [General]{}"},
        // Flat on a nested file: the "[]" closing Sub is read at the top and ends the load.
        {"general", LoadMode::All, true, "[General]{<g1>=<1>}"},
        {"", LoadMode::All, false, ""},
        {"\\\\", LoadMode::All, false, ""},
        {"Missing", LoadMode::All, false, ""},
        {"General", LoadMode::Skip, false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.filter ? row.filter : "(null)") + " mode " +
                     std::to_string(static_cast<int>(row.mode)) + (row.flat ? " flat" : ""));
        EXPECT_EQ(Dump(ParseText(file, row.filter, row.mode, row.flat)), row.tree);
    }
}

TEST(ConfigGrammar, LookUpsAreCaseSensitiveAndFindTheFirst)
{
    const ConfigDocument document = ParseText("[General]\nKey=1\nKey=2\nempty=\n[]\n[General]\nKey=3\nOther=4\n[]\n");
    const struct {
        const char* section;
        const char* key;
        const char* expected;
    } rows[] = {
        {"General", "Key", "1"},   {"General", "key", "default"}, {"general", "Key", "default"},
        {"General", "Other", "default"}, {"General", "empty", ""}, {nullptr, "Key", "default"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.section ? row.section : "(null)") + "/" + row.key);
        EXPECT_EQ(document.GetString(row.section, row.key, "default"), row.expected);
    }
    EXPECT_EQ(document.GetString("Missing", "Key", nullptr), "");
}

TEST(ConfigGrammar, SectionNamesStepOverDoubleByteCharacters)
{
    // Shift-JIS: the second byte of U+30BE (0x83 0x5D) is the "]" byte, that of U+8868
    // (0x95 0x5C) the backslash byte.
    const int previous = _getmbcp();
    const std::string zone = "\x83\x5D\x81\x5B\x83\x93", table = "\x95\x5C";
    ASSERT_EQ(_setmbcp(932), 0);
    const ConfigDocument document = ParseText("[" + zone + "]\nk=1\n[" + table + "]\nt=2\n[]\n[]\n");
    EXPECT_EQ(Dump(document), "[" + zone + "]{<k>=<1> [" + table + "]{<t>=<2>}}");
    EXPECT_EQ(document.GetString((zone + "\\" + table).c_str(), "t", ""), "2");
    EXPECT_EQ(Dump(ParseText("[" + table + "]\nk=1\n[]\n", (table + "\\").c_str())), "[" + table + "]{<k>=<1>}");
    // In a single-byte code page the same bytes close the name early.
    ASSERT_EQ(_setmbcp(1252), 0);
    EXPECT_EQ(Dump(ParseText("[" + zone + "]\nk=1\n[]\n")), "[\x83]{<k>=<1>}");
    _setmbcp(previous);
}

}  // namespace
