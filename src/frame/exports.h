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
