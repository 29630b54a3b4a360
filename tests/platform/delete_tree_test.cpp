#include "platform/delete_at_restart.h"
#include "platform/delete_tree.h"
#include "platform/paths.h"
#include "platform/system_version.h"
#include "restart_lists.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using kstest::FileExists;
using kstest::FolderExists;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

size_t IndexOf(const std::vector<std::string>& list, const std::string& item)
{
    return static_cast<size_t>(std::find(list.begin(), list.end(), item) - list.begin());
}

// Nothing of `folder` is in either restart list.
void ExpectNothingScheduled(const std::string& folder, const std::vector<std::string>& wininitBefore)
{
    EXPECT_TRUE(kstest::PendingDeletionsBelow(folder).empty());
    EXPECT_EQ(kstest::WininitRenameLines(), wininitBefore);
}

TEST(DeleteTree, DeletesFilesAndTreesWhateverTheirAttributes)
{
    kstest::ScratchFolder scratch("tree_plain");
    const std::string tree = scratch.MakeFolder("tree");
    const std::string readOnly = scratch.MakeFile("tree\\read-only.txt");
    const std::string hidden = scratch.MakeFile("tree\\sub\\hidden.txt");
    const std::string system = scratch.MakeFile("tree\\sub\\deeper\\system.dat");
    scratch.MakeFolder("tree\\empty");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(system.c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA((scratch / "tree\\sub").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    EXPECT_EQ(DeleteTree(tree, 0, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists(tree));

    // A single file, read-only at that.
    const std::string file = scratch.MakeFile("single.txt");
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(DeleteTree(file, 0, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists(file));

    // Nothing there is nothing to do.
    EXPECT_EQ(DeleteTree(scratch / "missing", 0, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(DeleteTree(scratch / "missing\\deeper\\file.txt", DT_ONLY_MATCHING, nullptr, nullptr, 0), 0u);
    EXPECT_TRUE(FolderExists(scratch.Path()));
}

TEST(DeleteTree, OnlyIfEmptyLeavesAFolderWithEntries)
{
    kstest::ScratchFolder scratch("tree_only_if_empty");
    const std::string full = scratch.MakeFolder("full");
    const std::string file = scratch.MakeFile("full\\file.txt");
    const std::string empty = scratch.MakeFolder("empty");

    EXPECT_EQ(DeleteTree(full, DT_ONLY_IF_EMPTY, nullptr, nullptr, 0), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(FileExists(file));
    // A folder holding only an empty folder is not empty either.
    const std::string nested = scratch.MakeFolder("nested\\inner");
    EXPECT_EQ(DeleteTree(scratch / "nested", DT_ONLY_IF_EMPTY, nullptr, nullptr, 0),
              static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(FolderExists(nested));

    EXPECT_EQ(DeleteTree(empty, DT_ONLY_IF_EMPTY, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists(empty));
}

TEST(DeleteTree, SkipSubfoldersDeletesOnlyTheFilesOfTheFolder)
{
    kstest::ScratchFolder scratch("tree_skip_subfolders");
    const std::string tree = scratch.MakeFolder("tree");
    const std::string top = scratch.MakeFile("tree\\top.txt");
    const std::string inner = scratch.MakeFile("tree\\sub\\inner.txt");
    const std::string empty = scratch.MakeFolder("tree\\empty");

    EXPECT_EQ(DeleteTree(tree, DT_SKIP_SUBFOLDERS, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists(top));
    EXPECT_TRUE(FileExists(inner));
    EXPECT_TRUE(FolderExists(empty));
    EXPECT_TRUE(FolderExists(tree));

    // The walk's own inner calls report what they leave behind.
    EXPECT_EQ(DeleteTree(tree, DT_SKIP_SUBFOLDERS | DT_INNER, nullptr, nullptr, 0),
              static_cast<DWORD>(ERROR_CURRENT_DIRECTORY));
    EXPECT_TRUE(FolderExists(tree));
}

TEST(DeleteTree, OnlyMatchingFiltersTheTopFilesAndEmptiesSubfoldersWhole)
{
    kstest::ScratchFolder scratch("tree_only_matching");
    const std::string tree = scratch.MakeFolder("tree");
    const std::string log = scratch.MakeFile("tree\\setup.log");
    const std::string upperLog = scratch.MakeFile("tree\\OTHER.LOG");
    const std::string kept = scratch.MakeFile("tree\\keep.txt");
    const std::string keptToo = scratch.MakeFile("tree\\setup.log.txt");
    const std::string sub = scratch.MakeFolder("tree\\sub");
    scratch.MakeFile("tree\\sub\\inner.txt");
    scratch.MakeFile("tree\\sub\\deeper\\inner.log");
    const std::string otherFolder = scratch.MakeFolder("tree\\folder.txt");

    EXPECT_EQ(DeleteTree(tree, DT_ONLY_MATCHING, "*.log", nullptr, 0), 0u);
    EXPECT_FALSE(Exists(log));
    EXPECT_FALSE(Exists(upperLog));
    EXPECT_FALSE(Exists(sub));
    EXPECT_FALSE(Exists(otherFolder));
    EXPECT_TRUE(FileExists(kept));
    EXPECT_TRUE(FileExists(keptToo));
    EXPECT_TRUE(FolderExists(tree));

    // Even when every file matches, the folder stays.
    const std::string onlyLogs = scratch.MakeFolder("only_logs");
    scratch.MakeFile("only_logs\\a.log");
    EXPECT_EQ(DeleteTree(onlyLogs, DT_ONLY_MATCHING, "*.log", nullptr, 0), 0u);
    EXPECT_FALSE(Exists(onlyLogs + "\\a.log"));
    EXPECT_TRUE(FolderExists(onlyLogs));
}

TEST(DeleteTree, OnlyMatchingWithoutPatternTouchesNothing)
{
    kstest::ScratchFolder scratch("tree_no_pattern");
    const std::string tree = scratch.MakeFolder("tree");
    const std::string file = scratch.MakeFile("tree\\a.log");
    EXPECT_EQ(DeleteTree(tree, DT_ONLY_MATCHING, "", nullptr, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(DeleteTree(tree, DT_ONLY_MATCHING, nullptr, nullptr, 0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(FileExists(file));
    // A file is deleted as it is: the pattern only filters a folder's files.
    EXPECT_EQ(DeleteTree(file, DT_ONLY_MATCHING, "", nullptr, 0), 0u);
    EXPECT_FALSE(Exists(file));
}

TEST(DeleteTree, FolderThatCannotBeListed)
{
    kstest::ScratchFolder scratch("tree_unlistable");
    // A folder whose name leaves no room for the "\*.*" of the listing within MAX_PATH.
    std::string folder = scratch.Path() + "\\";
    folder += std::string(MAX_PATH - 2 - folder.size(), 'n');
    ASSERT_LT(folder.size(), static_cast<size_t>(MAX_PATH));
    if (!CreateDirectoryA(folder.c_str(), nullptr))
        GTEST_SKIP() << "the system refuses a folder of " << folder.size() << " characters";
    EXPECT_EQ(DeleteTree(folder, 0, nullptr, nullptr, 0), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(FolderExists(folder));
}

TEST(DeleteTree, InUseFileIsScheduledAfterOneRetryAndItsFolderAfterIt)
{
    kstest::ScratchFolder scratch("tree_in_use");
    kstest::PendingRenamesGuard pending(scratch.Path());
    kstest::WininitSectionGuard wininit;
    const std::string tree = scratch.MakeFolder("tree");
    const std::string locked = scratch.MakeFile("tree\\locked.txt");
    const std::string free = scratch.MakeFile("tree\\free.txt");
    const std::string treeShort = GetShortPath(tree, "");
    const std::string lockedShort = GetShortPath(locked, "");
    kstest::FileHolder holder(locked);
    ASSERT_TRUE(holder.Holding());

    RestartNeeded = false;
    const DWORD started = GetTickCount();
    EXPECT_EQ(DeleteTree(tree, 0, nullptr, nullptr, 200), static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED));
    EXPECT_GE(GetTickCount() - started, 150u);  // the one retry waited
    EXPECT_TRUE(RestartNeeded);
    EXPECT_FALSE(Exists(free));
    EXPECT_TRUE(FileExists(locked));
    EXPECT_TRUE(FolderExists(tree));

    if (IsWindowsNT()) {
        const std::vector<std::string> deletions = kstest::PendingDeletionsBelow(scratch.Path());
        ASSERT_NE(IndexOf(deletions, locked), deletions.size());
        ASSERT_NE(IndexOf(deletions, tree), deletions.size());
        EXPECT_LT(IndexOf(deletions, locked), IndexOf(deletions, tree));
        EXPECT_EQ(IndexOf(deletions, free), deletions.size());
    } else {
        const std::vector<std::string> lines = kstest::WininitRenameLines();
        const size_t fileLine = IndexOf(lines, "NUL=" + lockedShort);
        const size_t folderLine = IndexOf(lines, "DIRNUL=" + treeShort);
        ASSERT_NE(fileLine, lines.size());
        ASSERT_NE(folderLine, lines.size());
        EXPECT_LT(fileLine, folderLine);
    }
}

TEST(DeleteTree, NoRestartLeavesAnInUseFileUnscheduled)
{
    kstest::ScratchFolder scratch("tree_no_restart");
    kstest::PendingRenamesGuard pending(scratch.Path());
    kstest::WininitSectionGuard wininit;
    const std::vector<std::string> wininitBefore = kstest::WininitRenameLines();
    const std::string tree = scratch.MakeFolder("tree");
    const std::string locked = scratch.MakeFile("tree\\sub\\locked.txt");
    const std::string free = scratch.MakeFile("tree\\free.txt");
    kstest::FileHolder holder(locked);
    ASSERT_TRUE(holder.Holding());

    RestartNeeded = false;
    EXPECT_EQ(DeleteTree(tree, DT_NO_RESTART, nullptr, nullptr, 0), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(DeleteTree(locked, DT_NO_RESTART, nullptr, nullptr, 0), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(RestartNeeded);
    EXPECT_FALSE(Exists(free));
    EXPECT_TRUE(FileExists(locked));
    ExpectNothingScheduled(scratch.Path(), wininitBefore);
}

TEST(DeleteTree, RetryAfterTheDelaySucceedsOnceTheFileIsFree)
{
    kstest::ScratchFolder scratch("tree_retry");
    kstest::PendingRenamesGuard pending(scratch.Path());
    kstest::WininitSectionGuard wininit;
    const std::vector<std::string> wininitBefore = kstest::WininitRenameLines();
    const std::string tree = scratch.MakeFolder("tree");
    const std::string locked = scratch.MakeFile("tree\\locked.txt");
    auto holder = std::make_unique<kstest::FileHolder>(locked);
    ASSERT_TRUE(holder->Holding());

    std::thread release([&holder] {
        Sleep(100);
        holder.reset();
    });
    const DWORD result = DeleteTree(tree, 0, nullptr, nullptr, 600);
    release.join();
    EXPECT_EQ(result, 0u);
    EXPECT_FALSE(Exists(tree));
    ExpectNothingScheduled(scratch.Path(), wininitBefore);
}

TEST(DeleteTree, RemovesEmptiedParentsUpToTheStopFolder)
{
    kstest::ScratchFolder scratch("tree_parents");
    const std::string stop = scratch.MakeFolder("stop");
    const std::string tree = scratch.MakeFolder("stop\\a\\b\\tree");
    scratch.MakeFile("stop\\a\\b\\tree\\file.txt");

    // The stop folder is compared without its trailing backslashes.
    EXPECT_EQ(DeleteTree(tree, DT_REMOVE_EMPTY_PARENTS, nullptr, (stop + "\\").c_str(), 0), 0u);
    EXPECT_FALSE(Exists(scratch / "stop\\a"));
    EXPECT_TRUE(FolderExists(stop));

    // The climb ends at the first parent that is not empty.
    const std::string busy = scratch.MakeFile("stop\\x\\busy.txt");
    const std::string deep = scratch.MakeFile("stop\\x\\y\\z\\deep.txt");
    EXPECT_EQ(DeleteTree(deep, DT_REMOVE_EMPTY_PARENTS, nullptr, stop.c_str(), 0), 0u);
    EXPECT_FALSE(Exists(scratch / "stop\\x\\y"));
    EXPECT_TRUE(FileExists(busy));

    // With no stop folder as well; a missing path still clears its empty parents.
    scratch.MakeFolder("stop\\m\\n");
    EXPECT_EQ(DeleteTree(scratch / "stop\\m\\n\\missing.txt", DT_REMOVE_EMPTY_PARENTS, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists(scratch / "stop\\m"));
    EXPECT_TRUE(FolderExists(stop));

    // Not from the walk's own inner calls, and not when something was left.
    const std::string inner = scratch.MakeFile("stop\\p\\q\\inner.txt");
    EXPECT_EQ(DeleteTree(inner, DT_REMOVE_EMPTY_PARENTS | DT_INNER, nullptr, stop.c_str(), 0), 0u);
    EXPECT_TRUE(FolderExists(scratch / "stop\\p\\q"));
    scratch.MakeFile("stop\\p\\q\\keep.txt");
    EXPECT_EQ(DeleteTree(scratch / "stop\\p\\q", DT_REMOVE_EMPTY_PARENTS | DT_ONLY_MATCHING, "*.log", stop.c_str(), 0),
              0u);
    EXPECT_TRUE(FolderExists(scratch / "stop\\p\\q"));
}

}  // namespace
