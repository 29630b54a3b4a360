// The module's exported functions: standard calling convention, ANSI texts, 32-bit
// values. The export table (names and ordinals) is ksinst.def; the declarations here
// follow its order. No export lets an exception reach its host.
#pragma once

#include <windows.h>

#define KSINST_EXPORT(type) extern "C" type WINAPI

KSINST_EXPORT(LONG) DllUnregisterServer();

// Grants everyone full access to the named object (1 file or folder, 4 registry key,
// 6 kernel object): 1 when the object's access list was replaced, else 0 (always 0 on
// the 95/98/Me family).
KSINST_EXPORT(int) KSWSetFreeAccess(const char* objectName, DWORD objectType);

// Deletes a folder, or the files of a folder matching the pattern in the path's last
// component; with `allUsers`, below every user profile folder. Always 1.
KSINST_EXPORT(LONG) KSWDelDir(const char* path, LONG allUsers);

// 1 when the running system's version class is one of the bits of `mask`, else 0
// (also when the version cannot be read).
KSINST_EXPORT(int) KSWIsCompatibleWithOS(DWORD mask);

// Write a string or 32-bit value into the same key of every user's registry; always 1.
KSINST_EXPORT(LONG) KSWAddRegStringToAllUsers(const char* subKey, const char* valueName, const char* text,
                                              DWORD options);
KSINST_EXPORT(LONG) KSWAddRegDWordToAllUsers(const char* subKey, const char* valueName, DWORD value, DWORD options);

// Reconciles the installation log with the system's pending file operations, dropping
// pending deletions and replacements of files the installation just put in place:
// 1 when a restart is needed, 0 when not, -1 when the log cannot be used, the pending
// list cannot be read or there are no pending operations at all.
KSINST_EXPORT(LONG) KSWAnalyzeLog(const char* logPath);
// The installer guard: a new handle of the guard event when no other installer or
// uninstaller of the product holds it (closing it gives the guard up); 0 when it is
// held by an installer (or cannot be made); 0xFFFFFFFF when held by an uninstaller.
KSINST_EXPORT(HANDLE) KSWAreThereOthers();
// Starts the product's agent with `args` (null or empty: none) without waiting;
// non-zero when started, else 0 (last error 2 when the agent's file is missing).
KSINST_EXPORT(LONG) KSWRunAgent(const char* args);
// Adds (`add` non-zero) or removes the agent's start with Windows: every user's, the
// current user's or the machine's Run value. 1 on success, 0 on failure.
KSINST_EXPORT(LONG) KSWAgentAtStartup(LONG add, LONG allUsers, LONG withDefaultUser);
// The low byte of the system's default language identifier (0x09 English).
KSINST_EXPORT(LANGID) KSWGetLangID();

// Counts the entries of a folder matching a pattern, recursively when asked; -1 when
// the folder cannot be searched.
KSINST_EXPORT(LONG) KSWGetDirContent(LPCSTR folder, BOOL recurse, LPCSTR pattern);

// The value of `key` in `section` of the configuration file, or `defaultValue`. The text
// is owned by the module and valid until the next call of this export; never null.
KSINST_EXPORT(const char*) KSWGetParamString(const char* cfgPath, const char* section, const char* key,
                                             const char* defaultValue);
// Sets a value, or deletes a value (null value), a section (null key) or the file (null
// section). 1 on success, 0 on failure.
KSINST_EXPORT(LONG) KSWSetParamString(const char* cfgPath, const char* section, const char* key, const char* value);
// Merges the source file (or its filtered section) into the target. 1 on success.
KSINST_EXPORT(LONG) KSWImportConfigFile(const char* targetPath, const char* sourcePath, const char* sectionFilter);

// Sets or deletes (null key or value: the key or the section; null section: the file) a
// statistics value in the current user's (mode 0), the common (1) or every profile's (2)
// vluser.cfg; a file left empty is deleted. The writer's result for modes 0 and 1; 1 for
// mode 2 (0 when the current user's file lies outside the profile); 0 for other modes.
KSINST_EXPORT(DWORD) KSWSetStatParamString(const char* section, const char* key, const char* value, DWORD mode);

// Removes the channels of the configuration that no other configuration needs, with
// their folders, triggers, sessions, sections and statistics caches, then the product's
// data folders. Returns the number of channels processed.
KSINST_EXPORT(LONG) KSWDeleteChannelsFromCfg(const char* cfgPath, const char* sectionPath,
                                             const char* productFolderName);
// Installs the downloader described by `cfgPath` from `sourceFolder` when the delivered
// copy is newer than the registered one, removes the source folder and counts the copy
// in use. 1 when the description was read (whatever became of the copy), else 0.
KSINST_EXPORT(LONG) KSWInstallDownloader(const char* cfgPath, const char* sourceFolder);
// Releases the downloader; unregisters and deletes it when no installation uses it any
// more. 1 when it is still used or was deleted, 0 when the description cannot be read
// or the file cannot be deleted now (nothing is scheduled for a restart).
KSINST_EXPORT(LONG) KSWUninstallDownloader(const char* cfgPath);
// Installs (`install` non-zero, with `installArgument`) or removes the GoProto component
// through its library's entry points: 0 success, 3010 a restart is needed, 1603 failure.
KSINST_EXPORT(LONG) KSWInstallUninstallGoProto(const char* libraryPath, int install, int installArgument);
// Creates the Start-menu group's shortcuts in the all-users Programs folder; the result
// of KSWCreateShortcuts, 0 when the module configuration cannot be read.
KSINST_EXPORT(LONG) KSWCreateStartMenu(const char* name, LONG useEnglishNames);
// Runs a command line (environment references expanded): the exit code when waiting,
// else 0 after a clean start; the system error when it cannot start.
KSINST_EXPORT(DWORD) KSWRun(const char* commandLine, LONG wait);
// Creates one shortcut per subsection of `section` of the module configuration in
// `folder`; 1 when the loop ran, 0 when the configuration, the section, the folder or
// COM is not available.
KSINST_EXPORT(LONG) KSWCreateShortcuts(const char* namePrefix, const char* section, const char* folder,
                                       LONG useEnglishNames, LONG recordForUninstall);
