#include "config_test_util.h"

TEST(ConfigSection, GetSectionFindsOrCreatesAlongThePath)
{
    ConfigDocument document = ParseText("[A]\n[B]\nb=1\n[]\n[B]\nb=2\n[]\n[]\n");
    EXPECT_EQ(document.GetSection("A\\B")->GetValue("b", ""), "1");  // the first of two
    for (const char* path : {"a", "A\\b", "A\\B\\C", "A\\", "\\A", "A\\\\B", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(document.GetSection(path, false)) << (path ? path : "(null)");
    EXPECT_FALSE(document.GetSection("", true) || document.GetSection(nullptr, true));
    // Empty components count: they create sections with an empty name.
    const SharedRef<ConfigSection> empty = document.GetSection("A\\\\B", true), c = document.GetSection("A\\B\\C", true);
    EXPECT_EQ(empty.Get(), document.GetSection("A\\\\B").Get());
    EXPECT_EQ(c.Get(), document.GetSection("A\\B")->GetSection("C").Get());
    document.GetSection("X\\", true);
    EXPECT_EQ(Dump(document), "[A]{[B]{<b>=<1> [C]{}} [B]{<b>=<2>} []{[B]{}}} [X]{[]{}}");
}

TEST(ConfigSection, ReadsNumbersAsAtolDoes)
{
    ConfigDocument document;
    const struct { const char* value; int32_t number; } rows[] = {
        {" \t\n -42", -42}, {"+7", 7}, {"12abc", 12}, {"abc", 0}, {"4294967297", 1}, {"-2147483648", INT32_MIN},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(document.SetString("A\\B", "n", row.value));
        EXPECT_EQ(document.GetInt("A\\B", "n", 77), row.number) << row.value;
    }
    EXPECT_EQ(document.GetInt("A\\B", "N", 77) + document.GetInt("A\\C", "n", 77), 154);
    EXPECT_EQ(document.GetSection("A\\B")->GetValue(nullptr, "default"), "default");
}

TEST(ConfigSection, MergeMatchesByExactNameAndSharesWhatItAdds)
{
    const char *target = "a=1\n[S]\nx=1\n[]\n", *source = "a=2\nb=3\n[S]\nx=2\ny=2\n[]\n[T]\n[]\n";
    const struct { const char *target, *source; bool overwrite; const char* merged; } rows[] = {
        {target, source, true, "<a>=<2> <b>=<3> [S]{<x>=<2> <y>=<2>} [T]{}"},
        {target, source, false, "<a>=<1> <b>=<3> [S]{<x>=<1> <y>=<2>} [T]{}"},
        // Exact names: "s" is another section; only the first target "S" takes the values.
        {"[S]\n[]\n[S]\nk=0\n[]\n", "[s]\nk=1\n[]\n[S]\nk=2\n[A]\n[B]\n[]\n[]\n[]\n", true,
         "[S]{<k>=<2> [A]{[B]{}}} [S]{<k>=<0>} [s]{<k>=<1>}"},
        {"k=1\nk=2\n", "k=3\nk=4\n", true, "<k>=<4> <k>=<2>"},
    };
    for (const auto& row : rows) {
        ConfigDocument merged = ParseText(row.target);
        merged.Merge(SharedRef<ConfigSection>(new ConfigDocument(ParseText(row.source))), row.overwrite);
        EXPECT_EQ(Dump(merged), row.merged) << row.source;
    }
    // What is added is the source's own; a matched entry takes the value in place.
    ConfigDocument merged = ParseText("[S]\nx=1\n[]\n");
    const SharedRef<ConfigEntry> kept = merged.GetSection("S")->EntryAt(0);
    const SharedRef<ConfigSection> added(new ConfigDocument(ParseText("[S]\nx=2\ny=3\n[]\n[T]\n[]\n")));
    merged.Merge(added, true);
    merged.Merge(SharedRef<ConfigSection>(), true);
    EXPECT_EQ(merged.GetSection("T").Get(), added->GetSection("T").Get());
    EXPECT_EQ(kept->value, "2");
}

TEST(ConfigSection, NestsToAnyDepthWithoutExhaustingTheStack)
{
    // Far deeper than a call stack of one frame per level would allow: parse, write,
    // merge and release.
    const size_t depth = 200000;
    std::string text;
    for (size_t i = 0; i < depth; ++i)
        text += "[s]\n";
    ConfigDocument document = ParseText(text + "k=v\n");
    EXPECT_EQ(Serialized(document, 0, true).size(), depth * 5 + 7);
    document.Merge(SharedRef<ConfigSection>(new ConfigDocument(ParseText(text + "j=w\n"))), true);
    const ConfigSection* level = &document;
    size_t levels = 0;
    for (; level->SectionCount() == 1; ++levels)
        level = level->SectionAt(0).Get();
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(Dump(*level), "<k>=<v> <j>=<w>");
}
