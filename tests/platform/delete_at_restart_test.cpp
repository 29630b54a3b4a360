#include "platform/delete_at_restart.h"
#include "support/restart_lists.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

TEST(DeleteAtRestart, SchedulesEntriesBeforeTheirFolder)
{
    kstest::ScratchFolder scratch("restart");
    kstest::RestartListsGuard guard(scratch.Path());
    const std::string folder = scratch.MakeFolder("Long Folder Name");
    const std::string readOnly = scratch.MakeFile("Long Folder Name\\read-only.txt");
    const std::string inner = scratch.MakeFile("Long Folder Name\\sub\\inner.txt");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    std::vector<std::string> wininit = kstest::WininitRenameLines();

    RestartNeeded = false;
    EXPECT_FALSE(DeleteAtRestart(scratch / "missing.txt"));
    EXPECT_FALSE(RestartNeeded);
    SetLastError(0xDEAD);
    ASSERT_TRUE(DeleteAtRestart(folder));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(RestartNeeded);
    EXPECT_TRUE(kstest::FileExists(inner));
    if (kstest::NtFamily()) {
        EXPECT_EQ(kstest::PendingDeletionsBelow(scratch.Path()),
                  (std::vector<std::string>{readOnly, inner, folder + "\\sub", folder}));
        // The restart deletion would leave a read-only file in place.
        EXPECT_EQ(GetFileAttributesA(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    } else {
        // One line for the folder, whose contents the 95/98/Me restart removes with it.
        ASSERT_TRUE(DeleteAtRestart(inner));
        wininit.push_back("DIRNUL=" + kstest::ShortPath(folder));
        wininit.push_back("NUL=" + kstest::ShortPath(inner));
        EXPECT_EQ(kstest::WininitRenameLines(), wininit);
        EXPECT_TRUE(kstest::PendingDeletionsBelow(scratch.Path()).empty());
    }
}

TEST(DeleteAtRestart, NineXFamilyKeepsTheSectionWithin32K)
{
    if (kstest::NtFamily())
        GTEST_SKIP() << "WININIT.INI serves the Windows 95/98/Me family";
    kstest::ScratchFolder scratch("restart_9x_full");
    kstest::RestartListsGuard guard(scratch.Path());
    const std::string file = scratch.MakeFile("f.txt");
    const std::string line = "NUL=" + kstest::ShortPath(file);

    // A section whose length leaves no room for the line and its terminator within the
    // 32,765 characters the private-profile functions move.
    const std::string first = "NUL=C:\\FIRST.TXT";
    std::string last = "NUL=C:\\" + std::string(32764 - line.size() - first.size() - 1 - 8, 'X');
    ASSERT_TRUE(WritePrivateProfileSectionA("rename", (first + '\0' + last + '\0').c_str(), "WININIT.INI"));
    const std::vector<std::string> before = kstest::WininitRenameLines();
    ASSERT_EQ(before, (std::vector<std::string>{first, last}));

    RestartNeeded = false;
    EXPECT_FALSE(DeleteAtRestart(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_FALSE(RestartNeeded);
    EXPECT_EQ(kstest::WininitRenameLines(), before);
    // One character less, and the line fits.
    last.pop_back();
    ASSERT_TRUE(WritePrivateProfileSectionA("rename", (first + '\0' + last + '\0').c_str(), "WININIT.INI"));
    EXPECT_TRUE(DeleteAtRestart(file));
    EXPECT_EQ(kstest::WininitRenameLines().back(), line);
}
