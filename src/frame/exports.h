// The module's exported functions: standard calling convention, ANSI texts, 32-bit
// values. The export table (names and ordinals) is ksinst.def. No export lets an
// exception reach its host.
#pragma once

#include <windows.h>

#define KSINST_EXPORT(type) extern "C" type WINAPI

KSINST_EXPORT(LONG) DllUnregisterServer();

// Counts the entries of a folder matching a pattern, recursively when asked; -1 when
// the folder cannot be searched.
KSINST_EXPORT(LONG) KSWGetDirContent(LPCSTR folder, BOOL recurse, LPCSTR pattern);
