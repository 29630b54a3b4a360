#include "platform/delete_at_restart.h"
#include "platform/delete_tree.h"
#include "platform/folder_list.h"
#include "platform/linked_folder.h"
#include "support/restart_lists.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

namespace {

// The test run links C:\kstest\<program>\folder-links\tree\linked to ..\target from the
// host (tests/wine/folder_links.sh): Wine cannot create junctions or folder symbolic
// links, but reports a Unix link to a folder as a folder and a reparse point.
class FolderLinks : public testing::Test {
protected:
    const std::string base_ = "C:\\kstest\\" + kstest::ExeTitle() + "\\folder-links";
    const std::string tree_ = base_ + "\\tree", link_ = tree_ + "\\linked", target_ = base_ + "\\target";

    void SetUp() override
    {
        // A walk that went through the link may have taken the target with it.
        CreateDirectoryA(target_.c_str(), nullptr);
        if (!IsLinkedFolder(GetFileAttributesA(link_.c_str())))
            GTEST_SKIP() << "no folder link prepared at " << link_;
        kstest::MakeFile(target_ + "\\inner\\keep.txt", "target");
        SetFileAttributesA(target_.c_str(), FILE_ATTRIBUTE_HIDDEN);
        kstest::MakeFile(tree_ + "\\sub\\own.txt", "tree");
    }

    void TearDown() override
    {
        kstest::RemoveTestTree(target_ + "\\inner");
        kstest::RemoveTestTree(tree_ + "\\sub");
        SetFileAttributesA(target_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
};

TEST_F(FolderLinks, WalksNeverEnterTheLink)
{
    std::vector<std::string> list;
    EXPECT_EQ(ListFolder(tree_, true, nullptr, &list), 3u);
    EXPECT_EQ(list, (std::vector<std::string>{link_, tree_ + "\\sub", tree_ + "\\sub\\own.txt"}));
    kstest::ModuleUnderTest module;
    auto count = module.Require<LONG(WINAPI*)(LPCSTR, BOOL, LPCSTR)>("KSWGetDirContent");
    EXPECT_EQ(count(tree_.c_str(), TRUE, nullptr), 3);
    // Asked for the link itself, the count is of what it shows.
    EXPECT_EQ(count(link_.c_str(), TRUE, nullptr), 2);

    const DWORD result = DeleteTree(tree_, DT_NO_RESTART, nullptr, nullptr, 0);
    EXPECT_EQ(kstest::ReadFile(target_ + "\\inner\\keep.txt"), "target");
    EXPECT_EQ(GetFileAttributesA(target_.c_str()), DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(kstest::FolderExists(tree_ + "\\sub"));
    // Windows removes the link itself. Wine cannot remove a Unix link with
    // RemoveDirectory (145): there the link stays and is reported as in place.
    EXPECT_EQ(result, kstest::FolderExists(tree_) ? static_cast<DWORD>(ERROR_SHARING_VIOLATION) : 0u);
    if (kstest::NtFamily() && result != ERROR_SUCCESS) {
        kstest::RestartListsGuard guard(base_);
        ASSERT_TRUE(DeleteAtRestart(link_));
        EXPECT_EQ(kstest::PendingDeletionsBelow(base_), std::vector<std::string>{link_});
    }
}

// A link given as the path itself with flags that judge a folder's content: the
// content is the target's, so it is judged as the link shows it and never deleted,
// and the link is neither removed nor scheduled.
TEST_F(FolderLinks, FlagsThatJudgeTheContentKeepTheLink)
{
    kstest::RestartListsGuard guard(base_);
    const std::vector<std::string> wininit = kstest::WininitRenameLines();
    const struct { DWORD flags; const char* pattern; DWORD result; } rows[] = {
        {DT_ONLY_IF_EMPTY, nullptr, ERROR_DIR_NOT_EMPTY},
        {DT_ONLY_MATCHING, "", ERROR_INVALID_PARAMETER},
        {DT_ONLY_MATCHING, "*.txt", 0},
        {DT_SKIP_SUBFOLDERS, nullptr, 0},
        {DT_SKIP_SUBFOLDERS | DT_INNER, nullptr, ERROR_CURRENT_DIRECTORY},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.flags) + " " + (row.pattern ? row.pattern : "-"));
        kstest::WriteFile(target_ + "\\top.txt", "target");
        EXPECT_EQ(DeleteTree(link_, row.flags, row.pattern, nullptr, 0), row.result);
        EXPECT_TRUE(IsLinkedFolder(GetFileAttributesA(link_.c_str())));
        EXPECT_EQ(kstest::ReadFile(target_ + "\\top.txt"), "target");
        EXPECT_EQ(kstest::ReadFile(target_ + "\\inner\\keep.txt"), "target");
        EXPECT_TRUE(kstest::PendingDeletionsBelow(base_).empty());
        EXPECT_EQ(kstest::WininitRenameLines(), wininit);
    }
    DeleteFileA((target_ + "\\top.txt").c_str());
}

}  // namespace
