// Self-registration clears the way for an installation: an older installation recorded
// under the product's registry key is removed in-process, one found in the system's
// uninstall list through its own uninstall command (a stand-in that records its command
// line), after which the old logs of every user go.
#include "removal/removal_fixture.h"

#include <gtest/gtest.h>

#include <list>

namespace kstest {
namespace {

const std::string kUninstallList = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kProductKey = "SOFTWARE\\Velm\\VLUpdate\\";
constexpr char kException[] = "WARNING DllRegisterServer - exception";
constexpr char kNotFound[] = "WARNING DllRegisterServer - cannot find an old version";
constexpr char kLocated[] = "INFO Command line = /leavelogs /install \"/cfg=\"";

void ForgetKey(const std::string& path) { SHDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()); }

// A string value in a key of HKEY_LOCAL_MACHINE; the key is deleted before and after.
struct MachineKey {
    MachineKey(const std::string& path, const char* name, const std::string& value) : path(path)
    {
        ForgetKey(path);
        SetStringValue(HKEY_LOCAL_MACHINE, path, name, value);
    }
    ~MachineKey() { ForgetKey(path); }
    const std::string path;
};

// The sample product with the module's configuration (null: the key is absent), and
// the product's registry record forgotten.
struct Upgrade {
    Upgrade(const char* name, const char* prefix, const char* title, const char* enTitle) : product(name)
    {
        product.WriteCfg("KSInst.cfg", std::string("[General]\nObjectPrefix=") + prefix + "\n" +
                                           (title ? std::string("AppTitle=") + title + "\n" : "") +
                                           (enTitle ? std::string("AppEnTitle=") + enTitle + "\n" : ""));
        ForgetKey(kProductKey + prefix);
    }
    // A stand-in old uninstaller: a copy of the helper under another name, which writes
    // its command line to "<its path>.cmdline" and exits 0.
    std::string StandIn(std::string name) const
    {
        std::replace(name.begin(), name.end(), ' ', '_');
        const std::string path = product.Folder().MakeFolder("old") + "\\" + name + ".exe";
        CopyFileA(HelperPath().c_str(), path.c_str(), FALSE);
        return path;
    }
    // DllRegisterServer's result; the module is unloaded so that its log is complete.
    HRESULT Register()
    {
        const HRESULT result = product.Export<HRESULT(WINAPI*)()>("DllRegisterServer")();
        product.Unload();
        return result;
    }
    SampleProduct product;
};

TEST(SelfRegistration, ARecordedInstallationIsRemovedInProcessWithoutALookup)
{
    Upgrade upgrade("recorded", "KSTestRecorded", "Recorded", "Recorded En");
    const ScratchFolder& folder = upgrade.product.Folder();
    const std::string oldFolder = folder.MakeFolder("old product");
    folder.MakeFile("old product\\data\\x.dat");
    const std::string oldCfg = folder.MakeFile(
        "old product\\KSCommon.cfg", "[General]\nPath=" + oldFolder + "\nAppTitle=Old App\nObjectPrefix=KSTestRecorded\n");
    const MachineKey record(kProductKey + "KSTestRecorded", "CfgPath", oldCfg);
    const std::string standIn = upgrade.StandIn("listed");
    const MachineKey listed(kUninstallList + "Recorded En", "UninstallString", standIn);

    EXPECT_EQ(upgrade.Register(), S_OK);
    const std::vector<std::string> log = upgrade.product.LogEntries();
    EXPECT_EQ(CountEntries(log, "INFO Command line = /leavelogs /install \"/cfg=" + oldCfg + "\""), 1u);
    EXPECT_EQ(CountEntries(log, kNotFound) + CountEntries(log, kException), 0u);
    EXPECT_EQ(ReadFile(standIn + ".cmdline"), "");
    EXPECT_TRUE(FileExists(standIn));
    // Removed in install mode: the old folder goes, this module stays and nothing waits
    // for a restart.
    EXPECT_FALSE(FolderExists(oldFolder));
    EXPECT_TRUE(FileExists(upgrade.product.ModulePath()));
    EXPECT_TRUE(PendingDeletionsBelow(folder.Path()).empty());
}

// No record (or one without its value, logged) sends the search to the uninstall list,
// name after name; with no command found, this module's own uninstaller locates the
// configuration itself.
TEST(SelfRegistration, WithoutARecordTheCandidateNamesAreTriedInOrder)
{
    const struct {
        const char *title, *enTitle;                    // AppTitle, AppEnTitle; null: absent
        std::vector<const char*> listed, emptyCommand;  // keys with a stand-in, with an empty command
        size_t notFound;  // lookups of a missing key
        const char* ran;  // the stand-in that ran, null: none
        bool record;      // the product's record is there, without its value
    } rows[] = {
        {"Title A", "English A", {}, {}, 3, nullptr, false},
        {nullptr, nullptr, {}, {}, 2, nullptr, false},  // "VLAgent" twice
        {"Title E", "", {}, {}, 2, nullptr, false},     // an empty English title is skipped
        {"Title F", "English F", {"Title F"}, {}, 1, "Title F", false},
        {"Title G", "English G", {"Title G"}, {"English G"}, 0, "Title G", false},
        {"Title H", "English H", {"English H", "Title H"}, {}, 0, "English H", false},
        {"Title I", "English I", {"VLAgent"}, {}, 2, "VLAgent", false},
        {"title j", "Title J", {}, {}, 3, nullptr, false},  // titles compare with case: both are tried
        {"Missing", nullptr, {}, {}, 2, nullptr, true},  // the English title defaults to the title
    };
    ForgetKey(kUninstallList + "VLAgent");  // listed by one row only, and deleted after it
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Upgrade upgrade("candidates", "KSTestCandidates", row.title, row.enTitle);
        std::list<MachineKey> keys;
        if (row.record)
            keys.emplace_back(kProductKey + "KSTestCandidates", "Version", "1");
        std::vector<std::pair<std::string, std::string>> standIns;
        for (const char* name : row.listed) {
            standIns.emplace_back(name, upgrade.StandIn(std::string("uninst ") + name));
            keys.emplace_back(kUninstallList + name, "UninstallString", standIns.back().second);
        }
        for (const char* name : row.emptyCommand)
            keys.emplace_back(kUninstallList + name, "UninstallString", "");

        EXPECT_EQ(upgrade.Register(), S_OK);
        const std::vector<std::string> log = upgrade.product.LogEntries();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log[0], row.record ? "ERROR DllRegisterServer - cfg path is empty, SOFTWARE\\Velm\\VLUpdate\\KSTestCandidates"
                                     : kException);
        EXPECT_EQ(CountEntries(log, kException), row.record ? 0u : 1u);
        EXPECT_EQ(CountEntries(log, kNotFound), row.notFound);
        EXPECT_EQ(CountEntries(log, kLocated), row.ran ? 0u : 1u);
        for (const auto& standIn : standIns) {
            SCOPED_TRACE(standIn.first);
            const bool ran = row.ran && standIn.first == row.ran;
            EXPECT_EQ(ReadFile(standIn.second + ".cmdline"), ran ? standIn.second + " /install" : "");
            // The old uninstall program that ran is deleted afterwards.
            EXPECT_EQ(FileExists(standIn.second), !ran);
        }
    }
}

// The old logs of every user: "*.log" and "*.exc" of the product's log folder below
// each profile go once the old uninstaller ran; nothing goes when it could not start.
TEST(SelfRegistration, OldLogsGoOnlyAfterTheOldUninstallerRan)
{
    const std::string common = GetStringValue(
        HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Common AppData");
    const std::string profile = Environment("USERPROFILE");
    ASSERT_FALSE(common.empty() || profile.empty());
    const std::string velm = profile + common.substr(common.rfind('\\')) + "\\Velm", logs = velm + "\\VLUpdate\\Kestrel";
    const struct { bool canStart, quoted; HRESULT result; } rows[] = {{true, false, S_OK}, {true, true, S_OK}, {false, false, E_FAIL}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.canStart) + std::to_string(row.quoted));
        Upgrade upgrade("old_logs", "KSTestOldLogs", "Old Logs", nullptr);
        const std::string standIn = row.canStart ? upgrade.StandIn("old uninst") : upgrade.product.Folder() / "old\\none.exe";
        const std::string command = row.quoted ? "\"" + standIn + "\"" : standIn;
        const MachineKey listed(kUninstallList + "Old Logs", "UninstallString", command);
        for (const char* file : {"a.log", "b.exc", "keep.txt", "sub\\c.log"})
            MakeFile(logs + "\\" + file, "old");

        EXPECT_EQ(upgrade.Register(), row.result);
        EXPECT_EQ(FolderNames(logs), row.canStart ? std::vector<std::string>({"keep.txt", "sub"})
                                                  : std::vector<std::string>({"a.log", "b.exc", "keep.txt", "sub"}));
        EXPECT_TRUE(FileExists(logs + "\\sub\\c.log"));
        // A quoted command names no file: the program stays and the log says so.
        EXPECT_EQ(CountEntries(upgrade.product.LogEntries(), "WARNING Cannot delete " + command), row.quoted ? 1u : 0u);
        if (row.canStart) {
            EXPECT_EQ(ReadFile(standIn + ".cmdline"), command + " /install");
            EXPECT_EQ(FileExists(standIn), row.quoted);
        }
        RemoveTreeWithin(velm, profile);  // the test's own files below the profile
    }
}

}  // namespace
}  // namespace kstest
