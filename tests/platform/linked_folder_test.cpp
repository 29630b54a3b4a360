#include "platform/delete_at_restart.h"
#include "platform/delete_tree.h"
#include "platform/folder_list.h"
#include "platform/linked_folder.h"
#include "platform/system_version.h"
#include "restart_lists.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using GetDirContentFunction = LONG(WINAPI*)(LPCSTR, BOOL, LPCSTR);

TEST(LinkedFolder, OnlyFoldersThatAreReparsePointsCount)
{
    struct Row {
        DWORD attributes;
        bool linked;
    } rows[] = {
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, true},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, true},
        {FILE_ATTRIBUTE_DIRECTORY, false},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY, false},
        {FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE, false},  // a file link is deleted as a file
        {FILE_ATTRIBUTE_ARCHIVE, false},
        {FILE_ATTRIBUTE_NORMAL, false},
        {INVALID_FILE_ATTRIBUTES, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.attributes);
        EXPECT_EQ(IsLinkedFolder(row.attributes), row.linked);
    }
}

// The test run links C:\kstest\<program>\folder-links\tree\linked to ..\target from the
// host side (tests/wine/folder_links.sh), since Wine cannot create junctions or folder
// symbolic links itself; it reports such a link as a folder and a reparse point.
class FolderLinks : public testing::Test {
protected:
    void SetUp() override
    {
        base_ = "C:\\kstest\\" + kstest::ExeTitle() + "\\folder-links";
        // A walk that wrongly went through the link may have taken the target with it.
        CreateDirectoryA(Target().c_str(), nullptr);
        if (!IsLinkedFolder(GetFileAttributesA(Link().c_str())))
            GTEST_SKIP() << "no folder link prepared at " << Link();
        Clean();
        kstest::WriteFile(Target() + "\\keep.txt", "target");
        SetFileAttributesA(Target().c_str(), FILE_ATTRIBUTE_HIDDEN);
        targetAttributes_ = GetFileAttributesA(Target().c_str());
        CreateDirectoryA((Target() + "\\inner").c_str(), nullptr);
        kstest::WriteFile(Target() + "\\inner\\deep.txt", "target");
        CreateDirectoryA(Tree().c_str(), nullptr);
        kstest::WriteFile(Tree() + "\\own.txt", "tree");
        CreateDirectoryA((Tree() + "\\sub").c_str(), nullptr);
        kstest::WriteFile(Tree() + "\\sub\\own.txt", "tree");
    }

    void TearDown() override
    {
        if (!base_.empty())
            Clean();
    }

    const std::string& Base() const { return base_; }
    std::string Tree() const { return base_ + "\\tree"; }
    std::string Link() const { return base_ + "\\tree\\linked"; }
    std::string Target() const { return base_ + "\\target"; }

    void ExpectTargetUntouched() const
    {
        EXPECT_EQ(kstest::ReadFile(Target() + "\\keep.txt"), "target");
        EXPECT_EQ(kstest::ReadFile(Target() + "\\inner\\deep.txt"), "target");
        EXPECT_EQ(kstest::ReadFile(Link() + "\\keep.txt"), "target");
        EXPECT_EQ(GetFileAttributesA(Target().c_str()), targetAttributes_);
    }

private:
    // Everything but the link and its target folder, which the test run made.
    void Clean() const
    {
        kstest::RemoveTestTree(Target() + "\\keep.txt");
        kstest::RemoveTestTree(Target() + "\\inner");
        kstest::RemoveTestTree(Tree() + "\\own.txt");
        kstest::RemoveTestTree(Tree() + "\\sub");
        SetFileAttributesA(Target().c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    std::string base_;
    DWORD targetAttributes_ = 0;
};

TEST_F(FolderLinks, ListingAndCountingDoNotEnterTheLink)
{
    std::vector<std::string> list;
    EXPECT_EQ(ListFolder(Tree(), true, nullptr, &list), 4u);  // linked, own.txt, sub, sub\own.txt
    EXPECT_NE(std::find(list.begin(), list.end(), Link()), list.end());
    for (const std::string& path : list)
        EXPECT_EQ(path.find(Link() + "\\"), std::string::npos) << path;

    kstest::ModuleUnderTest module;
    auto count = module.Export<GetDirContentFunction>("KSWGetDirContent");
    ASSERT_TRUE(count);
    EXPECT_EQ(count(Tree().c_str(), TRUE, nullptr), 4);
    // Asked for the link itself, the count is of what it shows.
    EXPECT_EQ(count(Link().c_str(), TRUE, nullptr), 3);
}

TEST_F(FolderLinks, DeleteTreeRemovesNoMoreThanTheLink)
{
    const DWORD result = DeleteTree(Tree(), DT_NO_RESTART, nullptr, nullptr, 0);
    ExpectTargetUntouched();
    EXPECT_FALSE(kstest::FileExists(Tree() + "\\own.txt"));
    EXPECT_FALSE(kstest::FolderExists(Tree() + "\\sub"));
    // Windows removes the link itself; Wine cannot remove a Unix symbolic link with
    // RemoveDirectory (145), so there the link stays and is reported as in place.
    if (result == ERROR_SUCCESS) {
        EXPECT_EQ(GetFileAttributesA(Tree().c_str()), INVALID_FILE_ATTRIBUTES);
    } else {
        EXPECT_EQ(result, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_TRUE(IsLinkedFolder(GetFileAttributesA(Link().c_str())));
    }

    // Asked to delete the link itself: the same.
    const DWORD direct = DeleteTree(Link(), DT_NO_RESTART, nullptr, nullptr, 0);
    EXPECT_TRUE(direct == ERROR_SUCCESS || direct == ERROR_SHARING_VIOLATION) << direct;
    ExpectTargetUntouched();
}

TEST_F(FolderLinks, DeletionAtRestartSchedulesTheLinkAlone)
{
    if (!IsWindowsNT())
        GTEST_SKIP() << "folder entries are scheduled one by one only on the Windows NT family";
    kstest::PendingRenamesGuard pending(Base());
    ASSERT_TRUE(DeleteAtRestart(Link()));
    EXPECT_EQ(kstest::PendingDeletionsBelow(Base()), std::vector<std::string>{Link()});
}

}  // namespace
