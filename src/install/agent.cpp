#include "install/agent.h"

#include "config/config_document.h"
#include "config/util.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "platform/scoped_handle.h"
#include "text/format.h"

#include <windows.h>

#include <vector>

bool LoadModuleGeneral(ConfigDocument& cfg)
{
    return cfg.Load(CUtil::GetCfgPath(false, g_hModule).c_str(), "General", LoadMode::ValuesOnly, 0, false);
}

std::string AgentPath(const ConfigDocument& cfg)
{
    std::string path;
    FormatString(path, "%s\\%s", cfg.GetString("General", "Path", "").c_str(),
                 cfg.GetString("General", "ModuleAgent", "").c_str());
    return path;
}

bool AgentExists(const std::string& path)
{
    // A folder is no agent: with "ModuleAgent" missing the path names the product
    // folder, and a Run value or launch of a folder would only fail later.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    return true;
}

bool RunAgent(const char* args)
{
    ConfigDocument cfg;
    if (!LoadModuleGeneral(cfg))
        return false;
    const std::string path = AgentPath(cfg);
    if (!AgentExists(path))
        return false;

    // The bare path stays unquoted: that is how the agent has always been started
    // without arguments.
    std::string commandLine = path;
    if (args && *args)
        FormatString(commandLine, "\"%s\" %s", path.c_str(), args);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return false;
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    return true;
}

KSINST_EXPORT(LONG) KSWRunAgent(const char* args)
{
    try {
        return RunAgent(args) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
