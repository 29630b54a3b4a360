// The shared components an installation brings: version comparison, shared-library
// counts, COM registration, the downloader library in the system folder and GoProto.
#include "install/component_release.h"
#include "install/downloader.h"
#include "install/install_fixture.h"
#include "platform/file_version.h"
#include "support/restart_lists.h"
#include "support/version_resource.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <memory>

namespace {

constexpr char kClsid[] = "{6B5D1B9E-2C4A-4F4E-9B7A-0D3C5E7F9A22}";
constexpr char kInprocKey[] = "CLSID\\{6B5D1B9E-2C4A-4F4E-9B7A-0D3C5E7F9A22}\\InprocServer32";
constexpr char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr DWORD kNoCount = 0xDEADBEEF;

using InstallFn = LONG(WINAPI*)(const char*, const char*);
using UninstallFn = LONG(WINAPI*)(const char*);

std::string VersionOf(const std::string& path)
{
    CFileVersion version;
    return version.Load(path.c_str()) ? version.GetFileVersion() : "none";
}

DWORD Count(const std::string& path) { return kstest::GetDWordValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), kNoCount); }

std::string Registered() { return kstest::GetStringValue(HKEY_CLASSES_ROOT, kInprocKey, nullptr, "none"); }

// Copies the test COM server of `version` to `path`, its folders made as needed.
std::string Place(const std::string& version, const std::string& path)
{
    kstest::MakeFolders(path.substr(0, path.rfind('\\')));
    CopyFileA((kstest::ExeFolder() + "\\kstest_com_" + version + ".dll").c_str(), path.c_str(), FALSE);
    return path;
}

// The downloader's world for one test: description, delivered folder, system-folder
// copy, registration and counts, all removed again at the end; the module's log.
struct DownloaderWorld {
    explicit DownloaderWorld(const std::string& name)
        : scratch_(name), module_(name + "_log", ""), name_("kstest_down_" + kstest::ExeTitle() + ".dll"),
          installed_(kstest::SystemFolder() + "\\" + name_), description_(scratch_ / "Downloader Description.cfg")
    {
        SetEnvironmentVariableA("KSTEST_COM_CLSID", kClsid);
        Clean();
        Describe(std::string(" CLSID = ") + kClsid + "\r\n Name = " + name_ + "\r\n");
    }
    ~DownloaderWorld()
    {
        Clean();
        SetEnvironmentVariableA("KSTEST_COM_CLSID", nullptr);
    }
    void Clean() const
    {
        SHDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kClsid).c_str());
        for (const std::string& path : {installed_, scratch_ / "Elsewhere\\Old.dll", scratch_ / "Elsewhere\\Newer.dll"})
            kstest::DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
        SetFileAttributesA(installed_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(installed_.c_str());
        RemoveDirectoryA((installed_ + "\\inside").c_str());
        RemoveDirectoryA(installed_.c_str());
    }

    void Describe(const std::string& entries) const { kstest::WriteFile(description_, "[VLDown]\r\n" + entries + "[]\r\n"); }
    void Register(const std::string& path, DWORD count) const
    {
        kstest::SetStringValue(HKEY_CLASSES_ROOT, kInprocKey, nullptr, path);
        if (count != kNoCount)
            kstest::SetDWordValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), count);
    }
    LONG Install(const std::string& source) const
    {
        return module_.Export<InstallFn>("KSWInstallDownloader")(description_.c_str(), source.c_str());
    }
    LONG Uninstall() const { return module_.Export<UninstallFn>("KSWUninstallDownloader")(description_.c_str()); }

    kstest::ScratchFolder scratch_;
    kstest::InstalledModule module_;
    const std::string name_;
    const std::string installed_;
    const std::string description_;
};

TEST(Downloader, InstallsOnlyANewerCopyAndCountsTheCopyInUse)
{
    // Registered: the copy in use (null: none; "system": the system folder's copy), its
    // version ("2.0": a text-only version resource) and count; the version delivered
    // (null: nothing); afterwards: copied or not, the count of the copy in use, the
    // version of the system folder's copy.
    const struct { const char* name; const char* registeredAt; const char* registeredVersion; DWORD registeredCount;
                   const char* deliveredVersion; bool copied; DWORD count; const char* installedVersion; } cases[] = {
        {"same version", "system", "2.0.0.1", 1, "2.0.0.1", false, 2, "2.0.0.1"},
        {"numeric pieces", "system", "2.0.0.9", 4, "2.0.0.10", true, 5, "2.0.0.10"},
        {"older delivered", "system", "2.0.0.10", 2, "2.0.0.9", false, 3, "2.0.0.10"},
        {"fewer pieces registered", "Elsewhere\\Old.dll", "2.0", 3, "2.0.0.0", true, 4, "2.0.0.0"},
        {"nothing registered", nullptr, nullptr, kNoCount, "2.0.0.1", true, 1, "2.0.0.1"},
        {"nothing usable", nullptr, nullptr, kNoCount, nullptr, false, kNoCount, "none"},
        {"newer elsewhere, no count", "Elsewhere\\Newer.dll", "2.0.0.10", kNoCount, "2.0.0.9", false, 2, "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloaderWorld world("downloader_install");
        const std::string delivered = world.scratch_ / "Delivered Files";
        std::string registered;
        if (c.registeredAt) {
            const bool textOnly = std::string(c.registeredVersion) == "2.0";
            registered = std::string(c.registeredAt) == "system" ? world.installed_ : world.scratch_ / c.registeredAt;
            Place(textOnly ? "2.0.0.0" : c.registeredVersion, registered);
            if (textOnly) {
                ASSERT_TRUE(kstest::SetVersionResource(registered, kstest::StringsOnlyVersion("040904b0", "2.0", 0x04b00409)));
            }
            ASSERT_EQ(VersionOf(registered), c.registeredVersion);
            world.Register(registered, c.registeredCount);
        }
        kstest::MakeFolders(delivered);
        if (c.deliveredVersion)
            Place(c.deliveredVersion, delivered + "\\" + world.name_);
        // One script passes the folder with trailing blanks: the library is found all the
        // same. (The folder is then removed by that name as passed, which Windows takes
        // for the folder and Wine does not.)
        const bool blanks = !c.registeredAt && c.deliveredVersion;

        EXPECT_EQ(world.Install(delivered + (blanks ? "  " : "")), 1);

        const std::string inUse = c.copied ? world.installed_ : registered;
        EXPECT_EQ(VersionOf(world.installed_), c.installedVersion);
        EXPECT_EQ(Registered(), inUse.empty() ? "none" : inUse) << "registered by DllRegisterServer";
        EXPECT_EQ(Count(inUse), c.count);
        EXPECT_EQ(Count(world.installed_), inUse == world.installed_ ? c.count : kNoCount);
        if (c.copied && !registered.empty() && registered != world.installed_) {
            EXPECT_FALSE(kstest::FileExists(registered)) << "the old copy goes";
            EXPECT_EQ(Count(registered), kNoCount);
        }
        // The description names the copy in use.
        const std::string name = inUse.empty() ? world.name_ : inUse.substr(inUse.rfind('\\') + 1);
        EXPECT_NE(kstest::ReadFile(world.description_).find("Name = " + name + "\r\n"), std::string::npos);
        EXPECT_TRUE(blanks || !kstest::FolderExists(delivered)) << "the delivered folder is removed";
        std::vector<std::string> moved = world.module_.LogEntriesFrom("Cannot move");
        for (std::string& line : moved)
            line = line.substr(0, line.find(". Error = "));  // the code is whatever the last call left
        EXPECT_EQ(moved, c.copied ? std::vector<std::string>()
                                  : std::vector<std::string>{"ERROR Cannot move " + delivered + "\\" + world.name_ +
                                                             " to " + world.installed_});
    }
}

TEST(Downloader, NoDeliveredFolderBadDescriptionsAndAFolderOfTheNameChangeNothing)
{
    DownloaderWorld world("downloader_bad");
    const auto install = world.module_.Export<InstallFn>("KSWInstallDownloader");
    const std::string delivered = Place("2.0.0.1", world.scratch_ / ("Delivered Files\\" + world.name_));

    // A null source folder: nothing is copied, counted or removed, and the result is 1.
    EXPECT_EQ(install(world.description_.c_str(), nullptr), 1);
    EXPECT_FALSE(kstest::FileExists(world.installed_));
    EXPECT_EQ(Registered(), "none");
    EXPECT_EQ(world.Uninstall(), 1) << "nothing there, nothing to delete";

    const std::string clsid = std::string(" CLSID = ") + kClsid + "\r\n";
    for (const std::string& entries :
         {clsid, " Name = " + world.name_ + "\r\n", clsid + " Name = ..\\" + world.name_ + "\r\n", clsid + " Name = .\r\n",
          clsid + " Name = ..\r\n", clsid + " Name = C:" + world.name_ + "\r\n"}) {
        SCOPED_TRACE(entries);
        world.Describe(entries);
        EXPECT_EQ(world.Install(world.scratch_ / "Delivered Files"), 0);
        EXPECT_EQ(world.Uninstall(), 0);
    }
    for (const std::string& description : {std::string(), world.scratch_ / "missing.cfg"})
        EXPECT_EQ(install(description.empty() ? nullptr : description.c_str(), delivered.c_str()), 0);
    EXPECT_EQ(world.module_.Export<UninstallFn>("KSWUninstallDownloader")(nullptr), 0);
    EXPECT_TRUE(kstest::FileExists(delivered)) << "the delivered folder stays";
    EXPECT_FALSE(kstest::FileExists(world.installed_));
    EXPECT_EQ(world.module_.LogEntriesFrom("Cannot move").size(), 1u) << "a refused description logs nothing";

    // Only a file is the downloader: a folder of its name in the system folder stays.
    world.Describe(clsid + " Name = " + world.name_ + "\r\n");
    kstest::MakeFolders(world.installed_ + "\\inside");
    EXPECT_EQ(world.Uninstall(), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(kstest::FolderExists(world.installed_ + "\\inside"));
}

TEST(Downloader, UninstallReleasesTheCountAndDeletesTheLastCopy)
{
    // The count and whether the file is held; the result, the count afterwards and whether
    // the file and its registration stay.
    const struct { const char* name; DWORD count; bool held; LONG result; DWORD countAfter; bool stays; } cases[] = {
        {"still used", 2, false, 1, 1, true},
        {"last user", 1, false, 1, kNoCount, false},
        {"no count", kNoCount, false, 1, kNoCount, false},
        // The library cannot be loaded either while it is held: it stays registered.
        {"last user, in use", 1, true, 0, kNoCount, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloaderWorld world("downloader_uninstall");
        world.Register(Place("2.0.0.1", world.installed_), c.count);
        const std::vector<std::string> wininit = kstest::WininitRenameLines();
        {
            std::unique_ptr<kstest::FileHolder> holder(c.held ? new kstest::FileHolder(world.installed_) : nullptr);
            ASSERT_TRUE(!holder || holder->Holding());
            EXPECT_EQ(world.Uninstall(), c.result);
            EXPECT_TRUE(!c.held || GetLastError() == ERROR_SHARING_VIOLATION);
        }
        EXPECT_EQ(kstest::FileExists(world.installed_), c.stays);
        EXPECT_EQ(Count(world.installed_), c.countAfter);
        EXPECT_EQ(Registered() != "none", c.stays);
        EXPECT_TRUE(kstest::PendingDeletionsBelow(world.installed_).empty()) << "nothing is left for a restart";
        EXPECT_EQ(kstest::WininitRenameLines(), wininit);
        EXPECT_TRUE(world.module_.LogEntries().empty()) << "nothing to log";
    }
}

TEST(Components, CompareVersionsByNumbersThenPiecesThenText)
{
    // a, b and the result of comparing a with b; the other way round gives the opposite.
    const struct { const char* a; const char* b; int result; } rows[] = {
        {"2.0.0.9", "2.0.0.10", -1}, {"2.0", "2.0.0.0", -1}, {"2.9.9.9", "3", -1},    {"1.2.3", "1.2.x", -1},
        {"", "0", -1},               {"1.2.a", "1.2.b", -1}, {"01.2", "1.2", -1},     {"1.x", "4294967295.1", -1},
        {"2.0.0.1", "2.0.0.1", 0},   {"1.2.X", "1.2.x", 0},  {"", "", 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(CompareVersions(row.a, row.b), row.result) << row.a << " against " << row.b;
        EXPECT_EQ(CompareVersions(row.b, row.a), -row.result) << row.b << " against " << row.a;
    }
}

TEST(Components, ReleaseSharedDllCountsDownAndDeletesTheLastCount)
{
    kstest::ScratchFolder scratch("release");
    const std::string present = scratch.MakeFile("Shared Library.dll");
    const std::string absent = scratch / "Gone Library.dll";
    // count kNoCount: no value; 0xFFFFFFFE: a text value.
    const struct { const char* name; bool exists; DWORD count; bool force; long result; DWORD after; } cases[] = {
        {"three users", true, 3, false, 2, 2},           {"last user", true, 1, false, 0, kNoCount},
        {"count 0", true, 0, false, 0, kNoCount},        {"file gone", false, 2, false, 0, kNoCount},
        {"no count", true, kNoCount, false, -1, kNoCount}, {"forced", true, 5, true, 0, kNoCount},
        {"forced without count", true, kNoCount, true, -1, kNoCount},
        {"negative count", true, 0xFFFFFFF0, false, -1, 0xFFFFFFF0},
        {"count -1", true, 0xFFFFFFFF, false, -1, 0xFFFFFFFF},
        {"text value", true, 0xFFFFFFFE, false, -1, kNoCount},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.exists ? present : absent;
        kstest::DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
        if (c.count == 0xFFFFFFFE)
            kstest::SetStringValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), "3");
        else if (c.count != kNoCount)
            kstest::SetDWordValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), c.count);
        EXPECT_EQ(ReleaseSharedDll(path, c.force), c.result);
        EXPECT_EQ(Count(path), c.after);
        EXPECT_TRUE(kstest::FileExists(present)) << "releasing never deletes the file";
        kstest::DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
    }
}

TEST(Components, UnregisterComFileByKind)
{
    kstest::ScratchFolder scratch("unregister");
    const std::string clsid = "{6B5D1B9E-2C4A-4F4E-9B7A-0D3C5E7F9A33}", classKey = "CLSID\\" + clsid;
    SetEnvironmentVariableA("KSTEST_COM_CLSID", clsid.c_str());
    // An executable server, under a long name that needs its short form on the command line.
    const std::string server = scratch / "Component Server Program.EXE";
    ASSERT_TRUE(CopyFileA(kstest::HelperPath().c_str(), server.c_str(), FALSE));
    const std::string library = Place("2.0.0.1", scratch / "Component Library.dll");
    kstest::SetStringValue(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", nullptr, library);

    for (const std::string& nothing : {std::string(), scratch / "no dot here", scratch / "missing.exe"})
        UnregisterComFile(nothing);
    EXPECT_EQ(kstest::GetStringValue(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", nullptr), library);

    UnregisterComFile(server);
    EXPECT_EQ(kstest::ReadFile(server + ".unreg"), kstest::ShortPath(server) + " /UnregServer");

    UnregisterComFile(library);
    EXPECT_FALSE(kstest::RegKeyExists(HKEY_CLASSES_ROOT, classKey)) << "DllUnregisterServer ran";
    SHDeleteKeyA(HKEY_CLASSES_ROOT, classKey.c_str());
    SetEnvironmentVariableA("KSTEST_COM_CLSID", nullptr);
}

TEST(Components, IsRemovableSourceFolderKeepsRootsAndSystemFolders)
{
    const std::string windows = kstest::WindowsFolder(), system = kstest::SystemFolder();
    const std::string kept[] = {"", " ", "C:", "C:\\", "C:\\\\ ", "\\\\server\\share", "\\\\server\\share\\",
                                windows, windows + "\\", system, "c:\\WINDOWS\\SYSTEM32\\", "setup"};
    for (const std::string& folder : kept)
        EXPECT_FALSE(IsRemovableSourceFolder(folder)) << folder;
    const std::string removable[] = {"C:\\kstest\\delivered", "C:\\kstest\\delivered\\ ", "\\\\server\\share\\d",
                                     std::string(system) + "\\delivered"};
    for (const std::string& folder : removable)
        EXPECT_TRUE(IsRemovableSourceFolder(folder)) << folder;
}

// GoProto through the export: the stand-in library records its call and fails with the
// last error the test puts in its environment.
TEST(Components, GoProtoResultsAndWarnings)
{
    kstest::InstalledModule module("goproto_log", "");
    const auto goProto = module.Export<LONG(WINAPI*)(const char*, int, int)>("KSWInstallUninstallGoProto");
    // path null: the stand-in library; error: the entry's last error (null: it succeeds);
    // the call the library recorded and the warning logged (null: none).
    const struct { const char* path; int install; const char* error; LONG result; const char* call; const char* warning; }
        cases[] = {
        {nullptr, 1, nullptr, 0, "19 0 42", nullptr},
        {nullptr, 0, nullptr, 0, "20 0", nullptr},
        {nullptr, 1, "5", 1603, "19 0 42", "WARNING GoProto failed to Install. Code = 0x5"},
        {nullptr, 0, "80004005", 1603, "20 0", "WARNING GoProto failed to Uninstall. Code = 0x80004005"},
        {nullptr, 1, "8004A025", 3010, "19 0 42", "WARNING GoProto requires reboot. Code = 0x8004a025"},
        {nullptr, 0, "8004A028", 3010, "20 0", "WARNING GoProto requires reboot. Code = 0x8004a028"},
        {nullptr, 1, "4A020", 3010, "19 0 42", "WARNING GoProto requires reboot. Code = 0x4a020"},
        {nullptr, 1, "4A021", 1603, "19 0 42", "WARNING GoProto failed to Install. Code = 0x4a021"},
        {"C:\\kstest\\no such GoProto.dll", 1, nullptr, 1603, "", "WARNING GoProto failed to Install. Code = 0x7e"},
        // A library without the two entries: the look-up's error.
        {"kstest_com_2.0.0.1.dll", 0, nullptr, 1603, "", "WARNING GoProto failed to Uninstall. Code = 0x7f"},
    };
    std::vector<std::string> warnings;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        SetEnvironmentVariableA("KSTEST_GOPROTO_CALL", "");
        SetEnvironmentVariableA("KSTEST_GOPROTO_ERROR", c.error);
        const std::string path = !c.path ? "kstest_goproto.dll" : c.path;
        EXPECT_EQ(goProto((path[1] == ':' ? path : kstest::ExeFolder() + "\\" + path).c_str(), c.install, 42), c.result);
        EXPECT_EQ(kstest::Environment("KSTEST_GOPROTO_CALL"), c.call);
        if (c.warning)
            warnings.push_back(c.warning);
        EXPECT_EQ(module.LogEntriesFrom("GoProto"), warnings);
    }
    EXPECT_EQ(goProto(nullptr, 1, 0), 1603);
    SetEnvironmentVariableA("KSTEST_GOPROTO_ERROR", nullptr);
    SetEnvironmentVariableA("KSTEST_GOPROTO_CALL", nullptr);
}

}  // namespace
