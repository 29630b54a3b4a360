// Where the configuration files are found, for modules copied into scratch folders.
#include "config/product_locations.h"
#include "config/util.h"
#include "platform/delete_tree.h"
#include "platform/reg_key.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

namespace {

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// A copy of the module under another name, loaded from a folder of its own.
struct ModuleCopy {
    ModuleCopy(const kstest::ScratchFolder& folder, const std::string& relativeName) : path(folder / relativeName)
    {
        CreateDirectoryA(Folder().c_str(), nullptr);
        CopyFileA(kstest::ModuleUnderTest::Path().c_str(), path.c_str(), FALSE);
        // A trailing dot loads a file that has no extension as it is named.
        handle = LoadLibraryA((path + (relativeName.find('.') == std::string::npos ? "." : "")).c_str());
    }
    ~ModuleCopy() { FreeLibrary(handle); }
    std::string Folder() const { return path.substr(0, path.rfind('\\')); }

    const std::string path;
    HMODULE handle;
};

TEST(Locations, ProductConfigurationBesideTheModule)
{
    kstest::ScratchFolder folder("beside");
    ModuleCopy module(folder, "mod\\KSInst.dll");
    ASSERT_TRUE(module.handle);
    const std::string product = module.Folder() + "\\KSCommon.cfg", own = module.Folder() + "\\KSInst.cfg";

    EXPECT_EQ(ProductLocations(module.handle).CfgPath(false, nullptr), product) << "neither file exists";
    EXPECT_EQ(ProductLocations(module.handle).CfgPath(false, module.handle), own) << "whether it exists or not";
    kstest::WriteFile(own, "[General]\r\n[]\r\n");
    EXPECT_EQ(ProductLocations(module.handle).CfgPath(false, nullptr), own) << "only the module's own exists";
    kstest::WriteFile(product, "[General]\r\n[]\r\n");
    EXPECT_EQ(ProductLocations(module.handle).CfgPath(false, nullptr), product);

    // The first answer is kept for the module's life.
    ProductLocations cached(module.handle);
    EXPECT_EQ(cached.CfgPath(false, nullptr), product);
    DeleteFileA(product.c_str());
    DeleteFileA(own.c_str());
    EXPECT_EQ(cached.CfgPath(false, nullptr), product);

    // The module's own file is named after the module file.
    const char* const names[][2] = {{"plain\\KSInst", "KSInst.cfg"}, {"dots\\my.module.v2.dll", "my.module.v2.cfg"},
                                    {"tmp\\KSR8afd.tmp", "KSR8afd.cfg"}};
    for (const auto& name : names) {
        ModuleCopy copy(folder, name[0]);
        ASSERT_TRUE(copy.handle) << name[0];
        EXPECT_EQ(ProductLocations(copy.handle).CfgPath(false, copy.handle), copy.Folder() + "\\" + name[1]);
    }
}

TEST(Locations, DataFolderFollowsMultiUserAndLogDirAndIsMadeOnFirstUse)
{
    kstest::ScratchFolder folder("data");
    ModuleCopy module(folder, "mod\\KSInst.dll");
    const struct { const char* general; HKEY root; const char *value, *logDir; } rows[] = {
        {" MultiUser = 0\r\n LogDir = kstest_logdir\r\n", HKEY_LOCAL_MACHINE, "Common AppData", "kstest_logdir"},
        {" LogDir = kstest_logdir\r\n", HKEY_CURRENT_USER, "AppData", "kstest_logdir"},
        {" MultiUser = 1\r\n", HKEY_CURRENT_USER, "AppData", "VLAgent"},
    };
    for (const auto& row : rows) {
        kstest::WriteFile(module.Folder() + "\\KSCommon.cfg", std::string("[General]\r\n") + row.general + "[]\r\n");
        const std::string base = kstest::GetStringValue(row.root, kShellFolders, row.value);
        ASSERT_FALSE(base.empty());
        const std::string expectedFolder = base + "\\Velm\\VLUpdate\\Kestrel\\" + row.logDir;
        const bool velmExisted = kstest::FolderExists(base + "\\Velm");
        ProductLocations locations(module.handle);
        EXPECT_EQ(locations.CfgPath(true, nullptr), expectedFolder + "\\KSCommon.cfg") << row.general;
        EXPECT_TRUE(kstest::FolderExists(expectedFolder));
        // The first call fixed the module configuration's name (the host's, for a null
        // module); a process whose first caller names the module gets the module's.
        EXPECT_EQ(locations.CfgPath(true, module.handle), expectedFolder + "\\tests_config.cfg");
        EXPECT_EQ(ProductLocations(module.handle).CfgPath(true, module.handle), expectedFolder + "\\KSInst.cfg");
        if (!velmExisted)
            DeleteTree(base + "\\Velm", DT_NO_RESTART, nullptr, nullptr, 0);
    }
    // A plain file where a folder belongs is replaced by the folder.
    const std::string blocker = folder.MakeFile("cfgdir", "a file where the folder belongs");
    SetFileAttributesA(blocker.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    CUtil::EnsureFolderFor((blocker + "\\KSCommon.cfg").c_str());
    EXPECT_TRUE(kstest::FolderExists(blocker));
}

}  // namespace
