#include "platform/create_folder.h"
#include "platform/paths.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Shift-JIS names whose characters end in byte 0x5C, the backslash.
const std::string kHyoji = "\x95\x5C\x8E\xA6";           // its first character ends in 0x5C
const std::string kSofuto = "\x83\x5C\x83\x74\x83\x67";  // its first character ends in 0x5C
const std::string kYotei = "\x97\x5C\x92\xE8\x95\x5C";   // ends in 0x5C

struct SplitRow {
    std::string path, name, title, directory;
};

void ExpectSplits(const std::vector<SplitRow>& rows)
{
    for (const SplitRow& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(GetFileName(row.path), row.name);
        EXPECT_EQ(GetFileTitle(row.path), row.title);
        EXPECT_EQ(GetDirectory(row.path), row.directory);
    }
}

TEST(Paths, SplitsAtTheLastBackslash)
{
    ExpectSplits({{"C:\\dir\\archive.tar.gz", "archive.tar.gz", "archive.tar", "C:\\dir"},
                  {"C:\\dir.d\\noext", "noext", "noext", "C:\\dir.d"},
                  {"C:\\.profile", ".profile", "", "C:"},
                  {"C:\\dir\\\\", "", "", "C:\\dir\\"},
                  {"\\\\server\\share\\x.y", "x.y", "x", "\\\\server\\share"},
                  {"file.txt", "file.txt", "file", ""},
                  {"", "", "", ""}});
    const struct {
        const char *a, *b;
        bool equal;
    } rows[] = {{"C:\\Program Files\\Velm", "c:\\program files\\VELM\\\\", true},
                {"C:\\Dir\\", "C:\\Dir", false},  // the first path is taken as it stands
                {"C:\\Dir", "C:\\Dir2", false},
                {"", nullptr, true},
                {"", "\\", true},
                {"C:\\Dir", nullptr, false}};
    for (const auto& row : rows)
        EXPECT_EQ(PathEquals(row.a, row.b), row.equal) << row.a << " | " << (row.b ? row.b : "(null)");
}

TEST(Paths, DoubleByteCharactersEndingInBackslashAreNotSeparators)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "needs code page 932 (the platform.japanese run)";
    ExpectSplits({{"C:\\" + kHyoji + "\\" + kSofuto + "\\" + kHyoji + ".txt", kHyoji + ".txt", kHyoji,
                   "C:\\" + kHyoji + "\\" + kSofuto},
                  {"C:\\data\\" + kYotei, kYotei, kYotei, "C:\\data"},
                  {kYotei, kYotei, kYotei, ""},
                  {kYotei + "\\", "", "", kYotei}});
    // Cutting the trail byte off as a backslash would make these equal.
    EXPECT_FALSE(PathEquals("C:\\" + kYotei.substr(0, 5), "C:\\" + kYotei));
    EXPECT_TRUE(PathEquals("C:\\" + kYotei, "C:\\" + kYotei + "\\\\"));
}

TEST(Paths, ShortAndLongFormsAndIsSamePath)
{
    kstest::ScratchFolder scratch("short_long");
    const std::string file = scratch.MakeFile("Long Folder Name\\Some Long File Name.txt");
    const std::string other = scratch.MakeFile("Long Folder Name\\Another Long File Name.txt");
    const std::string folder = scratch / "Long Folder Name";
    const std::string shortFile = GetShortPath(file, "fallback");
    const std::string shortFolder = GetShortPath(folder, "fallback");
    EXPECT_LE(GetFileName(shortFile).size(), 12u);
    EXPECT_TRUE(kstest::FileExists(shortFile));
    EXPECT_EQ(GetLongPath(shortFile, "fallback"), file);
    EXPECT_EQ(GetShortPath(scratch / "No Such Name.txt", "fallback"), "fallback");
    EXPECT_EQ(GetLongPath(scratch / "No Such Name.txt", "fallback"), "fallback");

    const struct {
        std::string a, b;
        bool same;
    } rows[] = {{file, shortFile, true},
                {shortFile, file, true},
                {folder, shortFolder + "\\", true},
                {shortFolder, folder + "\\\\", true},
                {file, other, false},
                {scratch / "missing\\A.txt", scratch / "MISSING\\a.txt", true},
                {scratch / "missing\\a.txt", scratch / "missing\\b.txt", false},
                {"", "\\", true},
                {"", file, false},
                {file, "\\", false}};
    for (const auto& row : rows)
        EXPECT_EQ(IsSamePath(row.a, row.b), row.same) << row.a << " | " << row.b;
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
    if (GetACP() != 932)
        GTEST_SKIP() << "needs code page 932 (the platform.japanese run)";
    kstest::ScratchFolder scratch("folder_tree_ja");
    // Wine names files in the host locale's character set (tests/wine/winetest.sh).
    const std::string probe = scratch / "\x92\xE8";
    if (!CreateDirectoryA(probe.c_str(), nullptr) || !RemoveDirectoryA(probe.c_str()))
        GTEST_SKIP() << "the system cannot name a folder in code page 932 here";
    EXPECT_TRUE(CreateFolderTree(scratch / (kYotei + "\\" + kSofuto)));
    EXPECT_TRUE(kstest::FolderExists(scratch / (kYotei + "\\" + kSofuto)));
    // A split inside a character would have made a folder named after its first byte.
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((scratch / "*").c_str(), &entry);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> names;
    do
        names.push_back(entry.cFileName);
    while (FindNextFileA(find, &entry));
    FindClose(find);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", kYotei}));
}

}  // namespace
