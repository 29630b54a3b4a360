// The installation log against the pending file operations: KSWAnalyzeLog against the
// system's real pending operations, in the family the test program runs as (the test run
// starts it once as Windows 7 and once as Windows 98), and the log scan on its own.
#include "install/install_fixture.h"
#include "install/log_analysis.h"
#include "pending_lists.h"
#include "platform/system_version.h"
#include "support/restart_lists.h"

#include <gtest/gtest.h>

#include <mbctype.h>

#include <cstring>
#include <map>

namespace {

using AnalyzeFn = LONG(WINAPI*)(const char*);

std::string Lower(std::string text)
{
    CharLowerA(&text[0]);
    return text;
}

// A pending operation: target "NUL", "DIRNUL" or "{X}", source "{X}" (as Expand takes them).
struct Scheduled { const char* target; const char* source; bool replace = true; };

// The files of an installation, with long names that have short forms of their own.
class Installation {
public:
    Installation() : scratch_("analyze")
    {
        const std::string app = "Edge Case Application Folder\\";
        files_ = {{"APP", scratch_.MakeFolder("Edge Case Application Folder")},
                  {"A", scratch_.MakeFile(app + "Copied Library Alpha.dll", "alpha")},
                  {"B", scratch_.MakeFile(app + "Overwritten Library Beta.dll", "old beta")},
                  {"T", scratch_.MakeFile(app + "Replacement Temporary Beta.tmp", "new beta")},
                  {"C", scratch_.MakeFile(app + "Nested Sub Folder\\Nested Library Gamma.dll")},
                  {"O", scratch_.MakeFile("Other Place Folder\\Copied Library Alpha.dll")},
                  {"K", scratch_.MakeFile(app + "Kept Deletion Document.txt")},
                  {"M", scratch_ / (app + "Missing Library.dll")}};
    }

    // "{X}" the long path of X, "{x}" the same in lower case, "{X~}" its short path and
    // "{X_}" that in lower case (as PendingOperations gives paths).
    std::string Expand(std::string text) const
    {
        for (const auto& file : files_) {
            const std::string shortPath = kstest::ShortPath(file.second);
            const std::pair<std::string, std::string> forms[] = {
                {"{" + file.first + "~}", shortPath}, {"{" + file.first + "_}", Lower(shortPath)},
                {"{" + file.first + "}", file.second}, {"{" + Lower(file.first) + "}", Lower(file.second)}};
            for (const auto& form : forms) {
                for (size_t at = text.find(form.first); at != std::string::npos; at = text.find(form.first, at))
                    text.replace(at, form.first.size(), form.second);
            }
        }
        return text;
    }
    std::vector<std::string> ExpandAll(std::vector<std::string> texts, const std::string& prefix = "") const
    {
        for (std::string& text : texts)
            text = prefix + Expand(text);
        return texts;
    }
    void Schedule(const std::vector<Scheduled>& operations) const
    {
        for (const Scheduled& s : operations)
            kstest::SchedulePending(Expand(s.target), Expand(s.source), s.replace);
    }
    std::string WriteLog(const std::string& text) const { return scratch_.MakeFile("Installation Log.txt", Expand(text)); }

private:
    kstest::ScratchFolder scratch_;
    std::map<std::string, std::string> files_;
};

LONG Analyze(const kstest::InstalledModule& module, const std::string& log)
{
    return module.Export<AnalyzeFn>("KSWAnalyzeLog")(log.c_str());
}

TEST(AnalyzeLog, EdgeCasesOfTheLogAndTheList)
{
    ASSERT_EQ(kstest::Environment("KSINST_EXPECT_FAMILY"), IsWindowsNT() ? "nt" : "9x") << "the family the test run asks for";

    // The pending operations, the result, the operations that remain and the export's
    // own lines (after "INFO KSWAnalyzeLog: ").
    struct Case { const char* name; const char* log; std::vector<Scheduled> pending; LONG result;
                  std::vector<std::string> remaining; std::vector<std::string> lines; };
    const std::string found = "Found a match for ";
    const Case cases[] = {
        {"copy with further text", "File Copy: {A}|Main group, 5 files\r\n", {{"NUL", "{A}"}}, 0, {},
         {found + "File Copy: ", "Deleting NUL and {A~}"}},
        {"overwrite in use", "File Overwrite: {B}\r\n", {{"{B}", "{T}"}}, 1, {"MOVE {T_} TO {B_}"},
         {found + "File Overwrite: ", "We should restart because of {B~} and {T~}"}},
        {"mid-line, one line without line end", "12:00:01 setup: FILE OVERWRITE: {b}", {{"{B}", "{T}"}}, 1,
         {"MOVE {T_} TO {B_}"}, {found + "File Overwrite: ", "We should restart because of {B~} and {T~}"}},
        {"folder removal", " \t file copy: {c}  \t\n", {{"DIRNUL", "{APP}"}}, 0, {},
         {found + "File Copy: ", "Deleting DIRNUL and {APP~}"}},
        {"same name elsewhere, copied", "File Copy: {A}\n", {{"NUL", "{O}"}}, 1, {"DEL {O_}"},
         {found + "File Copy: ", "We should restart because we want {O~} to be deleted"}},
        {"same name elsewhere, overwritten", "File Overwrite: {A}\n", {{"NUL", "{O}"}}, 0, {"DEL {O_}"},
         {found + "File Overwrite: "}},
        {"copied onto a replacement", "File Copy: {B}\n", {{"{B}", "{T}", false}}, 0, {},
         {found + "File Copy: ", "Deleting {B~} and {T~}"}},
        {"missing file and a folder", "File Copy: {M}\nFile Copy: {APP}\n", {{"NUL", "{A}"}}, 0, {"DEL {A_}"},
         {found + "File Copy: ", found + "File Copy: "}},
        {"no prefix", "File Cop\nFile Copy:{A}\nFileCopy: {A}\nFile  Copy: {A}\nFile Copy", {{"NUL", "{A}"}}, 0,
         {"DEL {A_}"}, {}},
        {"the scan ends with the list", "File Copy: {A}\nFile Copy: {A}\n", {{"NUL", "{A}"}}, 0, {},
         {found + "File Copy: ", "Deleting NUL and {A~}"}},
        {"no usable pair", "File Copy: {A}\n", {{"NUL", "{M}"}}, 0, {"DEL {M_}"}, {}},
        {"several pairs and lines",
         "File Overwrite: {B}\r\nFile Copy: {A}\r\n",
         {{"NUL", "{O}"}, {"{B}", "{T}"}, {"NUL", "{A}"}, {"DIRNUL", "{APP}"}, {"NUL", "{K}"}},
         1,
         {"DEL {O_}", "MOVE {T_} TO {B_}", "DEL {K_}"},
         {found + "File Overwrite: ", "We should restart because of {B~} and {T~}", "Deleting DIRNUL and {APP~}",
          found + "File Copy: ", "We should restart because we want {O~} to be deleted", "Deleting NUL and {A~}"}},
    };
    kstest::PendingListsTakeover takeover;
    Installation installation;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kstest::PendingListsTakeover::Clear();
        installation.Schedule(c.pending);
        const std::string log = installation.WriteLog(c.log);
        kstest::InstalledModule module("analyze_log", "");

        EXPECT_EQ(Analyze(module, log), c.result);

        EXPECT_EQ(kstest::PendingOperations(), installation.ExpandAll(c.remaining));
        EXPECT_EQ(module.LogEntriesFrom("KSWAnalyzeLog"), installation.ExpandAll(c.lines, "INFO KSWAnalyzeLog: "));
        if (kstest::NtFamily() && !c.pending.empty()) {
            // Rewritten with short paths, or left exactly as it was.
            EXPECT_EQ(kstest::PendingListHoldsText(installation.Expand(c.pending[0].source)),
                      c.remaining.size() == c.pending.size());
        }
        EXPECT_TRUE(module.LogEntriesFrom("KSWise: SetUninstallStrings").empty());
    }
}

TEST(AnalyzeLog, ReadingThePendingListLogsEachPair)
{
    kstest::PendingListsTakeover takeover;
    Installation installation;
    const std::string log = installation.WriteLog("File Copy: {M}\r\n");
    installation.Schedule({{"NUL", "{M}"}, {"{B}", "{T}"}, {"{M}", "{A}", false}, {"DIRNUL", "{APP}"}});
    kstest::InstalledModule module("pending_read_log", "");
    EXPECT_EQ(Analyze(module, log), 0);
    // The skipped texts as the list holds them; the kept ones as the working list does.
    const bool nt = kstest::NtFamily();
    const std::string held = nt ? "\\??\\" : "";
    EXPECT_EQ(module.LogEntriesFrom("KSWise"),
              installation.ExpandAll({"skipping dst - " + std::string(nt ? "" : "NUL"), "skipping src - " + held + "{M}",
                                   "dst - {B~}", "src - {T~}", "skipping dst - " + held + "{M}",
                                   "skipping src - " + std::string(nt ? "\\??\\{A}" : "{A~}"), "dst - DIRNUL",
                                   "src - {APP~}"},
                                  "INFO KSWise: ProcessUninstallStrings() "));
}

TEST(AnalyzeLog, UnusableLogOrNoPendingOperations)
{
    kstest::PendingListsTakeover takeover;
    Installation installation;
    installation.Schedule({{"NUL", "{A}"}});
    kstest::InstalledModule module("analyze_unusable_log", "");
    EXPECT_EQ(Analyze(module, installation.Expand("{M}")), -1);
    EXPECT_EQ(module.Export<AnalyzeFn>("KSWAnalyzeLog")(nullptr), -1);
    EXPECT_EQ(Analyze(module, installation.WriteLog("")), -1);
    EXPECT_EQ(Analyze(module, installation.Expand("{APP}")), -1) << "a folder is no log";
    const std::string log = installation.WriteLog("File Copy: {A}\r\n");
    {
        // A log another program holds open cannot be read without sharing.
        kstest::FileHolder holder(log, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(holder.Holding());
        EXPECT_EQ(Analyze(module, log), -1);
        EXPECT_EQ(kstest::PendingOperations().size(), 1u);
    }
    kstest::PendingListsTakeover::Clear();
    EXPECT_EQ(Analyze(module, log), -1);
    std::vector<std::string> expected = {"WARNING KSWAnalyzeLog: no log file", "WARNING KSWAnalyzeLog: no log file",
                                         "INFO KSWAnalyzeLog: file is empty", "WARNING KSWAnalyzeLog: no log file",
                                         "WARNING KSWAnalyzeLog: no log file",
                                         "INFO KSWise: ProcessUninstallStrings() Buffer is empty"};
    if (!kstest::NtFamily()) {
        ASSERT_TRUE(DeleteFileA((kstest::WindowsFolder() + "\\wininit.ini").c_str()));
        EXPECT_EQ(Analyze(module, log), -1);
        expected.push_back("INFO KSWise: GetUninstallStrings() Wininit.ini doesn't exist");
    }
    EXPECT_EQ(module.LogEntries(), expected);
}

// After the rewrite, a restart carries out what was kept and spares the file that was
// just installed.
TEST(AnalyzeLog, SimulatedRestartKeepsTheInstalledFile)
{
    kstest::PendingListsTakeover takeover;
    Installation installation;
    installation.Schedule({{"NUL", "{A}"}, {"NUL", "{K}"}, {"{B}", "{T}"}});
    {
        kstest::InstalledModule module("analyze_restart_log", "");
        EXPECT_EQ(Analyze(module, installation.WriteLog("File Copy: {A}\r\nFile Overwrite: {B}\r\n")), 1);
    }
    EXPECT_EQ(kstest::PendingOperations(), installation.ExpandAll({"DEL {K_}", "MOVE {T_} TO {B_}"}));
    ASSERT_TRUE(kstest::SimulateRestart());
    EXPECT_EQ(kstest::ReadFile(installation.Expand("{A}")), "alpha") << "the installed file survives";
    EXPECT_FALSE(kstest::FileExists(installation.Expand("{K}"))) << "the kept deletion was carried out";
    EXPECT_EQ(kstest::ReadFile(installation.Expand("{B}")), "new beta") << "the kept replacement was carried out";
    EXPECT_FALSE(kstest::FileExists(installation.Expand("{T}")));
    EXPECT_TRUE(kstest::PendingOperations().empty());
}

// The log scan on its own, with a file system of names only: the order in which the
// indexed walk applies its rules, and the scan's bounds.

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
    EXPECT_TRUE(doubleByte || kstest::Environment("KSINST_LOCALE").empty()) << "the Japanese run has code page 932";
    // The log and whether the pair is removed on the Japanese system.
    const struct { const char* log; bool inJapanese; } cases[] = {
        {"\x83" "File Copy: C:\\App\\a.dll\n", false},  // 0x83 0x46 is one character
        {"\x83\x83" "File Copy: C:\\App\\a.dll\n", true},
        {"\x83\x40 File Copy: C:\\App\\a.dll", true},
        {"\x83", false},
    };
    for (const auto& c : cases) {
        // Elsewhere the pair is removed whenever the log holds the prefix.
        EXPECT_EQ(Scan(c.log, {"NUL", "C:\\APP\\A.DLL"}).result.listChanged, doubleByte ? c.inJapanese : strlen(c.log) > 1)
            << c.log;
    }
}

}  // namespace
