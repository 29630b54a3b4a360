// The first phase's decisions, made from the configuration alone: the stop commands and
// the removal entries with their keywords and paths.
#include "config/config_document.h"
#include "config/config_text.h"
#include "uninstall/removal_entries.h"
#include "uninstall/stop_commands.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

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

// Values are expanded, then split and quoted again; program paths that are not full
// ("X:" or "\\\\") are joined to the product folder.
TEST(StopCommands, EntriesInFileOrderThenTheModulesWithStopAll)
{
    SetEnvironmentVariableA("KSTEST_SPACED", "C:\\Sp ace");
    const ConfigDocument cfg = Parse(
        "[General]\nPath=C:\\Prod\nModuleAgent=agent.exe\nModuleSetup=setup.exe\n[]\n[Uninstall]\n[Stop]\n"
        "AgentDoNotDelete=one.exe a \"b c\"\nagentdonotdelete=two.exe 2\nplain=%SystemRoot%\\x\\t.exe -quit now\n"
        "unc=\\\\server\\share\\t.exe /x\nroot=\\t.exe\nspaced=%KSTEST_SPACED%\\t.exe\n"
        "quoted=\"%KSTEST_SPACED%\\t.exe\" \"\" x\nempty=\n[]\n[]\n");
    std::vector<std::string> got;
    for (const StopCommand& command : PlanStopCommands(cfg, kProduct))
        got.push_back(command.program + "|" + command.arguments + (command.deleteAfter ? "|delete" : "|keep") +
                      (command.isModule ? "|module" : ""));
    SetEnvironmentVariableA("KSTEST_SPACED", nullptr);
    // ModuleBrowser is missing: no attempt on the product folder itself.
    // An unquoted reference with a space splits the path.
    const std::vector<std::string> expected = {
        "C:\\Prod\\one.exe| a \"b c\"|keep", "C:\\Prod\\two.exe| 2|delete", "C:\\windows\\x\\t.exe| -quit now|delete",
        "\\\\server\\share\\t.exe| /x|delete", "C:\\Prod\\\\t.exe||delete", "C:\\Sp| ace\\t.exe|delete",
        "C:\\Sp ace\\t.exe|  x|delete", "C:\\Prod\\agent.exe| /stopall|delete|module",
        "C:\\Prod\\setup.exe| /stopall|delete|module",
    };
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(PlanStopCommands(Parse("[General]\nPath=C:\\P\n[]\n"), "C:\\P").empty());
}

TEST(RemovalEntries, KeywordsIgnoreCaseButAreNotTrimmed)
{
    const struct { const char* value; unsigned keywords; } rows[] = {
        {"", 0}, {"System64", kRemoveSystem64}, {"goProto;REGISTERED", kRemoveGoProto | kRemoveRegistered},
        {"shared; keep", kRemoveShared}, {"shared ;keep", kRemoveKeep}, {"unknown;;system", kRemoveSystem},
        {"sys", 0}, {"systems", 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ParseRemovalKeywords(row.value), row.keywords) << row.value;
}

TEST(RemovalEntries, PlanListsOnlyTheSectionsOwnEntriesAndPlacesTheFourthStage)
{
    // Names joined to the product folder unless they begin with "\", "%" or a drive;
    // "system" joins even those; environment references expanded after joining.
    SetEnvironmentVariableA("KSTEST_DIR", "C:\\Expanded");
    const ConfigDocument cfg = Parse(
        "[Uninstall]\na.dll=shared;registered\n[Stop]\ns=stop.exe\n[]\nb\\%KSTEST_DIR%=\n[Registry]\n"
        "OldUninstallRegName=o\n[]\nc.dll=system64\nd.dll=system64;system\nC:\\e.dll=keep\n\\f.txt=\n"
        "%KSTEST_DIR%\\g.log=\nC:\\h.dll=system\n%KSTEST_UNSET%\\i=\n[]\n");
    for (const char* system64 : {"", "D:\\n\\"}) {
        const RemovalPlan plan = PlanRemovalEntries(cfg, kProduct, "C:\\sys\\", system64);
        ASSERT_TRUE(plan.hasSection);
        std::string got;
        for (const RemovalEntry& entry : plan.entries)
            got += entry.path + (entry.skipped ? " skipped " : " ") + std::to_string(entry.keywords) + ";";
        // Without a 64-bit system folder only the "system64" entry that is not "system" is skipped.
        EXPECT_EQ(got, std::string("C:\\Prod\\a.dll 3;C:\\Prod\\b\\C:\\Expanded 0;") +
                           (*system64 ? "D:\\n\\c.dll 16" : "c.dll skipped 16") +
                           ";C:\\sys\\d.dll 20;C:\\e.dll 8;\\f.txt 0;C:\\Expanded\\g.log 0;C:\\sys\\C:\\h.dll 4;"
                           "%KSTEST_UNSET%\\i 0;");
        EXPECT_EQ(plan.StageIndex(), 4u);
    }
    SetEnvironmentVariableA("KSTEST_DIR", nullptr);
    EXPECT_FALSE(PlanRemovalEntries(Parse("[General]\n[]\n"), kProduct, "C:\\sys\\", "").hasSection);
}

}  // namespace
