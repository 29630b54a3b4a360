#include "platform/create_folder.h"
#include "platform/paths.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Shift-JIS texts whose characters end in byte 0x5C, the backslash.
const std::string kHyoji = "\x95\x5C\x8E\xA6";                 // "display"; the first character ends in 0x5C
const std::string kSofuto = "\x83\x5C\x83\x74\x83\x67";        // "software"; the first character ends in 0x5C
const std::string kNoryoku = "\x94\x5C\x97\xCD";               // "ability"; the first character ends in 0x5C
const std::string kYoteihyo = "\x97\x5C\x92\xE8\x95\x5C";      // "schedule"; ends in 0x5C

bool JapaneseCodePage() { return GetACP() == 932; }

struct SplitRow {
    std::string path;
    std::string name;
    std::string title;
    std::string directory;
};

void ExpectSplits(const std::vector<SplitRow>& rows)
{
    for (const SplitRow& row : rows) {
        SCOPED_TRACE("path: " + row.path);
        EXPECT_EQ(GetFileName(row.path), row.name);
        EXPECT_EQ(GetFileTitle(row.path), row.title);
        EXPECT_EQ(GetDirectory(row.path), row.directory);
    }
}

TEST(Paths, SplitsAtTheLastBackslash)
{
    ExpectSplits({
        {"C:\\dir\\file.txt", "file.txt", "file", "C:\\dir"},
        {"C:\\dir\\archive.tar.gz", "archive.tar.gz", "archive.tar", "C:\\dir"},
        {"C:\\dir.d\\noext", "noext", "noext", "C:\\dir.d"},
        {"C:\\.profile", ".profile", "", "C:"},
        {"C:\\dir\\", "", "", "C:\\dir"},
        {"C:\\dir\\\\", "", "", "C:\\dir\\"},
        {"\\\\server\\share\\x.y", "x.y", "x", "\\\\server\\share"},
        {"\\file.txt", "file.txt", "file", ""},
        {"file.txt", "file.txt", "file", ""},
        {"C:", "C:", "C:", ""},
        {"", "", "", ""},
    });
}

TEST(Paths, DoubleByteCharactersEndingInBackslashAreNotSeparators)
{
    if (!JapaneseCodePage())
        GTEST_SKIP() << "needs code page 932 (the platform.japanese run)";
    ExpectSplits({
        {"C:\\" + kHyoji + "\\" + kSofuto + "\\" + kNoryoku + ".txt", kNoryoku + ".txt", kNoryoku,
         "C:\\" + kHyoji + "\\" + kSofuto},
        {"C:\\data\\" + kYoteihyo, kYoteihyo, kYoteihyo, "C:\\data"},
        {"C:\\" + kYoteihyo + "\\" + kHyoji + ".doc", kHyoji + ".doc", kHyoji, "C:\\" + kYoteihyo},
        {kYoteihyo, kYoteihyo, kYoteihyo, ""},
        {kYoteihyo + "\\", "", "", kYoteihyo},
    });

    std::string stripped = "C:\\" + kYoteihyo + "\\\\";
    StripTrailingBackslashes(stripped);
    EXPECT_EQ(stripped, "C:\\" + kYoteihyo);

    // Cutting the trail byte off would make these equal.
    const std::string cut = "C:\\" + kYoteihyo.substr(0, kYoteihyo.size() - 1);
    EXPECT_FALSE(PathEquals(cut, ("C:\\" + kYoteihyo).c_str()));
    EXPECT_TRUE(PathEquals("C:\\" + kYoteihyo, ("C:\\" + kYoteihyo + "\\").c_str()));
}

TEST(Paths, PathEqualsIgnoresCaseAndTheSecondPathsTrailingBackslashes)
{
    struct Row {
        const char* a;
        const char* b;
        bool equal;
    } rows[] = {
        {"C:\\Program Files\\Velm", "c:\\program files\\VELM", true},
        {"C:\\Dir", "c:\\dir\\", true},
        {"C:\\Dir", "c:\\dir\\\\\\", true},
        {"C:\\Dir\\", "C:\\Dir", false},  // the first path is taken as it stands
        {"C:\\Dir", "C:\\Dir2", false},
        {"C:\\Dir", "C:/Dir", false},
        {"", nullptr, true},
        {"", "\\", true},
        {"C:\\Dir", nullptr, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.a) + " | " + (row.b ? row.b : "(null)"));
        EXPECT_EQ(PathEquals(row.a, row.b), row.equal);
    }
}

TEST(Paths, ShortAndLongFormsOfExistingPaths)
{
    kstest::ScratchFolder scratch("short_long");
    const std::string file = scratch.MakeFile("Long Folder Name\\Some Long File Name.txt");

    const std::string shortForm = GetShortPath(file, "fallback");
    EXPECT_NE(shortForm, file);
    EXPECT_NE(shortForm, "fallback");
    EXPECT_LE(GetFileName(shortForm).size(), 12u);
    EXPECT_TRUE(kstest::FileExists(shortForm));

    EXPECT_EQ(GetLongPath(shortForm, "fallback"), file);
    EXPECT_EQ(GetLongPath(file, "fallback"), file);

    const std::string missing = scratch / "No Such Long Name.txt";
    EXPECT_EQ(GetShortPath(missing, "fallback"), "fallback");
    EXPECT_EQ(GetShortPath(missing, ""), "");
    EXPECT_EQ(GetLongPath(missing, "fallback"), "fallback");
}

TEST(Paths, IsSamePathComparesTextsThenShortThenLongForms)
{
    kstest::ScratchFolder scratch("same_path");
    const std::string file = scratch.MakeFile("Long Folder Name\\Some Long File Name.txt");
    const std::string other = scratch.MakeFile("Long Folder Name\\Another Long File Name.txt");
    const std::string folder = scratch / "Long Folder Name";
    const std::string shortFile = GetShortPath(file, "");
    const std::string shortFolder = GetShortPath(folder, "");
    ASSERT_FALSE(shortFile.empty());
    ASSERT_FALSE(shortFolder.empty());

    struct Row {
        std::string a;
        std::string b;
        bool same;
    } rows[] = {
        {file, file, true},
        {file, shortFile, true},
        {shortFile, file, true},
        {folder, shortFolder + "\\", true},
        {shortFolder, folder + "\\\\", true},
        {file, other, false},
        {file, folder, false},
        {scratch / "missing\\A.txt", scratch / "MISSING\\a.txt", true},
        {scratch / "missing\\a.txt", scratch / "missing\\b.txt", false},
        {"", "", true},
        {"", "\\", true},
        {"", file, false},
        {file, "", false},
        {file, "\\", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.a + " | " + row.b);
        EXPECT_EQ(IsSamePath(row.a, row.b), row.same);
    }
    EXPECT_FALSE(IsSamePath(file, nullptr));
    EXPECT_TRUE(IsSamePath("", nullptr));
}

TEST(FolderTree, CreatesTheWholeChain)
{
    kstest::ScratchFolder scratch("folder_tree");
    const std::string deep = scratch / "one\\two\\three";
    SetLastError(0xDEAD);
    EXPECT_TRUE(CreateFolderTree(deep));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(kstest::FolderExists(deep));

    // A trailing backslash names the same folder.
    EXPECT_TRUE(CreateFolderTree(scratch / "four\\five\\"));
    EXPECT_TRUE(kstest::FolderExists(scratch / "four\\five"));
}

TEST(FolderTree, RefusesWhatExistsAndWhatCannotBeMade)
{
    kstest::ScratchFolder scratch("folder_tree_fail");
    const std::string file = scratch.MakeFile("file.txt");

    SetLastError(0);
    EXPECT_FALSE(CreateFolderTree(scratch.Path()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetLastError(0);
    EXPECT_FALSE(CreateFolderTree(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    // A file in the way of an intermediate folder: the walk goes on and the last
    // creation fails.
    EXPECT_FALSE(CreateFolderTree(file + "\\sub\\deeper"));
    EXPECT_FALSE(kstest::FolderExists(file + "\\sub"));
}

TEST(FolderTree, DoubleByteNamesEndingInBackslashMakeOneFolderEach)
{
    if (!JapaneseCodePage())
        GTEST_SKIP() << "needs code page 932 (the platform.japanese run)";
    kstest::ScratchFolder scratch("folder_tree_ja");
    const std::string deep = scratch / (kYoteihyo + "\\" + kSofuto);
    EXPECT_TRUE(CreateFolderTree(deep));
    EXPECT_TRUE(kstest::FolderExists(deep));

    // A split inside a character would have made a folder named after its first byte.
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((scratch / "*").c_str(), &entry);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    do {
        if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            names.push_back(entry.cFileName);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    EXPECT_EQ(names, std::vector<std::string>{kYoteihyo});
}

}  // namespace
