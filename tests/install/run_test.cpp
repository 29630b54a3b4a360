// KSWRun with the test helper as the command, and KSWGetLangID under the locale of the
// run (KSINST_EXPECT_LANGID: 0x11 Japanese, 0x04 Chinese; English when unset).
#include "install/install_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace {

using RunExport = DWORD(WINAPI*)(const char*, LONG);
using GetLangID = WORD(WINAPI*)();

// The log line as a pattern: `literal` exactly, then `tail`.
std::regex Pattern(const std::string& literal, const char* tail)
{
    return std::regex(std::regex_replace(literal, std::regex(R"([\\^$.|?*+()\[\]{}])"), R"(\$&)") + tail);
}

class RunCommand : public testing::Test {
protected:
    RunCommand() : module_("run", ""), run_(module_.Export<RunExport>("KSWRun"))
    {
        SetEnvironmentVariableA("KSTEST_RUN_OUT", module_.Folder().Path().c_str());
    }
    ~RunCommand() override { SetEnvironmentVariableA("KSTEST_RUN_OUT", nullptr); }

    // The helper recording its command line into `out` (given through an environment
    // reference, which the module expands) and ending with `code`, as given and expanded.
    std::pair<std::string, std::string> Command(const std::string& out, const std::string& code) const
    {
        const std::string line = "\"" + kstest::HelperPath() + "\" record \"%KSTEST_RUN_OUT%\\" + out + "\" " + code;
        std::string expanded = line;
        return {line, expanded.replace(expanded.find("%KSTEST_RUN_OUT%"), 16, module_.Folder().Path())};
    }

    kstest::InstalledModule module_;
    RunExport run_;
};

TEST_F(RunCommand, WaitingGivesTheExitCode)
{
    const struct {
        const char* code;
        DWORD expected;
        const char* logged;
    } rows[] = {{"3010", 3010, "3010"}, {"259", 259, "259"}, {"0xFFFFFFFF", 0xFFFFFFFF, "-1"}};
    std::vector<std::regex> lines;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        const auto command = Command(std::string("exit") + row.code + ".txt", row.code);
        EXPECT_EQ(run_(command.first.c_str(), 1), row.expected);
        EXPECT_EQ(kstest::ReadFile(module_.Folder() / ("exit" + std::string(row.code) + ".txt")), command.second)
            << "it ended before the call returned";
        lines.push_back(Pattern("SUCCESS KSWRun - launched process " + command.second,
                                (std::string(R"( \(ID=\d+\)\. Exit code = )") + row.logged).c_str()));
    }
    const std::vector<std::string> entries = module_.LogEntries();
    ASSERT_EQ(entries.size(), lines.size());
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_TRUE(std::regex_match(entries[i], lines[i])) << entries[i];
}

TEST_F(RunCommand, WithoutWaitingReturnsAtOnce)
{
    const auto command = Command("late.txt", "7 1500");
    const DWORD start = GetTickCount();
    EXPECT_EQ(run_(command.first.c_str(), 0), 0u);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_FALSE(kstest::FileExists(module_.Folder() / "late.txt")) << "still running";
    EXPECT_EQ(kstest::WaitForFile(module_.Folder() / "late.txt"), command.second);
    const std::vector<std::string> entries = module_.LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(std::regex_match(entries[0], Pattern("SUCCESS KSWRun - launched process " + command.second, R"( \(ID=\d+\))")))
        << entries[0];
}

TEST_F(RunCommand, AProgramThatCannotStartGivesItsError)
{
    kstest::WriteFile(module_.Folder() / "notpe.exe", "not a program");
    const struct {
        const char* command;
        DWORD expected;
    } rows[] = {{"%KSTEST_RUN_OUT%\\missing.exe /a", ERROR_FILE_NOT_FOUND},
                {"\"%KSTEST_RUN_OUT%\\notpe.exe\"", ERROR_BAD_EXE_FORMAT}};
    std::vector<std::string> expectedLog;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(run_(row.command, 1), row.expected);
        EXPECT_EQ(run_(row.command, 0), row.expected);
        // The line names the command as the script gave it, unexpanded.
        expectedLog.insert(expectedLog.end(), 2, std::string("ERROR KSWRun - cannot run process ") + row.command +
                                                     ". Error = " + std::to_string(row.expected));
    }
    EXPECT_EQ(module_.LogEntries(), expectedLog);
    EXPECT_NE(run_(nullptr, 1), 0u) << "no command is no program";
}

TEST(Language, LowByteOfTheSystemLanguage)
{
    const char* expected = getenv("KSINST_EXPECT_LANGID");
    kstest::InstalledModule module("lang", "");
    EXPECT_EQ(module.Export<GetLangID>("KSWGetLangID")(), static_cast<WORD>(expected ? strtoul(expected, nullptr, 0) : 0x09));
}

}  // namespace
