// Self-registration clears the way for an installation: an older installation recorded
// under the product's registry key is removed in-process, one found in the system's
// uninstall list through its own uninstall command (a stand-in that records its command
// line), after which the old logs of every user go.
#include "removal/removal_fixture.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <memory>

namespace {

using kstest::CountEntries;
using kstest::SampleProduct;

using RegisterFunction = HRESULT(WINAPI*)();

const std::string kUninstallList = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kProductKey = "SOFTWARE\\Velm\\VLUpdate\\";
constexpr char kException[] = "WARNING DllRegisterServer - exception";
constexpr char kNotFound[] = "WARNING DllRegisterServer - cannot find an old version";
constexpr char kLocated[] = "INFO Command line = /leavelogs /install \"/cfg=\"";

void ForgetKey(const std::string& path) { SHDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()); }

// A key of HKEY_LOCAL_MACHINE, deleted before and after; with `valueName`, the string
// value set.
struct MachineKey {
    MachineKey(const std::string& path, const char* valueName = nullptr, const std::string& value = "") : path(path)
    {
        ForgetKey(path);
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        RegCloseKey(key);
        if (valueName)
            kstest::SetStringValue(HKEY_LOCAL_MACHINE, path, valueName, value);
    }
    ~MachineKey() { ForgetKey(path); }
    const std::string path;
};

// The sample product with the module's configuration (null: the key is absent), and
// the product's registry record forgotten.
struct Upgrade {
    Upgrade(const char* name, const char* prefix, const char* title, const char* enTitle) : product(name)
    {
        std::string text = std::string("[General]\nObjectPrefix=") + prefix + "\n";
        if (title)
            text += std::string("AppTitle=") + title + "\n";
        if (enTitle)
            text += std::string("AppEnTitle=") + enTitle + "\n";
        product.WriteCfg("KSInst.cfg", text);
        ForgetKey(kProductKey + prefix);
    }
    // A stand-in old uninstaller: a copy of the helper under another name, which writes
    // its command line to "<its path>.cmdline" and exits 0.
    std::string StandIn(std::string name) const
    {
        std::replace(name.begin(), name.end(), ' ', '_');
        product.Folder().MakeFolder("old");
        const std::string path = product.Folder() / ("old\\" + name + ".exe");
        CopyFileA(kstest::HelperPath().c_str(), path.c_str(), FALSE);
        return path;
    }
    // DllRegisterServer's result; the module is unloaded so that its log is complete.
    HRESULT Register()
    {
        const HRESULT result = product.Export<RegisterFunction>("DllRegisterServer")();
        product.Unload();
        return result;
    }
    SampleProduct product;
};

std::string Recorded(const std::string& standIn) { return kstest::ReadFile(standIn + ".cmdline"); }

TEST(SelfRegistration, ARecordedInstallationIsRemovedInProcessWithoutALookup)
{
    Upgrade upgrade("recorded", "KSTestRecorded", "Recorded", "Recorded En");
    const kstest::ScratchFolder& folder = upgrade.product.Folder();
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
    EXPECT_EQ(Recorded(standIn), "");
    EXPECT_TRUE(kstest::FileExists(standIn));
    // Removed in install mode: the old folder goes, this module stays and nothing waits
    // for a restart.
    EXPECT_FALSE(kstest::FolderExists(oldFolder));
    EXPECT_TRUE(kstest::FileExists(upgrade.product.ModulePath()));
    EXPECT_TRUE(kstest::PendingDeletionsBelow(folder.Path()).empty());
}

// No record (or one without its value, logged) sends the search to the uninstall list,
// name after name; with no command found, this module's own uninstaller locates the
// configuration itself.
TEST(SelfRegistration, WithoutARecordTheCandidateNamesAreTriedInOrder)
{
    const struct {
        const char* title;    // AppTitle, null: absent
        const char* enTitle;  // AppEnTitle, null: absent
        std::vector<const char*> listed;  // keys with a stand-in
        std::vector<const char*> emptyCommand;
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
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Upgrade upgrade("candidates", "KSTestCandidates", row.title, row.enTitle);
        ForgetKey(kUninstallList + "VLAgent");
        std::unique_ptr<MachineKey> record(row.record ? new MachineKey(kProductKey + "KSTestCandidates") : nullptr);
        std::vector<std::unique_ptr<MachineKey>> keys;
        std::vector<std::pair<std::string, std::string>> standIns;
        for (const char* name : row.listed) {
            standIns.emplace_back(name, upgrade.StandIn(std::string("uninst ") + name));
            keys.emplace_back(new MachineKey(kUninstallList + name, "UninstallString", standIns.back().second));
        }
        for (const char* name : row.emptyCommand)
            keys.emplace_back(new MachineKey(kUninstallList + name, "UninstallString", ""));

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
            EXPECT_EQ(Recorded(standIn.second), ran ? standIn.second + " /install" : "");
            // The old uninstall program that ran is deleted afterwards.
            EXPECT_EQ(kstest::FileExists(standIn.second), !ran);
        }
        ForgetKey(kUninstallList + "VLAgent");
    }
}

// The old logs of every user: "*.log" and "*.exc" of the product's log folder below
// each profile go once the old uninstaller ran; nothing goes when it could not start.
TEST(SelfRegistration, OldLogsGoOnlyAfterTheOldUninstallerRan)
{
    char common[MAX_PATH] = {};
    DWORD size = sizeof(common);
    ASSERT_EQ(SHGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                          "Common AppData", nullptr, common, &size),
              ERROR_SUCCESS);
    const std::string profile = kstest::Environment("USERPROFILE");
    ASSERT_FALSE(profile.empty());
    const std::string logs = profile + "\\" + (strrchr(common, '\\') + 1) + "\\Velm\\VLUpdate\\Kestrel";
    const char* const files[] = {"a.log", "b.exc", "keep.txt", "sub\\c.log"};
    const struct {
        bool canStart;
        bool quoted;
        HRESULT result;
    } rows[] = {{true, false, S_OK}, {true, true, S_OK}, {false, false, E_FAIL}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.canStart) + std::to_string(row.quoted));
        Upgrade upgrade("old_logs", "KSTestOldLogs", "Old Logs", nullptr);
        const std::string standIn = row.canStart ? upgrade.StandIn("old uninst") : upgrade.product.Folder() / "old\\none.exe";
        const std::string command = row.quoted ? "\"" + standIn + "\"" : standIn;
        const MachineKey listed(kUninstallList + "Old Logs", "UninstallString", command);
        for (const char* file : files)
            kstest::MakeFile(logs + "\\" + file, "old");

        EXPECT_EQ(upgrade.Register(), row.result);
        EXPECT_EQ(kstest::FileExists(logs + "\\a.log"), !row.canStart);
        EXPECT_EQ(kstest::FileExists(logs + "\\b.exc"), !row.canStart);
        EXPECT_TRUE(kstest::FileExists(logs + "\\keep.txt"));
        EXPECT_TRUE(kstest::FileExists(logs + "\\sub\\c.log"));
        // A quoted command names no file: the program stays and the log says so.
        EXPECT_EQ(CountEntries(upgrade.product.LogEntries(), "WARNING Cannot delete " + command), row.quoted ? 1u : 0u);
        if (row.canStart) {
            EXPECT_EQ(Recorded(standIn), command + " /install");
            EXPECT_EQ(kstest::FileExists(standIn), row.quoted);
        }
        // The test's own files below the profile.
        for (const char* file : files)
            DeleteFileA((logs + "\\" + file).c_str());
        for (std::string folder = logs + "\\sub"; folder.size() > profile.size(); folder.erase(folder.rfind('\\')))
            RemoveDirectoryA(folder.c_str());
    }
}

}  // namespace
