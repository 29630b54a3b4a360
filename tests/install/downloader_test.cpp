#include "install/install_fixture.h"
#include "platform/file_version.h"
#include "support/test_env.h"
#include "support/restart_lists.h"
#include "support/version_resource.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr char kClsid[] = "{6B5D1B9E-2C4A-4F4E-9B7A-0D3C5E7F9A22}";
constexpr char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr DWORD kNoCount = 0xDEADBEEF;

using InstallFn = LONG(WINAPI*)(const char*, const char*);
using UninstallFn = LONG(WINAPI*)(const char*);

std::string InprocKey() { return std::string("CLSID\\") + kClsid + "\\InprocServer32"; }

std::string VersionOf(const std::string& path)
{
    CFileVersion version;
    return version.Load(path.c_str()) ? version.GetFileVersion() : "none";
}

// The downloader's world for one test: description, delivered folder, system-folder
// copy, registration and counts, all removed again at the end.
class DownloaderWorld {
public:
    explicit DownloaderWorld(const std::string& name)
        : scratch_(name),
          name_("kstest_down_" + kstest::ExeTitle() + ".dll"),
          installed_(kstest::SystemFolder() + "\\" + name_)
    {
        SetEnvironmentVariableA("KSTEST_COM_CLSID", kClsid);
        Clean();
        description_ = scratch_ / "Downloader Description.cfg";
        Describe(std::string(" CLSID = ") + kClsid + "\r\n Name = " + name_ + "\r\n");
    }
    ~DownloaderWorld()
    {
        Clean();
        SetEnvironmentVariableA("KSTEST_COM_CLSID", nullptr);
    }

    void Describe(const std::string& entries)
    {
        kstest::WriteFile(description_, "[VLDown]\r\n" + entries + "[]\r\n");
    }
    // Copies the test COM server of `version` to `path` (folders made as needed).
    std::string Place(const std::string& version, const std::string& path) const
    {
        const std::string folder = path.substr(0, path.rfind('\\'));
        if (folder.compare(0, scratch_.Path().size() + 1, scratch_.Path() + "\\") == 0)
            scratch_.MakeFolder(folder.substr(scratch_.Path().size() + 1));
        const std::string component = kstest::ExeFolder() + "\\kstest_com_" + version + ".dll";
        CopyFileA(component.c_str(), path.c_str(), FALSE);
        return path;
    }
    std::string Deliver(const std::string& version) const
    {
        return Place(version, scratch_ / ("Delivered Files\\" + name_));
    }
    void Register(const std::string& path, DWORD count = kNoCount) const
    {
        kstest::SetStringValue(HKEY_CLASSES_ROOT, InprocKey(), nullptr, path);
        if (count != kNoCount)
            kstest::SetDWordValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), count);
    }
    static DWORD Count(const std::string& path)
    {
        return kstest::GetDWordValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), kNoCount);
    }
    static std::string Registered() { return kstest::GetStringValue(HKEY_CLASSES_ROOT, InprocKey(), nullptr, "none"); }
    std::string DescribedName() const
    {
        const std::string text = kstest::ReadFile(description_);
        const size_t at = text.find("Name = ");
        return at == std::string::npos ? "none" : text.substr(at + 7, text.find('\r', at) - at - 7);
    }

    const kstest::ScratchFolder& Scratch() const { return scratch_; }
    const std::string& Description() const { return description_; }
    const std::string& Name() const { return name_; }
    const std::string& Installed() const { return installed_; }
    std::string Delivered() const { return scratch_ / "Delivered Files"; }

private:
    void Clean()
    {
        SHDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + kClsid).c_str());
        kstest::DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, installed_.c_str());
        for (const char* old : {"Elsewhere\\Old Downloader.dll", "Elsewhere\\Newer Downloader.dll"})
            kstest::DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, (scratch_ / old).c_str());
        SetFileAttributesA(installed_.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(installed_.c_str());
    }

    kstest::ScratchFolder scratch_;
    std::string name_;
    std::string installed_;
    std::string description_;
};

TEST(Downloader, InstallsOnlyANewerCopyAndCountsTheCopyInUse)
{
    enum Where { None, SystemFolderCopy, Elsewhere };
    struct Case {
        const char* name;
        Where registeredAt;
        const char* registeredVersion;  // "2.0" is a text-only version resource
        DWORD registeredCount;
        const char* deliveredVersion;  // null: nothing delivered
        bool copied;
        DWORD count;                    // afterwards, of the copy in use
        const char* installedVersion;   // of the system-folder copy afterwards
    };
    const Case cases[] = {
        {"same version", SystemFolderCopy, "2.0.0.1", 1, "2.0.0.1", false, 2, "2.0.0.1"},
        {"numeric pieces", SystemFolderCopy, "2.0.0.9", 4, "2.0.0.10", true, 5, "2.0.0.10"},
        {"older delivered", SystemFolderCopy, "2.0.0.10", 2, "2.0.0.9", false, 3, "2.0.0.10"},
        {"fewer pieces registered", Elsewhere, "2.0", 3, "2.0.0.0", true, 4, "2.0.0.0"},
        {"nothing registered", None, nullptr, kNoCount, "2.0.0.1", true, 1, "2.0.0.1"},
        {"nothing usable", None, nullptr, kNoCount, nullptr, false, kNoCount, "none"},
        {"newer elsewhere, no count", Elsewhere, "2.0.0.10", kNoCount, "2.0.0.9", false, 2, "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DownloaderWorld world("downloader_install");
        kstest::InstalledModule module("downloader_install_log", "");
        std::string registered;
        if (c.registeredAt != None) {
            const bool older = std::string(c.registeredVersion) == "2.0";
            registered = c.registeredAt == SystemFolderCopy
                             ? world.Installed()
                             : world.Scratch() / (older ? "Elsewhere\\Old Downloader.dll" : "Elsewhere\\Newer Downloader.dll");
            world.Place(older ? "2.0.0.0" : c.registeredVersion, registered);
            if (older) {
                const std::string textOnly = kstest::StringsOnlyVersion("040904b0", "2.0", 0x04b00409);
                ASSERT_TRUE(kstest::SetVersionResource(registered, textOnly));
            }
            ASSERT_EQ(VersionOf(registered), c.registeredVersion);
            world.Register(registered, c.registeredCount);
        }
        if (c.deliveredVersion)
            world.Deliver(c.deliveredVersion);
        else
            world.Scratch().MakeFolder("Delivered Files");
        // One script passes the folder with trailing blanks: the library is found all the
        // same. (The folder is then removed by that name as passed, which Windows takes
        // for the folder and Wine does not.)
        const bool blanks = c.registeredAt == None && c.deliveredVersion;
        const std::string source = world.Delivered() + (blanks ? "  " : "");

        EXPECT_EQ(module.Export<InstallFn>("KSWInstallDownloader")(world.Description().c_str(), source.c_str()), 1);

        const std::string inUse = c.copied ? world.Installed() : registered;
        EXPECT_EQ(VersionOf(world.Installed()), c.installedVersion);
        EXPECT_EQ(DownloaderWorld::Registered(), inUse.empty() ? "none" : inUse) << "registered by DllRegisterServer";
        if (!inUse.empty()) {
            EXPECT_EQ(DownloaderWorld::Count(inUse), c.count);
        }
        EXPECT_EQ(DownloaderWorld::Count(world.Installed()), c.copied || registered == world.Installed() ? c.count : kNoCount);
        if (c.copied && !registered.empty() && registered != world.Installed()) {
            EXPECT_FALSE(kstest::FileExists(registered)) << "the old copy goes";
            EXPECT_EQ(DownloaderWorld::Count(registered), kNoCount);
        }
        EXPECT_EQ(world.DescribedName(), !c.copied && !registered.empty() ? registered.substr(registered.rfind('\\') + 1)
                                                                          : world.Name());
        if (!blanks) {
            EXPECT_FALSE(kstest::FolderExists(world.Delivered())) << "the delivered folder is removed";
        }
        const std::vector<std::string> moved = module.LogEntriesFrom("Cannot move");
        if (c.copied) {
            EXPECT_TRUE(moved.empty());
        } else {
            ASSERT_EQ(moved.size(), 1u);
            EXPECT_EQ(moved[0].substr(0, moved[0].find(". Error = ")),
                      "ERROR Cannot move " + world.Delivered() + "\\" + world.Name() + " to " + world.Installed());
        }
    }
}

TEST(Downloader, NoDeliveredFolderAndBadDescriptionsChangeNothing)
{
    DownloaderWorld world("downloader_bad");
    kstest::InstalledModule module("downloader_bad_log", "");
    const auto install = module.Export<InstallFn>("KSWInstallDownloader");
    const auto uninstall = module.Export<UninstallFn>("KSWUninstallDownloader");
    const std::string delivered = world.Deliver("2.0.0.1");

    // A null source folder: nothing is copied, counted or removed, and the result is 1.
    EXPECT_EQ(install(world.Description().c_str(), nullptr), 1);
    EXPECT_FALSE(kstest::FileExists(world.Installed()));
    EXPECT_EQ(DownloaderWorld::Registered(), "none");
    EXPECT_EQ(module.LogEntriesFrom("Cannot move").size(), 1u);

    const std::string clsid = std::string(" CLSID = ") + kClsid + "\r\n";
    const std::string bad[] = {
        clsid,                                   // no Name
        " Name = " + world.Name() + "\r\n",      // no CLSID
        clsid + " Name =\r\n",                   // empty Name
        clsid + " Name = ..\\" + world.Name() + "\r\n",
        clsid + " Name = .\r\n",
        clsid + " Name = ..\r\n",
        clsid + " Name = C:" + world.Name() + "\r\n",
    };
    for (const std::string& entries : bad) {
        SCOPED_TRACE(entries);
        world.Describe(entries);
        EXPECT_EQ(install(world.Description().c_str(), world.Delivered().c_str()), 0);
        EXPECT_EQ(uninstall(world.Description().c_str()), 0);
        EXPECT_TRUE(kstest::FileExists(delivered)) << "the delivered folder stays";
    }
    EXPECT_EQ(install(nullptr, world.Delivered().c_str()), 0);
    EXPECT_EQ(install("", world.Delivered().c_str()), 0);
    EXPECT_EQ(install((world.Scratch() / "missing.cfg").c_str(), world.Delivered().c_str()), 0);
    EXPECT_EQ(uninstall(nullptr), 0);
    EXPECT_TRUE(kstest::FileExists(delivered));
    EXPECT_FALSE(kstest::FileExists(world.Installed()));
    EXPECT_EQ(module.LogEntriesFrom("Cannot move").size(), 1u) << "a refused description logs nothing";
}

TEST(Downloader, UninstallReleasesTheCountAndDeletesTheLastCopy)
{
    struct Case {
        const char* name;
        DWORD count;
        bool held;
        LONG result;
        DWORD countAfter;
        bool fileStays;
        bool registrationStays;
    };
    const Case cases[] = {
        {"still used", 3, false, 1, 2, true, true},
        {"last user", 1, false, 1, kNoCount, false, false},
        {"no count", kNoCount, false, 1, kNoCount, false, false},
        // The library cannot be loaded either while it is held: it stays registered.
        {"last user, in use", 1, true, 0, kNoCount, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DownloaderWorld world("downloader_uninstall");
        kstest::InstalledModule module("downloader_uninstall_log", "");
        CopyFileA((kstest::ExeFolder() + "\\kstest_com_2.0.0.1.dll").c_str(), world.Installed().c_str(), FALSE);
        world.Register(world.Installed(), c.count);
        const std::vector<std::string> wininit = kstest::WininitRenameLines();
        {
            std::unique_ptr<kstest::FileHolder> holder;
            if (c.held) {
                holder.reset(new kstest::FileHolder(world.Installed()));
                ASSERT_TRUE(holder->Holding());
            }
            EXPECT_EQ(module.Export<UninstallFn>("KSWUninstallDownloader")(world.Description().c_str()), c.result);
            if (c.held) {
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            }
        }
        EXPECT_EQ(kstest::FileExists(world.Installed()), c.fileStays);
        EXPECT_EQ(DownloaderWorld::Count(world.Installed()), c.countAfter);
        EXPECT_EQ(DownloaderWorld::Registered() != "none", c.registrationStays);
        EXPECT_TRUE(kstest::PendingDeletionsBelow(world.Installed()).empty()) << "nothing is left for a restart";
        EXPECT_EQ(kstest::WininitRenameLines(), wininit);
        EXPECT_TRUE(module.LogEntries().empty()) << "nothing to log";
    }
}

}  // namespace
