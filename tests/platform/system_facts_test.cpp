#include "platform/folders.h"
#include "platform/os_class.h"
#include "platform/reg_key.h"
#include "platform/security.h"
#include "platform/system_version.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>

namespace {

// The versions Wine reports are checked through the export (OsClassUnderWine); these
// rows are the others, with the class bits of the export's interface.
TEST(OsClass, EveryVersionRowHasItsClass)
{
    const struct Row { DWORD platform, major, minor; const char* servicePack; DWORD expected; } rows[] = {
        {0, 3, 10, "", 0x1},      {1, 4, 3, " B", 0x2},     {1, 4, 10, nullptr, 0x4}, {1, 4, 10, "A", 0x4},
        {1, 5, 10, "xA", 0x8},    {2, 3, 51, "", 0x10000},  {2, 4, 90, "", 0x20000},  {2, 5, 3, "", 0},
        {2, 6, 3, "", 0x200000},  {2, 7, 0, "", 0},         {2, 10, 0, "", 0},        {3, 10, 0, "", 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ClassifyOsVersion(row.platform, row.major, row.minor, row.servicePack), row.expected) << &row - rows;
}

// Run once per version Wine reports (tests/CMakeLists.txt), with the class that version
// must give in KSINST_EXPECT_OS_CLASS.
TEST(OsClassUnderWine, ExportAnswersForTheReportedVersion)
{
    const char* expectedText = std::getenv("KSINST_EXPECT_OS_CLASS");
    if (!expectedText)
        GTEST_SKIP() << "no expected class for this run";
    const DWORD expected = std::strtoul(expectedText, nullptr, 0);
    kstest::ModuleUnderTest module;
    auto isCompatible = module.Require<int(WINAPI*)(DWORD)>("KSWIsCompatibleWithOS", 6);
    for (DWORD bit = 1; bit != 0; bit <<= 1)
        EXPECT_EQ(isCompatible(bit), bit == expected ? 1 : 0) << std::hex << "bit 0x" << bit;
    EXPECT_EQ(isCompatible(0xFFFFFFFF), expected ? 1 : 0);
    EXPECT_EQ(IsWindowsNT(), expected >= 0x10000u);
}

std::string RegistryDaclText(const std::string& keyName)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char* text = nullptr;
    std::string result;
    if (GetNamedSecurityInfoA(keyName.c_str(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr))
        result = text;
    LocalFree(text);
    LocalFree(descriptor);
    return result;
}

TEST(Security, GroupsAndFreeAccess)
{
    // Wine's token holds Administrators (544, which the first phase's check needs), not
    // Power Users (547); the 95/98/Me family answers true for every group.
    EXPECT_EQ(IsUserInGroup(547), !kstest::NtFamily());

    kstest::ModuleUnderTest module;
    auto setFreeAccess = module.Require<int(WINAPI*)(const char*, DWORD)>("KSWSetFreeAccess", 3);
    kstest::TestRegKey regKey("FreeAccess", HKEY_LOCAL_MACHINE);
    CVRegKey::LocalMachine.Create(regKey.Path().c_str(), KEY_ALL_ACCESS);
    const std::string keyName = "MACHINE\\" + regKey.Path(), before = RegistryDaclText(keyName);
    kstest::ScratchFolder folder("FreeAccess");
    const int expected = kstest::NtFamily() ? 1 : 0;
    EXPECT_EQ(setFreeAccess(keyName.c_str(), SE_REGISTRY_KEY), expected);
    EXPECT_EQ(RegistryDaclText(keyName), kstest::NtFamily() ? "D:(A;OICI;0x101f0000;;;WD)" : before);
    // What Wine reads back for a file is made from the Unix mode bits, not the list set.
    EXPECT_EQ(setFreeAccess(folder.MakeFile("file.txt").c_str(), SE_FILE_OBJECT), expected);
    EXPECT_EQ(setFreeAccess((folder / "missing.txt").c_str(), SE_FILE_OBJECT), 0);
    EXPECT_EQ(setFreeAccess(nullptr, SE_FILE_OBJECT), 0);
}

TEST(Folders, ReadersFallBackToTheDefault)
{
    const std::string shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    using Reader = std::string (*)(const char*, const std::string&);
    const struct { Reader reader; const CVRegKey& root; std::string path; } sources[] = {
        {GetUserShellFolder, CVRegKey::CurrentUser, shellFolders},
        {GetCommonShellFolder, CVRegKey::LocalMachine, shellFolders},
        {GetDefaultUserShellFolder, CVRegKey::Users, ".DEFAULT\\" + shellFolders},
    };
    // Named after the program: the runs under other Windows versions share these keys.
    const std::string name = "KSInstTest." + kstest::ExeTitle();
    for (const auto& source : sources) {
        SCOPED_TRACE(source.path);
        CVRegKey key = source.root.Create(source.path.c_str(), KEY_ALL_ACCESS);
        EXPECT_EQ(source.reader(name.c_str(), "C:\\default"), "C:\\default");
        key.SetString(name.c_str(), "C:\\kstest\\folder\\");
        EXPECT_EQ(source.reader(name.c_str(), "C:\\default"), "C:\\kstest\\folder");
        key.SetDWord(name.c_str(), 1);
        EXPECT_EQ(source.reader(name.c_str(), "C:\\default"), "C:\\default");
        key.DeleteValue(name.c_str());
    }
    EXPECT_EQ(GetProgramFilesFolder(), "C:\\Program Files");
}

}  // namespace
