#include "config_test_util.h"

#include "config/config_writer.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using configtest::Dump;
using configtest::ParseText;

TEST(ConfigSection, GetSectionFindsOrCreatesAlongThePath)
{
    ConfigDocument document = ParseText("[A]\n[B]\nb=1\n[]\n[B]\nb=2\n[]\n[]\n");
    EXPECT_EQ(document.GetSection("A\\B")->GetValue("b", ""), "1");  // the first of two
    for (const char* path : {"a", "A\\b", "A\\B\\C", "A\\", "\\A", "A\\\\B", "", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(path ? path : "(null)");
        EXPECT_FALSE(document.GetSection(path, false));
    }
    EXPECT_FALSE(document.GetSection("", true));
    EXPECT_FALSE(document.GetSection(nullptr, true));
    // Empty components count: they create sections with an empty name.
    const SharedRef<ConfigSection> created = document.GetSection("A\\\\B", true);
    EXPECT_EQ(created.Get(), document.GetSection("A\\\\B").Get());
    const SharedRef<ConfigSection> c = document.GetSection("A\\B\\C", true);
    EXPECT_EQ(c.Get(), document.GetSection("A\\B")->GetSection("C").Get());
    EXPECT_TRUE(document.GetSection("X\\", true));
    EXPECT_EQ(Dump(document), "[A]{[B]{<b>=<1> [C]{}} [B]{<b>=<2>} []{[B]{}}} [X]{[]{}}");
}

TEST(ConfigSection, ReadsValuesAndNumbers)
{
    ConfigSection section("S");
    const struct {
        const char* value;
        int32_t number;
    } rows[] = {
        {"123", 123}, {"-42", -42}, {"+7", 7},   {" \t\n 9", 9}, {"12abc", 12}, {"abc", 0},
        {"", 0},      {"- 5", 0},   {"0x1F", 0}, {"4294967297", 1}, {"-2147483648", INT32_MIN},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        ASSERT_TRUE(section.SetValue("n", row.value));
        EXPECT_EQ(section.GetInt("n", 77), row.number);
        EXPECT_EQ(section.GetValue("n", "default"), row.value);
    }
    EXPECT_EQ(section.GetInt("N", 77), 77);
    EXPECT_EQ(section.GetInt(nullptr, 77), 77);
    EXPECT_EQ(section.GetValue("missing", nullptr), "");
    EXPECT_EQ(section.GetValue(nullptr, "default"), "default");

    const ConfigDocument document = ParseText("[A]\n[B]\nn=15 items\nempty=\n[]\n[]\n");
    EXPECT_EQ(document.GetInt("A\\B", "n", -1), 15);
    EXPECT_EQ(document.GetInt("A\\B", "empty", -1), 0);
    EXPECT_EQ(document.GetInt("A\\B", "none", -1), -1);
    EXPECT_EQ(document.GetInt("A\\C", "n", -1), -1);
}

TEST(ConfigSection, SetRemoveAndEnumerate)
{
    ConfigDocument document = ParseText("k=1\n[S]\na=1\nk=first\nb=2\nk=second\n[]\n[s]\n[]\n[S]\n[]\n");
    const SharedRef<ConfigSection> section = document.GetSection("S");
    const ConfigSection copy(*section);  // shares the entries
    ASSERT_TRUE(section->SetValue("k", "new"));
    ASSERT_TRUE(section->SetValue("K", nullptr));
    EXPECT_FALSE(section->SetValue(nullptr, "x"));
    EXPECT_EQ(Dump(*section), "<a>=<1> <k>=<new> <b>=<2> <k>=<second> <K>=<>");
    // The first entry was replaced by a new one, not changed: the copy keeps the old.
    EXPECT_EQ(copy.GetValue("k", ""), "first");
    EXPECT_EQ(copy.EntryAt(0).Get(), section->EntryAt(0).Get());

    EXPECT_TRUE(document.SetString("S\\New\\Deeper", "x", "1"));
    EXPECT_FALSE(document.SetString("", "x", "1"));
    EXPECT_FALSE(document.SetString(nullptr, "x", "1"));
    EXPECT_EQ(document.GetString("S\\New\\Deeper", "x", ""), "1");

    EXPECT_EQ(section->RemoveEntries("k"), 2u);
    EXPECT_EQ(section->RemoveEntries("k"), 0u);
    EXPECT_EQ(section->RemoveEntries(nullptr), 0u);
    EXPECT_EQ(document.RemoveSections("S"), 2u);
    EXPECT_EQ(document.RemoveSections(nullptr), 0u);
    EXPECT_EQ(Dump(document), "<k>=<1> [s]{}");
    EXPECT_EQ(Dump(*section), "<a>=<1> <b>=<2> <K>=<> [New]{[Deeper]{<x>=<1>}}");

    ASSERT_EQ(section->EntryCount(), 3u);
    ASSERT_EQ(section->SectionCount(), 1u);
    EXPECT_EQ(section->EntryAt(2)->key, "K");
    EXPECT_EQ(section->SectionAt(0)->Name(), "New");
    EXPECT_FALSE(section->EntryAt(3));
    EXPECT_FALSE(section->SectionAt(1));
    EXPECT_FALSE(section->SectionAt(static_cast<size_t>(-1)));
    section->Clear();
    EXPECT_EQ(section->EntryCount() + section->SectionCount(), 0u);
    EXPECT_EQ(section->Name(), "S");
}

TEST(ConfigSection, MergeMatchesByExactNameAndSharesWhatItAdds)
{
    const struct {
        const char* target;
        const char* source;
        bool overwrite;
        const char* merged;
    } rows[] = {
        {"a=1\n[S]\nx=1\n[]\n", "a=2\nb=3\n[S]\nx=2\ny=2\n[]\n[T]\n[]\n", true, "<a>=<2> <b>=<3> [S]{<x>=<2> <y>=<2>} [T]{}"},
        {"a=1\n[S]\nx=1\n[]\n", "a=2\nb=3\n[S]\nx=2\ny=2\n[]\n[T]\n[]\n", false, "<a>=<1> <b>=<3> [S]{<x>=<1> <y>=<2>} [T]{}"},
        // Exact names: "s" is another section; only the first target "S" takes the values.
        {"[S]\n[]\n[S]\nk=0\n[]\n", "[s]\nk=1\n[]\n[S]\nk=2\n[A]\n[B]\n[]\n[]\n[]\n", true,
         "[S]{<k>=<2> [A]{[B]{}}} [S]{<k>=<0>} [s]{<k>=<1>}"},
        {"k=1\nk=2\n", "k=3\nk=4\n", true, "<k>=<4> <k>=<2>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.source);
        ConfigDocument target = ParseText(row.target);
        target.Merge(SharedRef<ConfigSection>(new ConfigDocument(ParseText(row.source))), row.overwrite);
        EXPECT_EQ(Dump(target), row.merged);
    }

    // Added sections and entries are the source's own objects; a matched entry takes
    // the new value in place.
    ConfigDocument target = ParseText("[S]\nx=1\n[]\n");
    const SharedRef<ConfigEntry> kept = target.GetSection("S")->EntryAt(0);
    const SharedRef<ConfigSection> source(new ConfigDocument(ParseText("[S]\nx=2\ny=3\n[]\n[T]\n[]\n")));
    target.Merge(source, true);
    target.Merge(SharedRef<ConfigSection>(), true);
    EXPECT_EQ(target.GetSection("T").Get(), source->GetSection("T").Get());
    EXPECT_EQ(target.GetSection("S")->EntryAt(1).Get(), source->GetSection("S")->EntryAt(1).Get());
    EXPECT_EQ(target.GetSection("S")->EntryAt(0).Get(), kept.Get());
    EXPECT_EQ(Dump(target), "[S]{<x>=<2> <y>=<3>} [T]{}");
}

struct Counted {
    Counted() { InterlockedIncrement(&live); }
    ~Counted() { InterlockedDecrement(&live); }
    static LONG live;
};
LONG Counted::live = 0;

TEST(SharedRef, CountsHoldersAcrossThreadsAndDeletesOnce)
{
    SharedRef<Counted> handle = MakeShared<Counted>();
    SharedRef<Counted> moved{SharedRef<Counted>(handle)};
    EXPECT_EQ(handle.UseCount(), 2);
    moved = SharedRef<Counted>();
    EXPECT_FALSE(moved);
    EXPECT_EQ(moved.UseCount(), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&handle] {
            std::vector<SharedRef<Counted>> held;
            for (int round = 0; round < 200; ++round) {
                held.assign(100, handle);
                held.clear();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(handle.UseCount(), 1);
    EXPECT_EQ(Counted::live, 1);
    handle.Reset();
    EXPECT_EQ(Counted::live, 0);
}

TEST(ConfigSection, NestsToAnyDepthWithoutExhaustingTheStack)
{
    // Far deeper than a call stack of one frame per level would allow: parse, write,
    // merge and release.
    const size_t depth = 200000;
    std::string text;
    for (size_t i = 0; i < depth; ++i)
        text += "[s]\n";
    auto bottom = [](const ConfigSection& top, size_t* levels) {
        const ConfigSection* level = &top;
        for (*levels = 0; level->SectionCount() == 1; ++*levels)
            level = level->SectionAt(0).Get();
        return level;
    };
    ConfigDocument document = ParseText(text + "k=v\n");
    std::string flat;
    ASSERT_TRUE(SerializeToString(document, flat, 0, 0, true));
    EXPECT_EQ(flat.size(), depth * 5 + 7);
    document.Merge(SharedRef<ConfigSection>(new ConfigDocument(ParseText(text + "j=w\n"))), true);
    size_t levels = 0;
    EXPECT_EQ(Dump(*bottom(document, &levels)), "<k>=<v> <j>=<w>");
    EXPECT_EQ(levels, depth);
}

}  // namespace
