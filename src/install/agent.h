// The product's agent program: where the module configuration says it lives, and its
// launch. The agent's start with Windows is agent_startup's.
#pragma once

#include <string>

class ConfigDocument;

// Loads the values of section "General" of this module's own configuration into `cfg`.
// False when the file cannot be read.
bool LoadModuleGeneral(ConfigDocument& cfg);

// "Path" and "ModuleAgent" of section "General" joined by a backslash, unexpanded.
std::string AgentPath(const ConfigDocument& cfg);

// Whether `path` names an agent that can be started: an existing file. Otherwise false
// with last error 2 (file not found), also for a folder.
bool AgentExists(const std::string& path);

// Starts the agent with `args` (null or empty: none) and does not wait for it. False
// with the system's last error when the configuration cannot be read (2 also when the
// agent is missing) or the process cannot be created.
bool RunAgent(const char* args);
