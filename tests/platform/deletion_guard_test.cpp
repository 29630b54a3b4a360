// The deletion guard: its judgement as a table, the machine's folders it protects, and
// the table of hostile paths run through every deleting operation against canaries.
#include "peruser/all_users_files.h"
#include "platform/delete_tree.h"
#include "platform/deletion_guard.h"
#include "platform/linked_folder.h"
#include "support/restart_lists.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Relative rows resolve against C:\ whatever folder the test run starts in.
struct CurrentFolder {
    explicit CurrentFolder(const char* folder) { GetCurrentDirectoryA(MAX_PATH, old); SetCurrentDirectoryA(folder); }
    ~CurrentFolder() { SetCurrentDirectoryA(old); }
    char old[MAX_PATH] = {};
};

// The guard's judgement on a list of its own, for a path and below a profile folder (a
// profile folder the guard does not list is still never deleted whole by its own
// per-user path); the hostile table below runs the system's spellings of drives,
// devices and shares through every deleting operation.
TEST(DeletionGuard, ResolvesThenJudgesAgainstTheProtectedFolders)
{
    const DeletionGuard guard({"C:\\ks\\sys", "C:\\ks\\users\\p1", "C:\\ks\\users\\p1\\AppData\\Roaming"});
    const CurrentFolder current("C:\\");
    SetEnvironmentVariableA("KSTEST_GUARD", "C:\\ks\\sys\\..");
    const char *const p1 = "C:\\ks\\users\\p1\\", *const p3 = "C:\\ks\\other\\p3";
    // profile null: the path on its own; judged: the scope and the resolved path.
    const struct { const char *profile, *path; bool matching; DWORD options; const char* judged; } rows[] = {
        {nullptr, "c:\\KS\\SYS\\\\", false, 0, "refused"}, {nullptr, "C:\\ks\\sys\\sub\\..", false, 0, "refused"},
        {nullptr, "C:\\ks\\sys.", false, 0, "refused"}, {nullptr, "C:\\ks", false, 0, "refused"},
        {nullptr, "C:\\ks\\sys\\sub", false, 0, "whole C:\\ks\\sys\\sub"},
        {nullptr, "C:\\ks\\sys2", false, 0, "whole C:\\ks\\sys2"},
        {nullptr, "C:\\ks\\sys\\.", true, 0, "matching C:\\ks\\sys"},
        {nullptr, "C:/ks/.\\sys\\..//other/", false, 0, "whole C:\\ks\\other"},
        {nullptr, "C:\\", true, 0, "matching C:\\"}, {nullptr, "C:", true, 0, "refused"},
        {nullptr, "\\\\srv\\share\\", true, 0, "matching \\\\srv\\share"},
        {nullptr, "\\\\srv\\share\\dir", false, 0, "whole \\\\srv\\share\\dir"},
        {nullptr, "%KSTEST_GUARD%", false, GUARD_EXPAND_ENVIRONMENT, "refused"},
        {nullptr, "%KSTEST_GUARD%\\x", false, GUARD_EXPAND_ENVIRONMENT, "whole C:\\ks\\x"},
        {nullptr, "%KSTEST_GUARD%", false, 0, "whole C:\\%KSTEST_GUARD%"},
        {nullptr, "ks\\sys\\..\\..", false, 0, "refused"}, {nullptr, nullptr, true, 0, "refused"},
        {p1, "\\data\\Velm\\", false, 0, "whole C:\\ks\\users\\p1\\data\\Velm"}, {p1, "..", true, 0, "refused"},
        {p1, "..\\p1x", false, 0, "refused"}, {p1, "", true, 0, "matching C:\\ks\\users\\p1"},
        {p1, "AppData", false, 0, "refused"},
        {p1, "AppData\\Roaming", true, 0, "matching C:\\ks\\users\\p1\\AppData\\Roaming"},
        {p1, "AppData\\Local", false, 0, "whole C:\\ks\\users\\p1\\AppData\\Local"},
        {p1, "data:stream", false, 0, "refused"}, {p1, "%KSTEST_GUARD%", false, GUARD_EXPAND_ENVIRONMENT, "refused"},
        {p3, "x\\..", false, 0, "refused"}, {p3, ".", true, 0, "matching C:\\ks\\other\\p3"},
        {p3, nullptr, true, 0, "matching C:\\ks\\other\\p3"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.profile ? row.profile : "") + " " + (row.path ? row.path : "(null)"));
        const GuardedPath judged = row.profile ? guard.CheckBelow(row.profile, row.path, row.matching, row.options)
                                               : guard.Check(row.path, row.matching, row.options);
        const char* scope = judged.scope == DeletionScope::Refused         ? "refused"
                            : judged.scope == DeletionScope::MatchingFiles ? "matching"
                                                                           : "whole";
        EXPECT_EQ(scope + (judged.path.empty() ? "" : " " + judged.path), row.judged);
    }
    SetEnvironmentVariableA("KSTEST_GUARD", nullptr);
}

// ---------------------------------------------------------------------------------
// Hostile paths. This test runs alone in a prefix of its own (CTest entry
// platform.guard): its rows aim at the system's folders, and a guard that failed would
// take them with it. The run maps Q: to C:\kstest\guard-qdrive and links
// C:\kstest\<program>\hostile-links\tree\outside to C:\kstest\<program>\outside from
// the host (wine/folder_links.sh --guard).

constexpr DWORD kAny = 0xFFFFFFFF;
constexpr char kFirstSid[] = "S-1-5-21-7101-7102-7103-1001";
constexpr char kSecondSid[] = "S-1-5-21-7101-7102-7103-1002";

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Whether deleting `pending` takes `path` with it.
bool Covers(const std::string& pending, const std::string& path)
{
    return _strnicmp(pending.c_str(), path.c_str(), pending.size()) == 0 &&
           (path.size() == pending.size() || path[pending.size()] == '\\');
}

class HostilePaths : public testing::Test {
protected:
    void SetUp() override
    {
        if (!IsLinkedFolder(GetFileAttributesA(link_.c_str())) || !Exists("Q:\\"))
            GTEST_SKIP() << "run by the CTest entry platform.guard, which maps Q: and links " << link_;
        kstest::AddProfileEntry(kFirstSid, p1_ = fixture_.MakeFolder("profiles\\p1"));
        kstest::AddProfileEntry(kSecondSid, p2_ = fixture_.MakeFolder("profiles\\p2"));
        // Files in every protected folder of the test prefix, as Wine lays them out, and
        // in folders outside the fixture. "<profile>\Q:" is where a drive root sent to
        // the per-user branch would land.
        const std::vector<std::string> folders = {
            "C:\\windows", "C:\\windows\\system32", "C:\\Program Files", "C:\\Program Files\\Common Files",
            "C:\\ProgramData", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu",
            "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "C:\\users", "C:\\users\\Public",
            "C:\\users\\Public\\Desktop", home_, home_ + "\\AppData\\Roaming", home_ + "\\AppData\\Local",
            home_ + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
            home_ + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", home_ + "\\Desktop", "Q:",
            "Q:\\keep", outside_, outside_ + "\\deep", p1_, p1_ + "\\AppData\\Roaming", p1_ + "\\AppData\\Local",
            p1_ + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", p2_, p2_ + "\\Desktop",
            p2_ + "\\AppData\\Roaming", p1_ + "\\Q:", fixture_ / "profiles\\kstest_other_" + kstest::ExeTitle(),
            "C:\\users\\kstest_other_" + kstest::ExeTitle()};
        for (const std::string& folder : folders)
            canaries_.push_back(folder + "\\" + canaryName_);
        // Old logs in subfolders of protected folders: a pattern never reaches them.
        canaries_.insert(canaries_.end(), {"Q:\\keep\\old.log", p1_ + "\\AppData\\Roaming\\old.log"});
        SetEnvironmentVariableA("=Q:", "Q:\\cwd");
        Seed();
        // WININIT.INI names what it deletes by the short forms.
        for (const std::string& canary : canaries_)
            shortCanaries_.push_back(kstest::ShortPath(canary));
    }

    void TearDown() override
    {
        SetEnvironmentVariableA("=Q:", nullptr);
        for (const std::string& canary : canaries_)
            DeleteFileA(canary.c_str());
        for (const std::string& folder : {std::string("Q:\\keep"), std::string("Q:\\cwd"), std::string("Q:\\climb\\a"),
                                          std::string("Q:\\climb"), home_ + "\\Desktop\\climb\\a", home_ + "\\Desktop\\climb",
                                          "C:\\users\\kstest_other_" + kstest::ExeTitle()})
            RemoveDirectoryA(folder.c_str());
        kstest::RemoveTestTree(outside_ + "\\deep");
        for (const char* sid : {kFirstSid, kSecondSid})
            kstest::RemoveProfileEntry(sid);
    }

    // Makes the missing canaries, and the folders an emptied-parents climb starts from.
    void Seed()
    {
        for (const std::string& canary : canaries_)
            if (!Exists(canary))
                kstest::MakeFile(canary, "canary");
        for (const std::string& folder : emptyCanaries_)
            kstest::MakeFolders(folder);
        for (const std::string& folder : {std::string("Q:\\climb\\a"), p1_ + "\\Desktop\\climb\\a",
                                          p2_ + "\\Desktop\\climb\\a", home_ + "\\Desktop\\climb\\a"})
            kstest::MakeFolders(folder);
    }

    // The canaries lost, and the restart deletions (or WININIT.INI lines) that would take
    // one at the next start.
    std::vector<std::string> Damage() const
    {
        std::vector<std::string> damage, pending = kstest::PendingDeletionsBelow("C:");
        for (const std::string& entry : kstest::PendingDeletionsBelow("Q:"))
            pending.push_back(entry);
        for (const std::string& line : kstest::WininitRenameLines())
            pending.push_back(line.substr(line.find('=') + 1));
        for (size_t i = 0; i < canaries_.size(); ++i) {
            if (kstest::ReadFile(canaries_[i]) != "canary")
                damage.push_back("lost " + canaries_[i]);
            for (const std::string& entry : pending)
                if (Covers(entry, canaries_[i]) || Covers(entry, shortCanaries_[i]))
                    damage.push_back("scheduled " + entry);
        }
        for (const std::string& folder : emptyCanaries_)
            if (!kstest::FolderExists(folder))
                damage.push_back("lost " + folder);
        return damage;
    }

    kstest::ScratchFolder fixture_{"hostile"};
    const std::string base_ = "C:\\kstest\\" + kstest::ExeTitle(), outside_ = base_ + "\\outside",
                      link_ = base_ + "\\hostile-links\\tree\\outside", home_ = kstest::Environment("USERPROFILE");
    const std::string canaryName_ = "kscanary_" + kstest::ExeTitle() + ".txt";
    std::string p1_, p2_;
    std::vector<std::string> canaries_, shortCanaries_;
    // Empty folders, which only an emptied-parents climb can take: the current folder
    // of drive Q: and a protected folder.
    std::vector<std::string> emptyCanaries_ = {"Q:\\cwd", fixture_ / "profiles\\p1\\Desktop"};
};

TEST_F(HostilePaths, NoCanaryIsLost)
{
    const CurrentFolder current("C:\\");
    kstest::RestartListsGuard restartC("C:"), restartQ("Q:");
    SetEnvironmentVariableA("KSTEST_OUTSIDE", outside_.c_str());
    const std::string other = "kstest_other_" + kstest::ExeTitle();
    // Each path with the result DeleteTree must give it (kAny: whatever the walk gives).
    const struct { std::string path; DWORD treeResult; } rows[] = {
        // Drive roots in every spelling.
        {"Q:", 5}, {"Q:\\", 5}, {"Q:\\\\", 5}, {"q:/", 5}, {"Q:\\.", 5}, {"Q:.", 5}, {"Q:cwd", 5},
        {"Q:\\keep\\..", 5}, {"Q:\\..\\..", 5}, {"Q:\\*.log", 0}, {"\\\\?\\Q:\\", 5}, {"\\\\.\\Q:\\", 5},
        {"//?/Q:/cwd", 5}, {"\\\\kstest-server\\share", 5}, {"\\\\kstest-server\\share\\..\\", 5},
        // "." and ".." escapes to the system's folders.
        {fixture_.Path() + "\\..\\..\\..\\..\\windows", 5}, {"C:\\windows\\.", 5}, {"C:\\WINDOWS\\system32\\", 5},
        {"C:\\windows.", 5}, {"C:/Program Files/", 5}, {kstest::ShortPath("C:\\Program Files"), 5},
        {"C:\\Program Files\\Common Files\\", 5}, {"C:\\users", 5}, {"C:\\users\\.\\", 5},
        {"C:\\users\\Public", 5}, {"C:\\ProgramData", 5}, {home_, 5}, {home_ + "\\AppData", 5},
        {home_ + "\\AppData\\Roaming\\..", 5}, {home_ + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", 5},
        {home_ + "\\Desktop", 5}, {p1_, 5}, {p1_ + "\\..", 5}, {p1_ + "\\Desktop", 5},
        {p1_ + "\\AppData\\Roaming\\..\\..", 5},
        // Environment references, which these operations never expand.
        {"%USERPROFILE%", 0}, {"%SystemRoot%", 0}, {"%KSTEST_OUTSIDE%", 0},
        // A link to an outside folder as the path itself and inside a tree.
        {link_, kAny}, {link_ + "\\*.log", kAny}, {link_ + "\\..", kAny}, {base_ + "\\hostile-links\\tree", kAny},
        // Emptied-parents climbs: towards the current folder of Q: and into a profile.
        {"Q:\\climb\\a", 0}, {p1_ + "\\Desktop\\climb\\a", 0}, {home_ + "\\Desktop\\climb\\a", 0},
        // Per-user relative paths (absolute ones above also run per user).
        {"..", 5}, {"..\\", 5}, {".", 5}, {"..\\..\\..", 5}, {"..\\" + other, 0}, {"AppData", 0},
        {"AppData\\Roaming", 0}, {"AppData\\Local", 0}, {"AppData\\Roaming\\Microsoft\\Windows\\Start Menu", 0},
        {"AppData\\*.log", 0}, {"Desktop", 0}, {"Desktop\\..", 5}, {"Desktop\\climb\\a", 0},
        {"data\\..\\..\\p2", 0}, {"*.log", 0},
    };
    kstest::ModuleUnderTest module;
    auto delDir = module.Require<LONG(WINAPI*)(const char*, LONG)>("KSWDelDir");
    for (const auto& row : rows) {
        const char* path = row.path.c_str();
        const std::vector<std::pair<const char*, std::function<void()>>> calls = {
            {"KSWDelDir", [&] { EXPECT_EQ(delDir(path, 0), 1); }},
            {"KSWDelDir per user", [&] { EXPECT_EQ(delDir(path, 1), 1); }},
            {"DeleteTree",
             [&] {
                 const DWORD result = DeleteTree(row.path, DT_REMOVE_EMPTY_PARENTS, nullptr, nullptr, 0);
                 EXPECT_TRUE(row.treeResult == kAny || result == row.treeResult) << result;
             }},
            {"DeleteTree *.log", [&] { DeleteTree(row.path, DT_ONLY_MATCHING, "*.log", nullptr, 0); }},
            {"DeleteTreeForAllUsers",
             [&] { DeleteTreeForAllUsers(path, DT_REMOVE_EMPTY_PARENTS, nullptr, "..\\..", 0, true); }},
        };
        for (const auto& call : calls) {
            SCOPED_TRACE(std::string(call.first) + "(" + row.path + ")");
            Seed();
            call.second();
            EXPECT_EQ(Damage(), std::vector<std::string>());
        }
    }

    // What the guard lets through still happens: the climb ends below the protected
    // folder, and a pattern takes only the protected folder's own matching files.
    Seed();
    EXPECT_EQ(DeleteTree("Q:\\climb\\a", DT_REMOVE_EMPTY_PARENTS, nullptr, nullptr, 0), 0u);
    EXPECT_FALSE(Exists("Q:\\climb"));
    DeleteTreeForAllUsers("Desktop\\climb\\a", DT_REMOVE_EMPTY_PARENTS, nullptr, nullptr, 0, false);
    EXPECT_FALSE(Exists(p1_ + "\\Desktop\\climb") || Exists(p2_ + "\\Desktop\\climb"));
    kstest::WriteFile("Q:\\top.log", "log");
    kstest::WriteFile(p1_ + "\\AppData\\top.log", "log");
    EXPECT_EQ(DeleteTree("Q:\\", DT_ONLY_MATCHING, "*.log", nullptr, 0), 0u);
    EXPECT_EQ(delDir("AppData\\*.log", 1), 1);
    EXPECT_FALSE(Exists("Q:\\top.log") || Exists(p1_ + "\\AppData\\top.log"));
    EXPECT_EQ(Damage(), std::vector<std::string>());
    SetEnvironmentVariableA("KSTEST_OUTSIDE", nullptr);
}

}  // namespace
