// The module's localized texts: string-table resources in English and Japanese with
// the same ids. The system's string loader picks the table of the thread's language.
#pragma once

#include <windows.h>

#include <string>

// Ids of the module's string table.
enum ResourceStringId : UINT {
    IDS_RESTART_QUESTION = 1,
    IDS_UNINSTALL_TITLE = 2,
    IDS_NEED_ADMIN = 3,
    IDS_CONFIRM_REMOVE = 4,
    IDS_PLEASE_WAIT = 5,
    IDS_NO_INSTALL_PATH = 6,
    IDS_UNINSTALL_DONE = 7,
    IDS_UNINSTALL_FAILED = 8,
    IDS_INSTALL_RUNNING = 9,
    IDS_UNINSTALL_RUNNING = 10,
    IDS_DEFAULT_APP_NAME = 111,
};

// Loads string `id` of `module` into `target`. A missing or empty string is a failure
// and leaves `target` unchanged.
bool LoadResourceString(std::string& target, HMODULE module, UINT id);

// Loads string `id` and formats its numbered inserts with the arguments. False if the
// string is missing or empty, or formatting fails (then `target` holds the template).
bool LoadResourceMessage(std::string& target, HMODULE module, UINT id, ...);
