// Self-registration clears the way for an installation: an older installation recorded
// under the product's registry key is removed in-process, one found in the system's
// uninstall list through its own uninstall command (a stand-in that records its command
// line), after which the old logs of every user go.
#include "removal/removal_fixture.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <memory>

namespace {

using kstest::CountEntries;
using kstest::HandOverCleared;
using kstest::SampleProduct;

using RegisterFunction = HRESULT(WINAPI*)();

constexpr char kUninstallList[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kProductKey[] = "SOFTWARE\\Velm\\VLUpdate\\";
constexpr char kException[] = "WARNING DllRegisterServer - exception";
constexpr char kNotFound[] = "WARNING DllRegisterServer - cannot find an old version";

// A key of HKEY_LOCAL_MACHINE, deleted before and after; with `valueName`, the string
// value set.
class MachineKey {
public:
    MachineKey(const std::string& path, const char* valueName = nullptr, const std::string& value = "")
        : path_(path)
    {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        if (key && valueName)
            RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
        if (key)
            RegCloseKey(key);
    }
    ~MachineKey() { SHDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str()); }
    MachineKey(const MachineKey&) = delete;
    MachineKey& operator=(const MachineKey&) = delete;

private:
    std::string path_;
};

void ForgetKey(const std::string& path) { SHDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()); }

// A stand-in old uninstaller: a copy of the helper under another name, which writes its
// command line to "<its path>.cmdline" and exits 0.
std::string StandIn(const SampleProduct& product, const std::string& name)
{
    std::string file = name;
    std::replace(file.begin(), file.end(), ' ', '_');
    const std::string path = product.Folder() / ("old\\" + file + ".exe");
    product.Folder().MakeFolder("old");
    CopyFileA(kstest::HelperPath().c_str(), path.c_str(), FALSE);
    return path;
}

std::string Recorded(const std::string& standIn) { return kstest::ReadFile(standIn + ".cmdline"); }

std::string ModuleCfg(const char* prefix, const char* title, const char* enTitle)
{
    std::string text = "[General]\n";
    if (prefix)
        text += std::string("ObjectPrefix=") + prefix + "\n";
    if (title)
        text += std::string("AppTitle=") + title + "\n";
    if (enTitle)
        text += std::string("AppEnTitle=") + enTitle + "\n";
    return text;
}

TEST(SelfRegistration, ARecordedInstallationIsRemovedInProcessWithoutALookup)
{
    HandOverCleared cleared;
    SampleProduct product("recorded");
    product.WriteModuleCfg(ModuleCfg("KSTestRecorded", "Recorded", "Recorded En"));
    // The older product: its own configuration and folder.
    const std::string oldFolder = product.Folder().MakeFolder("old product");
    product.Folder().MakeFile("old product\\agent.exe");
    product.Folder().MakeFile("old product\\data\\x.dat");
    const std::string oldCfg = product.Folder().MakeFile(
        "old product\\KSCommon.cfg", "[General]\nPath=" + oldFolder + "\nAppTitle=Old App\nObjectPrefix=KSTestRecorded\n");
    const MachineKey record(std::string(kProductKey) + "KSTestRecorded", "CfgPath", oldCfg);
    const std::string standIn = StandIn(product, "listed");
    const MachineKey listed(std::string(kUninstallList) + "Recorded En", "UninstallString", standIn);

    EXPECT_EQ(product.Export<RegisterFunction>("DllRegisterServer")(), S_OK);
    product.Unload();

    const std::vector<std::string> log = product.LogEntries();
    EXPECT_EQ(CountEntries(log, "INFO Command line = /leavelogs /install \"/cfg=" + oldCfg + "\""), 1u);
    EXPECT_EQ(CountEntries(log, kNotFound), 0u);
    EXPECT_EQ(CountEntries(log, kException), 0u);
    EXPECT_EQ(Recorded(standIn), "");
    EXPECT_TRUE(kstest::FileExists(standIn));
    // Removed in install mode: the old folder goes, this module stays and nothing waits
    // for a restart.
    EXPECT_FALSE(kstest::FolderExists(oldFolder));
    EXPECT_TRUE(kstest::FileExists(product.ModulePath()));
    EXPECT_TRUE(kstest::PendingDeletionsBelow(product.Folder().Path()).empty());
}

TEST(SelfRegistration, AMissingRecordOrValueIsLoggedAndTheListIsSearched)
{
    HandOverCleared cleared;
    ForgetKey(std::string(kUninstallList) + "VLAgent");
    ForgetKey(std::string(kUninstallList) + "Missing");
    const struct {
        bool keyPresent;
        const char* exception;
        const char* empty;
    } rows[] = {
        {false, kException, nullptr},
        {true, nullptr, "ERROR DllRegisterServer - cfg path is empty, SOFTWARE\\Velm\\VLUpdate\\KSTestNoValue"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keyPresent);
        SampleProduct product("missing");
        product.WriteModuleCfg(ModuleCfg("KSTestNoValue", "Missing", nullptr));
        ForgetKey(std::string(kProductKey) + "KSTestNoValue");
        std::unique_ptr<MachineKey> key;
        if (row.keyPresent)
            key.reset(new MachineKey(std::string(kProductKey) + "KSTestNoValue"));
        EXPECT_EQ(product.Export<RegisterFunction>("DllRegisterServer")(), S_OK);
        product.Unload();
        const std::vector<std::string> log = product.LogEntries();
        ASSERT_GE(log.size(), 3u);
        // First the record, then the two names of the list ("Missing" and "VLAgent"),
        // then this module's own uninstaller, which locates the configuration itself.
        EXPECT_EQ(log[0], row.exception ? row.exception : row.empty);
        EXPECT_EQ(CountEntries(log, kException), row.exception ? 1u : 0u);
        EXPECT_EQ(log[1], kNotFound);
        EXPECT_EQ(log[2], kNotFound);
        EXPECT_EQ(CountEntries(log, kNotFound), 2u);
        EXPECT_EQ(CountEntries(log, "INFO Command line = /leavelogs /install \"/cfg=\""), 1u);
    }
}

TEST(SelfRegistration, TheCandidateNamesAreTriedInOrder)
{
    HandOverCleared cleared;
    const struct {
        const char* title;    // AppTitle, null: absent
        const char* enTitle;  // AppEnTitle, null: absent
        std::vector<const char*> listed;  // keys with a stand-in, "" for an empty command
        std::vector<const char*> emptyCommand;
        size_t notFound;  // lookups of a missing key
        const char* ran;  // the stand-in that ran, null: none
    } rows[] = {
        {"Title A", "English A", {}, {}, 3, nullptr},
        {"Same", "Same", {}, {}, 2, nullptr},
        {nullptr, nullptr, {}, {}, 2, nullptr},  // "VLAgent" twice
        {"Solo", nullptr, {}, {}, 2, nullptr},   // the English title defaults to the title
        {"Title E", "", {}, {}, 2, nullptr},     // an empty English title is skipped
        {"Title F", "English F", {"Title F"}, {}, 1, "Title F"},
        {"Title G", "English G", {"Title G"}, {"English G"}, 0, "Title G"},
        {"Title H", "English H", {"English H", "Title H"}, {}, 0, "English H"},
        {"Title I", "English I", {"VLAgent"}, {}, 2, "VLAgent"},
        {"title j", "Title J", {}, {}, 3, nullptr},  // titles compare with case: both are tried
    };
    int index = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(index++);
        SampleProduct product("candidates");
        product.WriteModuleCfg(ModuleCfg("KSTestCandidates", row.title, row.enTitle));
        ForgetKey(std::string(kProductKey) + "KSTestCandidates");
        ForgetKey(std::string(kUninstallList) + "VLAgent");
        std::vector<std::unique_ptr<MachineKey>> keys;
        std::vector<std::pair<std::string, std::string>> standIns;
        for (const char* name : row.listed) {
            const std::string standIn = StandIn(product, std::string("uninst ") + name);
            standIns.emplace_back(name, standIn);
            keys.emplace_back(new MachineKey(std::string(kUninstallList) + name, "UninstallString", standIn));
        }
        for (const char* name : row.emptyCommand)
            keys.emplace_back(new MachineKey(std::string(kUninstallList) + name, "UninstallString", ""));

        EXPECT_EQ(product.Export<RegisterFunction>("DllRegisterServer")(), S_OK);
        product.Unload();

        const std::vector<std::string> log = product.LogEntries();
        EXPECT_EQ(CountEntries(log, kNotFound), row.notFound);
        EXPECT_EQ(CountEntries(log, "INFO Command line = /leavelogs /install \"/cfg=\""), row.ran ? 0u : 1u);
        for (const auto& standIn : standIns) {
            const bool ran = row.ran && standIn.first == row.ran;
            SCOPED_TRACE(standIn.first);
            EXPECT_EQ(Recorded(standIn.second), ran ? standIn.second + " /install" : "");
            // The old uninstall program that ran is deleted afterwards.
            EXPECT_EQ(kstest::FileExists(standIn.second), !ran);
        }
        ForgetKey(std::string(kUninstallList) + "VLAgent");
    }
}

// The old logs of every user: "*.log" and "*.exc" of the product's log folder below
// each profile go once the old uninstaller ran; nothing goes when it could not start.
TEST(SelfRegistration, OldLogsGoOnlyAfterTheOldUninstallerRan)
{
    HandOverCleared cleared;
    char common[MAX_PATH] = {};
    DWORD size = sizeof(common);
    ASSERT_EQ(SHGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                          "Common AppData", nullptr, common, &size),
              ERROR_SUCCESS);
    char profile[MAX_PATH] = {};
    ASSERT_NE(GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH), 0u);
    const std::string name = strrchr(common, '\\') + 1;
    const std::string logs = std::string(profile) + "\\" + name + "\\Velm\\VLUpdate\\Kestrel";

    const struct {
        bool canStart;
        bool quoted;
        HRESULT result;
    } rows[] = {{true, false, S_OK}, {true, true, S_OK}, {false, false, E_FAIL}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.canStart) + std::to_string(row.quoted));
        SampleProduct product("old_logs");
        product.WriteModuleCfg(ModuleCfg("KSTestOldLogs", "Old Logs", nullptr));
        ForgetKey(std::string(kProductKey) + "KSTestOldLogs");
        std::string standIn = row.canStart ? StandIn(product, "old uninst") : product.Folder() / "old\\none.exe";
        const std::string command = row.quoted ? "\"" + standIn + "\"" : standIn;
        const MachineKey listed(std::string(kUninstallList) + "Old Logs", "UninstallString", command);
        const std::string sub = logs + "\\sub";
        for (size_t slash = sub.find('\\', strlen(profile) + 1); slash != std::string::npos;
             slash = sub.find('\\', slash + 1))
            CreateDirectoryA(sub.substr(0, slash).c_str(), nullptr);
        CreateDirectoryA(sub.c_str(), nullptr);
        for (const char* file : {"a.log", "b.exc", "keep.txt", "sub\\c.log"})
            kstest::WriteFile(logs + "\\" + file, "old");

        EXPECT_EQ(product.Export<RegisterFunction>("DllRegisterServer")(), row.result);
        product.Unload();

        EXPECT_EQ(kstest::FileExists(logs + "\\a.log"), !row.canStart);
        EXPECT_EQ(kstest::FileExists(logs + "\\b.exc"), !row.canStart);
        EXPECT_TRUE(kstest::FileExists(logs + "\\keep.txt"));
        EXPECT_TRUE(kstest::FileExists(logs + "\\sub\\c.log"));
        const std::vector<std::string> log = product.LogEntries();
        // A quoted command names no file: the program stays and the log says so.
        EXPECT_EQ(CountEntries(log, "WARNING Cannot delete " + command), row.quoted ? 1u : 0u);
        if (row.canStart) {
            EXPECT_EQ(Recorded(standIn), command + " /install");
            EXPECT_EQ(kstest::FileExists(standIn), row.quoted);
        }
        // The test's own files below the profile.
        for (const char* file : {"a.log", "b.exc", "keep.txt", "sub\\c.log"})
            DeleteFileA((logs + "\\" + file).c_str());
        for (std::string folder = logs + "\\sub"; folder.size() > strlen(profile); folder.erase(folder.rfind('\\')))
            RemoveDirectoryA(folder.c_str());
    }
}

}  // namespace
