#include "platform/create_folder.h"
#include "platform/folder_list.h"
#include "platform/paths.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

// Shift-JIS names whose characters end in byte 0x5C, the backslash.
const std::string kHyoji = "\x95\x5C\x8E\xA6";           // its first character ends in 0x5C
const std::string kSofuto = "\x83\x5C\x83\x74\x83\x67";  // its first character ends in 0x5C
const std::string kYotei = "\x97\x5C\x92\xE8\x95\x5C";   // ends in 0x5C

TEST(Paths, SplitsAtTheLastBackslashAndComparesWithoutTrailingOnes)
{
    // The double-byte rows need code page 932: they run in the platform.japanese run.
    const bool japanese = GetACP() == 932;
    const struct { bool doubleByte; std::string path, name, title, directory; } splits[] = {
        {false, "C:\\dir.d\\archive.tar.gz", "archive.tar.gz", "archive.tar", "C:\\dir.d"},
        {false, "C:\\.profile", ".profile", "", "C:"},
        {false, "C:\\dir\\\\", "", "", "C:\\dir\\"},
        {false, "file", "file", "file", ""},
        {true, "C:\\" + kHyoji + "\\" + kSofuto + "\\" + kHyoji + ".txt", kHyoji + ".txt", kHyoji,
         "C:\\" + kHyoji + "\\" + kSofuto},
        {true, "C:\\data\\" + kYotei, kYotei, kYotei, "C:\\data"},
        {true, kYotei, kYotei, kYotei, ""},
        {true, kYotei + "\\", "", "", kYotei},
    };
    for (const auto& row : splits) {
        if (row.doubleByte && !japanese)
            continue;
        SCOPED_TRACE(row.path);
        EXPECT_EQ(GetFileName(row.path), row.name);
        EXPECT_EQ(GetFileTitle(row.path), row.title);
        EXPECT_EQ(GetDirectory(row.path), row.directory);
    }
    EXPECT_TRUE(PathEquals("C:\\Program Files\\Velm", "c:\\program files\\VELM\\\\"));
    EXPECT_FALSE(PathEquals("C:\\Dir\\", "C:\\Dir")) << "the first path is taken as it stands";
    EXPECT_TRUE(PathEquals("", "\\") && PathEquals("", nullptr));
    if (japanese) {
        // Cutting the trail byte off as a backslash would make these equal.
        EXPECT_FALSE(PathEquals("C:\\" + kYotei.substr(0, 5), "C:\\" + kYotei));
        EXPECT_TRUE(PathEquals("C:\\" + kYotei, "C:\\" + kYotei + "\\\\"));
    }
}

TEST(Paths, ShortAndLongFormsAndIsSamePath)
{
    kstest::ScratchFolder scratch("short_long");
    const std::string file = scratch.MakeFile("Long Folder Name\\Some Long File Name.txt");
    const std::string shortFile = kstest::ShortPath(file), missing = scratch / "missing\\a.txt";
    EXPECT_EQ(GetShortPath(file, "fallback"), shortFile);
    EXPECT_EQ(GetLongPath(shortFile, "fallback"), file);
    EXPECT_EQ(GetShortPath(missing, "fallback") + GetLongPath(missing, "fallback"), "fallbackfallback");
    EXPECT_TRUE(IsSamePath(file, shortFile));
    EXPECT_TRUE(IsSamePath(kstest::ShortPath(scratch / "Long Folder Name"), scratch / "Long Folder Name\\\\"));
    EXPECT_FALSE(IsSamePath(file, scratch.MakeFile("Long Folder Name\\Another Long File Name.txt")));
    // Missing paths fall back to themselves, not to one shared text.
    EXPECT_FALSE(IsSamePath(missing, scratch / "missing\\b.txt"));
}

TEST(FolderTree, CreatesTheMissingChainOnly)
{
    kstest::ScratchFolder scratch("folder_tree");
    SetLastError(0xDEAD);
    EXPECT_TRUE(CreateFolderTree(scratch / "one\\two\\three"));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(kstest::FolderExists(scratch / "one\\two\\three"));
    EXPECT_FALSE(CreateFolderTree(scratch / "one"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // A file in the way of a folder: the walk goes on, the last creation fails.
    const std::string file = scratch.MakeFile("file.txt");
    EXPECT_FALSE(CreateFolderTree(file + "\\sub\\deeper"));
    EXPECT_FALSE(kstest::FolderExists(file + "\\sub"));
}

TEST(FolderTree, DoubleByteNamesEndingInBackslashMakeOneFolderEach)
{
    kstest::ScratchFolder scratch("folder_tree_ja");
    // Wine names files in the host locale's character set (tests/wine/winetest.sh).
    const std::string probe = scratch / "\x92\xE8";
    if (GetACP() != 932 || !CreateDirectoryA(probe.c_str(), nullptr) || !RemoveDirectoryA(probe.c_str()))
        GTEST_SKIP() << "needs code page 932 and folder names in it (the platform.japanese run)";
    const std::string path = scratch / (kYotei + "\\" + kSofuto);
    EXPECT_TRUE(CreateFolderTree(path));
    // A split inside a character would have made a folder named after its first byte.
    std::vector<std::string> made;
    ListFolder(scratch.Path(), true, nullptr, &made);
    EXPECT_EQ(made, (std::vector<std::string>{scratch / kYotei, path}));
}

TEST(ListFolder, ListsAndCountsDirectlyAndThroughTheExportTable)
{
    kstest::ModuleUnderTest module;
    auto count = module.Require<LONG(WINAPI*)(LPCSTR, BOOL, LPCSTR)>("KSWGetDirContent", 14);
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
