// The product's Start-menu group: a folder of shortcuts in the all-users Programs
// folder, described by section "Install\StartMenu" of the module configuration.
#pragma once

#include <string>

constexpr char kStartMenuSection[] = "Install\\StartMenu";

// The all-users Start-menu Programs folder ("Common Programs"), else the current
// user's ("Programs"), else the Windows folder's "Start Menu\Programs".
std::string StartMenuProgramsFolder();

// Whether `group` names a folder inside the Programs folder: not empty and no
// component empty, "." or "..", no drive colon. The uninstaller removes the group's
// folder whole, so nothing else may ever be taken for it.
bool IsSafeGroupName(const std::string& group);

// Creates the group's shortcuts (not recorded for the uninstaller, which removes the
// whole group). The group is `name` with `useEnglishNames`, else "Group" of the
// section with `name` as default. The result of CreateShortcuts; 0 when the module
// configuration cannot be read or the group name is not safe.
long CreateStartMenu(const char* name, bool useEnglishNames);
