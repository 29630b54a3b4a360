// KSWRun with the test helper as the command, and KSWGetLangID under the locale of the
// run (KSINST_EXPECT_LANGID: 0x11 Japanese, 0x04 Chinese; English when unset).
#include "install/install_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace {

using RunExport = DWORD(WINAPI*)(const char*, LONG);
using GetLangID = WORD(WINAPI*)();

class RunCommand : public testing::Test {
protected:
    RunCommand() : module_("run", "")
    {
        run_ = module_.Export<RunExport>("KSWRun");
        SetEnvironmentVariableA("KSTEST_RUN_BIN", kstest::ExeFolder().c_str());
        SetEnvironmentVariableA("KSTEST_RUN_OUT", module_.Folder().Path().c_str());
    }
    ~RunCommand() override
    {
        SetEnvironmentVariableA("KSTEST_RUN_BIN", nullptr);
        SetEnvironmentVariableA("KSTEST_RUN_OUT", nullptr);
    }
    void SetUp() override { ASSERT_TRUE(run_); }

    // The helper recording its command line into `out`, with the exit code and delay.
    std::string Command(const std::string& out, const char* code, const char* delay = "") const
    {
        std::string line = "\"" + kstest::HelperPath() + "\" record \"" + (module_.Folder() / out) + "\" " + code;
        return *delay ? line + " " + delay : line;
    }

    static std::regex Pattern(const std::string& literal, const char* tail)
    {
        return std::regex(std::regex_replace(literal, std::regex(R"([\\^$.|?*+()\[\]{}])"), R"(\$&)") + tail);
    }

    kstest::InstalledModule module_;
    RunExport run_ = nullptr;
};

TEST_F(RunCommand, WaitingGivesTheExitCode)
{
    const struct {
        const char* code;
        DWORD expected;
        const char* logged;
    } rows[] = {
        {"0", 0, "0"},
        {"3", 3, "3"},
        {"3010", 3010, "3010"},
        {"259", 259, "259"},
        {"0xFFFFFFFF", 0xFFFFFFFF, "-1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        const std::string out = std::string("exit") + row.code + ".txt";
        const std::string command = Command(out, row.code);
        EXPECT_EQ(run_(command.c_str(), 1), row.expected);
        EXPECT_EQ(kstest::ReadFile(module_.Folder() / out), command) << "it ended before the call returned";
    }
    const std::vector<std::string> entries = module_.LogEntries();
    ASSERT_EQ(entries.size(), sizeof(rows) / sizeof(rows[0]));
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string out = std::string("exit") + rows[i].code + ".txt";
        EXPECT_TRUE(std::regex_match(entries[i], Pattern("SUCCESS KSWRun - launched process " + Command(out, rows[i].code),
                                                         (std::string(R"( \(ID=\d+\)\. Exit code = )") + rows[i].logged).c_str())))
            << entries[i];
    }
}

TEST_F(RunCommand, WithoutWaitingReturnsAtOnce)
{
    const std::string command = Command("late.txt", "7", "1500");
    const DWORD start = GetTickCount();
    EXPECT_EQ(run_(command.c_str(), 0), 0u);
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_FALSE(kstest::FileExists(module_.Folder() / "late.txt")) << "still running";
    EXPECT_EQ(kstest::WaitForFile(module_.Folder() / "late.txt"), command);
    const std::vector<std::string> entries = module_.LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(std::regex_match(entries[0], Pattern("SUCCESS KSWRun - launched process " + command, R"( \(ID=\d+\))")))
        << entries[0];
}

TEST_F(RunCommand, EnvironmentReferencesAreExpanded)
{
    const char* given = "\"%KSTEST_RUN_BIN%\\kshelper.exe\" record \"%KSTEST_RUN_OUT%\\env.txt\" 4";
    const std::string expanded = "\"" + kstest::ExeFolder() + "\\kshelper.exe\" record \"" +
                                 (module_.Folder() / "env.txt") + "\" 4";
    EXPECT_EQ(run_(given, 1), 4u);
    EXPECT_EQ(kstest::ReadFile(module_.Folder() / "env.txt"), expanded);
    const std::vector<std::string> entries = module_.LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(std::regex_match(entries[0], Pattern("SUCCESS KSWRun - launched process " + expanded,
                                                     R"( \(ID=\d+\)\. Exit code = 4)")))
        << entries[0];
}

TEST_F(RunCommand, AProgramThatCannotStartGivesItsError)
{
    kstest::WriteFile(module_.Folder() / "notpe.exe", "not a program");
    const struct {
        const char* command;
        DWORD expected;
    } rows[] = {
        {"%KSTEST_RUN_OUT%\\missing.exe /a", ERROR_FILE_NOT_FOUND},
        {"\"%KSTEST_RUN_OUT%\\notpe.exe\"", ERROR_BAD_EXE_FORMAT},
    };
    std::vector<std::string> expectedLog;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        EXPECT_EQ(run_(row.command, 1), row.expected);
        EXPECT_EQ(run_(row.command, 0), row.expected);
        // The line names the command as the script gave it, unexpanded.
        const std::string line =
            std::string("ERROR KSWRun - cannot run process ") + row.command + ". Error = " + std::to_string(row.expected);
        expectedLog.push_back(line);
        expectedLog.push_back(line);
    }
    EXPECT_EQ(module_.LogEntries(), expectedLog);
    EXPECT_NE(run_(nullptr, 1), 0u) << "no command is no program";
}

TEST(Language, LowByteOfTheSystemLanguage)
{
    const char* expectedText = getenv("KSINST_EXPECT_LANGID");
    const WORD expected = static_cast<WORD>(expectedText ? strtoul(expectedText, nullptr, 0) : 0x09);
    kstest::InstalledModule module("lang", "");
    auto getLangId = module.Export<GetLangID>("KSWGetLangID");
    ASSERT_TRUE(getLangId);
    EXPECT_EQ(getLangId(), expected);
}

}  // namespace
