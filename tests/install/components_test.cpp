#include "install/component_release.h"
#include "install/downloader.h"
#include "install/install_fixture.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

namespace {

constexpr char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr DWORD kNoCount = 0xDEADBEEF;

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
        EXPECT_EQ(kstest::GetDWordValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), kNoCount), c.after);
        EXPECT_TRUE(kstest::FileExists(present)) << "releasing never deletes the file";
        kstest::DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
    }
}

TEST(Components, UnregisterComFileByKind)
{
    kstest::ScratchFolder scratch("unregister");
    const std::string clsid = "{6B5D1B9E-2C4A-4F4E-9B7A-0D3C5E7F9A33}";
    const std::string classKey = "CLSID\\" + clsid;
    SetEnvironmentVariableA("KSTEST_COM_CLSID", clsid.c_str());
    // An executable server, under a long name that needs its short form on the command line.
    const std::string server = scratch / "Component Server Program.EXE";
    ASSERT_TRUE(CopyFileA(kstest::HelperPath().c_str(), server.c_str(), FALSE));
    const std::string library = scratch / "Component Library.dll";
    ASSERT_TRUE(CopyFileA((kstest::ExeFolder() + "\\kstest_com_2.0.0.1.dll").c_str(), library.c_str(), FALSE));
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
