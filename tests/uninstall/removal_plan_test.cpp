// The first phase's decisions, made from the configuration alone: the stop commands and
// the removal entries with their keywords and paths.
#include "config/config_document.h"
#include "config/config_text.h"
#include "uninstall/removal_entries.h"
#include "uninstall/stop_commands.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

ConfigDocument Parse(const std::string& text)
{
    ConfigText buffer;
    buffer.Assign(text.data(), text.size());
    ConfigDocument document;
    EXPECT_TRUE(document.Parse(buffer, nullptr, LoadMode::All, SharedRef<ConfigPath>(), false));
    return document;
}

constexpr char kProduct[] = "C:\\Prod";

TEST(StopCommands, ValuesAreExpandedThenSplitAndQuotedAgain)
{
    SetEnvironmentVariableA("KSTEST_SPACED", "C:\\Sp ace");
    const struct {
        const char* value;
        const char* program;  // null: no command
        const char* arguments;
    } rows[] = {
        {"%SystemRoot%\\x\\agent.exe -quit now", "C:\\windows\\x\\agent.exe", " -quit now"},
        {"tool.exe a \"b c\"", "C:\\Prod\\tool.exe", " a \"b c\""},
        {"bin\\tool.exe", "C:\\Prod\\bin\\tool.exe", ""},
        {"\\\\server\\share\\t.exe /x", "\\\\server\\share\\t.exe", " /x"},
        {"D:\\t.exe", "D:\\t.exe", ""},
        // A single leading backslash is not a full path: it is joined to the product folder.
        {"\\t.exe", "C:\\Prod\\\\t.exe", ""},
        // Expansion before splitting: an unquoted reference with a space splits the path.
        {"%KSTEST_SPACED%\\t.exe", "C:\\Sp", " ace\\t.exe"},
        {"\"%KSTEST_SPACED%\\t.exe\" \"\"", "C:\\Sp ace\\t.exe", " "},
        {"\"C:\\a b\\t.exe\"", "C:\\a b\\t.exe", ""},
        {"", nullptr, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        StopCommand command;
        const bool parsed = ParseStopValue(row.value, kProduct, command);
        // An empty value still gives one empty argument: the tokenizer's rule.
        if (!row.program) {
            EXPECT_TRUE(!parsed || command.program == "C:\\Prod\\");
            continue;
        }
        ASSERT_TRUE(parsed);
        EXPECT_EQ(command.program, row.program);
        EXPECT_EQ(command.arguments, row.arguments);
    }
    SetEnvironmentVariableA("KSTEST_SPACED", nullptr);
}

TEST(StopCommands, EntriesInFileOrderThenTheModulesWithStopAll)
{
    const ConfigDocument cfg = Parse(
        "[General]\nPath=C:\\Prod\nModuleAgent=agent.exe\nModuleSetup=setup.exe\n[]\n"
        "[Uninstall]\n[Stop]\nAgentDoNotDelete=one.exe 1\nagentdonotdelete=two.exe 2\nplain=three.exe\n[]\n[]\n");
    const std::vector<StopCommand> commands = PlanStopCommands(cfg, kProduct);
    const struct {
        const char* program;
        const char* arguments;
        bool deleteAfter, isModule;
    } expected[] = {
        {"C:\\Prod\\one.exe", " 1", false, false},
        {"C:\\Prod\\two.exe", " 2", true, false},
        {"C:\\Prod\\three.exe", "", true, false},
        // ModuleBrowser is missing: no attempt on the product folder itself.
        {"C:\\Prod\\agent.exe", " /stopall", true, true},
        {"C:\\Prod\\setup.exe", " /stopall", true, true},
    };
    ASSERT_EQ(commands.size(), sizeof(expected) / sizeof(expected[0]));
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(commands[i].program, expected[i].program);
        EXPECT_EQ(commands[i].arguments, expected[i].arguments);
        EXPECT_EQ(commands[i].deleteAfter, expected[i].deleteAfter);
        EXPECT_EQ(commands[i].isModule, expected[i].isModule);
    }
    EXPECT_TRUE(PlanStopCommands(Parse("[General]\nPath=C:\\P\n[]\n"), "C:\\P").empty());
}

TEST(RemovalEntries, KeywordsIgnoreCaseButAreNotTrimmed)
{
    const struct {
        const char* value;
        unsigned keywords;
    } rows[] = {
        {"", 0},
        {"shared", kRemoveShared},
        {"Registered", kRemoveRegistered},
        {"SYSTEM", kRemoveSystem},
        {"keep", kRemoveKeep},
        {"System64", kRemoveSystem64},
        {"goProto", kRemoveGoProto},
        {"shared;registered", kRemoveShared | kRemoveRegistered},
        {"keep;goproto", kRemoveKeep | kRemoveGoProto},
        {"shared; keep", kRemoveShared},
        {"shared ;keep", kRemoveKeep},
        {"unknown;;system", kRemoveSystem},
        {"sys", 0},
        {"systems", 0},
        {";;;", 0},
        {"shared;registered;system;keep;system64;goproto", 0x3F},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(ParseRemovalKeywords(row.value), row.keywords);
    }
}

TEST(RemovalEntries, PathsFollowTheKeywordsAndTheNameForm)
{
    SetEnvironmentVariableA("KSTEST_DIR", "C:\\Expanded");
    const std::string system = "C:\\windows\\system32\\";
    const struct {
        const char* name;
        unsigned keywords;
        const char* system64;
        const char* path;
    } rows[] = {
        {"tools\\x.dll", 0, "", "C:\\Prod\\tools\\x.dll"},
        {"C:\\x.dll", 0, "", "C:\\x.dll"},
        {"\\\\server\\share\\z", 0, "", "\\\\server\\share\\z"},
        {"\\root.txt", 0, "", "\\root.txt"},
        {"%KSTEST_DIR%\\y.log", 0, "", "C:\\Expanded\\y.log"},
        {"sub\\%KSTEST_DIR%", 0, "", "C:\\Prod\\sub\\C:\\Expanded"},
        {"%KSTEST_UNSET_VARIABLE%\\y", 0, "", "%KSTEST_UNSET_VARIABLE%\\y"},
        {"x.dll", kRemoveSystem, "", "C:\\windows\\system32\\x.dll"},
        {"x.dll", kRemoveSystem | kRemoveSystem64, "D:\\native\\", "C:\\windows\\system32\\x.dll"},
        {"x.dll", kRemoveSystem64, "D:\\native\\", "D:\\native\\x.dll"},
        {"x.dll", kRemoveSystem64, "", "x.dll"},
        {"C:\\abs.dll", kRemoveSystem, "", "C:\\windows\\system32\\C:\\abs.dll"},
        {"..\\..\\windows", 0, "", "C:\\Prod\\..\\..\\windows"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.keywords));
        EXPECT_EQ(RemovalEntryPath(row.name, row.keywords, kProduct, system, row.system64), row.path);
    }
    SetEnvironmentVariableA("KSTEST_DIR", nullptr);
}

TEST(RemovalEntries, PlanListsOnlyTheSectionsOwnEntriesAndPlacesTheFourthStage)
{
    const ConfigDocument cfg = Parse(
        "[Uninstall]\na.dll=shared;registered\n[Stop]\ns=stop.exe\n[]\nb.dll=\n[Registry]\nOldUninstallRegName=o\n[]\n"
        "c.dll=system64\nd.dll=system64;system\ne.dll=keep\n[]\n");
    RemovalPlan plan = PlanRemovalEntries(cfg, kProduct, "C:\\sys\\", "");
    ASSERT_TRUE(plan.hasSection);
    ASSERT_EQ(plan.entries.size(), 5u);
    const char* names[] = {"a.dll", "b.dll", "c.dll", "d.dll", "e.dll"};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(plan.entries[i].name, names[i]);
    EXPECT_EQ(plan.entries[0].keywords, kRemoveShared | kRemoveRegistered);
    // Without a 64-bit system folder only the "system64" entry that is not "system" is skipped.
    EXPECT_FALSE(plan.entries[1].skipped);
    EXPECT_TRUE(plan.entries[2].skipped);
    EXPECT_FALSE(plan.entries[3].skipped);
    EXPECT_EQ(plan.entries[3].path, "C:\\sys\\d.dll");
    EXPECT_EQ(plan.StageIndex(), 2u);
    plan = PlanRemovalEntries(cfg, kProduct, "C:\\sys\\", "D:\\n\\");
    EXPECT_FALSE(plan.entries[2].skipped);
    EXPECT_EQ(plan.entries[2].path, "D:\\n\\c.dll");

    const struct {
        const char* text;
        bool hasSection;
        size_t count, stageIndex;
    } rows[] = {
        {"[General]\n[]\n", false, 0, 0},
        {"[Uninstall]\n[Stop]\n[]\n[]\n", true, 0, 0},
        {"[Uninstall]\none=\n[]\n", true, 1, 0},
        {"[Uninstall]\n1=\n2=\n[]\n", true, 2, 1},
        {"[Uninstall]\n1=\n2=\n3=\n4=\n5=\n6=\n[]\n", true, 6, 3},
        // Names are exact: another spelling of the section is not it.
        {"[uninstall]\n1=\n[]\n", false, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        plan = PlanRemovalEntries(Parse(row.text), kProduct, "C:\\sys\\", "");
        EXPECT_EQ(plan.hasSection, row.hasSection);
        EXPECT_EQ(plan.entries.size(), row.count);
        EXPECT_EQ(plan.StageIndex(), row.stageIndex);
    }
}

}  // namespace
