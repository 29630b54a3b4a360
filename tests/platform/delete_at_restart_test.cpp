#include "platform/delete_at_restart.h"
#include "platform/paths.h"
#include "platform/system_version.h"
#include "restart_lists.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

size_t IndexOf(const std::vector<std::string>& list, const std::string& item)
{
    return static_cast<size_t>(std::find(list.begin(), list.end(), item) - list.begin());
}

TEST(DeleteAtRestart, MissingPathIsRefused)
{
    kstest::ScratchFolder scratch("restart_missing");
    kstest::PendingRenamesGuard pending(scratch.Path());
    kstest::WininitSectionGuard wininit;
    const std::vector<std::string> wininitBefore = kstest::WininitRenameLines();

    RestartNeeded = false;
    EXPECT_FALSE(DeleteAtRestart(scratch / "missing.txt"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(RestartNeeded);
    EXPECT_TRUE(kstest::PendingDeletionsBelow(scratch.Path()).empty());
    EXPECT_EQ(kstest::WininitRenameLines(), wininitBefore);
}

TEST(DeleteAtRestart, NtFamilySchedulesEntriesBeforeTheirFolder)
{
    if (!IsWindowsNT())
        GTEST_SKIP() << "the pending rename list belongs to the Windows NT family";
    kstest::ScratchFolder scratch("restart_nt");
    kstest::PendingRenamesGuard pending(scratch.Path());
    const std::string folder = scratch.MakeFolder("tree");
    const std::string readOnly = scratch.MakeFile("tree\\read-only.txt");
    const std::string inner = scratch.MakeFile("tree\\sub\\inner.txt");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);

    RestartNeeded = false;
    SetLastError(0xDEAD);
    ASSERT_TRUE(DeleteAtRestart(folder));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(RestartNeeded);

    const std::vector<std::string> deletions = kstest::PendingDeletionsBelow(scratch.Path());
    const size_t end = deletions.size();
    ASSERT_NE(IndexOf(deletions, folder), end);
    ASSERT_NE(IndexOf(deletions, readOnly), end);
    ASSERT_NE(IndexOf(deletions, inner), end);
    ASSERT_NE(IndexOf(deletions, scratch / "tree\\sub"), end);
    EXPECT_LT(IndexOf(deletions, readOnly), IndexOf(deletions, folder));
    EXPECT_LT(IndexOf(deletions, inner), IndexOf(deletions, scratch / "tree\\sub"));
    EXPECT_LT(IndexOf(deletions, scratch / "tree\\sub"), IndexOf(deletions, folder));

    // Read-only entries would survive the restart.
    EXPECT_EQ(GetFileAttributesA(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    // Nothing goes before the restart.
    EXPECT_TRUE(kstest::FileExists(inner));
}

TEST(DeleteAtRestart, NineXFamilyAppendsShortPathLinesToWininit)
{
    if (IsWindowsNT())
        GTEST_SKIP() << "WININIT.INI serves the Windows 95/98/Me family";
    kstest::ScratchFolder scratch("restart_9x");
    kstest::WininitSectionGuard wininit;
    const std::string folder = scratch.MakeFolder("Long Folder Name");
    const std::string file = scratch.MakeFile("Long Folder Name\\Some Long File Name.txt");
    WritePrivateProfileSectionA("rename", "NUL=C:\\EARLIER.TXT\0", "WININIT.INI");

    RestartNeeded = false;
    SetLastError(0xDEAD);
    ASSERT_TRUE(DeleteAtRestart(file));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(RestartNeeded);
    ASSERT_TRUE(DeleteAtRestart(folder));

    const std::vector<std::string> expected = {"NUL=C:\\EARLIER.TXT", "NUL=" + GetShortPath(file, "?"),
                                               "DIRNUL=" + GetShortPath(folder, "?")};
    EXPECT_EQ(kstest::WininitRenameLines(), expected);
    // The folder's entries are not listed one by one.
    EXPECT_TRUE(kstest::FileExists(file));
}

TEST(DeleteAtRestart, NineXFamilyRefusesToGrowTheSectionPast32K)
{
    if (IsWindowsNT())
        GTEST_SKIP() << "WININIT.INI serves the Windows 95/98/Me family";
    kstest::ScratchFolder scratch("restart_9x_full");
    kstest::WininitSectionGuard wininit;
    const std::string file = scratch.MakeFile("f.txt");
    const std::string line = "NUL=" + GetShortPath(file, "");

    // A section whose length leaves no room for the line and its terminator within the
    // 32,765 characters the private-profile functions move.
    const size_t fullLength = 32764 - line.size();
    std::string section;
    for (int i = 0; fullLength - section.size() >= 50; ++i) {
        char entry[64];
        wsprintfA(entry, "NUL=C:\\FILLER\\F%05d.TXT", i);
        section += entry;
        section += '\0';
    }
    std::string last = "NUL=C:\\" + std::string(fullLength - section.size() - 1 - 7, 'X');
    ASSERT_EQ(section.size() + last.size() + 1, fullLength);
    std::string tooFull = section + last + '\0' + '\0';
    ASSERT_TRUE(WritePrivateProfileSectionA("rename", tooFull.c_str(), "WININIT.INI"));
    const std::vector<std::string> before = kstest::WininitRenameLines();

    RestartNeeded = false;
    SetLastError(0);
    EXPECT_FALSE(DeleteAtRestart(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(RestartNeeded);
    EXPECT_EQ(kstest::WininitRenameLines(), before);

    // One character shorter and the line fits.
    last.pop_back();
    std::string fits = section + last + '\0' + '\0';
    ASSERT_TRUE(WritePrivateProfileSectionA("rename", fits.c_str(), "WININIT.INI"));
    EXPECT_TRUE(DeleteAtRestart(file));
    const std::vector<std::string> after = kstest::WininitRenameLines();
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.back(), line);
}

}  // namespace
