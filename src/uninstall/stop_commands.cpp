#include "uninstall/stop_commands.h"

#include "config/util.h"
#include "uninstall/command_line_args.h"

#include <cstring>

namespace {

constexpr char kStopSection[] = "Uninstall\\Stop";
constexpr char kDoNotDelete[] = "DoNotDelete";  // case-sensitive part of an entry's key
constexpr char kStopAll[] = " /stopall";
constexpr const char* kModuleKeys[] = {"ModuleAgent", "ModuleBrowser", "ModuleSetup"};

bool IsAbsoluteProgram(const char* program)
{
    return (program[0] != '\0' && program[1] == ':') || (program[0] == '\\' && program[1] == '\\');
}

}  // namespace

bool ParseStopValue(const std::string& value, const std::string& productPath, StopCommand& command)
{
    std::string expanded = value;
    CUtil::ExpandEnvVars(expanded);
    const CommandLineArgs args(expanded.c_str());
    if (args.Count() == 0)
        return false;
    const char* program = args[0];
    command.program = IsAbsoluteProgram(program) ? std::string(program) : productPath + "\\" + program;
    command.arguments.clear();
    for (size_t i = 1; i < args.Count(); ++i) {
        const bool quote = std::strchr(args[i], ' ') != nullptr;
        command.arguments += quote ? " \"" : " ";
        command.arguments += args[i];
        if (quote)
            command.arguments += '"';
    }
    return true;
}

std::vector<StopCommand> PlanStopCommands(const ConfigDocument& cfg, const std::string& productPath)
{
    std::vector<StopCommand> commands;
    const SharedRef<ConfigSection> stop = cfg.GetSection(kStopSection);
    for (size_t i = 0; stop && i < stop->EntryCount(); ++i) {
        const SharedRef<ConfigEntry> entry = stop->EntryAt(i);
        StopCommand command;
        if (!entry || !ParseStopValue(entry->value, productPath, command))
            continue;
        command.deleteAfter = entry->key.find(kDoNotDelete) == std::string::npos;
        commands.push_back(command);
    }
    // Left to the implementer: a missing module key would name the product folder itself,
    // which no system can run (the shell would open it in a window), so it is skipped.
    for (const char* key : kModuleKeys) {
        const std::string name = cfg.GetString("General", key, "");
        if (name.empty())
            continue;
        StopCommand command;
        command.program = productPath + "\\" + name;
        command.arguments = kStopAll;
        command.isModule = true;
        commands.push_back(command);
    }
    return commands;
}
