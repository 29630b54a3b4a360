#include "platform/folder_list.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

TEST(ListFolder, ListsAndCountsDirectlyAndThroughTheExportTable)
{
    kstest::ModuleUnderTest module;
    auto count = module.Export<LONG(WINAPI*)(LPCSTR, BOOL, LPCSTR)>("KSWGetDirContent");
    ASSERT_TRUE(count);
    EXPECT_EQ(reinterpret_cast<FARPROC>(count), GetProcAddress(module.Handle(), MAKEINTRESOURCEA(14)));
    // 5 entries at the top, 9 in all.
    kstest::ScratchFolder tree("list");
    for (const char* file : {"a.txt", "b.log", "sub\\c.txt", "sub\\deeper\\d.txt", "sub.log\\e.txt"})
        tree.MakeFile(file);
    tree.MakeFolder("empty");

    // Where the search cannot start (missing folder, nothing matches) ListFolder
    // counts 0 and the export answers -1.
    const struct { std::string folder; bool recurse; const char* pattern; DWORD listed; LONG counted; } rows[] = {
        {tree / "missing", true, nullptr, 0, -1},
        {tree / "empty", false, nullptr, 0, 0},
        {tree / "empty", true, "*.txt", 0, -1},
        {tree.Path(), false, "", 5, 5},
        {tree.Path(), true, "*.*", 9, 9},
        {tree.Path(), true, "*.log", 2, 2},  // sub.log is entered and adds nothing
        {tree.Path(), true, "*.txt", 1, 1},  // sub is not entered
        {tree.Path(), true, "*.none", 0, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder + " " + (row.pattern ? row.pattern : "(null)"));
        SetLastError(0xDEAD);
        EXPECT_EQ(ListFolder(row.folder, row.recurse, row.pattern, nullptr), row.listed);
        EXPECT_EQ(GetLastError(), 0u);
        EXPECT_EQ(count(row.folder.c_str(), row.recurse, row.pattern), row.counted);
    }
    EXPECT_EQ(count((tree.Path() + "\\\\").c_str(), TRUE, nullptr), 9);

    // Each folder before its own entries, in the file system's listing order (sorted
    // by name on NTFS and under Wine).
    std::vector<std::string> list, expected;
    EXPECT_EQ(ListFolder(tree.Path(), true, nullptr, &list), 9u);
    for (const char* entry : {"a.txt", "b.log", "empty", "sub", "sub\\c.txt", "sub\\deeper", "sub\\deeper\\d.txt",
                              "sub.log", "sub.log\\e.txt"})
        expected.push_back(tree / entry);
    EXPECT_EQ(list, expected);
}
