#include "platform/folder_list.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// a.txt, b.log, empty\, sub\c.txt, sub\deeper\d.txt, sub.log\e.txt: 6 entries at the top
// and in sub and sub.log together 9 entries in all.
void MakeSampleTree(const kstest::ScratchFolder& scratch)
{
    for (const char* file : {"a.txt", "b.log", "sub\\c.txt", "sub\\deeper\\d.txt", "sub.log\\e.txt"})
        scratch.MakeFile(file);
    scratch.MakeFolder("empty");
}

TEST(ListFolder, ListsCountsAndFiltersEntries)
{
    kstest::ScratchFolder scratch("list");
    MakeSampleTree(scratch);
    std::vector<std::string> list;
    SetLastError(0xDEAD);
    EXPECT_EQ(ListFolder(scratch.Path(), true, nullptr, &list), 9u);
    EXPECT_EQ(GetLastError(), 0u);
    std::vector<std::string> expected;
    for (const char* entry : {"a.txt", "b.log", "empty", "sub", "sub\\c.txt", "sub\\deeper", "sub\\deeper\\d.txt",
                              "sub.log", "sub.log\\e.txt"})
        expected.push_back(scratch / entry);
    std::vector<std::string> sorted = list;
    std::sort(sorted.begin(), sorted.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);
    // A folder comes before its own entries.
    const auto at = [&list](const std::string& path) { return std::find(list.begin(), list.end(), path); };
    EXPECT_LT(at(scratch / "sub"), at(scratch / "sub\\deeper"));
    EXPECT_LT(at(scratch / "sub\\deeper"), at(scratch / "sub\\deeper\\d.txt"));

    const struct {
        const char* pattern;
        bool recurse;
        DWORD count;
    } rows[] = {{"", false, 5}, {"*.log", true, 2}, {"*.txt", true, 1}, {"sub*", true, 2}, {"*.none", true, 0}};
    for (const auto& row : rows)
        EXPECT_EQ(ListFolder(scratch.Path(), row.recurse, row.pattern, nullptr), row.count) << row.pattern;

    SetLastError(0xDEAD);
    EXPECT_EQ(ListFolder(scratch / "missing", true, nullptr, nullptr), 0u);
    EXPECT_EQ(GetLastError(), 0u);
}

TEST(GetDirContent, CountsThroughTheExportTable)
{
    kstest::ModuleUnderTest module;
    auto count = module.Export<LONG(WINAPI*)(LPCSTR, BOOL, LPCSTR)>("KSWGetDirContent");
    ASSERT_TRUE(count);
    EXPECT_EQ(reinterpret_cast<FARPROC>(count), GetProcAddress(module.Handle(), MAKEINTRESOURCEA(14)));
    kstest::ScratchFolder tree("dir_content");
    MakeSampleTree(tree);

    const struct {
        std::string folder;
        BOOL recurse;
        const char* pattern;
        LONG count;
    } rows[] = {{tree / "missing", TRUE, nullptr, -1},
                {tree / "empty", FALSE, nullptr, 0},
                {tree / "empty", TRUE, "*.txt", -1},  // nothing matches: the search cannot start
                {tree.Path(), FALSE, "", 5},
                {tree.Path() + "\\\\", TRUE, "*.*", 9},
                {tree.Path(), TRUE, "*.log", 2},  // sub.log is entered and adds nothing
                {tree.Path(), TRUE, "*.none", -1}};
    for (const auto& row : rows)
        EXPECT_EQ(count(row.folder.c_str(), row.recurse, row.pattern), row.count)
            << row.folder << " " << (row.pattern ? row.pattern : "(null)");
}

}  // namespace
