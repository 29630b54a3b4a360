// The log scan on its own, with a file system of names only: the order in which the
// indexed walk applies its rules, and the scan's bounds.
#include "install/log_analysis.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <mbctype.h>

#include <cstdlib>
#include <cstring>

namespace {

// Only "C:\App\a.dll" is installed: it answers with its upper-case form (as short paths
// are given); "C:\NEW.DLL" exists besides.
struct FakeProbe : InstalledFileProbe {
    int asked = 0;
    std::string InstalledFile(const std::string& path) override
    {
        ++asked;
        return lstrcmpiA(path.c_str(), "C:\\App\\a.dll") == 0 ? "C:\\APP\\A.DLL" : "";
    }
    bool Exists(const std::string& path) override { return lstrcmpiA(path.c_str(), "C:\\NEW.DLL") == 0; }
};

struct Outcome { LogAnalysisResult result; std::vector<std::string> list, lines; int asked; };

// Scans `log`, copied to `at` first when that is given.
Outcome Scan(const std::string& log, const std::vector<std::string>& list, char* at = nullptr)
{
    Outcome out = {{}, list, {}, 0};
    FakeProbe probe;
    const char* bytes = at ? static_cast<const char*>(memcpy(at, log.data(), log.size())) : log.data();
    out.result = AnalyzeInstallLog(bytes, log.size(), out.list, probe,
                                   [&out](const std::string& line) { out.lines.push_back(line); });
    out.asked = probe.asked;
    return out;
}

TEST(LogScan, RulesApplyInListOrderOncePerPath)
{
    const std::string found = "KSWAnalyzeLog: Found a match for File Copy: ";
    // Every kind of pair for one copied file, an unrelated pair and an odd text at the end;
    // the same path again is looked up once.
    Outcome out = Scan("File Copy: C:\\App\\a.dll\nFILE COPY: C:\\App\\a.dll | x\r\n",
                       {"C:\\APP\\A.DLL", "C:\\NEW.DLL", "NUL", "D:\\X\\a.DLL", "DIRNUL", "C:\\APP", "NUL", "C:\\B.DLL",
                        "nul", "c:\\app\\a.dll", "odd"});
    EXPECT_TRUE(out.result.restartNeeded && out.result.listChanged);
    EXPECT_EQ(out.list, (std::vector<std::string>{"NUL", "D:\\X\\a.DLL", "NUL", "C:\\B.DLL", "odd"}));
    EXPECT_EQ(out.lines, (std::vector<std::string>{
                             found, "KSWAnalyzeLog: Deleting C:\\APP\\A.DLL and C:\\NEW.DLL",
                             "KSWAnalyzeLog: We should restart because we want D:\\X\\a.DLL to be deleted",
                             "KSWAnalyzeLog: Deleting DIRNUL and C:\\APP", "KSWAnalyzeLog: Deleting nul and c:\\app\\a.dll",
                             found, "KSWAnalyzeLog: We should restart because we want D:\\X\\a.DLL to be deleted"}));
    EXPECT_EQ(out.asked, 1);

    // Without a line end the scan goes on inside the line and finds a second prefix there.
    out = Scan("12:00 File Copy: C:\\gone.dll File Copy: C:\\App\\a.dll", {"NUL", "C:\\APP\\A.DLL"});
    EXPECT_EQ(out.lines, (std::vector<std::string>{found, found, "KSWAnalyzeLog: Deleting NUL and C:\\APP\\A.DLL"}));
    EXPECT_TRUE(out.list.empty());
    out = Scan("12:00 File Copy: C:\\gone.dll\nx File Copy: C:\\App\\a.dll\n", {"NUL", "C:\\APP\\A.DLL"});
    EXPECT_EQ(out.lines.size(), 3u);
    out = Scan("File Copy: C:\\gone.dll File Copy: C:\\App\\a.dll\n", {"NUL", "C:\\APP\\A.DLL"});
    EXPECT_EQ(out.lines, std::vector<std::string>{found}) << "the line feed ends the line's scan";
    EXPECT_FALSE(out.result.listChanged);
}

// Logs that end on the last byte of a page with no access behind it: the scan reads
// nothing beyond the log, whatever the bytes.
TEST(LogScan, NeverReadsPastTheLog)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    const std::string endings[] = {"", "F", "File Copy:", "File Copy: ", "File Copy: C:\\App\\a.dll",
                                   "file overwrite: C:\\App\\a.dll |", "File Copy: C:\\App\\a.dll\r", "\x81",
                                   "x\x81", "File Copy: \x81", " \t\r\n", "File Overwrite"};
    for (const std::string& log : endings) {
        const Outcome out = Scan(log, {"NUL", "C:\\APP\\A.DLL", "C:\\APP\\A.DLL", "C:\\NEW.DLL"}, pages + page - log.size());
        EXPECT_TRUE(!log.empty() || !(out.result.restartNeeded || out.result.listChanged));
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

// On a double-byte system (the Japanese run) the second byte of a character is never
// the start of a prefix, even when it is an "F"; elsewhere the same bytes hold one.
TEST(LogScan, SecondBytesOfCharactersStartNoPrefix)
{
    const bool doubleByte = _getmbcp() == 932;
    EXPECT_TRUE(doubleByte || getenv("KSINST_LOCALE") == nullptr) << "the Japanese run has code page 932";
    // The log and whether the pair is removed on the Japanese system.
    const struct { const char* log; bool inJapanese; } cases[] = {
        {"\x83" "File Copy: C:\\App\\a.dll\n", false},  // 0x83 0x46 is one character
        {"\x83\x83" "File Copy: C:\\App\\a.dll\n", true},
        {"\x83\x40 File Copy: C:\\App\\a.dll", true},
        {"\x83", false},
    };
    for (const auto& c : cases) {
        const bool removedAnywhere = strlen(c.log) > 1;
        EXPECT_EQ(Scan(c.log, {"NUL", "C:\\APP\\A.DLL"}).result.listChanged, doubleByte ? c.inJapanese : removedAnywhere)
            << c.log;
    }
}

}  // namespace
