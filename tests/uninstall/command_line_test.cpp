#include "uninstall/command_line_args.h"
#include "uninstall/uninstall_options.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using List = std::vector<std::string>;

List Arguments(const char* line)
{
    CommandLineArgs args(line);
    List list;
    for (size_t i = 0; i < args.Count(); ++i)
        list.push_back(args[i]);
    return list;
}

// Every row is split twice: through the private copy, and in place at the very end of a
// readable page followed by one that cannot be read, so that a walk past the
// terminating zero faults at once.
TEST(CommandLine, TokenizerEdgeCases)
{
    const struct { const char* line; List arguments; } rows[] = {
        {"", {}}, {"a b\tc", {"a", "b", "c"}}, {"\"a b\" c", {"a b", "c"}}, {"\"\" x", {"", "x"}},
        {"  a  ", {"a", ""}},  // leading skipped, trailing gives one empty
        {"a ", {"a"}},         // the one blank ends the argument
        {"a\r\n\v\fb", {"a", "b"}},  // every white-space byte separates
        {"\"a\"b c\" d", {"a\"b c", "d"}},  // a quote followed by a letter stays
        {"\"say \"hi\" now\" x", {"say \"hi", "now\"", "x"}}, {"\"unterminated arg", {"unterminated arg"}},
        {"a\"b c", {"a\"b", "c"}},  // quotes inside an unquoted argument stay
        {"\"a\" ", {"a"}},          // the closing quote takes its one blank
        {"\"a\"  ", {"a", ""}},
        {"/cfg=\"C:\\Program Files\\x.cfg\"", {"/cfg=\"C:\\Program", "Files\\x.cfg\""}},
        {"\"/cfg=C:\\Program Files\\x.cfg\" /s", {"/cfg=C:\\Program Files\\x.cfg", "/s"}},
    };
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &old));
    for (const auto& row : rows) {
        EXPECT_EQ(Arguments(row.line), row.arguments) << "[" << row.line << "]";
        char* text = pages + system.dwPageSize - (strlen(row.line) + 1);
        memcpy(text, row.line, strlen(row.line) + 1);
        std::vector<const char*> inPlace;
        SplitArgumentsInPlace(text, inPlace);
        EXPECT_EQ(List(inPlace.begin(), inPlace.end()), row.arguments) << "[" << row.line << "] in place";
    }
    VirtualFree(pages, 0, MEM_RELEASE);

    CommandLineArgs args("one");
    EXPECT_EQ(args[1], nullptr);
    CommandLineArgs own(nullptr);  // the process's command line
    ASSERT_GE(own.Count(), 1u);
    EXPECT_NE(std::string(own[0]).find("tests_uninstall"), std::string::npos) << own[0];
}

// The switches that are on, in a fixed order: "s nr install logs one stats cfg=<path>".
std::string On(const UninstallOptions& o)
{
    const std::string on = std::string(o.silent ? " s" : "") + (o.noRestart ? " nr" : "") +
                           (o.installMode ? " install" : "") + (o.leaveLogs ? " logs" : "") +
                           (o.oneProcess ? " one" : "") + (o.leaveStats ? " stats" : "") +
                           (o.runningTemp ? " temp" : "") + (o.cfgPath.empty() ? "" : " cfg=" + o.cfgPath);
    return on.empty() ? on : on.substr(1);
}

TEST(UninstallSwitches, TableAppliesInAnyCaseAndSwitchesAddUp)
{
    // on: as On() spells it; "temp" (runningTemp) is set from the environment only.
    const struct { const char* line; const char* on; } rows[] = {
        {"", ""}, {"/S", "s"}, {"/NR", "nr"}, {"/Install", "s install"}, {"/LEAVELOGS", "logs"},
        {"/OneProcess", "one"}, {"/LeaveStats", "stats"}, {"/CFG=C:\\A.cfg", "cfg=C:\\A.cfg"}, {"/cfg=", ""},
        {"/cfg=C:\\first.cfg /cfg=C:\\second.cfg", "cfg=C:\\second.cfg"},
        {"\"/cfg=C:\\Program Files\\P\\p.cfg\" /s", "s cfg=C:\\Program Files\\P\\p.cfg"},
        // Near misses match nothing.
        {"/silent s -s /s2 /n /nrx /installx /leavelog /cfg /cf=x cfg=x /oneproces /leavestat", ""},
        {"rundll32.exe KSInst.dll,ExUninstall /NR", "nr"},
    };
    for (const auto& row : rows) {
        g_UninstallOptions.Reset();
        ParseUninstallSwitches(row.line);
        EXPECT_EQ(On(g_UninstallOptions), row.on) << row.line;
    }
    g_UninstallOptions.Reset();
    ParseUninstallSwitches("/s /cfg=one");
    ParseUninstallSwitches("/nr");
    EXPECT_EQ(On(g_UninstallOptions), "s nr cfg=one") << "an earlier switch stays";
    g_UninstallOptions.Reset();
}

// Values are set through the wide call: under Wine the ANSI call faults from 32,767
// bytes on, and no variable holds more than 32,766 characters.
TEST(EnvironmentVariables, SizeLimitsAndDefaults)
{
    for (int length : {-1, 0, 1, 32766}) {  // -1: not set
        SCOPED_TRACE(length);
        const std::wstring value(length > 0 ? length : 0, L'k');
        ASSERT_TRUE(SetEnvironmentVariableW(L"KSTEST_UNINSTALL_VAR", length < 0 ? nullptr : value.c_str()));
        const std::string got = GetEnvVar("KSTEST_UNINSTALL_VAR", "fallback");
        // Sizes only: a failure must not print 32,766 bytes.
        EXPECT_TRUE(got == (length > 0 ? std::string(length, 'k') : "fallback")) << "got " << got.size() << " bytes";
        EXPECT_TRUE(GetEnvVar("kstest_uninstall_var", nullptr) == std::string(length > 0 ? length : 0, 'k')) << "any case";
    }
    SetEnvironmentVariableW(L"KSTEST_UNINSTALL_VAR", nullptr);
    EXPECT_EQ(GetEnvVar(nullptr, "fallback"), "fallback");
    EXPECT_EQ(GetEnvVar(nullptr, nullptr), "");
}

}  // namespace
