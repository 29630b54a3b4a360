// KSWRun with the test helper as the command, and KSWGetLangID under the locale of the
// run (KSINST_EXPECT_LANGID: 0x11 Japanese, 0x04 Chinese; English when unset).
#include "install/install_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace {

using RunExport = DWORD(WINAPI*)(const char*, LONG);
using GetLangID = WORD(WINAPI*)();

TEST(RunCommand, ExitCodesWaitingOrNotAndLaunchErrors)
{
    kstest::InstalledModule module("run", "");
    const RunExport run = module.Export<RunExport>("KSWRun");
    SetEnvironmentVariableA("KSTEST_RUN_OUT", module.Folder().Path().c_str());
    // The helper recording its command line into `out` (given through an environment
    // reference, which the module expands) and ending with `code`; or that as expanded.
    const auto command = [&module](const std::string& out, const std::string& code, bool expanded = false) {
        return "\"" + kstest::HelperPath() + "\" record \"" + (expanded ? module.Folder() / out : "%KSTEST_RUN_OUT%\\" + out) +
               "\" " + code;
    };
    const struct { const char* code; DWORD expected; const char* logged; } rows[] = {
        {"3010", 3010, "3010"}, {"259", 259, "259"}, {"0xFFFFFFFF", 0xFFFFFFFF, "-1"}};
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        const std::string out = std::string("exit") + row.code + ".txt";
        EXPECT_EQ(run(command(out, row.code).c_str(), 1), row.expected);
        EXPECT_EQ(kstest::ReadFile(module.Folder() / out), command(out, row.code, true)) << "it ended before the call returned";
        lines.push_back("SUCCESS KSWRun - launched process " + command(out, row.code, true) +
                        " (ID=N). Exit code = " + row.logged);
    }

    const DWORD start = GetTickCount();
    EXPECT_EQ(run(command("late.txt", "7 1500").c_str(), 0), 0u);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_FALSE(kstest::FileExists(module.Folder() / "late.txt")) << "still running";
    EXPECT_EQ(kstest::WaitForFile(module.Folder() / "late.txt"), command("late.txt", "7 1500", true));
    lines.push_back("SUCCESS KSWRun - launched process " + command("late.txt", "7 1500", true) + " (ID=N)");

    kstest::WriteFile(module.Folder() / "notpe.exe", "not a program");
    const struct { const char* command; DWORD expected; } failing[] = {
        {"%KSTEST_RUN_OUT%\\missing.exe /a", ERROR_FILE_NOT_FOUND}, {"\"%KSTEST_RUN_OUT%\\notpe.exe\"", ERROR_BAD_EXE_FORMAT}};
    for (const auto& row : failing) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(run(row.command, 1), row.expected);
        EXPECT_EQ(run(row.command, 0), row.expected);
        // The line names the command as the script gave it, unexpanded.
        lines.insert(lines.end(), 2, std::string("ERROR KSWRun - cannot run process ") + row.command + ". Error = " +
                                         std::to_string(row.expected));
    }
    std::vector<std::string> entries = module.LogEntries();
    for (std::string& entry : entries)
        entry = std::regex_replace(entry, std::regex(R"(\(ID=\d+\))"), "(ID=N)");
    EXPECT_EQ(entries, lines);
    EXPECT_NE(run(nullptr, 1), 0u) << "no command is no program";
    SetEnvironmentVariableA("KSTEST_RUN_OUT", nullptr);
}

TEST(Language, LowByteOfTheSystemLanguage)
{
    const char* expected = getenv("KSINST_EXPECT_LANGID");
    kstest::InstalledModule module("lang", "");
    EXPECT_EQ(module.Export<GetLangID>("KSWGetLangID")(), static_cast<WORD>(expected ? strtoul(expected, nullptr, 0) : 0x09));
}

}  // namespace
