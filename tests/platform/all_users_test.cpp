// Per-user registry and file operations against real profile lists and hive loads.
// Under Wine a hive loaded with RegLoadKey forgets what was written when it is unloaded,
// so writes are checked in hives that are present (loaded) while the module runs, and
// temporary loads by what they leave behind: nothing loaded.
#include "platform/all_users.h"
#include "peruser/all_users_files.h"
#include "platform/reg_key.h"
#include "support/test_env.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

namespace {

constexpr char kSubKey[] = "Software\\KSInstTest\\AllUsers";
constexpr char kLoggedOn[] = "S-1-5-21-7001-7002-7003-1001";   // present under HKU
constexpr char kLoggedOff[] = "S-1-5-21-7001-7002-7003-1002";  // hive file only
constexpr char kPreloaded[] = "S-1-5-21-7001-7002-7003-1003";  // hive loaded by the test
constexpr char kService[] = "S-1-5-21-7001-7002-7003-1004";    // Flags 12
constexpr char kNoHive[] = "S-1-5-21-7001-7002-7003-1005";     // folder without a hive
constexpr char kCurrentUser[] = "S-1-5-21-0-0-0-1000";          // Wine's own user, logged on
constexpr char kDefaultHive[] = "KSWiseDefaultUser";
// The default profile this test names on the NT family, below Wine's profiles folder.
constexpr char kDefaultProfile[] = "C:\\users\\kstest_default";
constexpr char kDefaultHiveFile[] = "C:\\users\\kstest_default\\NTUser.dat";

// The hive file of a profile of the running family, or of the other family.
std::string HiveFile(bool ownFamily = true) { return ownFamily == kstest::NtFamily() ? "\\NTUser.dat" : "\\User.dat"; }

// Below HKEY_USERS, read and written with the system's own calls.
bool KeyExists(const std::string& path) { return kstest::RegKeyExists(HKEY_USERS, path); }
DWORD ReadDWord(const std::string& key, const char* name) { return kstest::GetDWordValue(HKEY_USERS, key, name, 0xDEAD); }

// Adds profiles to the running family's profile list, each with a folder below the
// scratch folder, and removes every trace again at the end.
class AllUsers : public testing::Test {
protected:
    ~AllUsers() override
    {
        RegUnLoadKeyA(HKEY_USERS, kPreloaded);
        RegUnLoadKeyA(HKEY_USERS, kDefaultHive);
        for (const std::string& name : added_)
            kstest::RemoveProfileEntry(name);
        if (defaultProfileSet_) {
            SHDeleteValueA(HKEY_LOCAL_MACHINE, kstest::ProfileListKey().c_str(), "DefaultUserProfile");
            DeleteFileA(kDefaultHiveFile);
            RemoveDirectoryA(kDefaultProfile);
        }
        SHDeleteKeyA(HKEY_USERS, In(".DEFAULT").c_str());
        SHDeleteKeyA(HKEY_USERS, In(kCurrentUser).c_str());
    }

    // With a hive file in its folder, or with a key directly under HKEY_USERS: to the
    // module, a user whose hive is loaded.
    enum class Hive { None, File, Present };
    std::string AddProfile(const char* name, DWORD flags = 0, Hive hive = Hive::None)
    {
        const std::string folder = folder_.MakeFolder(name);
        if (hive == Hive::File)
            MakeHive(folder + HiveFile());
        if (hive == Hive::Present)
            CVRegKey::Users.Create(name, KEY_READ);
        kstest::AddProfileEntry(name, folder, flags);
        added_.push_back(name);
        return folder;
    }

    // A hive file made by the registry itself, so that the system can load it.
    void MakeHive(const std::string& path) { EXPECT_TRUE(kstest::SaveHive(source_.Path(), path)); }

    // A value in every hive file made from now on and in the prefix's own user: a
    // write of it with PU_ONLY_EXISTING then tells whether every hive was reached.
    void SeedHives()
    {
        CVRegKey::CurrentUser.Create((source_.Path() + "\\" + kSubKey).c_str(), KEY_SET_VALUE).SetDWord("Seed", 1);
        if (kstest::NtFamily())
            kstest::SetDWordValue(HKEY_USERS, In(kCurrentUser), "Seed", 1);
    }
    static bool EveryHiveReached(DWORD options = 0)
    {
        return WriteDWordToAllUsers(kSubKey, "Seed", 2, PU_ONLY_EXISTING | options);
    }

    // Wine's profile list names no default profile; this test's one is removed again.
    void SetDefaultProfile()
    {
        CreateDirectoryA(kDefaultProfile, nullptr);
        kstest::SetStringValue(HKEY_LOCAL_MACHINE, kstest::ProfileListKey(), "DefaultUserProfile", "kstest_default");
        defaultProfileSet_ = true;
    }

    static std::string In(const char* root) { return std::string(root) + "\\" + kSubKey; }

    kstest::ScratchFolder folder_{"allusers"};
    kstest::TestRegKey source_{"hivesource"};
    std::vector<std::string> added_;
    bool defaultProfileSet_ = false;
};

TEST_F(AllUsers, ExportWritesEveryUsersHiveAndLeavesNoHiveLoaded)
{
    AddProfile(kLoggedOn, 0, Hive::Present);
    AddProfile(kLoggedOff, 0, Hive::File);
    ASSERT_TRUE(kstest::LoadHive(kPreloaded, AddProfile(kPreloaded, 0, Hive::File) + HiveFile()));
    AddProfile(kService, 12, Hive::Present);
    AddProfile(kNoHive);

    kstest::ModuleUnderTest module;
    auto addDWord = module.Require<LONG(WINAPI*)(const char*, const char*, DWORD, DWORD)>("KSWAddRegDWordToAllUsers");
    EXPECT_EQ(addDWord(kSubKey, "Counter", 42, 0), 1);

    EXPECT_EQ(ReadDWord(In(kLoggedOn), "Counter"), 42u);
    EXPECT_EQ(ReadDWord(In(kPreloaded), "Counter"), 42u) << "a present hive is written in place";
    // Service profiles are skipped on the NT family; the 95/98/Me family skips none.
    EXPECT_EQ(ReadDWord(In(kService), "Counter"), kstest::NtFamily() ? 0xDEADu : 42u);
    EXPECT_FALSE(KeyExists(kLoggedOff)) << "a temporary load is unloaded";
    EXPECT_TRUE(KeyExists(kPreloaded)) << "a hive the module did not load stays loaded";

    // An "add" export never deletes: without a value name it writes the key's default
    // value, and options that would copy or move are not taken.
    auto addString = module.Require<LONG(WINAPI*)(const char*, const char*, const char*, DWORD)>(
        "KSWAddRegStringToAllUsers");
    EXPECT_EQ(addString(kSubKey, nullptr, "default text", 0), 1);
    EXPECT_EQ(kstest::GetStringValue(HKEY_USERS, In(kLoggedOn), ""), "default text");
    EXPECT_EQ(addDWord(kSubKey, nullptr, 7, PU_DELETE_KEY_IF_EMPTY), 1);
    EXPECT_EQ(ReadDWord(In(kLoggedOn), ""), 7u);
    EXPECT_EQ(addString(kSubKey, "Counter", "Target", PU_COPY_VALUE | PU_DELETE_SOURCE), 1);
    EXPECT_EQ(addDWord(kSubKey, "Counter", 2, PU_COPY_KEY | PU_DELETE_SOURCE), 1);
    EXPECT_EQ(ReadDWord(In(kLoggedOn), "Counter"), 2u);
    EXPECT_EQ(ReadDWord(In(kLoggedOn), "Target"), 0xDEADu);
}

TEST_F(AllUsers, OptionsChooseTheOperation)
{
    AddProfile(kLoggedOn, 0, Hive::Present);
    const std::string source = In(kLoggedOn), moved = std::string(kLoggedOn) + "\\" + kSubKey + "Move";
    kstest::SetDWordValue(HKEY_USERS, source, "Seed", 1);
    // Only existing values are rewritten.
    WriteStringToAllUsers(kSubKey, "Seed", "new", PU_ONLY_EXISTING);
    WriteStringToAllUsers(kSubKey, "Absent", "new", PU_ONLY_EXISTING);
    EXPECT_EQ(ReadDWord(source, "Absent"), 0xDEADu);
    EXPECT_EQ(kstest::GetStringValue(HKEY_USERS, source, "Seed"), "new");

    // Copy and move of a value, then of a key; deleting a value, a key only when empty,
    // then a whole key.
    WriteDWordToAllUsers(kSubKey, "Number", 5, 0);
    ApplyToAllUsers(kSubKey, "Number", "Copied", 0, 0, PU_COPY_VALUE);
    ApplyToAllUsers(kSubKey, "Copied", "Moved", 0, 0, PU_COPY_VALUE | PU_DELETE_SOURCE);
    EXPECT_EQ(ReadDWord(source, "Number") + ReadDWord(source, "Moved"), 10u);
    EXPECT_EQ(ReadDWord(source, "Copied"), 0xDEADu);
    const std::string copyPath = std::string(kSubKey) + "Copy", movePath = std::string(kSubKey) + "Move";
    ApplyToAllUsers(kSubKey, nullptr, copyPath.c_str(), 0, 0, PU_COPY_KEY);
    ApplyToAllUsers(copyPath.c_str(), nullptr, movePath.c_str(), 0, 0, PU_COPY_KEY | PU_DELETE_SOURCE);
    EXPECT_EQ(ReadDWord(moved, "Moved"), 5u);
    EXPECT_FALSE(KeyExists(std::string(kLoggedOn) + "\\" + copyPath));
    EXPECT_EQ(ReadDWord(source, "Moved"), 5u) << "a copy keeps its source";
    DeleteValueFromAllUsers(kSubKey, "Number", false);
    EXPECT_EQ(ReadDWord(source, "Number"), 0xDEADu);
    DeleteKeyFromAllUsers(movePath.c_str(), false, true);
    EXPECT_TRUE(KeyExists(moved)) << "it still holds a value";
    DeleteKeyFromAllUsers(movePath.c_str(), false, false);
    EXPECT_FALSE(KeyExists(moved));
    // A key deletion without a key path would empty every user's registry.
    EXPECT_FALSE(DeleteKeyFromAllUsers("\\", false, false));
    EXPECT_TRUE(KeyExists(source));
}

// A logged-off user's hive file is "NTUser.dat" on the NT family, "User.dat" on
// 95/98/Me; a profile holding only the other family's file is not reached.
TEST_F(AllUsers, LoggedOffUsersAreReachedThroughTheirFamilysHiveFile)
{
    SeedHives();
    MakeHive(AddProfile(kLoggedOff) + HiveFile());
    EXPECT_TRUE(EveryHiveReached());
    MakeHive(AddProfile(kNoHive) + HiveFile(false));
    EXPECT_FALSE(EveryHiveReached());
}

TEST_F(AllUsers, DefaultUserIsLoadedByNameOrWrittenDirectly)
{
    if (!kstest::NtFamily()) {
        WriteDWordToAllUsers(kSubKey, "Default", 3, PU_INCLUDE_DEFAULT_USER);
        EXPECT_EQ(ReadDWord(In(".DEFAULT"), "Default"), 3u);
        return;
    }
    SeedHives();
    SetDefaultProfile();
    MakeHive(kDefaultHiveFile);
    EXPECT_TRUE(EveryHiveReached(PU_INCLUDE_DEFAULT_USER));
    EXPECT_FALSE(KeyExists(kDefaultHive)) << "the default user's hive is unloaded";
    // Under that name only: a hive present there already is not the module's to write.
    ASSERT_TRUE(kstest::LoadHive(kDefaultHive, kDefaultHiveFile));
    EXPECT_FALSE(EveryHiveReached(PU_INCLUDE_DEFAULT_USER));
    EXPECT_TRUE(KeyExists(kDefaultHive)) << "nor unloaded";
}

// Below every profile folder, and with KSWDelDir the default user's too: the default
// profile on the NT family, the Windows folder on 95/98/Me.
TEST_F(AllUsers, FilesBelowEveryProfileFolder)
{
    const std::string first = AddProfile(kLoggedOn), second = AddProfile(kLoggedOff);
    const std::string defaultFolder = kstest::NtFamily() ? kDefaultProfile : "C:\\windows";
    if (kstest::NtFamily())
        SetDefaultProfile();
    for (const std::string& profile : {first, second, defaultFolder})
        kstest::MakeFile(profile + "\\kstest_data\\Velm\\a.log");

    SetConfigValueForAllUsers("kstest_data\\Velm\\user.cfg", "Stats", "Count", "3", false, 0);
    EXPECT_EQ(kstest::ReadFile(second + "\\kstest_data\\Velm\\user.cfg"), "[Stats]\r\n Count = 3\r\n[]\r\n");
    EXPECT_FALSE(kstest::FileExists(defaultFolder + "\\kstest_data\\Velm\\user.cfg"));

    kstest::ModuleUnderTest module;
    auto delDir = module.Require<LONG(WINAPI*)(const char*, LONG)>("KSWDelDir");
    EXPECT_EQ(delDir("kstest_data\\Velm", 1), 1);
    EXPECT_EQ(delDir("", 1), 1) << "an empty relative path names the profile folder itself";
    for (const std::string& profile : {first, second, defaultFolder}) {
        EXPECT_FALSE(kstest::FolderExists(profile + "\\kstest_data\\Velm")) << profile;
        EXPECT_TRUE(kstest::FolderExists(profile + "\\kstest_data")) << profile;
    }
    // The prefix's own profile took the same operations.
    for (const std::string& folder : {kstest::Environment("USERPROFILE"), defaultFolder})
        RemoveDirectoryA((folder + "\\kstest_data").c_str());
}

TEST(DelDir, PatternInTheLastComponentFiltersTheFolder)
{
    kstest::ScratchFolder folder("deldir");
    for (const char* file : {"a.log", "b.LOG", "keep.txt", "sub\\inner.txt"})
        folder.MakeFile(file);
    kstest::ModuleUnderTest module;
    auto delDir = module.Require<LONG(WINAPI*)(const char*, LONG)>("KSWDelDir");
    EXPECT_EQ(delDir((folder / "*.log").c_str(), 0), 1);
    EXPECT_EQ(kstest::FolderNames(folder.Path()), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(delDir((folder.Path() + "\\").c_str(), 0), 1);
    EXPECT_FALSE(kstest::FolderExists(folder.Path()));
    EXPECT_EQ(delDir(nullptr, 0), 1);
}

}  // namespace
