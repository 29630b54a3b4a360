// KSWAnalyzeLog against the system's real pending operations, in the family the test
// program runs as (the test run starts it once as Windows 7 and once as Windows 98).
#include "install/install_fixture.h"
#include "pending_lists.h"
#include "platform/system_version.h"
#include "support/test_env.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using AnalyzeFn = LONG(WINAPI*)(const char*);

// The files of an installation, with long names that have short forms of their own.
class Installation {
public:
    Installation()
        : scratch_("analyze"),
          app_(scratch_.MakeFolder("Edge Case Application Folder")),
          files_{{"APP", app_},
                 {"A", scratch_.MakeFile("Edge Case Application Folder\\Copied Library Alpha.dll", "alpha")},
                 {"B", scratch_.MakeFile("Edge Case Application Folder\\Overwritten Library Beta.dll", "old beta")},
                 {"T", scratch_.MakeFile("Edge Case Application Folder\\Replacement Temporary Beta.tmp", "new beta")},
                 {"C", scratch_.MakeFile("Edge Case Application Folder\\Nested Sub Folder\\Nested Library Gamma.dll")},
                 {"O", scratch_.MakeFile("Other Place Folder\\Copied Library Alpha.dll")},
                 {"K", scratch_.MakeFile("Edge Case Application Folder\\Kept Deletion Document.txt")},
                 {"M", scratch_ / "Edge Case Application Folder\\Missing Library.dll"}}
    {
    }

    // "{X}" the long path of X, "{x}" the same in lower case, "{X~}" its short path.
    std::string Expand(std::string text) const
    {
        for (const auto& file : files_) {
            std::string lower = file.second;
            CharLowerA(&lower[0]);
            const std::string name = file.first;
            std::string lowerName = name;
            CharLowerA(&lowerName[0]);
            Replace(text, "{" + name + "~}", kstest::ShortPath(file.second));
            Replace(text, "{" + name + "}", file.second);
            Replace(text, "{" + lowerName + "}", lower);
        }
        return text;
    }
    std::vector<std::string> Expand(const std::vector<std::string>& texts) const
    {
        std::vector<std::string> expanded;
        for (const std::string& text : texts)
            expanded.push_back(Expand(text));
        return expanded;
    }
    // "DEL {X}" and "MOVE {X} TO {Y}" as PendingOperations gives them.
    std::vector<std::string> Operations(const std::vector<std::string>& texts) const
    {
        std::vector<std::string> operations;
        for (const std::string& text : texts) {
            std::string operation = text;
            for (const auto& file : files_) {
                std::string shortPath = kstest::ShortPath(file.second);
                CharLowerA(&shortPath[0]);
                Replace(operation, "{" + file.first + "}", shortPath);
            }
            operations.push_back(operation);
        }
        return operations;
    }
    std::string Path(const std::string& name) const { return files_.at(name); }
    std::string WriteLog(const std::string& text) const
    {
        const std::string path = scratch_ / "Installation Log.txt";
        kstest::WriteFile(path, text);
        return path;
    }
    const kstest::ScratchFolder& Scratch() const { return scratch_; }

private:
    static void Replace(std::string& text, const std::string& find, const std::string& with)
    {
        for (size_t at = text.find(find); at != std::string::npos; at = text.find(find, at + with.size()))
            text.replace(at, find.size(), with);
    }

    kstest::ScratchFolder scratch_;
    std::string app_;
    std::map<std::string, std::string> files_;
};

TEST(AnalyzeLog, RunsInTheFamilyTheTestRunAsksFor)
{
    char family[8] = {};
    GetEnvironmentVariableA("KSINST_EXPECT_FAMILY", family, sizeof(family));
    EXPECT_STREQ(family, IsWindowsNT() ? "nt" : "9x");
}

struct Scheduled {
    const char* target;  // "NUL", "DIRNUL" or "{X}"
    const char* source;
    bool replace;
};

TEST(AnalyzeLog, EdgeCasesOfTheLogAndTheList)
{
    struct Case {
        const char* name;
        const char* log;
        std::vector<Scheduled> pending;
        LONG result;
        std::vector<std::string> remaining;
        std::vector<std::string> lines;  // the export's own, after "INFO KSWAnalyzeLog: "
    };
    const std::string found = "Found a match for ";
    const Case cases[] = {
        {"copy with further text", "File Copy: {A}|Main group, 5 files\r\n", {{"NUL", "{A}", true}}, 0, {},
         {found + "File Copy: ", "Deleting NUL and {A~}"}},
        {"overwrite in use", "File Overwrite: {B}\r\n", {{"{B}", "{T}", true}}, 1, {"MOVE {T} TO {B}"},
         {found + "File Overwrite: ", "We should restart because of {B~} and {T~}"}},
        {"lower case after blanks", " \t file copy: {a}  \t\r\n", {{"NUL", "{A}", true}}, 0, {},
         {found + "File Copy: ", "Deleting NUL and {A~}"}},
        {"mid-line, one line without line end", "12:00:01 setup: FILE OVERWRITE: {b}", {{"{B}", "{T}", true}}, 1,
         {"MOVE {T} TO {B}"}, {found + "File Overwrite: ", "We should restart because of {B~} and {T~}"}},
        {"folder removal", "File Copy: {C}\n", {{"DIRNUL", "{APP}", true}}, 0, {},
         {found + "File Copy: ", "Deleting DIRNUL and {APP~}"}},
        {"same name elsewhere, copied", "File Copy: {A}\n", {{"NUL", "{O}", true}}, 1, {"DEL {O}"},
         {found + "File Copy: ", "We should restart because we want {O~} to be deleted"}},
        {"same name elsewhere, overwritten", "File Overwrite: {A}\n", {{"NUL", "{O}", true}}, 0, {"DEL {O}"},
         {found + "File Overwrite: "}},
        {"copied onto a replacement", "File Copy: {B}\n", {{"{B}", "{T}", false}}, 0, {},
         {found + "File Copy: ", "Deleting {B~} and {T~}"}},
        {"missing file and a folder", "File Copy: {M}\nFile Copy: {APP}\n", {{"NUL", "{A}", true}}, 0, {"DEL {A}"},
         {found + "File Copy: ", found + "File Copy: "}},
        {"no prefix", "File Cop\nFile Copy:{A}\nFileCopy: {A}\nFile  Copy: {A}\nFile Copy", {{"NUL", "{A}", true}}, 0,
         {"DEL {A}"}, {}},
        {"the scan ends with the list", "File Copy: {A}\nFile Copy: {A}\n", {{"NUL", "{A}", true}}, 0, {},
         {found + "File Copy: ", "Deleting NUL and {A~}"}},
        {"no usable pair", "File Copy: {A}\n", {{"NUL", "{M}", true}}, 0, {"DEL {M}"}, {}},
        {"several pairs and lines",
         "File Overwrite: {B}\r\nFile Copy: {A}\r\n",
         {{"NUL", "{O}", true}, {"{B}", "{T}", true}, {"NUL", "{A}", true}, {"DIRNUL", "{APP}", true}, {"NUL", "{K}", true}},
         1,
         {"DEL {O}", "MOVE {T} TO {B}", "DEL {K}"},
         {found + "File Overwrite: ", "We should restart because of {B~} and {T~}", "Deleting DIRNUL and {APP~}",
          found + "File Copy: ", "We should restart because we want {O~} to be deleted", "Deleting NUL and {A~}"}},
    };
    kstest::PendingListsTakeover takeover;
    Installation installation;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        kstest::PendingListsTakeover::Clear();
        for (const Scheduled& s : c.pending)
            kstest::SchedulePending(installation.Expand(s.target), installation.Expand(s.source), s.replace);
        const std::vector<std::string> before = kstest::PendingOperations();
        const std::string log = installation.WriteLog(installation.Expand(c.log));
        kstest::InstalledModule module("analyze_log", "");

        EXPECT_EQ(module.Export<AnalyzeFn>("KSWAnalyzeLog")(log.c_str()), c.result);

        const bool rewritten = c.remaining.size() < before.size();
        EXPECT_EQ(kstest::PendingOperations(), rewritten ? installation.Operations(c.remaining) : before);
        std::vector<std::string> lines;
        for (const std::string& line : installation.Expand(c.lines))
            lines.push_back("INFO KSWAnalyzeLog: " + line);
        EXPECT_EQ(module.LogEntriesFrom("KSWAnalyzeLog"), lines);
        if (IsWindowsNT() && !c.pending.empty()) {
            // Rewritten with short paths, or left exactly as it was.
            const std::string source = installation.Expand(c.pending[0].source);
            EXPECT_EQ(kstest::PendingListHoldsText(source), !rewritten);
        }
        EXPECT_TRUE(module.LogEntriesFrom("KSWise: SetUninstallStrings").empty());
    }
}

TEST(AnalyzeLog, ReadingThePendingListLogsEachPair)
{
    kstest::PendingListsTakeover takeover;
    Installation installation;
    const std::string log = installation.WriteLog(installation.Expand("File Copy: {M}\r\n"));
    kstest::SchedulePending("NUL", installation.Path("M"));
    kstest::SchedulePending(installation.Path("B"), installation.Path("T"));
    kstest::SchedulePending(installation.Path("M"), installation.Path("A"), false);
    kstest::SchedulePending("DIRNUL", installation.Path("APP"));
    kstest::InstalledModule module("pending_read_log", "");
    EXPECT_EQ(module.Export<AnalyzeFn>("KSWAnalyzeLog")(log.c_str()), 0);
    const std::string prefix = "INFO KSWise: ProcessUninstallStrings() ";
    // The skipped texts as the list holds them; the kept ones as the working list does.
    const std::vector<std::string> expected =
        IsWindowsNT()
            ? installation.Expand(std::vector<std::string>{
                  prefix + "skipping dst - ", prefix + "skipping src - \\??\\{M}", prefix + "dst - {B~}",
                  prefix + "src - {T~}", prefix + "skipping dst - \\??\\{M}", prefix + "skipping src - \\??\\{A}",
                  prefix + "dst - DIRNUL", prefix + "src - {APP~}"})
            : installation.Expand(std::vector<std::string>{
                  prefix + "skipping dst - NUL", prefix + "skipping src - {M}", prefix + "dst - {B~}",
                  prefix + "src - {T~}", prefix + "skipping dst - {M}", prefix + "skipping src - {A~}",
                  prefix + "dst - DIRNUL", prefix + "src - {APP~}"});
    EXPECT_EQ(module.LogEntriesFrom("KSWise"), expected);
}

TEST(AnalyzeLog, UnusableLogOrNoPendingOperations)
{
    kstest::PendingListsTakeover takeover;
    Installation installation;
    const auto analyze = [](kstest::InstalledModule& module, const std::string& path) {
        return module.Export<AnalyzeFn>("KSWAnalyzeLog")(path.c_str());
    };
    kstest::SchedulePending("NUL", installation.Path("A"));
    {
        kstest::InstalledModule module("analyze_unusable_log", "");
        EXPECT_EQ(analyze(module, installation.Scratch() / "no such log.txt"), -1);
        EXPECT_EQ(module.Export<AnalyzeFn>("KSWAnalyzeLog")(nullptr), -1);
        EXPECT_EQ(analyze(module, installation.WriteLog("")), -1);
        EXPECT_EQ(analyze(module, installation.Scratch().Path()), -1) << "a folder is no log";
        EXPECT_EQ(module.LogEntries(), (std::vector<std::string>{
                                        "WARNING KSWAnalyzeLog: no log file", "WARNING KSWAnalyzeLog: no log file",
                                        "INFO KSWAnalyzeLog: file is empty", "WARNING KSWAnalyzeLog: no log file"}));
    }
    {
        // A log another program holds open cannot be read without sharing.
        const std::string log = installation.WriteLog(installation.Expand("File Copy: {A}\r\n"));
        kstest::FileHolder holder(log, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(holder.Holding());
        kstest::InstalledModule module("analyze_held_log", "");
        EXPECT_EQ(analyze(module, log), -1);
        EXPECT_EQ(kstest::PendingOperations().size(), 1u);
    }
    const std::string log = installation.WriteLog(installation.Expand("File Copy: {A}\r\n"));
    kstest::PendingListsTakeover::Clear();
    {
        kstest::InstalledModule module("analyze_nothing_log", "");
        EXPECT_EQ(analyze(module, log), -1);
        EXPECT_EQ(module.LogEntries(),
                  (std::vector<std::string>{"INFO KSWise: ProcessUninstallStrings() Buffer is empty"}));
    }
    if (!IsWindowsNT()) {
        ASSERT_TRUE(DeleteFileA((kstest::WindowsFolder() + "\\wininit.ini").c_str()));
        kstest::InstalledModule module("analyze_no_wininit_log", "");
        EXPECT_EQ(analyze(module, log), -1);
        EXPECT_EQ(module.LogEntries(),
                  (std::vector<std::string>{"INFO KSWise: GetUninstallStrings() Wininit.ini doesn't exist"}));
    }
}

// Random bytes, and every cut of a real log, keep the export to its results.
TEST(AnalyzeLog, RandomAndTruncatedLogs)
{
    kstest::PendingListsTakeover takeover;
    Installation installation;
    kstest::InstalledModule module("analyze_random_log", "");
    const auto analyze = module.Export<AnalyzeFn>("KSWAnalyzeLog");
    const std::string real = installation.Expand("File Overwrite: {B}\r\nfile copy: {A}|x\r\n");
    const char* pieces[] = {"File Copy: ", "File Overwrite: ", "FILE COPY:", "|", "\r\n", "\n", "\t", " ", "\x81",
                            "\x81\\", "\x82" "F", "C:\\"};
    unsigned seed = 12345;
    const auto next = [&seed](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (int round = 0; round < 120; ++round) {
        std::string bytes;
        if (round < 60) {
            bytes = real.substr(0, real.size() * round / 60 + 1);
        } else {
            const unsigned count = next(40);
            for (unsigned i = 0; i < count; ++i)
                bytes += next(3) ? std::string(pieces[next(12)]) : std::string(1, static_cast<char>(next(256)));
        }
        if (kstest::PendingOperations().empty()) {
            kstest::SchedulePending("NUL", installation.Path("A"));
            kstest::SchedulePending(installation.Path("B"), installation.Path("T"));
        }
        const LONG result = analyze(installation.WriteLog(bytes).c_str());
        EXPECT_TRUE(result == 0 || result == 1 || (bytes.empty() && result == -1)) << round << ": " << result;
    }
}

// After the rewrite, a restart carries out what was kept and spares the file that was
// just installed.
TEST(AnalyzeLog, SimulatedRestartKeepsTheInstalledFile)
{
    kstest::PendingListsTakeover takeover;
    Installation installation;
    kstest::SchedulePending("NUL", installation.Path("A"));
    kstest::SchedulePending("NUL", installation.Path("K"));
    kstest::SchedulePending(installation.Path("B"), installation.Path("T"));
    const std::string log =
        installation.WriteLog(installation.Expand("File Copy: {A}\r\nFile Overwrite: {B}\r\n"));
    {
        kstest::InstalledModule module("analyze_restart_log", "");
        EXPECT_EQ(module.Export<AnalyzeFn>("KSWAnalyzeLog")(log.c_str()), 1);
    }
    EXPECT_EQ(kstest::PendingOperations(), installation.Operations({"DEL {K}", "MOVE {T} TO {B}"}));
    ASSERT_TRUE(kstest::SimulateRestart());
    EXPECT_EQ(kstest::ReadFile(installation.Path("A")), "alpha") << "the installed file survives";
    EXPECT_FALSE(kstest::FileExists(installation.Path("K"))) << "the kept deletion was carried out";
    EXPECT_EQ(kstest::ReadFile(installation.Path("B")), "new beta") << "the kept replacement was carried out";
    EXPECT_FALSE(kstest::FileExists(installation.Path("T")));
    EXPECT_TRUE(kstest::PendingOperations().empty());
}

}  // namespace
