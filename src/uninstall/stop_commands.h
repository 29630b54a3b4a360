// The programs the first phase runs to stop the product: the commands of section
// "Uninstall\Stop", then the three product modules with "/stopall". Decided from the
// configuration alone; StopClient carries each one out.
#pragma once

#include "config/config_document.h"

#include <string>
#include <vector>

struct StopCommand {
    std::string program;    // full path, or relative to the process's folder as written
    std::string arguments;  // empty, or beginning with one space
    bool deleteAfter = true;
    bool isModule = false;  // one of ModuleAgent, ModuleBrowser, ModuleSetup
};

// The stop commands of `cfg` in the order they run, with `productPath` (General\Path) as
// the base of relative programs. Values are expanded before they are split; an entry
// with no argument and a module key that is missing or empty give no command.
std::vector<StopCommand> PlanStopCommands(const ConfigDocument& cfg, const std::string& productPath);

// One "Uninstall\Stop" value as a command: the program and its arguments, each further
// argument preceded by a space and quoted when it holds a space. False when the value
// holds no argument.
bool ParseStopValue(const std::string& value, const std::string& productPath, StopCommand& command);
