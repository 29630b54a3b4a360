// Hostile product configurations against canaries: every folder the deletion guard
// protects, and a folder outside the product, holds a canary file; the first phase runs
// with a product folder or removal entries aimed at them, with an empty Start-menu
// title, or with a product folder holding a link to the outside folder, and not one
// canary may go. Needs the prefix of the CTest entry uninstall.guard (drive Q: and a
// folder link made from the host).
#include "first_phase_env.h"
#include "platform/linked_folder.h"
#include "support/restart_lists.h"
#include "uninstall/ks_remove.h"

#include <gtest/gtest.h>

#include <vector>

namespace kstest {
namespace {

constexpr char kGeneral[] = "[General]\nObjectPrefix=KSTestFirstPhase\nLogDir=kstest_hostile\n";

// The canaries that are gone or changed, or that a restart deletion would take.
std::vector<std::string> Lost(const std::vector<std::string>& canaries)
{
    std::vector<std::string> lost, pending = PendingDeletionsBelow("C:"), onQ = PendingDeletionsBelow("Q:");
    pending.insert(pending.end(), onQ.begin(), onQ.end());
    for (const std::string& canary : canaries) {
        if (ReadFile(canary) != "canary")
            lost.push_back(canary);
        for (const std::string& entry : pending) {
            if (_strnicmp(entry.c_str(), canary.c_str(), entry.size()) == 0 &&
                (canary.size() == entry.size() || canary[entry.size()] == '\\'))
                lost.push_back("scheduled " + canary);
        }
        MakeFile(canary, "canary");  // seeded afresh for the next run
    }
    return lost;
}

TEST(HostileConfig, NoProductFolderEntryOrLinkReachesAProtectedFolder)
{
    const std::string base = "C:\\kstest\\" + ExeTitle(), outside = base + "\\outside", links = base + "\\hostile-links";
    if (!IsLinkedFolder(GetFileAttributesA((links + "\\tree\\outside").c_str())) ||
        GetFileAttributesA("Q:\\") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "run by the CTest entry uninstall.guard, which maps Q: and links " << links << "\\tree\\outside";
    const std::string home = Environment("USERPROFILE");
    std::vector<std::string> canaries;
    for (const std::string& folder : std::vector<std::string>{
             "C:\\windows", "C:\\windows\\system32", "C:\\Program Files", "C:\\Program Files\\Common Files",
             "C:\\ProgramData", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs", "C:\\users",
             "C:\\users\\Public", "Q:", home, home + "\\AppData\\Roaming", home + "\\AppData\\Local",
             home + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
             home + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", home + "\\Desktop", outside,
             outside + "\\deep"})
        canaries.push_back(folder + "\\kscanary_" + ExeTitle() + ".txt");
    Lost(canaries);
    ProductFixture product("hostile");
    RestartListsGuard restartC("C:"), restartQ("Q:");
    // One silent first phase with `cfg` ("%PROD%": a harmless product folder); every
    // canary must be there afterwards and `refusal` (if any) in the log.
    const auto runPhase = [&](const std::string& cfg, const std::string& refusal) {
        SCOPED_TRACE(cfg);
        product.Configure(cfg, true);
        SetEnvironmentVariableA(kDelDirVariable, nullptr);
        EXPECT_EQ(KSRemove::UninstallFirstPhase(), 0u);
        EXPECT_EQ(Lost(canaries), std::vector<std::string>());
        EXPECT_TRUE(refusal.empty() || product.Logged(refusal)) << refusal;
    };
    const std::string prod = product.Product(), escape = prod + "\\..\\..\\..\\..\\..";
    // Product folders: each is refused ("should not delete") and kept.
    for (const std::string& path : std::vector<std::string>{
             "Q:\\", "Q:", "q:/", "C:\\windows", "C:\\WINDOWS\\system32\\", "C:\\Program Files", "C:\\users",
             "C:\\users\\Public", "C:\\ProgramData", home, home + "\\AppData\\Roaming\\..", home + "\\Desktop",
             escape + "\\windows", escape + "\\Program Files\\.", "%SystemRoot%", ".", "..", "windows",
             "\\\\?\\C:\\windows"}) {
        runPhase(std::string(kGeneral) + "Path=" + path + "\n[]\n",
                 "WARNING KSRemove::UninstallFirstPhase() - should not delete '" + path + "'");
        // A refused product folder is not handed on to the running-temp phase either.
        EXPECT_EQ(Environment(kDelDirVariable), "");
    }
    // Removal entries below a harmless product folder, naming protected folders through
    // absolute paths, ".." escapes and environment references.
    // path: the entry as the refusal names it.
    const struct { const char* entry; std::string path; } entries[] = {
        {"Q:\\", "Q:\\"}, {"..\\..\\..\\..\\..\\windows", prod + "\\..\\..\\..\\..\\..\\windows"},
        {"%SystemRoot%", Environment("SystemRoot")}, {"%ProgramFiles%", Environment("ProgramFiles")},
        {"%SystemRoot%\\system32\\.", Environment("SystemRoot") + "\\system32\\."}, {"%USERPROFILE%", home},
        {"%APPDATA%\\..", Environment("APPDATA") + "\\.."}, {"%ALLUSERSPROFILE%", Environment("ALLUSERSPROFILE")},
        {"\\\\kstest-server\\share", "\\\\kstest-server\\share"}, {"C:\\users\\.\\Public\\", "C:\\users\\.\\Public\\"},
    };
    for (const auto& row : entries) {
        runPhase(std::string(kGeneral) + "Path=%PROD%\n[]\n[Uninstall]\n" + row.entry + "=\n[]\n",
                 "WARNING Cannot delete system directory " + row.path);
    }
    // "system" with an empty name names the system folder itself.
    runPhase(std::string(kGeneral) + "Path=%PROD%\n[]\n[Uninstall]\n=system\n[]\n",
             "WARNING Cannot delete system directory " + SystemFolder() + "\\");
    // An empty Start-menu title would name the Programs folders.
    runPhase(std::string(kGeneral) + "Path=%PROD%\nAppTitle=\nAppEnTitle=\\\n[]\n",
             "WARNING Cannot delete system directory C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
    // A link in the product folder goes as a link. Wine cannot remove the link itself:
    // the folder is then handed on, never emptied through the link.
    runPhase(std::string(kGeneral) + "Path=" + links + "\n[]\n", "");
    EXPECT_TRUE(!FolderExists(links) || Environment(kDelDirVariable) == links);
    EXPECT_TRUE(FolderExists(outside));
    for (const std::string& canary : canaries)
        DeleteFileA(canary.c_str());
    RemoveTestTree(outside + "\\deep");
}

}  // namespace
}  // namespace kstest
