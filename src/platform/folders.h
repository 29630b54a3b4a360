// The system's special folders. Each reader returns a path without a trailing
// backslash unless it says otherwise, and falls back instead of failing: none of them
// throws or logs.
#pragma once

#include <windows.h>

#include <string>

// Where the system records the per-user and all-users special folders.
constexpr char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The Windows folder; "C:" when the system cannot say.
std::string GetWindowsFolder();
// The system folder; "C:" when the system cannot say.
std::string GetSystemFolder();
// The temporary folder; "C:" when the system cannot say.
std::string GetTempFolder();
// The folder that holds `module`'s file (null: the program's); empty when the file
// name has no backslash.
std::string GetModuleFolder(HMODULE module);
// The program-files folder from the shell, else from the registry, as either gives it
// (a trailing backslash is kept); empty when neither knows it.
std::string GetProgramFilesFolder();

// A folder named `name` under "Shell Folders" of the current user, of all users
// (HKEY_LOCAL_MACHINE) or of the default user (HKEY_USERS\.DEFAULT); `defaultValue`
// when the value cannot be read.
std::string GetUserShellFolder(const char* name, const std::string& defaultValue);
std::string GetCommonShellFolder(const char* name, const std::string& defaultValue);
std::string GetDefaultUserShellFolder(const char* name, const std::string& defaultValue);
