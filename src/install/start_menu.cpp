#include "install/start_menu.h"

#include "config/config_document.h"
#include "config/util.h"
#include "frame/exports.h"
#include "frame/module.h"
#include "install/shortcuts.h"
#include "platform/folders.h"
#include "text/string_ops.h"

#include <vector>

std::string StartMenuProgramsFolder()
{
    const std::string userPrograms = GetUserShellFolder("Programs", GetWindowsFolder() + "\\Start Menu\\Programs");
    return GetCommonShellFolder("Common Programs", userPrograms);
}

bool IsSafeGroupName(const std::string& group)
{
    if (group.empty() || group.find(':') != std::string::npos)
        return false;
    std::string trimmed = group;
    TrimRight(trimmed, '\\');
    std::vector<std::string> components;
    Split(trimmed, '\\', components);
    for (const std::string& component : components) {
        if (component.empty() || component == "." || component == "..")
            return false;
    }
    return true;
}

long CreateStartMenu(const char* name, bool useEnglishNames)
{
    ConfigDocument cfg;
    if (!cfg.Load(CUtil::GetCfgPath(false, g_hModule).c_str()))
        return 0;
    const std::string given = name ? name : "";
    const std::string group = useEnglishNames ? given : cfg.GetString(kStartMenuSection, "Group", given.c_str());
    if (!IsSafeGroupName(group))
        return 0;
    const std::string folder = StartMenuProgramsFolder() + "\\" + group;
    return CreateShortcuts(name, kStartMenuSection, folder.c_str(), useEnglishNames, false);
}

KSINST_EXPORT(LONG) KSWCreateStartMenu(const char* name, LONG useEnglishNames)
{
    try {
        return CreateStartMenu(name, useEnglishNames != 0);
    } catch (...) {
        return 0;
    }
}
