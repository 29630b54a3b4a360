// Deleting a tree now, and files and folders at the next restart.
#include "platform/delete_at_restart.h"
#include "platform/delete_tree.h"
#include "support/restart_lists.h"
#include "support/test_env.h"
#include "support/test_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>

namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

using Lines = std::vector<std::string>;

// What the next start deletes: the pending deletions at or below `folder`, and on
// 95/98/Me the lines WININIT.INI gained after `before` (all of them if it lost some).
Lines Scheduled(const std::string& folder, const Lines& before)
{
    Lines scheduled = kstest::PendingDeletionsBelow(folder), lines = kstest::WininitRenameLines();
    const bool kept = lines.size() >= before.size() && std::equal(before.begin(), before.end(), lines.begin());
    if (!kstest::NtFamily())
        scheduled.insert(scheduled.end(), lines.begin() + (kept ? before.size() : 0), lines.end());
    return scheduled;
}

TEST(DeleteTree, FlagsPatternAndAttributes)
{
    // Every row starts from this tree ("" is the tree folder itself), with read-only,
    // hidden and system entries among them.
    const std::set<std::string> all = {"", "a.log", "B.LOG", "keep.txt", "empty", "sub\\deeper\\in.log"};
    // path: below the scratch folder.
    const struct { const char* path; DWORD flags; const char* pattern; DWORD result; std::set<std::string> kept; } rows[] = {
        {"tree", 0, nullptr, 0, {}},
        {"tree\\keep.txt", DT_ONLY_MATCHING, "", 0, {"", "a.log", "B.LOG", "empty", "sub\\deeper\\in.log"}},
        {"missing\\file.txt", 0, nullptr, 0, all},
        {"tree", DT_ONLY_IF_EMPTY, nullptr, ERROR_DIR_NOT_EMPTY, all},
        {"tree\\empty", DT_ONLY_IF_EMPTY, nullptr, 0, {"", "a.log", "B.LOG", "keep.txt", "sub\\deeper\\in.log"}},
        {"tree", DT_ONLY_MATCHING, "", ERROR_INVALID_PARAMETER, all},
        {"tree", DT_ONLY_MATCHING, nullptr, ERROR_INVALID_PARAMETER, all},
        // The pattern chooses among the top folder's files; subfolders go whole.
        {"tree", DT_ONLY_MATCHING, "*.log", 0, {"", "keep.txt"}},
        {"tree", DT_SKIP_SUBFOLDERS, nullptr, 0, {"", "empty", "sub\\deeper\\in.log"}},
        // The walk's own inner calls report what they leave behind.
        {"tree", DT_SKIP_SUBFOLDERS | DT_INNER, nullptr, ERROR_CURRENT_DIRECTORY, {"", "empty", "sub\\deeper\\in.log"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.path) + " " + std::to_string(row.flags) + " " + (row.pattern ? row.pattern : "-"));
        kstest::ScratchFolder scratch("tree");
        scratch.MakeFolder("tree\\empty");
        for (const auto& entry : {std::make_pair("a.log", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
                                  std::make_pair("B.LOG", FILE_ATTRIBUTE_NORMAL), std::make_pair("keep.txt", FILE_ATTRIBUTE_READONLY),
                                  std::make_pair("sub\\deeper\\in.log", FILE_ATTRIBUTE_SYSTEM)})
            SetFileAttributesA(scratch.MakeFile(std::string("tree\\") + entry.first).c_str(), entry.second);
        SetFileAttributesA((scratch / "tree\\sub").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

        EXPECT_EQ(DeleteTree(scratch / row.path, row.flags, row.pattern, nullptr, 0), row.result);
        for (const std::string& entry : all)
            EXPECT_EQ(Exists(scratch / ("tree\\" + entry)), row.kept.count(entry) > 0) << entry;
    }
    // A folder whose name leaves no room for the "\*.*" of its listing within MAX_PATH.
    kstest::ScratchFolder scratch("tree_long");
    const std::string deep = scratch / std::string(MAX_PATH - 3 - scratch.Path().size(), 'n');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    EXPECT_EQ(DeleteTree(deep, 0, nullptr, nullptr, 0), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(DeleteTree, InUseFileIsRetriedOnceThenScheduledBeforeItsFolder)
{
    for (const bool restart : {true, false}) {
        SCOPED_TRACE(restart);
        kstest::ScratchFolder scratch("tree_in_use");
        kstest::RestartListsGuard guard(scratch.Path());
        const Lines wininit = kstest::WininitRenameLines();
        const std::string tree = scratch / "tree", locked = scratch.MakeFile("tree\\locked.txt");
        scratch.MakeFile("tree\\free.txt");
        kstest::FileHolder holder(locked);
        ASSERT_TRUE(holder.Holding());

        RestartNeeded = false;
        const DWORD started = GetTickCount(),
                    result = DeleteTree(tree, restart ? 0 : DT_NO_RESTART, nullptr, nullptr, 1000);
        // One wait for the file's retry; none for the folder, which cannot be empty.
        EXPECT_GE(GetTickCount() - started, 950u);
        EXPECT_LT(GetTickCount() - started, 1900u);
        EXPECT_EQ(kstest::FolderNames(tree), std::vector<std::string>{"locked.txt"});
        EXPECT_EQ(result, static_cast<DWORD>(restart ? ERROR_SUCCESS_REBOOT_REQUIRED : ERROR_SHARING_VIOLATION));
        EXPECT_EQ(RestartNeeded, restart);
        // On the NT family the file by its own deletion, then again as an entry of its folder.
        const Lines nt = {locked, locked, tree},
                    nineX = {"NUL=" + kstest::ShortPath(locked), "DIRNUL=" + kstest::ShortPath(tree)};
        EXPECT_EQ(Scheduled(scratch.Path(), wininit), restart ? (kstest::NtFamily() ? nt : nineX) : Lines());
    }
}

TEST(DeleteTree, RetryAfterTheDelaySucceedsOnceTheFileIsFree)
{
    kstest::ScratchFolder scratch("tree_retry");
    const std::string locked = scratch.MakeFile("tree\\locked.txt");
    auto holder = std::make_unique<kstest::FileHolder>(locked);
    ASSERT_TRUE(holder->Holding());
    kstest::Thread release([&holder] { Sleep(100); holder.reset(); });
    EXPECT_EQ(DeleteTree(scratch / "tree", DT_NO_RESTART, nullptr, nullptr, 600), 0u);
    EXPECT_FALSE(Exists(scratch / "tree"));
}

TEST(DeleteTree, RemovesEmptiedParentsUpToTheStopFolder)
{
    kstest::ScratchFolder scratch("tree_parents");
    const std::string stop = scratch.MakeFolder("stop");
    scratch.MakeFile("stop\\a\\b\\tree\\file.txt");
    // The stop folder, compared without its trailing backslashes, stays though empty.
    EXPECT_EQ(DeleteTree(scratch / "stop\\a\\b\\tree", DT_REMOVE_EMPTY_PARENTS, nullptr, (stop + "\\").c_str(), 0), 0u);
    EXPECT_FALSE(Exists(scratch / "stop\\a"));
    EXPECT_TRUE(Exists(stop));
    // Without a stop folder the climb ends at the first folder that is not empty; a
    // missing path still clears its empty parents.
    const std::string busy = scratch.MakeFile("stop\\x\\busy.txt");
    scratch.MakeFolder("stop\\m\\n");
    scratch.MakeFile("stop\\p\\q\\inner.txt");
    EXPECT_EQ(DeleteTree(scratch / "stop\\m\\n\\missing.txt", DT_REMOVE_EMPTY_PARENTS, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists(scratch / "stop\\m"));
    EXPECT_TRUE(Exists(busy));
    // Not for the walk's own inner calls.
    EXPECT_EQ(DeleteTree(scratch / "stop\\p\\q\\inner.txt", DT_REMOVE_EMPTY_PARENTS | DT_INNER, nullptr, nullptr, 0), 0u);
    EXPECT_TRUE(Exists(scratch / "stop\\p\\q"));
}

TEST(DeleteAtRestart, SchedulesEntriesBeforeTheirFolder)
{
    kstest::ScratchFolder scratch("restart");
    kstest::RestartListsGuard guard(scratch.Path());
    const std::string folder = scratch.MakeFolder("Long Folder Name");
    const std::string readOnly = scratch.MakeFile("Long Folder Name\\read-only.txt");
    const std::string inner = scratch.MakeFile("Long Folder Name\\sub\\inner.txt");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    const Lines wininit = kstest::WininitRenameLines();

    RestartNeeded = false;
    EXPECT_FALSE(DeleteAtRestart(scratch / "missing.txt"));
    EXPECT_FALSE(RestartNeeded);
    SetLastError(0xDEAD);
    ASSERT_TRUE(DeleteAtRestart(folder));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(RestartNeeded);
    EXPECT_TRUE(kstest::FileExists(inner));
    // On 95/98/Me one line for the folder, whose contents the restart removes with it.
    ASSERT_TRUE(kstest::NtFamily() || DeleteAtRestart(inner));
    EXPECT_EQ(Scheduled(scratch.Path(), wininit),
              (kstest::NtFamily() ? Lines{readOnly, inner, folder + "\\sub", folder}
                                  : Lines{"DIRNUL=" + kstest::ShortPath(folder), "NUL=" + kstest::ShortPath(inner)}));
    // The NT family's restart deletion would leave a read-only file in place.
    EXPECT_FALSE(kstest::NtFamily() && (GetFileAttributesA(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY));
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

}  // namespace
