#include "config_test_util.h"

#include <mbctype.h>

TEST(ConfigGrammar, BuildsTheTreeInNestedAndFlatMode)
{
    // flat: the tree read in flat mode, null when it is the nested one.
    const struct { const char *text, *nested, *flat; } rows[] = {
        {"[General]\r\n AppTitle = Example\r\n [Install]\r\n  Group = Tools\r\n []\r\n[]\r\n",
         "[General]{<AppTitle>=<Example> [Install]{<Group>=<Tools>}}",
         "[General]{<AppTitle>=<Example>} [Install]{<Group>=<Tools>}"},
        // Entries after a sub-section still belong to the section.
        {"[A]\na=1\n[B]\n[]\na2=2\n[]\nroot=1\n", "<root>=<1> [A]{<a>=<1> <a2>=<2> [B]{}}", "<a2>=<2> [A]{<a>=<1>} [B]{}"},
        // The end of the text closes every open section.
        {"[A]\na=1\n[B]\nb=2", "[A]{<a>=<1> [B]{<b>=<2>}}", "[A]{<a>=<1>} [B]{<b>=<2>}"},
        // A stray "[]" at the top ends the load.
        {"x=1\n[]\n[A]\na=1\n", "<x>=<1>", nullptr},
        // Blanks around keys and values go, "=" and ";" after the first "=" stay; a line
        // beginning with ";" is a comment, one with neither "=" nor a bracket pair is
        // read past, and text after a section's "]" is ignored.
        {"  key with blanks \t =  value with blanks  \r\na=b=c\n=x\nkey =   \t\nk = v ; no comment\n#key = 1\n"
         "# hash line\n  ; c = d\n\f\v\n[NoClose = 1\n[NoClose\n  [ Gen eral ]  x = y\n[]\n[First]second]\n",
         "<key with blanks>=<value with blanks> <a>=<b=c> <>=<x> <key>=<> <k>=<v ; no comment> <#key>=<1> "
         "<[NoClose>=<1> [ Gen eral ]{} [First]{}", nullptr},
        // Lines ending in CR alone make one single line.
        {"a=1\rb=2\r[A]\r", "<a>=<1\rb=2\r[A]>", nullptr},
        // Flat: the "[]" of B ends it, c=3 lands at the top, whose "[]" ends the load.
        {"[A]\n a=1\n [B]\n  b=2\n []\n c=3\n[]\n[C]\n", "[A]{<a>=<1> <c>=<3> [B]{<b>=<2>}} [C]{}",
         "<c>=<3> [A]{<a>=<1>} [B]{<b>=<2>}"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Dump(ParseText(row.text)), row.nested);
        EXPECT_EQ(Dump(ParseText(row.text, nullptr, LoadMode::All, true)), row.flat ? row.flat : row.nested);
    }
}

TEST(ConfigGrammar, FilterAndModeChooseWhatEntersTheTree)
{
    const char* file =
        "r=0\n[General]\n g1=1\n [Sub]\n  s=1\n  [Deep]\n   d=1\n  []\n []\n g2=2\n [Sub2]\n  t=1\n []\n[]\n"
        // Read past by most rows: "[" in a value and after other text, an indented
        // section line with text after it, a line with "[" but no "]".
        "[Other]\n o=[x]\n x [NotASection]\n \t [General]  tail\n  og=1\n []\n [NoClose = 2\n[]\n"
        "[GENERAL]\n G=9\n[]\n[Item1]\n[]\n[item2]\n i=2\n[]\n";
    const char* general =
        "[General]{<g1>=<1> <g2>=<2> [Sub]{<s>=<1> [Deep]{<d>=<1>}} [Sub2]{<t>=<1>}} [GENERAL]{<G>=<9>}";
    const struct { const char* filter; LoadMode mode; bool flat; const char* tree; } rows[] = {
        {nullptr, LoadMode::All, false,
         "<r>=<0> [General]{<g1>=<1> <g2>=<2> [Sub]{<s>=<1> [Deep]{<d>=<1>}} [Sub2]{<t>=<1>}} "
         "[Other]{<o>=<[x]> <[NoClose>=<2> [General]{<og>=<1>}} [GENERAL]{<G>=<9>} [Item1]{} [item2]{<i>=<2>}"},
        {"\\\\general\\", LoadMode::All, false, general},
        {"General\\\\sub\\", LoadMode::All, false, "[General]{[Sub]{<s>=<1> [Deep]{<d>=<1>}}} [GENERAL]{}"},
        {"Other\\General", LoadMode::All, false, "[Other]{[General]{<og>=<1>}}"},
        {"Item2", LoadMode::All, false, "[item2]{<i>=<2>}"},
        {"Item", LoadMode::All, false, ""},
        {"General", LoadMode::ValuesOnly, false, "[General]{<g1>=<1> [Sub]{}} [GENERAL]{<G>=<9>}"},
        {"General\\Sub\\Deep", LoadMode::ValuesOnly, false, "[General]{[Sub]{[Deep]{<d>=<1>}}} [GENERAL]{}"},
        {nullptr, LoadMode::ValuesOnly, false, "<r>=<0> [General]{}"},
        // Flat on a nested file: the "[]" closing Sub is read at the top and ends the load.
        {"general", LoadMode::All, true, "[General]{<g1>=<1>}"},
        {"", LoadMode::All, false, ""},
        {"\\\\", LoadMode::All, false, ""},
        {"General", LoadMode::Skip, false, ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Dump(ParseText(file, row.filter, row.mode, row.flat)), row.tree)
            << (row.filter ? row.filter : "(null)") << " mode " << static_cast<int>(row.mode) << " flat " << row.flat;
    }
    // Flat: the section read past ends at the next section line, which is read again.
    EXPECT_EQ(Dump(ParseText("[A]\na=1\n[B]\nb=1\n [a] x\na=2\n", "A", LoadMode::All, true)), "[A]{<a>=<1>} [a]{<a>=<2>}");
}

TEST(ConfigGrammar, SectionNamesStepOverDoubleByteCharacters)
{
    // Shift-JIS: the second byte of U+30BE (0x83 0x5D) is the "]" byte, that of U+8868
    // (0x95 0x5C) the backslash byte; "[\x83]" holds no closing bracket.
    const int previous = _getmbcp();
    const std::string zone = "\x83\x5D\x81\x5B\x83\x93", table = "\x95\x5C", skipped = "[A]\n[\x83]\n[]\n[B]\nb=1\n[]\n";
    ASSERT_EQ(_setmbcp(932), 0);
    const ConfigDocument document = ParseText("[" + zone + "]\nk=1\n[" + table + "]\nt=2\n[]\n[]\n");
    EXPECT_EQ(Dump(document), "[" + zone + "]{<k>=<1> [" + table + "]{<t>=<2>}}");
    EXPECT_EQ(document.GetString((zone + "\\" + table).c_str(), "t", ""), "2");
    EXPECT_EQ(Dump(ParseText("[" + table + "]\nk=1\n[]\n", (table + "\\").c_str())), "[" + table + "]{<k>=<1>}");
    EXPECT_EQ(Dump(ParseText(skipped, "B")), "[B]{<b>=<1>}");
    // In a single-byte code page the same bytes close the names early.
    ASSERT_EQ(_setmbcp(1252), 0);
    EXPECT_EQ(Dump(ParseText("[" + zone + "]\nk=1\n[]\n")), "[\x83]{<k>=<1>}");
    EXPECT_EQ(Dump(ParseText(skipped, "B")), "");
    _setmbcp(previous);
}
