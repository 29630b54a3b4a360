// Hostile product configurations against canaries: every folder the deletion guard
// protects, and a folder outside the product, holds a canary file; the first phase runs
// with a product folder or removal entries aimed at them, or with an empty Start-menu
// title, and not one canary may go. Needs the prefix of the CTest entry uninstall.guard
// (drive Q: and a folder link made from the host).
#include "first_phase_env.h"
#include "platform/linked_folder.h"
#include "support/restart_lists.h"
#include "uninstall/ks_remove.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using kstest::Environment;

bool Covers(const std::string& pending, const std::string& path)
{
    return _strnicmp(pending.c_str(), path.c_str(), pending.size()) == 0 &&
           (path.size() == pending.size() || path[pending.size()] == '\\');
}

class HostileConfig : public testing::Test {
protected:
    void SetUp() override
    {
        if (!IsLinkedFolder(GetFileAttributesA(link_.c_str())) || GetFileAttributesA("Q:\\") == INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "run by the CTest entry uninstall.guard, which maps Q: and links " << link_;
        for (const std::string& folder : std::vector<std::string>{"C:\\windows", "C:\\windows\\system32", "C:\\Program Files", "C:\\Program Files\\Common Files",
              "C:\\ProgramData", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "C:\\users",
              "C:\\users\\Public", "Q:", home_, home_ + "\\AppData\\Roaming", home_ + "\\AppData\\Local",
              home_ + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
              home_ + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", home_ + "\\Desktop", outside_,
              outside_ + "\\deep"})
            canaries_.push_back(folder + "\\" + canaryName_);
        Seed();
    }

    void TearDown() override
    {
        for (const std::string& canary : canaries_)
            DeleteFileA(canary.c_str());
        kstest::RemoveTestTree(outside_ + "\\deep");
    }

    void Seed()
    {
        for (const std::string& canary : canaries_)
            kstest::MakeFile(canary, "canary");
    }

    // Lost canaries, and restart deletions that would take one.
    std::vector<std::string> Lost() const
    {
        std::vector<std::string> lost;
        std::vector<std::string> pending = kstest::PendingDeletionsBelow("C:");
        for (const std::string& entry : kstest::PendingDeletionsBelow("Q:"))
            pending.push_back(entry);
        for (const std::string& canary : canaries_) {
            if (kstest::ReadFile(canary) != "canary")
                lost.push_back(canary);
            for (const std::string& entry : pending) {
                if (Covers(entry, canary))
                    lost.push_back("scheduled " + canary);
            }
        }
        return lost;
    }

    // One silent first phase with `cfg` ("%PROD%": a harmless product folder); every
    // canary must be there afterwards and `refusal` in the log.
    void RunPhase(kstest::ProductFixture& product, const std::string& cfg, const std::string& refusal)
    {
        SCOPED_TRACE(cfg);
        product.Configure(cfg, true);
        SetEnvironmentVariableA(kDelDirVariable, nullptr);
        EXPECT_EQ(KSRemove::UninstallFirstPhase(), 0u);
        for (const std::string& canary : Lost())
            ADD_FAILURE() << "lost " << canary;
        EXPECT_TRUE(product.Logged(refusal)) << refusal;
        Seed();
    }

    const std::string base_ = "C:\\kstest\\" + kstest::ExeTitle();
    const std::string outside_ = base_ + "\\outside";
    const std::string link_ = base_ + "\\hostile-links\\tree\\outside";
    const std::string home_ = Environment("USERPROFILE");
    const std::string canaryName_ = "kscanary_" + kstest::ExeTitle() + ".txt";
    std::vector<std::string> canaries_;
};

constexpr char kGeneral[] = "[General]\nObjectPrefix=KSTestFirstPhase\nLogDir=kstest_hostile\n";

TEST_F(HostileConfig, NoProductFolderOrEntryReachesAProtectedFolder)
{
    kstest::ProductFixture product("hostile");
    kstest::RestartListsGuard restartC("C:"), restartQ("Q:");
    SetEnvironmentVariableA("KSTEST_OUTSIDE", outside_.c_str());
    const std::string prod = product.Product();
    const std::string escape = prod + "\\..\\..\\..\\..\\..";
    // Product folders: each is refused ("should not delete") and kept.
    for (const std::string& path :
         {std::string("Q:\\"), std::string("Q:"), std::string("q:/"), std::string("C:\\windows"),
          std::string("C:\\WINDOWS\\system32\\"), std::string("C:\\Program Files"), std::string("C:\\users"),
          std::string("C:\\users\\Public"), std::string("C:\\ProgramData"), home_, home_ + "\\AppData\\Roaming\\..",
          home_ + "\\Desktop", escape + "\\windows", escape + "\\Program Files\\.", std::string("%SystemRoot%"),
          std::string("."), std::string(".."), std::string("windows"), std::string("\\\\?\\C:\\windows")}) {
        RunPhase(product, std::string(kGeneral) + "Path=" + path + "\n[]\n",
                 "WARNING KSRemove::UninstallFirstPhase() - should not delete '" + path + "'");
        // A refused product folder is not handed on to the running-temp phase either.
        EXPECT_EQ(kstest::Environment(kDelDirVariable), "");
    }
    // Removal entries below a harmless product folder, naming protected folders through
    // absolute paths, ".." escapes and environment references.
    const struct {
        const char* entry;
        std::string path;  // as the refusal names it
    } entries[] = {
        {"Q:\\", "Q:\\"},
        {"..\\..\\..\\..\\..\\windows", prod + "\\..\\..\\..\\..\\..\\windows"},
        {"%SystemRoot%", Environment("SystemRoot")},
        {"%SystemRoot%\\system32\\.", Environment("SystemRoot") + "\\system32\\."},
        {"%ProgramFiles%", Environment("ProgramFiles")},
        {"%USERPROFILE%", home_},
        {"%APPDATA%\\..", Environment("APPDATA") + "\\.."},
        {"%ALLUSERSPROFILE%", Environment("ALLUSERSPROFILE")},
        {"\\\\kstest-server\\share", "\\\\kstest-server\\share"},
        {"C:\\users\\.\\Public\\", "C:\\users\\.\\Public\\"},
    };
    for (const auto& row : entries) {
        RunPhase(product, std::string(kGeneral) + "Path=%PROD%\n[]\n[Uninstall]\n" + row.entry + "=\n[]\n",
                 "WARNING Cannot delete system directory " + row.path);
    }
    // "system" with an empty name names the system folder itself.
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    RunPhase(product, std::string(kGeneral) + "Path=%PROD%\n[]\n[Uninstall]\n=system\n[]\n",
             "WARNING Cannot delete system directory " + std::string(system) + "\\");
    // An empty Start-menu title would name the Programs folders.
    RunPhase(product, std::string(kGeneral) + "Path=%PROD%\nAppTitle=\nAppEnTitle=\\\n[]\n",
             "WARNING Cannot delete system directory C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
    SetEnvironmentVariableA("KSTEST_OUTSIDE", nullptr);
}

TEST_F(HostileConfig, ALinkInTheProductFolderGoesAsALink)
{
    kstest::ProductFixture product("hostile_link");
    kstest::RestartListsGuard restartC("C:");
    const std::string links = base_ + "\\hostile-links";
    product.Configure(std::string(kGeneral) + "Path=" + links + "\n[]\n", true);
    EXPECT_EQ(KSRemove::UninstallFirstPhase(), 0u);
    for (const std::string& canary : Lost())
        ADD_FAILURE() << "lost " << canary;
    // Wine cannot remove the link itself: the folder is then handed on, never emptied
    // through the link.
    EXPECT_TRUE(!kstest::FolderExists(links) || kstest::Environment(kDelDirVariable) == links);
    EXPECT_TRUE(kstest::FolderExists(outside_));
}

}  // namespace
