#include "platform/folder_list.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using GetDirContentFunction = LONG(WINAPI*)(LPCSTR, BOOL, LPCSTR);

// a.txt, b.log, empty\, sub\c.txt, sub\deeper\d.txt, sub.log\e.txt
void MakeSampleTree(const kstest::ScratchFolder& scratch)
{
    scratch.MakeFile("a.txt");
    scratch.MakeFile("b.log");
    scratch.MakeFolder("empty");
    scratch.MakeFile("sub\\c.txt");
    scratch.MakeFile("sub\\deeper\\d.txt");
    scratch.MakeFile("sub.log\\e.txt");
}

std::vector<std::string> Sorted(std::vector<std::string> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

size_t IndexOf(const std::vector<std::string>& list, const std::string& item)
{
    return static_cast<size_t>(std::find(list.begin(), list.end(), item) - list.begin());
}

TEST(ListFolder, ListsAndCountsEntriesWithTheirPaths)
{
    kstest::ScratchFolder scratch("list");
    MakeSampleTree(scratch);

    std::vector<std::string> list;
    EXPECT_EQ(ListFolder(scratch.Path(), false, nullptr, &list), 5u);
    EXPECT_EQ(Sorted(list), Sorted({scratch / "a.txt", scratch / "b.log", scratch / "empty", scratch / "sub",
                                    scratch / "sub.log"}));

    list.clear();
    SetLastError(0xDEAD);
    EXPECT_EQ(ListFolder(scratch.Path(), true, "*.*", &list), 9u);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(Sorted(list), Sorted({scratch / "a.txt", scratch / "b.log", scratch / "empty", scratch / "sub",
                                    scratch / "sub\\c.txt", scratch / "sub\\deeper", scratch / "sub\\deeper\\d.txt",
                                    scratch / "sub.log", scratch / "sub.log\\e.txt"}));
    // A folder comes before its own entries.
    EXPECT_LT(IndexOf(list, scratch / "sub"), IndexOf(list, scratch / "sub\\c.txt"));
    EXPECT_LT(IndexOf(list, scratch / "sub\\deeper"), IndexOf(list, scratch / "sub\\deeper\\d.txt"));

    // The list is optional; an empty pattern is "*.*".
    EXPECT_EQ(ListFolder(scratch.Path(), true, "", nullptr), 9u);
}

TEST(ListFolder, PatternChoosesEntriesAndTheSubfoldersEntered)
{
    kstest::ScratchFolder scratch("list_pattern");
    MakeSampleTree(scratch);
    struct Row {
        const char* pattern;
        bool recurse;
        DWORD count;
    } rows[] = {
        {"*.log", false, 2},  // b.log, sub.log
        {"*.log", true, 2},   // sub.log is entered, but holds no *.log
        {"*.txt", true, 1},   // a.txt; no folder matches, so none is entered
        {"sub*", true, 2},    // sub and sub.log; nothing inside them matches
        {"*.none", true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.pattern) + (row.recurse ? " recursive" : ""));
        EXPECT_EQ(ListFolder(scratch.Path(), row.recurse, row.pattern, nullptr), row.count);
    }
}

TEST(ListFolder, MissingFolderCountsZeroAndClearsTheLastError)
{
    kstest::ScratchFolder scratch("list_missing");
    std::vector<std::string> list;
    SetLastError(0xDEAD);
    EXPECT_EQ(ListFolder(scratch / "missing", true, nullptr, &list), 0u);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(list.empty());
}

TEST(GetDirContent, CountsThroughTheExportTable)
{
    kstest::ModuleUnderTest module;
    auto count = module.Export<GetDirContentFunction>("KSWGetDirContent");
    ASSERT_TRUE(count);
    EXPECT_EQ(reinterpret_cast<FARPROC>(count), GetProcAddress(module.Handle(), MAKEINTRESOURCEA(14)));

    kstest::ScratchFolder scratch("dir_content");
    const std::string empty = scratch.MakeFolder("empty");
    kstest::ScratchFolder tree("dir_content_tree");
    MakeSampleTree(tree);

    struct Row {
        std::string folder;
        BOOL recurse;
        const char* pattern;
        LONG count;
    } rows[] = {
        {scratch / "missing", FALSE, nullptr, -1},
        {scratch / "missing", TRUE, "*.*", -1},
        {empty, FALSE, nullptr, 0},
        {empty, TRUE, "", 0},
        {tree.Path(), FALSE, nullptr, 5},
        {tree.Path(), TRUE, nullptr, 9},
        {tree.Path() + "\\", TRUE, "*.*", 9},
        {tree.Path() + "\\\\\\", FALSE, "", 5},
        {tree.Path(), TRUE, "*.log", 2},
        {tree.Path(), TRUE, "*.txt", 1},
        {tree.Path(), TRUE, "*.none", -1},  // nothing matches: the search cannot start
        {tree / "empty", TRUE, "*.txt", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder + " " + (row.pattern ? row.pattern : "(null)") + (row.recurse ? " recursive" : ""));
        EXPECT_EQ(count(row.folder.c_str(), row.recurse, row.pattern), row.count);
    }
    // Nested searches that find nothing add nothing: "sub*" enters sub and sub.log.
    EXPECT_EQ(count(tree.Path().c_str(), TRUE, "sub*"), 2);
}

}  // namespace
