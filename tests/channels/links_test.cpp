// Carrying out a plan never follows a folder link to a channel's folder. The test run
// links C:\kstest\<program>\folder-links\tree\linked to ..\target from the host
// (tests/wine/folder_links.sh), since Wine cannot make links itself.
#include "channels/channel_cleanup.h"
#include "platform/linked_folder.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CleanupStep DeleteInside(const std::string& within, const std::string& path)
{
    CleanupStep step;
    step.kind = StepKind::DeleteTree, step.within = within, step.path = path;
    step.flags = 0x8;  // never scheduled at restart
    return step;
}

TEST(ChannelLinks, ChannelFoldersAreNotReachedThroughALink)
{
    const std::string base = "C:\\kstest\\" + kstest::ExeTitle() + "\\folder-links";
    const std::string tree = base + "\\tree";
    ASSERT_TRUE(IsLinkedFolder(GetFileAttributesA((tree + "\\linked").c_str()))) << "made by folder_links.sh";
    for (const char* file : {"\\target\\news\\keep.txt", "\\target\\inner\\keep.txt", "\\tree\\plain\\news\\gone.txt"})
        kstest::MakeFile(base + file);

    CleanupPlan plan;
    plan.steps.push_back(DeleteInside(tree, tree + "\\linked\\news"));          // a link on the way
    plan.steps.push_back(DeleteInside(tree + "\\linked", tree + "\\linked\\inner"));  // the folder itself linked
    plan.steps.push_back(DeleteInside(tree, tree + "\\plain\\news"));           // no link: deleted
    CarryOutCleanup(plan);

    EXPECT_TRUE(kstest::FileExists(base + "\\target\\news\\keep.txt"));
    EXPECT_TRUE(kstest::FileExists(base + "\\target\\inner\\keep.txt"));
    EXPECT_FALSE(kstest::FolderExists(tree + "\\plain\\news"));
    EXPECT_TRUE(kstest::FolderExists(tree + "\\plain"));
    for (const char* made : {"\\target\\news", "\\target\\inner", "\\tree\\plain"})
        kstest::RemoveTestTree(base + made);
}

}  // namespace
