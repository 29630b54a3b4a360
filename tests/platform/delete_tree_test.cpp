#include "platform/delete_at_restart.h"
#include "platform/delete_tree.h"
#include "platform/paths.h"
#include "platform/system_version.h"
#include "restart_lists.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(DeleteTree, DeletesWhateverTheAttributes)
{
    kstest::ScratchFolder scratch("tree_plain");
    const std::string tree = scratch.MakeFolder("tree");
    for (const char* file : {"tree\\a.txt", "tree\\sub\\b.txt", "tree\\sub\\deeper\\c.dat", "single.txt"})
        SetFileAttributesA(scratch.MakeFile(file).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((scratch / "tree\\sub\\deeper\\c.dat").c_str(), FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA((scratch / "tree\\sub").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    EXPECT_EQ(DeleteTree(tree, 0, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(DeleteTree(scratch / "single.txt", DT_ONLY_MATCHING, "", nullptr, 0), 0u);
    EXPECT_FALSE(Exists(tree));
    EXPECT_FALSE(Exists(scratch / "single.txt"));
    EXPECT_EQ(DeleteTree(scratch / "missing\\file.txt", 0, nullptr, nullptr, 0), 0u);
}

TEST(DeleteTree, FlagsThatLeaveEntriesInPlace)
{
    kstest::ScratchFolder scratch("tree_flags");
    const std::string tree = scratch.MakeFolder("tree");
    const std::string inner = scratch.MakeFile("tree\\sub\\inner.txt");
    scratch.MakeFile("tree\\top.txt");

    EXPECT_EQ(DeleteTree(tree, DT_ONLY_IF_EMPTY, nullptr, nullptr, 0), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_EQ(DeleteTree(tree, DT_ONLY_MATCHING, "", nullptr, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(DeleteTree(tree, DT_ONLY_MATCHING, nullptr, nullptr, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(Exists(tree + "\\top.txt"));

    EXPECT_EQ(DeleteTree(tree, DT_SKIP_SUBFOLDERS, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists(tree + "\\top.txt"));
    EXPECT_TRUE(Exists(inner));
    // The walk's own inner calls report what they leave behind.
    EXPECT_EQ(DeleteTree(tree, DT_SKIP_SUBFOLDERS | DT_INNER, nullptr, nullptr, 0),
              static_cast<DWORD>(ERROR_CURRENT_DIRECTORY));
    EXPECT_TRUE(Exists(inner));

    const std::string empty = scratch.MakeFolder("empty");
    EXPECT_EQ(DeleteTree(empty, DT_ONLY_IF_EMPTY, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists(empty));

    // A folder whose name leaves no room for the "\*.*" of its listing within MAX_PATH.
    const std::string deep = scratch.Path() + "\\" + std::string(MAX_PATH - 3 - scratch.Path().size(), 'n');
    if (CreateDirectoryA(deep.c_str(), nullptr)) {
        EXPECT_EQ(DeleteTree(deep, 0, nullptr, nullptr, 0), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

TEST(DeleteTree, OnlyMatchingFiltersTheTopFilesAndEmptiesSubfoldersWhole)
{
    kstest::ScratchFolder scratch("tree_only_matching");
    const std::string tree = scratch.MakeFolder("tree");
    for (const char* file : {"setup.log", "OTHER.LOG", "keep.txt", "setup.log.txt", "sub\\inner.txt",
                             "folder.txt\\deeper\\inner.log"})
        scratch.MakeFile(std::string("tree\\") + file);

    EXPECT_EQ(DeleteTree(tree, DT_ONLY_MATCHING, "*.log", nullptr, 0), 0u);
    for (const char* gone : {"setup.log", "OTHER.LOG", "sub", "folder.txt"})
        EXPECT_FALSE(Exists(tree + "\\" + gone)) << gone;
    EXPECT_TRUE(Exists(tree + "\\keep.txt"));
    EXPECT_TRUE(Exists(tree + "\\setup.log.txt"));
}

TEST(DeleteTree, InUseFileIsScheduledAfterOneRetryAndItsFolderAfterIt)
{
    kstest::ScratchFolder scratch("tree_in_use");
    kstest::RestartListsGuard guard(scratch.Path());
    const std::string tree = scratch.MakeFolder("tree");
    const std::string locked = scratch.MakeFile("tree\\locked.txt");
    scratch.MakeFile("tree\\free.txt");
    kstest::FileHolder holder(locked);
    ASSERT_TRUE(holder.Holding());

    RestartNeeded = false;
    const DWORD started = GetTickCount();
    EXPECT_EQ(DeleteTree(tree, 0, nullptr, nullptr, 1000), static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED));
    // One wait for the file's retry; none for the folder, which is only scheduled.
    EXPECT_GE(GetTickCount() - started, 950u);
    EXPECT_LT(GetTickCount() - started, 1900u);
    EXPECT_TRUE(RestartNeeded);
    EXPECT_FALSE(Exists(tree + "\\free.txt"));
    EXPECT_TRUE(Exists(locked));
    if (IsWindowsNT()) {
        // The file by its own deletion, then again as an entry of its folder.
        EXPECT_EQ(kstest::PendingDeletionsBelow(scratch.Path()), (std::vector<std::string>{locked, locked, tree}));
    } else {
        const std::vector<std::string> lines = kstest::WininitRenameLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], "NUL=" + GetShortPath(locked, "?"));
        EXPECT_EQ(lines.back(), "DIRNUL=" + GetShortPath(tree, "?"));
    }
}

TEST(DeleteTree, NoRestartLeavesAnInUseFileUnscheduled)
{
    kstest::ScratchFolder scratch("tree_no_restart");
    kstest::RestartListsGuard guard(scratch.Path());
    const std::vector<std::string> wininit = kstest::WininitRenameLines();
    const std::string locked = scratch.MakeFile("tree\\sub\\locked.txt");
    kstest::FileHolder holder(locked);
    ASSERT_TRUE(holder.Holding());

    RestartNeeded = false;
    EXPECT_EQ(DeleteTree(scratch / "tree", DT_NO_RESTART, nullptr, nullptr, 0),
              static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(RestartNeeded);
    EXPECT_TRUE(Exists(locked));
    if (IsWindowsNT()) {
        EXPECT_TRUE(kstest::PendingDeletionsBelow(scratch.Path()).empty());
    } else {
        EXPECT_EQ(kstest::WininitRenameLines(), wininit);
    }
}

TEST(DeleteTree, RetryAfterTheDelaySucceedsOnceTheFileIsFree)
{
    kstest::ScratchFolder scratch("tree_retry");
    kstest::RestartListsGuard guard(scratch.Path());
    const std::string locked = scratch.MakeFile("tree\\locked.txt");
    auto holder = std::make_unique<kstest::FileHolder>(locked);
    ASSERT_TRUE(holder->Holding());
    std::thread release([&holder] {
        Sleep(100);
        holder.reset();
    });
    const DWORD result = DeleteTree(scratch / "tree", DT_NO_RESTART, nullptr, nullptr, 600);
    release.join();
    EXPECT_EQ(result, 0u);
    EXPECT_FALSE(Exists(scratch / "tree"));
}

TEST(DeleteTree, RemovesEmptiedParentsUpToTheStopFolder)
{
    kstest::ScratchFolder scratch("tree_parents");
    const std::string stop = scratch.MakeFolder("stop");
    const std::string busy = scratch.MakeFile("stop\\x\\busy.txt");
    scratch.MakeFile("stop\\a\\b\\tree\\file.txt");
    scratch.MakeFolder("stop\\m\\n");
    scratch.MakeFile("stop\\p\\q\\inner.txt");

    // The stop folder is compared without its trailing backslashes.
    EXPECT_EQ(DeleteTree(scratch / "stop\\a\\b\\tree", DT_REMOVE_EMPTY_PARENTS, nullptr, (stop + "\\").c_str(), 0),
              0u);
    EXPECT_FALSE(Exists(scratch / "stop\\a"));
    // Without a stop folder the climb ends at the first folder that is not empty; a
    // missing path still clears its empty parents.
    EXPECT_EQ(DeleteTree(scratch / "stop\\m\\n\\missing.txt", DT_REMOVE_EMPTY_PARENTS, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists(scratch / "stop\\m"));
    EXPECT_TRUE(Exists(busy));
    // Not for the walk's own inner calls.
    EXPECT_EQ(DeleteTree(scratch / "stop\\p\\q\\inner.txt", DT_REMOVE_EMPTY_PARENTS | DT_INNER, nullptr, nullptr, 0),
              0u);
    EXPECT_TRUE(Exists(scratch / "stop\\p\\q"));
}

}  // namespace
