#include "uninstall/command_line_args.h"
#include "uninstall/uninstall_options.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Arguments(const char* line)
{
    CommandLineArgs args(line);
    std::vector<std::string> list;
    for (size_t i = 0; i < args.Count(); ++i)
        list.push_back(args[i]);
    return list;
}

TEST(CommandLine, TokenizerEdgeCases)
{
    using List = std::vector<std::string>;
    const struct {
        const char* line;
        List arguments;
    } rows[] = {
        {"", {}},
        {"a", {"a"}},
        {"a b\tc", {"a", "b", "c"}},
        {"  a  ", {"a", ""}},                          // leading skipped, trailing gives one empty
        {"a ", {"a"}},                                  // the one blank ends the argument
        {"a  ", {"a", ""}},
        {" ", {""}},
        {"a\r\n\v\fb", {"a", "b"}},                        // every white-space byte separates
        {"\"a b\" c", {"a b", "c"}},
        {"\"a b\"", {"a b"}},
        {"\"a\"b c\" d", {"a\"b c", "d"}},            // a quote followed by a letter stays
        {"\"say \"hi\" now\" x", {"say \"hi", "now\"", "x"}},
        {"\"unterminated arg", {"unterminated arg"}},
        {"\"\"", {""}},
        {"\"\" x", {"", "x"}},
        {"\"", {""}},
        {"a\"b c", {"a\"b", "c"}},                    // quotes inside an unquoted argument stay
        {"\"a\"  b", {"a", "b"}},
        {"\"a\" ", {"a"}},                             // the closing quote takes its one blank
        {"\"a\"  ", {"a", ""}},
        {"/cfg=\"C:\\Program Files\\x.cfg\"", {"/cfg=\"C:\\Program", "Files\\x.cfg\""}},
        {"\"/cfg=C:\\Program Files\\x.cfg\" /s", {"/cfg=C:\\Program Files\\x.cfg", "/s"}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Arguments(row.line), row.arguments) << "[" << row.line << "]";

    CommandLineArgs args("one");
    EXPECT_STREQ(args[0], "one");
    EXPECT_EQ(args[1], nullptr);
    EXPECT_EQ(args[100], nullptr);
}

TEST(CommandLine, NullMeansTheProcessCommandLine)
{
    CommandLineArgs own(nullptr);
    ASSERT_GE(own.Count(), 1u);
    EXPECT_NE(std::string(own[0]).find("tests_uninstall"), std::string::npos) << own[0];
}

TEST(CommandLine, TheCopyIsPrivate)
{
    char line[] = "\"a b\" c";
    CommandLineArgs args(line);
    EXPECT_STREQ(line, "\"a b\" c") << "the caller's text is not written";
    ASSERT_EQ(args.Count(), 2u);
    EXPECT_TRUE(args[0] < line || args[0] >= line + sizeof(line));
    line[1] = 'X';
    EXPECT_STREQ(args[0], "a b");
}

class UninstallSwitches : public testing::Test {
protected:
    UninstallSwitches() { g_UninstallOptions.Reset(); }
    ~UninstallSwitches() override { g_UninstallOptions.Reset(); }
};

// The switches that are on, in a fixed order: "s nr install logs one stats cfg=<path>".
std::string On(const UninstallOptions& o)
{
    const std::string on = std::string(o.silent ? " s" : "") + (o.noRestart ? " nr" : "") +
                           (o.installMode ? " install" : "") + (o.leaveLogs ? " logs" : "") +
                           (o.oneProcess ? " one" : "") + (o.leaveStats ? " stats" : "") +
                           (o.runningTemp ? " temp" : "") + (o.cfgPath.empty() ? "" : " cfg=" + o.cfgPath);
    return on.empty() ? on : on.substr(1);
}

TEST_F(UninstallSwitches, TableAppliesInAnyCase)
{
    const struct {
        const char* line;
        const char* on;  // "temp" (runningTemp) is set from the environment only
    } rows[] = {
        {"", ""},
        {"/s", "s"},
        {"/S", "s"},
        {"/nr", "nr"},
        {"/NR", "nr"},
        {"/install", "s install"},
        {"/Install", "s install"},
        {"/leavelogs", "logs"},
        {"/LEAVELOGS", "logs"},
        {"/oneprocess", "one"},
        {"/OneProcess", "one"},
        {"/leavestats", "stats"},
        {"/LeaveStats", "stats"},
        {"/cfg=C:\\a.cfg", "cfg=C:\\a.cfg"},
        {"/CFG=C:\\A.cfg", "cfg=C:\\A.cfg"},
        {"/cfg=", ""},
        {"/cfg=C:\\first.cfg /cfg=C:\\second.cfg", "cfg=C:\\second.cfg"},
        {"\"/cfg=C:\\Program Files\\P\\p.cfg\" /s", "s cfg=C:\\Program Files\\P\\p.cfg"},
        {"/s /nr /install /leavelogs /oneprocess /leavestats /cfg=x", "s nr install logs one stats cfg=x"},
        // Near misses match nothing.
        {"/silent s -s /s2 /n /nrx /installx /leavelog /cfg /cf=x cfg=x /oneproces /leavestat", ""},
        // Trailing white space: the extra empty argument matches nothing.
        {"/s   ", "s"},
        {"rundll32.exe KSInst.dll,ExUninstall /NR", "nr"},
    };
    for (const auto& row : rows) {
        g_UninstallOptions.Reset();
        ParseUninstallSwitches(row.line);
        EXPECT_EQ(On(g_UninstallOptions), row.on) << row.line;
    }
}

TEST_F(UninstallSwitches, SwitchesAddToTheStateAndResetClearsIt)
{
    ParseUninstallSwitches("/s /cfg=one");
    ParseUninstallSwitches("/nr");
    EXPECT_TRUE(g_UninstallOptions.silent) << "an earlier switch stays";
    EXPECT_TRUE(g_UninstallOptions.noRestart);
    EXPECT_EQ(g_UninstallOptions.cfgPath, "one");
    g_UninstallOptions.appName = "Probe";
    g_UninstallOptions.errorMessage = "message";
    g_UninstallOptions.productConfig.SetString("General", "Path", "C:\\p");
    g_UninstallOptions.Reset();
    EXPECT_FALSE(g_UninstallOptions.silent);
    EXPECT_FALSE(g_UninstallOptions.noRestart);
    EXPECT_EQ(g_UninstallOptions.cfgPath, "");
    EXPECT_EQ(g_UninstallOptions.appName, "");
    EXPECT_EQ(g_UninstallOptions.errorMessage, "");
    EXPECT_EQ(g_UninstallOptions.productConfig.GetString("General", "Path", "none"), "none");
}

std::wstring Letters(size_t length)
{
    std::wstring value;
    for (size_t i = 0; i < length; ++i)
        value.push_back(static_cast<wchar_t>(L'a' + i % 26));
    return value;
}

// Values are set through the wide call: under Wine the ANSI call faults from 32,767
// bytes on, and no variable holds more than 32,766 characters.
TEST(EnvironmentVariables, SizeLimitsAndDefaults)
{
    const wchar_t kName[] = L"KSTEST_UNINSTALL_VAR";
    const struct {
        size_t length;  // of the value; npos: not set
        bool read;
    } rows[] = {
        {std::string::npos, false}, {0, false}, {1, true}, {260, true}, {4096, true},
        {32766, true},  // size 32,767 with the terminator
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.length);
        const std::wstring wide = Letters(row.length == std::string::npos ? 0 : row.length);
        ASSERT_TRUE(SetEnvironmentVariableW(kName, row.length == std::string::npos ? nullptr : wide.c_str()));
        const std::string value(wide.begin(), wide.end());
        const std::string got = GetEnvVar("KSTEST_UNINSTALL_VAR", "fallback");
        // Sizes only: a failure must not print 32,766 bytes.
        EXPECT_TRUE(got == (row.read ? value : "fallback")) << "got " << got.size() << " bytes";
        EXPECT_TRUE(GetEnvVar("kstest_uninstall_var", nullptr) == (row.read ? value : std::string())) << "any case";
    }
    SetEnvironmentVariableW(kName, nullptr);
    EXPECT_EQ(GetEnvVar(nullptr, "fallback"), "fallback");
    EXPECT_EQ(GetEnvVar(nullptr, nullptr), "");
    SetEnvironmentVariableA(kAppNameVariable, "Probe App");
    EXPECT_EQ(GetEnvVar("KSREMOVE_APPNAME", nullptr), "Probe App");
    SetEnvironmentVariableA(kAppNameVariable, nullptr);
}

// 40,000 bytes fit into Wine's 32,766 characters only as double-byte characters: the
// Japanese run holds this case. Wine sizes double-byte values in characters and cuts
// the read short: a value is then either read whole or not at all.
TEST(EnvironmentVariables, FortyThousandBytesGiveTheDefault)
{
    if (GetACP() != 932)
        GTEST_SKIP() << "needs the Japanese code page";
    const wchar_t kName[] = L"KSTEST_UNINSTALL_WIDE";
    for (size_t characters : {100u, 16383u, 20000u}) {
        SCOPED_TRACE(characters);
        ASSERT_TRUE(SetEnvironmentVariableW(kName, std::wstring(characters, L'\x8868').c_str()));  // two bytes each
        const std::string got = GetEnvVar("KSTEST_UNINSTALL_WIDE", "fallback");
        if (characters * 2 + 1 <= 32767)
            EXPECT_TRUE(got.size() == characters * 2 || got == "fallback") << "got " << got.size() << " bytes";
        else
            EXPECT_TRUE(got == "fallback") << "got " << got.size() << " bytes";
    }
    SetEnvironmentVariableW(kName, nullptr);
}

}  // namespace
